// Palettes and pixel-format conversions of the image object: not built yet.
#include "DVImageProcessor.h"

uint32_t DVImageProcessor::SetDefaultPalette() {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::SetPalette(const uint32_t*, uint32_t) {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::ConvertToGrey(float, float, float) {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::ConvertTo24Bit() {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::ConvertTo1Bit() {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::GetGreyPaletteKind() {
    return 0;
}
uint32_t DVImageProcessor::NormaliseGreyPalette() {
    return dv::NotImplemented;
}
