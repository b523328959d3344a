// Turning and flipping pixels (the eight rotate-flip types of Bitmap::
// RotateFlip) in squares small enough for the cache, for whole images and for
// strips of rows as a decoder hands them over.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace gw {

/// Where pixel (x, y) of a w x h image goes under rotate-flip type 0 to 7:
/// 1 a quarter turn clockwise, 2 a half turn, 3 a quarter anticlockwise,
/// 4 mirrored left to right, 5 transposed, 6 flipped top to bottom,
/// 7 transversed.
inline std::pair<uint32_t, uint32_t> TurnedPlace(int32_t type, uint32_t x, uint32_t y, uint32_t w,
                                                 uint32_t h) {
    switch (type) {
        case 1:
            return {h - 1 - y, x};
        case 2:
            return {w - 1 - x, h - 1 - y};
        case 3:
            return {y, w - 1 - x};
        case 4:
            return {w - 1 - x, y};
        case 5:
            return {y, x};
        case 6:
            return {x, h - 1 - y};
        case 7:
            return {h - 1 - y, w - 1 - x};
        default:
            return {x, y};
    }
}

namespace detail {

// Squares of kTurnTile pixels: both the rows read and the rows written stay
// in the cache. The destination of a pixel moves by a fixed step along x
// and along y, so each square is two loops of pointer steps.
template <uint32_t B>
void TurnTiles(int32_t type, const uint8_t* src, size_t stride, uint32_t w, uint32_t h, uint32_t y0,
               uint32_t rows, uint8_t* dst, size_t nstride) {
    constexpr uint32_t kTurnTile = 64;
    const auto at = [&](uint32_t x, uint32_t y) {
        const auto [dx, dy] = TurnedPlace(type, x, y, w, h);
        return ptrdiff_t(size_t{dy} * nstride + size_t{dx} * B);
    };
    const ptrdiff_t origin = at(0, y0);
    const ptrdiff_t stepX = w > 1 ? at(1, y0) - origin : 0;
    ptrdiff_t down = 0;  // the step to the next row
    if (h > 1) down = y0 + 1 < h ? at(0, y0 + 1) - origin : origin - at(0, y0 - 1);
    for (uint32_t ty = 0; ty < rows; ty += kTurnTile) {
        const uint32_t yEnd = std::min(rows, ty + kTurnTile);
        for (uint32_t tx = 0; tx < w; tx += kTurnTile) {
            const uint32_t xEnd = std::min(w, tx + kTurnTile);
            // Offsets, not pointers, step along: a step past the last pixel
            // may point outside the buffers.
            if (std::abs(down) == ptrdiff_t{B}) {  // turned rows run along the source columns
                for (uint32_t x = tx; x < xEnd; ++x) {
                    size_t from = size_t{ty} * stride + size_t{x} * B;
                    ptrdiff_t to = origin + ptrdiff_t(ty) * down + ptrdiff_t(x) * stepX;
                    for (uint32_t y = ty; y < yEnd; ++y, from += stride, to += down)
                        std::memcpy(dst + to, src + from, B);
                }
                continue;
            }
            for (uint32_t y = ty; y < yEnd; ++y) {
                size_t from = size_t{y} * stride + size_t{tx} * B;
                ptrdiff_t to = origin + ptrdiff_t(y) * down + ptrdiff_t(tx) * stepX;
                for (uint32_t x = tx; x < xEnd; ++x, from += B, to += stepX)
                    std::memcpy(dst + to, src + from, B);
            }
        }
    }
}

}  // namespace detail

/// Writes rows y0 to y0 + rows - 1 of a w x h image of whole-byte pixels
/// (bytes each), given in src (row y0 first, stride bytes apart), to their
/// places in dst, the image turned by type (0 to 7; its rows nstride bytes
/// apart, w and h swapped by types 1, 3, 5 and 7).
inline void TurnRows(int32_t type, uint32_t bytes, const uint8_t* src, size_t stride, uint32_t w,
                     uint32_t h, uint32_t y0, uint32_t rows, uint8_t* dst, size_t nstride) {
    switch (bytes) {
        case 1:
            return detail::TurnTiles<1>(type, src, stride, w, h, y0, rows, dst, nstride);
        case 2:
            return detail::TurnTiles<2>(type, src, stride, w, h, y0, rows, dst, nstride);
        case 3:
            return detail::TurnTiles<3>(type, src, stride, w, h, y0, rows, dst, nstride);
        case 4:
            return detail::TurnTiles<4>(type, src, stride, w, h, y0, rows, dst, nstride);
        case 6:
            return detail::TurnTiles<6>(type, src, stride, w, h, y0, rows, dst, nstride);
        case 8:
            return detail::TurnTiles<8>(type, src, stride, w, h, y0, rows, dst, nstride);
        default:
            for (uint32_t y = 0; y < rows; ++y)
                for (uint32_t x = 0; x < w; ++x) {
                    const auto [dx, dy] = TurnedPlace(type, x, y0 + y, w, h);
                    std::memcpy(dst + size_t{dy} * nstride + size_t{dx} * bytes,
                                src + size_t{y} * stride + size_t{x} * bytes, bytes);
                }
    }
}

/// As TurnRows, for a strip of rows a decoder has just written: the quarter
/// turns of 1- and 3-byte pixels in a strip of up to 64 rows write each
/// turned row's run of the strip at once, past the cache. src must have 8
/// readable bytes after its last row's last pixel.
void TurnStrip(int32_t type, uint32_t bytes, const uint8_t* src, size_t stride, uint32_t w,
               uint32_t h, uint32_t y0, uint32_t rows, uint8_t* dst, size_t nstride);

}  // namespace gw
