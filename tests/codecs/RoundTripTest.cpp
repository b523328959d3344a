// Encoding then decoding in every format and pixel format.
#include <gtest/gtest.h>

#include <tiffio.h>

#include "codecs/CodecTestSupport.h"

using namespace codectest;

namespace {

constexpr int32_t kFormats[] = {dv::PixelFormat1bppIndexed, dv::PixelFormat8bppIndexed,
                                dv::PixelFormat24bppRGB};

struct Case {
    const dv::GUID* clsid;
    const char* name;
};

}  // namespace

TEST(RoundTrip, LosslessFormatsKeepPixelsPaletteAndFormat) {
    const Case cases[] = {{&dv::kEncoderBmp, "bmp"},
                          {&dv::kEncoderTiff, "tiff"},
                          {&dv::kEncoderPng, "png"},
                          {&dv::kEncoderGif, "gif"}};
    for (const Case& c : cases) {
        for (int32_t format : kFormats) {
            // GIF keeps indexed images; 24-bit goes through the fixed palette (below).
            if (c.clsid == &dv::kEncoderGif && format == dv::PixelFormat24bppRGB) continue;
            SCOPED_TRACE(std::string(c.name) + " format " + std::to_string(format));
            BitmapPtr source = MakeImage(37, 23, format);
            dv::Status status = dv::GenericError;
            const std::vector<uint8_t> file = Encode(source.get(), *c.clsid, nullptr, &status);
            ASSERT_EQ(status, dv::Ok);
            BitmapPtr back = Decode(file, &status);
            ASSERT_EQ(status, dv::Ok);
            ASSERT_TRUE(back);
            EXPECT_EQ(back->GetPixelFormat(), format);
            EXPECT_EQ(DifferentPixels(*source, *back), 0);
            if (c.clsid != &dv::kEncoderGif) {
                // BMP and PNG store whole pixels per metre: within 0.02 dpi.
                EXPECT_NEAR(back->GetHorizontalResolution(), 200.0f, 0.02f);
                EXPECT_NEAR(back->GetVerticalResolution(), 150.0f, 0.02f);
            } else {
                EXPECT_EQ(back->GetHorizontalResolution(), 96.0f);
            }
        }
    }
}

TEST(RoundTrip, GreyRampSurvivesAsGreyInEveryLosslessFormat) {
    BitmapPtr source(dv::Bitmap::Create(19, 7, dv::PixelFormat8bppIndexed));
    for (uint32_t y = 0; y < 7; ++y) {
        for (uint32_t x = 0; x < 19; ++x)
            source->Pixels()[y * source->GetStride() + x] = uint8_t(x * 13 + y);
    }
    for (const dv::GUID* clsid :
         {&dv::kEncoderBmp, &dv::kEncoderTiff, &dv::kEncoderPng, &dv::kEncoderGif}) {
        BitmapPtr back = Decode(Encode(source.get(), *clsid));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->GetPixelFormat(), dv::PixelFormat8bppIndexed);
        EXPECT_EQ(DifferentPixels(*source, *back), 0);
        // The grey index is the grey level.
        EXPECT_EQ(back->Pixels()[back->GetStride() + 5], 5 * 13 + 1);
    }
}

