// The bar and space tables of Code 39 and Code 128, held once for both
// readers: the rectangle readers (rect/) look rows up as digit text, the
// whole-image reader (scan/) uses the bit patterns and module widths derived
// here from the same rows.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

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

/// Element widths in modules: rows 0 to 105 are the symbol values 0 to 105
/// (bar, space, bar, space, bar, space), row 106 the stop pattern.
inline constexpr std::array<std::string_view, 107> Code128Table = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312",  "132212",
    "221213", "221312", "231212", "112232", "122132", "122231", "113222", "123122",  "123221",
    "223211", "221132", "221231", "213212", "223112", "312131", "311222", "321122",  "321221",
    "312212", "322112", "322211", "212123", "212321", "232121", "111323", "131123",  "131321",
    "112313", "132113", "132311", "211313", "231113", "231311", "112133", "112331",  "132131",
    "113123", "113321", "133121", "313121", "211331", "231131", "213113", "213311",  "213131",
    "311123", "311321", "331121", "312113", "312311", "332111", "314111", "221411",  "431111",
    "111224", "111422", "121124", "121421", "141122", "141221", "112214", "112412",  "122114",
    "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111",  "111242",
    "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211",  "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113",  "411311",
    "113141", "114131", "311141", "411131", "211412", "211214", "211232", "2331112",
};
/// The three start values of Code 128 (code sets A, B and C).
constexpr int32_t kCode128StartA = 103;
constexpr int32_t kCode128StartB = 104;
constexpr int32_t kCode128StartC = 105;

namespace barcodes {

/// Code 39 characters in value order (the modulo-43 check uses these values);
/// the start and stop character '*' is last.
inline constexpr std::string_view kCode39Alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%*";

/// The nine elements of a Code39Table row as bits, bar first from the most
/// significant of nine bits: 1 wide, 0 narrow.
constexpr uint16_t Code39Bits(std::string_view row) {
    uint16_t bits = 0;
    for (size_t i = 0; i < 9; ++i) bits = uint16_t(bits << 1 | (row[i] == '2' ? 1 : 0));
    return bits;
}

/// The character of every nine-bit pattern, 0 for patterns that are none.
inline constexpr std::array<char, 512> kCode39ByPattern = [] {
    std::array<char, 512> t{};
    for (std::string_view row : Code39Table) t[Code39Bits(row)] = row.back();
    return t;
}();
static_assert(kCode39ByPattern[0x094] == '*' && kCode39ByPattern[0x034] == '0');
static_assert(kCode39ByPattern[0x109] == 'A' && kCode39ByPattern[0x02A] == '%');

/// Code 128 values 0 to 105 as six element widths in modules, then the stop
/// pattern's seven as value 106.
inline constexpr const auto& kCode128Patterns = Code128Table;
inline constexpr int kCode128Stop = 106;

}  // namespace barcodes
}  // namespace gw
