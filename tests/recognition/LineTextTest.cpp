// Line text with and without blanks, space objects, and line scores.
#include <string>

#include "RecognitionTestSupport.h"

namespace {

using rectest::Add;
using rectest::List;

class LineTextTest : public rectest::ObjectListTest {
  protected:
    // One line of objects 10 wide at the given left edges, characters A, B...
    std::vector<gw::Object*> Line(const std::vector<int32_t>& lefts) {
        std::vector<gw::Object*> line;
        for (size_t i = 0; i < lefts.size(); ++i) {
            line.push_back(Add(lefts[i], 0, lefts[i] + 9, 20));
            line.back()->identity = static_cast<char>('A' + i);
        }
        GW_SetLineTags();
        return line;
    }
    std::string Plain(int32_t tag) {
        char text[256];
        GW_GetLineIdentity(tag, text);
        return text;
    }
};

TEST_F(LineTextTest, MedianPitchAndBlanks) {
    // Pitches 20, 21, 40, 20 rank 1, 3, 4, 2; the median is the pitch of
    // rank 3, 21, and only the gap of 40 (40 / 21 + 0.5 = 2.4) gets a blank.
    auto line = Line({0, 20, 41, 81, 101});
    char text[64];
    EXPECT_EQ(GW_GetLineIdentityWithSpaces(1, text, 64), 21);
    EXPECT_STREQ(text, "ABC DE");
    EXPECT_EQ(List().count, 6u);
    const gw::Object* space = line[2]->next;
    EXPECT_EQ(space->identity, '^');
    EXPECT_EQ(space->left, 41 + 21);
    EXPECT_EQ(space->right, 50 + 21);
    EXPECT_EQ(space->top, 0);
    EXPECT_EQ(space->lineTag, 1);
    EXPECT_EQ(space->score, 0);
    EXPECT_EQ(space->next, line[3]);
    EXPECT_EQ(line[3]->prev, space);
    // The marker is part of the line from now on; the counts are not.
    EXPECT_EQ(Plain(1), "ABC^DE");
    EXPECT_EQ(List().tagCounts[0], 5u);

    // With spacing 13, 20 and 21 give one blank each and 40 gives two; the
    // result is still the median pitch.
    NewArea();
    line = Line({0, 20, 41, 81, 101});
    EXPECT_EQ(GW_GetLineIdentityWithSpacing(1, text, 64, 13), 21);
    EXPECT_STREQ(text, "A B C  D E");
    EXPECT_EQ(Plain(1), "A^B^C^^D^E");
    // Consecutive space objects step right by the spacing each time.
    EXPECT_EQ(line[2]->next->left, 54);
    EXPECT_EQ(line[2]->next->next->left, 67);
    // Two blanks between the last two objects: the line's last object stays
    // the list's tail.
    NewArea();
    line = Line({0, 20, 40, 100});
    EXPECT_EQ(GW_GetLineIdentityWithSpacing(1, text, 64, 20), 20);
    EXPECT_STREQ(text, "ABC  D");
    EXPECT_EQ(List().tail, line[3]);
    EXPECT_EQ(line[2]->next->next->next, line[3]);
}

}  // namespace
