// The grey view of an image goes through its palette, whatever the format.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "DVImageProcessor.h"
#include "GlyphwickGrey.h"
#include "image/Grey.h"

namespace {

// A 1-bit image whose ink is pixel value `inkBit`, with the palette to match:
// both orders must read as the same picture.
TEST(GreyImage, OneBitAndPaletteImagesReadThroughTheirPalette) {
    for (uint32_t inkBit : {0u, 1u}) {
        DVImageProcessor image;
        ASSERT_EQ(image.Create(10, 2, 0x00030101), 0u);
        const uint32_t palette[2] = {inkBit == 0 ? 0xFF000000u : 0xFFFFFFFFu,
                                     inkBit == 0 ? 0xFFFFFFFFu : 0xFF000000u};
        ASSERT_EQ(image.SetPalette(palette, 2), 0u);
        const uint8_t paper = inkBit == 0 ? 0xFF : 0x00;
        // Rows of (10 + 7) / 8 = 2 bytes; pixel 0 of row 0 is ink.
        const uint8_t rows[4] = {uint8_t(paper ^ 0x80), paper, paper, paper};
        ASSERT_EQ(image.SetPackedRows(rows), 0u);
        const gw::GreyImage grey = gw::ToGrey(image);
        ASSERT_EQ(grey.width, 10u);
        ASSERT_EQ(grey.height, 2u);
        EXPECT_EQ(grey.At(0, 0), 0) << "ink bit " << inkBit;
        EXPECT_EQ(grey.At(1, 0), 255) << "ink bit " << inkBit;
    }

    // An 8-bit colour palette: index 1 is pure red, grey floor(255 * 0.3) = 76;
    // a half-transparent black entry lies over white paper.
    DVImageProcessor pal;
    ASSERT_EQ(pal.Create(3, 1, 0x00030803), 0u);
    std::vector<uint32_t> entries(256, 0xFFFFFFFFu);
    entries[1] = 0xFFFF0000u;
    entries[2] = 0x80000000u;
    ASSERT_EQ(pal.SetPalette(entries.data(), 256), 0u);
    const uint8_t indices[3] = {0, 1, 2};
    ASSERT_EQ(pal.SetPackedRows(indices), 0u);
    const gw::GreyImage g = gw::ToGrey(pal);
    EXPECT_EQ(g.At(0, 0), 255);
    EXPECT_EQ(g.At(1, 0), 76);
    EXPECT_EQ(g.At(2, 0), 127);
    // By the lightest channel, red turns to paper and black stays ink.
    const gw::GreyImage light = gw::ToGrey(pal, gw::GreyMode::Lightest);
    EXPECT_EQ(light.At(1, 0), 255);
    EXPECT_EQ(light.At(2, 0), 127);
}

// A 24-bit image by its lightest channel: a red mark and a pale blue paper
// read light, dark blue print stays dark.
TEST(GreyImage, LightestChannelKeepsOnlyDarkPrint) {
    DVImageProcessor image;
    ASSERT_EQ(image.Create(3, 1, 0x00021808), 0u);
    const uint8_t bgr[12] = {0, 0, 255, 250, 220, 200, 90, 20, 10};  // blue, green, red
    ASSERT_EQ(image.SetBits(bgr, 12), 0u);
    const gw::GreyImage weighted = gw::ToGrey(image);
    const gw::GreyImage light = gw::ToGrey(image, gw::GreyMode::Lightest);
    EXPECT_EQ(weighted.At(0, 0), 76);
    EXPECT_EQ(light.At(0, 0), 255);
    EXPECT_EQ(light.At(1, 0), 250);
    EXPECT_EQ(light.At(2, 0), 90);
    EXPECT_LT(weighted.At(2, 0), light.At(2, 0));
}

// Rows long enough to be taken many pixels at a time, and of lengths that
// end between such runs: every pixel by its own lightest channel.
TEST(GreyImage, LightestChannelOfLongRowsIsEachPixelsOwn) {
    std::mt19937 rng(7);
    for (const uint32_t w : {16u, 47u, 100u, 333u}) {
        const uint32_t h = 3;
        DVImageProcessor image;
        ASSERT_EQ(image.Create(w, h, 0x00021808), 0u);
        const uint32_t stride = (w * 3 + 3) / 4 * 4;
        std::vector<uint8_t> bgr(size_t(stride) * h);
        for (uint8_t& v : bgr) v = uint8_t(rng() % 256);
        ASSERT_EQ(image.SetBits(bgr.data(), uint32_t(bgr.size())), 0u);
        const gw::GreyImage light = gw::ToGrey(image, gw::GreyMode::Lightest);
        // The pixels as the image keeps them (its rows may run either way).
        const dv::Bitmap* bitmap = image.GetBitmap();
        ASSERT_NE(bitmap, nullptr);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                const uint8_t* p =
                    bitmap->Pixels() + size_t(y) * bitmap->GetStride() + size_t(x) * 3;
                ASSERT_EQ(light.At(x, y), std::max({p[0], p[1], p[2]}))
                    << w << ": " << x << ", " << y;
            }
    }
}

// The middle channel (a dark-blue zone's grey), sixteen pixels at a time and
// one at a time at a row's end: every pixel's own middle level, whatever the
// order of its channels.
TEST(GreyImage, MiddleChannelOfLongRowsIsEachPixelsOwn) {
    std::mt19937 rng(11);
    for (const size_t w : {1u, 16u, 47u, 333u}) {
        std::vector<uint8_t> bgr(3 * w), middle(w);
        for (uint8_t& v : bgr) v = uint8_t(rng() % 256);
        gw::MiddleOfThree(bgr.data(), middle.data(), w);
        for (size_t x = 0; x < w; ++x) {
            uint8_t p[3] = {bgr[3 * x], bgr[3 * x + 1], bgr[3 * x + 2]};
            std::sort(p, p + 3);
            ASSERT_EQ(middle[x], p[1]) << w << ": " << x;
        }
    }
}

}  // namespace
