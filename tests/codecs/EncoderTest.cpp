// Encoder objects: accepted parameters, the parameter block, and saving with them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "codecs/CodecTestSupport.h"

using namespace codectest;

namespace {

struct BlockDeleter {
    void operator()(dv::EncoderParameters* p) const { std::free(p); }
};
using Block = std::unique_ptr<dv::EncoderParameters, BlockDeleter>;

Block Filled(DVImageEncoder& encoder) {
    dv::EncoderParameters* raw = nullptr;
    const uint32_t n = encoder.ParameterCount();
    if (n == 0 || encoder.AllocateParameters(&raw, int32_t(n)) == 0) return Block();
    encoder.FillParameters(raw);
    return Block(raw);
}

constexpr dv::GUID kOther = {0x12345678, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

}  // namespace

TEST(Encoder, JpegQuality) {
    DVJpegEncoder e;
    EXPECT_EQ(e.ParameterCount(), 0u);
    EXPECT_TRUE(e.SetParameter(dv::EncoderQuality, 100));
    EXPECT_TRUE(e.SetParameter(dv::EncoderQuality, 0));
    EXPECT_TRUE(e.SetParameter(dv::EncoderQuality, 40));
    EXPECT_FALSE(e.SetParameter(dv::EncoderQuality, 101));
    EXPECT_FALSE(e.SetParameter(dv::EncoderQuality, 0xFFFFFFFF));
    EXPECT_FALSE(e.SetParameter(dv::EncoderCompression, 2));
    EXPECT_FALSE(e.SetParameter(kOther, 2));
    EXPECT_EQ(e.ParameterCount(), 1u);
    Block b = Filled(e);
    ASSERT_TRUE(b);
    ASSERT_EQ(b->Count, 1u);
    EXPECT_TRUE(dv::SameGuid(b->Parameter[0].Guid, dv::EncoderQuality));
    EXPECT_EQ(b->Parameter[0].Type, dv::EncoderParameterValueTypeLong);
    EXPECT_EQ(b->Parameter[0].NumberOfValues, 1u);
    EXPECT_EQ(*static_cast<uint32_t*>(b->Parameter[0].Value), 40u);  // the refused 101 left 40
    EXPECT_FALSE(e.ClearParameter(dv::EncoderColorDepth));
    EXPECT_TRUE(e.ClearParameter(dv::EncoderQuality));
    EXPECT_TRUE(e.ClearParameter(dv::EncoderQuality));
    EXPECT_EQ(e.ParameterCount(), 0u);
}

TEST(Encoder, TiffParametersAndBlockOrder) {
    DVTiffEncoder e;
    for (uint32_t v : {2u, 3u, 4u, 5u, 6u}) EXPECT_TRUE(e.SetParameter(dv::EncoderCompression, v));
    EXPECT_FALSE(e.SetParameter(dv::EncoderCompression, 7));
    EXPECT_FALSE(e.SetParameter(dv::EncoderCompression, 1));
    for (uint32_t v : {1u, 4u, 8u, 24u, 32u}) EXPECT_TRUE(e.SetParameter(dv::EncoderColorDepth, v));
    EXPECT_FALSE(e.SetParameter(dv::EncoderColorDepth, 16));
    EXPECT_FALSE(e.SetParameter(dv::EncoderSaveFlag, 17));
    EXPECT_FALSE(e.SetParameter(dv::EncoderQuality, 50));
    EXPECT_EQ(e.ParameterCount(), 2u);  // compression 6, depth 32
    // Colour depth 8 and the save flag without compression: depth at 0, flag at 1.
    EXPECT_TRUE(e.ClearParameter(dv::EncoderCompression));
    EXPECT_TRUE(e.SetParameter(dv::EncoderColorDepth, 8));
    EXPECT_TRUE(e.SetParameter(dv::EncoderSaveFlag, dv::EncoderValueMultiFrame));
    Block b = Filled(e);
    ASSERT_TRUE(b);
    ASSERT_EQ(b->Count, 2u);
    EXPECT_TRUE(dv::SameGuid(b->Parameter[0].Guid, dv::EncoderColorDepth));
    EXPECT_EQ(*static_cast<uint32_t*>(b->Parameter[0].Value), 8u);
    EXPECT_TRUE(dv::SameGuid(b->Parameter[1].Guid, dv::EncoderSaveFlag));
    EXPECT_EQ(*static_cast<uint32_t*>(b->Parameter[1].Value), 18u);
    // All three: compression first.
    EXPECT_TRUE(e.SetParameter(dv::EncoderCompression, 4));
    b = Filled(e);
    ASSERT_EQ(b->Count, 3u);
    EXPECT_TRUE(dv::SameGuid(b->Parameter[0].Guid, dv::EncoderCompression));
    EXPECT_TRUE(dv::SameGuid(b->Parameter[1].Guid, dv::EncoderColorDepth));
    EXPECT_TRUE(dv::SameGuid(b->Parameter[2].Guid, dv::EncoderSaveFlag));
    // Clearing a parameter that was never set is accepted and changes nothing.
    DVTiffEncoder fresh;
    EXPECT_TRUE(fresh.ClearParameter(dv::EncoderSaveFlag));
    EXPECT_EQ(fresh.ParameterCount(), 0u);
    EXPECT_FALSE(fresh.ClearParameter(kOther));
}

TEST(Encoder, ParameterBlocks) {
    DVTiffEncoder e;
    dv::EncoderParameters* b = nullptr;
    EXPECT_EQ(e.AllocateParameters(&b, 0), 0u);
    EXPECT_EQ(e.AllocateParameters(&b, -3), 0u);
    EXPECT_EQ(b, nullptr);
    ASSERT_EQ(e.AllocateParameters(&b, 1), 40u);
    EXPECT_EQ(b->Count, 1u);
    std::free(b);
    b = nullptr;
    ASSERT_EQ(e.AllocateParameters(&b, 3), 104u);
    EXPECT_EQ(b->Count, 3u);
    uint32_t value = 7;
    e.SetParameterEntry(b, 2, dv::EncoderQuality, 4, 1, &value);
    EXPECT_TRUE(dv::SameGuid(b->Parameter[2].Guid, dv::EncoderQuality));
    EXPECT_EQ(b->Parameter[2].Value, &value);
    b->Parameter[0].Value = nullptr;
    e.SetParameterEntry(b, 3, dv::EncoderQuality, 4, 1, &value);  // index out of range: nothing
    e.SetParameterEntry(nullptr, 0, dv::EncoderQuality, 4, 1, &value);
    EXPECT_EQ(b->Parameter[0].Value, nullptr);
    // A block whose count differs from ParameterCount is left alone.
    e.SetParameter(dv::EncoderColorDepth, 24);
    e.FillParameters(b);
    EXPECT_EQ(b->Parameter[0].Value, nullptr);
    e.FillParameters(nullptr);
    std::free(b);
}

TEST(Encoder, EncodingWithAndWithoutParameters) {
    BitmapPtr bm = MakeImage(48, 32, dv::PixelFormat24bppRGB);
    DVJpegEncoder jpeg;
    dv::IStream* a = nullptr;
    dv::IStream* b = nullptr;
    dv::CreateMemoryStream(&a);
    dv::CreateMemoryStream(&b);
    EXPECT_EQ(jpeg.EncodeToStream(nullptr, a, &dv::kEncoderJpeg), dv::InvalidParameter);
    EXPECT_EQ(jpeg.EncodeToStream(bm.get(), nullptr, &dv::kEncoderJpeg), dv::InvalidParameter);
    EXPECT_EQ(jpeg.EncodeToStream(bm.get(), a, nullptr), dv::InvalidParameter);
    EXPECT_EQ(jpeg.EncodeToFile(bm.get(), nullptr, &dv::kEncoderJpeg), dv::InvalidParameter);
    // No parameter set: the same bytes as a save without an encoder object.
    ASSERT_EQ(jpeg.EncodeToStream(bm.get(), a, &dv::kEncoderJpeg), dv::Ok);
    ASSERT_EQ(dv::SaveImageToStream(bm.get(), b, &dv::kEncoderJpeg, nullptr), dv::Ok);
    dv::IStream::StatStg sa{}, sb{};
    a->Stat(&sa, 0);
    b->Stat(&sb, 0);
    EXPECT_EQ(sa.cbSize, sb.cbSize);
    EXPECT_EQ(Encode(bm.get(), dv::kEncoderJpeg).size(), sa.cbSize);
    // Quality 10 makes a smaller file.
    jpeg.SetParameter(dv::EncoderQuality, 10);
    dv::IStream* c = nullptr;
    dv::CreateMemoryStream(&c);
    ASSERT_EQ(jpeg.EncodeToStream(bm.get(), c, &dv::kEncoderJpeg), dv::Ok);
    dv::IStream::StatStg sc{};
    c->Stat(&sc, 0);
    EXPECT_LT(sc.cbSize, sa.cbSize);
    // A failing save is recorded on the bitmap: an unknown encoder identifier.
    const dv::CLSID unknown = kOther;
    bm->GetLastStatus();
    EXPECT_EQ(jpeg.EncodeToStream(bm.get(), c, &unknown), dv::InvalidParameter);
    EXPECT_EQ(bm->GetLastStatus(), dv::InvalidParameter);
    a->Release();
    b->Release();
    c->Release();

    // The TIFF encoder's depth reaches the file.
    DVTiffEncoder tiff;
    tiff.SetParameter(dv::EncoderColorDepth, 1);
    TempDir dir;
    const std::wstring path = std::filesystem::path(dir.Path("x.tif")).wstring();
    ASSERT_EQ(tiff.EncodeToFile(bm.get(), path.c_str(), &dv::kEncoderTiff), dv::Ok);
    BitmapPtr back = Decode(ReadAll(dir.Path("x.tif")));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetPixelFormat(), dv::PixelFormat1bppIndexed);
}

TEST(Encoder, EncoderListByMimeType) {
    dv::CLSID clsid{};
    const std::pair<const wchar_t*, const dv::GUID*> table[] = {{L"image/bmp", &dv::kEncoderBmp},
                                                                {L"image/jpeg", &dv::kEncoderJpeg},
                                                                {L"image/gif", &dv::kEncoderGif},
                                                                {L"image/tiff", &dv::kEncoderTiff},
                                                                {L"image/png", &dv::kEncoderPng}};
    for (const auto& [mime, expected] : table) {
        ASSERT_TRUE(dv::FindEncoderClsid(mime, &clsid));
        EXPECT_TRUE(dv::SameGuid(clsid, *expected));
    }
    EXPECT_EQ(dv::kEncoderPng.Data1, 0x557CF406u);
    EXPECT_FALSE(dv::FindEncoderClsid(L"image/PNG", &clsid));
    EXPECT_FALSE(dv::FindEncoderClsid(L"image/x-icon", &clsid));
    EXPECT_FALSE(dv::FindEncoderClsid(nullptr, &clsid));
}
