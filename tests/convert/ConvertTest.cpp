// Conversions between the three pixel formats.
#include <gtest/gtest.h>

#include <array>
#include <limits>

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

TEST(ConvertToGrey, MatchesTheGreyLevelOfEveryColour) {
    DVImageProcessor image;
    Make(image, 4096, 4096, k24Bit);
    for (uint32_t c = 0; c < (1u << 24); ++c) Put24(image, c & 4095, c >> 12, c);
    ASSERT_EQ(image.ConvertToGrey(gw::kWeightRed, gw::kWeightGreen, gw::kWeightBlue), 0u);
    for (uint32_t c = 0; c < (1u << 24); ++c) {
        if (Row(image, c >> 12)[c & 4095] != uint8_t(gw::GreyLevel(c))) FAIL() << std::hex << c;
    }

    // Caller weights: with a negative one floor and truncation differ; large
    // ones give sums of many bits, of which the low byte is kept.
    const std::array<float, 3> weights[] = {{0.2126f, 0.7152f, 0.0722f},
                                            {-1.37f, 0.3f, 0.5f},
                                            {3000.5f, 0.25f, 1.0f},
                                            {2e6f, 1.5f, 0.1f}};
    for (const auto& w : weights) {
        Make(image, 256, 256, k24Bit);
        for (uint32_t c = 0; c < 65536; ++c) Put24(image, c & 255, c >> 8, c * 0x9E3779u >> 8);
        ASSERT_EQ(image.ConvertToGrey(w[0], w[1], w[2]), 0u);
        for (uint32_t c = 0; c < 65536; ++c) {
            const uint32_t rgb = c * 0x9E3779u >> 8;
            const int32_t g = gw::GreyLevelWeighted(uint8_t(rgb >> 16), uint8_t(rgb >> 8),
                                                    uint8_t(rgb), w[0], w[1], w[2]);
            ASSERT_EQ(Row(image, c >> 8)[c & 255], uint8_t(g)) << std::hex << rgb;
        }
    }

    // Sums without an integer value (NaN, beyond 32 bits) store 0.
    for (float w : {std::numeric_limits<float>::quiet_NaN(), 1e30f, -1e30f}) {
        Make(image, 2, 1, k24Bit);
        Put24(image, 0, 0, 0x0A141E);
        Put24(image, 1, 0, 0x00FFFF);
        EXPECT_EQ(image.ConvertToGrey(w, 0.5f, 0.5f), 0u);
        EXPECT_EQ(Row(image, 0)[0], 0);
        EXPECT_EQ(Row(image, 0)[1], w == w ? 255 : 0);  // 0 * w is 0 unless w is NaN
    }
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

TEST(ConvertTo24Bit, PixelValuesBecomeGreyLevels) {
    DVImageProcessor image;
    Make(image, 3, 1, k8Bit);
    const Entries colours = Ramp(true, false);  // not consulted
    ASSERT_EQ(image.SetPalette(colours.data(), 256), 0u);
    Row(image, 0)[1] = 77;
    Row(image, 0)[2] = 255;
    Mark(image);
    EXPECT_EQ(image.ConvertTo24Bit(), 0u);
    Converted(image, k24Bit, 3, 1);
    EXPECT_EQ(AllBytes(image), (Bytes{0, 0, 0, 77, 77, 77, 255, 255, 255, 0, 0, 0}));

    Make(image, 4, 1, k1Bit);
    ASSERT_EQ(image.SetPalette(kWhiteBlack.data(), 2), 0u);
    Row(image, 0)[0] = 0x9F;
    EXPECT_EQ(image.ConvertTo24Bit(), 0u);
    EXPECT_EQ(AllBytes(image), (Bytes{255, 255, 255, 0, 0, 0, 0, 0, 0, 255, 255, 255}));
}

TEST(Conversions, FormatsThatDoNotApplyAreLeftAlone) {
    DVImageProcessor image;
    using Convert = uint32_t (*)(DVImageProcessor&);
    const std::pair<int32_t, Convert> cases[] = {
        {k8Bit, [](DVImageProcessor& i) { return i.ConvertToGrey(1.0f, 1.0f, 1.0f); }},
        {k24Bit, [](DVImageProcessor& i) { return i.ConvertTo24Bit(); }},
        {k1Bit, [](DVImageProcessor& i) { return i.ConvertTo1Bit(); }},
    };
    for (const auto& [format, convert] : cases) {
        image.Destroy();
        EXPECT_EQ(convert(image), 1u);
        EXPECT_EQ(image.GetLastError(), 1u);
        Make(image, 4, 4, format);
        Row(image, 0)[0] = 3;
        const Bytes before = AllBytes(image);
        const dv::Bitmap* bitmap = image.GetBitmap();
        image.SetTag0(5);
        EXPECT_EQ(convert(image), 0u);
        EXPECT_EQ(image.GetBitmap(), bitmap);
        EXPECT_EQ(image.GetTag0(), 5u);
        EXPECT_EQ(AllBytes(image), before);
    }
}

TEST(Conversions, AnAttachedBitmapIsReadButNotDeleted) {
    dv::Bitmap* own = dv::Bitmap::Create(6, 2, k24Bit);
    ASSERT_NE(own, nullptr);
    own->Pixels()[3 * 5 + 2] = 200;  // red of pixel (5, 0)
    {
        DVImageProcessor image;
        ASSERT_EQ(image.Attach(own, false), 0u);
        EXPECT_EQ(image.ConvertToGrey(0.5f, 0.0f, 0.0f), 0u);
        EXPECT_NE(image.GetBitmap(), own);
        EXPECT_EQ(Row(image, 0)[5], 100);
        EXPECT_EQ(image.ConvertTo1Bit(), 0u);  // now of its own bitmap, which it deletes
    }
    EXPECT_EQ(own->GetPixelFormat(), k24Bit);
    EXPECT_EQ(own->Pixels()[3 * 5 + 2], 200);
    delete own;
}
