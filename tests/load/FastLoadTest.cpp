// The loader's fast paths: the Exif turn made while a JPEG is decoded (the
// image object's own turn of large images: tests/platform), reduced-scale loads,
// and JPEG data cut short, which loads what it holds with a warning.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "DVImageProcessor.h"
#include "GlyphwickLoad.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A w x h picture of smooth colour with grain, so that every pixel differs
// from its neighbours; grey when grey is set.
DVImageProcessor Picture(uint32_t w, uint32_t h, bool grey) {
    DVImageProcessor image;
    EXPECT_EQ(image.Create(w, h, grey ? dv::PixelFormat8bppIndexed : dv::PixelFormat24bppRGB), 0u);
    if (grey) image.SetDefaultPalette();
    const uint32_t bytes = grey ? 1 : 3, stride = (w * bytes + 3) & ~3u;
    std::vector<uint8_t> rows(size_t(stride) * h, 0);
    std::mt19937 random(w * 31 + h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w * bytes; ++x)
            rows[size_t(y) * stride + x] = uint8_t(x * 2 + y * 3 + random() % 16);
    EXPECT_EQ(image.SetBits(rows.data(), stride), 0u);
    return image;
}

Bytes Encode(DVImageProcessor& image, uint32_t type) {
    dv::IStream* stream = nullptr;
    dv::CreateMemoryStream(&stream);
    uint32_t size = 0;
    EXPECT_EQ(image.SaveToStream(stream, &size, type, true, nullptr), 0u);
    Bytes out(size);
    stream->Read(out.data(), size, nullptr);
    stream->Release();
    return out;
}

// The picture saved with an Exif orientation tag (type 2: JPEG, 5: PNG).
Bytes WithOrientation(DVImageProcessor& image, uint16_t orientation, uint32_t type) {
    uint16_t value = orientation;
    dv::PropertyItem item{0x0112, 2, 3, &value};
    EXPECT_EQ(image.GetBitmap()->SetPropertyItem(&item), 0);
    return Encode(image, type);
}

Bytes Pixels(DVImageProcessor& image) {
    const uint32_t stride = image.GetStride();
    Bytes out(size_t(stride) * image.GetHeight());
    EXPECT_EQ(image.GetBits(out.data(), stride), 0u);
    return out;
}

constexpr int32_t kUpright[9] = {0, 0, 4, 2, 6, 5, 1, 7, 3};

TEST(FastLoad, JpegTurnedWhileDecodedEqualsTheImageObjectsTurn) {
    // Sides that are no multiple of the decoder's strips or the turn's squares.
    for (const bool grey : {false, true}) {
        DVImageProcessor picture = Picture(151, 70, grey);
        for (uint16_t tag = 1; tag <= 8; ++tag) {
            SCOPED_TRACE(testing::Message() << "grey " << grey << " tag " << tag);
            const Bytes data = WithOrientation(picture, tag, 2);
            DVImageProcessor turned, stored;
            gw::LoadInfo info = gw::LoadImageMemory(data.data(), data.size(), turned);
            ASSERT_EQ(info.status, gw::kLoaded) << info.reason;
            EXPECT_EQ(info.exifOrientation, tag);
            gw::LoadOptions keep;
            keep.applyExifOrientation = false;
            info = gw::LoadImageMemory(data.data(), data.size(), stored, keep);
            ASSERT_EQ(info.status, gw::kLoaded) << info.reason;
            ASSERT_EQ(stored.RotateFlip(kUpright[tag]), 0u);
            ASSERT_EQ(turned.GetWidth(), stored.GetWidth());
            ASSERT_EQ(turned.GetHeight(), stored.GetHeight());
            EXPECT_EQ(Pixels(turned), Pixels(stored));
        }
    }
}

TEST(FastLoad, ReducedScaleJpegIsSmoothAndOtherFormatsAreDecimated) {
    DVImageProcessor picture = Picture(203, 101, false);
    picture.SetResolution(300, 300);
    const Bytes jpeg = Encode(picture, 2), png = Encode(picture, 5);
    DVImageProcessor full;
    ASSERT_EQ(gw::LoadImageMemory(png.data(), png.size(), full).status, gw::kLoaded);
    const Bytes fullPixels = Pixels(full);
    for (const uint32_t scale : {2u, 4u, 8u}) {
        SCOPED_TRACE(scale);
        gw::LoadOptions options;
        options.scale = scale;
        const uint32_t w = (203 + scale - 1) / scale, h = (101 + scale - 1) / scale;
        DVImageProcessor small;
        gw::LoadInfo info = gw::LoadImageMemory(jpeg.data(), jpeg.size(), small, options);
        ASSERT_EQ(info.status, gw::kLoaded) << info.reason;
        EXPECT_EQ(small.GetWidth(), w);
        EXPECT_EQ(small.GetHeight(), h);
        EXPECT_FLOAT_EQ(small.GetBitmap()->GetHorizontalResolution(), 300.0f / float(scale));
        // JPEG: each pixel is near the mean of the square it stands for.
        const Bytes smooth = Pixels(small);
        double error = 0;
        int count = 0;
        for (uint32_t y = 0; y + 1 < h; ++y)
            for (uint32_t x = 0; x + 1 < w; ++x, ++count) {
                double sum = 0;
                for (uint32_t v = 0; v < scale; ++v)
                    for (uint32_t u = 0; u < scale; ++u)
                        sum += fullPixels[size_t(y * scale + v) * full.GetStride() +
                                          size_t(x * scale + u) * 3 + 1];
                error += std::abs(sum / (scale * scale) -
                                  smooth[size_t(y) * small.GetStride() + x * 3 + 1]);
            }
        EXPECT_LT(error / count, 8.0);
        // PNG: exactly every scale-th pixel of every scale-th row.
        DVImageProcessor picked;
        info = gw::LoadImageMemory(png.data(), png.size(), picked, options);
        ASSERT_EQ(info.status, gw::kLoaded) << info.reason;
        ASSERT_EQ(picked.GetWidth(), w);
        ASSERT_EQ(picked.GetHeight(), h);
        EXPECT_NEAR(picked.GetBitmap()->GetVerticalResolution(), 300.0f / float(scale), 0.01);
        const Bytes got = Pixels(picked);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w * 3; ++x)
                ASSERT_EQ(
                    got[size_t(y) * picked.GetStride() + x],
                    fullPixels[size_t(y) * scale * full.GetStride() + (x / 3) * scale * 3 + x % 3]);
    }
    gw::LoadOptions bad;
    bad.scale = 3;
    DVImageProcessor none;
    const gw::LoadInfo info = gw::LoadImageMemory(jpeg.data(), jpeg.size(), none, bad);
    EXPECT_EQ(info.status, gw::kLoadBadArgument);
    EXPECT_NE(info.reason.find("scale"), std::string::npos);
}

