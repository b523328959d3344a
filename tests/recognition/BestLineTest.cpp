// Best-line filters: choosing the line, ignoring the others, text limits.
#include <cstring>
#include <string>

#include "RecognitionTestSupport.h"

namespace {

using rectest::Add;
using rectest::List;
using Object = gw::Object;

class BestLineTest : public rectest::ObjectListTest {
  protected:
    // Adds a line at row band `band` with the given characters, 20 apart.
    std::vector<Object*> Line(int32_t band, const std::string& characters, int32_t first = 0) {
        std::vector<Object*> line;
        for (size_t i = 0; i < characters.size(); ++i) {
            const int32_t left = first + static_cast<int32_t>(i) * 20;
            line.push_back(Add(left, band * 40, left + 9, band * 40 + 20));
            line.back()->identity = characters[i];
        }
        return line;
    }
    static int Ignored(const std::vector<Object*>& line) {
        int n = 0;
        for (const Object* o : line) n += o->ignored;
        return n;
    }
};

TEST_F(BestLineTest, ChoosesTheLineWithMostRecognisedCharacters) {
    // 6 objects of which 4 are "?" lose to 3 recognised characters; of two
    // lines with 5, the lower tag wins. "^" counts as recognised.
    auto unsure = Line(0, "A??B??");
    auto three = Line(1, "CDE");
    auto five = Line(2, "FG^HI");
    auto alsoFive = Line(3, "JKLMN");
    GW_SetLineTags();
    char text[64];
    EXPECT_EQ(GW_FilterBestLine(text, 64), 3);
    EXPECT_STREQ(text, "FG^HI");
    EXPECT_EQ(Ignored(unsure), 6);
    EXPECT_EQ(Ignored(three), 3);
    EXPECT_EQ(Ignored(five), 0);
    EXPECT_EQ(Ignored(alsoFive), 5);
    EXPECT_EQ(List().tagCounts[0], 6u);  // the counts are not changed
    EXPECT_EQ(List().current, nullptr);

    GW_ResetIgnoredObjects();
    GW_IgnoreLineTag(3);
    EXPECT_EQ(GW_FilterBestLine(text, 64), 4);
    EXPECT_STREQ(text, "JKLMN");
    GW_ResetIgnoredObjects();
    GW_IgnoreLineTag(3);
    GW_IgnoreLineTag(4);
    EXPECT_EQ(GW_FilterBestLine(text, 64), 2);  // 3 beats 2 of "A??B??"
}

TEST_F(BestLineTest, TextLimits) {
    // textSize 10 and a chosen line of 12: its first 8 characters; objects
    // of other lines after the eighth character in list order stay.
    std::vector<Object*> best;
    std::vector<Object*> other;
    for (int i = 0; i < 12; ++i) {
        best.push_back(Line(0, std::string(1, char('a' + i)), i * 20)[0]);
        other.push_back(Line(1, "?", i * 20)[0]);
    }
    GW_SetLineTags();
    char text[64];
    EXPECT_EQ(GW_FilterBestLine(text, 10), 1);
    EXPECT_STREQ(text, "abcdefgh");
    for (int i = 0; i < 12; ++i) EXPECT_EQ(other[i]->ignored, i < 7 ? 1 : 0) << i;

    // textSize 2 or less: empty text, nothing ignored, the tag still returned.
    GW_ResetIgnoredObjects();
    std::strcpy(text, "kept");
    EXPECT_EQ(GW_FilterBestLine(text, 2), 1);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(Ignored(other), 0);
    std::strcpy(text, "kept");
    EXPECT_EQ(GW_FilterBestLine(text, 0), 0);
    EXPECT_STREQ(text, "kept");
    EXPECT_EQ(GW_FilterBestLine(nullptr, 10), 0);
    EXPECT_EQ(Ignored(other), 0);
}

}  // namespace
