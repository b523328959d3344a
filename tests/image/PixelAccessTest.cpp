// Byte, row, pixel and whole-image access; copying, combining, clearing, rotating.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "DVImageProcessor.h"

using namespace dv;

namespace {

// An 8-bit image whose byte at (x, y) is (x + 3 * y) mod 251.
void MakeGradient(DVImageProcessor& img, uint32_t w, uint32_t h) {
    ASSERT_EQ(img.Create(w, h, PixelFormat8bppIndexed), 0u);
    std::vector<uint8_t> row(w);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) row[x] = uint8_t((x + 3 * y) % 251);
        ASSERT_EQ(img.SetBytes(y, 0, row.data(), w), 0u);
    }
}

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

TEST(PixelAccess, WholeImageBitsAndRows) {
    DVImageProcessor img;
    MakeGradient(img, 7, 3);  // stride 8, one padding byte a row
    std::vector<uint8_t> buf(3 * 8, 0xAA);
    ASSERT_EQ(img.GetBits(buf.data(), 0), 0u);
    EXPECT_EQ(buf[8 + 2], (2 + 3) % 251);
    EXPECT_EQ(img.GetBits(buf.data(), 6), 1u);  // below the width
    EXPECT_EQ(img.GetLastError(), 10u);
    EXPECT_EQ(img.GetBits(nullptr, 0), 1u);
    EXPECT_EQ(img.GetLastError(), 10u);

    // Packed rows out and in, then row pointers.
    std::vector<uint8_t> packed(7 * 3);
    ASSERT_EQ(img.GetPackedRows(packed.data()), 0u);
    EXPECT_EQ(packed[7 * 2 + 1], (1 + 6) % 251);
    EXPECT_EQ(img.GetPackedRows(nullptr), 1u);
    EXPECT_EQ(img.GetLastError(), 4u);
    for (auto& p : packed) p = uint8_t(255 - p);
    ASSERT_EQ(img.SetPackedRows(packed.data()), 0u);
    EXPECT_EQ(ByteAt(img, 1, 2), 255 - 7);
    EXPECT_EQ(img.SetPackedRows(nullptr), 2u);
    std::vector<uint8_t> r0(7), r1(7), r2(7);
    uint8_t* rows[3] = {r0.data(), r1.data(), r2.data()};
    ASSERT_EQ(img.GetRows(rows), 0u);
    EXPECT_EQ(r2[1], 255 - 7);
    EXPECT_EQ(img.SetRows(nullptr), 2u);
    EXPECT_EQ(img.GetRows(nullptr), 1u);
    EXPECT_EQ(img.GetLastError(), 4u);

    // SetBits: a 24-bit image 5 wide reads 15-byte rows and keeps stride 16.
    ASSERT_EQ(img.Create(5, 2, PixelFormat24bppRGB), 0u);
    std::vector<uint8_t> data(30);
    for (int i = 0; i < 30; ++i) data[i] = uint8_t(i + 1);
    ASSERT_EQ(img.SetBits(data.data(), 0), 0u);
    EXPECT_EQ(img.GetStride(), 16u);
    uint8_t b = 0;
    ASSERT_EQ(img.GetBytes(1, 0, &b, 1), 0u);
    EXPECT_EQ(b, 16);
    EXPECT_EQ(img.SetBits(nullptr, 0), 2u);

    // 1-bit: rows of (width + 7) / 8 bytes; stride 0 stands for the aligned row.
    ASSERT_EQ(img.Create(12, 2, PixelFormat1bppIndexed), 0u);
    const uint8_t bits[4] = {0xF0, 0x30, 0x0F, 0xC0};
    ASSERT_EQ(img.SetBits(bits, 0), 0u);
    EXPECT_EQ(img.GetStride(), 4u);
    uint8_t packedBits[4] = {};
    ASSERT_EQ(img.GetPackedRows(packedBits), 0u);
    EXPECT_EQ(std::memcmp(packedBits, bits, 4), 0);

    ASSERT_EQ(img.Clear(), 0u);
    ASSERT_EQ(img.GetPackedRows(packedBits), 0u);
    EXPECT_EQ(packedBits[0] | packedBits[1] | packedBits[2] | packedBits[3], 0);
}

