// The text a person expects from a Code 128 reading: code sets A, B and C
// with their switches and shifts, FNC1 (GS1 data and group separators) and
// FNC4 (characters 128 to 255). The readers report values; tools call this.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace gw {

enum class Code128TextStatus {
    Ok,
    NoStart,   ///< fewer than two values, or the first is not a start symbol
    BadValue,  ///< a value after the start is unread (-1), out of range or a start
    BadCheck,  ///< the last value is not the modulo-103 check of the others
};

struct Code128Text {
    Code128TextStatus status = Code128TextStatus::NoStart;
    /// The characters, one byte each (128 to 255 through FNC4, as Latin-1);
    /// FNC1 after the first position writes the group separator 0x1D. Empty
    /// unless status is Ok.
    std::string text;
    /// A leading FNC1 marks GS1 data; it writes nothing.
    bool gs1 = false;
};

/// Turns values from the start symbol to the check symbol (inclusive; the stop
/// pattern is not a value) into text. FNC2 and FNC3 write nothing.
Code128Text Code128ValuesToText(std::span<const int32_t> values);

}  // namespace gw
