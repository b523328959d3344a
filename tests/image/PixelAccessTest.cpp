// Byte, row, pixel and whole-image access; copying, combining, clearing, rotating.
#include <gtest/gtest.h>

#include <vector>

#include "DVImageProcessor.h"

using namespace dv;

namespace {

uint8_t ByteAt(DVImageProcessor& img, uint32_t x, uint32_t y) {
    uint8_t b = 0;
    EXPECT_EQ(img.GetBytes(y, x, &b, 1), 0u);
    return b;
}

}  // namespace

TEST(PixelAccess, ByteRangesChecksAndColumnRules) {
    DVImageProcessor img;
    ASSERT_EQ(img.Create(10, 4, PixelFormat24bppRGB), 0u);
    std::vector<uint8_t> row(30);
    for (int i = 0; i < 30; ++i) row[i] = uint8_t(i);
    ASSERT_EQ(img.SetBytes(1, 0, row.data(), 30), 0u);
    uint8_t out[3] = {};
    ASSERT_EQ(img.GetBytes(1, 5, out, 3), 0u);  // column 5 of a 24-bit row is byte 15
    EXPECT_EQ(out[0], 15);
    EXPECT_EQ(out[2], 17);

    EXPECT_EQ(img.GetBytes(4, 0, out, 1), 1u);  // row == height
    EXPECT_EQ(img.GetLastError(), 13u);
    EXPECT_EQ(img.GetBytes(0, 10, out, 1), 1u);
    EXPECT_EQ(img.GetLastError(), 13u);
    EXPECT_EQ(img.GetBytes(0, 0, nullptr, 1), 2u);
    EXPECT_EQ(img.GetLastError(), 0u);
    EXPECT_EQ(img.SetBytes(0, 0, nullptr, 1), 2u);

    // A count past the end of the pixels is cut there, not read past it.
    std::vector<uint8_t> big(1000, 0xEE);
    ASSERT_EQ(img.GetBytes(3, 9, big.data(), 1000), 0u);
    EXPECT_EQ(big[5], 0xEE);  // 32 - 27 = 5 bytes were left from byte 27 of row 3
    ASSERT_EQ(img.SetBytes(3, 9, big.data(), 1000), 0u);

    // 1-bit: the column is a byte offset; pixel 9 of row 0 is bit 6 of byte 1.
    ASSERT_EQ(img.Create(16, 2, PixelFormat1bppIndexed), 0u);
    const uint8_t bytes[2] = {0x00, 0x40};
    ASSERT_EQ(img.SetBytes(0, 0, bytes, 2), 0u);
    uint32_t colour = 0;
    ASSERT_EQ(img.GetPixel(9, 0, &colour), 0u);
    EXPECT_EQ(colour, 0xFFFFFFFFu);
    ASSERT_EQ(img.GetPixel(8, 0, &colour), 0u);
    EXPECT_EQ(colour, 0xFF000000u);
}

TEST(PixelAccess, PixelsAsColours) {
    DVImageProcessor img;
    ASSERT_EQ(img.Create(4, 4, PixelFormat8bppIndexed), 0u);
    const uint32_t grey128 = 0xFF808080u, grey129 = 0xFF818181u;
    ASSERT_EQ(img.SetPixel(2, 3, &grey128), 0u);
    EXPECT_EQ(ByteAt(img, 2, 3), 128);
    uint32_t c = 0;
    ASSERT_EQ(img.GetPixel(2, 3, &c), 0u);
    EXPECT_EQ(c, grey128);
    EXPECT_EQ(img.GetPixel(4, 0, &c), 1u);
    EXPECT_EQ(img.GetLastError(), 13u);
    EXPECT_EQ(img.SetPixel(0, 4, &c), 1u);
    EXPECT_EQ(img.GetLastError(), 13u);
    EXPECT_EQ(img.GetPixel(0, 0, nullptr), 2u);
    EXPECT_EQ(img.SetPixel(0, 0, nullptr), 2u);

    // 1-bit: grey 128 is not above 128, 129 is.
    ASSERT_EQ(img.Create(8, 1, PixelFormat1bppIndexed), 0u);
    const uint8_t ones = 0xFF;
    ASSERT_EQ(img.SetBytes(0, 0, &ones, 1), 0u);
    ASSERT_EQ(img.SetPixel(3, 0, &grey128), 0u);
    EXPECT_EQ(ByteAt(img, 0, 0), 0xEF);
    ASSERT_EQ(img.SetPixel(3, 0, &grey129), 0u);
    EXPECT_EQ(ByteAt(img, 0, 0), 0xFF);

    // 24-bit stores the channels and ignores alpha.
    ASSERT_EQ(img.Create(2, 1, PixelFormat24bppRGB), 0u);
    const uint32_t colour = 0x10203040u;
    ASSERT_EQ(img.SetPixel(1, 0, &colour), 0u);
    ASSERT_EQ(img.GetPixel(1, 0, &c), 0u);
    EXPECT_EQ(c, 0xFF203040u);
}
