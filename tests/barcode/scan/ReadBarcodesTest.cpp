// The whole-image reader on symbols drawn by zint (an independent generator)
// and laid out, turned or degraded by ImageMagick.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "DVImageProcessor.h"
#include "barcode/BarcodeTestSupport.h"
#include "GlyphwickBarcodes.h"
#include "barcode/Code39Text.h"

namespace {

using gw::BarcodeOptions;
using gw::BarcodeResult;
using gw::Symbology;

using bartest::Magick;
using bartest::ZintPng;

// A symbol with a white margin.
std::unique_ptr<DVImageProcessor> Bordered(const std::string& file, const std::string& more = "",
                                           const std::string& format = "") {
    return Magick(file + "-bordercolor white -border 20 " + more, format);
}

std::vector<std::string> Texts(const std::vector<BarcodeResult>& results) {
    std::vector<std::string> texts;
    for (const BarcodeResult& r : results) texts.push_back(r.text);
    return texts;
}

TEST(Barcodes, Code39OnlyWithStartStopAndQuietZones) {
    const std::string symbol = ZintPng("-b 8 --height=40", "ABCDEF");
    // Tightly cropped: the image border stands for the quiet zones.
    auto tight = Magick(symbol);
    std::vector<BarcodeResult> r = gw::ReadBarcodes(*tight);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].symbology, Symbology::Code39);
    EXPECT_EQ(r[0].text, "ABCDEF");
    EXPECT_EQ(r[0].characters, "ABCDEF");
    EXPECT_EQ(r[0].orientation, 0);
    EXPECT_FALSE(r[0].checksOk);  // no check character was asked for
    EXPECT_LT(r[0].corners[0].first, r[0].corners[1].first);
    // "*A" cut off on the left, or "F*" on the right: nothing, not "BCDEF".
    const int width = int(tight->GetWidth());
    for (const std::string& cut :
         {"-gravity east -crop " + std::to_string(width * 3 / 4) + "x+0+0",
          "-gravity west -crop " + std::to_string(width * 6 / 7) + "x+0+0"}) {
        auto image = Magick(symbol + cut + " +repage -bordercolor white -border 30");
        EXPECT_TRUE(gw::ReadBarcodes(*image).empty()) << cut;
    }
}

TEST(Barcodes, OneBitImagesReadWhicheverIndexIsBlack) {
    const std::string symbol = ZintPng("-b 20 --height=30", "Palette 1");
    auto image = Bordered(symbol, "-monochrome");
    ASSERT_EQ(image->GetBitsPerPixel(), 1u);
    EXPECT_EQ(Texts(gw::ReadBarcodes(*image)), std::vector<std::string>{"Palette 1"});
    // The same picture with every index flipped and the palette swapped.
    uint32_t palette[2] = {0xFFFFFFFFu, 0xFF000000u};
    ASSERT_EQ(image->Invert(), 0u);
    ASSERT_EQ(image->SetPalette(palette, 2), 0u);
    EXPECT_EQ(Texts(gw::ReadBarcodes(*image)), std::vector<std::string>{"Palette 1"});
    // An 8-bit palette image whose index order is not the grey order.
    auto mapped = Bordered(symbol, "-fill '#d0c090' -opaque white -colors 16", "PNG8:");
    ASSERT_EQ(mapped->GetBitsPerPixel(), 8u);
    EXPECT_EQ(Texts(gw::ReadBarcodes(*mapped)), std::vector<std::string>{"Palette 1"});
}

TEST(Barcodes, TurnedAndMirroredSymbolsReadInTheirOrder) {
    for (const std::string kind : {"-b 8", "-b 20"}) {
        const std::string text = kind == "-b 8" ? "TURN-39" : "Turn 128";
        const std::string symbol = ZintPng(kind + " --height=40", text);
        // The platform's rotate-flip types: 1, 2, 3 turn by 90, 180, 270
        // degrees clockwise; 4 to 7 mirror as well.
        for (int type = 0; type < 8; ++type) {
            SCOPED_TRACE(kind + ", rotate-flip " + std::to_string(type));
            auto image = Bordered(symbol);
            ASSERT_EQ(image->RotateFlip(type), 0u);
            const std::vector<BarcodeResult> r = gw::ReadBarcodes(*image);
            ASSERT_EQ(Texts(r), std::vector<std::string>{text});
            if (type < 4) {
                EXPECT_EQ(r[0].orientation, 90 * type);
            }
            EXPECT_FALSE(r[0].mirrored);
        }
    }
}

