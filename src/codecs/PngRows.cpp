#include "codecs/PngRows.h"

#include <libdeflate.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "platform/PixelMemory.h"

#if defined(__x86_64__) && defined(__SSE2__)
#include <emmintrin.h>
#include <tmmintrin.h>
#endif

namespace gw::codec {
namespace {

uint32_t BigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The PNG format's Paeth predictor of a sample from its left (a), upper (b)
// and upper-left (c) neighbours: whichever is nearest a + b - c, ties going
// to a, then b.
uint8_t Paeth(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Paeth unfiltering of a row of 3-byte pixels, a pixel's three samples at
// once in 16-bit lanes. Each pixel is read as 4 bytes: the row and the row
// above have a byte after their last pixel.
void PaethRow3(uint8_t* row, const uint8_t* above, size_t bytes) {
#if defined(__x86_64__) && defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128(), low = _mm_set1_epi16(0xff);
    const auto wide = [zero](const uint8_t* p) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(v)), zero);
    };
    const auto magnitude = [zero](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
    __m128i a = zero, c = zero;
    for (size_t i = 0; i < bytes; i += 3) {
        const __m128i b = wide(above + i), d = wide(row + i);
        const __m128i p = _mm_sub_epi16(b, c), q = _mm_sub_epi16(a, c);
        const __m128i pa = magnitude(p), pb = magnitude(q), pc = magnitude(_mm_add_epi16(p, q));
        const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
        const __m128i notB = _mm_cmpgt_epi16(pb, pc);
        const __m128i bc = _mm_or_si128(_mm_and_si128(notB, c), _mm_andnot_si128(notB, b));
        const __m128i predicted = _mm_or_si128(_mm_and_si128(notA, bc), _mm_andnot_si128(notA, a));
        const __m128i x = _mm_and_si128(_mm_add_epi16(d, predicted), low);
        const auto out = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(x, x)));
        std::memcpy(row + i, &out, 3);
        a = x, c = b;
    }
#else
    for (size_t i = 0; i < bytes; ++i)
        row[i] =
            uint8_t(row[i] + Paeth(i >= 3 ? row[i - 3] : 0, above[i], i >= 3 ? above[i - 3] : 0));
#endif
}

#if defined(__x86_64__) && defined(__SSE2__)
// Five pixels a 16-byte shuffle; the last byte of each store is overwritten
// by the next.
__attribute__((target("ssse3"))) size_t CopyRgbAsBgrSsse3(const uint8_t* rgb, uint8_t* bgr,
                                                          size_t pixels) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    size_t i = 0;
    for (; i + 6 <= pixels; i += 5) {  // 16 bytes read and written from pixel i
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb + 3 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bgr + 3 * i), _mm_shuffle_epi8(v, order));
    }
    return i;
}
#endif

}  // namespace

void CopyRgbAsBgr(const uint8_t* rgb, uint8_t* bgr, size_t pixels) {
    size_t i = 0;
#if defined(__x86_64__) && defined(__SSE2__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) i = CopyRgbAsBgrSsse3(rgb, bgr, pixels);
#endif
    for (; i < pixels; ++i) {
        bgr[3 * i] = rgb[3 * i + 2];
        bgr[3 * i + 1] = rgb[3 * i + 1];
        bgr[3 * i + 2] = rgb[3 * i];
    }
}

