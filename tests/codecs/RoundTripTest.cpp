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
