// A printed line read back through the exports only: an 8-bit page with two
// lines drawn from the tests' own glyph bitmaps and a speck, produced,
// cleaned, tagged, identified and read back as text with blanks.
#include <map>
#include <string>

#include "RecognitionTestSupport.h"

namespace {

// 5 x 7 glyphs that touch all four edges of their box, so that an object's
// box is the glyph's box.
const std::map<char, std::array<const char*, 7>> kGlyphs = {
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'C', {".####", "#....", "#....", "#....", "#....", "#....", ".####"}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'I', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "#####"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
};
constexpr int32_t kScale = 2;   // glyphs are drawn 10 x 14 pixels
constexpr int32_t kPitch = 14;  // left edge to left edge

// The font: one pattern per glyph, its rows as cell codes.
std::string FontText() {
    std::string text = "##glyphs TESTFONT MATRIX_SIZE=5x7\n";
    for (const auto& [c, rows] : kGlyphs) {
        text += std::string(1, c) + " 0.60 0.80";
        for (const char* row : rows) {
            text += ' ';
            for (const char* p = row; *p != '\0'; ++p) text += *p == '#' ? 'X' : '-';
        }
        text += '\n';
    }
    return text;
}

// Draws text from (x, y) in grey 40 ink; a blank leaves one pitch empty.
void Print(rectest::Page& page, const std::string& text, int32_t x, int32_t y) {
    for (const char c : text) {
        if (c != ' ') {
            const auto& rows = kGlyphs.at(c);
            for (int32_t r = 0; r < 7; ++r)
                for (int32_t k = 0; k < 5; ++k)
                    if (rows[r][k] == '#')
                        for (int32_t dy = 0; dy < kScale; ++dy)
                            for (int32_t dx = 0; dx < kScale; ++dx)
                                page.Ink(x + k * kScale + dx, y + r * kScale + dy, 40);
        }
        x += kPitch;
    }
}

class EndToEndTest : public rectest::RecognitionTest {};

TEST_F(EndToEndTest, ReadsAPrintedLineWithBlanks) {
    rectest::PatternFile font(FontText());
    ASSERT_EQ(GW_LoadPatternFile(font.Path()), 1);
    rectest::Page page(220, 70);
    Print(page, "HELLO TIDAL", 8, 8);
    Print(page, "CAT", 30, 40);
    page.Block(120, 44, 123, 47);  // a speck that cleaning drops

    AREAPARAMS params{};
    params.minObjectWidth = 3;
    params.minObjectHeight = 8;
    params.maxObjectWidth = 30;
    params.maxObjectHeight = 30;
    params.fontName = "TestFont";
    const RECT rect = {0, 0, 219, 69};
    ASSERT_NE(GW_InitialiseArea(&page.image, &rect, &params), nullptr);
    GW_ProduceObjectList();
    EXPECT_EQ(GW_GetNumberOfObjects(), 14);
    GW_CleanObjects(0);
    GW_SetLineTags();
    GW_FilterLineTags(2, 50);
    EXPECT_STREQ(GW_IdentifyObjects(), "TESTFONT");

    // Both lines read back; every glyph matches its pattern exactly.
    char text[64];
    const int32_t first = GW_GetPotentialLine(0);
    const int32_t second = GW_GetPotentialLine(first);
    ASSERT_NE(second, 0);
    EXPECT_EQ(GW_GetPotentialLine(second), 0);
    GW_GetLineIdentity(first, text);
    const std::string a = text;
    GW_GetLineIdentity(second, text);
    const std::string b = text;
    EXPECT_EQ(a.size() > b.size() ? a + "|" + b : b + "|" + a, "HELLOTIDAL|CAT");
    EXPECT_EQ(GW_GetLineScore(first), 4 * 35);
    EXPECT_EQ(GW_GetLineScore(second), 4 * 35);

    // The best line, with its blank where the pitch doubles.
    EXPECT_EQ(GW_FilterBestLineWithSpaces(text, 64), kPitch);
    EXPECT_STREQ(text, "HELLO TIDAL");
    // Only the chosen line is left, now with its space object.
    int32_t seen = 0;
    int32_t spaces = 0;
    for (const OBJECTINFO* o = GW_FindFirstObject(); o != nullptr; o = GW_FindNextObject()) {
        ++seen;
        spaces += GW_GetObjectIdentity(nullptr, nullptr, nullptr) == '^';
    }
    EXPECT_EQ(seen, 11);
    EXPECT_EQ(spaces, 1);
}

}  // namespace
