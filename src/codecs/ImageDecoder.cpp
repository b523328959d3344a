// The decoder base class and the decoder of the five common formats.
#include <string>
#include <vector>

#include "DVImageCodecs.h"
#include "codecs/CodecSupport.h"

DVImageDecoder::~DVImageDecoder() = default;

DVGdiplusDecoder::~DVGdiplusDecoder() = default;

dv::Status DVGdiplusDecoder::DecodeFromMemory(dv::Bitmap** bitmap, const uint8_t* data,
                                              uint32_t size) {
    if (!bitmap || !data) return dv::InvalidParameter;
    return dv::DecodeImage(data, size, bitmap);
}

dv::Status DVGdiplusDecoder::DecodeFromStream(dv::Bitmap** bitmap, dv::IStream* stream) {
    if (!bitmap || !stream) return dv::InvalidParameter;
    return dv::CreateBitmapFromStream(stream, bitmap);
}

dv::Status DVGdiplusDecoder::DecodeFromFile(dv::Bitmap** bitmap, const wchar_t* path) {
    if (!bitmap || !path) return dv::InvalidParameter;
    return dv::CreateBitmapFromFile(path, bitmap);
}

dv::Status DVGdiplusDecoder::DecodeFromFile(dv::Bitmap** bitmap, const char* path) {
    if (!bitmap || !path) return dv::InvalidParameter;
    if (*path == '\0') return dv::Ok;
    const size_t length = std::mbstowcs(nullptr, path, 0);
    if (length == static_cast<size_t>(-1)) return dv::InvalidParameter;
    std::vector<wchar_t> wide(length + 1);
    std::mbstowcs(wide.data(), path, length + 1);
    return DVGdiplusDecoder::DecodeFromFile(bitmap, wide.data());
}
