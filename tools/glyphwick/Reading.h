// The read command's face over the library's line reading (gw::ReadLines):
// settings in the tool's terms, results in the tool's terms, and failures as
// InputError naming the file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Options.h"

class DVImageProcessor;

namespace gwtool {

/// The settings of one reading. Sizes are in pixels; the defaults suit
/// documents scanned at 300 dpi.
struct ReadSettings {
    std::optional<Box> rect;  ///< the whole image when absent
    int minWidth = 2, minHeight = 10, maxWidth = 80, maxHeight = 80;
    int fragMinWidth = 0, fragMinHeight = 0, fragMaxWidth = 0, fragMaxHeight = 0;
    std::string font;         ///< font name; empty: fontIndex
    int fontIndex = 0;        ///< font to use when no name is given
    int holes = 0;            ///< fill enclosed holes of at most this many pixels
    bool trim = false;        ///< trim object rectangles before the redraw
    unsigned threshold = 0;   ///< grey level below which a pixel is ink; 0: 128
    bool spaces = false;      ///< blanks where the line's own pitch calls for them
    int spacing = 0;          ///< blanks by this pitch (pixels); 0: none
    bool split = false;       ///< split over-wide objects, identify again
    bool allLines = false;    ///< every line, in reading order, instead of the best one
    bool punctuation = true;  ///< keep small punctuation beside characters
    int minLineObjects = 1, maxLineObjects = 2000;  ///< lines kept by their object count
};

/// One identified object.
struct ObjectReading {
    Box box;
    char identity = '?';
    int score = 0;
    int tag = 0;
};

/// One line: its tag, text, mean score, median pitch and bounding box.
struct LineReading {
    int tag = 0;
    std::string text;
    int score = 0;
    int pitch = 0;
    Box box;
};

/// What a reading found.
struct TextReading {
    std::string font;                    ///< the font identified with
    std::vector<LineReading> lines;      ///< the best line only, or every line
    std::vector<ObjectReading> objects;  ///< every object kept after cleaning
};

/// Reads image (any pixel format) with the given settings. Throws InputError
/// naming file when the rectangle is outside the image or no font of the
/// store matches.
TextReading ReadText(DVImageProcessor& image, const ReadSettings& settings,
                     const std::string& file);

/// Names of the fonts in the pattern store, in store order.
std::vector<std::string> FontNames();

/// Loads pattern files in place of the default one. Throws InputError naming
/// the file that does not load.
void LoadPatterns(const std::vector<std::string>& files);

/// Checks that the font chosen by name (any case) or index is in the store.
/// Throws InputError otherwise.
void CheckFont(const std::string& name, int index);

}  // namespace gwtool
