// Conversions between the three pixel formats.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "TestImages.h"
#include "image/Grey.h"

using namespace convtest;

namespace {

// Marks an image so that a conversion can be seen to reset its tags and keep
// its resolution.
void Mark(DVImageProcessor& image) {
    image.SetTag0(5);
    image.SetTag1(9);
    image.ImageFlag() = 0;
    image.SetResolution(300.0f, 150.0f);
}

void ExpectConverted(DVImageProcessor& image, int32_t format, uint32_t width, uint32_t height) {
    EXPECT_EQ(image.GetPixelFormat(), format);
    EXPECT_EQ(image.GetWidth(), width);
    EXPECT_EQ(image.GetHeight(), height);
    EXPECT_EQ(image.GetTag0(), 0u);
    EXPECT_EQ(image.GetTag1(), 1u);
    EXPECT_EQ(image.ImageFlag(), 1);
    EXPECT_EQ(image.GetHorizontalResolution(), 300.0f);
    EXPECT_EQ(image.GetVerticalResolution(), 150.0f);
    EXPECT_EQ(image.GetLastError(), 0u);
}

}  // namespace

TEST(ConvertToGrey, From24BitStoresTheLowByteOfTheGreyLevel) {
    DVImageProcessor image;
    Make(image, 5, 2, k24Bit);
    Put24(image, 0, 0, 7, 7, 7);
    Put24(image, 1, 0, 255, 255, 255);
    Put24(image, 2, 0, 129, 129, 129);
    Put24(image, 3, 0, 200, 100, 0);
    Put24(image, 4, 1, 0, 0, 255);
    Mark(image);
    DVImageProcessor wide;
    Make(wide, 5, 2, k24Bit);
    Put24(wide, 3, 0, 200, 100, 0);
    Put24(wide, 1, 0, 255, 255, 255);

    EXPECT_EQ(image.ConvertToGrey(0.3f, 0.59f, 0.11f), 0u);
    ExpectConverted(image, k8Bit, 5, 2);
    EXPECT_EQ(Row(image, 0)[0], 6);  // single-precision rounding gives 6, not 7
    EXPECT_EQ(Row(image, 0)[1], 255);
    EXPECT_EQ(Row(image, 0)[2], 129);
    EXPECT_EQ(Row(image, 1)[4], 28);  // floor(255 * 0.11)
    for (uint32_t y = 0; y < 2; ++y) {
        for (uint32_t x = 5; x < 8; ++x) EXPECT_EQ(Row(image, y)[x], 0) << "padding written";
    }
    uint32_t flags = 0;
    const std::vector<uint32_t> palette = Palette(image, &flags);
    EXPECT_EQ(flags, dv::PaletteFlagsGrayScale);
    ASSERT_EQ(palette.size(), 256u);
    EXPECT_EQ(palette[128], 0xFF808080u);

    // Weights that sum above 1 wrap instead of saturating.
    EXPECT_EQ(wide.ConvertToGrey(1.0f, 1.0f, 1.0f), 0u);
    EXPECT_EQ(Row(wide, 0)[3], 300 - 256);
    EXPECT_EQ(Row(wide, 0)[1], uint8_t(765));
}

TEST(ConvertToGrey, MatchesTheGreyLevelOfEveryColour) {
    DVImageProcessor image;
    Make(image, 4096, 4096, k24Bit);
    for (uint32_t c = 0; c < (1u << 24); ++c) {
        Put24(image, c & 4095, c >> 12, uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c));
    }
    ASSERT_EQ(image.ConvertToGrey(gw::kWeightRed, gw::kWeightGreen, gw::kWeightBlue), 0u);
    for (uint32_t c = 0; c < (1u << 24); ++c) {
        const uint8_t expected = uint8_t(gw::GreyLevel(c));
        if (Row(image, c >> 12)[c & 4095] != expected) {
            FAIL() << "colour " << std::hex << c;
        }
    }

    // Caller weights, including a negative one where floor and truncation differ.
    const float weights[][3] = {{0.2126f, 0.7152f, 0.0722f}, {-1.37f, 0.3f, 0.5f}};
    for (const auto& w : weights) {
        DVImageProcessor part;
        Make(part, 256, 256, k24Bit);
        for (uint32_t y = 0; y < 256; ++y) {
            for (uint32_t x = 0; x < 256; ++x)
                Put24(part, x, y, uint8_t(y), uint8_t(x), uint8_t(x ^ y));
        }
        ASSERT_EQ(part.ConvertToGrey(w[0], w[1], w[2]), 0u);
        for (uint32_t y = 0; y < 256; ++y) {
            for (uint32_t x = 0; x < 256; ++x) {
                const int32_t g =
                    gw::GreyLevelWeighted(uint8_t(y), uint8_t(x), uint8_t(x ^ y), w[0], w[1], w[2]);
                ASSERT_EQ(Row(part, y)[x], uint8_t(g)) << x << "," << y;
            }
        }
    }
}

