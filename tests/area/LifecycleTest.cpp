// The area's lifecycle, the process-wide flag, refused areas and the pixel
// accessors.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>

#include "area/Area.h"
#include "area/AreaTestSupport.h"

using namespace areatest;

TEST(AreaLifecycle, FlagCurrentAreaAndSetDefaultArea) {
    AreaScope scope;
    GW_DestroyArea();
    EXPECT_EQ(GW_IsAreaInitialised(), 0);
    Page page(40, 30);
    AREAINFO* first = AreaOver(page, OpenParams());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GW_IsAreaInitialised(), 1);
    EXPECT_EQ(gw::CurrentArea(), first);
    EXPECT_EQ(first->width, 40);
    EXPECT_EQ(first->height, 30);

    // Setting no area aside keeps the first alive through the next initialise.
    GW_SetDefaultArea(nullptr);
    EXPECT_EQ(gw::CurrentArea(), nullptr);
    EXPECT_EQ(GW_IsAreaInitialised(), 1);
    AREAINFO* second = AreaOver(page, OpenParams());
    ASSERT_NE(second, nullptr);
    GW_SetDefaultArea(first);
    EXPECT_EQ(gw::CurrentArea(), first);
    EXPECT_EQ(first->width, 40);  // still alive (ASan would catch a freed one)
    GW_DestroyArea();
    EXPECT_EQ(GW_IsAreaInitialised(), 0);
    EXPECT_EQ(gw::CurrentArea(), nullptr);

    // A pointer that is no live area is ignored.
    GW_SetDefaultArea(first);
    EXPECT_EQ(gw::CurrentArea(), nullptr);
    GW_SetDefaultArea(second);
    EXPECT_EQ(gw::CurrentArea(), second);

    // Initialising twice destroys the first area: one area remains.
    GW_DestroyArea();
    AreaOver(page, OpenParams());
    AREAINFO* again = AreaOver(page, OpenParams());
    EXPECT_EQ(gw::CurrentArea(), again);

    EXPECT_STREQ(GW_GetVersion(), "2.04.005");
    EXPECT_EQ(GW_GetVersion(), GW_GetVersion());
}

TEST(AreaLifecycle, SettingsAreCopied) {
    AreaScope scope;
    Page page(20, 20);
    AREAPARAMS p = OpenParams();
    std::string font = "OCR-B";
    p.fontName = font.c_str();
    p.minObjectWidth = 1;
    p.fragMaxHeight = 8;
    p.fontIndex = 3;
    p.maxHoleSize = 12;
    p.options = 5;
    AREAINFO* area = AreaOver(page, p);
    font = "changed";
    ASSERT_NE(area, nullptr);
    EXPECT_STREQ(area->fontName, "OCR-B");
    EXPECT_EQ(area->minObjectWidth, 1);
    EXPECT_EQ(area->fragMaxHeight, 8);
    EXPECT_EQ(area->fontIndex, 3);
    EXPECT_EQ(area->maxHoleSize, 12);
    EXPECT_EQ(area->options, 5u);
    EXPECT_EQ(area->threshold, 128u);
    EXPECT_EQ(area->objects->count, 0u);
    EXPECT_EQ(area->objects->ownsChildren, 1u);
}

