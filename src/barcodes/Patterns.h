// Bar and space patterns of Code 39, as published in its symbology standard,
// and of Code 128, shared with the rectangle reader.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "barcode/Code128.h"

namespace gw::barcodes {

/// Code 39 characters in value order (the modulo-43 check uses these values);
/// the start and stop character '*' is last.
inline constexpr std::string_view kCode39Alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%*";

/// Code 39 elements, bar first, one bit each from the most significant of
/// nine bits: 1 wide, 0 narrow. Every character has exactly three wide
/// elements.
inline constexpr std::array<uint16_t, 44> kCode39Patterns{
    0x034, 0x121, 0x061, 0x160, 0x031, 0x130, 0x070, 0x025, 0x124, 0x064,  // 0-9
    0x109, 0x049, 0x148, 0x019, 0x118, 0x058, 0x00D, 0x10C, 0x04C, 0x01C,  // A-J
    0x103, 0x043, 0x142, 0x013, 0x112, 0x052, 0x007, 0x106, 0x046, 0x016,  // K-T
    0x181, 0x0C1, 0x1C0, 0x091, 0x190, 0x0D0, 0x085, 0x184, 0x0C4, 0x0A8,  // U-Z - . space $
    0x0A2, 0x08A, 0x02A, 0x094};                                           // / + % *

constexpr bool ThreeWide(uint16_t p) {
    int n = 0;
    for (int i = 0; i < 9; ++i) n += (p >> i) & 1;
    return n == 3 && p < 0x200;
}
constexpr bool AllThreeWide() {
    for (uint16_t p : kCode39Patterns)
        if (!ThreeWide(p)) return false;
    return true;
}
static_assert(kCode39Alphabet.size() == kCode39Patterns.size());
static_assert(AllThreeWide());
static_assert(kCode39Patterns[43] == 0x094 && kCode39Alphabet[43] == '*');

/// Code 128 values 0 to 105 as six element widths in modules, then the stop
/// pattern's seven as value 106: the rectangle reader's table.
inline constexpr const auto& kCode128Patterns = Code128Table;
inline constexpr int kCode128Stop = 106;

}  // namespace gw::barcodes