TEST(ConvertToGrey, WeightsWithoutAnIntegerResultStoreZero) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float w : {nan, 1e30f, -1e30f}) {
        DVImageProcessor image;
        Make(image, 2, 1, k24Bit);
        Put24(image, 0, 0, 10, 20, 30);
        Put24(image, 1, 0, 0, 255, 255);
        EXPECT_EQ(image.ConvertToGrey(w, 0.5f, 0.5f), 0u);
        EXPECT_EQ(Row(image, 0)[0], 0);
        EXPECT_EQ(Row(image, 0)[1], std::isnan(w) ? 0 : 255);  // 0 * w is 0 unless w is NaN
    }
}

TEST(ConvertToGrey, From1BitGivesOnlyBlackAndWhite) {
    DVImageProcessor image;
    Make(image, 13, 3, k1Bit);
    const uint32_t swapped[2] = {0xFFFFFFFFu, 0xFF000000u};  // not consulted
    ASSERT_EQ(image.SetPalette(swapped, 2), 0u);
    for (uint32_t y = 0; y < 3; ++y) {
        for (uint32_t x = 0; x < 13; ++x) PutBit(image, x, y, (x * 7 + y) % 3 == 0);
    }
    Row(image, 0)[1] |= 0x07;  // bits past the width
    Mark(image);

    EXPECT_EQ(image.ConvertToGrey(0.3f, 0.59f, 0.11f), 0u);
    ExpectConverted(image, k8Bit, 13, 3);
    for (uint32_t y = 0; y < 3; ++y) {
        for (uint32_t x = 0; x < 16; ++x) {
            const uint8_t expected = x < 13 && (x * 7 + y) % 3 == 0 ? 255 : 0;
            EXPECT_EQ(Row(image, y)[x], expected) << x << "," << y;
        }
    }
}

TEST(ConvertTo1Bit, PixelsAbove128BecomeWhite) {
    DVImageProcessor image;
    Make(image, 11, 2, k8Bit);
    const std::vector<uint32_t> colours = ColourRamp();  // not consulted
    ASSERT_EQ(image.SetPalette(colours.data(), 256), 0u);
    const uint8_t values[11] = {128, 129, 0, 255, 127, 200, 130, 1, 128, 129, 250};
    for (uint32_t x = 0; x < 11; ++x) Row(image, 1)[x] = values[x];
    Mark(image);

    EXPECT_EQ(image.ConvertTo1Bit(), 0u);
    ExpectConverted(image, k1Bit, 11, 2);
    EXPECT_EQ(Row(image, 0)[0], 0);
    EXPECT_EQ(Row(image, 1)[0], 0b01010110);
    EXPECT_EQ(Row(image, 1)[1], 0b01100000);  // pixels 8 to 10; bits past the width stay 0
    EXPECT_EQ(Palette(image), (std::vector<uint32_t>{0xFF000000u, 0xFFFFFFFFu}));
}

TEST(ConvertTo1Bit, From24BitUsesTheGreyLevel) {
    DVImageProcessor image;
    Make(image, 256, 64, k24Bit);
    for (uint32_t y = 0; y < 64; ++y) {
        for (uint32_t x = 0; x < 256; ++x)
            Put24(image, x, y, uint8_t(x), uint8_t(y * 4 + 2), uint8_t(255 - x));
    }
    Put24(image, 0, 0, 128, 128, 128);
    Put24(image, 1, 0, 129, 129, 129);
    EXPECT_EQ(image.ConvertTo1Bit(), 0u);
    EXPECT_FALSE(Bit(image, 0, 0));
    EXPECT_TRUE(Bit(image, 1, 0));
    for (uint32_t y = 0; y < 64; ++y) {
        for (uint32_t x = (y == 0 ? 2 : 0); x < 256; ++x) {
            const uint32_t colour = (x << 16) | ((y * 4 + 2) << 8) | (255 - x);
            ASSERT_EQ(Bit(image, x, y), gw::GreyLevel(colour) > 128) << x << "," << y;
        }
    }
}

