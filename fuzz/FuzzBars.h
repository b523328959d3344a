// The symbol drawing shared by the barcode fuzz targets: modules taken from
// the input's bits (one bit a module, 1 a bar), so that the decoders see real
// bar and space widths rather than noise.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "DVImageProcessor.h"
#include "FuzzInput.h"

namespace fuzz {

/// Limits of a drawn symbol, chosen per target (they set how the input's
/// bytes are read, so a target's seeds depend on them).
struct BarLimits {
    int32_t maxModule = 3;         ///< module width 1 to this, in pixels
    int32_t maxQuiet = 15;         ///< columns before the first module, 0 to this
    uint32_t maxWidth = 256;       ///< image width at most this
    size_t maxBytes = 72;          ///< input bytes of modules at most this
    bool oneBitBarIsZero = false;  ///< 1-bit images: a bar clears its bit (index 0 black)
    uint8_t greyPaper = 0xFF;      ///< 8-bit images: the paper's level
};

/// Draws the modules on every row of a new image of the given height, 8-bit
/// grey or 1-bit; a few pixels are flipped on some rows, as print defects,
/// when the input's noise byte says so. False when nothing can be drawn.
inline bool DrawBars(DVImageProcessor& image, Input& in, uint32_t height, bool oneBit,
                     const BarLimits& limits) {
    const uint32_t moduleWidth = uint32_t(in.Range(1, limits.maxModule));
    const uint32_t quiet = uint32_t(in.Range(0, limits.maxQuiet));
    const uint8_t noise = in.Byte();
    const std::vector<uint8_t> bits = in.Bytes(std::min<size_t>(in.Left(), limits.maxBytes));
    const uint32_t width =
        std::min<uint32_t>(limits.maxWidth, 2 * quiet + uint32_t(bits.size()) * 8 * moduleWidth);
    if (width == 0) return false;
    const int32_t format = oneBit ? dv::PixelFormat1bppIndexed : dv::PixelFormat8bppIndexed;
    if (image.Create(width, height, format) != 0 || image.GetBitmap() == nullptr) return false;
    image.SetDefaultPalette();
    const uint8_t paper = oneBit ? (limits.oneBitBarIsZero ? 0xFF : 0x00) : limits.greyPaper;
    std::vector<uint8_t> row(image.GetStride());
    for (uint32_t y = 0; y < height; ++y) {
        std::fill(row.begin(), row.end(), paper);
        for (uint32_t x = quiet; x < width; ++x) {
            const size_t module = (x - quiet) / moduleWidth;
            if (module / 8 >= bits.size()) break;
            bool bar = (bits[module / 8] >> (7 - module % 8)) & 1;
            if (noise != 0 && (x * 31 + y * 17) % 256 < noise % 8) bar = !bar;
            if (!bar) continue;
            if (!oneBit) {
                row[x] = uint8_t(noise & 0x70);
            } else if (limits.oneBitBarIsZero) {
                row[x / 8] &= uint8_t(~(0x80u >> (x % 8)));
            } else {
                row[x / 8] |= uint8_t(0x80u >> (x % 8));
            }
        }
        image.SetBytes(y, 0, row.data(), uint32_t(row.size()));
    }
    return true;
}

}  // namespace fuzz
