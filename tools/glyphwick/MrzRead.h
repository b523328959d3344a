// The mrz command's reading: the library's zone reader (gw::ReadMrz) over the
// image or a rectangle of it, and the boxes of the zone's lines and
// characters, cut from the zone's corners, that the command prints and draws.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "GlyphwickMrz.h"
#include "Reading.h"

class DVImageProcessor;

namespace gwtool {

struct MrzSettings {
    std::optional<Box> rect;  ///< the whole image when absent
    std::string today;        ///< "YYYY-MM-DD" expired is judged against; empty: today
    double timeout = 0;       ///< seconds per file (0: the library's default)
    bool strict = false;      ///< a zone read but not valid fails the file (status 1)
};

/// Finds and reads the zone in image. Throws InputError naming file for a
/// rectangle outside the image or an image the library refuses.
gw::MrzResult ReadMrz(DVImageProcessor& image, const MrzSettings& settings,
                      const std::string& file);

/// The box of every line of the zone in image pixels, in the zone's line
/// order; none when no zone was found.
std::vector<Box> MrzLineBoxes(const gw::MrzResult& result);

/// Every character of the zone as an object: its box in image pixels, its
/// character, its line (from 1) as tag and its confidence (0 to 100) as
/// score; line by line, in reading order.
std::vector<ObjectReading> MrzObjects(const gw::MrzResult& result);

}  // namespace gwtool
