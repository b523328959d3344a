// Finding and reading the machine-readable zone of a document image: the page
// (or a rectangle of it) is read line by line with an OCR-B font, the zone's
// lines are picked (see FindMrzLines) and checked (see ParseMrz). A page
// without a zone is read again turned by 180 degrees.
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
    std::string font;         ///< empty: the first font whose name holds "OCRB"
    int fontIndex = -1;       ///< used when >= 0 and no name is given
    unsigned threshold = 0;
};

struct MrzResult {
    std::optional<MrzReading> reading;   ///< nothing when no zone was found
    std::vector<TextLine> lines;         ///< the zone's lines, boxes in image pixels
    bool upsideDown = false;             ///< the zone was read turned by 180 degrees
    std::vector<ObjectReading> objects;  ///< the objects of the reading that found it
};

/// The font to read a zone with: the name given, else the index given, else
/// the first loaded font whose name holds "OCRB" or "OCR-B" (any case), else
/// the first font.
std::pair<std::string, int> MrzFont(const MrzSettings& settings,
                                    const std::vector<std::string>& fonts);

/// Finds and reads the zone in image (1- or 8-bit). Throws InputError naming
/// file for a rectangle outside the image.
MrzResult ReadMrz(DVImageProcessor& image, const MrzSettings& settings, const std::string& file);

}  // namespace gwtool
