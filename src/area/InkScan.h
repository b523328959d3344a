// Finding the ink of an area's rows 64 columns at a time: each block of
// columns becomes a mask (bit i for column i), from which whole runs of ink
// are read with bit scans.
#pragma once

#include <cstdint>
#include <cstring>

#include "area/Area.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace gw {

namespace detail {

inline uint64_t Mask64(uint32_t bits, int32_t from) {
    return uint64_t{bits} << from;
}

/// Ink mask of 64 byte columns p[0..63]: bit i set when p[i] < limit (limit > 0).
inline uint64_t ByteInkMask(const uint8_t* p, uint8_t limit) {
#if defined(__SSE2__)
    // v < limit exactly when min(v, limit - 1) == v.
    const __m128i below = _mm_set1_epi8(static_cast<char>(limit - 1));
    uint64_t mask = 0;
    for (int32_t i = 0; i < 4; ++i) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        const auto m =
            static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(v, below), v)));
        mask |= Mask64(m, 16 * i);
    }
    return mask;
#else
    uint64_t mask = 0;
    for (int32_t i = 0; i < 64; ++i) mask |= uint64_t{p[i] < limit} << i;
    return mask;
#endif
}

/// Ink mask of the 64 bit columns from image column c (most significant bit
/// of each byte first); reads bytes c / 8 to (c + 63) / 8 only.
inline uint64_t BitInkMask(const uint8_t* row, int32_t c) {
    const uint8_t* p = row + (c >> 3);
    uint64_t word = 0;
    std::memcpy(&word, p, 8);
    word = __builtin_bswap64(word);  // column c >> 3 << 3 at bit 63
    const int32_t shift = c & 7;
    if (shift != 0) word = (word << shift) | (p[8] >> (8 - shift));
    // Reverse so that column c lands at bit 0.
    word = ((word >> 1) & 0x5555555555555555ull) | ((word & 0x5555555555555555ull) << 1);
    word = ((word >> 2) & 0x3333333333333333ull) | ((word & 0x3333333333333333ull) << 2);
    word = ((word >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((word & 0x0F0F0F0F0F0F0F0Full) << 4);
    return __builtin_bswap64(word);
}

}  // namespace detail

/// Calls found(x0, x1) for every maximal run of ink in row over area columns
/// 0 .. width - 1 (image columns left + x), in increasing x, as the accessor
/// set Bits reads ink. The row must hold the area's columns (rowBytes).
template <bool Bits, class Found>
void ForEachRun(const uint8_t* row, int32_t left, int32_t width, uint8_t limit, Found&& found) {
    if (!Bits && limit == 0) return;  // no byte is below 0
    int32_t open = -1;                // start of a run still open at x
    int32_t x = 0;
    for (; x + 64 <= width; x += 64) {
        uint64_t m =
            Bits ? detail::BitInkMask(row, left + x) : detail::ByteInkMask(row + left + x, limit);
        if (m == 0 && open < 0) continue;
        if (open >= 0) {
            if (m == ~uint64_t{0}) continue;
            const int32_t length = __builtin_ctzll(~m);
            found(open, x + length - 1);
            open = -1;
            m &= ~uint64_t{0} << length;  // length < 64 here
        }
        while (m != 0) {
            const int32_t start = __builtin_ctzll(m);
            const uint64_t rest = ~m & (~uint64_t{0} << start);
            if (rest == 0) {
                open = x + start;
                break;
            }
            const int32_t end = __builtin_ctzll(rest);
            found(x + start, x + end - 1);
            m &= ~uint64_t{0} << end;  // end < 64 here
        }
    }
    for (; x < width; ++x) {
        const int32_t c = left + x;
        const bool ink = Bits ? (row[c >> 3] & (0x80u >> (c & 7))) != 0 : row[c] < limit;
        if (ink && open < 0) open = x;
        if (!ink && open >= 0) {
            found(open, x - 1);
            open = -1;
        }
    }
    if (open >= 0) found(open, width - 1);
}

/// Calls found(x) for every ink column x of row (see ForEachRun).
template <bool Bits, class Found>
void ForEachInk(const uint8_t* row, int32_t left, int32_t width, uint8_t limit, Found&& found) {
    ForEachRun<Bits>(row, left, width, limit, [&found](int32_t x0, int32_t x1) {
        for (int32_t x = x0; x <= x1; ++x) found(x);
    });
}

}  // namespace gw