TEST(FastLoad, OneBitPicturesAreDecimatedBitByBit) {
    // 37 x 19 pixels, 1 bit each: a pattern in which every pixel kept at
    // 1/2, 1/4 and 1/8 differs from some neighbour.
    DVImageProcessor bits;
    ASSERT_EQ(bits.Create(37, 19, dv::PixelFormat1bppIndexed), 0u);
    bits.SetDefaultPalette();
    const auto black = [](uint32_t x, uint32_t y) { return (x * 7 + y * 3 + x * y) % 5 < 2; };
    for (uint32_t y = 0; y < 19; ++y)
        for (uint32_t x = 0; x < 37; ++x) {
            const uint32_t colour = black(x, y) ? 0xFF000000u : 0xFFFFFFFFu;
            ASSERT_EQ(bits.SetPixel(x, y, &colour), 0u);
        }
    const Bytes png = Encode(bits, 5);
    for (const uint32_t scale : {2u, 4u, 8u}) {
        SCOPED_TRACE(scale);
        gw::LoadOptions options;
        options.scale = scale;
        DVImageProcessor small;
        const gw::LoadInfo info = gw::LoadImageMemory(png.data(), png.size(), small, options);
        ASSERT_EQ(info.status, gw::kLoaded) << info.reason;
        ASSERT_EQ(small.GetBitsPerPixel(), 1u);  // decimated as bits, not widened
        ASSERT_EQ(small.GetWidth(), (37 + scale - 1) / scale);
        ASSERT_EQ(small.GetHeight(), (19 + scale - 1) / scale);
        for (uint32_t y = 0; y < small.GetHeight(); ++y)
            for (uint32_t x = 0; x < small.GetWidth(); ++x) {
                uint32_t colour = 0;
                ASSERT_EQ(small.GetPixel(x, y, &colour), 0u);
                EXPECT_EQ((colour & 0xFFFFFF) == 0, black(x * scale, y * scale)) << x << "," << y;
            }
    }
}

TEST(FastLoad, JpegCutShortLoadsItsTopWithAWarning) {
    DVImageProcessor picture = Picture(96, 240, false);
    const Bytes whole = Encode(picture, 2);
    DVImageProcessor full;
    gw::LoadInfo info = gw::LoadImageMemory(whole.data(), whole.size(), full);
    ASSERT_EQ(info.status, gw::kLoaded);
    EXPECT_TRUE(info.warning.empty());
    const Bytes cut(whole.begin(), whole.begin() + long(whole.size() * 9 / 10));
    DVImageProcessor part;
    info = gw::LoadImageMemory(cut.data(), cut.size(), part);
    ASSERT_EQ(info.status, gw::kLoaded) << info.reason;
    EXPECT_NE(info.warning.find("ends early"), std::string::npos);
    ASSERT_EQ(part.GetWidth(), 96u);
    ASSERT_EQ(part.GetHeight(), 240u);
    // The top two thirds are those of the whole file; the last rows are not.
    const Bytes a = Pixels(full), b = Pixels(part);
    const size_t stride = full.GetStride();
    EXPECT_TRUE(std::equal(a.begin(), a.begin() + long(stride * 160), b.begin()));
    EXPECT_FALSE(std::equal(a.end() - long(stride * 8), a.end(), b.end() - long(stride * 8)));
    // Only the end marker missing: every row, and the warning.
    const Bytes noEnd(whole.begin(), whole.end() - 2);
    DVImageProcessor most;
    info = gw::LoadImageMemory(noEnd.data(), noEnd.size(), most);
    ASSERT_EQ(info.status, gw::kLoaded) << info.reason;
    EXPECT_FALSE(info.warning.empty());
    EXPECT_EQ(Pixels(most), a);
    // The image object's own loader still refuses data cut short.
    DVImageProcessor plain;
    EXPECT_NE(plain.LoadFromMemory(cut.data(), uint32_t(cut.size()), nullptr), 0u);
}

}  // namespace
