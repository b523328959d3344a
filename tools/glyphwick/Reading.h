// The read command's face over the library's line reading (gw::ReadLines):
// the library's options and result as they are, failures as InputError
// naming the file, and the pattern store's fonts.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "GlyphwickLines.h"
#include "Options.h"

class DVImageProcessor;

namespace gwtool {

/// One identified object as the annotation draws it.
struct ObjectReading {
    Box box;
    char identity = '?';
    int score = 0;
    int tag = 0;
};

/// Reads image (any pixel format) with the library's options. Throws
/// InputError naming file when the rectangle is outside the image, no font of
/// the store matches or the library refuses the reading.
gw::LinesResult ReadText(DVImageProcessor& image, const gw::LineOptions& options,
                         const std::string& file);

/// The library's objects as the annotation draws them.
std::vector<ObjectReading> ObjectsOf(const std::vector<gw::LineObject>& objects);

/// Names of the fonts in the pattern store, in store order.
std::vector<std::string> FontNames();

/// Loads pattern files in place of the default one. Throws InputError naming
/// the file that does not load.
void LoadPatterns(const std::vector<std::string>& files);

/// Checks that the font chosen by name (any case) or index is in the store.
/// Throws InputError otherwise.
void CheckFont(const std::string& name, int index);

}  // namespace gwtool
