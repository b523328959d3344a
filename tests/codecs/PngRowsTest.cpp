// The loader's inflate of a plain PNG's image data at once: every row filter
// of grey, palette and colour pictures, with and without alpha, in image
// data of many chunks reads as libpng reads it, and files out of the ordinary (a damaged chunk, an
// eXIf chunk only after the image data) are read as libpng reads them.
#include <gtest/gtest.h>
#include <png.h>

#include <random>
#include <vector>

#include "DVImageProcessor.h"
#include "GlyphwickLoad.h"
#include "codecs/PngRows.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Append(png_structp png, png_bytep data, size_t size) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

// Where a picture's eXIf chunk (Exif orientation 6) stands, if anywhere.
enum class Exif { None, Before, After };

// A width x height picture of random samples (channels 1 to 4: grey, grey
// and alpha, colour, colour and alpha; 1 with palette: indexes into 256
// colours, some of them partly transparent) written by libpng with only the
// row filters given (PNG_FILTER_ flags), its image data in chunks of at most
// 97 bytes, with an eXIf chunk before or after the image data.
Bytes WritePng(uint32_t width, uint32_t height, int channels, int filters, Exif exif,
               bool palette = false) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "libpng could not write the picture";
        return {};
    }
    png_set_write_fn(png, &out, Append, nullptr);
    constexpr int kTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                              PNG_COLOR_TYPE_RGB_ALPHA};
    const int colourType = palette ? PNG_COLOR_TYPE_PALETTE : kTypes[channels - 1];
    png_set_IHDR(png, info, width, height, 8, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> colours(256);
    std::vector<png_byte> alpha(16);
    for (int i = 0; i < 256; ++i)
        colours[size_t(i)] = {png_byte(i), png_byte(255 - i), png_byte(i * 7)};
    for (int i = 0; i < 16; ++i) alpha[size_t(i)] = png_byte(i * 16);
    if (palette) {
        png_set_PLTE(png, info, colours.data(), 256);
        png_set_tRNS(png, info, alpha.data(), 16, nullptr);
    }
    // Little-endian TIFF: one entry, the orientation (0x0112, short) 6.
    static uint8_t orientation[] = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3,
                                    0,   1,   0,  0, 0, 6, 0, 0, 0, 0, 0,    0,    0};
    if (exif == Exif::Before) png_set_eXIf_1(png, info, sizeof orientation, orientation);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, filters);
    png_set_compression_buffer_size(png, 97);
    png_write_info(png, info);
    std::mt19937 random(uint32_t(filters * 7 + channels));
    Bytes row(size_t(width) * channels);
    for (uint32_t y = 0; y < height; ++y) {
        // Smooth runs and noise, so that each filter has work of both kinds.
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = uint8_t(i % 17 < 9 ? (i * 3 + y * 5) % 256 : random() % 256);
        png_write_row(png, row.data());
    }
    if (exif == Exif::After) png_set_eXIf_1(png, info, sizeof orientation, orientation);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes Pixels(DVImageProcessor& image) {
    const uint32_t stride = image.GetStride();
    Bytes out(size_t(stride) * image.GetHeight());
    EXPECT_EQ(image.GetBits(out.data(), stride), 0u);
    return out;
}

// Every pixel's colour, through the palette when there is one.
std::vector<uint32_t> Rgb(DVImageProcessor& image) {
    std::vector<uint32_t> out;
    for (uint32_t y = 0; y < image.GetHeight(); ++y)
        for (uint32_t x = 0; x < image.GetWidth(); ++x) {
            uint32_t argb = 0;
            EXPECT_EQ(image.GetPixel(x, y, &argb), 0u);
            out.push_back(argb);
        }
    return out;
}

