// The turn of a strip of rows as a decoder hands it over, with the quarter
// turns written in runs past the cache.
#include "platform/PixelTurn.h"

#if defined(__x86_64__) && defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace gw {
namespace {

// The turns whose turned rows run along the source columns (the quarter
// turns of orientations 5 to 8): the strip's pixels of one column are
// neighbours in one turned row, so they are gathered into a small buffer and
// written out as one run. The whole cache lines of the run are written past
// the cache (non-temporal stores): each turned row takes a few lines from
// every strip, and reading those lines in before writing them was most of the
// turn's time. The run's first and last lines are shared with the strips
// before and after it and go through the cache: a partly written line
// written past the cache costs the memory a read and a write of its own.
// Pixels are read as 64-bit words, up to 4 bytes past a row's last pixel:
// the strip has 8 bytes of room after its last row. Returns false when the
// turn is not of this kind (TurnRows does it).
template <uint32_t B>
bool TurnColumns(int32_t type, const uint8_t* src, size_t stride, uint32_t w, uint32_t h,
                 uint32_t y0, uint32_t rows, uint8_t* dst, size_t nstride) {
    constexpr uint32_t kMaxRows = 64;
    const auto at = [&](uint32_t x, uint32_t y) {
        const auto [dx, dy] = TurnedPlace(type, x, y, w, h);
        return ptrdiff_t(size_t{dy} * nstride + size_t{dx} * B);
    };
    if (h < 2 || rows == 0 || rows > kMaxRows) return false;
    const ptrdiff_t origin = at(0, y0);
    const ptrdiff_t stepX = w > 1 ? at(1, y0) - origin : 0;
    const ptrdiff_t down = y0 + 1 < h ? at(0, y0 + 1) - origin : origin - at(0, y0 - 1);
    if (std::abs(down) != ptrdiff_t{B}) return false;
    const bool reversed = down < 0;
    // The run of a column starts at its first row's place, or its last row's
    // when the turned row runs up the strip.
    const ptrdiff_t first = origin + (reversed ? ptrdiff_t(rows - 1) * down : 0);
    const size_t length = size_t(rows) * B;
    // Runs of kColumns columns at a time: a run is read back only after the
    // stores of the next columns, when its bytes are in the cache and no
    // longer waiting to be stored (a read across several pending stores
    // stalls).
    constexpr uint32_t kColumns = 8, kPerWord = B == 3 ? 2 : 4;
    constexpr size_t kRun = (kMaxRows * B + 4 + 63) / 64 * 64;
    alignas(64) uint8_t runs[kColumns * kRun];
    // Rows are taken in the run's order: down the strip, or up it.
    const ptrdiff_t rowStep = reversed ? -ptrdiff_t(stride) : ptrdiff_t(stride);
    const uint8_t* const firstRow = src + (reversed ? size_t(rows - 1) * stride : 0);
    for (uint32_t x0 = 0; x0 < w; x0 += kColumns) {
        const uint32_t columns = std::min(kColumns, w - x0);
        // The rows' next lines are read in ahead: 64 rows a stride apart
        // are 64 streams, more than the processor's prefetcher follows.
        if (size_t(x0) * B + 128 < stride)
            for (uint32_t k = 0; k < rows; ++k)
                __builtin_prefetch(src + size_t(k) * stride + size_t(x0) * B + 128);
        // A 64-bit word of a row holds the pixels of kPerWord columns; each
        // goes to its run as a 32-bit word whose extra bytes the next row's
        // pixel overwrites (the run has room for the last one's).
        uint32_t c = 0;
        for (; c + kPerWord <= columns; c += kPerWord) {
            const uint8_t* from = firstRow + size_t(x0 + c) * B;
            uint8_t* run = runs + c * kRun;
            uint32_t k = 0;
            if constexpr (B == 3) {
                // Two rows at a time: each column's two pixels make one
                // 48-bit word, one store instead of two.
                constexpr uint64_t kPixel = 0xffffff;
                for (; k + 2 <= rows; k += 2, from += 2 * rowStep) {
                    uint64_t a, b;
                    std::memcpy(&a, from, 8);
                    std::memcpy(&b, from + rowStep, 8);
                    const uint64_t left = (a & kPixel) | ((b & kPixel) << 24);
                    const uint64_t right = ((a >> 24) & kPixel) | (((b >> 24) & kPixel) << 24);
                    std::memcpy(run + size_t(k) * B, &left, 8);
                    std::memcpy(run + kRun + size_t(k) * B, &right, 8);
                }
            }
            for (; k < rows; ++k, from += rowStep) {
                uint64_t v;
                std::memcpy(&v, from, 8);
                for (uint32_t j = 0; j < kPerWord; ++j) {
                    const auto p = uint32_t(v >> (8 * B * j));
                    std::memcpy(run + j * kRun + size_t(k) * B, &p, 4);
                }
            }
        }
        for (; c < columns; ++c) {
            const uint8_t* from = src + size_t(x0 + c) * B;
            uint8_t* run = runs + c * kRun;
            for (uint32_t k = 0; k < rows; ++k)
                std::memcpy(run + size_t(k) * B,
                            from + size_t(reversed ? rows - 1 - k : k) * stride, 4);
        }
        for (uint32_t e = 0; e < columns; ++e) {
            const uint8_t* run = runs + e * kRun;
            uint8_t* out = dst + first + ptrdiff_t(x0 + e) * stepX;
#if defined(__x86_64__) && defined(__SSE2__)
            size_t head = (64 - reinterpret_cast<uintptr_t>(out) % 64) % 64;
            if (head > length) head = length;
            std::memcpy(out, run, head);
            size_t i = head;
            for (; i + 64 <= length; i += 64)
                for (size_t q = 0; q < 64; q += 16)
                    _mm_stream_si128(
                        reinterpret_cast<__m128i*>(out + i + q),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(run + i + q)));
            std::memcpy(out + i, run + i, length - i);
#else
            std::memcpy(out, run, length);
#endif
        }
    }
#if defined(__x86_64__) && defined(__SSE2__)
    _mm_sfence();
#endif
    return true;
}

}  // namespace

void TurnStrip(int32_t type, uint32_t bytes, const uint8_t* src, size_t stride, uint32_t w,
               uint32_t h, uint32_t y0, uint32_t rows, uint8_t* dst, size_t nstride) {
    if (bytes == 3 && TurnColumns<3>(type, src, stride, w, h, y0, rows, dst, nstride)) return;
    if (bytes == 1 && TurnColumns<1>(type, src, stride, w, h, y0, rows, dst, nstride)) return;
    TurnRows(type, bytes, src, stride, w, h, y0, rows, dst, nstride);
}

}  // namespace gw
