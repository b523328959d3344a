// Reading every Code 39 and Code 128 symbol of a whole image, at any angle.
//
// ReadBarcodes takes an image object of any pixel format (grey through its
// palette, so a 1-bit image reads the same whichever index is black) and
// returns one result per symbol found, with its text, its raw characters or
// symbol values, its four corners and its orientation. It keeps no
// process-wide state and takes no lock, so any number of threads may read at
// once. The rectangle readers GW_ReadCode39 and GW_ReadCode128 of
// Glyphwick.h are unchanged by it.
#ifndef GLYPHWICK_GLYPHWICKBARCODES_H
#define GLYPHWICK_GLYPHWICKBARCODES_H

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "GlyphwickBudget.h"
#include "GlyphwickExport.h"
#include "GlyphwickImageView.h"

class DVImageProcessor;

namespace gw {

enum class Symbology { Code39, Code128 };

/// What ReadBarcodes looks for.
struct BarcodeOptions {
    bool code39 = true;   ///< read Code 39 symbols
    bool code128 = true;  ///< read Code 128 symbols
    /// Code 39 pairs such as "+A" stand for "a" when every pair of the
    /// symbol is a valid one; a symbol with any other pair keeps its
    /// characters as printed. False reads every symbol as printed.
    bool code39FullAscii = true;
    bool code39CheckDigit = false;  ///< Code 39 ends in a modulo-43 check character: required,
                                    ///< verified and left out of the text
    int minLength = 1;              ///< fewest characters of text a result may have
    bool tryHarder = false;         ///< more scan directions and lines (slower)
    WorkBudget budget;              ///< time limit and cancellation
};

/// How a ReadBarcodes call ended, beside its results.
struct BarcodeReport {
    bool stopped = false;    ///< the budget ran out or the call was cancelled
    std::string stopReason;  ///< why it stopped, in words, when stopped
};

/// One symbol read.
struct BarcodeResult {
    Symbology symbology = Symbology::Code39;
    /// The text: Code 128 through its code sets, shifts and FNC4 (bytes 128 to
    /// 255 as Latin-1), FNC1 after the first place as the group separator 0x1D;
    /// Code 39 without its start and stop characters (full ASCII resolved when
    /// asked for and valid, the check character left out when asked for).
    std::string text;
    std::vector<int> values;  ///< Code 128: start, data and check values (the stop is not a value)
    std::string characters;   ///< Code 39: the characters between start and stop, as printed
    bool gs1 = false;         ///< Code 128: a leading FNC1 marks GS1 data
    /// Code 39: the Code 32 reading ("A" and nine digits) when the characters
    /// are six of the Code 32 alphabet and its check digit holds; empty
    /// otherwise. (One in ten plain six-character symbols passes by chance.)
    std::string code32;
    /// Corners in image pixels: start edge top, stop edge top, stop edge
    /// bottom, start edge bottom, "top" being to the left of the reading
    /// direction.
    std::array<std::pair<float, float>, 4> corners{};
    /// Reading direction, degrees clockwise from left-to-right (90: the
    /// symbol reads top to bottom, 180: it is upside down).
    int orientation = 0;
    /// A linear symbol reads the same mirrored as turned by 180 degrees, so
    /// mirrored scans come out as their turned reading and this stays false.
    bool mirrored = false;
    /// Every check held: Code 128's modulo-103 check, Code 39's check
    /// character when asked for, start and stop with their quiet zones.
    bool checksOk = false;
    int lines = 0;  ///< scan lines that read this symbol
};

/// Reads every Code 39 and Code 128 symbol of image that options allow.
/// Results are sorted top to bottom, then left to right, by their first
/// corner. An image without a bitmap gives an empty list. A symbol cut by
/// the image border or without its start, stop or quiet zones is not a
/// result. Takes no lock: any number of threads may read at once.
GW_API std::vector<BarcodeResult> ReadBarcodes(const DVImageProcessor& image,
                                               const BarcodeOptions& options = {});

/// As ReadBarcodes, also saying in report (when not null) whether the call
/// stopped early; the symbols read before it stopped are returned.
GW_API std::vector<BarcodeResult> ReadBarcodes(const DVImageProcessor& image,
                                               const BarcodeOptions& options,
                                               BarcodeReport* report);

/// As ReadBarcodes, over pixels the caller owns, read in place.
GW_API std::vector<BarcodeResult> ReadBarcodes(const ImageView& image,
                                               const BarcodeOptions& options = {},
                                               BarcodeReport* report = nullptr);

}  // namespace gw

/// Symbology bits of GW_ReadBarcodesText.
#define GW_BARCODE_CODE39 1u
#define GW_BARCODE_CODE128 2u

/// Reads every symbol of image (symbologies: GW_BARCODE_ bits, 0 for both)
/// and writes their texts into buffer, one a line, each ended by '\n', the
/// whole ended by a 0 byte. Returns the number of symbols read, or -1 for a
/// null image or buffer or a size below 1; when the texts do not fit, only the
/// lines that fit whole are written and the count is still that of all
/// symbols read. Thread-safe as ReadBarcodes.
extern "C" GW_API int GW_ReadBarcodesText(const DVImageProcessor* image, uint32_t symbologies,
                                          char* buffer, int size);

#endif  // GLYPHWICK_GLYPHWICKBARCODES_H
