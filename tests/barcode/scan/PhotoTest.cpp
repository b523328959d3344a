// The whole-image reader on what phones and scanners give: a tall symbol read
// along its whole height (one result, its whole box), faint narrow bars,
// thin print, heavy blur, a crop a few squares tall, a small symbol on a
// 12-megapixel page, and a budget that stops the read and says why.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "DVImageProcessor.h"
#include "barcode/BarcodeTestSupport.h"
#include "GlyphwickBarcodes.h"
#include "GlyphwickGrey.h"

namespace {

using gw::BarcodeResult;

// zint's symbol, laid out by ImageMagick's convert with arguments ("IN" is
// the symbol's file), loaded.
std::unique_ptr<DVImageProcessor> Make(const std::string& zint, const std::string& data,
                                       std::string arguments) {
    arguments.replace(arguments.find("IN"), 2, bartest::ZintPng(zint, data));
    return bartest::Magick(arguments);
}

// The symbol laid out at each angle (ANGLE in arguments) reads as one
// result with its text.
void ExpectOneReadAtEachAngle(const std::string& zint, const std::string& text,
                              const std::string& arguments,
                              std::initializer_list<const char*> angles) {
    for (const char* angle : angles) {
        SCOPED_TRACE(angle);
        std::string laid = arguments;
        laid.replace(laid.find("ANGLE"), 5, angle);
        const std::vector<BarcodeResult> r = gw::ReadBarcodes(*Make(zint, text, laid));
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].text, text);
    }
}

float Distance(std::pair<float, float> a, std::pair<float, float> b) {
    return std::hypot(a.first - b.first, a.second - b.second);
}

TEST(Photo, ATallSymbolIsOneResultWithTheBoxOfItsWholeHeight) {
    // Bars 600 pixels high over a symbol 246 pixels long, straight and a
    // little turned: its lines lie further apart than its length, and lines
    // at other angles read strips of the same bars.
    for (const char* angle : {"0", "4"}) {
        SCOPED_TRACE(angle);
        const auto image = Make(
            "-b 20 --height=300", "TALL-128",
            std::string("IN -bordercolor white -border 40 -background white -rotate ") + angle);
        const std::vector<BarcodeResult> r = gw::ReadBarcodes(*image);
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].text, "TALL-128");
        // Start edge top to start edge bottom: most of the bars' height.
        EXPECT_GT(Distance(r[0].corners[0], r[0].corners[3]), 500.0f);
    }
}

TEST(Photo, FaintNarrowCode39Reads) {
    // Modules of 1.2 pixels (2-pixel modules resampled to 60%), ink at 150 on
    // paper at 205, at an angle.
    ExpectOneReadAtEachAngle("-b 8 --height=30", "FAINT39",
                             "IN -bordercolor white -border 30 -resize 60% +level 59%,80% "
                             "-background '#cdcdcd' -rotate ANGLE -colorspace gray",
                             {"0", "7", "90"});
    // Thin print: paper grown 2 pixels into bars of 8-pixel modules, shrunk
    // to modules of 1.6 pixels and blurred, so narrow bars are faint grey.
    const auto thin = Make("-b 8 --height=17 --scale=4", "9X6T1OT",
                           "IN -colorspace gray -morphology Dilate Square:2 -bordercolor white "
                           "-border 80 -resize 20% -blur 0x0.73 +level 18%,88%");
    const std::vector<BarcodeResult> r = gw::ReadBarcodes(*thin);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].text, "9X6T1OT");
}

TEST(Photo, ThinPrintCode128Reads) {
    // Paper grown 2 pixels into bars of 8-pixel modules, shrunk to modules of
    // 1.76 pixels and blurred by 0.57 of one: the narrow bars stay lighter
    // than the middle of paper and ink, the narrow spaces between wide bars
    // darker than it.
    ExpectOneReadAtEachAngle("-b 20 --height=20 --scale=4", "VLgCt",
                             "IN -colorspace gray -morphology Dilate Square:2 -bordercolor white "
                             "-border 80 -resize 22% -background white -rotate ANGLE -blur 0x1.0 "
                             "+level 20%,92%",
                             {"0", "3", "90"});
}

TEST(Photo, HeavilyBlurredSymbolsRead) {
    // Modules of 2 pixels under a blur of sigma 1.5 and 1.6 pixels (0.75 and
    // 0.8 modules): the narrow spaces between bars are shallow swings that no
    // threshold on the line splits.
    for (const char* sigma : {"1.5", "1.6"})
        for (const char* angle : {"0", "3", "90"}) {
            SCOPED_TRACE(testing::Message() << "sigma " << sigma << " angle " << angle);
            const std::string layout =
                std::string("IN -bordercolor white -border 40 -background white -rotate ") + angle +
                " -colorspace gray -blur 0x" + sigma;
            const auto code128 = Make("-b 20 --height=30", "BLUR-128x", layout);
            const std::vector<BarcodeResult> a = gw::ReadBarcodes(*code128);
            ASSERT_EQ(a.size(), 1u);
            EXPECT_EQ(a[0].text, "BLUR-128x");
            const auto code39 = Make("-b 8 --height=30", "BLUR39", layout);
            const std::vector<BarcodeResult> b = gw::ReadBarcodes(*code39);
            ASSERT_EQ(b.size(), 1u);
            EXPECT_EQ(b[0].text, "BLUR39");
        }
}