TEST(RoundTrip, JpegStaysCloseAndQualityMatters) {
    BitmapPtr colour(dv::Bitmap::Create(64, 48, dv::PixelFormat24bppRGB));
    colour->SetResolution(200, 150);
    for (uint32_t y = 0; y < 48; ++y) {
        for (uint32_t x = 0; x < 64; ++x) {
            uint8_t* p = colour->Pixels() + y * colour->GetStride() + 3 * x;
            p[0] = uint8_t(x * 4), p[1] = uint8_t(y * 5), p[2] = uint8_t(x + y * 2);
        }
    }
    std::vector<uint8_t> low, high;
    {
        OneParameter q(dv::EncoderQuality, 20);
        low = Encode(colour.get(), dv::kEncoderJpeg, &q.block);
    }
    {
        OneParameter q(dv::EncoderQuality, 95);
        high = Encode(colour.get(), dv::kEncoderJpeg, &q.block);
    }
    const std::vector<uint8_t> normal = Encode(colour.get(), dv::kEncoderJpeg);
    EXPECT_LT(low.size(), normal.size());
    EXPECT_LT(normal.size(), high.size());
    BitmapPtr back = Decode(high);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetPixelFormat(), dv::PixelFormat24bppRGB);
    EXPECT_GT(Psnr(*colour, *back), 38.0);
    BitmapPtr backLow = Decode(low);
    ASSERT_TRUE(backLow);
    EXPECT_GT(Psnr(*colour, *backLow), 28.0);
    EXPECT_LT(Psnr(*colour, *backLow), Psnr(*colour, *back));
    EXPECT_EQ(back->GetHorizontalResolution(), 200.0f);
    EXPECT_EQ(back->GetVerticalResolution(), 150.0f);
    // Our JPEG files are JFIF, so recognition finds them.
    EXPECT_EQ(DetectImageFormat(normal.data(), uint32_t(normal.size())), ImageFormatJpeg);

    // Bilevel images are written as grey JPEG and come back 8-bit grey.
    BitmapPtr bilevel = MakeImage(40, 30, dv::PixelFormat1bppIndexed);
    BitmapPtr grey = Decode(Encode(bilevel.get(), dv::kEncoderJpeg));
    ASSERT_TRUE(grey);
    EXPECT_EQ(grey->GetPixelFormat(), dv::PixelFormat8bppIndexed);
    EXPECT_GT(Psnr(*bilevel, *grey), 20.0);
    // A colour palette image is written as its colours: the same file as the
    // 24-bit image of those colours.
    BitmapPtr indexed = MakeImage(40, 30, dv::PixelFormat8bppIndexed);
    BitmapPtr expanded(dv::Bitmap::Create(40, 30, dv::PixelFormat24bppRGB));
    expanded->SetResolution(200, 150);
    for (uint32_t y = 0; y < 30; ++y) {
        for (uint32_t x = 0; x < 40; ++x) {
            const uint32_t c = ColourAt(*indexed, x, y);
            uint8_t* p = expanded->Pixels() + y * expanded->GetStride() + 3 * x;
            p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
        }
    }
    EXPECT_EQ(Encode(indexed.get(), dv::kEncoderJpeg), Encode(expanded.get(), dv::kEncoderJpeg));
}

