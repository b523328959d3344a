// The mrz command's reading: the library's zone reader (gw::ReadMrz) over the
// image or a rectangle of it, its result turned into the tool's types.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Mrz.h"
#include "Reading.h"

class DVImageProcessor;

namespace gwtool {

struct MrzSettings {
    std::optional<Box> rect;  ///< the whole image when absent
    std::string font;         ///< kept for the command line; the reader uses its own OCR-B cells
    int fontIndex = -1;
    unsigned threshold = 0;  ///< kept for the command line; the reader thresholds locally
};

struct MrzResult {
    std::optional<MrzReading> reading;   ///< nothing when no zone was found
    std::vector<TextLine> lines;         ///< the zone's lines, boxes in image pixels
    bool upsideDown = false;             ///< the zone was read turned by 180 degrees
    std::vector<ObjectReading> objects;  ///< the zone's characters, boxes in image pixels
    std::string json;                    ///< the library's result as a JSON object
};

/// The font named for the command (checked to exist by the command): the
/// name given, else the index given, else the first font whose name holds
/// "OCRB" or "OCR-B" (any case), else the first font.
std::pair<std::string, int> MrzFont(const MrzSettings& settings,
                                    const std::vector<std::string>& fonts);

/// Finds and reads the zone in image. Throws InputError naming file for a
/// rectangle outside the image.
MrzResult ReadMrz(DVImageProcessor& image, const MrzSettings& settings, const std::string& file);

}  // namespace gwtool
