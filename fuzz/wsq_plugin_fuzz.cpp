// The WSQ plug-in's buffer functions as the WSQ decoder calls them: the size
// query, then the conversion into a buffer of that size, then the BMP file it
// wrote loaded by the BMP decoder.
#include <cstdint>
#include <vector>

#include "FuzzDecode.h"
#include "codecs/CodecSupport.h"

extern "C" int32_t GetWSQBufferSize(const uint8_t* data, int32_t size, int32_t* bmpSize);
extern "C" int32_t ConvertWSQBufferToBMPBuffer(const uint8_t* data, int32_t size, uint8_t* bmp,
                                               int32_t bmpSize);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > INT32_MAX) return 0;
    const auto length = static_cast<int32_t>(size);
    int32_t bmpSize = 0;
    if (GetWSQBufferSize(data, length, &bmpSize) != 0) return 0;
    // The query checks the whole stream, so the conversion must succeed and
    // its file must load.
    std::vector<uint8_t> bmp(static_cast<size_t>(bmpSize));
    if (ConvertWSQBufferToBMPBuffer(data, length, bmp.data(), bmpSize) != 0) __builtin_trap();
    if (gwfuzz::Decode(gw::codec::DecodeBmp, bmp.data(), bmp.size()) != dv::Ok) __builtin_trap();
    return 0;
}
