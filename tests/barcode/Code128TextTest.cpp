// Code 128 values to the text a person expects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "barcode/Code128Text.h"

namespace {

using gw::Code128TextStatus;

// Values from start to check: appends the modulo-103 check.
std::vector<int32_t> Symbol(std::vector<int32_t> values) {
    int64_t sum = values[0];
    for (size_t i = 1; i < values.size(); ++i) sum += values[i] * int64_t(i);
    values.push_back(int32_t(sum % 103));
    return values;
}

std::string Text(const std::vector<int32_t>& values) {
    const gw::Code128Text text = gw::Code128ValuesToText(Symbol(values));
    EXPECT_EQ(text.status, Code128TextStatus::Ok);
    return text.text;
}

TEST(Code128Text, CodeSetsSwitchesAndShifts) {
    // B: values 0 to 95 are space to DEL; A: space to "_", then NUL to US.
    EXPECT_EQ(Text({104, 40, 69, 76, 76, 79, 95}), "Hello\x7F");
    EXPECT_EQ(Text({103, 33, 63, 64, 73, 95}), std::string("A_\0\t\x1F", 5));
    // C: pairs of digits; 100 switches to B, 101 to A.
    EXPECT_EQ(Text({105, 12, 34, 0, 99, 100, 33}), "12340099A");
    EXPECT_EQ(Text({105, 7, 101, 65, 99, 8}),
              "07\x01"
              "08");
    // B to A (101), A to B (100), either to C (99).
    EXPECT_EQ(Text({104, 65, 101, 65, 100, 65, 99, 42}),
              "a\x01"
              "a42");
    // Shift (98): one character from the other of A and B.
    EXPECT_EQ(Text({103, 33, 98, 65, 65}), "Aa\x01");
    EXPECT_EQ(Text({104, 65, 98, 73, 65}), "a\ta");
    // FNC3 (96) and FNC2 (97) write nothing.
    EXPECT_EQ(Text({104, 96, 33, 97, 34}), "AB");
}

TEST(Code128Text, Fnc1AndFnc4) {
    // A leading FNC1 marks GS1 data; later ones are group separators.
    gw::Code128Text text = gw::Code128ValuesToText(Symbol({105, 102, 1, 23, 102, 10, 100, 33}));
    EXPECT_EQ(text.status, Code128TextStatus::Ok);
    EXPECT_TRUE(text.gs1);
    EXPECT_EQ(text.text,
              "0123\x1D"
              "10A");
    text = gw::Code128ValuesToText(Symbol({104, 33, 102, 34}));
    EXPECT_FALSE(text.gs1);
    EXPECT_EQ(text.text,
              "A\x1D"
              "B");
    // FNC4 is 100 in B and 101 in A: once for the next character, twice to
    // latch, once inside the latch for one plain character, twice to unlatch.
    EXPECT_EQ(Text({104, 100, 37, 33}),
              "\xC5"
              "A");
    EXPECT_EQ(Text({103, 101, 33, 101, 64}), "\xC1\x80");
    EXPECT_EQ(Text({104, 100, 100, 33, 34, 100, 35, 36, 100, 100, 37}),
              "\xC1\xC2"
              "C\xC4"
              "E");
    // FNC4 before a shift applies to the shifted character.
    EXPECT_EQ(Text({104, 100, 98, 65, 65}),
              "\x81"
              "a");
}

TEST(Code128Text, RefusedReadings) {
    using V = std::vector<int32_t>;
    EXPECT_EQ(gw::Code128ValuesToText(V{}).status, Code128TextStatus::NoStart);
    EXPECT_EQ(gw::Code128ValuesToText(V{104}).status, Code128TextStatus::NoStart);
    EXPECT_EQ(gw::Code128ValuesToText(Symbol({33, 34})).status, Code128TextStatus::NoStart);
    EXPECT_EQ(gw::Code128ValuesToText(Symbol({104, -1, 34})).status, Code128TextStatus::BadValue);
    EXPECT_EQ(gw::Code128ValuesToText(Symbol({104, 103, 34})).status, Code128TextStatus::BadValue);
    EXPECT_EQ(gw::Code128ValuesToText(V{104, 33, 35}).status, Code128TextStatus::BadCheck);
    gw::Code128Text text = gw::Code128ValuesToText(V{104, 33, 40});
    EXPECT_EQ(text.status, Code128TextStatus::BadCheck);
    EXPECT_TRUE(text.text.empty());
    // A start and its check alone: empty text.
    text = gw::Code128ValuesToText(V{104, 1});
    EXPECT_EQ(text.status, Code128TextStatus::Ok);
    EXPECT_EQ(text.text, "");
}

}  // namespace
