// Random machine-readable zones with correct check digits, for the page maker.
#pragma once

#include <string>
#include <vector>

#include "TextRender.h"

namespace mrzpages {

/// A zone: its format name and its lines.
struct Zone {
    std::string format;
    std::vector<std::string> lines;
};

/// A random zone of a random format (TD1, TD2, TD3, MRV-A, MRV-B) whose
/// check digits all agree. With lookAlikes, the document number is made of
/// runs of look-alike characters drawn from it (the rest as without).
Zone RandomZone(gw::render::Random& rng, gw::render::Random* lookAlikes = nullptr);

/// Random text of capitals, digits, blanks and punctuation, as printed on a
/// document's face.
std::string RandomText(gw::render::Random& rng, size_t length);

}  // namespace mrzpages
