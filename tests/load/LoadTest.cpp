// The loader of any image file: JPEG of every marker layout, the Exif
// orientation, TIFF pages, and a status with a reason in words for each
// failure; the format detection of the image object stays as it was.
#include <gtest/gtest.h>

#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "DVImageProcessor.h"
#include "GlyphwickLoad.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A 16 x 8 colour picture, its left 8 x 8 block black and the rest white,
// encoded by the library as a JFIF JPEG.
Bytes JfifPicture() {
    DVImageProcessor image;
    EXPECT_EQ(image.Create(16, 8, dv::PixelFormat24bppRGB), 0u);
    std::vector<uint8_t> rows(48 * 8, 255);
    for (int y = 0; y < 8; ++y) std::fill_n(rows.begin() + y * 48, 24, 0);
    EXPECT_EQ(image.SetBits(rows.data(), 48), 0u);
    dv::IStream* stream = nullptr;
    dv::CreateMemoryStream(&stream);
    uint32_t size = 0;
    EXPECT_EQ(image.SaveToStream(stream, &size, 2, true, nullptr), 0u);
    Bytes out(size);
    stream->Read(out.data(), size, nullptr);
    stream->Release();
    return out;
}

// The JPEG with its APP0 (JFIF) segment replaced by segment (empty: none).
Bytes ReplaceApp0(const Bytes& jpeg, const Bytes& segment) {
    EXPECT_EQ(jpeg[3], 0xE0);
    const size_t app0 = 4 + (size_t(jpeg[4]) << 8 | jpeg[5]);
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), jpeg.begin() + long(app0), jpeg.end());
    return out;
}

// An APP1 Exif segment holding only the orientation tag.
Bytes ExifSegment(uint16_t orientation) {
    const uint8_t o = uint8_t(orientation);
    return {0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,  // header
            1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, o, 0, 0, 0,  // one entry: 0x0112
                                                             // SHORT
            0, 0, 0, 0};
}

// An Adobe APP14 segment (transform 1: YCbCr).
Bytes AdobeSegment() {
    return {0xFF, 0xEE, 0, 14, 'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 1};
}

uint8_t Grey(DVImageProcessor& image, uint32_t x, uint32_t y) {
    uint32_t argb = 0;
    EXPECT_EQ(image.GetPixel(x, y, &argb), 0u);
    return uint8_t(argb >> 8);  // green
}

TEST(LoadJpeg, EveryMarkerLayoutLoadsWhereTheImageObjectAloneRefusesIt) {
    const Bytes jfif = JfifPicture();
    const Bytes layouts[] = {ReplaceApp0(jfif, ExifSegment(1)), ReplaceApp0(jfif, {}),
                             ReplaceApp0(jfif, AdobeSegment())};
    for (const Bytes& data : layouts) {
        SCOPED_TRACE(data[3]);
        // The image object keeps recognising JFIF only.
        DVImageProcessor plain;
        EXPECT_EQ(plain.LoadFromMemory(data.data(), uint32_t(data.size()), nullptr), 13u);
        DVImageProcessor image;
        const gw::LoadInfo info = gw::LoadImageMemory(data.data(), data.size(), image);
        ASSERT_EQ(info.status, gw::kLoaded) << info.reason;
        EXPECT_EQ(info.format, "JPEG");
        EXPECT_EQ(info.pageCount, 1u);
        EXPECT_EQ(image.GetWidth(), 16u);
        EXPECT_LT(Grey(image, 2, 2), 40);
        EXPECT_GT(Grey(image, 13, 2), 215);
    }
}

TEST(LoadJpeg, ExifOrientationTurnsThePictureUprightUnlessKept) {
    const Bytes jfif = JfifPicture();
    // Where the black left half lands for each tag: 6 turns a quarter
    // clockwise and 5 transposes (top half of 8 x 16), 8 a quarter
    // anticlockwise (bottom half), 3 half a turn and 2 mirrors (right half).
    struct Case {
        uint16_t tag;
        uint32_t width;
        uint32_t darkX, darkY;
    };
    for (const Case c : {Case{6, 8, 4, 3}, Case{8, 8, 4, 12}, Case{3, 16, 12, 4},
                         Case{2, 16, 12, 4}, Case{5, 8, 4, 3}, Case{1, 16, 3, 4}}) {
        SCOPED_TRACE(c.tag);
        const Bytes data = ReplaceApp0(jfif, ExifSegment(c.tag));
        DVImageProcessor image;
        gw::LoadInfo info = gw::LoadImageMemory(data.data(), data.size(), image);
        ASSERT_EQ(info.status, gw::kLoaded) << info.reason;
        EXPECT_EQ(info.exifOrientation, c.tag);
        ASSERT_EQ(image.GetWidth(), c.width);
        EXPECT_LT(Grey(image, c.darkX, c.darkY), 40);
        EXPECT_GT(Grey(image, image.GetWidth() - 1 - c.darkX, image.GetHeight() - 1 - c.darkY),
                  215);
        // The stored pixels on request.
        DVImageProcessor stored;
        info = gw::LoadImageMemory(data.data(), data.size(), stored, {false, 1});
        EXPECT_EQ(info.exifOrientation, c.tag);
        EXPECT_EQ(stored.GetWidth(), 16u);
        EXPECT_LT(Grey(stored, 3, 4), 40);
    }
}

// A TIFF file of 8-bit grey pages of the given widths (4 rows each), every
// pixel of page k at level 10 * (k + 1).
Bytes TiffPages(std::initializer_list<uint32_t> widths, const std::string& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    EXPECT_NE(tif, nullptr);
    int page = 0;
    for (uint32_t w : widths) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 4u);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 4u);
        std::vector<uint8_t> row(w, uint8_t(10 * ++page));
        for (uint32_t y = 0; y < 4; ++y) TIFFWriteScanline(tif, row.data(), y, 0);
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

