#include "Options.h"

#include <charconv>

#include "Errors.h"

namespace gwtool {

std::vector<int> ParseNumbers(const std::string& option, const std::string& text, size_t count,
                              const char* shape, int minimum) {
    std::vector<int> out;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end || out.size() < count) {
        int v = 0;
        const auto [next, ec] = std::from_chars(p, end, v);
        if (ec != std::errc() || out.size() == count) {
            throw InputError("", option + ": expected " + shape + ", got '" + text + "'");
        }
        if (v < minimum) {
            throw InputError("", Cat(option, ": ", v, " is below ", minimum, " in '", text, "'"));
        }
        out.push_back(v);
        p = next;
        if (p < end) {
            if (*p != ',' || out.size() == count) {
                throw InputError("", option + ": expected " + shape + ", got '" + text + "'");
            }
            ++p;
            if (p == end)
                throw InputError("", option + ": expected " + shape + ", got '" + text + "'");
        }
    }
    return out;
}

Box ParseRect(const std::string& text) {
    const auto v = ParseNumbers("--rect", text, 4, "L,T,R,B");
    Box b{v[0], v[1], v[2], v[3]};
    if (b.right < b.left || b.bottom < b.top) {
        throw InputError("",
                         "--rect: right and bottom must not be left of or above left and top"
                         " in '" +
                             text + "'");
    }
    return b;
}

void CheckInside(const Box& box, unsigned width, unsigned height, const std::string& file) {
    // A rectangle that only overlaps the image is read: the parts outside are
    // paper. One that misses it holds nothing to read.
    if (box.left >= static_cast<long>(width) || box.top >= static_cast<long>(height)) {
        throw InputError(file,
                         Cat("rectangle ", box.left, ",", box.top, ",", box.right, ",", box.bottom,
                             " is outside the image (", width, " x ", height, ")"));
    }
}

}  // namespace gwtool
