// The image object's loading, saving and property operations.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>

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

struct Stream {
    dv::IStream* s = nullptr;
    Stream() { dv::CreateMemoryStream(&s); }
    ~Stream() { s->Release(); }
    uint64_t Size() {
        dv::IStream::StatStg st{};
        s->Stat(&st, 0);
        return st.cbSize;
    }
    uint64_t Position() {
        uint64_t p = 0;
        s->Seek(0, dv::IStream::SeekCur, &p);
        return p;
    }
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
    // An outside format without its library passes the decoder's Win32Error on.
    const uint8_t wsq[16] = {0xFF, 0xA0, 0xFF, 0xA8};
    EXPECT_EQ(image.LoadFromMemory(wsq, sizeof wsq, nullptr), uint32_t(dv::Win32Error));

    // A good file loads through the supplied decoder too.
    BitmapPtr source = MakeImage(20, 10, dv::PixelFormat8bppIndexed);
    const std::vector<uint8_t> png = Encode(source.get(), dv::kEncoderPng);
    FixedDecoder ok(dv::Ok);
    EXPECT_EQ(image.LoadFromMemory(png.data(), uint32_t(png.size()), &ok), 0u);
    EXPECT_EQ(ok.calls, 1);
    EXPECT_EQ(image.GetWidth(), 20u);
    EXPECT_EQ(image.GetHeight(), 10u);
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

TEST(LoadSave, SaveToStreamSizeAndRewind) {
    DVImageProcessor image;
    Fill(image, dv::PixelFormat24bppRGB);
    Stream stream;
    const std::vector<uint8_t> hundred(100, 0xAB);
    stream.s->Write(hundred.data(), 100, nullptr);
    uint32_t size = 0;
    ASSERT_EQ(image.SaveToStream(stream.s, &size, 1, false, nullptr), 0u);
    const uint32_t bmpBytes = 14 + 40 + 96 * 17;  // 31 * 3 = 93 rounded to 96 per row
    EXPECT_EQ(size, 100u + bmpBytes);
    EXPECT_EQ(stream.Position(), size);
    ASSERT_EQ(image.SaveToStream(stream.s, nullptr, 1, true, nullptr), 0u);
    EXPECT_EQ(stream.Position(), 0u);
    EXPECT_EQ(stream.Size(), 100u + 2 * bmpBytes);

    EXPECT_EQ(image.SaveToStream(nullptr, &size, 1, false, nullptr), 2u);
    EXPECT_EQ(image.SaveToStream(stream.s, &size, 0, false, nullptr), 1u);
    EXPECT_EQ(image.GetLastError(), 12u);
    EXPECT_EQ(image.SaveToStream(stream.s, &size, 6, false, nullptr), 1u);
    EXPECT_EQ(image.GetLastError(), 12u);

    // Each file type gives its format, which loads back from the stream.
    for (uint32_t type = 1; type <= 5; ++type) {
        Stream s;
        ASSERT_EQ(image.SaveToStream(s.s, nullptr, type, true, nullptr), 0u);
        EXPECT_EQ(DetectImageFormat(s.s), ImageFormat(type));
        DVImageProcessor back;
        EXPECT_EQ(back.LoadFromStream(s.s, nullptr), 0u);
        EXPECT_EQ(back.GetWidth(), 31u);
    }
    // An encoder object does the writing with its parameters.
    DVTiffEncoder tiff;
    tiff.SetParameter(dv::EncoderColorDepth, 1);
    Stream t;
    ASSERT_EQ(image.SaveToStream(t.s, nullptr, 4, true, &tiff), 0u);
    DVImageProcessor back;
    ASSERT_EQ(back.LoadFromStream(t.s, nullptr), 0u);
    EXPECT_EQ(back.GetBitsPerPixel(), 1u);
}

namespace {

struct Seen {
    uint32_t count = 0;
    std::vector<uint32_t> ids;
    std::vector<uint16_t> types;
    std::vector<std::vector<uint8_t>> values;
};

int32_t Collect(dv::PropertyItem* items, uint32_t count, uint64_t argument) {
    auto* seen = reinterpret_cast<Seen*>(argument);
    seen->count = count;
    for (uint32_t i = 0; i < count; ++i) {
        seen->ids.push_back(items[i].id);
        seen->types.push_back(items[i].type);
        const auto* v = static_cast<const uint8_t*>(items[i].value);
        seen->values.emplace_back(v, v + items[i].length);
    }
    return 0;
}

}  // namespace

TEST(LoadSave, PropertyOperations) {
    DVImageProcessor empty;
    uint16_t type = 0;
    uint32_t length = 0;
    const char make[] = "Glyphwick";
    EXPECT_EQ(empty.GetProperty(0x010F, &type, &length, nullptr), 1u);
    EXPECT_EQ(empty.GetLastError(), 1u);
    EXPECT_EQ(empty.SetProperty(0x010F, 2, sizeof make, make), 1u);
    EXPECT_EQ(empty.EnumerateProperties(Collect, 0), 1u);

    DVImageProcessor image;
    Fill(image, dv::PixelFormat8bppIndexed);
    EXPECT_EQ(image.SetProperty(0x010F, 2, sizeof make, nullptr), 2u);
    EXPECT_EQ(image.EnumerateProperties(nullptr, 0), 2u);
    type = 77;
    length = 77;
    uint8_t value[64];
    std::memset(value, 0xEE, sizeof value);
    EXPECT_EQ(image.GetProperty(0x010F, &type, &length, value), 19u);
    EXPECT_EQ(type, 77);  // absent: no output touched
    EXPECT_EQ(length, 77u);
    EXPECT_EQ(value[0], 0xEE);
    EXPECT_EQ(image.GetLastError(), 0u);

    EXPECT_EQ(image.SetProperty(0x010F, 2, sizeof make, make), 0u);
    EXPECT_EQ(image.GetProperty(0x010F, &type, &length, nullptr), 0u);  // length first
    EXPECT_EQ(type, 2);
    EXPECT_EQ(length, sizeof make);
    EXPECT_EQ(image.GetProperty(0x010F, nullptr, nullptr, value), 0u);
    EXPECT_EQ(std::memcmp(value, make, sizeof make), 0);
    const uint16_t orientation = 1;
    EXPECT_EQ(image.SetProperty(0x0112, 3, 2, &orientation), 0u);
    const char other[] = "Other";
    EXPECT_EQ(image.SetProperty(0x010F, 2, sizeof other, other), 0u);  // replaces
    Seen seen;
    EXPECT_EQ(image.EnumerateProperties(Collect, reinterpret_cast<uint64_t>(&seen)), 0u);
    EXPECT_EQ(seen.count, 2u);
    EXPECT_EQ(seen.values[0], std::vector<uint8_t>(other, other + sizeof other));
    // A new object, no properties: the callback sees zero items.
    DVImageProcessor bare;
    Fill(bare, dv::PixelFormat8bppIndexed);
    Seen none;
    none.count = 99;
    EXPECT_EQ(bare.EnumerateProperties(Collect, reinterpret_cast<uint64_t>(&none)), 0u);
    EXPECT_EQ(none.count, 0u);
}

TEST(LoadSave, PropertiesSurviveJpegTiffAndPng) {
    struct Item {
        uint32_t id;
        uint16_t type;
        std::vector<uint8_t> value;
    };
    const std::vector<Item> items = {
        {0x010F, 2, {'A', 'c', 'm', 'e', 0}},                           // Make, IFD0 text
        {0x0131, 2, {'G', 'l', 'y', 'p', 'h', 'w', 'i', 'c', 'k', 0}},  // Software
        {0x9003, 2, {'2', '0', '2', '6', ':', '0', '1', ':', '0', '2',
                     ' ', '0', '3', ':', '0', '4', ':', '0', '5', 0}},
        {0x8827, 3, {0x90, 0x01}},                                  // ISO speed, Exif SHORT
        {0x9286, 7, {'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'h', 'i'}},  // user comment, UNDEFINED
        {0x829A, 5, {1, 0, 0, 0, 0xFA, 0, 0, 0}},                   // exposure 1/250, RATIONAL
        {0x0002, 5, {52, 0, 0, 0, 1, 0, 0, 0, 30, 0, 0, 0,
                     1,  0, 0, 0, 0, 0, 0, 0, 1,  0, 0, 0}},  // GPS latitude
        {0xC000, 4, {0x78, 0x56, 0x34, 0x12}},                // a private LONG
    };
    for (uint32_t type : {2u, 4u, 5u}) {
        for (int32_t format : {dv::PixelFormat1bppIndexed, dv::PixelFormat24bppRGB}) {
            SCOPED_TRACE("file type " + std::to_string(type) + " format " + std::to_string(format));
            DVImageProcessor image;
            Fill(image, format);
            for (const Item& it : items) {
                ASSERT_EQ(
                    image.SetProperty(it.id, it.type, uint32_t(it.value.size()), it.value.data()),
                    0u);
            }
            Stream s;
            ASSERT_EQ(image.SaveToStream(s.s, nullptr, type, true, nullptr), 0u);
            ASSERT_EQ(DetectImageFormat(s.s), ImageFormat(type));
            DVImageProcessor back;
            ASSERT_EQ(back.LoadFromStream(s.s, nullptr), 0u);
            for (const Item& it : items) {
                SCOPED_TRACE(it.id);
                uint16_t t = 0;
                uint32_t length = 0;
                ASSERT_EQ(back.GetProperty(it.id, &t, &length, nullptr), 0u);
                EXPECT_EQ(t, it.type);
                ASSERT_EQ(length, it.value.size());
                std::vector<uint8_t> v(length);
                EXPECT_EQ(back.GetProperty(it.id, nullptr, nullptr, v.data()), 0u);
                EXPECT_EQ(v, it.value);
            }
            // Layout tags of the file are not properties.
            EXPECT_EQ(back.GetProperty(0x0100, nullptr, nullptr, nullptr), 19u);
            EXPECT_EQ(back.GetProperty(0x8769, nullptr, nullptr, nullptr), 19u);
            if (format == dv::PixelFormat24bppRGB && type != 2) {
                EXPECT_EQ(DifferentPixels(*image.GetBitmap(), *back.GetBitmap()), 0);
            }
        }
    }
}
