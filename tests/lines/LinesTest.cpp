// The library's line reading: the cleaning that keeps punctuation, reading
// order, and whole readings of rendered text through both entry points.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DVImageProcessor.h"
#include "DevSet.h"
#include "Glyphwick.h"
#include "GlyphwickLines.h"
#include "TextRender.h"
#include "lines/LinesSupport.h"
#include "lines/Clean.h"

using namespace gw;
using lines::Keep;
using linetest::ImageOf;
using linetest::Render;

namespace {

class LinesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        GW_UnloadAllPatternFiles();
        ASSERT_EQ(GW_LoadPatternFile(GW_PATTERN_FILE), 1);
        if (!render::TextRenderer(accuracy::kOcrBPath).Valid()) GTEST_SKIP() << "no OCR-B font";
    }
};

}  // namespace

TEST(LinesClean, KeepsPunctuationBesideCharactersOnly) {
    const lines::SizeLimits limits{2, 10, 80, 80};
    // Two characters 20 x 30, a period at their baseline, a hyphen at their
    // middle, a comma below the baseline; then small boxes that are specks:
    // too small for the line's height, too far away, above the band.
    const std::vector<lines::Box> boxes = {
        {100, 100, 119, 129}, {130, 100, 149, 129},  // characters
        {153, 124, 157, 129},                        // period
        {160, 112, 169, 115},                        // hyphen
        {175, 124, 179, 132},                        // comma
        {153, 126, 154, 128},                        // 2 x 3 speck (below 30 / 8)
        {200, 124, 204, 129},                        // period 50 px from the last character
        {123, 80, 127, 84},                          // above the band
        {300, 300, 399, 309},                        // too wide
    };
    const std::vector<Keep> want = {Keep::Normal, Keep::Normal, Keep::Small,
                                    Keep::Small,  Keep::Small,  Keep::Drop,
                                    Keep::Drop,   Keep::Drop,   Keep::Drop};
    EXPECT_EQ(lines::ClassifyObjects(boxes, limits, true), want);
    const std::vector<Keep> off = lines::ClassifyObjects(boxes, limits, false);
    EXPECT_EQ(std::count(off.begin(), off.end(), Keep::Small), 0);
    EXPECT_EQ(std::count(off.begin(), off.end(), Keep::Normal), 2);

    // A comma hanging below the baseline was left on a line of its own (tag
    // 2); it joins line 1. A lone character of full height (tag 3) and a
    // dot far beyond the line's end (tag 4) stay where they are.
    const std::vector<lines::Box> tagged = {
        {100, 100, 119, 129}, {130, 100, 149, 129},
        {160, 100, 179, 129}, {153, 121, 161, 135},  // comma
        {400, 100, 419, 129},                        // a character
        {260, 124, 264, 129},                        // a dot 80 px beyond the line
    };
    EXPECT_EQ(lines::AttachPunctuation(tagged, {1, 1, 1, 2, 3, 4}),
              (std::vector<int>{1, 1, 1, 1, 3, 4}));
}

TEST(LinesOrder, TopToBottomThenLeftToRight) {
    auto line = [](const char* text, int left, int top) {
        TextLine l;
        l.text = text;
        l.box = {left, top, left + 100, top + 30};
        return l;
    };
    // "b" sits a little higher than "a" on the same row.
    std::vector<TextLine> lines = {line("d", 0, 200), line("b", 500, 96), line("c", 300, 150),
                                   line("a", 10, 100)};
    SortReadingOrder(lines);
    std::string order;
    for (const TextLine& l : lines) order += l.text;
    EXPECT_EQ(order, "abcd");
}

