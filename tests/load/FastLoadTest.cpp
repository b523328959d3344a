// The loader's fast paths: the Exif turn made while a JPEG or PNG is decoded
// (the image object's own turn of large images: tests/platform), reduced-scale
// loads, and JPEG data cut short, which loads what it holds with a warning.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "DVImageProcessor.h"
#include "GlyphwickLoad.h"
#include "codecs/CodecSupport.h"

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

// The orientation the codec turned the picture from while decoding it at
// 1/scale (0: it was left for the loader to turn afterwards).
int CodecTurnedFrom(const Bytes& data, bool jpeg, uint32_t scale) {
    dv::Bitmap* bitmap = nullptr;
    dv::Status status = dv::GenericError;
    int from = -1;
    if (jpeg) {
        gw::codec::JpegLoad load;
        load.scale = scale;
        load.upright = true;
        status = gw::codec::DecodeJpeg(data.data(), data.size(), &bitmap, load);
        from = load.turnedFrom;
    } else {
        gw::codec::PngLoad load;
        load.scale = scale;
        load.upright = true;
        status = gw::codec::DecodePng(data.data(), data.size(), &bitmap, load);
        from = load.turnedFrom;
    }
    delete bitmap;
    EXPECT_EQ(status, dv::Ok);
    return from;
}

void ExpectSamePixels(DVImageProcessor& a, DVImageProcessor& b) {
    ASSERT_EQ(a.GetWidth(), b.GetWidth());
    ASSERT_EQ(a.GetHeight(), b.GetHeight());
    ASSERT_EQ(a.GetBitsPerPixel(), b.GetBitsPerPixel());
    if (a.GetBitsPerPixel() != 1) {
        EXPECT_EQ(Pixels(a), Pixels(b));
        return;
    }
    for (uint32_t y = 0; y < a.GetHeight(); ++y)  // GetBits takes whole bytes
        for (uint32_t x = 0; x < a.GetWidth(); ++x) {
            uint32_t p = 0, q = 1;
            ASSERT_EQ(a.GetPixel(x, y, &p), 0u);
            ASSERT_EQ(b.GetPixel(x, y, &q), 0u);
            ASSERT_EQ(p, q) << x << "," << y;
        }
}

// Loads data turned upright (at 1/scale) and checks it against the picture
// loaded as stored and turned by the image object, pixel for pixel; the
// turned picture's tag reads 1. The image object's own loader keeps the
// pixels as stored.
void ExpectTurnedAsTheImageObjectTurns(const Bytes& data, uint16_t tag, uint32_t scale) {
    gw::LoadOptions options;
    options.scale = scale;
    DVImageProcessor turned, stored;
    gw::LoadInfo info = gw::LoadImageMemory(data.data(), data.size(), turned, options);
    ASSERT_EQ(info.status, gw::kLoaded) << info.reason;
    EXPECT_EQ(info.exifOrientation, tag);
    options.applyExifOrientation = false;
    info = gw::LoadImageMemory(data.data(), data.size(), stored, options);
    ASSERT_EQ(info.status, gw::kLoaded) << info.reason;
    if (scale == 1) {
        DVImageProcessor plain;
        ASSERT_EQ(plain.LoadFromMemory(data.data(), uint32_t(data.size()), nullptr), 0u);
        ExpectSamePixels(plain, stored);
    }
    ASSERT_EQ(stored.RotateFlip(kUpright[tag]), 0u);
    ExpectSamePixels(turned, stored);
    uint16_t value = 0;
    uint8_t item[sizeof(dv::PropertyItem) + 2];
    if (turned.GetBitmap()->GetPropertyItem(0x0112, sizeof item,
                                            reinterpret_cast<dv::PropertyItem*>(item)) == dv::Ok)
        std::memcpy(&value, item + sizeof(dv::PropertyItem), 2);
    EXPECT_EQ(value, 1);
}

// A picture saved by the library's own encoder with each orientation tag:
// file type (2 JPEG, 5 PNG), width and height. The sides are no multiple of
// the decoders' strips or the turn's squares; 70 rows take two strips.
struct Saved {
    uint32_t type, width, height;
};

class FastLoadTurn : public testing::TestWithParam<Saved> {};

