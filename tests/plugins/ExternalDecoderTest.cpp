// The outside decoders: binding and its failures, the decoders made by format
// code, and JPEG 2000 data decoded end to end through the image object's
// loading operations.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "DVImageCodecs.h"
#include "DVImageProcessor.h"
#include "PluginTestSupport.h"
#include "codecs/LibraryCache.h"

namespace {

using namespace plugintest;
namespace fs = std::filesystem;
using BitmapPtr = std::unique_ptr<dv::Bitmap>;

// A JPEG 2000 decoder bound to a stand-in library that lacks
// "GetBMPBufferSizeFromJ2KFileW", counting its binding attempts.
class PartialJpeg2kDecoder : public DVJpeg2kDecoder {
  public:
    PartialJpeg2kDecoder() { std::strcpy(libraryName, "FakeJ2KNoFileW.dll"); }
    bool BindEntryPoints(void* module) override {
        ++bindings;
        return DVJpeg2kDecoder::BindEntryPoints(module);
    }
    bool FirstFiveBound() const {
        return convertBuffer && convertFileA && convertFileW && sizeBuffer && sizeFileA;
    }
    bool LastBound() const { return sizeFileW != nullptr; }
    bool Loaded() const { return loaded; }
    int bindings = 0;
};

// A WSQ decoder whose library does not exist.
class MissingWsqDecoder : public DVWSQDecoder {
  public:
    MissingWsqDecoder() { std::strcpy(libraryName, "NoSuchWsqLibrary.dll"); }
    bool BindEntryPoints(void* module) override {
        ++bindings;
        return DVWSQDecoder::BindEntryPoints(module);
    }
    int bindings = 0;
};

dv::IStream* NewStream(const std::vector<uint8_t>& bytes) {
    dv::IStream* stream = nullptr;
    dv::CreateMemoryStream(&stream);
    stream->Write(bytes.data(), uint32_t(bytes.size()), nullptr);
    return stream;
}

struct StreamRelease {
    void operator()(dv::IStream* s) const { s->Release(); }
};
using StreamPtr = std::unique_ptr<dv::IStream, StreamRelease>;

// Every decoding slot of a decoder, with the given data, on a file holding it.
void ExpectEveryCallFails(DVImageDecoder& decoder, const std::vector<uint8_t>& data,
                          const fs::path& file, dv::Status expected) {
    dv::Bitmap* bitmap = nullptr;
    const StreamPtr stream(NewStream(data));
    EXPECT_EQ(decoder.DecodeFromMemory(&bitmap, data.data(), uint32_t(data.size())), expected);
    EXPECT_EQ(decoder.DecodeFromStream(&bitmap, stream.get()), expected);
    EXPECT_EQ(decoder.DecodeFromFile(&bitmap, file.wstring().c_str()), expected);
    EXPECT_EQ(decoder.DecodeFromFile(&bitmap, file.c_str()), expected);
    EXPECT_EQ(bitmap, nullptr);
}

TEST(ExternalDecoders, MissingEntryPointOrLibraryFailsEveryCallWithWin32Error) {
    TempFolder folder;
    const auto data = gwtest::EncodeJ2k(MakeImage(8, 8, 1), false);
    const fs::path file = folder.Path() / "small.j2k";
    ASSERT_TRUE(WriteBytes(file, data));

    PartialJpeg2kDecoder partial;
    EXPECT_FALSE(partial.BindEntryPoints(nullptr));
    partial.bindings = 0;
    ExpectEveryCallFails(partial, data, file, dv::Win32Error);
    // Bound in order up to the missing one; each call tried binding again.
    EXPECT_TRUE(partial.FirstFiveBound());
    EXPECT_FALSE(partial.LastBound());
    EXPECT_FALSE(partial.Loaded());
    EXPECT_EQ(partial.bindings, 4);
    // The library stays loaded in the cache all the same.
    EXPECT_TRUE(IsLoaded(ProgramDirectory() + "FakeJ2KNoFileW.dll"));

    MissingWsqDecoder missing;
    ExpectEveryCallFails(missing, data, file, dv::Win32Error);
    EXPECT_EQ(missing.bindings, 0);

    // The base class binds nothing, so even a present library fails.
    DVExternalDecoder base("OpenJPEG_32.dll");
    ExpectEveryCallFails(base, data, file, dv::Win32Error);
    EXPECT_FALSE(base.BindEntryPoints(dv::LibraryCache::Instance().Load("OpenJPEG_32.dll")));

    // Made by format code: the outside decoders come bound to their libraries.
    std::unique_ptr<DVImageDecoder> made(CreateDecoder(ImageFormatJpeg2000));
    EXPECT_NE(dynamic_cast<DVJpeg2kDecoder*>(made.get()), nullptr);
    made.reset(CreateDecoder(ImageFormatWsq));
    EXPECT_NE(dynamic_cast<DVWSQDecoder*>(made.get()), nullptr);
}

// The expected pixels of a lossless image as an image object holds them:
// grey bytes, or blue, green, red.
std::vector<uint8_t> ExpectedRows(const gwtest::J2kImage& image) {
    const bool grey = image.planes.size() < 3;
    std::vector<uint8_t> rows;
    for (size_t p = 0; p < size_t(image.width) * image.height; ++p) {
        if (grey) {
            rows.push_back(uint8_t(image.planes[0][p]));
        } else {
            for (int c = 2; c >= 0; --c) rows.push_back(uint8_t(image.planes[c][p]));
        }
    }
    return rows;
}

// Pixels of an image object, row by row, without the row padding.
std::vector<uint8_t> Rows(DVImageProcessor& image) {
    const uint32_t rowBytes = image.GetWidth() * image.GetBitsPerPixel() / 8;
    std::vector<uint8_t> rows(size_t(rowBytes) * image.GetHeight());
    for (uint32_t y = 0; y < image.GetHeight(); ++y)
        image.GetBytes(y, 0, rows.data() + size_t(y) * rowBytes, rowBytes);
    return rows;
}

// Loads the data every way the image object offers and checks each result.
void ExpectLoadsEveryWay(const std::vector<uint8_t>& data, const fs::path& file, uint32_t width,
                         uint32_t height, int32_t format, const std::vector<uint8_t>& expected) {
    ASSERT_TRUE(WriteBytes(file, data));
    const StreamPtr stream(NewStream(data));
    stream->Seek(3, dv::IStream::SeekSet, nullptr);
    for (int way = 0; way < 4; ++way) {
        SCOPED_TRACE(way);
        DVImageProcessor image;
        uint32_t result = 1;
        switch (way) {
            case 0:
                result = image.LoadFromFile(file.c_str(), nullptr);
                break;
            case 1:
                result = image.LoadFromFile(file.wstring().c_str(), nullptr);
                break;
            case 2:
                result = image.LoadFromStream(stream.get(), nullptr);
                break;
            case 3:
                result = image.LoadFromMemory(data.data(), uint32_t(data.size()), nullptr);
        }
        ASSERT_EQ(result, 0u);
        EXPECT_EQ(image.GetWidth(), width);
        EXPECT_EQ(image.GetHeight(), height);
        EXPECT_EQ(image.GetPixelFormat(), format);
        EXPECT_EQ(Rows(image), expected);
    }
    uint64_t position = 1;
    stream->Seek(0, dv::IStream::SeekCur, &position);
    EXPECT_EQ(position, 0u);  // the stream is left at its start
}

TEST(Jpeg2kDecoder, LoadsCodestreamsAndJp2FilesEveryWay) {
    TempFolder folder;
    const auto grey = MakeImage(45, 27, 1);
    const auto colour = MakeImage(33, 21, 3);
    for (const bool jp2 : {false, true}) {
        SCOPED_TRACE(jp2 ? "JP2" : "J2K");
        const fs::path file = folder.Path() / (jp2 ? "image.jp2" : "image.j2k");
        ExpectLoadsEveryWay(gwtest::EncodeJ2k(grey, jp2), file, 45, 27, dv::PixelFormat8bppIndexed,
                            ExpectedRows(grey));
        ExpectLoadsEveryWay(gwtest::EncodeJ2k(colour, jp2), file, 33, 21, dv::PixelFormat24bppRGB,
                            ExpectedRows(colour));
    }

    // The 8-bit path and the decoder's own operations.
    const auto data = gwtest::EncodeJ2k(grey, true);
    const fs::path file = folder.Path() / "grey.jp2";
    ASSERT_TRUE(WriteBytes(file, data));
    DVJpeg2kDecoder decoder;
    dv::Bitmap* raw = nullptr;
    ASSERT_EQ(decoder.DecodeFromFile(&raw, file.c_str()), dv::Ok);
    BitmapPtr bitmap(raw);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->GetWidth(), 45u);
    EXPECT_EQ(bitmap->GetPixelFormat(), dv::PixelFormat8bppIndexed);
    DVImageProcessor image;
    ASSERT_EQ(image.LoadFromFile(file.c_str(), &decoder), 0u);
    EXPECT_EQ(Rows(image), ExpectedRows(grey));
}

}  // namespace
