// The Code 39 reader: scan, classify each merged width as narrow or wide
// against units taken from the start character, look up ten digits at a time.
#include "api/Calls.h"
#include "barcode/rect/Code39.h"

#include <algorithm>
#include <cstring>

#include "area/Area.h"

namespace gw {

namespace {

constexpr size_t kGroup = 10;  // nine elements and the gap

constexpr bool WellFormed(std::string_view row) {
    if (row.size() != 12 || row[9] != '1' || row[10] != '-') return false;
    int wide = 0;
    for (size_t i = 0; i < 9; ++i) {
        if (row[i] != '1' && row[i] != '2') return false;
        wide += row[i] == '2';
    }
    return wide == 3;
}

constexpr bool TableWellFormed() {
    for (size_t i = 0; i < Code39Table.size(); ++i) {
        if (!WellFormed(Code39Table[i])) return false;
        for (size_t j = 0; j < i; ++j)
            if (Code39Table[i].substr(0, 9) == Code39Table[j].substr(0, 9)) return false;
    }
    return true;
}

// A group of ten digits as ten bits, a wide digit set; -1 when a digit is
// neither "1" nor "2" (no row has such a group).
constexpr int32_t GroupKey(std::string_view group) {
    int32_t key = 0;
    for (const char digit : group) {
        if (digit != '1' && digit != '2') return -1;
        key = key << 1 | (digit == '2' ? 1 : 0);
    }
    return key;
}

// The character of every possible group, "?" where no row matches: the
// lookup that comparing the group with each row in table order would give.
constexpr std::array<char, 1u << kGroup> kCharacterOfKey = [] {
    std::array<char, 1u << kGroup> table{};
    table.fill('?');
    for (auto row = Code39Table.rbegin(); row != Code39Table.rend(); ++row)
        table[static_cast<size_t>(GroupKey(row->substr(0, kGroup)))] = row->back();
    return table;
}();

}  // namespace

// Three wide elements of nine, a narrow gap, no pattern twice.
static_assert(TableWellFormed());
static_assert(kCharacterOfKey[static_cast<size_t>(GroupKey("1211212111"))] == '*' &&
              kCharacterOfKey[static_cast<size_t>(GroupKey("1221112111"))] == ' ' &&
              kCharacterOfKey[0] == '?');

std::string ClassifyCode39Widths(const MergedWidths& widths) {
    // The start character "*" with wide = 2 narrow: five bars of 7 narrow
    // widths, four spaces and the gap of 6.
    int64_t barUnit = 0, spaceUnit = 0;
    if (widths.size() >= kGroup) {
        barUnit = (widths[0] + widths[2] + widths[4] + widths[6] + widths[8]) / 7;
        spaceUnit = (widths[1] + widths[3] + widths[5] + widths[7] + widths[9]) / 6;
    }
    std::string digits(widths.size() + 1, '1');  // the last: the gap after the last character
    for (size_t i = 0; i < widths.size(); ++i) {
        const int64_t unit = (i % 2 == 0) ? barUnit : spaceUnit;
        const int64_t w = widths[i];
        // Narrow only when strictly nearer one unit than two: a tie is wide.
        const bool narrow =
            (w > unit ? w - unit : unit - w) < (w > 2 * unit ? w - 2 * unit : 2 * unit - w);
        digits[i] = narrow ? '1' : '2';
    }
    return digits;
}

bool DecodeCode39Text(std::string_view digits, std::string& result) {
    result.clear();
    bool allFound = true;
    for (size_t p = 0; p < digits.size(); p += kGroup) {
        char found = '?';
        if (digits.size() - p >= kGroup) {
            const int32_t key = GroupKey(digits.substr(p, kGroup));
            if (key >= 0) found = kCharacterOfKey[static_cast<size_t>(key)];
        }
        if (found == '?') allFound = false;
        if (found != '*') result.push_back(found);
    }
    return allFound;
}

int32_t ReadCode39Text(const RECT* rect, char* text) {
    // The scan loads every work row first.
    AREAINFO* area = gw::CurrentAreaToLoad();
    if (area == nullptr || rect == nullptr || text == nullptr) return GW_READ_BAD_ARGUMENT;
    const gw::ScanPlan plan = gw::ScanRectangle(*area, *rect);
    const int32_t reference = gw::MostFrequentCount(plan.counts);
    const std::string digits = gw::ClassifyCode39Widths(gw::MergeSums(plan, reference));
    std::string result;
    const bool allFound = gw::DecodeCode39Text(digits, result);
    std::memcpy(text, result.c_str(), result.size() + 1);
    if (reference == 0) return GW_READ_NO_SYMBOL;
    return allFound ? GW_READ_OK : GW_READ_UNKNOWN_SYMBOL;
}

}  // namespace gw
