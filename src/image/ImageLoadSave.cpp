// Loading, saving and metadata properties of the image object: not built yet.
#include "DVImageProcessor.h"

uint32_t DVImageProcessor::LoadFromMemory(const uint8_t*, uint32_t, DVImageDecoder*) {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::LoadFromStream(dv::IStream*, DVImageDecoder*) {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::LoadFromFile(const wchar_t*, DVImageDecoder*) {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::LoadFromFile(const char*, DVImageDecoder*) {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::SaveToStream(dv::IStream*, uint32_t*, uint32_t, bool, DVImageEncoder*) {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::SaveToFile(const wchar_t*, uint32_t, DVImageEncoder*) {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::SaveToFile(const char*, uint32_t, DVImageEncoder*) {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::GetProperty(uint32_t, uint16_t*, uint32_t*, uint8_t*) {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::EnumerateProperties(DVPropertyCallback, uint64_t) {
    return dv::NotImplemented;
}
uint32_t DVImageProcessor::SetProperty(uint32_t, uint16_t, uint32_t, const void*) {
    return dv::NotImplemented;
}