TEST(LoadTiff, PagesAreCountedAndEachLoads) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("gw-pages-" + std::to_string(getpid()) + ".tif"))
            .string();
    const Bytes data = TiffPages({8, 12, 20}, path);
    for (uint32_t page = 1; page <= 3; ++page) {
        DVImageProcessor image;
        const gw::LoadInfo info = gw::LoadImageFile(path, image, {true, page});
        ASSERT_EQ(info.status, gw::kLoaded) << info.reason;
        EXPECT_EQ(info.format, "TIFF");
        EXPECT_EQ(info.pageCount, 3u);
        EXPECT_EQ(image.GetWidth(), page == 1 ? 8u : page == 2 ? 12u : 20u);
        EXPECT_EQ(Grey(image, 1, 1), 10 * page);
    }
    DVImageProcessor image;
    gw::LoadInfo info = gw::LoadImageMemory(data.data(), data.size(), image, {true, 4});
    EXPECT_EQ(info.status, gw::kLoadNoSuchPage);
    EXPECT_EQ(info.reason, "there is no page 4: the file has 3 pages");
    info = gw::LoadImageMemory(data.data(), data.size(), image, {true, 0});
    EXPECT_EQ(info.status, gw::kLoadBadArgument);
    std::filesystem::remove(path);
}

TEST(LoadFailures, EachHasItsStatusAndAReasonInWords) {
    DVImageProcessor image;
    const auto dir = std::filesystem::temp_directory_path();
    gw::LoadInfo info = gw::LoadImageFile((dir / "gw-no-such-file.png").string(), image);
    EXPECT_EQ(info.status, gw::kLoadNoSuchFile);
    EXPECT_EQ(info.reason, "no such file");
    info = gw::LoadImageFile(dir.string(), image);
    EXPECT_EQ(info.status, gw::kLoadUnreadable);
    EXPECT_NE(info.reason.find("folder"), std::string::npos);

    const std::string text = "plain text, no image";
    info = gw::LoadImageMemory(reinterpret_cast<const uint8_t*>(text.data()), text.size(), image);
    EXPECT_EQ(info.status, gw::kLoadUnknownFormat);
    EXPECT_NE(info.reason.find("unrecognised image format"), std::string::npos);
    const std::string webp = std::string("RIFF\x10\0\0\0WEBPVP8 ", 16);
    info = gw::LoadImageMemory(reinterpret_cast<const uint8_t*>(webp.data()), webp.size(), image);
    EXPECT_EQ(info.status, gw::kLoadUnknownFormat);
    EXPECT_NE(info.reason.find("WebP"), std::string::npos);

    // A JPEG cut after its first 200 bytes.
    Bytes cut = JfifPicture();
    cut.resize(200);
    info = gw::LoadImageMemory(cut.data(), cut.size(), image);
    EXPECT_EQ(info.status, gw::kLoadDamaged);
    EXPECT_EQ(info.format, "JPEG");
    EXPECT_NE(info.reason.find("damaged"), std::string::npos);

    // A BMP header for 20000 x 20000 pixels: over the pixel limit.
    Bytes bmp(54, 0);
    const auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bmp[at + i] = uint8_t(v >> (8 * i));
    };
    bmp[0] = 'B', bmp[1] = 'M';
    put32(2, 54), put32(10, 54), put32(14, 40), put32(18, 20000), put32(22, 20000);
    bmp[26] = 1, bmp[28] = 24;
    info = gw::LoadImageMemory(bmp.data(), bmp.size(), image);
    EXPECT_EQ(info.status, gw::kLoadTooLarge) << info.reason;
    EXPECT_NE(info.reason.find("more pixels"), std::string::npos);
    // Saving picks its format by the name's extension, in any case; others have none.
    EXPECT_EQ(gw::SaveTypeOfPath("out/page.JPEG"), 2u);
    EXPECT_EQ(gw::SaveTypeOfPath("scan.tiff"), 4u);
    EXPECT_EQ(gw::SaveTypeOfPath("a.png"), 5u);
    EXPECT_EQ(gw::SaveTypeOfPath("png"), 0u);
    EXPECT_EQ(gw::SaveTypeOfPath("page.webp"), 0u);
}

}  // namespace
