// The bitmap store: creation, locking, cloning, rotation, palettes, properties.
#include <gtest/gtest.h>

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
    // Small images of every format, and a colour one of 1100 x 1300 x 3
    // bytes: past the size at which pixel memory is mapped and the turn goes
    // by cache-sized squares.
    struct Case {
        int32_t format;
        uint32_t width, height;
    };
    for (const Case c : {Case{PixelFormat1bppIndexed, 13, 6}, Case{PixelFormat8bppIndexed, 13, 6},
                         Case{PixelFormat24bppRGB, 13, 6}, Case{PixelFormat24bppRGB, 1100, 1300}}) {
        const int32_t format = c.format;
        for (int32_t type = 0; type < 8; ++type) {
            auto b = Make(c.width, c.height, format);
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
