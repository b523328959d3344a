// The development set of the default fonts and the typical reading of one
// rendered line through the library's exports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TextRender.h"

namespace gw::accuracy {

/// Characters of the default fonts: A-Z, 0-9, "<" and field punctuation.
inline constexpr const char* kCharacterSet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789<.,-/':+";

/// Debian's OCR-B and OCR-A font files.
inline constexpr const char* kOcrBPath = "/usr/share/fonts/opentype/ocr-b/OCRB.otf";
inline constexpr const char* kOcrAPath = "/usr/share/fonts/truetype/ocr-a/OCRA.ttf";

/// One rendered line of the set.
struct Sample {
    std::string font;      ///< font name in the pattern file: "OCRB" or "OCRA"
    std::string fontPath;  ///< the font file it is rendered from
    std::string variant;   ///< clean, noise, blur, light, touching, broken
    std::string kind;      ///< mrz or text
    std::string text;      ///< what the line says
    render::Variation variation;
};

/// Seed of the development set; another seed gives a held-out set of the same make.
inline constexpr uint64_t kDevSetSeed = 20261205;

/// The whole set, the same on every run: both fonts, cap heights 18 to 40,
/// MRZ lines of 30, 36 and 44 characters and ordinary lines with single and
/// double blanks, in six variants.
std::vector<Sample> MakeDevSet(uint64_t seed = kDevSetSeed);

/// Renders the sample and reads it the way a host reads one line (produce,
/// clean, tag, filter lines, identify, split and identify again, best line
/// with spaces), returning the text read. The pattern store must hold the
/// sample's font.
std::string ReadLine(const Sample& sample);

/// Reads an already rendered line with the given font and cap height.
std::string ReadImage(const render::GreyImage& image, const std::string& font, int capHeight);

}  // namespace gw::accuracy