TEST_F(LinesTest, ReadsPunctuationWithTheDefaultLimits) {
    const render::GreyImage g = Render("SMITH, J-P 12.34.56");
    const auto image = ImageOf(g);
    LineOptions o;
    o.spaces = true;
    const LinesResult r = ReadLines(*image, o);
    ASSERT_EQ(r.status, kLinesOk) << r.error;
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0].text, "SMITH, J-P 12.34.56");
    EXPECT_EQ(r.lines[0].characters.size(), r.lines[0].text.size());
    EXPECT_EQ(r.font, "OCRB");
    o.punctuation = false;
    EXPECT_EQ(ReadLines(*image, o).lines.at(0).text.find_first_of(".,-"), std::string::npos);

    // Through the palette: inverted indexes read the same; and a raster read
    // in place, grey and as RGB with any steps, reads the same.
    EXPECT_EQ(ReadLines(*ImageOf(g, true)).lines.at(0).text, ReadLines(*image).lines.at(0).text);
    const std::string plain = ReadLines(*image).lines.at(0).text;
    PixelRows grey{g.pixels.data(), uint32_t(g.width), uint32_t(g.height), g.width, 1, 1, 1};
    EXPECT_EQ(ReadLines(grey).lines.at(0).text, plain);
    // Bottom-up rows of blue-green-red pixels, read as RGB by negative steps.
    std::vector<uint8_t> bgr(g.pixels.size() * 3);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            for (int c = 0; c < 3; ++c)
                bgr[(size_t(g.height - 1 - y) * g.width + x) * 3 + c] = g.At(x, y);
    PixelRows rgb{bgr.data() + (size_t(g.height) - 1) * g.width * 3 + 2,
                  uint32_t(g.width),
                  uint32_t(g.height),
                  -3 * ptrdiff_t(g.width),
                  3,
                  -1,
                  3};
    EXPECT_EQ(ReadLines(rgb).lines.at(0).text, plain);
}

TEST_F(LinesTest, EveryLineInReadingOrderAndFailures) {
    // Two lines, the lower one further left: its objects come first in the
    // object list, so it is the first line tagged; reading order puts it second.
    const render::GreyImage a = Render("AB12"), b = Render("CD34");
    render::GreyImage page;
    page.width = a.width * 2, page.height = a.height * 2 + 10;
    page.pixels.assign(size_t(page.width) * page.height, 255);
    auto paste = [&](const render::GreyImage& g, int left, int top) {
        for (int y = 0; y < g.height; ++y)
            for (int x = 0; x < g.width; ++x) page.At(left + x, top + y) = g.At(x, y);
    };
    paste(a, a.width, 0);
    paste(b, 0, a.height + 10);
    const auto image = ImageOf(page);
    LineOptions o;
    o.allLines = true;
    const LinesResult r = ReadLines(*image, o);
    ASSERT_EQ(r.status, kLinesOk) << r.error;
    std::vector<std::string> texts;
    for (const TextLine& l : r.lines) texts.push_back(l.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"AB12", "CD34"}));
    EXPECT_GT(r.lines[0].tag, r.lines[1].tag);

    // A rectangle reaching past the image reads its inside part; one wholly
    // outside is refused.
    o.rect = std::array<int, 4>{-40, -40, page.width + 40, page.height + 40};
    const LinesResult past = ReadLines(*image, o);
    ASSERT_EQ(past.status, kLinesOk) << past.error;
    EXPECT_EQ(past.lines.size(), r.lines.size());
    EXPECT_EQ(past.lines[0].box, r.lines[0].box);
    o.rect = std::array<int, 4>{page.width, 0, page.width + 50, 10};
    EXPECT_EQ(ReadLines(*image, o).status, kLinesBadRect);
    o.rect.reset();
    o.font = "nosuch";
    const LinesResult noFont = ReadLines(*image, o);
    EXPECT_EQ(noFont.status, kLinesNoFont);
    EXPECT_NE(noFont.error.find("OCRB"), std::string::npos) << noFont.error;
    o.font.clear();
    EXPECT_EQ(ReadLines(DVImageProcessor()).status, kLinesNoImage);
    o.patternFiles = {"no-such.PAT"};
    EXPECT_EQ(ReadLines(*image, o).status, kLinesBadPatterns);
    EXPECT_EQ(ReadLines(*image).status, kLinesOk);  // the fonts loaded before stay
}
