// Ink distributions, their comparison, and the document rectangle.
#include <gtest/gtest.h>

#include <numeric>

#include "area/AreaTestSupport.h"

using namespace areatest;

TEST(Measurements, DocRectInsideADarkFrame) {
    AreaScope scope;
    for (bool oneBit : {false, true}) {
        SCOPED_TRACE(oneBit ? "1-bit" : "8-bit");
        Page page(100, 100, oneBit);
        RECT rect = {-1, -1, -1, -1};
        AreaOver(page, OpenParams());
        EXPECT_EQ(GW_GetDocRect(&rect), 1);
        EXPECT_EQ((std::vector<int32_t>{rect.left, rect.top, rect.right, rect.bottom}),
                  (std::vector<int32_t>{0, 0, 99, 99}));

        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                if (x < 15 || x >= 85 || y < 15 || y >= 85) page.Ink(x, y);
        page.Push();
        EXPECT_EQ(GW_GetDocRect(&rect), 1);
        EXPECT_EQ((std::vector<int32_t>{rect.left, rect.top, rect.right, rect.bottom}),
                  (std::vector<int32_t>{15, 15, 84, 84}));
        GW_DestroyArea();
    }

    // A column with height - 10 ink pixels is border, with height - 11 it is
    // document; the area's columns are reported as image columns, its rows
    // from its top.
    Page page(60, 50);
    page.Block(0, 0, 59, 49);
    for (int y = 10; y < 20; ++y) page.Paper(25, y);  // 40 ink of 50
    for (int y = 10; y < 21; ++y) page.Paper(30, y);  // 39 ink
    for (int x = 20; x < 40; ++x)
        if (x != 25) page.Paper(x, 45);  // a document row; column 25 keeps 40 ink
    page.Push();
    const AREAPARAMS p = OpenParams();
    const RECT area = {20, 0, 39, 49};
    GW_InitialiseArea(&page.image, &area, &p);
    RECT rect = {-1, -1, -1, -1};
    EXPECT_EQ(GW_GetDocRect(&rect), 1);
    EXPECT_EQ((std::vector<int32_t>{rect.left, rect.top, rect.right, rect.bottom}),
              (std::vector<int32_t>{30, 45, 30, 45}));
    // Nothing qualifies: the fields stay as they were.
    page.Block(0, 0, 59, 49);
    page.Push();
    rect = {-1, -1, -1, -1};
    EXPECT_EQ(GW_GetDocRect(&rect), 1);
    EXPECT_EQ(rect.left + rect.top + rect.right + rect.bottom, -4);
}

TEST(Measurements, DistributionBandsAndRemainders) {
    AreaScope scope;
    // 105 x 47: column bands of 5 (the last 5 columns count in band 19),
    // row bands of 2 (the last 7 rows count in band 39).
    Page page(120, 60);
    page.Ink(10, 5);    // area (0, 0)
    page.Ink(14, 6);    // column 4, row 1
    page.Ink(15, 7);    // column 5: band 1, row 2: band 21
    page.Ink(114, 51);  // column 104, row 46: both last bands
    page.Ink(119, 51);  // outside the area
    page.Push();
    const AREAPARAMS p = OpenParams();
    const RECT area = {10, 5, 114, 51};
    GW_InitialiseArea(&page.image, &area, &p);
    int32_t bins[40];
    EXPECT_EQ(GW_GetPixelDistrubution(bins), 1);
    std::vector<int32_t> expected(40, 0);
    expected[0] = 2, expected[1] = 1, expected[19] = 1;
    expected[20] = 2, expected[21] = 1, expected[39] = 1;
    EXPECT_EQ(std::vector<int32_t>(bins, bins + 40), expected);

    // Under 20 pixels high: 40 zero bins and result 0.
    const RECT flat = {0, 0, 119, 18};
    GW_InitialiseArea(&page.image, &flat, &p);
    std::fill(bins, bins + 40, 5);
    EXPECT_EQ(GW_GetPixelDistrubution(bins), 0);
    EXPECT_EQ(std::accumulate(bins, bins + 40, 0), 0);
}

TEST(Measurements, CompareDistributions) {
    int32_t a[40] = {}, b[40] = {};
    EXPECT_EQ(GW_ComparePixelDistrubution(a, b), 100);  // nothing to compare
    for (int i = 0; i < 40; ++i) a[i] = i * 3 + 1;
    EXPECT_EQ(GW_ComparePixelDistrubution(a, a), 100);
    std::copy(a, a + 40, b);
    b[0] = 1000, b[19] = 0, b[20] = 77, b[39] = 5;  // outer bands take no part
    EXPECT_EQ(GW_ComparePixelDistrubution(a, b), 100);

    // Non-zero bins never coincide: 0.
    int32_t c[40] = {}, d[40] = {};
    for (int i = 1; i < 39; i += 2) c[i] = 10;
    for (int i = 2; i < 39; i += 2) d[i] = 7;
    EXPECT_EQ(GW_ComparePixelDistrubution(c, d), 0);

    // d = 30, s = 90 + 40: 100 - 3000 / 130 = 100 - 23.
    int32_t e[40] = {}, f[40] = {};
    e[5] = 90, f[5] = 60, e[25] = 40, f[25] = 40;
    EXPECT_EQ(GW_ComparePixelDistrubution(e, f), 77);
    EXPECT_EQ(GW_ComparePixelDistrubution(nullptr, f), 0);
}