TEST(RoundTrip, GifOfColourImageUsesFixedPalette) {
    BitmapPtr colour(dv::Bitmap::Create(6, 1, dv::PixelFormat24bppRGB));
    const uint8_t bgr[] = {0,  0,   0,   255, 255, 255, 0,  0,   255,
                           51, 102, 153, 128, 128, 128, 10, 200, 60};
    std::copy(std::begin(bgr), std::end(bgr), colour->Pixels());
    BitmapPtr back = Decode(Encode(colour.get(), dv::kEncoderGif));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetPixelFormat(), dv::PixelFormat8bppIndexed);
    EXPECT_EQ(ColourAt(*back, 0, 0), 0xFF000000u);
    EXPECT_EQ(ColourAt(*back, 1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(ColourAt(*back, 2, 0), 0xFFFF0000u);  // cube colours are exact
    EXPECT_EQ(ColourAt(*back, 3, 0), 0xFF996633u);
    // Mid grey is nearer one of the extra greys than any cube colour.
    const uint32_t grey = ColourAt(*back, 4, 0);
    EXPECT_EQ((grey >> 16) & 0xFF, grey & 0xFF);
    EXPECT_LE(std::abs(int(grey & 0xFF) - 128), 4);
    const uint32_t other = ColourAt(*back, 5, 0);
    EXPECT_LE(std::abs(int((other >> 8) & 0xFF) - 200), 26);
}

TEST(RoundTrip, TiffEveryCompressionAndDepth) {
    const uint32_t compressions[] = {
        dv::EncoderValueCompressionLZW, dv::EncoderValueCompressionCCITT3,
        dv::EncoderValueCompressionCCITT4, dv::EncoderValueCompressionRle,
        dv::EncoderValueCompressionNone};
    BitmapPtr bilevel = MakeImage(45, 21, dv::PixelFormat1bppIndexed);
    for (uint32_t compression : compressions) {
        SCOPED_TRACE(compression);
        OneParameter p(dv::EncoderCompression, compression);
        dv::Status status = dv::GenericError;
        BitmapPtr back = Decode(Encode(bilevel.get(), dv::kEncoderTiff, &p.block, &status));
        ASSERT_EQ(status, dv::Ok);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->GetPixelFormat(), dv::PixelFormat1bppIndexed);
        EXPECT_EQ(DifferentPixels(*bilevel, *back), 0);
    }
    // Fax compressions of a colour image make it black and white.
    BitmapPtr colour = MakeImage(45, 21, dv::PixelFormat24bppRGB);
    {
        OneParameter p(dv::EncoderCompression, dv::EncoderValueCompressionCCITT4);
        BitmapPtr back = Decode(Encode(colour.get(), dv::kEncoderTiff, &p.block));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->GetPixelFormat(), dv::PixelFormat1bppIndexed);
    }

    struct DepthCase {
        uint32_t depth;
        int32_t decoded;
    };
    const DepthCase depths[] = {{1, dv::PixelFormat1bppIndexed},
                                {4, dv::PixelFormat8bppIndexed},
                                {8, dv::PixelFormat8bppIndexed},
                                {24, dv::PixelFormat24bppRGB},
                                {32, dv::PixelFormat24bppRGB}};
    for (int32_t format : kFormats) {
        BitmapPtr source = MakeImage(30, 17, format);
        for (const DepthCase& d : depths) {
            SCOPED_TRACE("format " + std::to_string(format) + " depth " + std::to_string(d.depth));
            OneParameter p(dv::EncoderColorDepth, d.depth);
            dv::Status status = dv::GenericError;
            BitmapPtr back = Decode(Encode(source.get(), dv::kEncoderTiff, &p.block, &status));
            ASSERT_EQ(status, dv::Ok);
            ASSERT_TRUE(back);
            EXPECT_EQ(back->GetPixelFormat(), d.decoded);
            // Lossless whenever the depth holds the image's colours.
            const bool fits = d.depth >= 24 ||
                              (d.depth == 8 && format != dv::PixelFormat24bppRGB) ||
                              format == dv::PixelFormat1bppIndexed;
            if (fits) {
                EXPECT_EQ(DifferentPixels(*source, *back), 0);
            }
        }
    }
}