TEST(Barcodes, OptionsAndTheCExport) {
    auto ext = Bordered(ZintPng("-b 9 --height=30", "Aa-1"));
    BarcodeOptions options;  // full ASCII by default
    EXPECT_EQ(Texts(gw::ReadBarcodes(*ext, options)), std::vector<std::string>{"Aa-1"});
    options.code39FullAscii = false;
    EXPECT_EQ(Texts(gw::ReadBarcodes(*ext, options)), std::vector<std::string>{"A+A-1"});
    options.code39FullAscii = true;  // "Aa-1": four characters of text
    options.minLength = 5;
    EXPECT_TRUE(gw::ReadBarcodes(*ext, options).empty());
    options = {};
    options.code39 = false;
    EXPECT_TRUE(gw::ReadBarcodes(*ext, options).empty());

    // A modulo-43 check character: required, verified and left out.
    auto checked = Bordered(ZintPng("-b 8 --vers=1 --height=30", "CHK42"));
    options = {};
    options.code39CheckDigit = true;
    std::vector<BarcodeResult> r = gw::ReadBarcodes(*checked, options);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].text, "CHK42");
    EXPECT_EQ(r[0].characters.substr(0, 5), "CHK42");
    EXPECT_EQ(r[0].characters.size(), 6u);
    EXPECT_TRUE(r[0].checksOk);
    EXPECT_TRUE(gw::ReadBarcodes(*ext, options).empty());  // "A+A-1" has no valid check

    char buffer[32];
    EXPECT_EQ(GW_ReadBarcodesText(checked.get(), GW_BARCODE_CODE39, buffer, sizeof buffer), 1);
    std::string line = r[0].characters;  // no check digit asked for: all characters
    line.push_back('\n');
    EXPECT_EQ(std::string(buffer), line);
    EXPECT_EQ(GW_ReadBarcodesText(checked.get(), GW_BARCODE_CODE128, buffer, sizeof buffer), 0);
    EXPECT_EQ(std::string(buffer), "");
    EXPECT_EQ(GW_ReadBarcodesText(checked.get(), 0, buffer, 4), 1);  // counted, not written
    EXPECT_EQ(std::string(buffer), "");
    EXPECT_EQ(GW_ReadBarcodesText(nullptr, 0, buffer, 4), -1);
    EXPECT_EQ(GW_ReadBarcodesText(checked.get(), 0, nullptr, 4), -1);
    DVImageProcessor empty;
    EXPECT_EQ(GW_ReadBarcodesText(&empty, 0, buffer, 4), 0);
}

TEST(Barcodes, SeveralSymbolsAtAnglesOnAPage) {
    const std::string a = ZintPng("-b 20 --height=30", "FIRST 128");
    const std::string b = ZintPng("-b 8 --height=40", "SECOND39");
    const std::string c = ZintPng("-b 20 --height=30", "Third 128");
    std::string layout = "-size 1000x900 xc:white ";
    layout += a + "-geometry +80+60 -composite ";
    layout += "\\( " + b + "-background white -rotate 33 \\) -geometry +300+260 -composite ";
    layout += "\\( " + c + "-background white -rotate 200 \\) -geometry +150+640 -composite ";
    auto page = Magick(layout + "-colorspace gray -blur 0x0.7");
    const std::vector<std::string> want{"FIRST 128", "SECOND39", "Third 128"};
    const std::vector<BarcodeResult> r = gw::ReadBarcodes(*page);
    ASSERT_EQ(Texts(r), want);  // top to bottom
    EXPECT_NEAR(r[1].orientation, 33, 4);
    EXPECT_NEAR(r[2].orientation, 200, 4);
    // Corners lie around the symbol: the second symbol's box holds its centre.
    float cx = 0, cy = 0;
    for (const auto& [x, y] : r[1].corners) cx += x / 4, cy += y / 4;
    EXPECT_GT(cx, 300);
    EXPECT_LT(cx, 700);
    EXPECT_GT(cy, 260);
    EXPECT_LT(cy, 600);
}

}  // namespace

namespace {

TEST(Barcodes, Code39TextRules) {
    std::string out;
    // Code 32: base-32 characters to nine digits, the last one a check.
    EXPECT_TRUE(gw::barcodes::Code32("3PRM8N", out));
    EXPECT_EQ(out, "A123456788");
    EXPECT_FALSE(gw::barcodes::Code32("3PRM8P", out));   // check digit off by one
    EXPECT_FALSE(gw::barcodes::Code32("3PRM8A", out));   // a vowel is no Code 32 digit
    EXPECT_FALSE(gw::barcodes::Code32("3PRM8NN", out));  // seven characters
    // Full ASCII pairs of every kind; a pair that stands for nothing fails.
    EXPECT_TRUE(gw::barcodes::Code39FullAscii("+E+X%J/A/J/C/Z%U$M%V", out));
    EXPECT_EQ(out, std::string("ex?!*#:\0\r@", 10));
    EXPECT_FALSE(gw::barcodes::Code39FullAscii("/P", out));
    EXPECT_FALSE(gw::barcodes::Code39FullAscii("AB+", out));
    // The modulo-43 check: "CHK42" sums to 12 + 17 + 20 + 4 + 2 = 55, 55 % 43 = 12 ("C").
    EXPECT_TRUE(gw::barcodes::Code39CheckHolds("CHK42C"));
    EXPECT_FALSE(gw::barcodes::Code39CheckHolds("CHK42D"));
    EXPECT_FALSE(gw::barcodes::Code39CheckHolds("C"));
}

}  // namespace
