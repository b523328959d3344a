// Renders characters and text lines of a font into 8-bit grey images with
// FreeType, with the variations a printed document shows: size, sub-pixel
// position, stroke weight, ink darkness, blur and noise. Used by the pattern
// builder and by the accuracy program.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class DVImageProcessor;

namespace gw::render {

/// An 8-bit grey image, row-major, 255 paper and 0 full ink.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
    uint8_t& At(int x, int y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    uint8_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

/// Makes out an 8-bit image holding the grey image's pixels; false when the
/// image cannot be created.
bool ToImage(const GreyImage& grey, DVImageProcessor& out);

/// How one rendering varies from the clean glyph.
struct Variation {
    int capHeight = 32;    ///< height of a capital letter in pixels
    double offsetX = 0.0;  ///< sub-pixel shift, in pixels (0 to 1)
    double offsetY = 0.0;
    double embolden = 0.0;      ///< stroke weight change in pixels (negative: thinner)
    double inkLevel = 1.0;      ///< darkness of full ink, 0 to 1 (1: black)
    double blur = 0.0;          ///< Gaussian blur sigma in pixels, 0 for none
    double noise = 0.0;         ///< Gaussian noise sigma in grey levels
    double extraSpacing = 0.0;  ///< added to every advance, in pixels (negative: touching)
    double pitch = 0.0;  ///< every advance, in pixels, each glyph centred in it (0: the face's own)
    double breakStrokes = 0.0;  ///< fraction of thin blank lines cut through the ink
    uint64_t seed = 1;          ///< seed of the noise and the stroke breaks
};

/// A deterministic random source (xorshift64*), the same on every machine.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    uint64_t Next();
    /// Uniform in [0, 1).
    double Uniform();
    /// Standard normal (Box-Muller).
    double Normal();

  private:
    uint64_t state_;
};

class TextRenderer {
  public:
    /// Opens a font file. Valid() tells whether it could be used.
    explicit TextRenderer(const std::string& fontPath);
    ~TextRenderer();
    TextRenderer(const TextRenderer&) = delete;
    TextRenderer& operator=(const TextRenderer&) = delete;

    bool Valid() const;
    /// The font's family name, or "" when the font is not valid.
    std::string FamilyName() const;

    /// Renders a text (one line, ASCII) with a margin of paper around it. A
    /// blank advances by the font's blank width. Characters the font lacks
    /// are left out.
    GreyImage RenderLine(const std::string& text, const Variation& v, int margin = 8) const;

    /// The room (pixels) RenderLine leaves inside its margin at each end for
    /// strokes emboldened by embolden: its first glyph's pen starts at the
    /// margin plus this.
    static int EmboldenRoom(double embolden);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// Rotates an image by 180 degrees.
GreyImage Rotate180(const GreyImage& image);

}  // namespace gw::render
