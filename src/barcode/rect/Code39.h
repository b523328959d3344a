// Code 39: nine elements per character (three wide), characters separated by
// a narrow gap, "*" as start and stop. Read left to right only, without a
// check character.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "barcode/Tables.h"
#include "barcode/rect/ScanPlan.h"

namespace gw {

/// Digit text of n merged widths: "1" (narrow) or "2" (wide) per width against
/// the bar unit (even positions) or space unit (odd positions) measured on the
/// first ten widths, then a closing "1" for the last character's gap. With
/// fewer than ten widths the units are 0 (every width is wide).
std::string ClassifyCode39Widths(const MergedWidths& widths);

/// Decodes the digit text ten digits at a time into result ("?" for a group
/// that matches no row or is cut short; "*" is dropped). True when every group
/// was found.
bool DecodeCode39Text(std::string_view digits, std::string& result);

}  // namespace gw
