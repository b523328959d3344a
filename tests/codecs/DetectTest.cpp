// Format recognition from memory, files and streams, and the decoder factory.
#include <gtest/gtest.h>

#include "codecs/CodecTestSupport.h"

using namespace codectest;

namespace {

std::vector<uint8_t> Padded(std::vector<uint8_t> head, size_t length = 12) {
    head.resize(std::max(head.size(), length), 0x55);
    return head;
}

ImageFormat Detect(const std::vector<uint8_t>& data) {
    return DetectImageFormat(data.data(), uint32_t(data.size()));
}

ImageFormat DetectStream(const std::vector<uint8_t>& data, uint64_t* positionAfter = nullptr) {
    dv::IStream* s = nullptr;
    dv::CreateMemoryStream(&s);
    s->Write(data.data(), uint32_t(data.size()), nullptr);  // left at the end
    const ImageFormat f = DetectImageFormat(s);
    uint64_t position = 99;
    s->Seek(0, dv::IStream::SeekCur, &position);
    if (positionAfter) *positionAfter = position;
    s->Release();
    return f;
}

}  // namespace

TEST(Detect, SignaturesFromMemory) {
    EXPECT_EQ(Detect(Padded({0x42, 0x4D})), ImageFormatBmp);
    EXPECT_EQ(Detect(Padded({0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0})),
              ImageFormatJpeg);
    EXPECT_EQ(Detect(Padded({'G', 'I', 'F', '8', '9', 'a'})), ImageFormatGif);
    EXPECT_EQ(Detect(Padded({0x49, 0x49, 0x2A, 0x00})), ImageFormatTiff);
    EXPECT_EQ(Detect(Padded({0x4D, 0x4D, 0x00, 0x2A})), ImageFormatTiff);
    EXPECT_EQ(Detect(Padded({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})), ImageFormatPng);
    EXPECT_EQ(Detect(Padded({0xFF, 0x4F, 0xFF, 0x51, 0x00})), ImageFormatJpeg2000);
    EXPECT_EQ(Detect({0, 0, 0, 0x0C, 0x6A, 0x50, 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A}),
              ImageFormatJpeg2000);
    EXPECT_EQ(Detect(Padded({0xFF, 0xA0})), ImageFormatWsq);
    EXPECT_EQ(Detect(Padded({0x00, 0x01})), ImageFormatUnknown);
    EXPECT_EQ(DetectImageFormat(nullptr, 12), ImageFormatUnknown);

    // Exif JPEG (APP1 first) and a JPEG without the JFIF identifier are not recognised.
    EXPECT_EQ(Detect(Padded({0xFF, 0xD8, 0xFF, 0xE1, 0, 16, 'E', 'x', 'i', 'f', 0})),
              ImageFormatUnknown);
    EXPECT_EQ(Detect(Padded({0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'X', 'X', 0})),
              ImageFormatUnknown);
    EXPECT_EQ(Detect(Padded({0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 1})),
              ImageFormatUnknown);
    // FF D8 FF E0 with any two bytes then "JFIF" 0: exactly 11 bytes give JPEG, 10 do not.
    const std::vector<uint8_t> eleven = {0xFF, 0xD8, 0xFF, 0xE0, 0xAB, 0xCD, 'J', 'F', 'I', 'F', 0};
    EXPECT_EQ(DetectImageFormat(eleven.data(), 11), ImageFormatJpeg);
    EXPECT_EQ(DetectImageFormat(eleven.data(), 10), ImageFormatUnknown);
    // Minimum lengths: a codestream needs 5 bytes, a JP2 box all 12, "II*" 3.
    const uint8_t codestream[] = {0xFF, 0x4F, 0xFF, 0x51, 0x00};
    EXPECT_EQ(DetectImageFormat(codestream, 5), ImageFormatJpeg2000);
    EXPECT_EQ(DetectImageFormat(codestream, 4), ImageFormatUnknown);
    const uint8_t box[] = {0, 0, 0, 0x0C, 0x6A, 0x50, 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};
    EXPECT_EQ(DetectImageFormat(box, 11), ImageFormatUnknown);
    const uint8_t ii[] = {0x49, 0x49, 0x2A};
    EXPECT_EQ(DetectImageFormat(ii, 3), ImageFormatTiff);
    EXPECT_EQ(DetectImageFormat(ii, 2), ImageFormatUnknown);
    // "BM" is tested first: a file starting "BM" is BMP whatever follows.
    EXPECT_EQ(Detect(Padded({0x42, 0x4D, 0x89, 'P', 'N', 'G'})), ImageFormatBmp);
}