TEST(PixelAccess, CopyToModes) {
    DVImageProcessor src, dst;
    MakeGradient(src, 60, 80);
    src.SetResolution(300.0f, 150.0f);
    src.SetTag0(11);
    src.SetTag1(12);
    src.ImageFlag() = 13;

    // Mode 1: the rectangle's pixels and the palette only.
    const Rect r{10, 20, 30, 40};
    ASSERT_EQ(src.CopyTo(&dst, 1, &r), 0u);
    ASSERT_EQ(dst.GetWidth(), 30u);
    ASSERT_EQ(dst.GetHeight(), 40u);
    EXPECT_EQ(dst.GetPixelFormat(), PixelFormat8bppIndexed);
    for (uint32_t y = 0; y < 40; y += 13) {
        for (uint32_t x = 0; x < 30; x += 7)
            ASSERT_EQ(ByteAt(dst, x, y), ByteAt(src, x + 10, y + 20));
    }
    EXPECT_EQ(dst.GetHorizontalResolution(), 96.0f);
    EXPECT_EQ(dst.GetTag0(), 0u);
    EXPECT_EQ(dst.GetTag1(), 1u);
    EXPECT_EQ(dst.ImageFlag(), 1);

    // Mode 0: also the resolution and the tags.
    ASSERT_EQ(src.CopyTo(&dst, 0, &r), 0u);
    EXPECT_EQ(dst.GetHorizontalResolution(), 300.0f);
    EXPECT_EQ(dst.GetVerticalResolution(), 150.0f);
    EXPECT_EQ(dst.GetTag0(), 11u);
    EXPECT_EQ(dst.GetTag1(), 12u);
    EXPECT_EQ(dst.ImageFlag(), 13);

    // The palette travels with the pixels.
    std::vector<uint32_t> entries(256);
    for (uint32_t i = 0; i < 256; ++i) entries[i] = 0xFF000000u | (i << 16);
    std::vector<uint8_t> pal(PaletteBytes(256));
    auto* p = reinterpret_cast<ColorPalette*>(pal.data());
    p->Flags = 0;
    p->Count = 256;
    std::memcpy(p->Entries, entries.data(), 1024);
    ASSERT_EQ(src.GetBitmap()->SetPalette(p), Ok);
    ASSERT_EQ(src.CopyTo(&dst, 1, nullptr), 0u);
    uint32_t c = 0;
    ASSERT_EQ(dst.GetPixel(5, 0, &c), 0u);
    EXPECT_EQ(c, 0xFF050000u);

    // A rectangle outside the source: the destination is new and blank, 11.
    const Rect outside{50, 0, 30, 10};
    EXPECT_EQ(src.CopyTo(&dst, 1, &outside), 1u);
    EXPECT_EQ(src.GetLastError(), 11u);
    EXPECT_EQ(dst.GetWidth(), 30u);

    // Mode 2: both show the same bitmap.
    ASSERT_EQ(src.CopyTo(&dst, 2, nullptr), 0u);
    EXPECT_EQ(dst.GetBitmap(), src.GetBitmap());
    EXPECT_EQ(dst.GetTag0(), 11u);
    dst.Destroy();
    EXPECT_EQ(ByteAt(src, 1, 1), 4);  // the source's bitmap survives

    // From an empty object, mode 0: result 0, tags and a zero resolution.
    DVImageProcessor empty, target;
    ASSERT_EQ(target.Create(4, 4, PixelFormat8bppIndexed), 0u);
    empty.SetTag0(77);
    EXPECT_EQ(empty.CopyTo(&target, 0, nullptr), 0u);
    EXPECT_EQ(target.GetTag0(), 77u);
    EXPECT_EQ(target.GetHorizontalResolution(), 0.0f);
    EXPECT_EQ(target.GetWidth(), 4u);
    EXPECT_EQ(empty.CopyTo(nullptr, 0, nullptr), 2u);

    // 1-bit copies from a column that is not on a byte boundary.
    DVImageProcessor bits, part;
    ASSERT_EQ(bits.Create(20, 1, PixelFormat1bppIndexed), 0u);
    const uint8_t row[3] = {0x0F, 0xF0, 0x00};  // pixels 4..11 set
    ASSERT_EQ(bits.SetBytes(0, 0, row, 3), 0u);
    const Rect shifted{3, 0, 10, 1};
    ASSERT_EQ(bits.CopyTo(&part, 1, &shifted), 0u);
    EXPECT_EQ(ByteAt(part, 0, 0), 0x7F);  // pixels 1..8 of the copy
    EXPECT_EQ(ByteAt(part, 1, 0) & 0xC0, 0x80);
}

