// Object extraction: connectivity, the drop rule, the fill cap, grouping of
// fragments, areas beyond the image, and agreement with the recursive fills.
#include <gtest/gtest.h>

#include <random>
#include <utility>

#include "area/Area.h"
#include "area/AreaTestSupport.h"

using namespace areatest;

namespace {

using Pixels = std::vector<std::pair<int, int>>;  // (x, y)

std::vector<Object> ObjectsOf(const Pixels& pixels, bool oneBit = false) {
    Page page(40, 30, oneBit);
    for (auto [x, y] : pixels) page.Ink(x, y);
    page.Push();
    AreaOver(page, OpenParams());
    GW_ProduceObjectList();
    std::vector<Object> objects = Walk();
    GW_DestroyArea();
    return objects;
}

}  // namespace

TEST(Extraction, DropRuleAndEightConnectivity) {
    AreaScope scope;
    for (bool oneBit : {false, true}) {
        SCOPED_TRACE(oneBit ? "1-bit" : "8-bit");
        EXPECT_TRUE(ObjectsOf({{5, 5}}, oneBit).empty());
        EXPECT_TRUE(ObjectsOf({{5, 5}, {6, 5}, {5, 6}, {6, 6}}, oneBit).empty());
        EXPECT_TRUE(ObjectsOf({{5, 5}, {6, 5}}, oneBit).empty());
        EXPECT_EQ(ObjectsOf({{5, 5}, {5, 6}, {5, 7}}, oneBit),
                  (std::vector<Object>{{5, 5, 5, 7, 5, 5}}));
        EXPECT_EQ(ObjectsOf({{5, 5}, {6, 5}, {7, 5}}, oneBit),
                  (std::vector<Object>{{5, 5, 7, 5, 5, 5}}));

        // Each shape can only be filled whole by stepping down-right, up-right,
        // down-left and up-left across a corner.
        const Pixels downRight = {{10, 10}, {11, 10}, {12, 10}, {13, 11}, {14, 11}, {15, 11}};
        EXPECT_EQ(ObjectsOf(downRight, oneBit), (std::vector<Object>{{10, 10, 15, 11, 10, 10}}));
        const Pixels upRight = {{10, 11}, {11, 11}, {12, 11}, {13, 10}, {14, 10}, {15, 10}};
        EXPECT_EQ(ObjectsOf(upRight, oneBit), (std::vector<Object>{{10, 10, 15, 11, 11, 10}}));
        const Pixels downLeft = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0},
                                 {6, 0}, {6, 1}, {6, 2}, {5, 3}, {4, 3}, {3, 3}};
        EXPECT_EQ(ObjectsOf(downLeft, oneBit), (std::vector<Object>{{0, 0, 6, 3, 0, 0}}));
        const Pixels upLeft = {{0, 3}, {1, 3}, {2, 3}, {3, 3}, {4, 3}, {5, 3},
                               {6, 3}, {6, 2}, {6, 1}, {5, 0}, {4, 0}, {3, 0}};
        EXPECT_EQ(ObjectsOf(upLeft, oneBit), (std::vector<Object>{{0, 0, 6, 3, 3, 0}}));

        // A chevron pointing right: down the upper arm to the tip, then
        // down-left along the lower arm.
        Pixels chevron;
        for (int i = 0; i <= 4; ++i) chevron.push_back({20 + i, 5 + i});
        for (int i = 1; i <= 4; ++i) chevron.push_back({24 - i, 9 + i});
        EXPECT_EQ(ObjectsOf(chevron, oneBit), (std::vector<Object>{{20, 5, 24, 13, 5, 20}}));

        // Objects come in scan order: by seed column, then seed row.
        const Pixels three = {{8, 20}, {8, 21}, {8, 22}, {3, 25}, {3, 26},
                              {3, 27}, {8, 2},  {9, 2},  {10, 2}};
        EXPECT_EQ(ObjectsOf(three, oneBit),
                  (std::vector<Object>{
                      {3, 25, 3, 27, 25, 3}, {8, 2, 10, 2, 2, 8}, {8, 20, 8, 22, 20, 8}}));
    }
}

