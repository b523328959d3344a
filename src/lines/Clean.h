// The cleaning of the typical line reading: objects inside the size limits
// are kept, and so are smaller ones that sit beside such an object, within
// its band, and are large enough for punctuation rather than specks.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace gw::lines {

using Box = std::array<int, 4>;  // left, top, right, bottom (inclusive)

struct SizeLimits {
    int minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;
};

/// What the cleaning does with an object.
enum class Keep : uint8_t {
    Drop,    ///< outside the limits and beside no character
    Normal,  ///< inside the limits
    Small,   ///< below the minimum, kept on trial: dropped again when it reads as "?"
};

/// Sorts out every box. A box below the minimum size is Small when
/// punctuation is on and some Normal box of height H has it within its band
/// (top no more than H / 4 above, bottom no more than H / 2 below), no further
/// than H to its left or right, and the small box is at least H / 8 in its
/// larger side, at most H wide and at most 2H / 3 high.
std::vector<Keep> ClassifyObjects(const std::vector<Box>& boxes, const SizeLimits& limits,
                                  bool punctuation);

/// Moves punctuation that line assembly left on a line of its own (a comma
/// below the baseline misses the middle row of the character before it) into
/// the line beside it. tags[i] is the line of boxes[i] (0 none). A line of at
/// most two objects, each at most 2H / 3 high, moves into a line of more
/// objects with median object height H when every one of its boxes lies in
/// that line's band (top no more than H / 4 above, bottom no more than H / 2
/// below) and no further than H beyond its ends. Returns the new tags.
std::vector<int> AttachPunctuation(const std::vector<Box>& boxes, std::vector<int> tags);

}  // namespace gw::lines
