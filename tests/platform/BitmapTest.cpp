// The bitmap store: creation, locking, cloning, rotation, palettes, properties.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "DVImageCodecs.h"
#include "platform/PixelLayout.h"

using namespace dv;

namespace {

std::unique_ptr<Bitmap> Make(uint32_t w, uint32_t h, int32_t format) {
    Status s = GenericError;
    std::unique_ptr<Bitmap> b(Bitmap::Create(w, h, format, &s));
    EXPECT_EQ(s, Ok);
    return b;
}

// Fills every pixel (not the padding) with reproducible noise.
void Fill(Bitmap& b, uint32_t seed) {
    std::mt19937 rng(seed);
    const uint32_t bpp = BitsPerPixel(b.GetPixelFormat());
    for (uint32_t y = 0; y < b.GetHeight(); ++y) {
        uint8_t* row = b.Pixels() + size_t{y} * b.GetStride();
        if (bpp == 1) {
            for (uint32_t x = 0; x < b.GetWidth(); ++x) gw::PutBit(row, x, rng() & 1);
        } else {
            for (uint32_t i = 0; i < b.GetWidth() * bpp / 8; ++i) row[i] = uint8_t(rng());
        }
    }
}

// A pixel as one number, whatever the format.
uint32_t PixelAt(const Bitmap& b, uint32_t x, uint32_t y) {
    const uint8_t* row = b.Pixels() + size_t{y} * b.GetStride();
    switch (BitsPerPixel(b.GetPixelFormat())) {
        case 1:
            return gw::GetBit(row, x);
        case 8:
            return row[x];
        default:
            return row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16);
    }
}

}  // namespace

TEST(Bitmap, CreateGivesAlignedRowsDefaultPaletteAndResolution) {
    auto b24 = Make(100, 10, PixelFormat24bppRGB);
    auto b8 = Make(101, 10, PixelFormat8bppIndexed);
    auto b1 = Make(33, 1, PixelFormat1bppIndexed);
    EXPECT_EQ(b24->GetStride(), 300u);
    EXPECT_EQ(b8->GetStride(), 104u);
    EXPECT_EQ(b1->GetStride(), 8u);
    EXPECT_EQ(b24->GetHorizontalResolution(), 96.0f);
    EXPECT_EQ(b24->GetVerticalResolution(), 96.0f);

    // The 1-bit bitmap holds the black and white pair, the 8-bit one the ramp.
    std::vector<uint8_t> buf(b1->GetPaletteSize());
    auto* pal = reinterpret_cast<ColorPalette*>(buf.data());
    ASSERT_EQ(b1->GetPalette(pal, uint32_t(buf.size())), Ok);
    ASSERT_EQ(pal->Count, 2u);
    EXPECT_EQ(pal->Entries[0], 0xFF000000u);
    EXPECT_EQ(pal->Entries[1], 0xFFFFFFFFu);
    EXPECT_EQ(b8->GetPaletteSize(), PaletteBytes(256));
    EXPECT_EQ(b24->GetPaletteSize(), PaletteBytes(0));

    Status s = Ok;
    EXPECT_EQ(Bitmap::Create(10, 10, PixelFormat32bppARGB, &s), nullptr);
    EXPECT_EQ(s, InvalidParameter);
    EXPECT_EQ(Bitmap::Create(0, 10, PixelFormat8bppIndexed, &s), nullptr);
    EXPECT_EQ(s, InvalidParameter);
    EXPECT_EQ(Bitmap::Create(1u << 15, 1u << 14, PixelFormat8bppIndexed, &s), nullptr);
    EXPECT_EQ(s, OutOfMemory);
    EXPECT_EQ(BitsPerPixel(PixelFormat16bppGrayScale), 0u);
    EXPECT_EQ(PaletteEntryCount(PixelFormat24bppRGB), 0u);
}

