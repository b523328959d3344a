// Symbols rendered by zint, an independent generator, must read back as the
// data zint was given.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "barcode/BarcodeTestSupport.h"
#include "area/Area.h"
#include "barcode/rect/Code128.h"
#include "barcode/Code128Text.h"

namespace {

using bartest::Grey;
using bartest::Page;

// Puts a zint picture on a page with a margin, as 1- or 8-bit (8-bit in two
// grey levels on either side of the threshold), and makes the page the area.
struct Placed {
    Page page;
    RECT symbol;
    Placed(const Grey& grey, bool oneBit)
        : page(grey.width + 40, grey.height + 30, oneBit),
          symbol{15, 10, int32_t(grey.width) + 24, int32_t(grey.height) + 9} {
        page.Put(grey, 20, 15, 40, 215);
        const AREAPARAMS params = bartest::Params();
        const RECT whole = bartest::Whole(page);
        EXPECT_NE(GW_InitialiseArea(&page.image, &whole, &params), nullptr);
    }
    ~Placed() { GW_DestroyArea(); }
};

std::string ReadCode39(const Grey& grey, bool oneBit, int32_t* result) {
    Placed placed(grey, oneBit);
    std::vector<char> text(size_t(grey.width) + 8, '#');
    *result = GW_ReadCode39(&placed.symbol, text.data());
    return text.data();
}

gw::Code128Reading ReadCode128(const Grey& grey, bool oneBit) {
    Placed placed(grey, oneBit);
    std::vector<char> text(2 * size_t(grey.width) + 64, '#');
    const int32_t result = GW_ReadCode128(&placed.symbol, text.data());
    gw::Code128Reading reading = gw::ReadCode128(*gw::CurrentArea(), placed.symbol);
    // The export and the internal reading agree on text and result.
    EXPECT_EQ(std::string(text.data()), reading.text);
    EXPECT_EQ(result, reading.result);
    return reading;
}

// The text a person reads from a Code 128 symbol rendered by zint.
std::string Code128Text(const std::string& options, const std::string& data, bool oneBit) {
    const Grey grey = bartest::Zint("-b 20 --notext --quietzones " + options, data);
    if (grey.width == 0) return "<no picture>";
    const gw::Code128Reading reading = ReadCode128(grey, oneBit);
    EXPECT_EQ(reading.result, 0) << reading.text;
    const gw::Code128Text text = gw::Code128ValuesToText(reading.values);
    EXPECT_EQ(text.status, gw::Code128TextStatus::Ok) << reading.text;
    EXPECT_FALSE(text.gs1);
    return text.text;
}

TEST(ZintCode39, ReadsDataAtSeveralModuleWidthsInBothDepths) {
    const std::vector<std::string> data = {"AB7",   "CODE-39",    "HELLO WORLD",
                                           "$/+%.", "0123456789", "KLMNOPQRSTUVWXYZ"};
    // zint's scale 0.5 is one pixel per module, 1 two, 1.5 three.
    for (const char* scale : {"0.5", "1", "1.5", "2"}) {
        for (bool oneBit : {false, true}) {
            for (const std::string& d : data) {
                const Grey grey =
                    bartest::Zint(std::string("-b 8 --notext --quietzones --scale=") + scale, d);
                int32_t result = 99;
                EXPECT_EQ(ReadCode39(grey, oneBit, &result), d)
                    << "scale " << scale << (oneBit ? " 1-bit" : " 8-bit");
                EXPECT_EQ(result, 0);
            }
        }
    }
}

TEST(ZintCode128, EveryValueOfCodeSetsABAndC) {
    // Every printable ASCII character: values 0 to 95 of code set B.
    std::string printable;
    for (int c = 32; c < 127; ++c) printable.push_back(char(c));
    EXPECT_EQ(Code128Text("--scale=1", printable.substr(0, 48), false), printable.substr(0, 48));
    EXPECT_EQ(Code128Text("--scale=1", printable.substr(48), false), printable.substr(48));
    // Control characters force code set A (values 64 to 95 there).
    std::string controls = "A";
    for (int c = 1; c < 32; ++c) controls.push_back(char(c));
    EXPECT_EQ(Code128Text("--scale=1", controls, true), controls);
    // Digit pairs 00 to 99 in code set C.
    std::string pairs;
    for (int v = 0; v < 100; ++v) pairs += std::to_string(v / 10) + std::to_string(v % 10);
    EXPECT_EQ(Code128Text("--scale=1", pairs.substr(0, 100), false), pairs.substr(0, 100));
    EXPECT_EQ(Code128Text("--scale=1", pairs.substr(100), true), pairs.substr(100));
}

}  // namespace