TEST(PngRows, EveryRowFilterReadsAsLibpngReadsIt) {
    for (const int channels : {1, 2, 3, 4})
        for (const int filters : {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG,
                                  PNG_FILTER_PAETH, PNG_ALL_FILTERS}) {
            SCOPED_TRACE(testing::Message() << channels << " channels, filters " << filters);
            const Bytes file = WritePng(67, 29, channels, filters, Exif::None);
            gw::codec::PngRows rows;
            ASSERT_TRUE(gw::codec::InflatePngRows(file.data(), file.size(), 67, 29,
                                                  uint32_t(channels), rows));
            EXPECT_FALSE(rows.exifAfter);
            DVImageProcessor loaded, plain;
            ASSERT_EQ(gw::LoadImageMemory(file.data(), file.size(), loaded).status, gw::kLoaded);
            ASSERT_EQ(plain.LoadFromMemory(file.data(), uint32_t(file.size()), nullptr), 0u);
            EXPECT_EQ(Pixels(loaded), Pixels(plain));
            if (channels == 1) {  // the same rows as palette indexes, some colours see-through
                const Bytes indexed = WritePng(67, 29, 1, filters, Exif::None, true);
                ASSERT_TRUE(
                    gw::codec::InflatePngRows(indexed.data(), indexed.size(), 67, 29, 1, rows));
                DVImageProcessor a, b;
                ASSERT_EQ(gw::LoadImageMemory(indexed.data(), indexed.size(), a).status,
                          gw::kLoaded);
                ASSERT_EQ(b.LoadFromMemory(indexed.data(), uint32_t(indexed.size()), nullptr), 0u);
                EXPECT_EQ(Pixels(a), Pixels(b));
                EXPECT_EQ(Rgb(a), Rgb(b));
            }
            // Every fourth pixel of every fourth row.
            gw::LoadOptions quarter;
            quarter.scale = 4;
            DVImageProcessor small;
            ASSERT_EQ(gw::LoadImageMemory(file.data(), file.size(), small, quarter).status,
                      gw::kLoaded);
            const size_t pixel = channels >= 3 ? 3 : 1;  // alpha composited away
            for (uint32_t y = 0; y < small.GetHeight(); ++y)
                for (uint32_t x = 0; x < small.GetWidth(); ++x) {
                    const uint8_t* got =
                        small.GetBitmap()->Pixels() + size_t(y) * small.GetStride() + x * pixel;
                    const uint8_t* want = plain.GetBitmap()->Pixels() +
                                          size_t(4 * y) * plain.GetStride() + 4 * x * pixel;
                    ASSERT_EQ(Bytes(got, got + pixel), Bytes(want, want + pixel)) << x << "," << y;
                }
        }
}

// The loader's picture of a 67 x 29 file of Exif orientation 6 is the image
// object's turned upright.
void ExpectTurnedAsTheImageObjectTurnsIt(const Bytes& file) {
    DVImageProcessor turned, plain;
    const gw::LoadInfo info = gw::LoadImageMemory(file.data(), file.size(), turned);
    ASSERT_EQ(info.status, gw::kLoaded);
    EXPECT_EQ(info.exifOrientation, 6);
    ASSERT_EQ(plain.LoadFromMemory(file.data(), uint32_t(file.size()), nullptr), 0u);
    ASSERT_EQ(plain.RotateFlip(1), 0u);  // a quarter turn clockwise: orientation 6 upright
    EXPECT_EQ(turned.GetWidth(), 29u);
    EXPECT_EQ(Pixels(turned), Pixels(plain));
}

TEST(PngRows, PicturesTurnedWhileTheirRowsArePutMatchTheImageObjectsTurn) {
    for (const int channels : {1, 2, 3, 4}) {
        SCOPED_TRACE(testing::Message() << channels << " channels");
        ExpectTurnedAsTheImageObjectTurnsIt(
            WritePng(67, 29, channels, PNG_ALL_FILTERS, Exif::Before));
    }
}

TEST(PngRows, FilesOutOfTheOrdinaryAreReadAsLibpngReadsThem) {
    // A byte of the image data changed: the chunk's CRC fails, and the load
    // fails as libpng's does.
    Bytes damaged = WritePng(67, 29, 3, PNG_ALL_FILTERS, Exif::None);
    const size_t idat = std::string(damaged.begin(), damaged.end()).find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    damaged[idat + 10] ^= 0x40;
    gw::codec::PngRows rows;
    EXPECT_FALSE(gw::codec::InflatePngRows(damaged.data(), damaged.size(), 67, 29, 3, rows));
    DVImageProcessor image, plain;
    EXPECT_EQ(gw::LoadImageMemory(damaged.data(), damaged.size(), image).status, gw::kLoadDamaged);
    EXPECT_NE(plain.LoadFromMemory(damaged.data(), uint32_t(damaged.size()), nullptr), 0u);

    // The Exif orientation only after the image data: the picture is still
    // turned upright.
    const Bytes late = WritePng(67, 29, 3, PNG_ALL_FILTERS, Exif::After);
    ASSERT_TRUE(gw::codec::InflatePngRows(late.data(), late.size(), 67, 29, 3, rows));
    EXPECT_TRUE(rows.exifAfter);
    ExpectTurnedAsTheImageObjectTurnsIt(late);
}

}  // namespace
