// The object list, the walking and ignoring exports, bounds and moving.
#include <gtest/gtest.h>

#include "area/Area.h"
#include "area/AreaTestSupport.h"

using namespace areatest;

TEST(ObjectList, WalkIgnoreResetAndBoundsThroughExports) {
    AreaScope scope;
    Page page(80, 40);
    page.Block(10, 20, 30, 22);
    page.Block(40, 5, 42, 7);
    page.Block(60, 10, 70, 30);
    page.Push();
    AreaOver(page, OpenParams());
    GW_ProduceObjectList();
    EXPECT_EQ(GW_GetNumberOfObjects(), 3);
    EXPECT_EQ(Walk().size(), 3u);
    EXPECT_EQ(GW_FindNextObject(), nullptr);  // the walk ended: no current object

    // Ignoring the first: the next object follows it.
    ASSERT_NE(GW_FindFirstObject(), nullptr);
    GW_IgnoreObject();
    const OBJECTINFO* next = GW_FindNextObject();
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->left, 40);
    int32_t bounds[4] = {};
    EXPECT_EQ(GW_ObjectListBounds(bounds), 1);
    EXPECT_EQ(std::vector<int32_t>(bounds, bounds + 4), (std::vector<int32_t>{40, 5, 70, 30}));
    EXPECT_EQ(GW_FindNextObject(), nullptr);  // bounds leave no current object

    for (auto* o = GW_FindFirstObject(); o != nullptr; o = GW_FindNextObject()) GW_IgnoreObject();
    EXPECT_EQ(GW_FindFirstObject(), nullptr);
    EXPECT_EQ(GW_GetNumberOfObjects(), 3);
    int32_t untouched[4] = {9, 9, 9, 9};
    EXPECT_EQ(GW_ObjectListBounds(untouched), 0);
    EXPECT_EQ(untouched[0], 9);
    EXPECT_EQ(GW_ObjectListBounds(nullptr), 0);

    GW_ResetIgnoredObjects();
    EXPECT_EQ(Walk().size(), 3u);
}

TEST(ObjectList, MoveObjectOnEightAndOneBitImages) {
    AreaScope scope;
    for (bool oneBit : {false, true}) {
        SCOPED_TRACE(oneBit ? "1-bit" : "8-bit");
        // An object with rectangle (10, 20, 19, 29) and seed (4, 6) in an area
        // whose top-left is (4, 16); a few paper pixels inside it.
        Page page(40, 45, oneBit);
        page.Block(10, 20, 19, 29);
        for (int x = 12; x <= 14; ++x) page.Paper(x, 24);
        page.Push();
        const std::vector<uint8_t> before = page.bytes;

        const AREAPARAMS p = OpenParams();
        const RECT r = {4, 16, 39, 44};
        GW_InitialiseArea(&page.image, &r, &p);
        GW_ProduceObjectList();
        OBJECTINFO* o = GW_FindFirstObject();
        ASSERT_NE(o, nullptr);
        EXPECT_EQ((Object{o->left, o->top, o->right, o->bottom, o->seedRow, o->seedColumn}),
                  (Object{10, 20, 19, 29, 4, 6}));
        GW_MoveObject(3, -2);
        EXPECT_EQ((Object{o->left, o->top, o->right, o->bottom, o->seedRow, o->seedColumn}),
                  (Object{7, 22, 16, 31, 6, 3}));

        page.Pull();
        for (int y = 0; y < 45; ++y) {
            for (int x = 0; x < 40; ++x) {
                const bool inNew = x >= 7 && x <= 16 && y >= 22 && y <= 31;
                const bool inOld = x >= 10 && x <= 19 && y >= 20 && y <= 29;
                const uint8_t expected = inNew   ? page.At(before, x + 3, y - 2)
                                         : inOld ? 0
                                                 : page.At(before, x, y);
                ASSERT_EQ(page.At(x, y), expected) << x << "," << y;
            }
        }
        GW_DestroyArea();
    }
}
