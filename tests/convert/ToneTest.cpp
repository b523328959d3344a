// Histograms, colour count, thresholds, inversion and convolution.
#include <gtest/gtest.h>

#include "TestImages.h"
#include "image/Grey.h"

using namespace convtest;

TEST(Histogram, CountsBytesChannelsAndGreyLevels) {
    DVImageProcessor image;
    std::vector<uint32_t> bins(256, 999u);
    EXPECT_EQ(image.GetImageHistogram(bins.data(), 256, 0), 1u);
    EXPECT_EQ(image.GetLastError(), 1u);

    Make(image, 10, 10, k8Bit);
    for (uint32_t y = 0; y < 10; ++y) std::fill(Row(image, y), Row(image, y) + 12, 7);
    EXPECT_EQ(image.GetImageHistogram(bins.data(), 256, 3), 0u);
    for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(bins[i], i == 7 ? 100u : 0u) << i;
    bins.assign(256, 999u);
    EXPECT_EQ(image.GetImageHistogram(bins.data(), 4, 0), 0u);
    EXPECT_EQ(std::vector<uint32_t>(bins.begin(), bins.begin() + 5),
              (std::vector<uint32_t>{0, 0, 0, 0, 999}));
    EXPECT_EQ(image.GetImageHistogram(nullptr, 4, 0), 2u);
    EXPECT_EQ(image.GetLastError(), 0u);

    Make(image, 4, 3, k24Bit);
    Put24(image, 0, 0, 0x070707);
    Put24(image, 1, 0, 0x09141E);
    Put24(image, 3, 2, 0x09151F);
    auto count = [&](uint32_t channel, const dv::Rect* rect, uint32_t bin) {
        EXPECT_EQ(image.GetHistogram(bins.data(), 256, channel, rect), 0u);
        return bins[bin];
    };
    EXPECT_EQ(count(1, nullptr, 9), 2u);
    EXPECT_EQ(count(2, nullptr, 0x15), 1u);
    EXPECT_EQ(count(3, nullptr, 0x1E), 1u);
    EXPECT_EQ(count(0, nullptr, 6), 1u);  // (7, 7, 7)
    EXPECT_EQ(bins[gw::GreyLevel(0x09141E)], 1u);
    EXPECT_EQ(count(9, nullptr, 0), 12u);
    const dv::Rect corner{2, 1, 2, 2};
    EXPECT_EQ(count(1, &corner, 9), 1u);
    EXPECT_EQ(bins[0], 3u);

    const dv::Rect outside{2, 1, 3, 2};
    EXPECT_EQ(image.GetHistogram(bins.data(), 256, 0, &outside), 1u);
    EXPECT_EQ(image.GetLastError(), 11u);
    Make(image, 8, 8, k1Bit);
    EXPECT_EQ(image.GetImageHistogram(bins.data(), 256, 0), 1u);
    EXPECT_EQ(image.GetLastError(), 2u);
}

TEST(CountColours, CountsDistinctKeysOfPixelsOnly) {
    DVImageProcessor image;
    uint32_t count = 99;
    EXPECT_EQ(image.CountColours(&count), 1u);
    EXPECT_EQ(image.GetLastError(), 1u);

    Make(image, 3, 1, k24Bit);
    Put24(image, 0, 0, 0x010203);
    Put24(image, 1, 0, 0x010203);
    Put24(image, 2, 0, 0x030201);
    Row(image, 0)[9] = 0x55;  // padding
    EXPECT_EQ(image.CountColours(&count), 0u);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(image.CountColours(nullptr), 1u);
    EXPECT_EQ(image.GetLastError(), 4u);

    Make(image, 3, 2, k8Bit);
    Row(image, 0)[1] = 200;
    Row(image, 1)[2] = 255;
    Row(image, 1)[3] = 17;  // padding
    EXPECT_EQ(image.CountColours(&count), 0u);
    EXPECT_EQ(count, 3u);

    Make(image, 5, 2, k1Bit);
    Row(image, 0)[0] = 0x07;  // only bits past the width
    EXPECT_EQ(image.CountColours(&count), 0u);
    EXPECT_EQ(count, 1u);
    Row(image, 1)[0] = 0x08;
    EXPECT_EQ(image.CountColours(&count), 0u);
    EXPECT_EQ(count, 2u);
}

TEST(Threshold, LevelAndBandEdges) {
    DVImageProcessor image;
    EXPECT_EQ(image.Threshold(128), 1u);
    EXPECT_EQ(image.GetLastError(), 1u);
    auto run = [&](uint32_t (*op)(DVImageProcessor&)) {
        Make(image, 6, 1, k8Bit);
        const uint8_t values[8] = {99, 100, 127, 128, 200, 201, 0, 42};  // 2 padding bytes
        std::copy(values, values + 8, Row(image, 0));
        EXPECT_EQ(op(image), 0u);
        return AllBytes(image);
    };
    EXPECT_EQ(run([](DVImageProcessor& i) { return i.Threshold(128); }),
              (Bytes{0, 0, 0, 255, 255, 255, 0, 42}));
    EXPECT_EQ(run([](DVImageProcessor& i) { return i.ThresholdBand(100, 200); }),
              (Bytes{0, 255, 255, 255, 255, 0, 0, 42}));
    EXPECT_EQ(run([](DVImageProcessor& i) { return i.ThresholdBand(200, 100); }),
              (Bytes{0, 0, 0, 0, 0, 0, 0, 42}));
    EXPECT_EQ(Palette(image), Ramp(false));

    Make(image, 3, 1, k24Bit);
    Put24(image, 0, 0, 0x818181);
    Put24(image, 1, 0, 0x070707);  // grey 6
    Put24(image, 2, 0, 0xFF0000);  // grey 76
    EXPECT_EQ(image.ThresholdBand(6, 76), 0u);
    EXPECT_EQ(AllBytes(image), (Bytes{0, 0, 0, 255, 255, 255, 255, 255, 255, 0, 0, 0}));
    Put24(image, 1, 0, 0x070707);
    EXPECT_EQ(image.Threshold(7), 0u);
    EXPECT_EQ(Row(image, 0)[3], 0);

    Make(image, 8, 1, k1Bit);
    EXPECT_EQ(image.ThresholdBand(0, 255), 1u);
    EXPECT_EQ(image.GetLastError(), 2u);
}

