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

TEST(Palette, ConvertToGreyNormalisesAReversedRamp) {
    DVImageProcessor image;
    EXPECT_EQ(image.NormaliseGreyPalette(), 1u);
    EXPECT_EQ(image.GetLastError(), 1u);

    Make(image, 5, 52, k8Bit);  // three padding bytes a row, remapped too
    for (uint32_t i = 0; i < 5 * 52; ++i) Row(image, i / 5)[i % 5] = uint8_t(i);
    Row(image, 0)[6] = 17;
    const Entries reversed = Ramp(true);
    ASSERT_EQ(image.SetPalette(reversed.data(), 256), 0u);
    const Bytes before = AllBytes(image);
    const dv::Bitmap* bitmap = image.GetBitmap();
    EXPECT_EQ(image.ConvertToGrey(0.3f, 0.59f, 0.11f), 0u);
    EXPECT_EQ(image.GetBitmap(), bitmap);  // normalised in place, not converted
    const Bytes after = AllBytes(image);
    for (size_t i = 0; i < after.size(); ++i) ASSERT_EQ(after[i], 255 - before[i]) << i;
    uint32_t flags = 0;
    EXPECT_EQ(Palette(image, &flags), Ramp(false));
    EXPECT_EQ(flags, dv::PaletteFlagsGrayScale);

    // A colour palette is not grey: ConvertToGrey changes nothing, while
    // NormaliseGreyPalette itself takes the red byte of each entry.
    const Entries colours = Ramp(true, false);
    ASSERT_EQ(image.SetPalette(colours.data(), 256), 0u);
    EXPECT_EQ(image.ConvertToGrey(0.3f, 0.59f, 0.11f), 0u);
    EXPECT_EQ(AllBytes(image), after);
    EXPECT_EQ(Palette(image), colours);
    EXPECT_EQ(image.NormaliseGreyPalette(), 0u);
    EXPECT_EQ(AllBytes(image), before);
    EXPECT_EQ(Palette(image), Ramp(false));
}
