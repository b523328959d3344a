// The JPEG 2000 plug-in's buffer functions as the JPEG 2000 decoder calls
// them: the size query, then the conversion into a buffer of that size, then
// the BMP file it wrote loaded by the BMP decoder.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "FuzzDecode.h"
#include "codecs/CodecSupport.h"

extern "C" int32_t GetBMPBufferSizeFromJ2KBuffer(const uint8_t* data, uint32_t size,
                                                 uint32_t* bmpSize);
extern "C" int32_t ConvertJ2KBufferToBMPBuffer(const uint8_t* data, uint32_t size, uint8_t* bmp,
                                               uint32_t bmpSize, int32_t reserved);

namespace {

constexpr uint64_t kDecodeBudget = uint64_t{1} << 24;  // samples of all components

uint64_t Be(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | p[i];
    return v;
}

// Samples of all components that the first SIZ segment in the data declares
// (0 when there is none): each component's grid is the image area divided by
// its sampling steps, rounded up.
uint64_t DeclaredSamples(const uint8_t* data, size_t size) {
    for (size_t at = 0; at + 42 <= size; ++at) {
        if (data[at] != 0xFF || data[at + 1] != 0x51) continue;
        const uint8_t* siz = data + at;
        const uint64_t x1 = Be(siz + 6, 4), y1 = Be(siz + 10, 4);
        const uint64_t x0 = Be(siz + 14, 4), y0 = Be(siz + 18, 4);
        const uint64_t components = Be(siz + 38, 2);
        if (x1 <= x0 || y1 <= y0) return 0;
        uint64_t samples = 0;
        for (uint64_t c = 0; c < components && at + 43 + 3 * c <= size; ++c) {
            const uint64_t dx = std::max<uint64_t>(siz[41 + 3 * c], 1);
            const uint64_t dy = std::max<uint64_t>(siz[42 + 3 * c], 1);
            samples += ((x1 + dx - 1) / dx - (x0 + dx - 1) / dx) *
                       ((y1 + dy - 1) / dy - (y0 + dy - 1) / dy);
        }
        return samples;
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    const auto length = static_cast<uint32_t>(size);
    uint32_t bmpSize = 0;
    if (GetBMPBufferSizeFromJ2KBuffer(data, length, &bmpSize) == 0) return 0;
    // A legal image of tens of millions of samples can be declared in a few
    // bytes (a blank tile costs next to nothing to encode); decoding one takes
    // OpenJPEG seconds, and tens of seconds under the sanitizers, which the
    // fuzzer would report as a hang. Such images are only sized: the query,
    // with every limit check, runs on every input.
    if (DeclaredSamples(data, size) > kDecodeBudget) return 0;
    // The query reads only the headers: the data may still fail to decode.
    std::vector<uint8_t> bmp(bmpSize);
    if (ConvertJ2KBufferToBMPBuffer(data, length, bmp.data(), bmpSize, 0) == 0) return 0;
    if (gwfuzz::Decode(gw::codec::DecodeBmp, bmp.data(), bmp.size()) != dv::Ok) __builtin_trap();
    return 0;
}
