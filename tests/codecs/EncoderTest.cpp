// Encoder objects: accepted parameters, the parameter block, and saving with them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "codecs/CodecTestSupport.h"

using namespace codectest;

namespace {

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
    dv::EncoderParameters* raw = nullptr;
    ASSERT_EQ(e.AllocateParameters(&raw, 1), 40u);  // 8 bytes and one entry of 32
    const std::unique_ptr<dv::EncoderParameters, decltype(&std::free)> b(raw, &std::free);
    e.FillParameters(b.get());
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
