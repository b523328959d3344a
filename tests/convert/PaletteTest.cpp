// Palettes of indexed images: setting, defaults, grey kinds and normalising.
#include <gtest/gtest.h>

#include "TestImages.h"

using namespace convtest;

namespace {

std::vector<uint32_t> GreyRamp(bool reversed) {
    std::vector<uint32_t> entries(256);
    for (uint32_t i = 0; i < 256; ++i) {
        const uint32_t v = reversed ? 255 - i : i;
        entries[i] = 0xFF000000u | (v << 16) | (v << 8) | v;
    }
    return entries;
}

}  // namespace

TEST(Palette, SetPaletteNeedsTheFormatsEntryCount) {
    DVImageProcessor image;
    const std::vector<uint32_t> colours = ColourRamp();
    EXPECT_EQ(image.SetPalette(colours.data(), 256), 1u);
    EXPECT_EQ(image.GetLastError(), 1u);

    Make(image, 4, 2, k8Bit);
    EXPECT_EQ(image.SetPalette(nullptr, 256), 2u);
    EXPECT_EQ(image.GetLastError(), 0u);

    EXPECT_EQ(image.SetPalette(colours.data(), 255), 1u);
    EXPECT_EQ(image.GetLastError(), 5u);
    EXPECT_EQ(Palette(image), GreyRamp(false));  // unchanged

    uint32_t flags = 99;
    EXPECT_EQ(image.SetPalette(colours.data(), 256), 0u);
    EXPECT_EQ(image.GetLastError(), 0u);
    EXPECT_EQ(Palette(image, &flags), colours);
    EXPECT_EQ(flags, 0u);

    Make(image, 4, 2, k1Bit);
    EXPECT_EQ(image.SetPalette(colours.data(), 256), 1u);
    EXPECT_EQ(image.GetLastError(), 5u);
    const uint32_t swapped[2] = {0xFFFFFFFFu, 0xFF000000u};
    EXPECT_EQ(image.SetPalette(swapped, 2), 0u);
    EXPECT_EQ(Palette(image), std::vector<uint32_t>(swapped, swapped + 2));

    Make(image, 4, 2, k24Bit);
    EXPECT_EQ(image.SetPalette(colours.data(), 7), 0u);
    EXPECT_EQ(image.GetLastError(), 0u);
    EXPECT_TRUE(Palette(image).empty());
}

TEST(Palette, DefaultPaletteIsTheRampOrTheBlackAndWhitePair) {
    DVImageProcessor image;
    EXPECT_EQ(image.SetDefaultPalette(), 1u);
    EXPECT_EQ(image.GetLastError(), 1u);

    Make(image, 3, 3, k8Bit);
    const std::vector<uint32_t> colours = ColourRamp();
    ASSERT_EQ(image.SetPalette(colours.data(), 256), 0u);
    EXPECT_EQ(image.SetDefaultPalette(), 0u);
    EXPECT_EQ(Palette(image), GreyRamp(false));

    Make(image, 3, 3, k1Bit);
    const uint32_t swapped[2] = {0xFFFFFFFFu, 0xFF000000u};
    ASSERT_EQ(image.SetPalette(swapped, 2), 0u);
    EXPECT_EQ(image.SetDefaultPalette(), 0u);
    EXPECT_EQ(Palette(image), (std::vector<uint32_t>{0xFF000000u, 0xFFFFFFFFu}));

    Make(image, 3, 3, k24Bit);
    EXPECT_EQ(image.SetDefaultPalette(), 0u);
    EXPECT_TRUE(Palette(image).empty());
}

