// The image object's lifecycle, queries, grey level and pixel-operation mechanism.
#include <gtest/gtest.h>

#include "DVImageProcessor.h"
#include "image/Grey.h"

using namespace dv;

TEST(ImageObject, CreateSetsStrideFormatAndRefusesUnsupportedFormats) {
    DVImageProcessor img;
    ASSERT_EQ(img.Create(101, 10, PixelFormat8bppIndexed), 0u);
    EXPECT_EQ(img.GetStride(), 104u);
    ASSERT_EQ(img.Create(33, 1, PixelFormat1bppIndexed), 0u);
    EXPECT_EQ(img.GetStride(), 8u);
    EXPECT_EQ(img.GetBitsPerPixel(), 1u);
    EXPECT_EQ(img.ImageFlag(), 1);
    EXPECT_EQ(img.GetHorizontalResolution(), 96.0f);

    // An unsupported format keeps the previous image.
    Bitmap* before = img.GetBitmap();
    EXPECT_EQ(img.Create(10, 10, PixelFormat32bppARGB), 1u);
    EXPECT_EQ(img.GetLastError(), 2u);
    EXPECT_EQ(img.GetBitmap(), before);
    EXPECT_EQ(img.GetWidth(), 33u);

    // A size the store refuses passes its status on and leaves no image.
    EXPECT_EQ(img.Create(0, 5, PixelFormat8bppIndexed), uint32_t(InvalidParameter));
    EXPECT_EQ(img.GetLastError(), 0u);
    EXPECT_EQ(img.GetBitmap(), nullptr);
    EXPECT_EQ(img.GetWidth(), 0u);

    img.SetTag0(5);
    img.SetTag1(6);
    img.ImageFlag() = 9;
    ASSERT_EQ(img.Create(4, 4, PixelFormat8bppIndexed), 0u);
    EXPECT_EQ(img.GetTag0(), 0u);
    EXPECT_EQ(img.GetTag1(), 1u);
    EXPECT_EQ(img.ImageFlag(), 1);
}

TEST(ImageObject, GreyLevelRoundsInSinglePrecision) {
    EXPECT_EQ(gw::GreyLevel(0xFF070707), 6u);
    int lower = 0;
    for (uint32_t v = 0; v < 256; ++v) {
        const uint32_t g = gw::GreyLevel(0xFF000000u | (v << 16) | (v << 8) | v);
        ASSERT_TRUE(g == v || g + 1 == v) << v;
        lower += g + 1 == v;
    }
    EXPECT_EQ(lower, 48);
    for (uint32_t v : {0u, 1u, 10u, 100u, 128u, 129u, 255u}) {
        EXPECT_EQ(gw::GreyLevel(0xFF000000u | (v << 16) | (v << 8) | v), v);
    }
    // Caller weights keep the order and may exceed a byte.
    EXPECT_EQ(gw::GreyLevelWeighted(200, 100, 0, 1.0f, 1.0f, 1.0f), 300);
}