TEST(ConvertTo24Bit, PixelValuesBecomeGreyLevels) {
    DVImageProcessor image;
    Make(image, 3, 1, k8Bit);
    const std::vector<uint32_t> colours = ColourRamp();  // not consulted
    ASSERT_EQ(image.SetPalette(colours.data(), 256), 0u);
    Row(image, 0)[0] = 0;
    Row(image, 0)[1] = 77;
    Row(image, 0)[2] = 255;
    Mark(image);
    EXPECT_EQ(image.ConvertTo24Bit(), 0u);
    ExpectConverted(image, k24Bit, 3, 1);
    const uint8_t expected[12] = {0, 0, 0, 77, 77, 77, 255, 255, 255, 0, 0, 0};
    EXPECT_EQ(AllBytes(image), std::vector<uint8_t>(expected, expected + 12));

    Make(image, 10, 1, k1Bit);
    const uint32_t swapped[2] = {0xFFFFFFFFu, 0xFF000000u};
    ASSERT_EQ(image.SetPalette(swapped, 2), 0u);
    Row(image, 0)[0] = 0x81;
    Row(image, 0)[1] = 0x40;
    EXPECT_EQ(image.ConvertTo24Bit(), 0u);
    EXPECT_EQ(image.GetPixelFormat(), k24Bit);
    for (uint32_t x = 0; x < 10; ++x) {
        const uint8_t v = (x == 0 || x == 7 || x == 9) ? 255 : 0;
        for (uint32_t c = 0; c < 3; ++c) EXPECT_EQ(Row(image, 0)[3 * x + c], v) << x;
    }
}

TEST(Conversions, FormatsThatDoNotApplyAreLeftAlone) {
    DVImageProcessor image;
    EXPECT_EQ(image.ConvertToGrey(0.3f, 0.59f, 0.11f), 1u);
    EXPECT_EQ(image.GetLastError(), 1u);
    EXPECT_EQ(image.ConvertTo24Bit(), 1u);
    EXPECT_EQ(image.GetLastError(), 1u);
    EXPECT_EQ(image.ConvertTo1Bit(), 1u);
    EXPECT_EQ(image.GetLastError(), 1u);

    const struct {
        int32_t format;
        uint32_t (DVImageProcessor::*convert)();
    } cases[] = {{k24Bit, &DVImageProcessor::ConvertTo24Bit},
                 {k1Bit, &DVImageProcessor::ConvertTo1Bit}};
    for (const auto& c : cases) {
        Make(image, 4, 4, c.format);
        const dv::Bitmap* bitmap = image.GetBitmap();
        image.SetTag0(5);
        EXPECT_EQ((image.*c.convert)(), 0u);
        EXPECT_EQ(image.GetBitmap(), bitmap);
        EXPECT_EQ(image.GetTag0(), 5u);
    }
    Make(image, 4, 4, k8Bit);  // the plain ramp needs no normalising
    const dv::Bitmap* bitmap = image.GetBitmap();
    Row(image, 0)[0] = 3;
    image.SetTag0(5);
    EXPECT_EQ(image.ConvertToGrey(1.0f, 1.0f, 1.0f), 0u);
    EXPECT_EQ(image.GetBitmap(), bitmap);
    EXPECT_EQ(image.GetTag0(), 5u);
    EXPECT_EQ(Row(image, 0)[0], 3);
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
        EXPECT_EQ(image.ConvertTo1Bit(), 0u);  // the object's own bitmap now
        EXPECT_EQ(image.GetPixelFormat(), k1Bit);
    }
    EXPECT_EQ(own->GetPixelFormat(), k24Bit);
    EXPECT_EQ(own->Pixels()[3 * 5 + 2], 200);
    delete own;
}
