// Code 128 values to text.
#include "barcode/Code128Text.h"

namespace gw {

namespace {

enum class CodeSet { A, B, C };

constexpr int32_t kStartA = 103, kStartC = 105;
constexpr int32_t kFnc1 = 102;
constexpr int32_t kShift = 98;
constexpr char kGroupSeparator = 0x1D;

bool CheckHolds(std::span<const int32_t> values) {
    int64_t sum = values[0];
    for (size_t i = 1; i + 1 < values.size(); ++i) sum += int64_t{values[i]} * int64_t(i);
    return sum % 103 == values.back();
}

// Data character of value (below 96) in code set A or B.
int CharacterOf(CodeSet set, int32_t value) {
    if (set == CodeSet::B) return value + 32;
    return value < 64 ? value + 32 : value - 64;  // A: space to "_", then NUL to US
}

}  // namespace

Code128Text Code128ValuesToText(std::span<const int32_t> values) {
    Code128Text out;
    if (values.size() < 2 || values[0] < kStartA || values[0] > kStartC) return out;
    for (size_t i = 1; i < values.size(); ++i) {
        if (values[i] < 0 || values[i] > kFnc1) {
            out.status = Code128TextStatus::BadValue;
            return out;
        }
    }
    if (!CheckHolds(values)) {
        out.status = Code128TextStatus::BadCheck;
        return out;
    }

    CodeSet set = static_cast<CodeSet>(values[0] - kStartA);
    bool shifted = false;      // the next character is in the other of A and B
    bool extended = false;     // two FNC4 in a row latch characters 128 to 255
    bool fnc4Pending = false;  // one FNC4: the next character flips to the other half
    std::string text;
    for (size_t i = 1; i + 1 < values.size(); ++i) {
        const int32_t v = values[i];
        CodeSet current = set;
        if (shifted) current = set == CodeSet::A ? CodeSet::B : CodeSet::A;
        shifted = false;
        if (v == kFnc1) {
            if (i == 1) {
                out.gs1 = true;
            } else {
                text.push_back(kGroupSeparator);
            }
            continue;
        }
        if (current == CodeSet::C) {
            if (v < 100) {
                text.push_back(static_cast<char>('0' + v / 10));
                text.push_back(static_cast<char>('0' + v % 10));
            } else {
                set = v == 100 ? CodeSet::B : CodeSet::A;
            }
            continue;
        }
        if (v < 96) {
            int character = CharacterOf(current, v);
            if (extended != fnc4Pending) character += 128;
            fnc4Pending = false;
            text.push_back(static_cast<char>(character));
            continue;
        }
        const bool inA = current == CodeSet::A;
        if (v == kShift) {
            shifted = true;
        } else if (v == 99) {
            set = CodeSet::C;
        } else if (v == (inA ? 101 : 100)) {  // FNC4
            if (fnc4Pending) {
                extended = !extended;
                fnc4Pending = false;
            } else {
                fnc4Pending = true;
            }
        } else if (v == (inA ? 100 : 101)) {
            set = inA ? CodeSet::B : CodeSet::A;
        }
        // 96 (FNC3) and 97 (FNC2) carry no characters.
    }
    out.text = std::move(text);
    out.status = Code128TextStatus::Ok;
    return out;
}

}  // namespace gw
