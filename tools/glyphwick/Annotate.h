// Annotated copies of an image: the objects' boxes in the colour of their
// line, the identified characters drawn beside them, and the rectangles of
// zones and barcodes, saved as a colour image.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Options.h"

class DVImageProcessor;

namespace gwtool {

struct Colour {
    uint8_t red, green, blue;
};

/// A distinct colour for each line tag (grey for objects of no line).
Colour LineColour(int tag);

/// The 5 x 7 glyph of a character as 7 rows of 5 bits (bit 4 the left
/// column); lower-case letters take the capitals' glyphs, characters without
/// a glyph a filled box.
std::array<uint8_t, 7> GlyphRows(char c);

class Annotation {
  public:
    /// A 24-bit copy of image to draw on.
    explicit Annotation(DVImageProcessor& image);

    int Width() const { return width_; }
    int Height() const { return height_; }

    /// The outline of box, thickness pixels wide, clipped to the image.
    void Frame(const Box& box, Colour colour, int thickness = 1);
    /// text with its top-left corner at (x, y), each glyph pixel scale x scale.
    void Text(int x, int y, std::string_view text, Colour colour, int scale);
    /// A character of an object, above its box (below when there is no room),
    /// sized to the box.
    void Label(const Box& box, char c, Colour colour);
    /// Reads back one pixel (for tests).
    Colour At(int x, int y) const;
    /// Saves the drawing; the format follows the extension. Throws InputError.
    void Save(const std::string& path);

  private:
    void Put(int x, int y, Colour c);

    int width_ = 0;
    int height_ = 0;
    uint32_t stride_ = 0;
    std::vector<uint8_t> pixels_;  // blue, green, red rows at stride_
};

}  // namespace gwtool
