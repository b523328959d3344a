// Splitting over-wide objects of a line and bridging short gaps in rows.
#include <array>
#include <memory>

#include "RecognitionTestSupport.h"
#include "recognition/Lines.h"

namespace {

using rectest::Add;
using rectest::List;
using rectest::Page;
using Object = gw::Object;
using Box = std::array<int32_t, 4>;

class SplitTest : public rectest::RecognitionTest {
  protected:
    // A line of solid blocks 20 high with the given left edges and widths,
    // tagged; returns the objects.
    std::vector<Object*> Line(const std::vector<std::pair<int32_t, int32_t>>& blocks,
                              int32_t maxW = 40) {
        for (const auto& [left, width] : blocks) page_->Block(left, 5, left + width - 1, 24);
        AREAPARAMS params = rectest::OpenParams();
        params.maxObjectWidth = maxW;
        EXPECT_NE(rectest::AreaOver(*page_, params), nullptr);
        std::vector<Object*> line;
        for (const auto& [left, width] : blocks) line.push_back(Add(left, 5, left + width - 1, 24));
        GW_SetLineTags();
        return line;
    }
    // Boxes of the pieces linked after o, up to stop (the object that
    // followed o before the split); each must look like a new piece.
    static std::vector<Box> PiecesAfter(const Object* o, const Object* stop) {
        std::vector<Box> boxes;
        for (const Object* p = o->next; p != stop; p = p->next) {
            EXPECT_TRUE(p->identity == '?' && p->score == 0 && p->cellString == nullptr &&
                        p->ignored == 0 && p->lineTag == o->lineTag && p->children == nullptr);
            boxes.push_back({p->left, p->top, p->right, p->bottom});
        }
        return boxes;
    }
    void NewPage(uint32_t width) { page_ = std::make_unique<Page>(width, 40); }
    std::unique_ptr<Page> page_ = std::make_unique<Page>(200, 40);
};

TEST_F(SplitTest, RanksAndMedians) {
    EXPECT_EQ(gw::RankValues({20, 21, 40, 20}), (std::vector<int32_t>{1, 3, 4, 2}));
    const std::vector<int64_t> odd = {7, 3, 9};
    EXPECT_EQ(gw::MedianByRank(odd, gw::RankValues(odd)), 7);
    const std::vector<int64_t> even = {10, 25, 10, 12};
    EXPECT_EQ(gw::MedianByRank(even, gw::RankValues(even)), 11);
    const std::vector<int64_t> halves = {3, 4};
    EXPECT_EQ(gw::MedianByRank(halves, gw::RankValues(halves)), 3);
    EXPECT_EQ(gw::MedianByRank({}, {}), 0);
}

TEST_F(SplitTest, OverWideObjectsBecomePieces) {
    // Typical width 10 and one object 25 wide (maxW 40): 25 > 17.5, three
    // pieces 8 wide; with every column equally inked the searched cut stays
    // at left + 8, then left + 16 and left + 24; the cut columns and the last
    // column belong to no piece.
    auto line = Line({{0, 10}, {20, 10}, {40, 25}, {80, 10}, {100, 10}});
    EXPECT_EQ(GW_SplitJoinedObjectsInLine(1), 1);
    EXPECT_EQ(line[2]->ignored, 1);
    EXPECT_EQ(PiecesAfter(line[2], line[3]),
              (std::vector<Box>{{40, 5, 47, 24}, {49, 5, 55, 24}, {57, 5, 63, 24}}));
    EXPECT_EQ(List().count, 8u);
    EXPECT_EQ(List().tail, line[4]);
    EXPECT_EQ(line[2]->next->next->next->next, line[3]);
    for (size_t i : {0, 1, 3, 4}) EXPECT_EQ(line[i]->ignored, 0);
    EXPECT_EQ(List().tagCounts[0], 5u);
    char text[16];
    GW_GetLineIdentity(1, text);
    EXPECT_STREQ(text, "???????");  // the wide object gives way to its pieces

    // 80 wide with maxW 40 and typical 50: not above 87.5 but above maxW;
    // k1 = 2 (1.6 rounds up), k2 = 2: two pieces. The last object is the
    // list's tail: its last piece becomes the tail.
    GW_DestroyArea();
    NewPage(260);
    line = Line({{0, 50}, {60, 80}, {150, 50}});
    GW_SplitJoinedObjectsInLine(1);
    EXPECT_EQ(PiecesAfter(line[1], line[2]),
              (std::vector<Box>{{60, 5, 99, 24}, {101, 5, 139, 24}}));
    // The objects of width 50 are above maxW too: k2 = 2 gives two pieces.
    EXPECT_EQ(PiecesAfter(line[2], nullptr).size(), 2u);
    EXPECT_EQ(List().tail->right, 199);
    EXPECT_EQ(List().tail->next, nullptr);

    // Objects of about the same width are not split; neither is a tag
    // without objects.
    GW_DestroyArea();
    NewPage(200);
    line = Line({{0, 10}, {20, 12}, {40, 9}, {60, 17}});
    GW_SplitJoinedObjectsInLine(1);
    GW_SplitJoinedObjectsInLine(2);
    GW_SplitJoinedObjectsInLine(-1);
    EXPECT_EQ(List().count, 4u);
}

class JoinTest : public rectest::RecognitionTest {};

TEST_F(JoinTest, BridgesShortGapsInRows) {
    // Area columns 10 to 39. Row 1: one blank between ink; row 2: two blanks;
    // row 3: ink in the area's first column and one blank after it; row 4:
    // ink left of the area does not count either; row 5: three blanks.
    const auto run = [](int32_t maxGap) {
        Page page(50, 8);
        page.Ink(20, 1), page.Ink(22, 1);
        page.Ink(20, 2), page.Ink(23, 2);
        page.Ink(10, 3), page.Ink(12, 3);
        page.Ink(9, 4), page.Ink(11, 4);
        page.Ink(30, 5), page.Ink(34, 5);
        const RECT r = {10, 0, 39, 7};
        AREAPARAMS params = rectest::OpenParams();
        EXPECT_NE(GW_InitialiseArea(&page.image, &r, &params), nullptr);
        rectest::Add(0, 0, 1, 1);
        GW_JoinBrokenObjects(maxGap);
        EXPECT_EQ(GW_GetNumberOfObjects(), 1);
        page.Pull();
        std::array<int, 5> filled = {
            page.At(21, 1) == 0, page.At(21, 2) == 0 && page.At(22, 2) == 0, page.At(11, 3) == 0,
            page.At(10, 4) == 0, page.At(31, 5) == 0 && page.At(33, 5) == 0};
        EXPECT_EQ(page.At(21, 2) == 0, page.At(22, 2) == 0) << "a run is filled whole";
        EXPECT_EQ(page.At(25, 1), 255);  // nothing beyond the runs
        GW_DestroyArea();
        return filled;
    };
    EXPECT_EQ(run(2), (std::array<int, 5>{0, 0, 0, 0, 0}));
    EXPECT_EQ(run(3), (std::array<int, 5>{1, 0, 0, 0, 0}));
    EXPECT_EQ(run(4), (std::array<int, 5>{1, 1, 0, 0, 0}));
    EXPECT_EQ(run(5), (std::array<int, 5>{1, 1, 0, 0, 1}));
    EXPECT_EQ(run(1000), (std::array<int, 5>{1, 1, 0, 0, 1}));
}

}  // namespace
