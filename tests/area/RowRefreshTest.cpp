// A refresh of the work rows that is put off until the rows are read: the
// rows must come out as the image stood at the refresh, whatever changes the
// image's pixels in between.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "area/Area.h"
#include "area/AreaTestSupport.h"

using namespace areatest;

namespace {

using Rows = std::vector<std::vector<uint8_t>>;

// The rows that an immediate load gives.
Rows LoadNow(AREAINFO& area) {
    Rows rows(size_t(area.height), std::vector<uint8_t>(area.rowBytes));
    for (int32_t y = 0; y < area.height; ++y) gw::LoadRow(area, area.top + y, rows[y].data());
    return rows;
}

void ExpectRows(const Rows& expected, const std::string& what) {
    AREAINFO* area = gw::CurrentArea();
    ASSERT_NE(area, nullptr) << what;
    EXPECT_EQ(area->workRowState, gw::WorkRowState::Loaded) << what;
    for (int32_t y = 0; y < area->height; ++y)
        ASSERT_EQ(std::memcmp(area->workRows[y], expected[size_t(y)].data(), area->rowBytes), 0)
            << what << ", row " << y;
}

void Draw(Page& page) {
    page.Block(2, 1, 6, 8);
    page.Block(11, 0, 12, 10);
    page.Block(30, 3, 38, 5);
    page.Push();
}

}  // namespace

TEST(RowRefresh, PutOffCopyGivesTheRowsAsTheImageStood) {
    AreaScope scope;
    const std::vector<std::pair<std::string, std::function<void(Page&)>>> changes = {
        {"SetBytes",
         [](Page& p) { p.image.SetBytes(2, 0, std::vector<uint8_t>(4, 0x5A).data(), 4); }},
        {"Invert", [](Page& p) { p.image.Invert(); }},
        {"RotateFlip", [](Page& p) { p.image.RotateFlip(2); }},
        {"ConvertTo24Bit", [](Page& p) { p.image.ConvertTo24Bit(); }},
        {"Create", [](Page& p) { p.image.Create(5, 5, dv::PixelFormat8bppIndexed); }},
        {"Destroy", [](Page& p) { p.image.Destroy(); }},
        {"Pixels", [](Page& p) { p.image.GetBitmap()->Pixels()[p.stride + 3] ^= 0xFF; }},
        {"LockBits",
         [](Page& p) {
             dv::BitmapData data{};
             ASSERT_EQ(p.image.GetBitmap()->LockBits(nullptr, dv::ImageLockModeWrite,
                                                     p.image.GetPixelFormat(), &data),
                       dv::Ok);
             std::memset(data.Scan0, 0x33, size_t(data.Stride) * 3);
             p.image.GetBitmap()->UnlockBits(&data);
         }},
    };
    for (const bool oneBit : {false, true}) {
        for (const auto& [name, change] : changes) {
            const std::string what = name + (oneBit ? " on 1 bit" : " on 8 bits");
            Page page(40, 12, oneBit);
            Draw(page);
            // The area reaches past the image's right and bottom edges, where
            // rows and columns read as paper.
            const RECT rect{1, 1, 49, 13};
            const AREAPARAMS params = OpenParams();
            AREAINFO* area = GW_InitialiseArea(&page.image, &rect, &params);
            ASSERT_NE(area, nullptr);
            const Rows expected = LoadNow(*area);
            gw::RefreshWorkRows(*area);
            ASSERT_EQ(area->workRowState, gw::WorkRowState::Pending) << what;
            // While the copy is owed, scan rows hold the same bytes in the
            // area's columns.
            std::vector<uint8_t> scratch(area->rowBytes);
            const size_t first = oneBit ? 0 : 1, last = oneBit ? 49 / 8 : 49;
            for (int32_t y = 1; y <= 13; ++y) {
                const uint8_t* row = gw::ScanRow(*area, y, scratch.data());
                ASSERT_EQ(std::memcmp(row + first, expected[size_t(y - 1)].data() + first,
                                      last - first + 1),
                          0)
                    << what << ", row " << y;
            }
            change(page);
            ExpectRows(expected, what);
            GW_DestroyArea();
        }
    }
}

TEST(RowRefresh, SetAsideLockedAndUnownedBitmaps) {
    AreaScope scope;
    Page page(40, 12);
    Draw(page);

    // An area set aside still takes its rows before the image changes.
    AREAINFO* aside = AreaOver(page, OpenParams());
    const Rows before = LoadNow(*aside);
    gw::RefreshWorkRows(*aside);
    GW_SetDefaultArea(nullptr);
    page.image.Invert();
    GW_SetDefaultArea(aside);
    ExpectRows(before, "set aside");

    // A bitmap locked for writing is copied at once: writes through the lock
    // after the refresh are not seen.
    const Rows inverted = LoadNow(*aside);
    dv::BitmapData data{};
    ASSERT_EQ(
        page.image.GetBitmap()->LockBits(nullptr, dv::ImageLockModeRead | dv::ImageLockModeWrite,
                                         page.image.GetPixelFormat(), &data),
        dv::Ok);
    gw::RefreshWorkRows(*aside);
    EXPECT_EQ(aside->workRowState, gw::WorkRowState::Loaded);
    std::memset(data.Scan0, 0, size_t(data.Stride) * data.Height);
    page.image.GetBitmap()->UnlockBits(&data);
    ExpectRows(inverted, "locked");
    GW_DestroyArea();

    // An image that lets go of a bitmap it does not own leaves the bitmap
    // unchanged: the rows are copied from it when read.
    dv::Bitmap* host = page.image.GetBitmap()->Clone(0, 0, 40, 12, dv::PixelFormat8bppIndexed);
    dv::Bitmap* other = dv::Bitmap::Create(8, 8, dv::PixelFormat8bppIndexed);
    DVImageProcessor image;
    ASSERT_EQ(image.Attach(host, false), 0u);
    const RECT rect{0, 0, 39, 11};
    const AREAPARAMS params = OpenParams();
    AREAINFO* area = GW_InitialiseArea(&image, &rect, &params);
    const Rows hostRows = LoadNow(*area);
    gw::RefreshWorkRows(*area);
    ASSERT_EQ(image.Attach(other, false), 0u);
    ExpectRows(hostRows, "unowned");

    // A refresh owed by an area that is gone is forgotten: deleting the
    // bitmap afterwards reads nothing of the area.
    gw::RefreshWorkRows(*area);
    GW_DestroyArea();
    image.Destroy();
    delete host;
    delete other;
}