TEST(Bitmap, LockIsAViewOntoThePixelsExceptUnaligned1Bit) {
    auto b8 = Make(20, 10, PixelFormat8bppIndexed);
    Rect r{3, 2, 5, 4};
    BitmapData d{};
    ASSERT_EQ(b8->LockBits(&r, ImageLockModeWrite, PixelFormat8bppIndexed, &d), Ok);
    EXPECT_EQ(d.Scan0, b8->Pixels() + 2 * b8->GetStride() + 3);
    EXPECT_EQ(d.Stride, int32_t(b8->GetStride()));
    // A second lock, a lock in another format or outside the bitmap is refused.
    BitmapData d2{};
    EXPECT_EQ(b8->LockBits(nullptr, ImageLockModeRead, PixelFormat8bppIndexed, &d2), WrongState);
    EXPECT_EQ(b8->GetLastStatus(), WrongState);
    EXPECT_EQ(b8->GetLastStatus(), Ok);
    ASSERT_EQ(b8->UnlockBits(&d), Ok);
    EXPECT_EQ(b8->LockBits(nullptr, ImageLockModeRead, PixelFormat24bppRGB, &d2), InvalidParameter);
    Rect outside{18, 0, 3, 1};
    EXPECT_EQ(b8->LockBits(&outside, ImageLockModeRead, PixelFormat8bppIndexed, &d2),
              InvalidParameter);

    // 1-bit rectangle starting at column 5: pixel 0 of the view is bit 7 of its
    // first byte, and only the rectangle's bits are written back.
    auto b1 = Make(24, 3, PixelFormat1bppIndexed);
    std::memset(b1->Pixels(), 0, b1->GetStride() * 3);
    gw::PutBit(b1->Pixels() + b1->GetStride(), 5, true);
    Rect r1{5, 1, 10, 1};
    ASSERT_EQ(b1->LockBits(&r1, ImageLockModeWrite, PixelFormat1bppIndexed, &d), Ok);
    auto* view = static_cast<uint8_t*>(d.Scan0);
    EXPECT_EQ(view[0], 0x80);
    std::memset(view, 0xFF, 4);  // sets view pixels 0..31, but the rectangle is 10 wide
    ASSERT_EQ(b1->UnlockBits(&d), Ok);
    const uint8_t* row = b1->Pixels() + b1->GetStride();
    for (uint32_t x = 0; x < 24; ++x) EXPECT_EQ(gw::GetBit(row, x), x >= 5 && x < 15) << x;
    EXPECT_EQ(b1->Pixels()[0], 0);  // row 0 untouched
}

TEST(Bitmap, CloneCopiesRectanglePaletteAndResolution) {
    for (int32_t format : {PixelFormat1bppIndexed, PixelFormat8bppIndexed, PixelFormat24bppRGB}) {
        auto b = Make(37, 21, format);
        Fill(*b, 7);
        b->SetResolution(300.0f, 200.0f);
        Status s = GenericError;
        std::unique_ptr<Bitmap> c(b->Clone(3, 4, 30, 15, format, &s));
        ASSERT_EQ(s, Ok);
        ASSERT_EQ(c->GetWidth(), 30u);
        ASSERT_EQ(c->GetHeight(), 15u);
        for (uint32_t y = 0; y < 15; ++y) {
            for (uint32_t x = 0; x < 30; ++x)
                ASSERT_EQ(PixelAt(*c, x, y), PixelAt(*b, x + 3, y + 4));
        }
        EXPECT_EQ(c->GetHorizontalResolution(), 300.0f);
        EXPECT_EQ(c->GetPaletteSize(), b->GetPaletteSize());
        EXPECT_EQ(b->Clone(10, 10, 30, 15, format, &s), nullptr);
        EXPECT_EQ(s, InvalidParameter);
    }
}

// Reference rotation: type t is a clockwise turn by (t & 3) quarters, then a
// left-right mirror when t >= 4, applied one elementary step at a time.
std::vector<std::vector<uint32_t>> Reference(const Bitmap& b, int32_t type) {
    std::vector<std::vector<uint32_t>> g(b.GetHeight(), std::vector<uint32_t>(b.GetWidth()));
    for (uint32_t y = 0; y < b.GetHeight(); ++y) {
        for (uint32_t x = 0; x < b.GetWidth(); ++x) g[y][x] = PixelAt(b, x, y);
    }
    for (int turn = 0; turn < (type & 3); ++turn) {
        const size_t h = g.size(), w = g[0].size();
        std::vector<std::vector<uint32_t>> r(w, std::vector<uint32_t>(h));
        for (size_t y = 0; y < h; ++y) {
            for (size_t x = 0; x < w; ++x) r[x][h - 1 - y] = g[y][x];
        }
        g = std::move(r);
    }
    if (type >= 4) {
        for (auto& row : g) std::reverse(row.begin(), row.end());
    }
    return g;
}

