// The scoring table of identification, as the builder weighs pattern codes
// against object codes with it.
#pragma once

namespace gw::patterns {

/// Pattern codes in the order that ties between them go to (most specific first).
inline constexpr char kPatternCodes[] = {'-', 'X', '0', '1', '/', '?'};

/// Points of (pattern code in kPatternCodes order, object code "-", "0", "1", "X").
inline constexpr int kPoints[6][4] = {
    {1, -2, -10, -10},  // "-"
    {-10, -5, 1, 1},    // "X"
    {1, 1, 0, -5},      // "0"
    {0, 0, 1, 1},       // "1"
    {1, 1, -2, -5},     // "/"
    {1, 1, 1, 1},       // "?"
};
static_assert(kPoints[5][0] == 1 && kPoints[5][3] == 1, "\"?\" earns a point on anything");

/// A cell score counts four times its points.
inline constexpr int kPointScale = 4;

/// Index of an object code ("-", "0", "1", "X"); anything else counts as "X".
inline int ObjectIndex(char code) {
    switch (code) {
        case '-':
            return 0;
        case '0':
            return 1;
        case '1':
            return 2;
        default:
            return 3;
    }
}

/// Index of a pattern code in kPatternCodes, -1 for a code that earns nothing.
inline int PatternIndex(char code) {
    for (int i = 0; i < 6; ++i) {
        if (kPatternCodes[i] == code) return i;
    }
    return -1;
}

}  // namespace gw::patterns
