// Code 39: nine elements per character (three wide), characters separated by
// a narrow gap, "*" as start and stop. Read left to right only, without a
// check character.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "barcode/Runs.h"

namespace gw {

/// One row per character in search order (1-9, 0, A-Z, "-", ".", space, "$",
/// "/", "+", "%", "*"): nine element digits (1 narrow, 2 wide), the gap digit
/// "1", "-" and the character.
inline constexpr std::array<std::string_view, 44> Code39Table = {
    "2112111121-1", "1122111121-2", "2122111111-3", "1112211121-4", "2112211111-5", "1122211111-6",
    "1112112121-7", "2112112111-8", "1122112111-9", "1112212111-0", "2111121121-A", "1121121121-B",
    "2121121111-C", "1111221121-D", "2111221111-E", "1121221111-F", "1111122121-G", "2111122111-H",
    "1121122111-I", "1111222111-J", "2111111221-K", "1121111221-L", "2121111211-M", "1111211221-N",
    "2111211211-O", "1121211211-P", "1111112221-Q", "2111112211-R", "1121112211-S", "1111212211-T",
    "2211111121-U", "1221111121-V", "2221111111-W", "1211211121-X", "2211211111-Y", "1221211111-Z",
    "1211112121--", "2211112111-.", "1221112111- ", "1212121111-$", "1212111211-/", "1211121211-+",
    "1112121211-%", "1211212111-*",
};

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
