// The Code 39 reader: units, narrow and wide, decoding ten digits at a time,
// and the reader's results.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "barcode/BarcodeTestSupport.h"
#include "area/Area.h"
#include "barcode/rect/Code39.h"

namespace {

using bartest::Page;

// Element patterns (bar, space, ... bar) of the characters drawn here.
const std::string kStar = "121121211", kA = "211112112", kB = "112112112", k7 = "111211212";

// "*AB7*" with narrow gaps, at `narrow` pixels per narrow element.
std::vector<uint32_t> SymbolAB7(uint32_t narrow, char lastGap = '1') {
    return bartest::ModuleRuns({kStar + "1", kA + "1", kB + "1", k7 + lastGap, kStar}, narrow);
}

struct Reader {
    Page page;
    explicit Reader(const std::vector<uint32_t>& runs, bool oneBit = false)
        : page(400, 100, oneBit) {
        page.Runs(runs, 20, 0, 99);
        const AREAPARAMS params = bartest::Params();
        const RECT whole = bartest::Whole(page);
        EXPECT_NE(GW_InitialiseArea(&page.image, &whole, &params), nullptr);
    }
    ~Reader() { GW_DestroyArea(); }
    int32_t Read(std::string& text, RECT rect = {0, 0, 399, 99}) {
        char buffer[64];
        std::fill(std::begin(buffer), std::end(buffer), '#');
        const int32_t result = GW_ReadCode39(&rect, buffer);
        text = buffer;
        return result;
    }
};

TEST(Code39, DesignSymbolAB7WithBarsOf3And6) {
    Reader reader(SymbolAB7(3));
    AREAINFO& area = *gw::CurrentArea();
    const gw::ScanPlan plan = gw::ScanRectangle(area, RECT{0, 0, 399, 99});
    const int32_t reference = gw::MostFrequentCount(plan.counts);
    EXPECT_EQ(reference, 49);
    const gw::MergedWidths merged = gw::MergeSums(plan, reference);
    // All 40 lines kept: narrow bar 3 * 40, wide 6 * 40; the start's bars
    // sum to 840, a bar unit of 120.
    EXPECT_EQ(merged[0], 120);
    EXPECT_EQ(merged[4], 240);
    EXPECT_EQ(merged[0] + merged[2] + merged[4] + merged[6] + merged[8], 840);
    const std::string digits = gw::ClassifyCode39Widths(merged);
    EXPECT_EQ(digits,
              "1211212111"
              "2111121121"
              "1121121121"
              "1112112121"
              "1211212111");
    std::string text;
    EXPECT_EQ(reader.Read(text), 0);
    EXPECT_EQ(text, "AB7");
}

TEST(Code39, NarrowBelowOneAndAHalfUnits) {
    // Start character at units of 120: 179 is nearer 120 than 240, 180 ties
    // and counts as wide, for bars and spaces alike.
    gw::MergedWidths merged = {120, 240, 120, 120, 240, 120, 240, 120, 120, 120};
    merged.insert(merged.end(), {179, 179, 180, 180, 240, 60});
    EXPECT_EQ(gw::ClassifyCode39Widths(merged),
              "1211212111"
              "112221"
              "1");
    // Units truncate: bars of 841 still give 120 (841 / 7), spaces 725 too.
    merged = {121, 245, 120, 120, 240, 120, 240, 120, 120, 120, 180};
    EXPECT_EQ(gw::ClassifyCode39Widths(merged),
              "1211212111"
              "2"
              "1");
}

TEST(Code39, ReaderResults) {
    std::string text;
    {
        // A wide gap after the 7 (9 pixels): "?" for the 7, result -3.
        Reader reader(SymbolAB7(3, '3'));
        EXPECT_EQ(reader.Read(text), -3);
        EXPECT_EQ(text, "AB?");
        // An empty intersection with the area reads nothing.
        EXPECT_EQ(reader.Read(text, RECT{400, 0, 500, 99}), -1);
        EXPECT_EQ(text, "?");
        // Null arguments and no area: -2, the buffer untouched.
        char buffer[4] = "abc";
        EXPECT_EQ(GW_ReadCode39(nullptr, buffer), GW_READ_BAD_ARGUMENT);
        const RECT r = {0, 0, 399, 99};
        EXPECT_EQ(GW_ReadCode39(&r, nullptr), GW_READ_BAD_ARGUMENT);
        GW_DestroyArea();
        EXPECT_EQ(GW_ReadCode39(&r, buffer), GW_READ_BAD_ARGUMENT);
        EXPECT_STREQ(buffer, "abc");
    }
    {
        // No line with 11 or more widths: "?", result -1.
        Reader reader(bartest::ModuleRuns({kStar}, 3));
        EXPECT_EQ(reader.Read(text), -1);
        EXPECT_EQ(text, "?");
    }
    {
        // Scanned from its end: no reversal, each character read backwards
        // ("*" is "P", 7 is "C", B is "8", A is "1").
        Reader reader(
            bartest::ModuleRuns({kStar + "1", kA + "1", kB + "1", k7 + "1", kStar}, 2, true), true);
        EXPECT_EQ(reader.Read(text), 0);
        EXPECT_EQ(text, "PC81P");
    }
}

}  // namespace
