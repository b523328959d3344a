// The typical reading of printed text lines as one call: grey through the
// palette, an area over a rectangle, objects produced and cleaned (small
// punctuation beside a line kept), lines tagged, objects identified, then the
// best line or every line in reading order.
#ifndef GLYPHWICK_GLYPHWICKLINES_H
#define GLYPHWICK_GLYPHWICKLINES_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "GlyphwickBudget.h"
#include "GlyphwickExport.h"
#include "GlyphwickImageView.h"

class DVImageProcessor;

namespace gw {

/// The settings of one reading. Sizes are in pixels; the defaults suit print
/// of 8 to 12 points scanned at 300 dpi.
struct LineOptions {
    std::optional<std::array<int, 4>> rect;  ///< left, top, right, bottom (inclusive); whole image
    std::string font;                        ///< font name (any case); empty: fontIndex
    int fontIndex = 0;                       ///< font to identify with when no name is given
    std::vector<std::string> patternFiles;   ///< loaded in place of the store's fonts when given
    bool spaces = false;                     ///< blanks where the line's own pitch calls for them
    int spacing = 0;                         ///< blanks by this pitch in pixels; 0: none
    bool split = false;                      ///< split over-wide objects and identify again
    int minWidth = 2, minHeight = 10;        ///< smaller objects are dropped (but see punctuation)
    int maxWidth = 80, maxHeight = 80;       ///< larger objects are dropped
    int fragMinWidth = 0, fragMinHeight = 0, fragMaxWidth = 0, fragMaxHeight = 0;  ///< joining
    int holes = 0;           ///< fill enclosed holes of at most this many pixels
    bool trim = false;       ///< trim object rectangles before the redraw
    unsigned threshold = 0;  ///< grey level below which a pixel is ink; 0: 128
    bool allLines = false;   ///< every line, in reading order, instead of the best one
    /// Keep objects below the minimum size that sit beside a character of
    /// normal size, within its band, and are read as a character (". , - '").
    bool punctuation = true;
    int minLineObjects = 1, maxLineObjects = 2000;  ///< lines kept by their object count
    WorkBudget budget;                              ///< time limit and cancellation
};

/// One object as identified: box (left, top, right, bottom, inclusive), its
/// character ("?" unread, " " a blank made by spacing), score and line tag.
struct LineObject {
    std::array<int, 4> box{};
    char character = '?';
    int score = 0;
    int tag = 0;
};

/// One line: its text, tag, mean score, pitch (the median distance between
/// neighbouring left edges, or the spacing pitch), bounding box and the
/// objects of its text, one per character.
struct TextLine {
    std::string text;
    int tag = 0;
    int score = 0;
    double pitch = 0;
    std::array<int, 4> box{};
    std::vector<LineObject> characters;
};

/// Status codes of a reading.
enum LinesStatus : int {
    kLinesOk = 0,           ///< read (lines may still be empty: nothing was found)
    kLinesNoImage = 1,      ///< the image has no bitmap or is empty
    kLinesBadRect = 2,      ///< the rectangle does not overlap the image, or is inverted
    kLinesBadPatterns = 3,  ///< a pattern file is missing or does not load
    kLinesNoFont = 4,       ///< no font of that name or index is loaded
    kLinesBadOptions = 5,   ///< a size, count or spacing is negative
};

/// What a reading found. On failure status says why and error names it in
/// one line; lines and objects are then empty.
struct LinesResult {
    std::vector<TextLine> lines;      ///< the best line only, or every line in reading order
    std::vector<LineObject> objects;  ///< every object kept after cleaning, in list order
    std::string font;                 ///< the font identified with
    int status = kLinesOk;
    std::string error;
    bool stopped = false;    ///< the budget ran out or the call was cancelled
    std::string stopReason;  ///< why it stopped, in words, when stopped
};

/// A raster that the caller owns, read in place: pixel (x, y), channel c is
/// at pixels[y * rowStep + x * pixelStep + c * channelStep] (steps in bytes,
/// any sign). channels is 1 (grey, 0 black) or 3 (red, green, blue).
struct PixelRows {
    const uint8_t* pixels = nullptr;
    uint32_t width = 0, height = 0;
    ptrdiff_t rowStep = 0, pixelStep = 1, channelStep = 1;
    uint32_t channels = 1;
};

/// Reads the text lines of image (any pixel format, grey through its palette)
/// with the given options; the image is not changed. Takes no lock and keeps
/// no state between calls, so any number of threads may read at once. The
/// fonts are the pattern store's as the last GW_ call that changed it left
/// them, or, when the options name pattern files, those files' fonts for
/// this reading alone: they are read once into a store of their own (the
/// same files, unchanged, are not read again) and a file that does not load
/// changes nothing. When the budget runs out or the call is cancelled, the
/// result holds what was read by then and is marked as stopped. Every box
/// lies inside the image. Allocation failure leaves as std::bad_alloc; every
/// other failure is a status.
GW_API LinesResult ReadLines(const DVImageProcessor& image, const LineOptions& options = {});

/// The same reading of a raster read in place (a NumPy array, a frame
/// buffer): its grey levels are copied once into the library's image.
/// Null pixels or a zero size give kLinesNoImage; channels other than 1 or 3
/// kLinesBadOptions.
GW_API LinesResult ReadLines(const PixelRows& pixels, const LineOptions& options = {});

/// As ReadLines, over pixels the caller owns (see GlyphwickImageView.h).
GW_API LinesResult ReadLines(const ImageView& image, const LineOptions& options = {});

/// Sorts lines into reading order: top to bottom, and left to right among
/// lines whose middle rows fall inside each other's band.
GW_API void SortReadingOrder(std::vector<TextLine>& lines);

}  // namespace gw

#endif  // GLYPHWICK_GLYPHWICKLINES_H
