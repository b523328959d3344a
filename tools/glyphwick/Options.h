// Parsing of the numeric option values of the command line ("L,T,R,B",
// "W,H", "MINW,MINH,MAXW,MAXH"), with messages that say what was expected.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace gwtool {

/// Reads exactly count comma-separated whole numbers from text. Throws
/// InputError naming the option and the expected shape when text does not
/// hold them, or a number is below minimum.
std::vector<int> ParseNumbers(const std::string& option, const std::string& text, size_t count,
                              const char* shape, int minimum = 0);

/// A rectangle left, top, right, bottom (right and bottom inclusive).
struct Box {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left + 1; }
    int Height() const { return bottom - top + 1; }
};

/// Parses --rect "L,T,R,B"; right must not be left of left, bottom not above top.
Box ParseRect(const std::string& text);

/// Checks that box overlaps an image of width x height (parts outside are
/// read as paper); throws InputError naming file when it misses the image.
void CheckInside(const Box& box, unsigned width, unsigned height, const std::string& file);

}  // namespace gwtool
