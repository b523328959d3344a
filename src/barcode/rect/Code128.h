// Code 128: symbol characters of six elements and eleven modules, a stop
// pattern of seven elements and thirteen, a modulo-103 check character. The
// reader writes symbol values as numbers; Code128Text.h turns values into text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "barcode/Tables.h"
#include "barcode/rect/ScanPlan.h"

struct AREAINFO;

namespace gw {

/// Module count of a width 999 pixels or more from every reference width: it
/// matches any element and is written as "?".
constexpr uint8_t kCode128Wildcard = 15;

/// Module counts of the merged widths: s = sum of the first six (fewer when
/// there are fewer), Rk = floor((k * s + 5) / 11) for k = 1 to 4, each width
/// the k nearest to it (the smaller on a tie), or the wildcard.
std::vector<uint8_t> ClassifyCode128Widths(const MergedWidths& widths);

/// The value 0 to 105 whose pattern the six counts from position match (first
/// in value order), or -1, also when they run past the end.
int32_t LookupCode128(const std::vector<uint8_t>& counts, size_t position);

/// Whether the seven counts from position match the stop pattern.
bool IsCode128Stop(const std::vector<uint8_t>& counts, size_t position);

/// One reading of a rectangle, as GW_ReadCode128 reports it.
struct Code128Reading {
    /// Digits of the module counts as scanned, a space, then the values read
    /// after the start symbol ("00" to "09", "10" to "105"; "XX" unmatched).
    std::string text;
    /// 0 read, -1 no start symbol, -3 a symbol matched no row, -4 check failed.
    int32_t result = GW_READ_NO_SYMBOL;
    /// The reference count (the count of scan line 21).
    int32_t barCount = 0;
    /// The start value, then every value read (-1 unmatched), the check last;
    /// empty when no start symbol was found.
    std::vector<int32_t> values;
};

/// Reads a Code 128 symbol across rect (clipped to area), in either direction;
/// shows the bar count in a message captioned "Bar Count" before decoding
/// (a signal hosts rely on: see docs/compatibility.md).
Code128Reading ReadCode128(AREAINFO& area, const RECT& rect);

/// Decodes module counts (start symbol in either direction); the text part
/// after the space and the result. Used by ReadCode128 after the scan.
Code128Reading DecodeCode128(std::vector<uint8_t> counts);

}  // namespace gw