TEST(Invert, ComplementsEveryByteAndTwiceRestores) {
    DVImageProcessor image;
    EXPECT_EQ(image.Invert(), 1u);
    EXPECT_EQ(image.GetLastError(), 1u);
    for (int32_t format : {k1Bit, k8Bit, k24Bit}) {
        Make(image, 5, 3, format);
        uint8_t* p = image.GetBitmap()->Pixels();
        const size_t size = size_t{image.GetStride()} * 3;
        for (size_t i = 0; i < size; ++i) p[i] = uint8_t(i * 37 + 11);
        const Bytes before = AllBytes(image);
        EXPECT_EQ(image.Invert(), 0u);
        for (size_t i = 0; i < size; ++i) ASSERT_EQ(p[i], 255 - before[i]) << i;
        EXPECT_EQ(image.Invert(), 0u);
        EXPECT_EQ(AllBytes(image), before);
    }
}

TEST(Convolve, KernelsOfOnesMinusOnesAndTwo) {
    DVImageProcessor image;
    const int32_t ones[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    const int32_t minusOnes[9] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};
    const int32_t two[1] = {2};
    const int32_t zeroSum[9] = {0, -1, 0, -1, 4, -1, 0, -1, 0};  // left unchanged
    EXPECT_EQ(image.Convolve(ones, 3, 3), 1u);
    EXPECT_EQ(image.GetLastError(), 1u);

    struct Case {
        const int32_t* kernel;
        uint32_t size;
        bool mean;  // else unchanged
    };
    for (const Case& c : {Case{ones, 3, true}, Case{minusOnes, 3, true}, Case{two, 1, false},
                          Case{zeroSum, 3, false}}) {
        Make(image, 5, 5, k8Bit);  // pixel (x, y) = 10 y + 3 x x; padding 0xEE
        uint8_t* p = image.GetBitmap()->Pixels();
        for (uint32_t i = 0; i < 40; ++i)
            p[i] = i % 8 < 5 ? 10 * (i / 8) + 3 * (i % 8) * (i % 8) : 0xEE;
        const Bytes before = AllBytes(image);
        EXPECT_EQ(image.Convolve(c.kernel, c.size, c.size), 0u);
        for (uint32_t i = 0; i < 40; ++i) {
            const uint32_t x = i % 8, y = i / 8;
            uint32_t expected = before[i];
            if (c.mean && x >= 1 && x <= 3 && y >= 1 && y <= 3) {
                expected = 0;
                for (uint32_t j = 0; j < 9; ++j)
                    expected += before[i + (j / 3 - 1) * 8 + j % 3 - 1];
                expected /= 9;
            }
            EXPECT_EQ(p[i], expected) << x << "," << y;
        }
    }
}

TEST(Convolve, ClampsWrapsAndRefuses) {
    DVImageProcessor image;
    Make(image, 3, 3, k8Bit);
    const int32_t edge[3] = {1, -2, 2};  // a row kernel, divisor 1
    Row(image, 0)[1] = 200;              // -400: black
    Row(image, 1)[2] = 200;              // 400: white
    EXPECT_EQ(image.Convolve(edge, 3, 1), 0u);
    EXPECT_EQ(Row(image, 0)[1], 0);
    EXPECT_EQ(Row(image, 1)[1], 255);
    std::vector<int32_t> big(25, 1);  // hh = 2 is not below height - hh = 1: nothing to filter
    const Bytes small = AllBytes(image);
    EXPECT_EQ(image.Convolve(big.data(), 5, 5), 0u);
    EXPECT_EQ(AllBytes(image), small);

    // 128 * 2^24 wraps to INT_MIN and the weights sum to -1: the quotient 2^31
    // does not fit in 32 bits and must come out white, not trap.
    const int32_t wrap[3] = {1 << 24, -(1 << 24) - 1, 0};
    Row(image, 2)[0] = 128;
    EXPECT_EQ(image.Convolve(wrap, 3, 1), 0u);
    EXPECT_EQ(Row(image, 2)[1], 255);

    // 24-bit rows are filtered as bytes, over the first width bytes only.
    Make(image, 3, 1, k24Bit);
    for (uint32_t i = 0; i < 9; ++i) Row(image, 0)[i] = uint8_t(3 * i * i);
    const int32_t pair[3] = {1, 0, 1};
    EXPECT_EQ(image.Convolve(pair, 3, 1), 0u);
    EXPECT_EQ(AllBytes(image), (Bytes{0, 6, 12, 27, 48, 75, 108, 147, 192, 0, 0, 0}));

    EXPECT_EQ(image.Convolve(nullptr, 3, 3), 1u);
    EXPECT_EQ(image.GetLastError(), 10u);
    Make(image, 16, 4, k1Bit);
    EXPECT_EQ(image.Convolve(pair, 1, 1), 1u);
    EXPECT_EQ(image.GetLastError(), 2u);
}