bool UnfilterPngRow(uint8_t filter, uint8_t* row, const uint8_t* above, size_t bytes,
                    uint32_t pixelBytes) {
    const size_t n = pixelBytes;
    if (n < 1 || n > 4) return false;
    if ((n == 2 || n == 4) && filter != 0 && filter != 2) {
        // Grey or colour with alpha: the left pixel read back from the row.
        for (size_t i = 0; i < bytes; ++i) {
            const int left = i >= n ? row[i - n] : 0, upperLeft = i >= n ? above[i - n] : 0;
            const int predicted = filter == 1   ? left
                                  : filter == 3 ? (left + above[i]) >> 1
                                  : filter == 4 ? Paeth(left, above[i], upperLeft)
                                                : -1;
            if (predicted < 0) return false;
            row[i] = uint8_t(row[i] + predicted);
        }
        return true;
    }
    switch (filter) {
        case 0:  // none
            return true;
        case 1:  // sub: the pixel on the left, kept in registers
            if (n == 3) {
                uint8_t r = 0, g = 0, b = 0;
                for (size_t i = 0; i + 3 <= bytes; i += 3) {
                    row[i] = r = uint8_t(row[i] + r);
                    row[i + 1] = g = uint8_t(row[i + 1] + g);
                    row[i + 2] = b = uint8_t(row[i + 2] + b);
                }
            } else {
                uint8_t left = 0;
                for (size_t i = 0; i < bytes; ++i) row[i] = left = uint8_t(row[i] + left);
            }
            return true;
        case 2:  // up
            for (size_t i = 0; i < bytes; ++i) row[i] = uint8_t(row[i] + above[i]);
            return true;
        case 3:  // average of the left and upper samples
            if (n == 3) {
                unsigned r = 0, g = 0, b = 0;
                for (size_t i = 0; i + 3 <= bytes; i += 3) {
                    row[i] = uint8_t(r = uint8_t(row[i] + ((r + above[i]) >> 1)));
                    row[i + 1] = uint8_t(g = uint8_t(row[i + 1] + ((g + above[i + 1]) >> 1)));
                    row[i + 2] = uint8_t(b = uint8_t(row[i + 2] + ((b + above[i + 2]) >> 1)));
                }
            } else {
                unsigned left = 0;
                for (size_t i = 0; i < bytes; ++i)
                    row[i] = uint8_t(left = uint8_t(row[i] + ((left + above[i]) >> 1)));
            }
            return true;
        case 4:  // Paeth
            if (n == 3) {
                PaethRow3(row, above, bytes);
            } else {
                int left = 0, upperLeft = 0;
                for (size_t i = 0; i < bytes; ++i) {
                    left = uint8_t(row[i] + Paeth(left, above[i], upperLeft));
                    row[i] = uint8_t(left);
                    upperLeft = above[i];
                }
            }
            return true;
        default:
            return false;
    }
}

bool InflatePngRows(const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                    uint32_t channels, PngRows& rows) {
    rows = PngRows{};
    static constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    if (channels < 1 || channels > 4 || width == 0 || height == 0 || size < 8 ||
        std::memcmp(data, kSignature, 8) != 0)
        return false;
    const uint64_t stride = 1 + uint64_t(width) * channels, total = stride * height;
    if (total > kMaxPngRowsBytes) return false;
    // The IDAT chunks, one run of them, each whole with its CRC; after them
    // ancillary chunks (a lower-case first letter) up to IEND or the file's
    // end.
    std::vector<std::pair<const uint8_t*, size_t>> parts;
    size_t compressed = 0;
    bool exifAfter = false;
    for (size_t at = 8;;) {
        if (size - at < 12) {
            if (parts.empty()) return false;
            break;
        }
        const size_t length = BigEndian32(data + at);
        const uint8_t* type = data + at + 4;
        const bool idat = std::memcmp(type, "IDAT", 4) == 0;
        if (!parts.empty() && !idat) {
            if (std::memcmp(type, "IEND", 4) == 0) break;
            if ((type[0] & 0x20) == 0) return false;  // critical
            exifAfter |= std::memcmp(type, "eXIf", 4) == 0;
            if (length > size - at - 12) break;
            at += 12 + length;
            continue;
        }
        if (length > size - at - 12) return false;
        if (idat) {
            if (libdeflate_crc32(0, type, 4 + length) != BigEndian32(type + 4 + length))
                return false;
            parts.emplace_back(type + 4, length);
            compressed += length;
        }
        at += 12 + length;
    }
    std::unique_ptr<uint8_t[]> joined;
    const uint8_t* in = parts[0].first;
    if (parts.size() > 1) {
        joined.reset(new (std::nothrow) uint8_t[compressed]);
        if (!joined) return false;
        size_t put = 0;
        for (const auto& [from, length] : parts)
            std::memcpy(joined.get() + put, from, length), put += length;
        in = joined.get();
    }
    // Room for the 4-byte reads of the last pixel of the last row.
    PixelMemory bytes;
    try {
        bytes = AllocatePixelMemory(total + 16);
    } catch (const std::bad_alloc&) {
        return false;
    }
    libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
    if (inflater == nullptr) return false;
    size_t used = 0, made = 0;
    const libdeflate_result result =
        libdeflate_zlib_decompress_ex(inflater, in, compressed, bytes.get(), total, &used, &made);
    libdeflate_free_decompressor(inflater);
    if (result != LIBDEFLATE_SUCCESS || made != total || used != compressed) return false;
    const std::vector<uint8_t> zeros(stride + 16, 0);
    const size_t samples = stride - 1;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = bytes.get() + y * stride;
        const uint8_t* above = y == 0 ? zeros.data() : row - stride + 1;
        if (!UnfilterPngRow(row[0], row + 1, above, samples, channels)) return false;
    }
    rows.bytes = std::move(bytes);
    rows.stride = stride;
    rows.exifAfter = exifAfter;
    return true;
}

}  // namespace gw::codec
