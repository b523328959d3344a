// Corrupt, truncated, hostile and tiny inputs: every one is answered with a
// status (a precise one where the fault is known), never with a crash, a read
// outside the data or a sanitizer report.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "WsqDecoder.h"
#include "WsqInternal.h"
#include "WsqStreamBuilder.h"
#include "support/TestSupport.h"

namespace {

using gw::wsq::Status;
using wsqtest::StreamBuilder;

std::vector<uint8_t> ReadFile(const std::string& name) {
    std::ifstream in(gwtest::DataPath("wsq/" + name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Decodes through all three entry points, checks that they agree, and
// returns the status.
Status DecodeAll(const std::vector<uint8_t>& data) {
    gw::wsq::FrameInfo inspected;
    const Status inspect = gw::wsq::Inspect(data.data(), data.size(), &inspected);
    gw::wsq::FrameInfo info;
    std::vector<uint8_t> pixels;
    const Status decode = gw::wsq::Decode(data.data(), data.size(), &info, &pixels);
    EXPECT_EQ(inspect, decode);
    if (decode != Status::Ok) {
        EXPECT_TRUE(pixels.empty());
        return decode;
    }
    EXPECT_EQ(pixels.size(), static_cast<size_t>(info.width) * static_cast<size_t>(info.height));
    std::vector<uint8_t> bmp(gw::wsq::BmpFileSize(info.width, info.height));
    EXPECT_EQ(gw::wsq::DecodeToBmp(data.data(), data.size(), bmp.data(), bmp.size()), Status::Ok);
    return decode;
}

// Offsets of the markers of a well-formed stream, found by walking its
// segments: fixed-layout and length-prefixed segments are skipped by their
// length fields, entropy-coded data up to the next FF not followed by 00.
std::vector<size_t> MarkerOffsets(const std::vector<uint8_t>& data) {
    std::vector<size_t> at;
    size_t p = 0;
    while (p + 1 < data.size()) {
        at.push_back(p);
        const uint8_t code = data[p + 1];
        p += 2;
        if (code == 0xA0) continue;  // SOI
        if (code == 0xA1) break;     // EOI
        const size_t length = size_t{data[p]} << 8 | data[p + 1];
        p += length;
        if (code == 0xA3) {  // SOB: entropy-coded data follow
            while (p + 1 < data.size() && !(data[p] == 0xFF && data[p + 1] != 0x00)) ++p;
        }
    }
    return at;
}

std::vector<int> RandomCoefficients(size_t n, std::mt19937& rng) {
    std::vector<int> c(n);
    std::uniform_int_distribution<int> pick(0, 99);
    for (int& v : c) {
        const int p = pick(rng);
        v = p < 60   ? 0
            : p < 90 ? pick(rng) - 50
            : p < 97 ? pick(rng) * 3 - 150
                     : pick(rng) * 400 - 20000;
    }
    return c;
}

TEST(WsqRobustness, NullAndEmptyArguments) {
    const std::vector<uint8_t> wsq = ReadFile("c2_tiny_53x33.br075.wsq");
    gw::wsq::FrameInfo info;
    std::vector<uint8_t> pixels;
    EXPECT_EQ(gw::wsq::Inspect(nullptr, 10, &info), Status::NullArgument);
    EXPECT_EQ(gw::wsq::Inspect(wsq.data(), 0, &info), Status::NullArgument);
    EXPECT_EQ(gw::wsq::Inspect(wsq.data(), wsq.size(), nullptr), Status::NullArgument);
    EXPECT_EQ(gw::wsq::Decode(nullptr, 10, &info, &pixels), Status::NullArgument);
    EXPECT_EQ(gw::wsq::Decode(wsq.data(), wsq.size(), nullptr, &pixels), Status::NullArgument);
    EXPECT_EQ(gw::wsq::Decode(wsq.data(), wsq.size(), &info, nullptr), Status::NullArgument);
    EXPECT_EQ(gw::wsq::DecodeToBmp(wsq.data(), wsq.size(), nullptr, 5000), Status::NullArgument);
    EXPECT_EQ(gw::wsq::WriteBmp(nullptr, info, pixels.data(), 0), Status::NullArgument);
    EXPECT_EQ(gw::wsq::BmpFileSize(0, 5), 0u);
    EXPECT_EQ(gw::wsq::BmpFileSize(5, -1), 0u);
    EXPECT_EQ(gw::wsq::BmpFileSize(16385, 16384), 0u);
    EXPECT_STREQ(gw::wsq::StatusName(Status::FrameTooSmall), "FrameTooSmall");
}

// Every strict prefix lacks the EOI marker and so cannot be complete; cuts at
// and around each marker of every vector, and every cut of the smallest one.
TEST(WsqRobustness, TruncationsFail) {
    for (const char* name : {"a_ridges_256x256", "b2_gradedge_203x181", "c2_tiny_53x33"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> wsq = ReadFile(std::string(name) + ".br075.wsq");
        std::vector<size_t> cuts;
        for (size_t m : MarkerOffsets(wsq)) {
            for (size_t d = 0; d < 8; ++d) {
                if (m + d < wsq.size()) cuts.push_back(m + d);
                if (m >= d) cuts.push_back(m - d);
            }
        }
        if (wsq.size() < 1000) {
            for (size_t n = 0; n < wsq.size(); ++n) cuts.push_back(n);
        }
        for (size_t n : cuts) {
            if (n == 0) continue;
            const std::vector<uint8_t> cut(wsq.begin(), wsq.begin() + static_cast<ptrdiff_t>(n));
            const Status s = DecodeAll(cut);
            ASSERT_NE(s, Status::Ok) << "cut at " << n;
        }
        // The full stream with its last byte missing ends inside EOI.
        const std::vector<uint8_t> cut(wsq.begin(), wsq.end() - 1);
        EXPECT_EQ(DecodeAll(cut), Status::Truncated);
    }
}

// Overwriting a marker's second byte with a code that does not belong there
// breaks the segment structure. (00 would not: after entropy-coded data it
// turns the marker into a stuffed FF data byte, and decoding goes on.)
TEST(WsqRobustness, BrokenMarkersFail) {
    const std::vector<uint8_t> wsq = ReadFile("b_gradedge_200x180.br075.wsq");
    for (size_t m : MarkerOffsets(wsq)) {
        for (uint8_t bad : {uint8_t{0xA0}, uint8_t{0xA7}, uint8_t{0xA9}, uint8_t{0xD8}}) {
            std::vector<uint8_t> broken = wsq;
            if (broken[m + 1] == bad) continue;
            broken[m + 1] = bad;
            EXPECT_NE(DecodeAll(broken), Status::Ok) << "marker at " << m << " -> " << int{bad};
        }
    }
}

// Random byte changes anywhere: the three entry points agree, whatever they
// answer, and many changes are refused.
TEST(WsqRobustness, RandomCorruptions) {
    std::mt19937 rng(20261205);
    const std::pair<const char*, int> runs[] = {{"c2_tiny_53x33", 300},
                                                {"b2_gradedge_203x181", 100}};
    for (auto [name, trials] : runs) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> wsq = ReadFile(std::string(name) + ".br075.wsq");
        std::uniform_int_distribution<size_t> where(0, wsq.size() - 1);
        std::uniform_int_distribution<int> value(0, 255), count(1, 4);
        int refused = 0;
        for (int t = 0; t < trials; ++t) {
            std::vector<uint8_t> bad = wsq;
            for (int k = count(rng); k > 0; --k) bad[where(rng)] = static_cast<uint8_t>(value(rng));
            refused += DecodeAll(bad) != Status::Ok;
        }
        EXPECT_GT(refused, trials / 10);
    }
}

TEST(WsqRobustness, HostileHeadersGetPreciseStatuses) {
    std::vector<int> few(100, 1);
    auto status = [](const StreamBuilder& b, const std::vector<int>& c) {
        return DecodeAll(b.Build(c));
    };
    StreamBuilder b;
    const std::vector<int> full(64 * 64, 3);
    ASSERT_EQ(status(b, full), Status::Ok);

    StreamBuilder huge = b;
    huge.width = 65535;
    huge.height = 65535;
    EXPECT_EQ(status(huge, few), Status::ImageTooLarge);

    // 2^28 pixels are allowed, but a hundred coefficients cannot fill them;
    // that is found before any plane is allocated.
    StreamBuilder big = b;
    big.width = 16384;
    big.height = 16384;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(status(big, few), Status::TooFewCoefficients);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    StreamBuilder empty = b;
    empty.width = 0;
    EXPECT_EQ(status(empty, few), Status::BadFrameSize);

    for (int taps : {0, 1, 8, 33, 255}) {
        StreamBuilder odd = b;
        odd.hiTaps = taps;
        EXPECT_EQ(status(odd, full), Status::BadTransformTable) << taps;
    }
    StreamBuilder noTransform = b;
    noTransform.writeTransform = false;
    EXPECT_EQ(status(noTransform, full), Status::MissingTable);
    StreamBuilder noQuant = b;
    noQuant.writeQuant = false;
    EXPECT_EQ(status(noQuant, full), Status::MissingTable);
    StreamBuilder otherTable = b;
    otherTable.blockTable = 1;
    EXPECT_EQ(status(otherTable, full), Status::MissingTable);
    StreamBuilder badId = b;
    badId.huffmanId = 8;
    EXPECT_EQ(status(badId, full), Status::BadHuffmanTable);

    StreamBuilder oversubscribed = b;
    oversubscribed.extraHuffmanCounts.assign(16, 0);
    oversubscribed.extraHuffmanCounts[0] = 3;  // three 1-bit codes
    EXPECT_EQ(status(oversubscribed, full), Status::OverSubscribedCode);

    StreamBuilder extraBits = b;  // an escape whose 16 bits are cut by EOI
    extraBits.rawData = {102, 5};
    EXPECT_EQ(status(extraBits, full), Status::EscapeTruncated);
    for (uint8_t meaningless : {uint8_t{0}, uint8_t{255}}) {
        StreamBuilder symbol = b;  // a table whose only code decodes to a meaningless symbol
        symbol.extraHuffmanCounts.assign(16, 0);
        symbol.extraHuffmanCounts[7] = 1;
        symbol.huffmanValues = {meaningless};
        symbol.rawData = {0x00};
        EXPECT_EQ(status(symbol, full), Status::BadSymbol);
    }

    // Incomplete code: only symbol 1 has a code (1 bit, "0"); a byte of ones
    // followed by more ones is no code at all.
    StreamBuilder sparse = b;
    sparse.extraHuffmanCounts.assign(16, 0);
    sparse.extraHuffmanCounts[0] = 1;
    sparse.rawData = {0xFE, 0xFE, 0xFE};
    EXPECT_EQ(status(sparse, full), Status::BadHuffmanCode);

    EXPECT_EQ(status(b, std::vector<int>(64 * 64 + 1, 7)), Status::TooManyCoefficients);
    EXPECT_EQ(status(b, std::vector<int>(100, 7)), Status::TooFewCoefficients);

    std::vector<uint8_t> data = b.Build(full);
    data[0] = 0xFE;
    EXPECT_EQ(DecodeAll(data), Status::NoStartOfImage);
    StreamBuilder comment = b;
    comment.comment = "x";
    data = comment.Build(full);
    data[5] = 1;  // COM length 1
    EXPECT_EQ(DecodeAll(data), Status::BadComment);
    data = b.Build(full);
    // EOI straight after the frame header, before any block.
    const std::vector<uint8_t> frameOnly = [&] {
        std::vector<uint8_t> d = data;
        size_t sof = 0;
        while (!(d[sof] == 0xFF && d[sof + 1] == 0xA2)) ++sof;
        d.resize(sof + 19);
        d.push_back(0xFF);
        d.push_back(0xA1);
        return d;
    }();
    EXPECT_EQ(DecodeAll(frameOnly), Status::UnexpectedMarker);
}

// Frames down to 1 x 1 are decoded or refused as too small; none crashes.
TEST(WsqRobustness, TinyFrames) {
    std::mt19937 rng(17);
    int decoded = 0, refused = 0;
    for (int h = 1; h <= 40; h += 1) {
        for (int w = 1; w <= 40; w += (w < 20 ? 1 : 3)) {
            StreamBuilder b;
            b.width = w;
            b.height = h;
            const gw::wsq::Geometry g = gw::wsq::BuildGeometry(w, h);
            gw::wsq::QuantTable q;
            q.q.fill(1.0f);
            const std::vector<int> c =
                RandomCoefficients(static_cast<size_t>(gw::wsq::CodedCoefficients(g, q)), rng);
            const Status s = DecodeAll(b.Build(c));
            ASSERT_TRUE(s == Status::Ok || s == Status::FrameTooSmall)
                << w << "x" << h << ": " << gw::wsq::StatusName(s);
            (s == Status::Ok ? decoded : refused)++;
        }
    }
    EXPECT_GT(decoded, 0);
    EXPECT_GT(refused, 0);

    // The 17 x 13 frame for which the reference codec has no trustworthy decode.
    StreamBuilder b;
    b.width = 17;
    b.height = 13;
    const Status s = DecodeAll(b.Build(RandomCoefficients(17 * 13, rng)));
    EXPECT_TRUE(s == Status::Ok || s == Status::FrameTooSmall || s == Status::TooManyCoefficients)
        << gw::wsq::StatusName(s);
}

}  // namespace
