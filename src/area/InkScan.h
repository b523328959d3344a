// Finding the ink of an area's rows quickly, in row order, and sorting it by
// column: the candidates for the column-by-column scans of extraction.
#pragma once

#include <cstdint>
#include <vector>

#include "area/Area.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace gw {

/// Calls found(x) for every area column x (0 .. width - 1) whose pixel in row
/// is ink for the accessor set Bits, in increasing x.
template <bool Bits, class Found>
void ForEachInk(const uint8_t* row, int32_t left, int32_t width, uint8_t limit, Found&& found) {
    if constexpr (Bits) {
        const int32_t end = left + width;  // first image column after the area
        for (int32_t byte = left >> 3; byte <= (end - 1) >> 3; ++byte) {
            uint32_t bits = row[byte];
            if (bits == 0) continue;
            const int32_t first = byte << 3;
            for (int32_t bit = 0; bits != 0 && bit < 8; ++bit) {
                const int32_t x = first + bit;
                if ((bits & (0x80u >> bit)) != 0 && x >= left && x < end) found(x - left);
            }
        }
    } else {
        const uint8_t* p = row + left;
        int32_t x = 0;
        if (limit == 0) return;  // no byte is below 0
#if defined(__SSE2__)
        // v < limit exactly when min(v, limit - 1) == v.
        const __m128i below = _mm_set1_epi8(static_cast<char>(limit - 1));
        for (; x + 16 <= width; x += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + x));
            uint32_t mask =
                static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(v, below), v)));
            while (mask != 0) {
                found(x + __builtin_ctz(mask));
                mask &= mask - 1;
            }
        }
#endif
        for (; x < width; ++x) {
            if (p[x] < limit) found(x);
        }
    }
}

/// The ink pixels of workRows grouped by area column: the rows of column x
/// are rows[start[x] .. start[x + 1] - 1], increasing.
struct InkByColumn {
    std::vector<uint32_t> start;
    std::vector<int32_t> rows;
};

template <bool Bits>
InkByColumn CollectInk(const AREAINFO& area) {
    InkByColumn ink;
    const uint8_t limit = InkLimit(area);
    ink.start.assign(static_cast<size_t>(area.width) + 1, 0);
    uint32_t* count = ink.start.data() + 1;
    for (int32_t y = 0; y < area.height; ++y) {
        ForEachInk<Bits>(area.workRows[y], area.left, area.width, limit,
                         [count](int32_t x) { ++count[x]; });
    }
    for (int32_t x = 0; x < area.width; ++x) ink.start[x + 1] += ink.start[x];
    ink.rows.resize(ink.start[area.width]);
    std::vector<uint32_t> next(ink.start.begin(), ink.start.end() - 1);
    for (int32_t y = 0; y < area.height; ++y) {
        ForEachInk<Bits>(area.workRows[y], area.left, area.width, limit,
                         [&](int32_t x) { ink.rows[next[x]++] = y; });
    }
    return ink;
}

}  // namespace gw
