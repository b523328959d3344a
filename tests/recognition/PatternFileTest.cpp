// The pattern file reader and the pattern store exports.
#include <string>

#include "RecognitionTestSupport.h"
#include "recognition/Identify.h"
#include "recognition/PatternStore.h"

namespace {

using rectest::FontNames;
using rectest::Load;
using rectest::Pattern;

class PatternFileTest : public rectest::RecognitionTest {};

const gw::PatternFont& Font(size_t i) {
    return *gw::Store().fonts.at(i);
}

constexpr const char* kTee = "XXXXX --X-- --X-- --X-- /-X-/";

TEST_F(PatternFileTest, ClassifiesTokens) {
    // "##" alone is one comment token: the words after it open fonts, while
    // "##joined" is skipped whole.
    EXPECT_EQ(Load("##joined ## two words\nFONTA MATRIX_SIZE=5x5\n" + Pattern('T', kTee)), 1);
    EXPECT_EQ(FontNames(), (std::vector<std::string>{"two", "words", "FONTA"}));
    const gw::PatternFont& a = Font(2);
    ASSERT_EQ(a.patterns.size(), 1u);
    EXPECT_EQ(a.patterns[0].character, 'T');
    EXPECT_EQ(a.patterns[0].cells, "XXXXX--X----X----X--/-X-/");
    EXPECT_EQ(std::string(a.patterns[0].minRatio.data()), "0.00");
    EXPECT_EQ(a.index, 2);
    EXPECT_TRUE(Font(0).patterns.empty());

    // A one-character token opens a font while none is open, then starts patterns.
    GW_UnloadAllPatternFiles();
    EXPECT_EQ(Load("Q\n" + Pattern('A', kTee) + Pattern('B', kTee)), 1);
    ASSERT_EQ(FontNames(), std::vector<std::string>{"Q"});
    EXPECT_EQ(Font(0).patterns.size(), 2u);
    EXPECT_EQ(Font(0).index, 0);

    // A font name of any length is kept whole, and tokens split only at
    // blanks, tabs and line ends.
    GW_UnloadAllPatternFiles();
    const std::string longName(300, 'n');
    EXPECT_EQ(Load(longName + "\t\r\nBB\v\f"), 1);
    EXPECT_EQ(FontNames(), (std::vector<std::string>{longName, "BB"}));

    // An empty file and one of comments only change nothing.
    GW_UnloadAllPatternFiles();
    EXPECT_EQ(Load(""), 1);
    EXPECT_EQ(Load("##a ##b\n##"), 1);
    EXPECT_TRUE(FontNames().empty());
}

TEST_F(PatternFileTest, GridSizesAndRows) {
    // The size before any font goes to the first font; one after a font
    // changes it; a token without a lower-case x, or with a size below 1,
    // changes nothing. Each pattern keeps the size it was read with.
    EXPECT_EQ(Load("MATRIX_SIZE=3x2 F1 MATRIX_SIZE=4X4 MATRIX_SIZE=0x9 MATRIX_SIZE=2x0\n" +
                   Pattern('a', "XXX ---") + "MATRIX_SIZE=2x1 " + Pattern('b', "X-")),
              1);
    const gw::PatternFont& f = Font(0);
    EXPECT_EQ(f.gridWidth, 2);
    EXPECT_EQ(f.gridHeight, 1);
    ASSERT_EQ(f.patterns.size(), 2u);
    EXPECT_EQ(f.patterns[0].cells, "XXX---");
    EXPECT_EQ(f.patterns[0].width, 3);
    EXPECT_EQ(f.patterns[0].height, 2);
    EXPECT_EQ(f.patterns[1].width, 2);

    // A row of 8 on a 7-wide grid is consumed and dropped, as is one of 6;
    // the row tokens are taken as rows whatever they look like.
    GW_UnloadAllPatternFiles();
    EXPECT_EQ(Load("F MATRIX_SIZE=16x24 MATRIX_SIZE=7x3 " +
                   Pattern('r', "XXXXXXXX ##---## -------") + Pattern('s', "XXXXXX - XXXXXXX")),
              1);
    ASSERT_EQ(Font(0).patterns.size(), 2u);
    EXPECT_EQ(Font(0).patterns[0].cells, "##---##-------");
    EXPECT_EQ(Font(0).patterns[1].cells, "XXXXXXX");
    EXPECT_EQ(Font(0).gridWidth, 7);

    // The size in force starts at 5 x 5 in every file.
    EXPECT_EQ(Load("G"), 1);
    EXPECT_EQ(Font(1).gridWidth, 5);
    EXPECT_EQ(Font(1).gridHeight, 5);

    // A grid of more cells than a grid may have is refused.
    EXPECT_EQ(Load("H MATRIX_SIZE=100x100"), 1);
    EXPECT_EQ(Font(2).gridWidth, 5);
}

TEST_F(PatternFileTest, RatioText) {
    // One digit, a skipped character, then hundredths read as atoi reads them.
    EXPECT_EQ(gw::ReadRatio("1.5").whole, 1);
    EXPECT_EQ(gw::ReadRatio("1.5").hundredths, 5);
    EXPECT_EQ(gw::ReadRatio("0.45").hundredths, 45);
    EXPECT_EQ(gw::ReadRatio("2,-7x").hundredths, -7);
    EXPECT_EQ(gw::ReadRatio("2.").hundredths, 0);
    EXPECT_EQ(gw::ReadRatio("3").whole, 3);
    EXPECT_EQ(gw::ReadRatio("").whole, 0);
    EXPECT_EQ(gw::ReadNumber("99999999999"), INT32_MAX);
    EXPECT_EQ(gw::ReadNumber("-99999999999"), INT32_MIN);

    // minRatio keeps 4 characters, maxRatio 6.
    EXPECT_EQ(Load("F MATRIX_SIZE=1x1 " + Pattern('a', "X", "0.4567", "1.234567")), 1);
    const gw::CharPattern& p = Font(0).patterns.at(0);
    EXPECT_EQ(std::string(p.minRatio.data()), "0.45");
    EXPECT_EQ(std::string(p.maxRatio.data()), "1.2345");
    EXPECT_EQ(p.low.hundredths, 45);
    EXPECT_EQ(p.high.hundredths, 2345);

    // A box of ratio 1.05 is admitted up to "1.5"; one of 1.10 is not.
    gw::CharPattern limit;
    limit.low = gw::ReadRatio("1.00");
    limit.high = gw::ReadRatio("1.5");
    EXPECT_TRUE(gw::Admits(limit, gw::BoxRatio({0, 0, 20, 19})));
    EXPECT_FALSE(gw::Admits(limit, gw::BoxRatio({0, 0, 21, 19})));
    EXPECT_FALSE(gw::Admits(limit, gw::BoxRatio({0, 0, 18, 19})));
    EXPECT_EQ(gw::BoxRatio({0, 5, 3, 4}).hundredths, 99);  // no height: 9.99
    // Whole parts compare first, whatever the hundredths; both limits count.
    limit.low = {1, -7};
    limit.high = {1, 2345};
    EXPECT_FALSE(gw::Admits(limit, {2, 0}));
    EXPECT_TRUE(gw::Admits(limit, {1, 2345}));
    EXPECT_TRUE(gw::Admits(limit, {1, -7}));
    EXPECT_FALSE(gw::Admits(limit, {0, 99}));
}

TEST_F(PatternFileTest, LimitsStopTheReading) {
    // The 109th pattern of a font stops the reading at its character.
    std::string text = "BIG MATRIX_SIZE=1x1\n";
    for (int i = 0; i < 109; ++i) text += Pattern('p', "X");
    text += "AFTER\n";
    EXPECT_EQ(Load(text), 0);
    EXPECT_EQ(FontNames(), std::vector<std::string>{"BIG"});
    EXPECT_EQ(Font(0).patterns.size(), 108u);

    // A second font of the same file may have 108 more; a second file may
    // add 20 fonts more.
    GW_UnloadAllPatternFiles();
    text.clear();
    for (int f = 0; f < 20; ++f) text += "F" + std::to_string(f) + "\n" + Pattern('a', kTee);
    EXPECT_EQ(Load(text), 1);
    EXPECT_EQ(Load(text), 1);
    EXPECT_EQ(FontNames().size(), 40u);
    EXPECT_EQ(Font(39).index, 39);

    // The 21st font name is added empty and stops the reading.
    GW_UnloadAllPatternFiles();
    EXPECT_EQ(Load(text + "F20 " + Pattern('b', kTee) + "F21"), 0);
    ASSERT_EQ(FontNames().size(), 21u);
    EXPECT_EQ(FontNames().back(), "F20");
    EXPECT_TRUE(Font(20).patterns.empty());

    // A pattern cut short by the end of the file is not added.
    GW_UnloadAllPatternFiles();
    EXPECT_EQ(Load("C " + Pattern('a', kTee) + "b 0.00 9.99 XXXXX --X--"), 0);
    EXPECT_EQ(Font(0).patterns.size(), 1u);
    EXPECT_EQ(Load("D a 0.00"), 0);
    EXPECT_TRUE(Font(1).patterns.empty());

    // A file that cannot be opened changes nothing.
    EXPECT_EQ(GW_LoadPatternFile("/nonexistent/glyphwick.PAT"), 0);
    EXPECT_EQ(GW_LoadPatternFile(nullptr), 0);
    EXPECT_EQ(FontNames().size(), 2u);
}

TEST_F(PatternFileTest, StoreAndFontList) {
    const std::string text = "ONE " + Pattern('a', kTee) + "TWO " + Pattern('b', kTee);
    EXPECT_EQ(Load(text), 1);
    EXPECT_EQ(Load(text), 1);
    EXPECT_EQ(FontNames(), (std::vector<std::string>{"ONE", "TWO", "ONE", "TWO"}));
    EXPECT_EQ(Font(2).index, 2);

    // A lookup by name (any case) finds the first copy; by index the one
    // with that index.
    rectest::Page page(8, 8);
    AREAPARAMS params = rectest::OpenParams();
    params.fontName = "two";
    ASSERT_NE(rectest::AreaOver(page, params), nullptr);
    EXPECT_EQ(gw::SelectFont(*gw::CurrentArea()), gw::Store().fonts[1].get());
    params.fontName = nullptr;
    params.fontIndex = 3;
    ASSERT_NE(rectest::AreaOver(page, params), nullptr);
    EXPECT_EQ(gw::SelectFont(*gw::CurrentArea()), gw::Store().fonts[3].get());
    params.fontIndex = 4;
    ASSERT_NE(rectest::AreaOver(page, params), nullptr);
    EXPECT_EQ(gw::SelectFont(*gw::CurrentArea()), nullptr);

    // A capacity above the store fills only as many entries as there are
    // fonts and leaves the count; a capacity of 0 writes nothing.
    char* names[6] = {};
    int32_t capacity = 6;
    GW_GetFontList(names, &capacity);
    EXPECT_EQ(capacity, 6);
    EXPECT_STREQ(names[3], "TWO");
    EXPECT_EQ(names[4], nullptr);
    char* none[1] = {};
    capacity = 0;
    GW_GetFontList(none, &capacity);
    EXPECT_EQ(none[0], nullptr);
    GW_GetFontList(names, nullptr);  // nothing to report into

    // After unloading there are no fonts, and indexes start again at 0.
    EXPECT_EQ(GW_UnloadAllPatternFiles(), 1);
    int32_t count = -1;
    GW_GetFontList(nullptr, &count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(Load("AGAIN"), 1);
    EXPECT_EQ(Font(0).index, 0);
}

}  // namespace
