// The image object's loading, saving and property operations.
#include <gtest/gtest.h>

#include <clocale>

#include "codecs/CodecTestSupport.h"

using namespace codectest;

namespace {

// A decoder that answers every call with a fixed status and counts calls.
class FixedDecoder : public DVGdiplusDecoder {
  public:
    explicit FixedDecoder(dv::Status s) : status_(s) {}
    dv::Status DecodeFromStream(dv::Bitmap** bm, dv::IStream* stream) override {
        ++calls;
        if (status_ == dv::Ok) return DVGdiplusDecoder::DecodeFromStream(bm, stream);
        return status_;
    }
    int calls = 0;

  private:
    dv::Status status_;
};

// An image object holding a test image.
void Fill(DVImageProcessor& image, int32_t format) {
    ASSERT_EQ(image.Create(31, 17, format), 0u);
    BitmapPtr pattern = MakeImage(31, 17, format);
    ASSERT_EQ(image.Attach(pattern.get(), true), 0u);
}

}  // namespace

TEST(LoadSave, LoadConventions) {
    DVImageProcessor image;
    Fill(image, dv::PixelFormat24bppRGB);
    const uint8_t eleven[11] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 'J', 'F', 'I', 'F', 0};
    EXPECT_EQ(image.LoadFromMemory(eleven, 11, nullptr), 13u);
    EXPECT_EQ(image.GetLastError(), 0u);
    EXPECT_EQ(image.GetWidth(), 31u);  // recognition failed before the image was released
    const uint8_t junk[32] = {1, 2, 3};
    EXPECT_EQ(image.LoadFromMemory(junk, sizeof junk, nullptr), 13u);
    EXPECT_EQ(image.LoadFromMemory(nullptr, 5, nullptr), 2u);
    EXPECT_EQ(image.LoadFromStream(nullptr, nullptr), 2u);
    EXPECT_EQ(image.GetWidth(), 31u);

    // A supplied decoder skips recognition; status 1 gives lastError 15 and no image.
    FixedDecoder failing(dv::GenericError);
    EXPECT_EQ(image.LoadFromMemory(junk, sizeof junk, &failing), 1u);
    EXPECT_EQ(failing.calls, 1);
    EXPECT_EQ(image.GetLastError(), 15u);
    EXPECT_EQ(image.GetWidth(), 0u);
    EXPECT_EQ(image.GetStride(), 0u);
    EXPECT_EQ(image.GetBitmap(), nullptr);
    // Any other status is the result, unchanged.
    FixedDecoder busy(dv::ObjectBusy);
    EXPECT_EQ(image.LoadFromMemory(junk, sizeof junk, &busy), uint32_t(dv::ObjectBusy));
    EXPECT_EQ(image.GetLastError(), 0u);
    // A recognised but broken file: the decoder's GenericError becomes 15.
    const uint8_t brokenPng[16] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A,
                                   0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    EXPECT_EQ(image.LoadFromMemory(brokenPng, sizeof brokenPng, nullptr), 1u);
    EXPECT_EQ(image.GetLastError(), 15u);
    // An outside format that its library (DVWSQLib.dll, beside the test
    // programs) refuses: GenericError becomes 15 as for the built-in formats.
    const uint8_t wsq[16] = {0xFF, 0xA0, 0xFF, 0xA8};
    EXPECT_EQ(image.LoadFromMemory(wsq, sizeof wsq, nullptr), 1u);
    EXPECT_EQ(image.GetLastError(), 15u);

    // A good file loads through the supplied decoder too.
    BitmapPtr source = MakeImage(20, 10, dv::PixelFormat8bppIndexed);
    const std::vector<uint8_t> png = Encode(source.get(), dv::kEncoderPng);
    FixedDecoder ok(dv::Ok);
    EXPECT_EQ(image.LoadFromMemory(png.data(), uint32_t(png.size()), &ok), 0u);
    EXPECT_EQ(ok.calls, 1);
    EXPECT_EQ(image.GetStride(), 20u);
    EXPECT_EQ(image.GetBitsPerPixel(), 8u);
    EXPECT_EQ(image.GetTag1(), 1u);
    EXPECT_EQ(DifferentPixels(*source, *image.GetBitmap()), 0);
}

TEST(LoadSave, FilesWideAndNarrow) {
    TempDir dir;
    DVImageProcessor image;
    Fill(image, dv::PixelFormat1bppIndexed);
    const std::string narrow = dir.Path("page.png");
    const std::wstring wide = std::filesystem::path(dir.Path("page.tif")).wstring();
    EXPECT_EQ(image.SaveToFile(narrow.c_str(), 5, nullptr), 0u);
    EXPECT_EQ(image.SaveToFile(wide.c_str(), 4, nullptr), 0u);
    EXPECT_EQ(image.SaveToFile("", 5, nullptr), 2u);
    EXPECT_EQ(image.SaveToFile(static_cast<const char*>(nullptr), 5, nullptr), 2u);
    EXPECT_EQ(image.SaveToFile(narrow.c_str(), 0, nullptr), 1u);
    EXPECT_EQ(image.GetLastError(), 12u);
    EXPECT_EQ(image.SaveToFile(narrow.c_str(), 6, nullptr), 1u);
    EXPECT_EQ(image.GetLastError(), 12u);
    // An unwritable place is the platform's failure, passed on.
    EXPECT_EQ(image.SaveToFile("/nonexistent/dir/x.png", 5, nullptr), uint32_t(dv::Win32Error));

    DVImageProcessor loaded;
    EXPECT_EQ(loaded.LoadFromFile(narrow.c_str(), nullptr), 0u);
    EXPECT_EQ(loaded.GetBitsPerPixel(), 1u);
    EXPECT_EQ(DifferentPixels(*image.GetBitmap(), *loaded.GetBitmap()), 0);
    DVImageProcessor fromTiff;
    EXPECT_EQ(fromTiff.LoadFromFile(wide.c_str(), nullptr), 0u);
    EXPECT_EQ(DifferentPixels(*image.GetBitmap(), *fromTiff.GetBitmap()), 0);
    EXPECT_EQ(loaded.LoadFromFile("", nullptr), 2u);
    EXPECT_EQ(loaded.LoadFromFile(static_cast<const char*>(nullptr), nullptr), 2u);
    EXPECT_EQ(loaded.LoadFromFile(dir.Path("missing.png").c_str(), nullptr), 13u);
    EXPECT_EQ(loaded.GetWidth(), 31u);

    // A narrow path that the locale's conversion rejects gives 2.
    const char* old = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved = old ? old : "C";
    if (std::setlocale(LC_CTYPE, "C.UTF-8")) {
        const std::string bad = dir.Path("bad\xFF\xFE.png");
        EXPECT_EQ(loaded.LoadFromFile(bad.c_str(), nullptr), 2u);
        EXPECT_EQ(image.SaveToFile(bad.c_str(), 5, nullptr), 2u);
        // A valid multibyte name round-trips.
        const std::string utf8 = dir.Path("b\xC3\xA4r.bmp");
        EXPECT_EQ(image.SaveToFile(utf8.c_str(), 1, nullptr), 0u);
        EXPECT_EQ(loaded.LoadFromFile(utf8.c_str(), nullptr), 0u);
    }
    std::setlocale(LC_CTYPE, saved.c_str());

    DVImageProcessor empty;
    EXPECT_EQ(empty.SaveToFile(narrow.c_str(), 5, nullptr), 1u);
    EXPECT_EQ(empty.GetLastError(), 1u);
}