TEST(Bitmap, RotateFlipEveryTypeOnEveryFormatMatchesReference) {
    for (int32_t format : {PixelFormat1bppIndexed, PixelFormat8bppIndexed, PixelFormat24bppRGB}) {
        for (int32_t type = 0; type < 8; ++type) {
            auto b = Make(13, 6, format);
            Fill(*b, uint32_t(type + 11));
            const auto expected = Reference(*b, type);
            ASSERT_EQ(b->RotateFlip(type), Ok);
            ASSERT_EQ(b->GetHeight(), expected.size());
            ASSERT_EQ(b->GetWidth(), expected[0].size());
            EXPECT_EQ(b->GetStride(), gw::AlignedRowBytes(b->GetWidth(), BitsPerPixel(format)));
            for (uint32_t y = 0; y < b->GetHeight(); ++y) {
                for (uint32_t x = 0; x < b->GetWidth(); ++x) {
                    ASSERT_EQ(PixelAt(*b, x, y), expected[y][x])
                        << "format " << format << " type " << type << " at " << x << "," << y;
                }
            }
        }
    }
    auto b = Make(4, 4, PixelFormat8bppIndexed);
    EXPECT_EQ(b->RotateFlip(8), InvalidParameter);
    EXPECT_EQ(b->RotateFlip(-1), InvalidParameter);
}

TEST(Bitmap, PaletteIsReplacedOnlyOnIndexedFormatsWithinTheirSize) {
    auto b1 = Make(8, 1, PixelFormat1bppIndexed);
    std::vector<uint8_t> buf(PaletteBytes(3));
    auto* pal = reinterpret_cast<ColorPalette*>(buf.data());
    pal->Flags = 0;
    pal->Count = 3;
    EXPECT_EQ(b1->SetPalette(pal), InvalidParameter);  // more entries than 1 bit holds
    pal->Count = 2;
    pal->Entries[0] = 0xFF112233;
    pal->Entries[1] = 0xFF445566;
    ASSERT_EQ(b1->SetPalette(pal), Ok);
    std::vector<uint8_t> out(b1->GetPaletteSize());
    auto* got = reinterpret_cast<ColorPalette*>(out.data());
    ASSERT_EQ(b1->GetPalette(got, uint32_t(out.size())), Ok);
    EXPECT_EQ(got->Entries[1], 0xFF445566u);
    EXPECT_EQ(b1->GetPalette(got, 8), InvalidParameter);  // buffer too small

    auto b24 = Make(8, 1, PixelFormat24bppRGB);
    EXPECT_EQ(b24->SetPalette(pal), InvalidParameter);
}

TEST(Bitmap, PropertyItemsAreAddedReplacedListedAndRemoved) {
    auto b = Make(4, 4, PixelFormat8bppIndexed);
    EXPECT_EQ(b->GetPropertyItemSize(0x010F), 0u);
    const char make[] = "Glyph";
    PropertyItem item{0x010F, sizeof make, 2, const_cast<char*>(make)};
    ASSERT_EQ(b->SetPropertyItem(&item), Ok);
    uint16_t dpi = 300;
    PropertyItem second{0x5029, 2, 3, &dpi};
    ASSERT_EQ(b->SetPropertyItem(&second), Ok);
    const char model[] = "Wick9";
    item.value = const_cast<char*>(model);
    ASSERT_EQ(b->SetPropertyItem(&item), Ok);  // replaces, keeps one item

    const uint32_t size = b->GetPropertyItemSize(0x010F);
    ASSERT_EQ(size, sizeof(PropertyItem) + sizeof model);
    std::vector<uint8_t> one(size);
    auto* got = reinterpret_cast<PropertyItem*>(one.data());
    EXPECT_EQ(b->GetPropertyItem(0x010F, size - 1, got), InvalidParameter);
    ASSERT_EQ(b->GetPropertyItem(0x010F, size, got), Ok);
    EXPECT_EQ(got->type, 2);
    EXPECT_STREQ(static_cast<char*>(got->value), "Wick9");

    uint32_t total = 0, count = 0;
    ASSERT_EQ(b->GetPropertySize(&total, &count), Ok);
    EXPECT_EQ(count, 2u);
    std::vector<uint8_t> all(total);
    auto* items = reinterpret_cast<PropertyItem*>(all.data());
    ASSERT_EQ(b->GetAllPropertyItems(total, count, items), Ok);
    EXPECT_EQ(items[1].id, 0x5029u);
    EXPECT_EQ(*static_cast<uint16_t*>(items[1].value), 300);
    EXPECT_EQ(b->GetAllPropertyItems(total + 1, count, items), InvalidParameter);

    EXPECT_EQ(b->RemovePropertyItem(0x010F), Ok);
    EXPECT_EQ(b->RemovePropertyItem(0x010F), PropertyNotFound);
    EXPECT_EQ(b->GetPropertyItem(0x010F, size, got), PropertyNotFound);
    PropertyItem bad{1, 4, 7, nullptr};
    EXPECT_EQ(b->SetPropertyItem(&bad), InvalidParameter);
}
