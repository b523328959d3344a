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

}  // namespace
