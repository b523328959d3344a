// Reading Code 39 and Code 128 barcodes through the library's readers: in a
// rectangle given by the user with the rectangle readers, or anywhere in the
// image with the whole-image reader.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "GlyphwickBarcodes.h"
#include "Options.h"

class DVImageProcessor;

namespace gwtool {

enum class Symbology { Code39, Code128 };

/// One barcode reading.
struct BarcodeReading {
    Symbology symbology = Symbology::Code39;
    Box rect;                 ///< the rectangle that was read
    int result = -1;          ///< the reader's result: 0 read
    std::string text;         ///< the reader's text
    std::vector<int> values;  ///< Code 128: start value, symbol values, check
    std::string human;        ///< Code 128: the text the values stand for
    bool gs1 = false;         ///< Code 128: a leading FNC1 marks GS1 data
    bool read = false;        ///< the symbol was read completely
    /// The whole-image reader's result (corners, orientation, checks).
    std::optional<gw::BarcodeResult> found;
};

/// Every symbol of type (both symbologies without one) anywhere in image, by
/// the whole-image reader: rect is
/// the box around its corners, text its text (Code 39 full ASCII resolved
/// where every pair is valid) and human the same, or for a Code 39 symbol that
/// is a valid Code 32 its Code 32 reading.
std::vector<BarcodeReading> ReadWholeImage(const DVImageProcessor& image,
                                           std::optional<Symbology> type);

/// The start value (103, 104 or 105) whose pattern the first six module
/// digits match, "?" matching any digit; 0 for none.
int Code128StartOf(const std::string& digits);

/// The symbol values that the reader's text lists after its space ("00" to
/// "99", "100" to "105", "XX" for -1), starting with start. Where the
/// two-and-three-digit numbers can be split more than one way, the split whose
/// modulo-103 check holds wins. Empty when the text cannot be split.
std::vector<int> Code128Values(const std::string& numbers, int start);

/// Reads one barcode in rect. Throws InputError naming file for a rectangle
/// outside the image.
BarcodeReading ReadBarcode(DVImageProcessor& image, Symbology type, const Box& rect,
                           const std::string& file);

}  // namespace gwtool