TEST(AreaLifecycle, RefusedAreasLeaveNoArea) {
    AreaScope scope;
    Page page(20, 20);
    const AREAPARAMS p = OpenParams();
    const RECT whole = {0, 0, 19, 19};
    const RECT refused[] = {{-1, 0, 19, 19}, {0, -1, 19, 19}, {5, 0, 4, 19}, {0, 5, 19, 4}};
    for (const RECT& r : refused) {
        ASSERT_NE(AreaOver(page, p), nullptr);
        EXPECT_EQ(GW_InitialiseArea(&page.image, &r, &p), nullptr) << r.left << "," << r.top;
        EXPECT_EQ(GW_IsAreaInitialised(), 0);
        EXPECT_EQ(gw::CurrentArea(), nullptr);
    }
    DVImageProcessor colour;
    colour.Create(20, 20, dv::PixelFormat24bppRGB);
    EXPECT_EQ(GW_InitialiseArea(&colour, &whole, &p), nullptr);
    DVImageProcessor empty;
    EXPECT_EQ(GW_InitialiseArea(&empty, &whole, &p), nullptr);
    EXPECT_EQ(GW_InitialiseArea(nullptr, &whole, &p), nullptr);
    EXPECT_EQ(GW_InitialiseArea(&page.image, nullptr, &p), nullptr);
    EXPECT_EQ(GW_InitialiseArea(&page.image, &whole, nullptr), nullptr);
    const RECT huge = {0, 0, 1 << 20, 1 << 20};
    EXPECT_THROW(GW_InitialiseArea(&page.image, &huge, &p), std::bad_alloc);
    EXPECT_EQ(gw::CurrentArea(), nullptr);

    // Without an area every export answers with nothing.
    int32_t out[40] = {7};
    RECT rect = {1, 2, 3, 4};
    GW_ProduceObjectList();
    GW_CleanObjects(1);
    GW_MoveObject(1, 1);
    GW_IgnoreObject();
    EXPECT_EQ(GW_GetNumberOfObjects(), 0);
    EXPECT_EQ(GW_FindFirstObject(), nullptr);
    EXPECT_EQ(GW_FindNextObject(), nullptr);
    EXPECT_EQ(GW_ObjectListBounds(out), 0);
    EXPECT_EQ(GW_GetPixelDistrubution(out), 0);
    EXPECT_EQ(GW_GetDocRect(&rect), 0);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(rect.left, 1);
}

TEST(AreaLifecycle, AccessorsFollowTheImageAndThreshold) {
    AreaScope scope;
    Page grey(16, 4);
    uint8_t row[16];
    uint8_t* rows[1] = {row};
    AREAPARAMS p = OpenParams();
    p.threshold = 0x180;  // only the low byte counts: 0x80
    AreaOver(grey, p);
    std::memset(row, 0x80, sizeof row);
    row[3] = 0x7F;
    EXPECT_EQ(gw::IsInk(rows, 0, 3), 1);
    EXPECT_EQ(gw::IsInk(rows, 0, 4), 0);  // equal to the threshold: paper
    EXPECT_EQ(gw::TestAndErase(rows, 0, 3), 1);
    EXPECT_EQ(row[3], 255);
    EXPECT_EQ(gw::TestAndErase(rows, 0, 4), 0);
    EXPECT_EQ(row[4], 0x80);  // paper is left as it was
    EXPECT_EQ(gw::TestAndPaint(rows, 0, 4), 0);
    EXPECT_EQ(row[4], 0);
    EXPECT_EQ(gw::TestAndPaint(rows, 0, 4), 1);
    EXPECT_EQ(gw::Paint(rows, 0, 9), 1);
    EXPECT_EQ(row[9], 0);

    p.threshold = 200;
    AreaOver(grey, p);
    row[5] = 199;
    EXPECT_EQ(gw::IsInk(rows, 0, 5), 1);

    Page mono(16, 4, true);
    AreaOver(mono, OpenParams());
    std::memset(row, 0, sizeof row);
    row[1] = 0x40;  // column 9
    EXPECT_EQ(gw::IsInk(rows, 0, 9), 1);
    EXPECT_EQ(gw::IsInk(rows, 0, 8), 0);
    EXPECT_EQ(gw::TestAndErase(rows, 0, 9), 1);
    EXPECT_EQ(row[1], 0);
    EXPECT_EQ(gw::TestAndPaint(rows, 0, 15), 0);
    EXPECT_EQ(row[1], 0x01);
    EXPECT_EQ(gw::Paint(rows, 0, 0), 1);
    EXPECT_EQ(row[0], 0x80);
}

TEST(AreaLifecycle, RowsNeverLoadedReadAsPaper) {
    // Work rows that no call has loaded read as paper, whatever the image
    // holds; a call that loads them sees the ink.
    AreaScope scope;
    for (const bool oneBit : {false, true}) {
        Page page(24, 6, oneBit);
        page.Block(3, 1, 12, 4);
        page.Push();
        AREAINFO* area = AreaOver(page, OpenParams());
        ASSERT_NE(area, nullptr);
        const uint8_t paper = oneBit ? 0x00 : 0xFF;
        for (int32_t y = 0; y < area->height; ++y) {
            const uint8_t* row = gw::CurrentArea()->workRows[y];
            for (uint32_t x = 0; x < area->rowBytes; ++x) ASSERT_EQ(row[x], paper) << y << "," << x;
        }
        GW_ProduceObjectList();
        EXPECT_EQ(GW_GetNumberOfObjects(), 1) << oneBit;
    }
}
