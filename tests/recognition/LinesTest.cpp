// Line assembly: the chain rules of tagging, and the line filters.
#include "RecognitionTestSupport.h"

namespace {

using rectest::Add;
using rectest::List;

class LinesTest : public rectest::ObjectListTest {
  protected:
    std::vector<uint32_t> Counts() {
        return std::vector<uint32_t>(List().tagCounts, List().tagCounts + List().tagTotal);
    }
};

TEST_F(LinesTest, ChainRules) {
    // The last object's middle row is 20. B touching it with its top (20) does
    // not overlap, nor does B whose middle row (30) equals the last bottom;
    // one row more does.
    auto* a = Add(0, 10, 9, 30);
    auto* touching = Add(12, 20, 20, 40);
    auto* overlapping = Add(30, 19, 39, 40);
    auto* after = Add(50, 25, 59, 45);  // follows "overlapping", not "a": the chain drifts
    GW_SetLineTags();
    EXPECT_EQ(a->lineTag, 1);
    EXPECT_EQ(overlapping->lineTag, 1);
    EXPECT_EQ(after->lineTag, 1);
    EXPECT_EQ(touching->lineTag, 2);
    EXPECT_EQ(Counts(), (std::vector<uint32_t>{3, 1}));
    EXPECT_EQ(List().current, nullptr);

    // The search takes the first fitting object in list order, not the
    // nearest one.
    NewArea();
    auto* first = Add(0, 0, 9, 20);
    auto* far = Add(40, 0, 49, 20);
    auto* near = Add(20, 0, 29, 20);
    const auto expectTags = [&](int32_t firstTag, const std::vector<uint32_t>& counts) {
        GW_SetLineTags();
        EXPECT_EQ(first->lineTag, firstTag);
        EXPECT_EQ(far->lineTag, 1);
        EXPECT_EQ(near->lineTag, 2);
        EXPECT_EQ(Counts(), counts);
    };
    expectTags(1, {2, 1});

    // Ignored objects are neither tagged nor counted; every call tags afresh,
    // so clearing the mark and tagging again restores the first lines.
    first->ignored = 1;
    expectTags(0, {1, 1});
    GW_ResetIgnoredObjects();
    expectTags(1, {2, 1});

    // An object starting on the last object's right column cannot follow it.
    NewArea();
    auto* left = Add(0, 0, 9, 20);
    auto* touchingEdge = Add(9, 0, 15, 20);
    GW_SetLineTags();
    EXPECT_EQ(left->lineTag, 1);
    EXPECT_EQ(touchingEdge->lineTag, 2);

    // An empty (or all ignored) list has no tags.
    left->ignored = touchingEdge->ignored = 1;
    GW_SetLineTags();
    EXPECT_EQ(List().tagTotal, 0u);
    EXPECT_EQ(GW_GetPotentialLine(0), 0);
}

TEST_F(LinesTest, Filters) {
    // Lines of 1, 2, 3 and 4 objects, one above the other.
    std::vector<gw::Object*> objects;
    for (int32_t line = 0; line < 4; ++line)
        for (int32_t i = 0; i <= line; ++i)
            objects.push_back(Add(i * 20, line * 30, i * 20 + 9, line * 30 + 20));
    GW_SetLineTags();
    ASSERT_EQ(Counts(), (std::vector<uint32_t>{1, 2, 3, 4}));

    // Nothing removed: the cursor stays.
    ASSERT_NE(GW_FindFirstObject(), nullptr);
    GW_FilterLineTags(1, 4);
    EXPECT_EQ(GW_FindNextObject(), reinterpret_cast<OBJECTINFO*>(&objects[1]->left));

    // Counts equal to a bound stay; the others are removed and their objects
    // ignored. A second call changes nothing.
    GW_FilterLineTags(2, 3);
    EXPECT_EQ(Counts(), (std::vector<uint32_t>{0, 2, 3, 0}));
    EXPECT_EQ(List().current, nullptr);
    EXPECT_EQ(objects[0]->ignored, 1);
    EXPECT_EQ(objects[1]->ignored, 0);
    EXPECT_EQ(objects[9]->ignored, 1);
    EXPECT_EQ(objects[9]->lineTag, 4);  // ignored objects keep their tag
    GW_FilterLineTags(2, 3);
    EXPECT_EQ(Counts(), (std::vector<uint32_t>{0, 2, 3, 0}));

    // Walking the lines skips removed ones.
    EXPECT_EQ(GW_GetPotentialLine(0), 2);
    EXPECT_EQ(GW_GetPotentialLine(-5), 2);
    EXPECT_EQ(GW_GetPotentialLine(2), 3);
    EXPECT_EQ(GW_GetPotentialLine(3), 0);
    EXPECT_EQ(GW_GetPotentialLine(99), 0);

    // Removing one line; tags outside 1 to tagTotal do nothing.
    GW_IgnoreLineTag(0);
    GW_IgnoreLineTag(5);
    GW_IgnoreLineTag(-1);
    EXPECT_EQ(Counts(), (std::vector<uint32_t>{0, 2, 3, 0}));
    GW_IgnoreLineTag(2);
    EXPECT_EQ(objects[1]->ignored, 1);
    EXPECT_EQ(objects[2]->ignored, 1);
    EXPECT_EQ(GW_GetPotentialLine(1), 3);
    GW_IgnoreLineTag(3);
    EXPECT_EQ(GW_GetPotentialLine(0), 0);
}

}  // namespace