TEST(Extraction, FillCapSplitsALongLine) {
    AreaScope scope;
    // The fill takes 10000 pixels, erases the next one and stops there; the
    // scan finds the rest as a second object.
    Page page(15000, 3);
    page.Block(0, 1, 14999, 1);
    page.Push();
    AREAINFO* area = AreaOver(page, OpenParams());
    GW_ProduceObjectList();
    EXPECT_EQ(Walk(),
              (std::vector<Object>{{0, 1, 10000, 1, 1, 0}, {10001, 1, 14999, 1, 1, 10001}}));
    EXPECT_EQ(area->fillCount, 14999 - 10001 + 1);
}

TEST(Extraction, GroupsFragmentsInListOrder) {
    AreaScope scope;
    Page page(60, 50);
    page.Block(10, 5, 12, 10);   // A
    page.Block(14, 12, 16, 17);  // B
    page.Block(18, 30, 20, 40);  // C: would make the group 36 high
    page.Block(22, 2, 24, 8);    // D
    page.Block(40, 30, 42, 35);  // E: 30 columns right of A
    page.Push();
    AREAPARAMS p = OpenParams();
    p.maxObjectWidth = 20;
    p.maxObjectHeight = 30;
    p.fragMinWidth = 1;
    p.fragMinHeight = 1;
    AreaOver(page, p);
    GW_ProduceObjectList();
    EXPECT_EQ(GW_GetNumberOfObjects(), 5);  // grouping is off with both maxima 0
    GW_DestroyArea();

    p.fragMaxWidth = 10;
    p.fragMaxHeight = 30;
    AREAINFO* area = AreaOver(page, p);
    GW_ProduceObjectList();
    EXPECT_EQ(GW_GetNumberOfObjects(), 3);
    EXPECT_EQ(area->objects->current, nullptr);
    EXPECT_EQ(Walk(),
              (std::vector<Object>{
                  {10, 2, 24, 17, 0, 0}, {18, 30, 20, 40, 30, 18}, {40, 30, 42, 35, 30, 40}}));
    std::vector<Object> pieces;
    for (auto* c = area->objects->head.next->children; c != nullptr; c = c->children) {
        pieces.push_back({c->left, c->top, c->right, c->bottom, c->seedRow, c->seedColumn});
    }
    EXPECT_EQ(pieces,
              (std::vector<Object>{
                  {10, 5, 12, 10, 5, 10}, {14, 12, 16, 17, 12, 14}, {22, 2, 24, 8, 2, 22}}));

    // The joined object is redrawn from its pieces' seeds, not from (0, 0),
    // where a speck lies.
    page.Ink(0, 0);
    page.Push();
    GW_RemoveIgnoredObjects(1);
    page.Pull();
    EXPECT_EQ(page.At(0, 0), 255);
    EXPECT_EQ(page.At(11, 7), 0);
    EXPECT_EQ(page.At(15, 15), 0);
    EXPECT_EQ(page.At(23, 3), 0);
    EXPECT_EQ(page.At(19, 35), 0);
}

// The fills of extraction and redraw as the plain recursions they are
// defined as, over an area's pixels (8-bit with threshold 128, or 1-bit).
namespace {

struct Recursive {
    int w = 0, h = 0;
    bool bits = false;
    std::vector<uint8_t> work, fresh;
    int fillCount = 0, minX = 0, minY = 0, maxX = 0, maxY = 0;
    std::vector<Object> objects;  // area-relative rectangles

