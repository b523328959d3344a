// Decodes of the reference vectors (made by NIST NBIS 5.0.0, see
// tests/data/wsq/README.md) must equal the reference decodes bit for bit, in
// pixels and in the BMP files built from them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WsqDecoder.h"
#include "support/TestSupport.h"

namespace {

using gw::wsq::Status;

struct Vector {
    const char* name;
    int width;
    int height;
};

constexpr Vector kVectors[] = {
    {"a_ridges_256x256", 256, 256},
    {"b_gradedge_200x180", 200, 180},
    {"b2_gradedge_203x181", 203, 181},
    {"c2_tiny_53x33", 53, 33},
};

TEST(WsqVectors, DecodesEqualReferenceBitForBit) {
    for (const Vector& v : kVectors) {
        SCOPED_TRACE(v.name);
        const std::string stem = gwtest::DataPath("wsq/") + v.name + ".br075";
        const std::vector<uint8_t> wsq = gwtest::ReadBytes(stem + ".wsq");
        const std::vector<uint8_t> expected = gwtest::ReadBytes(stem + ".dec.raw");
        ASSERT_FALSE(wsq.empty());
        ASSERT_EQ(expected.size(), static_cast<size_t>(v.width * v.height));

        gw::wsq::FrameInfo info;
        std::vector<uint8_t> pixels;
        const Status s = gw::wsq::Decode(wsq.data(), wsq.size(), &info, &pixels);
        ASSERT_EQ(s, Status::Ok) << gw::wsq::StatusName(s);
        EXPECT_EQ(info.width, v.width);
        EXPECT_EQ(info.height, v.height);
        EXPECT_EQ(info.ppi, -1);
        EXPECT_TRUE(pixels == expected) << "the decode differs from the reference";

        gw::wsq::FrameInfo inspected;
        ASSERT_EQ(gw::wsq::Inspect(wsq.data(), wsq.size(), &inspected), Status::Ok);
        EXPECT_EQ(inspected.width, v.width);
        EXPECT_EQ(inspected.height, v.height);
    }
}

}  // namespace