TEST(Detect, FilesAndStreamsNeedTwelveBytes) {
    TempDir dir;
    const std::vector<uint8_t> png = Padded({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
    const std::vector<uint8_t> bm11 = Padded({0x42, 0x4D}, 11);
    WriteAll(dir.Path("a.png"), png);
    WriteAll(dir.Path("b.bmp"), bm11);
    const std::wstring a = std::wstring(L"") + std::filesystem::path(dir.Path("a.png")).wstring();
    const std::wstring b = std::filesystem::path(dir.Path("b.bmp")).wstring();
    const std::wstring missing = std::filesystem::path(dir.Path("none.png")).wstring();
    EXPECT_EQ(DetectImageFormat(a.c_str()), ImageFormatPng);
    EXPECT_EQ(DetectImageFormat(b.c_str()), ImageFormatUnknown);
    EXPECT_EQ(DetectImageFormat(missing.c_str()), ImageFormatUnknown);
    EXPECT_EQ(DetectImageFormat(static_cast<const wchar_t*>(nullptr)), ImageFormatUnknown);
    // "BM" with nine more bytes is recognised in memory but not from a file or stream.
    EXPECT_EQ(Detect(bm11), ImageFormatBmp);

    uint64_t position = 99;
    EXPECT_EQ(DetectStream(png, &position), ImageFormatPng);
    EXPECT_EQ(position, 0u);
    EXPECT_EQ(DetectStream(bm11, &position), ImageFormatUnknown);
    EXPECT_EQ(position, 0u);
    EXPECT_EQ(DetectStream(Padded({0x4D, 0x4D, 0x00, 0x2A})), ImageFormatTiff);
    EXPECT_EQ(DetectImageFormat(static_cast<dv::IStream*>(nullptr)), ImageFormatUnknown);
}

TEST(Detect, CreateDecoderMakesTheFamilyMember) {
    for (int32_t format = 1; format <= 5; ++format) {
        std::unique_ptr<DVImageDecoder> d(CreateDecoder(format));
        ASSERT_TRUE(d);
        EXPECT_EQ(typeid(*d), typeid(DVGdiplusDecoder));
    }
    std::unique_ptr<DVImageDecoder> j2k(CreateDecoder(ImageFormatJpeg2000));
    std::unique_ptr<DVImageDecoder> wsq(CreateDecoder(ImageFormatWsq));
    ASSERT_TRUE(j2k && wsq);
    EXPECT_NE(dynamic_cast<DVJpeg2kDecoder*>(j2k.get()), nullptr);
    EXPECT_NE(dynamic_cast<DVWSQDecoder*>(wsq.get()), nullptr);
    EXPECT_EQ(CreateDecoder(0), nullptr);
    EXPECT_EQ(CreateDecoder(8), nullptr);
    EXPECT_EQ(CreateDecoder(-1), nullptr);
    // Without its outside library an outside decoder reports Win32Error.
    dv::Bitmap* bm = nullptr;
    const uint8_t data[4] = {};
    EXPECT_EQ(j2k->DecodeFromMemory(&bm, data, 4), dv::Win32Error);
    EXPECT_EQ(bm, nullptr);
}

TEST(Detect, DecoderArgumentsAndPaths) {
    DVGdiplusDecoder decoder;
    dv::Bitmap* bm = nullptr;
    const uint8_t bytes[3] = {1, 2, 3};
    EXPECT_EQ(decoder.DecodeFromMemory(&bm, nullptr, 10), dv::InvalidParameter);
    EXPECT_EQ(decoder.DecodeFromMemory(nullptr, bytes, 3), dv::InvalidParameter);
    EXPECT_EQ(decoder.DecodeFromMemory(&bm, bytes, 3), dv::UnknownImageFormat);
    EXPECT_EQ(decoder.DecodeFromStream(&bm, nullptr), dv::InvalidParameter);
    EXPECT_EQ(decoder.DecodeFromFile(&bm, static_cast<const wchar_t*>(nullptr)),
              dv::InvalidParameter);
    // An empty narrow path gives Ok and stores nothing.
    EXPECT_EQ(decoder.DecodeFromFile(&bm, ""), dv::Ok);
    EXPECT_EQ(bm, nullptr);
    EXPECT_EQ(decoder.DecodeFromFile(&bm, "/nonexistent/x.png"), dv::Win32Error);
    EXPECT_EQ(bm, nullptr);

    // Exif JPEG data is decoded when handed straight to the decoder.
    BitmapPtr source = MakeImage(16, 8, dv::PixelFormat24bppRGB);
    std::vector<uint8_t> jpeg = Encode(source.get(), dv::kEncoderJpeg);
    jpeg[3] = 0xE1;  // the JFIF segment now reads as APP1
    EXPECT_EQ(Detect(jpeg), ImageFormatUnknown);
    EXPECT_EQ(decoder.DecodeFromMemory(&bm, jpeg.data(), uint32_t(jpeg.size())), dv::Ok);
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(bm->GetWidth(), 16u);
    delete bm;
}
