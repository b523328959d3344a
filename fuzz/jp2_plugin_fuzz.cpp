// The JPEG 2000 plug-in's buffer functions as the JPEG 2000 decoder calls
// them: the size query, then the conversion into a buffer of that size, then
// the BMP file it wrote loaded by the BMP decoder.
#include <cstdint>
#include <vector>

#include "FuzzDecode.h"
#include "codecs/CodecSupport.h"

extern "C" int32_t GetBMPBufferSizeFromJ2KBuffer(const uint8_t* data, uint32_t size,
                                                 uint32_t* bmpSize);
extern "C" int32_t ConvertJ2KBufferToBMPBuffer(const uint8_t* data, uint32_t size, uint8_t* bmp,
                                               uint32_t bmpSize, int32_t reserved);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    const auto length = static_cast<uint32_t>(size);
    uint32_t bmpSize = 0;
    if (GetBMPBufferSizeFromJ2KBuffer(data, length, &bmpSize) == 0) return 0;
    // A legal image of tens of millions of pixels can be declared in a few
    // bytes (a blank tile costs next to nothing to encode); decoding one takes
    // OpenJPEG seconds, and tens of seconds under the sanitizers, which the
    // fuzzer would report as a hang. Such images are only sized: the query,
    // with every limit check, runs on every input.
    constexpr uint32_t kDecodeBudget = 64u << 20;
    if (bmpSize > kDecodeBudget) return 0;
    // The query reads only the headers: the data may still fail to decode.
    std::vector<uint8_t> bmp(bmpSize);
    if (ConvertJ2KBufferToBMPBuffer(data, length, bmp.data(), bmpSize, 0) == 0) return 0;
    if (gwfuzz::Decode(gw::codec::DecodeBmp, bmp.data(), bmp.size()) != dv::Ok) __builtin_trap();
    return 0;
}
