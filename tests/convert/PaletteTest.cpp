// Palettes of indexed images: setting, defaults, grey kinds and normalising.
#include <gtest/gtest.h>

#include "TestImages.h"

using namespace convtest;

TEST(Palette, SetPaletteNeedsTheFormatsEntryCount) {
    DVImageProcessor image;
    const Entries colours = Ramp(false, false);
    EXPECT_EQ(image.SetPalette(colours.data(), 256), 1u);
    EXPECT_EQ(image.GetLastError(), 1u);

    Make(image, 4, 2, k8Bit);
    EXPECT_EQ(image.SetPalette(nullptr, 256), 2u);
    EXPECT_EQ(image.GetLastError(), 0u);
    EXPECT_EQ(image.SetPalette(colours.data(), 255), 1u);
    EXPECT_EQ(image.GetLastError(), 5u);
    EXPECT_EQ(Palette(image), Ramp(false));  // unchanged
    uint32_t flags = 99;
    EXPECT_EQ(image.SetPalette(colours.data(), 256), 0u);
    EXPECT_EQ(Palette(image, &flags), colours);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(image.SetDefaultPalette(), 0u);
    EXPECT_EQ(Palette(image), Ramp(false));

    Make(image, 4, 2, k1Bit);
    EXPECT_EQ(image.SetPalette(colours.data(), 256), 1u);
    EXPECT_EQ(image.GetLastError(), 5u);
    EXPECT_EQ(image.SetPalette(kWhiteBlack.data(), 2), 0u);
    EXPECT_EQ(Palette(image), kWhiteBlack);
    EXPECT_EQ(image.SetDefaultPalette(), 0u);
    EXPECT_EQ(Palette(image), kBlackWhite);

    Make(image, 4, 2, k24Bit);
    EXPECT_EQ(image.SetPalette(colours.data(), 7), 0u);
    EXPECT_EQ(image.SetDefaultPalette(), 0u);
    EXPECT_TRUE(Palette(image).empty());
}

TEST(Palette, GreyPaletteKind) {
    DVImageProcessor image;
    EXPECT_EQ(image.GetGreyPaletteKind(), 0u);
    Make(image, 2, 2, k1Bit);
    EXPECT_EQ(image.GetGreyPaletteKind(), 0u);
    Make(image, 2, 2, k8Bit);
    Entries entries = Ramp(false);
    for (uint32_t& e : entries) e &= 0x00FFFFFFu;  // alpha is not examined
    ASSERT_EQ(image.SetPalette(entries.data(), 256), 0u);
    EXPECT_EQ(image.GetGreyPaletteKind(), 1u);
    entries = Ramp(true);
    ASSERT_EQ(image.SetPalette(entries.data(), 256), 0u);
    EXPECT_EQ(image.GetGreyPaletteKind(), 2u);
    entries[200] = 0xFF373738u;  // not neutral, after entries out of order
    ASSERT_EQ(image.SetPalette(entries.data(), 256), 0u);
    EXPECT_EQ(image.GetGreyPaletteKind(), 0u);
}
