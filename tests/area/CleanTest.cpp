// Cleaning by size, the redraw and its cap, hole filling, trimming and the
// write-back into the image.
#include <gtest/gtest.h>

#include "area/Area.h"
#include "area/AreaTestSupport.h"

using namespace areatest;

TEST(Cleaning, WriteBackRepaintsWantedObjectsOnly) {
    AreaScope scope;
    for (bool oneBit : {false, true}) {
        SCOPED_TRACE(oneBit ? "1-bit" : "8-bit");
        Page page(50, 40, oneBit);
        page.Block(5, 5, 9, 12);     // kept
        page.Block(20, 5, 22, 7);    // ignored by hand
        page.Block(30, 30, 31, 31);  // a speck, dropped
        page.Block(40, 2, 40, 30);   // too high
        if (!oneBit) {
            page.Ink(6, 6, 90);     // grey ink of the kept object
            page.Ink(45, 35, 200);  // grey paper
        }
        page.Push();
        const std::vector<uint8_t> before = page.bytes;
        AREAPARAMS p = OpenParams();
        p.minObjectWidth = 2;
        p.maxObjectHeight = 20;
        AreaOver(page, p);
        GW_ProduceObjectList();
        ASSERT_EQ(GW_GetNumberOfObjects(), 3);
        GW_FindFirstObject();
        GW_FindNextObject();
        GW_IgnoreObject();
        GW_CleanObjects(0);
        page.Pull();
        EXPECT_EQ(page.bytes, before);  // no write-back: the image is untouched
        GW_CleanObjects(1);
        page.Pull();
        const uint8_t ink = oneBit ? 1 : 0, paper = oneBit ? 0 : 255;
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 50; ++x) {
                const bool kept = x >= 5 && x <= 9 && y >= 5 && y <= 12;
                const bool removed = page.At(before, x, y) == ink;
                const uint8_t expected = kept ? ink : removed ? paper : page.At(before, x, y);
                ASSERT_EQ(page.At(x, y), expected) << x << "," << y;
            }
        }
        EXPECT_EQ(Walk().size(), 1u);
        EXPECT_EQ(GW_GetNumberOfObjects(), 3);
        GW_DestroyArea();
    }
}

TEST(Cleaning, RedrawReadsTheImageAsItIsNow) {
    AreaScope scope;
    for (bool oneBit : {false, true}) {
        SCOPED_TRACE(oneBit ? "1-bit" : "8-bit");
        Page page(40, 20, oneBit);
        page.Block(2, 2, 6, 8);
        page.Block(20, 2, 24, 8);
        page.Block(30, 2, 34, 8);
        page.Push();
        AreaOver(page, OpenParams());
        GW_ProduceObjectList();
        ASSERT_EQ(GW_GetNumberOfObjects(), 3);
        // After extraction a bridge joins the first two objects and the third
        // goes: the redraw fills what the image holds now.
        page.Block(7, 5, 19, 5);
        for (int y = 2; y <= 8; ++y)
            for (int x = 30; x <= 34; ++x) page.Paper(x, y);
        page.Push();
        const std::vector<uint8_t> changed = page.bytes;
        GW_CleanObjects(1);
        page.Pull();
        EXPECT_EQ(page.bytes, changed);
        GW_DestroyArea();
    }
}

TEST(Cleaning, SizeLimitsOfZeroIgnoreEverything) {
    AreaScope scope;
    Page page(30, 30);
    page.Block(3, 3, 8, 8);
    page.Push();
    AREAPARAMS p = OpenParams();
    p.maxObjectWidth = 0;
    AREAINFO* area = AreaOver(page, p);
    GW_ProduceObjectList();
    GW_CleanObjects(0);
    EXPECT_EQ(GW_FindFirstObject(), nullptr);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) ASSERT_EQ(area->workRows[y][x], 255);
}

TEST(Cleaning, FillsRingHolesUpToTheLimit) {
    AreaScope scope;
    for (bool oneBit : {false, true}) {
        for (int limit : {12, 11, 0}) {
            SCOPED_TRACE(testing::Message() << (oneBit ? "1-bit " : "8-bit ") << limit);
            // Rings around 3 x 4 = 12 pixels; the second has a gap.
            Page page(40, 20, oneBit);
            page.Block(4, 4, 8, 9);
            page.Block(20, 4, 24, 9);
            for (int y = 5; y <= 8; ++y) {
                for (int x = 5; x <= 7; ++x) {
                    page.Paper(x, y);
                    page.Paper(x + 16, y);
                }
            }
            page.Paper(24, 6);  // the gap: the inside reaches the border
            page.Push();
            AREAPARAMS p = OpenParams();
            p.maxHoleSize = limit;
            AreaOver(page, p);
            GW_ProduceObjectList();
            GW_RemoveIgnoredObjects(1);
            page.Pull();
            const uint8_t ink = oneBit ? 1 : 0;
            for (int y = 5; y <= 8; ++y) {
                for (int x = 5; x <= 7; ++x) {
                    EXPECT_EQ(page.At(x, y) == ink, limit >= 12) << x << "," << y;
                    EXPECT_NE(page.At(x + 16, y), ink) << x + 16 << "," << y;
                }
            }
            EXPECT_EQ(page.At(4, 4), ink);
            GW_DestroyArea();
        }
    }
}

TEST(Cleaning, TrimsThinBorders) {
    AreaScope scope;
    Page page(50, 30);
    page.Block(10, 10, 14, 14);
    for (int x : {10, 12, 14}) page.Ink(x, 9);             // a stray row, no two pixels adjacent
    page.Block(15, 12, 15, 12);                            // a stray column pixel on the right
    page.Ink(30, 10), page.Ink(31, 11), page.Ink(32, 12);  // only isolated pixels per row
    page.Block(40, 5, 41, 5);                              // two pixels, both dropped
    page.Block(40, 20, 42, 20);                            // a bar, kept
    page.Push();
    AREAPARAMS p = OpenParams();
    p.options = 1;
    AreaOver(page, p);
    GW_ProduceObjectList();
    EXPECT_EQ(Walk(),
              (std::vector<Object>{
                  {10, 9, 15, 14, 9, 10}, {30, 10, 32, 12, 10, 30}, {40, 20, 42, 20, 20, 40}}));
    GW_RemoveIgnoredObjects(1);
    // The bar's row has adjacent ink; its columns hold single pixels, so the
    // left edge moves past the right one.
    EXPECT_EQ(Walk(),
              (std::vector<Object>{
                  {10, 10, 14, 14, 9, 10}, {33, 13, 32, 12, 10, 30}, {43, 20, 42, 20, 20, 40}}));
    // The seeds are unchanged, so the redraw still paints the stray pixels.
    page.Pull();
    EXPECT_EQ(page.At(12, 9), 0);
    EXPECT_EQ(page.At(31, 11), 0);
}