TEST(Photo, ACropAFewSquaresTallReads) {
    // A Code 128 symbol cropped close: modules of 1.44 pixels with edges on
    // whole pixels, 17 pixels tall with 6 or 9 of paper above and below, so
    // that every square of the picture holds the bars' ends as well.
    for (const char* paper : {"6", "9"}) {
        SCOPED_TRACE(paper);
        const auto crop = Make("-b 20 --height=12 --scale=1", "DN2TnV",
                               std::string("IN -sample 72% -bordercolor white -border 6x0 "
                                           "-border 0x") +
                                   paper + " -colorspace gray +level 12%,85%");
        const std::vector<BarcodeResult> r = gw::ReadBarcodes(*crop);
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].text, "DN2TnV");
    }
}

TEST(Photo, Code39WithEdgesOnWholePixelsReads) {
    // Modules of 1.5 pixels, wide elements 2.2 modules, every edge rounded to
    // a whole pixel as on a small label printed or scaled to the nearest
    // pixel: narrow spaces of 1 and 2 pixels beside wide ones of 3.
    // Elements of *, C, 3, 2, 9, * (1 wide), bar first.
    const char* const symbol[] = {"010010100", "101001000", "101100000",
                                  "001100001", "001100100", "010010100"};
    std::vector<uint8_t> row(8, 230);
    double at = 0;
    for (const char* c : symbol) {
        for (int k = 0; k < 10; ++k) {  // the tenth, a narrow space, is the gap
            const double end = at + 1.5 * (k < 9 && c[k] == '1' ? 2.2 : 1.0);
            row.insert(row.end(), size_t(std::lround(end) - std::lround(at)), k % 2 ? 230 : 40);
            at = end;
        }
    }
    row.insert(row.end(), 8, 230);
    std::vector<uint8_t> pixels;
    for (int y = 0; y < 30; ++y) pixels.insert(pixels.end(), row.begin(), row.end());
    const std::vector<BarcodeResult> r = gw::ReadBarcodes(
        gw::ImageView(pixels.data(), int(row.size()), 30, gw::PixelFormat::Grey8), {}, nullptr);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].text, "C329");
}

// A 4032 x 3024 grey page: grain and light falling off across it, one small
// Code 128 symbol (2-pixel modules) near its lower right.
struct Page {
    static constexpr int kWidth = 4032, kHeight = 3024;
    std::vector<uint8_t> pixels;
    Page() : pixels(size_t(kWidth) * kHeight) {
        std::mt19937 random(11);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                pixels[size_t(y) * kWidth + x] =
                    uint8_t(150 + 50 * x / kWidth - 20 * y / kHeight + int(random() % 25));
        const gw::GreyImage grey = gw::ToGrey(
            *Make("-b 20 --height=25", "SMALL 12MP", "IN -bordercolor white -border 20"));
        for (uint32_t y = 0; y < grey.height; ++y)
            for (uint32_t x = 0; x < grey.width; ++x)
                pixels[size_t(2400 + y) * kWidth + 3100 + x] = grey.At(x, y);
    }
};

TEST(Photo, OneSmallSymbolOnATwelveMegapixelPageReads) {
    const Page page;
    const gw::ImageView view(page.pixels.data(), Page::kWidth, Page::kHeight,
                             gw::PixelFormat::Grey8);
    gw::BarcodeReport report;
    const std::vector<BarcodeResult> r = gw::ReadBarcodes(view, {}, &report);
    EXPECT_FALSE(report.stopped) << report.stopReason;
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].text, "SMALL 12MP");
    EXPECT_GT(r[0].corners[0].first, 3100.0f);
    EXPECT_GT(r[0].corners[0].second, 2400.0f);
}

TEST(Photo, ABudgetStopsTheReadAndSaysWhy) {
    const Page page;
    const gw::ImageView view(page.pixels.data(), Page::kWidth, Page::kHeight,
                             gw::PixelFormat::Grey8);
    std::atomic<bool> cancel{true};
    gw::BarcodeOptions options;
    options.budget.cancel = &cancel;
    gw::BarcodeReport report;
    EXPECT_TRUE(gw::ReadBarcodes(view, options, &report).empty());
    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(report.stopReason, "cancelled");
    options.budget = {};
    options.budget.seconds = 1e-6;
    gw::ReadBarcodes(view, options, &report);
    EXPECT_TRUE(report.stopped);
    EXPECT_NE(report.stopReason.find("time budget"), std::string::npos) << report.stopReason;
    // The report is reset by the next call.
    options.budget.seconds = -1;  // no limit
    EXPECT_EQ(gw::ReadBarcodes(view, options, &report).size(), 1u);
    EXPECT_FALSE(report.stopped);
    EXPECT_TRUE(report.stopReason.empty());
}

}  // namespace
