// The Code 128 reader: scan, module counts against reference widths from the
// first six widths, orientation by the start symbol, weighted check sum.
#include "api/Calls.h"
#include "barcode/rect/Code128.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "area/Area.h"
#include "platform/Signals.h"

namespace gw {

namespace {

constexpr size_t kSymbol = 6;
constexpr size_t kStop = 106;
constexpr int64_t kSymbolModules = 11;
constexpr int64_t kFarOff = 999;

constexpr int ModuleSum(std::string_view row) {
    int sum = 0;
    for (char c : row) sum += c - '0';
    return sum;
}

// Eleven modules per symbol with an even number of bar modules, thirteen for
// the stop, and no pattern twice.
constexpr bool TableWellFormed() {
    for (size_t v = 0; v < kStop; ++v) {
        const std::string_view row = Code128Table[v];
        if (row.size() != kSymbol || ModuleSum(row) != kSymbolModules) return false;
        if ((row[0] + row[2] + row[4] - 3 * '0') % 2 != 0) return false;
        for (size_t u = 0; u < v; ++u)
            if (Code128Table[u] == row) return false;
    }
    return Code128Table[kStop].size() == 7 && ModuleSum(Code128Table[kStop]) == 13;
}
static_assert(TableWellFormed());

bool IsStart(int32_t value) {
    return value >= kCode128StartA && value <= kCode128StartC;
}

bool Matches(const std::vector<uint8_t>& counts, size_t position, std::string_view row) {
    if (position > counts.size() || counts.size() - position < row.size()) return false;
    for (size_t i = 0; i < row.size(); ++i) {
        const uint8_t count = counts[position + i];
        if (count != kCode128Wildcard && count != row[i] - '0') return false;
    }
    return true;
}

void AppendValue(std::string& text, int32_t value) {
    if (value < 0) {
        text += "XX";
        return;
    }
    if (value < 10) text.push_back('0');
    text += std::to_string(value);
}

}  // namespace

std::vector<uint8_t> ClassifyCode128Widths(const MergedWidths& widths) {
    int64_t s = 0;
    for (size_t i = 0; i < std::min(widths.size(), kSymbol); ++i) s += widths[i];
    int64_t reference[4];
    for (int64_t k = 1; k <= 4; ++k)
        reference[k - 1] = (k * s + kSymbolModules / 2) / kSymbolModules;

    std::vector<uint8_t> counts(widths.size());
    for (size_t i = 0; i < widths.size(); ++i) {
        int64_t best = 0;
        for (int64_t k = 1; k < 4; ++k)
            if (std::abs(widths[i] - reference[k]) < std::abs(widths[i] - reference[best]))
                best = k;
        counts[i] = std::abs(widths[i] - reference[best]) >= kFarOff
                        ? kCode128Wildcard
                        : static_cast<uint8_t>(best + 1);
    }
    return counts;
}

int32_t LookupCode128(const std::vector<uint8_t>& counts, size_t position) {
    for (size_t v = 0; v < kStop; ++v)
        if (Matches(counts, position, Code128Table[v])) return static_cast<int32_t>(v);
    return -1;
}

bool IsCode128Stop(const std::vector<uint8_t>& counts, size_t position) {
    return Matches(counts, position, Code128Table[kStop]);
}

Code128Reading DecodeCode128(std::vector<uint8_t> counts) {
    Code128Reading reading;
    reading.barCount = static_cast<int32_t>(counts.size());
    reading.text.reserve(counts.size() + 1 + 3 * (counts.size() / kSymbol));
    for (uint8_t count : counts) reading.text.push_back(static_cast<char>('0' + count));
    reading.text.push_back(' ');

    int32_t start = LookupCode128(counts, 0);
    if (!IsStart(start)) {
        std::reverse(counts.begin(), counts.end());  // scanned from the stop end
        start = LookupCode128(counts, 0);
        if (!IsStart(start)) {
            reading.result = GW_READ_NO_SYMBOL;
            return reading;
        }
    }
    reading.values.push_back(start);

    int64_t weight = 1, sum = start, lastProduct = 0;
    int32_t result = GW_READ_OK;
    for (size_t p = kSymbol; p < counts.size() && !IsCode128Stop(counts, p); p += kSymbol) {
        const int32_t value = LookupCode128(counts, p);
        AppendValue(reading.text, value);
        reading.values.push_back(value);
        if (value < 0) {
            result = GW_READ_UNKNOWN_SYMBOL;
        } else {
            lastProduct = value * weight;
            sum += lastProduct;
        }
        ++weight;
    }
    // The last symbol read is the check: the weighted sum before it, mod 103.
    const int32_t check = reading.values.size() > 1 ? reading.values.back() : -1;
    if (check < 0 || check != (sum - lastProduct) % 103) result = GW_READ_CHECK_FAILED;
    reading.result = result;
    return reading;
}

Code128Reading ReadCode128(AREAINFO& area, const RECT& rect) {
    const ScanPlan plan = ScanRectangle(area, rect);
    const int32_t reference = Line21Count(plan.counts);
    dv::ShowMessage(std::to_string(reference).c_str(), "Bar Count", 1);
    return DecodeCode128(ClassifyCode128Widths(MergeMeans(plan, reference)));
}

int32_t ReadCode128Text(const RECT* rect, char* text) {
    // The scan loads every work row first.
    AREAINFO* area = gw::CurrentAreaToLoad();
    if (area == nullptr || rect == nullptr || text == nullptr) return GW_READ_BAD_ARGUMENT;
    const gw::Code128Reading reading = gw::ReadCode128(*area, *rect);
    std::memcpy(text, reading.text.c_str(), reading.text.size() + 1);
    return reading.result;
}

}  // namespace gw