TEST(PixelAccess, CombineOperatorsModesAndFormats) {
    DVImageProcessor img, other;
    ASSERT_EQ(img.Create(4, 2, PixelFormat8bppIndexed), 0u);
    ASSERT_EQ(other.Create(4, 2, PixelFormat8bppIndexed), 0u);
    const uint8_t a[4] = {200, 0xF0, 7, 9};
    const uint8_t b[4] = {100, 0x3C, 7, 9};
    ASSERT_EQ(other.SetBytes(0, 0, a, 4), 0u);
    ASSERT_EQ(img.SetBytes(0, 0, b, 4), 0u);
    const Position origin{0, 0};
    const Size size{2, 1};
    ASSERT_EQ(img.Combine(other.GetBitmap(), &origin, &origin, &size, 2, 0, 0), 0u);
    EXPECT_EQ(ByteAt(img, 0, 0), 255);   // 200 + 100 saturates
    EXPECT_EQ(ByteAt(img, 1, 0), 0xFF);  // 0xF0 + 0x3C = 300
    EXPECT_EQ(ByteAt(img, 2, 0), 7);     // outside the rectangle
    ASSERT_EQ(img.SetBytes(0, 0, b, 4), 0u);
    ASSERT_EQ(img.Combine(other.GetBitmap(), &origin, &origin, &size, 0, 0, 0), 0u);
    EXPECT_EQ(ByteAt(img, 1, 0), 0x30);
    ASSERT_EQ(img.Combine(other.GetBitmap(), &origin, &origin, &size, 1, 0, 0), 0u);
    EXPECT_EQ(ByteAt(img, 1, 0), 0xF0);
    // AND with destination mode 1 clears; destination mode 2 pastes the source.
    const Position at{2, 1};
    ASSERT_EQ(img.Combine(other.GetBitmap(), &origin, &at, &size, 0, 0, 1), 0u);
    EXPECT_EQ(ByteAt(img, 2, 1), 0);
    ASSERT_EQ(img.Combine(other.GetBitmap(), &origin, &at, &size, 0, 0, 2), 0u);
    EXPECT_EQ(ByteAt(img, 2, 1), 200);
    EXPECT_EQ(ByteAt(img, 3, 1), 0xF0);
    ASSERT_EQ(img.Combine(other.GetBitmap(), &origin, &at, &size, 9, 0, 0), 0u);
    EXPECT_EQ(ByteAt(img, 3, 1), 0);  // an unknown operator writes 0

    // Mixed formats are refused and change nothing.
    DVImageProcessor colour;
    ASSERT_EQ(colour.Create(4, 2, PixelFormat24bppRGB), 0u);
    ASSERT_EQ(img.SetBytes(0, 0, b, 4), 0u);
    EXPECT_EQ(img.Combine(colour.GetBitmap(), &origin, &origin, &size, 1, 2, 2), 1u);
    EXPECT_EQ(img.GetLastError(), 2u);
    EXPECT_EQ(ByteAt(img, 0, 0), 100);
    EXPECT_EQ(img.Combine(nullptr, &origin, &origin, &size, 0, 0, 0), 2u);

    // 1-bit: only the rectangle's bits change, not its neighbours in the byte.
    DVImageProcessor bits, blank;
    ASSERT_EQ(bits.Create(16, 1, PixelFormat1bppIndexed), 0u);
    ASSERT_EQ(blank.Create(16, 1, PixelFormat1bppIndexed), 0u);
    const uint8_t ones[2] = {0xFF, 0xFF};
    ASSERT_EQ(bits.SetBytes(0, 0, ones, 2), 0u);
    const Size three{3, 1};
    const Position col8{8, 0};
    ASSERT_EQ(bits.Combine(blank.GetBitmap(), &origin, &col8, &three, 0, 0, 1), 0u);
    EXPECT_EQ(ByteAt(bits, 0, 0), 0xFF);
    EXPECT_EQ(ByteAt(bits, 1, 0), 0x1F);
    const Position col2{2, 0};
    ASSERT_EQ(bits.Combine(blank.GetBitmap(), &origin, &col2, &three, 0, 0, 1), 0u);
    EXPECT_EQ(ByteAt(bits, 0, 0), 0xC7);
}

TEST(PixelAccess, RotateFlipUpdatesSizeAndKeepsTags) {
    DVImageProcessor img;
    MakeGradient(img, 100, 50);
    img.SetTag0(3);
    const uint8_t corner = ByteAt(img, 0, 49);
    ASSERT_EQ(img.RotateFlip(1), 0u);
    EXPECT_EQ(img.GetWidth(), 50u);
    EXPECT_EQ(img.GetHeight(), 100u);
    EXPECT_EQ(img.GetStride(), 52u);
    EXPECT_EQ(img.GetTag0(), 3u);
    EXPECT_EQ(ByteAt(img, 0, 0), corner);  // bottom-left turns to top-left
    EXPECT_EQ(img.RotateFlip(9), uint32_t(InvalidParameter));
    EXPECT_EQ(img.GetWidth(), 50u);
}
