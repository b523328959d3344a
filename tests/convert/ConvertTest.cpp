// Conversions between the three pixel formats.
#include <gtest/gtest.h>

#include "TestImages.h"
#include "image/Grey.h"

using namespace convtest;

namespace {

// Marks an image so that a conversion can be seen to reset its tags and keep
// its resolution; Converted checks that it did.
void Mark(DVImageProcessor& image) {
    image.SetTag0(5);
    image.SetTag1(9);
    image.ImageFlag() = 0;
    image.SetResolution(300.0f, 150.0f);
}

void Converted(DVImageProcessor& image, int32_t format, uint32_t width, uint32_t height) {
    EXPECT_EQ(image.GetPixelFormat(), format);
    EXPECT_EQ(image.GetWidth(), width);
    EXPECT_EQ(image.GetHeight(), height);
    EXPECT_EQ(image.GetTag0() * 100 + image.GetTag1() * 10 + uint32_t(image.ImageFlag()), 11u);
    EXPECT_EQ(image.GetHorizontalResolution(), 300.0f);
    EXPECT_EQ(image.GetVerticalResolution(), 150.0f);
}

}  // namespace

TEST(ConvertToGrey, From24BitStoresTheLowByteOfTheGreyLevel) {
    DVImageProcessor image, wide;
    for (DVImageProcessor* i : {&image, &wide}) {
        Make(*i, 5, 2, k24Bit);
        Put24(*i, 0, 0, 0x070707);
        Put24(*i, 1, 0, 0xFFFFFF);
        Put24(*i, 2, 0, 0x818181);
        Put24(*i, 3, 0, 0xC86400);  // (200, 100, 0)
    }
    Mark(image);
    EXPECT_EQ(image.ConvertToGrey(0.3f, 0.59f, 0.11f), 0u);
    Converted(image, k8Bit, 5, 2);
    // (7, 7, 7) gives 6 through single-precision rounding; padding is not written.
    EXPECT_EQ(AllBytes(image), (Bytes{6, 255, 129, 119, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    uint32_t flags = 0;
    EXPECT_EQ(Palette(image, &flags), Ramp(false));
    EXPECT_EQ(flags, dv::PaletteFlagsGrayScale);

    // Weights that sum above 1 wrap instead of saturating.
    EXPECT_EQ(wide.ConvertToGrey(1.0f, 1.0f, 1.0f), 0u);
    EXPECT_EQ(Row(wide, 0)[3], 300 - 256);
    EXPECT_EQ(Row(wide, 0)[1], uint8_t(765));
}

TEST(ConvertToGrey, From1BitGivesOnlyBlackAndWhite) {
    DVImageProcessor image;
    Make(image, 13, 2, k1Bit);
    ASSERT_EQ(image.SetPalette(kWhiteBlack.data(), 2), 0u);  // not consulted
    Row(image, 0)[0] = 0x81;
    Row(image, 0)[1] = 0x4F;  // pixels 9 and 12, then bits 13 to 15 past the width
    Mark(image);
    EXPECT_EQ(image.ConvertToGrey(0.3f, 0.59f, 0.11f), 0u);
    Converted(image, k8Bit, 13, 2);
    Bytes expected(32, 0);
    expected[0] = expected[7] = expected[9] = expected[12] = 255;
    EXPECT_EQ(AllBytes(image), expected);
}

TEST(ConvertTo1Bit, GreyLevelsAbove128BecomeWhite) {
    DVImageProcessor image;
    Make(image, 11, 2, k8Bit);
    const Entries colours = Ramp(true, false);  // not consulted
    ASSERT_EQ(image.SetPalette(colours.data(), 256), 0u);
    const uint8_t values[11] = {128, 129, 0, 255, 127, 200, 130, 1, 128, 129, 250};
    std::copy(values, values + 11, Row(image, 1));
    Mark(image);
    EXPECT_EQ(image.ConvertTo1Bit(), 0u);
    Converted(image, k1Bit, 11, 2);
    EXPECT_EQ(AllBytes(image), (Bytes{0, 0, 0, 0, 0b01010110, 0b01100000, 0, 0}));
    EXPECT_EQ(Palette(image), kBlackWhite);

    Make(image, 256, 64, k24Bit);
    for (uint32_t c = 0; c < 256 * 64; ++c) Put24(image, c & 255, c >> 8, c * 0x9E3779u >> 8);
    Put24(image, 0, 0, 0x808080);
    Put24(image, 1, 0, 0x818181);
    EXPECT_EQ(image.ConvertTo1Bit(), 0u);
    EXPECT_FALSE(Bit(image, 0, 0));
    EXPECT_TRUE(Bit(image, 1, 0));
    for (uint32_t c = 2; c < 256 * 64; ++c) {
        ASSERT_EQ(Bit(image, c & 255, c >> 8), gw::GreyLevel(c * 0x9E3779u >> 8) > 128) << c;
    }
}
