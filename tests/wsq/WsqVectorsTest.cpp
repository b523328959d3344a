// Decodes of the reference vectors (made by NIST NBIS 5.0.0, see
// tests/data/wsq/README.md) must equal the reference decodes bit for bit, in
// pixels and in the BMP files built from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "WsqDecoder.h"
#include "WsqStreamBuilder.h"
#include "support/TestSupport.h"

namespace {

using gw::wsq::Status;

std::vector<uint8_t> ReadFile(const std::string& name) {
    std::ifstream in(gwtest::DataPath("wsq/" + name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
           uint32_t{b[at + 3]} << 24;
}

uint16_t Le16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

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
        const std::vector<uint8_t> wsq = ReadFile(std::string(v.name) + ".br075.wsq");
        const std::vector<uint8_t> expected = ReadFile(std::string(v.name) + ".br075.dec.raw");
        ASSERT_FALSE(wsq.empty());
        ASSERT_EQ(expected.size(), static_cast<size_t>(v.width * v.height));

        gw::wsq::FrameInfo info;
        std::vector<uint8_t> pixels;
        const Status s = gw::wsq::Decode(wsq.data(), wsq.size(), &info, &pixels);
        ASSERT_EQ(s, Status::Ok) << gw::wsq::StatusName(s);
        EXPECT_EQ(info.width, v.width);
        EXPECT_EQ(info.height, v.height);
        EXPECT_EQ(info.ppi, -1);
        ASSERT_EQ(pixels.size(), expected.size());
        int maxDiff = 0;
        size_t differing = 0;
        for (size_t i = 0; i < pixels.size(); ++i) {
            const int d = std::abs(int{pixels[i]} - int{expected[i]});
            maxDiff = std::max(maxDiff, d);
            differing += d != 0;
        }
        EXPECT_EQ(maxDiff, 0) << differing << " pixels differ";

        gw::wsq::FrameInfo inspected;
        ASSERT_EQ(gw::wsq::Inspect(wsq.data(), wsq.size(), &inspected), Status::Ok);
        EXPECT_EQ(inspected.width, v.width);
        EXPECT_EQ(inspected.height, v.height);
    }
}

// The BMP file: headers, grey ramp, bottom-up rows padded with zeros, and the
// size the size query promises.
TEST(WsqVectors, BmpFileLayout) {
    for (const Vector& v : kVectors) {
        SCOPED_TRACE(v.name);
        const std::vector<uint8_t> wsq = ReadFile(std::string(v.name) + ".br075.wsq");
        const std::vector<uint8_t> expected = ReadFile(std::string(v.name) + ".br075.dec.raw");
        const size_t stride = (static_cast<size_t>(v.width) + 3) / 4 * 4;
        const size_t size = gw::wsq::BmpFileSize(v.width, v.height);
        ASSERT_EQ(size, 1078 + stride * static_cast<size_t>(v.height));

        // One spare byte past the file must stay untouched.
        std::vector<uint8_t> bmp(size + 1, 0xEE);
        ASSERT_EQ(gw::wsq::DecodeToBmp(wsq.data(), wsq.size(), bmp.data(), bmp.size()), Status::Ok);
        EXPECT_EQ(bmp[size], 0xEE);
        EXPECT_EQ(bmp[0], 'B');
        EXPECT_EQ(bmp[1], 'M');
        EXPECT_EQ(Le32(bmp, 2), size);
        EXPECT_EQ(Le32(bmp, 6), 0u);
        EXPECT_EQ(Le32(bmp, 10), 1078u);
        EXPECT_EQ(Le32(bmp, 14), 40u);
        EXPECT_EQ(static_cast<int32_t>(Le32(bmp, 18)), v.width);
        EXPECT_EQ(static_cast<int32_t>(Le32(bmp, 22)), v.height);  // positive: bottom-up
        EXPECT_EQ(Le16(bmp, 26), 1);
        EXPECT_EQ(Le16(bmp, 28), 8);
        EXPECT_EQ(Le32(bmp, 30), 0u);
        EXPECT_EQ(Le32(bmp, 34), stride * static_cast<size_t>(v.height));
        EXPECT_EQ(Le32(bmp, 38), 0u);  // no PPI in these files
        EXPECT_EQ(Le32(bmp, 42), 0u);
        EXPECT_EQ(Le32(bmp, 46), 256u);
        for (uint32_t i = 0; i < 256; ++i) {
            ASSERT_EQ(Le32(bmp, 54 + 4 * i), i | i << 8 | i << 16) << "palette entry " << i;
        }
        for (int y = 0; y < v.height; ++y) {
            const uint8_t* row = bmp.data() + 1078 + static_cast<size_t>(v.height - 1 - y) * stride;
            ASSERT_TRUE(
                std::equal(row, row + v.width, expected.data() + static_cast<size_t>(y) * v.width))
                << "row " << y;
            for (size_t x = static_cast<size_t>(v.width); x < stride; ++x) ASSERT_EQ(row[x], 0);
        }

        // WriteBmp of the decoded pixels writes the same file.
        gw::wsq::FrameInfo info;
        std::vector<uint8_t> pixels;
        ASSERT_EQ(gw::wsq::Decode(wsq.data(), wsq.size(), &info, &pixels), Status::Ok);
        std::vector<uint8_t> again(size);
        ASSERT_EQ(gw::wsq::WriteBmp(pixels.data(), info, again.data(), again.size()), Status::Ok);
        EXPECT_TRUE(std::equal(again.begin(), again.end(), bmp.begin()));

        EXPECT_EQ(gw::wsq::DecodeToBmp(wsq.data(), wsq.size(), bmp.data(), size - 1),
                  Status::BufferTooSmall);
        EXPECT_EQ(gw::wsq::WriteBmp(pixels.data(), info, again.data(), size - 1),
                  Status::BufferTooSmall);
    }
}

// The resolution comes from the PPI line of the first NISTCOM comment.
TEST(WsqVectors, ResolutionFromNistcom) {
    wsqtest::StreamBuilder b;
    b.width = 96;
    b.height = 80;
    std::vector<int> coefficients(96 * 80, 0);
    const struct {
        const char* comment;
        int ppi;
        uint32_t ppm;
    } cases[] = {
        {"NIST_COM 3\nPIX_WIDTH 96\nPPI 500", 500, 19685},
        {"NIST_COM 2\nPPI 1000\nLOSSY 1", 1000, 39370},
        {"NIST_COM 2\nPPI -1\nLOSSY 1", -1, 0},
        {"NIST_COM 1\nPIX_WIDTH 96", -1, 0},
        {"PPI 500 but not a NISTCOM", -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.comment);
        b.comment = c.comment;
        const std::vector<uint8_t> wsq = b.Build(coefficients);
        gw::wsq::FrameInfo info;
        ASSERT_EQ(gw::wsq::Inspect(wsq.data(), wsq.size(), &info), Status::Ok);
        EXPECT_EQ(info.ppi, c.ppi);
        std::vector<uint8_t> bmp(gw::wsq::BmpFileSize(96, 80));
        ASSERT_EQ(gw::wsq::DecodeToBmp(wsq.data(), wsq.size(), bmp.data(), bmp.size()), Status::Ok);
        EXPECT_EQ(Le32(bmp, 38), c.ppm);
        EXPECT_EQ(Le32(bmp, 42), c.ppm);
    }
}

// All-zero coefficients reconstruct to zero, so every pixel is the frame's
// shift (128.00) plus 0.5, truncated; the same when no subband is coded at
// all, which lets a few hundred bytes stand for a large flat frame.
TEST(WsqVectors, FlatImages) {
    wsqtest::StreamBuilder b;
    b.width = 130;
    b.height = 77;
    std::vector<int> coefficients(130 * 77, 0);
    const std::vector<uint8_t> wsq = b.Build(coefficients);
    gw::wsq::FrameInfo info;
    std::vector<uint8_t> pixels;
    ASSERT_EQ(gw::wsq::Decode(wsq.data(), wsq.size(), &info, &pixels), Status::Ok);
    ASSERT_EQ(pixels.size(), 130u * 77u);
    EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](uint8_t p) { return p == 128; }));

    b.width = 3000;
    b.height = 2000;
    b.codedSubbands = 0;
    const std::vector<uint8_t> flat = b.Build({});
    EXPECT_LT(flat.size(), 1000u);
    ASSERT_EQ(gw::wsq::Decode(flat.data(), flat.size(), &info, &pixels), Status::Ok);
    ASSERT_EQ(pixels.size(), 3000u * 2000u);
    EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](uint8_t p) { return p == 128; }));
}

}  // namespace
