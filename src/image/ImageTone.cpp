// Histograms, colour count and tone operations of the image object: not built yet.
#include "DVImageProcessor.h"

uint32_t DVImageProcessor::GetHistogram(uint32_t*, uint32_t, uint32_t, const dv::Rect*) {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::GetImageHistogram(uint32_t*, uint32_t, uint32_t) {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::CountColours(uint32_t*) {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::ThresholdBand(uint32_t, uint32_t) {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::Threshold(uint32_t) {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::Invert() {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::Convolve(const int32_t*, uint32_t, uint32_t) {
    return dv::NotImplemented;
}