TEST_P(FastLoadTurn, EqualsTheImageObjectsTurn) {
    const Saved p = GetParam();
    for (const bool grey : {false, true}) {
        DVImageProcessor picture = Picture(p.width, p.height, grey);
        for (uint16_t tag = 1; tag <= 8; ++tag) {
            SCOPED_TRACE(testing::Message() << "grey " << grey << " tag " << tag);
            const Bytes data = WithOrientation(picture, tag, p.type);
            // The library writes its Exif where the decoder finds it first.
            EXPECT_EQ(CodecTurnedFrom(data, p.type == 2, 1), tag == 1 ? 0 : tag);
            ExpectTurnedAsTheImageObjectTurns(data, tag, 1);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, FastLoadTurn,
                         testing::Values(Saved{2, 151, 70}, Saved{5, 151, 70}, Saved{5, 37, 23}),
                         [](const testing::TestParamInfo<Saved>& info) {
                             return std::string(info.param.type == 2 ? "Jpeg" : "Png") +
                                    std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

// A kind of PNG file, made by libpng: the depths, alpha, interlacing and late
// Exif that the library's own encoder does not write, and its 1-bit files.
struct PngKind {
    const char* name;
    int colour;  // PNG_COLOR_TYPE_...
    int depth;   // bits a sample
    bool interlaced;
    bool exifLast;        // the eXIf chunk after the image data
    bool turnedDecoding;  // the codec turns it while decoding
};

// An Exif block holding only the orientation tag.
Bytes ExifBlock(uint16_t orientation) {
    Bytes b = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0};
    b.insert(b.end(), {uint8_t(orientation), 0, 0, 0, 0, 0, 0, 0});
    return b;
}

void Append(png_structp png, png_bytep data, size_t count) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + count);
}

// A w x h PNG file of the kind, every sample drawn at random (a palette of
// 13 random colours, some partly transparent), with the orientation tag.
Bytes KindFile(const PngKind& kind, uint32_t w, uint32_t h, uint16_t orientation) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::mt19937 random(w * 7 + h + uint32_t(kind.colour));
    const int channels = kind.colour == PNG_COLOR_TYPE_RGB          ? 3
                         : kind.colour == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                         : kind.colour == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                    : 1;
    const size_t rowBytes = (size_t(w) * channels * kind.depth + 7) / 8;
    std::vector<Bytes> rows(h, Bytes(rowBytes));
    for (Bytes& row : rows) {
        for (uint8_t& b : row) b = uint8_t(random());
        if (kind.colour == PNG_COLOR_TYPE_PALETTE)  // indexes below 13
            for (uint32_t x = 0; x < w; ++x) {
                const uint32_t shift = 8 - kind.depth - (x * kind.depth) % 8;
                uint8_t& b = row[x * kind.depth / 8];
                b = uint8_t((b & ~(((1u << kind.depth) - 1) << shift)) | (random() % 13) << shift);
            }
    }
    Bytes exif = ExifBlock(orientation);
    png_color palette[13];
    uint8_t alpha[13];
    for (int i = 0; i < 13; ++i) {
        palette[i] = {uint8_t(random()), uint8_t(random()), uint8_t(random())};
        alpha[i] = uint8_t(i % 3 == 0 ? random() : 255);
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "libpng failed to write " << kind.name;
        return {};
    }
    png_set_write_fn(png, &out, Append, nullptr);
    png_set_IHDR(png, info, w, h, kind.depth, kind.colour,
                 kind.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (kind.colour == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(png, info, palette, 13);
        png_set_tRNS(png, info, alpha, 13, nullptr);
    }
    if (!kind.exifLast) png_set_eXIf_1(png, info, png_uint_32(exif.size()), exif.data());
    png_write_info(png, info);
    // Written by png_write_end, after the image data.
    if (kind.exifLast) png_set_eXIf_1(png, info, png_uint_32(exif.size()), exif.data());
    const int passes = kind.interlaced ? png_set_interlace_handling(png) : 1;
    for (int pass = 0; pass < passes; ++pass)
        for (Bytes& row : rows) png_write_row(png, row.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// Where a chunk type first occurs in a PNG file (its type's offset), or 0.
size_t ChunkAt(const Bytes& file, const char* type) {
    for (size_t at = 8; at + 8 <= file.size();) {
        const size_t length = size_t(file[at]) << 24 | size_t(file[at + 1]) << 16 |
                              size_t(file[at + 2]) << 8 | file[at + 3];
        if (std::memcmp(file.data() + at + 4, type, 4) == 0) return at + 4;
        at += 12 + length;
    }
    return 0;
}

class FastLoadPngTurn : public testing::TestWithParam<PngKind> {};

TEST_P(FastLoadPngTurn, EqualsTheImageObjectsTurnAtEveryScale) {
    const PngKind kind = GetParam();
    // 37 x 23: odd sides; 70 x 151: rows for three strips at full size and
    // two at half size.
    for (const auto& [w, h] : {std::pair{37u, 23u}, std::pair{70u, 151u}})
        for (uint16_t tag = 2; tag <= 8; ++tag) {
            const Bytes data = KindFile(kind, w, h, tag);
            ASSERT_FALSE(data.empty());
            ASSERT_EQ(ChunkAt(data, "eXIf") > ChunkAt(data, "IDAT"), kind.exifLast);
            for (const uint32_t scale : {1u, 2u}) {
                SCOPED_TRACE(testing::Message()
                             << w << " x " << h << " tag " << tag << " 1/" << scale);
                EXPECT_EQ(CodecTurnedFrom(data, false, scale), kind.turnedDecoding ? tag : 0);
                ExpectTurnedAsTheImageObjectTurns(data, tag, scale);
            }
        }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FastLoadPngTurn,
    testing::Values(PngKind{"Rgb16", PNG_COLOR_TYPE_RGB, 16, false, false, true},
                    PngKind{"Rgba", PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false, true},
                    PngKind{"GreyAlpha", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false, true},
                    PngKind{"Grey4", PNG_COLOR_TYPE_GRAY, 4, false, false, true},
                    PngKind{"Palette4", PNG_COLOR_TYPE_PALETTE, 4, false, false, true},
                    PngKind{"Palette8", PNG_COLOR_TYPE_PALETTE, 8, false, false, true},
                    PngKind{"Bits", PNG_COLOR_TYPE_GRAY, 1, false, false, false},
                    PngKind{"Interlaced", PNG_COLOR_TYPE_RGB, 8, true, false, false},
                    PngKind{"ExifAfterData", PNG_COLOR_TYPE_RGB, 8, false, true, false}),
    [](const testing::TestParamInfo<PngKind>& info) { return std::string(info.param.name); });

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
