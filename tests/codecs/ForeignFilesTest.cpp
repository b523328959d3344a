// Files written by ImageMagick decode as ImageMagick itself sees them, and
// PNG files of every layout load at 1/4 as every fourth pixel of the full.
#include <gtest/gtest.h>

#include <cstdio>

#include "GlyphwickLoad.h"
#include "codecs/CodecTestSupport.h"

using namespace codectest;

namespace {

struct Foreign {
    const char* name;  // output file name
    const char* make;  // convert arguments between the source and the output
    const char* view;  // convert arguments that turn the file into sRGB for comparison
    int32_t format;    // the pixel format the decoder must give
    int tolerance;     // largest channel difference allowed
};

// Runs a shell command and returns its standard output; ok is false when it
// exits with a non-zero status.
std::vector<uint8_t> RunCommand(const std::string& command, bool* ok) {
    std::vector<uint8_t> out;
    *ok = false;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) return out;
    uint8_t buffer[65536];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.insert(out.end(), buffer, buffer + n);
    *ok = pclose(pipe) == 0;
    return out;
}

// True when ImageMagick's convert is available.
bool HaveConvert() {
    bool ok = false;
    RunCommand("convert -version", &ok);
    return ok;
}

// Largest difference of any channel between our decoding and ImageMagick's.
int MaxDifference(const dv::Bitmap& bm, const std::vector<uint8_t>& rgb) {
    const std::vector<uint8_t> ours = Rgb(bm);
    if (ours.size() != rgb.size()) return 1000;
    int worst = 0;
    for (size_t i = 0; i < ours.size(); ++i)
        worst = std::max(worst, std::abs(int(ours[i]) - int(rgb[i])));
    return worst;
}

}  // namespace

TEST(ForeignFiles, ImageMagickOutputDecodesAlike) {
    if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    TempDir dir;
    const std::string src = dir.Path("src.png");
    bool ok = false;
    RunCommand(
        "convert -size 40x30 gradient:red-blue -fill black -draw 'rectangle 5,5 20,20' "
        "-fill yellow -draw 'circle 30,15 34,15' " +
            src,
        &ok);
    ASSERT_TRUE(ok);

    const Foreign cases[] = {
        {"idx.png", "-colors 16 png8:", "", dv::PixelFormat8bppIndexed, 0},
        {"deep.png", "-depth 16 png48:", "", dv::PixelFormat24bppRGB, 1},
        {"bw1.png", "-monochrome -define png:bit-depth=1 -define png:color-type=0 png:", "",
         dv::PixelFormat1bppIndexed, 0},
        {"rgba.png", "-alpha set -channel A -fx i/w +channel png:",
         "-background white -alpha remove", dv::PixelFormat24bppRGB, 2},
        {"ga.png", "-colorspace Gray -alpha set -channel A -fx j/h +channel png:",
         "-background white -alpha remove", dv::PixelFormat8bppIndexed, 2},
        {"inter.png", "-interlace PNG png:", "", dv::PixelFormat24bppRGB, 1},
        {"rle8.bmp", "-colors 64 -type Palette -compress RLE bmp3:", "", dv::PixelFormat8bppIndexed,
         0},
        {"alpha.bmp", "-alpha set -channel A -evaluate set 50% +channel bmp:",
         "-background white -alpha remove", dv::PixelFormat24bppRGB, 2},
        {"mono.bmp", "-monochrome bmp3:", "", dv::PixelFormat1bppIndexed, 0},
        {"cmyk.jpg", "-colorspace CMYK -quality 95 jpg:", "-colorspace sRGB",
         dv::PixelFormat24bppRGB, 2},
        {"prog.jpg", "-interlace Plane -quality 90 jpg:", "", dv::PixelFormat24bppRGB, 1},
        {"grey.jpg", "-colorspace Gray jpg:", "", dv::PixelFormat8bppIndexed, 1},
        {"multi.tif", "\\( +clone -flop \\) tif:", "", dv::PixelFormat24bppRGB, 1},
        {"grey.tif", "-colorspace Gray -compress Zip tif:", "", dv::PixelFormat8bppIndexed, 1},
        {"fax.tif", "-monochrome -compress Group4 tif:", "", dv::PixelFormat1bppIndexed, 0},
        {"tiled.tif", "-define tiff:tile-geometry=16x16 -depth 8 tif:", "", dv::PixelFormat24bppRGB,
         0},
        {"tiledgrey.tif", "-colorspace Gray -depth 8 -define tiff:tile-geometry=32x16 tif:", "",
         dv::PixelFormat8bppIndexed, 0},
        {"tiledfax.tif", "-monochrome -compress Group4 -define tiff:tile-geometry=16x16 tif:", "",
         dv::PixelFormat1bppIndexed, 0},
        {"cmyk.tif", "-colorspace CMYK -depth 8 tif:", "-colorspace sRGB", dv::PixelFormat24bppRGB,
         2},
        {"inter.gif", "-interlace GIF gif:", "", dv::PixelFormat8bppIndexed, 0},
    };
    for (const Foreign& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.Path(c.name);
        RunCommand("convert " + src + " " + c.make + file, &ok);
        ASSERT_TRUE(ok);
        const std::vector<uint8_t> expected =
            RunCommand("convert '" + file + "[0]' " + c.view + " -depth 8 rgb:-", &ok);
        ASSERT_TRUE(ok);
        DVImageProcessor image;
        const uint32_t result = image.LoadFromFile(file.c_str(), nullptr);
        if (std::string(c.name).find(".jpg") != std::string::npos &&
            DetectImageFormat(gwtest::ReadBytes(file).data(), 12) != ImageFormatJpeg) {
            // ImageMagick writes JFIF unless told otherwise; a non-JFIF file
            // is not recognised, but the decoder still reads it.
            EXPECT_EQ(result, 13u);
            DVGdiplusDecoder decoder;
            EXPECT_EQ(image.LoadFromFile(file.c_str(), &decoder), 0u);
        } else {
            ASSERT_EQ(result, 0u);
        }
        ASSERT_NE(image.GetBitmap(), nullptr);
        EXPECT_EQ(image.GetWidth(), 40u);
        EXPECT_EQ(image.GetHeight(), 30u);
        EXPECT_EQ(image.GetPixelFormat(), c.format);
        EXPECT_LE(MaxDifference(*image.GetBitmap(), expected), c.tolerance);
        // A PNG loaded at 1/4 keeps every fourth pixel of every fourth row.
        if (std::string(c.name).find(".png") == std::string::npos) continue;
        const std::vector<uint8_t> bytes = gwtest::ReadBytes(file);
        DVImageProcessor small;
        gw::LoadOptions quarter;
        quarter.scale = 4;
        ASSERT_EQ(gw::LoadImageMemory(bytes.data(), bytes.size(), small, quarter).status,
                  gw::kLoaded);
        ASSERT_EQ(small.GetWidth(), 10u);
        ASSERT_EQ(small.GetHeight(), 8u);
        EXPECT_EQ(small.GetPixelFormat(), c.format);
        for (uint32_t y = 0; y < 8; ++y)
            for (uint32_t x = 0; x < 10; ++x) {
                uint32_t kept = 0, full = 0;
                small.GetPixel(x, y, &kept);
                image.GetPixel(4 * x, 4 * y, &full);
                ASSERT_EQ(kept, full) << x << "," << y;
            }
    }
}
