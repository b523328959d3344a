// Damaged, truncated and hand-made files: every answer is a status, nothing
// is printed, nothing crashes.
#include <gtest/gtest.h>

#include <random>

#include "codecs/CodecTestSupport.h"
#include "support/AllocationProbe.h"

using namespace codectest;

namespace {

bool Acceptable(dv::Status s) {
    return s == dv::Ok || s == dv::GenericError || s == dv::UnknownImageFormat ||
           s == dv::OutOfMemory;
}

void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = uint8_t(x), v[at + 1] = uint8_t(x >> 8);
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    Put16(v, at, x & 0xFFFF), Put16(v, at + 2, x >> 16);
}

// A BMP with an info header of headerSize bytes, no palette unless given,
// and the given pixel bytes.
std::vector<uint8_t> Bmp(int32_t width, int32_t height, uint16_t bpp, uint32_t compression,
                         const std::vector<uint32_t>& palette, const std::vector<uint8_t>& pixels,
                         uint32_t headerSize = 40) {
    std::vector<uint8_t> f(14 + headerSize + 4 * palette.size());
    f[0] = 'B', f[1] = 'M';
    Put32(f, 10, uint32_t(f.size()));
    Put32(f, 14, headerSize);
    Put32(f, 18, uint32_t(width));
    Put32(f, 22, uint32_t(height));
    Put16(f, 26, 1);
    Put16(f, 28, bpp);
    Put32(f, 30, compression);
    Put32(f, 46, uint32_t(palette.size()));
    for (size_t i = 0; i < palette.size(); ++i) Put32(f, 14 + headerSize + 4 * i, palette[i]);
    f.insert(f.end(), pixels.begin(), pixels.end());
    Put32(f, 2, uint32_t(f.size()));
    return f;
}

}  // namespace

