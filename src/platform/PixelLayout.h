// Pixel addressing shared by the bitmap store and the image operations.
#pragma once

#include <cstdint>

namespace gw {

/// Bytes that hold one row of width pixels at bpp bits per pixel.
constexpr uint32_t RowBytes(uint32_t width, uint32_t bpp) {
    return bpp == 1 ? (width + 7) / 8 : width * (bpp / 8);
}

/// Row bytes rounded up to a multiple of 4, the stride of a new bitmap.
constexpr uint32_t AlignedRowBytes(uint32_t width, uint32_t bpp) {
    return (RowBytes(width, bpp) + 3u) & ~3u;
}

/// 1-bit pixel x of a row: bit 7 - (x & 7) of byte x / 8.
inline bool GetBit(const uint8_t* row, uint32_t x) {
    return (row[x >> 3] & (0x80u >> (x & 7))) != 0;
}

inline void PutBit(uint8_t* row, uint32_t x, bool on) {
    const uint8_t mask = uint8_t(0x80u >> (x & 7));
    if (on) {
        row[x >> 3] |= mask;
    } else {
        row[x >> 3] &= uint8_t(~mask);
    }
}

static_assert(AlignedRowBytes(100, 24) == 300);
static_assert(AlignedRowBytes(101, 8) == 104);
static_assert(AlignedRowBytes(33, 1) == 8);

}  // namespace gw
