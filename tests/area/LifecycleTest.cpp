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