    bool Ink(uint8_t v) const { return bits ? v == 1 : v < 128; }
    bool Inside(int y, int x) const { return y >= 0 && y < h && x >= 0 && x < w; }
    void Fill(int y, int x) {
        if (!Inside(y, x) || !Ink(work[y * w + x])) return;
        work[y * w + x] = bits ? 0 : 255;
        minY = std::min(minY, y), maxY = std::max(maxY, y);
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        if (fillCount >= 10000) return;
        ++fillCount;
        Fill(y, x + 1), Fill(y + 1, x + 1), Fill(y + 1, x), Fill(y + 1, x - 1);
        Fill(y, x - 1), Fill(y - 1, x - 1), Fill(y - 1, x), Fill(y - 1, x + 1);
    }
    void Extract() {
        for (int x = 0; x < w; ++x) {
            for (int y = 0; y < h; ++y) {
                if (!Ink(work[y * w + x])) continue;
                minX = maxX = x, minY = maxY = y, fillCount = 0;
                Fill(y, x);
                if (maxY - minY + 1 < 3 && maxX - minX + 1 < 3) continue;
                objects.push_back({minX, minY, maxX, maxY, y, x});
            }
        }
    }
    void CopyFill(int y, int x) {
        if (!Inside(y, x)) return;
        ++fillCount;
        if (!Ink(fresh[y * w + x])) return;
        fresh[y * w + x] = bits ? 0 : 255;
        work[y * w + x] = bits ? 1 : 0;
        if (fillCount >= 10000) return;
        CopyFill(y, x + 1), CopyFill(y + 1, x + 1), CopyFill(y + 1, x), CopyFill(y + 1, x - 1);
        CopyFill(y, x - 1), CopyFill(y - 1, x - 1), CopyFill(y - 1, x), CopyFill(y - 1, x + 1);
    }
    void Redraw(int64_t minW, int64_t maxW) {
        if (fillCount >= 10000) return;
        for (const Object& o : objects) {
            const int64_t width = o[2] - o[0] + 1;
            if (width < minW || width > maxW) continue;
            fillCount = 0;
            CopyFill(o[4], o[5]);
        }
    }
};

// Extracts and cleans (widths minW..maxW kept) the area r of page with the
// library and with the recursions; the objects, the fill counts and the
// written-back image must agree.
void CompareWithRecursion(Page& page, const RECT& r, int32_t minW, int32_t maxW) {
    Recursive reference;
    reference.w = r.right - r.left + 1, reference.h = r.bottom - r.top + 1;
    reference.bits = page.bits;
    for (int y = r.top; y <= r.bottom; ++y)
        for (int x = r.left; x <= r.right; ++x) reference.work.push_back(page.At(x, y));
    reference.fresh = reference.work;
    reference.Extract();
    std::vector<Object> expected;
    for (Object o : reference.objects) {
        o[0] += r.left, o[1] += r.top, o[2] += r.left, o[3] += r.top;
        expected.push_back(o);
    }

    AREAPARAMS p = OpenParams();
    p.minObjectWidth = minW;
    p.maxObjectWidth = maxW;
    AREAINFO* area = GW_InitialiseArea(&page.image, &r, &p);
    ASSERT_NE(area, nullptr);
    GW_ProduceObjectList();
    EXPECT_EQ(Walk(), expected);
    EXPECT_EQ(area->fillCount, reference.fillCount);

    const std::vector<uint8_t> before = page.bytes;
    reference.Redraw(minW, maxW);
    GW_CleanObjects(1);
    EXPECT_EQ(area->fillCount, reference.fillCount);
    page.Pull();
    int differences = 0;
    for (int y = 0; y < int(page.height); ++y) {
        for (int x = 0; x < int(page.width); ++x) {
            const bool inside = x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
            const uint8_t want = inside ? reference.work[(y - r.top) * reference.w + x - r.left]
                                        : page.At(before, x, y);
            differences += page.At(x, y) != want;
        }
    }
    EXPECT_EQ(differences, 0);
    GW_DestroyArea();
}

}  // namespace

TEST(Extraction, FillsAgreeWithTheRecursionsOnRandomPages) {
    AreaScope scope;
    std::mt19937 random(1234);
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        const int w = 260, h = 240;
        const bool oneBit = round % 2 == 1;
        Page page(w, h, oneBit);
        // Discs large enough to reach the cap, with pinholes, and noise.
        for (int d = 0; d < 5; ++d) {
            const int cx = random() % w, cy = random() % h, radius = 10 + random() % 70;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius &&
                        random() % 23 != 0)
                        page.Ink(x, y, uint8_t(random() % 128));
        }
        if (round >= 6) page.Block(0, 0, w - 1, h - 1);  // nearly all ink after the noise
        for (int i = 0; i < 6000; ++i) {
            const int x = random() % w, y = random() % h;
            const auto v = uint8_t(random() % 256);
            if (oneBit && v >= 128) continue;
            page.Ink(x, y, v);
        }
        page.Push();
        const RECT whole = {0, 0, w - 1, h - 1};
        const RECT inner = {17, 9, 230, 201};
        CompareWithRecursion(page, round < 4 ? whole : inner, 3, 60);
    }
}