TEST(Palette, GreyPaletteKind) {
    DVImageProcessor image;
    EXPECT_EQ(image.GetGreyPaletteKind(), 0u);
    Make(image, 2, 2, k24Bit);
    EXPECT_EQ(image.GetGreyPaletteKind(), 0u);
    Make(image, 2, 2, k1Bit);
    EXPECT_EQ(image.GetGreyPaletteKind(), 0u);

    Make(image, 2, 2, k8Bit);
    std::vector<uint32_t> entries = GreyRamp(false);
    for (uint32_t& e : entries) e &= 0x00FFFFFFu;  // alpha is not examined
    ASSERT_EQ(image.SetPalette(entries.data(), 256), 0u);
    EXPECT_EQ(image.GetGreyPaletteKind(), 1u);

    entries = GreyRamp(true);
    ASSERT_EQ(image.SetPalette(entries.data(), 256), 0u);
    EXPECT_EQ(image.GetGreyPaletteKind(), 2u);

    entries[200] = 0xFF373738u;  // blue differs: not neutral, even after an out-of-order entry
    ASSERT_EQ(image.SetPalette(entries.data(), 256), 0u);
    EXPECT_EQ(image.GetGreyPaletteKind(), 0u);

    // A palette the object would not accept, set on the bitmap itself.
    std::vector<uint32_t> shortPalette = {0, 10};
    for (uint32_t i = 0; i < 10; ++i) shortPalette.push_back(0xFF000000u | i * 0x010101u);
    image.GetBitmap()->SetPalette(reinterpret_cast<dv::ColorPalette*>(shortPalette.data()));
    EXPECT_EQ(image.GetGreyPaletteKind(), 0u);
}

TEST(Palette, ReversedRampIsNormalisedByConvertToGrey) {
    DVImageProcessor image;
    EXPECT_EQ(image.NormaliseGreyPalette(), 1u);
    EXPECT_EQ(image.GetLastError(), 1u);

    // Width 5: three padding bytes a row, which are remapped too.
    Make(image, 5, 52, k8Bit);
    for (uint32_t i = 0; i < 5 * 52; ++i) Row(image, i / 5)[i % 5] = uint8_t(i);
    Row(image, 0)[6] = 17;
    const std::vector<uint32_t> reversed = GreyRamp(true);
    ASSERT_EQ(image.SetPalette(reversed.data(), 256), 0u);
    const std::vector<uint8_t> before = AllBytes(image);
    const dv::Bitmap* bitmap = image.GetBitmap();
    image.SetTag0(5);

    EXPECT_EQ(image.ConvertToGrey(0.3f, 0.59f, 0.11f), 0u);
    EXPECT_EQ(image.GetBitmap(), bitmap);  // normalised in place, not converted
    EXPECT_EQ(image.GetTag0(), 5u);
    const std::vector<uint8_t> after = AllBytes(image);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) ASSERT_EQ(after[i], 255 - before[i]) << i;
    uint32_t flags = 0;
    EXPECT_EQ(Palette(image, &flags), GreyRamp(false));
    EXPECT_EQ(flags, dv::PaletteFlagsGrayScale);

    // A colour palette is not a grey one: nothing changes.
    const std::vector<uint32_t> colours = ColourRamp();
    ASSERT_EQ(image.SetPalette(colours.data(), 256), 0u);
    EXPECT_EQ(image.ConvertToGrey(0.3f, 0.59f, 0.11f), 0u);
    EXPECT_EQ(AllBytes(image), after);
    EXPECT_EQ(Palette(image), colours);
}

TEST(Palette, NormalisingA1BitImageLeavesItAlone) {
    DVImageProcessor image;
    Make(image, 9, 2, k1Bit);
    Row(image, 1)[0] = 0xA5;
    const std::vector<uint8_t> before = AllBytes(image);
    EXPECT_EQ(image.NormaliseGreyPalette(), 0u);
    EXPECT_EQ(AllBytes(image), before);
    EXPECT_EQ(Palette(image), (std::vector<uint32_t>{0xFF000000u, 0xFFFFFFFFu}));
}

TEST(Palette, NormalisingTakesTheRedByteOfEachEntry) {
    DVImageProcessor image;
    Make(image, 4, 1, k8Bit);
    std::vector<uint32_t> entries(256);
    for (uint32_t i = 0; i < 256; ++i) entries[i] = 0xFF000000u | ((255 - i) << 16) | (i << 8) | 7;
    ASSERT_EQ(image.SetPalette(entries.data(), 256), 0u);
    const uint8_t pixels[4] = {0, 1, 100, 255};
    std::copy(pixels, pixels + 4, Row(image, 0));
    EXPECT_EQ(image.NormaliseGreyPalette(), 0u);
    EXPECT_EQ(AllBytes(image), (std::vector<uint8_t>{255, 254, 155, 0}));
    EXPECT_EQ(Palette(image), GreyRamp(false));
}
