// "DVWSQLib.dll": the WSQ plug-in that the WSQ decoder of the image codecs
// loads at run time. Two C entry points convert a WSQ stream in memory into a
// complete 8-bit grey BMP file; both return 0 on success and a non-zero
// gw::wsq::Status value otherwise. Nothing escapes them: no exception, no
// output on the console, no read outside the data.
#include <cstdint>

#include "WsqDecoder.h"

#define DVWSQ_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

int32_t Code(gw::wsq::Status s) {
    return static_cast<int32_t>(s);
}

}  // namespace

/// Byte length of the BMP file that ConvertWSQBufferToBMPBuffer will produce
/// from data (size bytes), stored in *bmpSize. The whole stream is checked
/// first, so a stream that cannot be converted fails here, before the caller
/// allocates. *bmpSize is left unchanged on failure.
DVWSQ_EXPORT int32_t GetWSQBufferSize(const uint8_t* data, int32_t size, int32_t* bmpSize) {
    if (data == nullptr || size <= 0 || bmpSize == nullptr) {
        return Code(gw::wsq::Status::NullArgument);
    }
    try {
        gw::wsq::FrameInfo info;
        const gw::wsq::Status s = gw::wsq::Inspect(data, static_cast<size_t>(size), &info);
        if (s != gw::wsq::Status::Ok) return Code(s);
        const size_t bytes = gw::wsq::BmpFileSize(info.width, info.height);
        if (bytes == 0 || bytes > INT32_MAX) return Code(gw::wsq::Status::ImageTooLarge);
        *bmpSize = static_cast<int32_t>(bytes);
        return 0;
    } catch (...) {  // std::bad_alloc, or a length error of the same cause
        return Code(gw::wsq::Status::OutOfMemory);
    }
}

/// Decodes data (size bytes) into the complete BMP file in bmp, which holds
/// bmpSize bytes; bmpSize must be at least the size GetWSQBufferSize reports
/// (bytes past the file are left untouched).
DVWSQ_EXPORT int32_t ConvertWSQBufferToBMPBuffer(const uint8_t* data, int32_t size, uint8_t* bmp,
                                                 int32_t bmpSize) {
    if (data == nullptr || size <= 0 || bmp == nullptr || bmpSize <= 0) {
        return Code(gw::wsq::Status::NullArgument);
    }
    try {
        return Code(gw::wsq::DecodeToBmp(data, static_cast<size_t>(size), bmp,
                                         static_cast<size_t>(bmpSize)));
    } catch (...) {  // std::bad_alloc, or a length error of the same cause
        return Code(gw::wsq::Status::OutOfMemory);
    }
}
