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

#if defined(__SSE2__)
/// Ink mask of 16 byte columns p[0..15] (see ByteInkMask); below = limit - 1.
template <bool Erase, class Byte>
uint32_t ByteInk16(Byte* p, __m128i below) {
    // v < limit exactly when min(v, limit - 1) == v.
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i ink = _mm_cmpeq_epi8(_mm_min_epu8(v, below), v);
    if constexpr (Erase) _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_or_si128(v, ink));
    return static_cast<uint32_t>(_mm_movemask_epi8(ink));
}
#endif

/// Ink mask of n byte columns p[0..n-1], n <= 64: bit i set when p[i] < limit
/// (limit > 0). With Erase those bytes become 255 (background) as they are read.
template <bool Erase, class Byte>
uint64_t ByteInkMask(Byte* p, int32_t n, uint8_t limit) {
    uint64_t mask = 0;
    int32_t i = 0;
#if defined(__SSE2__)
    const __m128i below = _mm_set1_epi8(static_cast<char>(limit - 1));
    for (; i + 16 <= n; i += 16) mask |= Mask64(ByteInk16<Erase>(p + i, below), i);
#endif
    for (; i < n; ++i) {
        const bool ink = p[i] < limit;
        if constexpr (Erase) {
            if (ink) p[i] = 255;
        }
        mask |= uint64_t{ink} << i;
    }
    return mask;
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

/// Calls found(x0, x1) for the runs of ink that mask m (area columns x ..
/// x + 63) closes, in increasing x; open carries a run that is still open
/// from word to word (-1 for none).
template <class Found>
void RunsOfWord(uint64_t m, int32_t x, int32_t& open, Found& found) {
    if (m == 0 && open < 0) return;
    if (open >= 0) {
        if (m == ~uint64_t{0}) return;
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
            return;
        }
        const int32_t end = __builtin_ctzll(rest);
        found(x + start, x + end - 1);
        m &= ~uint64_t{0} << end;  // end < 64 here
    }
}

}  // namespace detail

/// Number of mask words that hold the ink of one row of width area columns.
inline int32_t MaskWords(int32_t width) {
    return (width + 63) / 64;
}

/// Ink mask of area columns x .. x + 63 of row (image columns left + x on),
/// as the accessor set Bits reads ink: bit i for column x + i, clear past
/// column width - 1. With Erase (bytes only) ink bytes become 255 as they
/// are read. The row must hold the area's columns (rowBytes).
template <bool Bits, bool Erase = false, class Byte>
uint64_t BlockInk(Byte* row, int32_t left, int32_t x, int32_t width, uint8_t limit) {
    static_assert(!(Bits && Erase), "bit rows are erased a row at a time");
    if constexpr (!Bits) {
        if (limit == 0) return 0;  // no byte is below 0
        if (x + 64 <= width) return detail::ByteInkMask<Erase>(row + left + x, 64, limit);
        return detail::ByteInkMask<Erase>(row + left + x, width - x, limit);
    } else {
        if (x + 64 <= width) return detail::BitInkMask(row, left + x);
        uint64_t mask = 0;
        for (int32_t i = 0; i < width - x; ++i) {
            const int32_t c = left + x + i;
            mask |= uint64_t{(row[c >> 3] & (0x80u >> (c & 7))) != 0} << i;
        }
        return mask;
    }
}

/// Calls found(x0, x1) for every maximal run of ink in the masks of one row
/// (MaskWords(width) words, see BlockInk), in increasing x.
template <class Found>
void ForEachRunOfMasks(const uint64_t* masks, int32_t width, Found&& found) {
    int32_t open = -1;  // start of a run still open at x
    for (int32_t x = 0; x < width; x += 64) detail::RunsOfWord(masks[x / 64], x, open, found);
    if (open >= 0) found(open, width - 1);
}

/// Calls found(x0, x1) for every maximal run of ink in row over area columns
/// 0 .. width - 1 (image columns left + x), in increasing x, as the accessor
/// set Bits reads ink. The row must hold the area's columns (rowBytes).
template <bool Bits, class Found>
void ForEachRun(const uint8_t* row, int32_t left, int32_t width, uint8_t limit, Found&& found) {
    int32_t open = -1;
    for (int32_t x = 0; x < width; x += 64) {
        detail::RunsOfWord(BlockInk<Bits>(row, left, x, width, limit), x, open, found);
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