TEST(RoundTrip, TiffDefaultsAndRefusals) {
    BitmapPtr bilevel = MakeImage(64, 20, dv::PixelFormat1bppIndexed);
    BitmapPtr colour = MakeImage(64, 20, dv::PixelFormat24bppRGB);
    // Default for 1-bit is CCITT4, else LZW.
    TempDir dir;
    auto compressionOf = [&](const std::vector<uint8_t>& file) {
        WriteAll(dir.Path("t.tif"), file);
        TIFF* tif = TIFFOpen(dir.Path("t.tif").c_str(), "r");
        uint16_t compression = 0;
        if (tif) TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
        if (tif) TIFFClose(tif);
        return compression;
    };
    EXPECT_EQ(compressionOf(Encode(bilevel.get(), dv::kEncoderTiff)), COMPRESSION_CCITTFAX4);
    EXPECT_EQ(compressionOf(Encode(colour.get(), dv::kEncoderTiff)), COMPRESSION_LZW);
    const uint32_t expected[][2] = {{dv::EncoderValueCompressionLZW, COMPRESSION_LZW},
                                    {dv::EncoderValueCompressionCCITT3, COMPRESSION_CCITTFAX3},
                                    {dv::EncoderValueCompressionCCITT4, COMPRESSION_CCITTFAX4},
                                    {dv::EncoderValueCompressionRle, COMPRESSION_CCITTRLE},
                                    {dv::EncoderValueCompressionNone, COMPRESSION_NONE}};
    for (const auto& e : expected) {
        OneParameter p(dv::EncoderCompression, e[0]);
        EXPECT_EQ(compressionOf(Encode(bilevel.get(), dv::kEncoderTiff, &p.block)), e[1]);
    }

    // A fax compression with a colour depth other than 1 is refused, and so
    // are values outside the table.
    dv::EncoderParameters* block = static_cast<dv::EncoderParameters*>(
        std::malloc(offsetof(dv::EncoderParameters, Parameter) + 2 * sizeof(dv::EncoderParameter)));
    uint32_t ccitt = dv::EncoderValueCompressionCCITT4, depth = 24;
    block->Count = 2;
    block->Parameter[0] = {dv::EncoderCompression, 1, dv::EncoderParameterValueTypeLong, &ccitt};
    block->Parameter[1] = {dv::EncoderColorDepth, 1, dv::EncoderParameterValueTypeLong, &depth};
    dv::Status status = dv::Ok;
    Encode(colour.get(), dv::kEncoderTiff, block, &status);
    EXPECT_EQ(status, dv::InvalidParameter);
    std::free(block);
    OneParameter badDepth(dv::EncoderColorDepth, 16);
    Encode(colour.get(), dv::kEncoderTiff, &badDepth.block, &status);
    EXPECT_EQ(status, dv::InvalidParameter);
    OneParameter badQuality(dv::EncoderQuality, 101);
    Encode(colour.get(), dv::kEncoderJpeg, &badQuality.block, &status);
    EXPECT_EQ(status, dv::InvalidParameter);
    // Another encoder's parameter is ignored.
    Encode(colour.get(), dv::kEncoderPng, &badQuality.block, &status);
    EXPECT_EQ(status, dv::Ok);
    // The multi-frame flag writes the one frame.
    OneParameter multi(dv::EncoderSaveFlag, dv::EncoderValueMultiFrame);
    BitmapPtr back = Decode(Encode(colour.get(), dv::kEncoderTiff, &multi.block, &status));
    EXPECT_EQ(status, dv::Ok);
    ASSERT_TRUE(back);
    EXPECT_EQ(DifferentPixels(*colour, *back), 0);
}

TEST(RoundTrip, OddPalettesOfBilevelImagesSurvive) {
    BitmapPtr bm = MakeImage(21, 9, dv::PixelFormat1bppIndexed);
    std::vector<uint8_t> bytes(dv::PaletteBytes(2));
    auto* pal = reinterpret_cast<dv::ColorPalette*>(bytes.data());
    pal->Flags = 0;
    pal->Count = 2;
    pal->Entries[0] = 0xFFFFFFFF;  // inverted pair
    pal->Entries[1] = 0xFF000000;
    bm->SetPalette(pal);
    for (const dv::GUID* clsid :
         {&dv::kEncoderBmp, &dv::kEncoderTiff, &dv::kEncoderPng, &dv::kEncoderGif}) {
        BitmapPtr back = Decode(Encode(bm.get(), *clsid));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->GetPixelFormat(), dv::PixelFormat1bppIndexed);
        EXPECT_EQ(DifferentPixels(*bm, *back), 0);
    }
    pal->Entries[0] = 0xFF2040C0;  // two colours
    pal->Entries[1] = 0xFFF0E000;
    bm->SetPalette(pal);
    for (const dv::GUID* clsid : {&dv::kEncoderBmp, &dv::kEncoderPng, &dv::kEncoderGif}) {
        BitmapPtr back = Decode(Encode(bm.get(), *clsid));
        ASSERT_TRUE(back);
        EXPECT_EQ(DifferentPixels(*bm, *back), 0);
    }
    OneParameter lzw(dv::EncoderCompression, dv::EncoderValueCompressionLZW);
    BitmapPtr back = Decode(Encode(bm.get(), dv::kEncoderTiff, &lzw.block));
    ASSERT_TRUE(back);
    EXPECT_EQ(DifferentPixels(*bm, *back), 0);
}