TEST(Corrupt, TruncatedAndDamagedFilesOfEveryFormat) {
    BitmapPtr colour = MakeImage(57, 41, dv::PixelFormat24bppRGB);
    BitmapPtr indexed = MakeImage(57, 41, dv::PixelFormat8bppIndexed);
    BitmapPtr bilevel = MakeImage(57, 41, dv::PixelFormat1bppIndexed);
    struct Input {
        const char* name;
        std::vector<uint8_t> file;
    };
    const Input inputs[] = {
        {"bmp24", Encode(colour.get(), dv::kEncoderBmp)},
        {"bmp8", Encode(indexed.get(), dv::kEncoderBmp)},
        {"bmp1", Encode(bilevel.get(), dv::kEncoderBmp)},
        {"jpeg", Encode(colour.get(), dv::kEncoderJpeg)},
        {"gif", Encode(indexed.get(), dv::kEncoderGif)},
        {"tiff", Encode(colour.get(), dv::kEncoderTiff)},
        {"tiff-fax", Encode(bilevel.get(), dv::kEncoderTiff)},
        {"png", Encode(colour.get(), dv::kEncoderPng)},
        {"png8", Encode(indexed.get(), dv::kEncoderPng)},
    };
    std::mt19937 random(12345);
    testing::internal::CaptureStderr();
    for (const Input& in : inputs) {
        SCOPED_TRACE(in.name);
        ASSERT_GT(in.file.size(), 100u);
        dv::Status status = dv::Ok;
        // Cut in half: the image data is missing, so the decoder must refuse.
        std::vector<uint8_t> half(in.file.begin(), in.file.begin() + in.file.size() / 2);
        EXPECT_FALSE(Decode(half, &status));
        EXPECT_EQ(status, dv::GenericError);
        // Every other cut, and bytes overwritten at random places.
        for (size_t cut = 0; cut < in.file.size(); cut += 1 + in.file.size() / 97) {
            std::vector<uint8_t> part(in.file.begin(), in.file.begin() + cut);
            BitmapPtr bm = Decode(part, &status);
            EXPECT_TRUE(Acceptable(status)) << cut;
            EXPECT_EQ(bool(bm), status == dv::Ok);
        }
        for (int round = 0; round < 150; ++round) {
            std::vector<uint8_t> damaged = in.file;
            const int hits = 1 + int(random() % 6);
            for (int h = 0; h < hits; ++h) {
                // Headers matter most: half of the hits land in the first 64 bytes.
                const size_t at = random() % 2 ? random() % 64 : random() % damaged.size();
                damaged[at] = uint8_t(random());
            }
            BitmapPtr bm = Decode(damaged, &status);
            EXPECT_TRUE(Acceptable(status)) << round;
            EXPECT_EQ(bool(bm), status == dv::Ok);
        }
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(Corrupt, RandomBytesBehindEverySignature) {
    const std::vector<std::vector<uint8_t>> heads = {
        {'B', 'M'},          {0xFF, 0xD8, 0xFF},  {'G', 'I', 'F', '8', '9', 'a'},
        {'I', 'I', 0x2A, 0}, {'M', 'M', 0, 0x2A}, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}};
    std::mt19937 random(777);
    testing::internal::CaptureStderr();
    for (const auto& head : heads) {
        for (int round = 0; round < 300; ++round) {
            std::vector<uint8_t> data = head;
            const size_t extra = random() % 200;
            for (size_t i = 0; i < extra; ++i)
                data.push_back(uint8_t(random() % 4 ? random() % 16 : random()));
            dv::Status status = dv::Ok;
            BitmapPtr bm = Decode(data, &status);
            EXPECT_TRUE(Acceptable(status));
            EXPECT_EQ(bool(bm), status == dv::Ok);
        }
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(Corrupt, BmpHeadersAndLayouts) {
    dv::Status status = dv::Ok;
    const std::vector<uint32_t> grey4 = {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF};
    // Bottom-up 8-bit, 2x2: the first stored row is the bottom one.
    BitmapPtr bm = Decode(Bmp(2, 2, 8, 0, grey4, {1, 2, 0, 0, 3, 0, 0, 0}), &status);
    ASSERT_EQ(status, dv::Ok);
    EXPECT_EQ(bm->GetPixelFormat(), dv::PixelFormat8bppIndexed);
    EXPECT_EQ(ColourAt(*bm, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(ColourAt(*bm, 0, 1), 0xFF555555u);
    EXPECT_EQ(ColourAt(*bm, 1, 1), 0xFFAAAAAAu);
    EXPECT_EQ(bm->GetHorizontalResolution(), 96.0f);  // no pixels per metre
    // Top-down (negative height).
    bm = Decode(Bmp(2, -2, 8, 0, grey4, {1, 2, 0, 0, 3, 0, 0, 0}), &status);
    ASSERT_EQ(status, dv::Ok);
    EXPECT_EQ(ColourAt(*bm, 0, 0), 0xFF555555u);
    // 4-bit: nibbles, high first.
    bm = Decode(Bmp(3, 1, 4, 0, grey4, {0x12, 0x30, 0, 0}), &status);
    ASSERT_EQ(status, dv::Ok);
    EXPECT_EQ(ColourAt(*bm, 0, 0), 0xFF555555u);
    EXPECT_EQ(ColourAt(*bm, 1, 0), 0xFFAAAAAAu);
    EXPECT_EQ(ColourAt(*bm, 2, 0), 0xFFFFFFFFu);
    // 16-bit 5-5-5 by default; 5-6-5 with bit fields.
    bm = Decode(Bmp(1, 1, 16, 0, {}, {0x00, 0x7C, 0, 0}), &status);
    ASSERT_EQ(status, dv::Ok);
    EXPECT_EQ(ColourAt(*bm, 0, 0), 0xFFFF0000u);
    std::vector<uint8_t> fields = Bmp(1, 1, 16, 3, {}, {0xE0, 0x07, 0, 0});
    fields.insert(fields.begin() + 54, {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0});
    Put32(fields, 10, 66);
    bm = Decode(fields, &status);
    ASSERT_EQ(status, dv::Ok);
    EXPECT_EQ(ColourAt(*bm, 0, 0), 0xFF00FF00u);
    // 32-bit with an alpha mask (v4 header): half-transparent red over white.
    std::vector<uint8_t> v4 = Bmp(1, 1, 32, 3, {}, {0x00, 0x00, 0xFF, 0x80}, 108);
    Put32(v4, 54, 0x00FF0000), Put32(v4, 58, 0x0000FF00), Put32(v4, 62, 0x000000FF),
        Put32(v4, 66, 0xFF000000);
    bm = Decode(v4, &status);
    ASSERT_EQ(status, dv::Ok);
    EXPECT_EQ(ColourAt(*bm, 0, 0), 0xFFFF7F7Fu);
    // Core header with three-byte palette entries.
    std::vector<uint8_t> core(14 + 12 + 6);
    core[0] = 'B', core[1] = 'M';
    Put32(core, 14, 12);
    Put16(core, 18, 9), Put16(core, 20, 1), Put16(core, 22, 1), Put16(core, 24, 1);
    core[26] = 0xFF, core[27] = 0, core[28] = 0;  // entry 0 blue
    core[29] = 0, core[30] = 0, core[31] = 0xFF;  // entry 1 red
    Put32(core, 10, uint32_t(core.size()));
    core.insert(core.end(), {0x80, 0x80, 0, 0});
    bm = Decode(core, &status);
    ASSERT_EQ(status, dv::Ok);
    EXPECT_EQ(bm->GetPixelFormat(), dv::PixelFormat1bppIndexed);
    EXPECT_EQ(ColourAt(*bm, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(ColourAt(*bm, 1, 0), 0xFF0000FFu);
    EXPECT_EQ(ColourAt(*bm, 8, 0), 0xFFFF0000u);

    // Refusals.
    EXPECT_FALSE(Decode(Bmp(0, 2, 8, 0, grey4, {0, 0, 0, 0}), &status));
    EXPECT_EQ(status, dv::GenericError);
    EXPECT_FALSE(Decode(Bmp(2, 0, 8, 0, grey4, {}), &status));
    EXPECT_EQ(status, dv::GenericError);
    EXPECT_FALSE(Decode(Bmp(4, 1, 2, 0, grey4, {0, 0, 0, 0}), &status));  // 2 bits
    EXPECT_EQ(status, dv::GenericError);
    EXPECT_FALSE(Decode(Bmp(2, -2, 8, 1, grey4, {0, 1}), &status));  // top-down RLE
    EXPECT_EQ(status, dv::GenericError);
    EXPECT_FALSE(Decode(Bmp(2, 2, 24, 1, {}, {0, 1}), &status));  // RLE8 of 24 bits
    EXPECT_EQ(status, dv::GenericError);
    EXPECT_FALSE(Decode(Bmp(100000, 100000, 24, 0, {}, {0}), &status));
    EXPECT_EQ(status, dv::OutOfMemory);
    EXPECT_FALSE(Decode(Bmp(2, 2, 8, 0, grey4, {1, 2, 0, 0}), &status));  // one row short
    EXPECT_EQ(status, dv::GenericError);
}

TEST(Corrupt, BmpRunLengths) {
    dv::Status status = dv::Ok;
    const std::vector<uint32_t> palette = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
    // RLE8, 5x3 bottom-up: row 0 (bottom): run of 3 ones, absolute {2, 3, 2};
    // end of line, then a delta of (1, 1): row 2 from x = 1 holds a run of 2 threes; end.
    const std::vector<uint8_t> rle8 = {3, 1, 0, 3, 2, 3, 2, 0, 0, 0, 0, 2, 1, 1, 2, 3, 0, 1};
    BitmapPtr bm = Decode(Bmp(5, 3, 8, 1, palette, rle8), &status);
    ASSERT_EQ(status, dv::Ok);
    const uint8_t* top = bm->Pixels();
    const uint8_t* middle = top + bm->GetStride();
    const uint8_t* bottom = middle + bm->GetStride();
    EXPECT_EQ(std::vector<uint8_t>(bottom, bottom + 5), (std::vector<uint8_t>{1, 1, 1, 2, 3}));
    EXPECT_EQ(std::vector<uint8_t>(middle, middle + 5), (std::vector<uint8_t>{0, 0, 0, 0, 0}));
    EXPECT_EQ(std::vector<uint8_t>(top, top + 5), (std::vector<uint8_t>{0, 3, 3, 0, 0}));
    EXPECT_EQ(ColourAt(*bm, 2, 0), 0xFFFF0000u);
    // RLE4: run of 5 alternating 1 and 2, absolute of 3 nibbles {3, 0, 1}; end.
    const std::vector<uint8_t> rle4 = {5, 0x12, 0, 3, 0x30, 0x10, 0, 1};
    bm = Decode(Bmp(8, 1, 4, 2, palette, rle4), &status);
    ASSERT_EQ(status, dv::Ok);
    EXPECT_EQ(std::vector<uint8_t>(bm->Pixels(), bm->Pixels() + 8),
              (std::vector<uint8_t>{1, 2, 1, 2, 1, 3, 0, 1}));
    // Runs that leave the image are clipped; data that ends without the end
    // marker is refused.
    bm = Decode(Bmp(2, 1, 8, 1, palette, {9, 1, 0, 1}), &status);
    ASSERT_EQ(status, dv::Ok);
    EXPECT_EQ(bm->Pixels()[1], 1);
    EXPECT_FALSE(Decode(Bmp(2, 1, 8, 1, palette, {1, 1, 0}), &status));
    EXPECT_EQ(status, dv::GenericError);
    EXPECT_FALSE(Decode(Bmp(4, 1, 8, 1, palette, {0, 9, 1, 2}), &status));  // absolute run too long
    EXPECT_EQ(status, dv::GenericError);
}

TEST(Corrupt, DamagedFilesThroughTheImageObject) {
    TempDir dir;
    BitmapPtr colour = MakeImage(40, 30, dv::PixelFormat24bppRGB);
    std::vector<uint8_t> png = Encode(colour.get(), dv::kEncoderPng);
    png.resize(png.size() / 2);
    WriteAll(dir.Path("cut.png"), png);
    DVImageProcessor image;
    EXPECT_EQ(image.LoadFromFile(dir.Path("cut.png").c_str(), nullptr), 1u);
    EXPECT_EQ(image.GetLastError(), 15u);
    EXPECT_EQ(image.GetWidth(), 0u);
    std::vector<uint8_t> jpeg = Encode(colour.get(), dv::kEncoderJpeg);
    jpeg.resize(jpeg.size() * 2 / 3);
    EXPECT_EQ(image.LoadFromMemory(jpeg.data(), uint32_t(jpeg.size()), nullptr), 1u);
    EXPECT_EQ(image.GetLastError(), 15u);
}

// Small files that declare a 16384 x 16384 image (2^28 pixels, the largest
// allowed) which their data cannot hold: refused before the image is
// allocated.
TEST(Corrupt, HugeDeclaredImagesRefusedBeforeAllocating) {
    // GIF: a two-colour table and a 16384 x 16384 frame with 3 bytes of LZW
    // data, far too little for its pixels.
    std::vector<uint8_t> gif = {'G', 'I',  'F', '8',  '9', 'a', 0,   0x40, 0,    0x40, 0x80, 0,
                                0,   0,    0,   0,    255, 255, 255, 0x2C, 0,    0,    0,    0,
                                0,   0x40, 0,   0x40, 0,   2,   3,   0x84, 0x8F, 0x05, 0,    0x3B};
    // TIFF: 8-bit grey, 16384 x 16384, one LZW strip of 10 bytes.
    std::vector<uint8_t> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const uint16_t entries[][2] = {{256, 4}, {257, 4}, {258, 3}, {259, 3}, {262, 3},
                                   {273, 4}, {277, 3}, {278, 4}, {279, 4}};
    const uint32_t values[] = {16384, 16384, 8, 5, 1, 122, 1, 16384, 10};
    tiff.resize(8 + 2 + 12 * 9 + 4 + 10, 0x80);
    Put16(tiff, 8, 9);
    for (size_t i = 0; i < 9; ++i) {
        const size_t at = 10 + 12 * i;
        Put16(tiff, at, entries[i][0]);
        Put16(tiff, at + 2, entries[i][1]);
        Put32(tiff, at + 4, 1);
        Put32(tiff, at + 8, values[i]);
    }
    Put32(tiff, 118, 0);  // no next directory
    // PNG and JPEG files of a 40 x 30 image grown to 16384 x 16384 in their
    // headers (the PNG's IHDR with a fresh CRC), their data left as it was.
    BitmapPtr small = MakeImage(40, 30, dv::PixelFormat24bppRGB);
    std::vector<uint8_t> png = Encode(small.get(), dv::kEncoderPng);
    for (size_t at : {16, 20}) Put32(png, at, 0x00400000);  // big-endian 16384
    uint32_t crc = ~0u;
    for (size_t i = 12; i < 29; ++i) {
        crc ^= png[i];
        for (int k = 0; k < 8; ++k) crc = crc >> 1 ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    for (size_t i = 0; i < 4; ++i) png[29 + i] = uint8_t(~crc >> (24 - 8 * i));
    std::vector<uint8_t> jpeg = Encode(small.get(), dv::kEncoderJpeg);
    for (size_t i = 2; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {  // SOF0: height, then width
            jpeg[i + 5] = jpeg[i + 7] = 0x40, jpeg[i + 6] = jpeg[i + 8] = 0;
            break;
        }
    }
    for (const auto& file : {gif, tiff, png, jpeg}) {
        gwtest::AllocationProbe probe;
        if (!probe.Available()) GTEST_SKIP() << "needs the sanitizer's allocation hook";
        dv::Status status = dv::Ok;
        EXPECT_FALSE(Decode(file, &status));
        EXPECT_EQ(status, dv::GenericError);
        EXPECT_LT(probe.LargestBytes(), size_t{1} << 20);
    }
}
