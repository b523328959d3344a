// Bar and space patterns of Code 39 and Code 128, as published in their
// symbology standards.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

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

/// Code 128 values 0 to 105 as six element widths in modules (bar, space,
/// bar, space, bar, space), then the stop pattern's seven as value 106.
inline constexpr std::array<std::string_view, 107> kCode128Patterns{
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212",
    "221213", "221312", "231212", "112232", "122132", "122231", "113222", "123122", "123221",
    "223211", "221132", "221231", "213212", "223112", "312131", "311222", "321122", "321221",
    "312212", "322112", "322211", "212123", "212321", "232121", "111323", "131123", "131321",
    "112313", "132113", "132311", "211313", "231113", "231311", "112133", "112331", "132131",
    "113123", "113321", "133121", "313121", "211331", "231131", "213113", "213311", "213131",
    "311123", "311321", "331121", "312113", "312311", "332111", "314111", "221411", "431111",
    "111224", "111422", "121124", "121421", "141122", "141221", "112214", "112412", "122114",
    "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111", "111242",
    "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211", "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311",
    "113141", "114131", "311141", "411131", "211412", "211214", "211232", "2331112"};

inline constexpr int kCode128StartA = 103, kCode128StartC = 105, kCode128Stop = 106;

constexpr bool Code128Sums() {
    for (size_t v = 0; v < kCode128Patterns.size(); ++v) {
        int modules = 0, bars = 0;
        const std::string_view p = kCode128Patterns[v];
        for (size_t i = 0; i < p.size(); ++i) {
            modules += p[i] - '0';
            if (i % 2 == 0) bars += p[i] - '0';
        }
        if (modules != (v == 106 ? 13 : 11) || bars % 2 != 0) return false;
    }
    return true;
}
static_assert(Code128Sums(), "11 modules a value (13 for stop), an even count of bar modules");

}  // namespace gw::barcodes
