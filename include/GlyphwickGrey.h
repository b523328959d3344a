// Grey levels of any image object, as the whole-image readers see it.
#ifndef GLYPHWICK_GLYPHWICKGREY_H
#define GLYPHWICK_GLYPHWICKGREY_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "GlyphwickExport.h"

class DVImageProcessor;

namespace gw {

/// An 8-bit grey raster: width bytes a row, rows top to bottom, 0 black.
struct GreyImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> pixels;  ///< width * height levels

    /// Level of pixel (x, y); the caller keeps x and y inside the image.
    uint8_t At(uint32_t x, uint32_t y) const { return pixels[size_t(y) * width + x]; }
    bool Empty() const { return width == 0 || height == 0; }
};

/// How a colour becomes a grey level.
enum class GreyMode {
    Weighted,  ///< red, green and blue weighed 0.3, 0.59, 0.11: the colour's brightness
    Lightest,  ///< the lightest of red, green and blue: coloured print and marks turn
               ///< light, and only print dark in every channel (black ink) stays dark
};

/// The grey level of every pixel of image: 1- and 8-bit images through their
/// palette (so a 1-bit image whose black is index 0 and one whose black is
/// index 1 give the same grey), 24-bit images and palette colours as mode
/// says. Palette entries with partial transparency are laid over white paper,
/// unless every entry is fully transparent (a palette that carries no alpha).
/// An image without a bitmap gives an empty GreyImage.
GW_API GreyImage ToGrey(const DVImageProcessor& image, GreyMode mode = GreyMode::Weighted);

}  // namespace gw

#endif  // GLYPHWICK_GLYPHWICKGREY_H
