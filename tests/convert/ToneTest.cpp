// Histograms, colour count, thresholds, inversion and convolution.
#include <gtest/gtest.h>

#include <climits>

#include "TestImages.h"
#include "image/Grey.h"

using namespace convtest;

TEST(Histogram, CountsBytesChannelsAndGreyLevels) {
    DVImageProcessor image;
    std::vector<uint32_t> bins(256, 0);
    EXPECT_EQ(image.GetImageHistogram(bins.data(), 256, 0), 1u);
    EXPECT_EQ(image.GetLastError(), 1u);

    Make(image, 10, 10, k8Bit);
    for (uint32_t y = 0; y < 10; ++y) std::fill(Row(image, y), Row(image, y) + 12, 7);
    std::fill(bins.begin(), bins.end(), 999u);
    EXPECT_EQ(image.GetImageHistogram(bins.data(), 256, 3), 0u);
    for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(bins[i], i == 7 ? 100u : 0u) << i;
    std::fill(bins.begin(), bins.end(), 999u);
    EXPECT_EQ(image.GetImageHistogram(bins.data(), 4, 0), 0u);
    EXPECT_EQ(bins[0] + bins[1] + bins[2] + bins[3], 0u);
    EXPECT_EQ(bins[4], 999u);  // past the bin count: not touched
    EXPECT_EQ(image.GetImageHistogram(nullptr, 4, 0), 2u);
    EXPECT_EQ(image.GetLastError(), 0u);

    Make(image, 4, 3, k24Bit);
    Put24(image, 0, 0, 7, 7, 7);
    Put24(image, 1, 0, 9, 20, 30);
    Put24(image, 3, 2, 9, 21, 31);
    const uint32_t pixels = 12;
    auto histogram = [&](uint32_t channel, const dv::Rect* rect) {
        std::fill(bins.begin(), bins.end(), 0u);
        EXPECT_EQ(image.GetHistogram(bins.data(), 256, channel, rect), 0u);
    };
    histogram(1, nullptr);
    EXPECT_EQ(bins[9], 2u);
    EXPECT_EQ(bins[7], 1u);
    EXPECT_EQ(bins[0], pixels - 3);
    histogram(2, nullptr);
    EXPECT_EQ(bins[20] + bins[21], 2u);
    histogram(3, nullptr);
    EXPECT_EQ(bins[30] + bins[31] + bins[7], 3u);
    histogram(0, nullptr);
    std::vector<uint32_t> grey(256, 0);
    grey[0] = pixels - 3;
    for (uint32_t colour : {0x070707u, 0x09141Eu, 0x09151Fu}) ++grey[gw::GreyLevel(colour)];
    EXPECT_EQ(bins, grey);
    EXPECT_EQ(bins[6], 1u);  // (7, 7, 7)
    histogram(9, nullptr);
    EXPECT_EQ(bins[0], pixels);
    const dv::Rect corner{2, 1, 2, 2};
    histogram(1, &corner);
    EXPECT_EQ(bins[9], 1u);
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
    Put24(image, 0, 0, 1, 2, 3);
    Put24(image, 1, 0, 1, 2, 3);
    Put24(image, 2, 0, 3, 2, 1);
    Row(image, 0)[9] = 0x55;  // padding
    EXPECT_EQ(image.CountColours(&count), 0u);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(image.CountColours(nullptr), 1u);
    EXPECT_EQ(image.GetLastError(), 4u);

    Make(image, 3, 2, k8Bit);
    const std::vector<uint32_t> colours = ColourRamp();  // not consulted
    ASSERT_EQ(image.SetPalette(colours.data(), 256), 0u);
    Row(image, 0)[1] = 200;
    Row(image, 1)[2] = 255;
    Row(image, 1)[3] = 17;  // padding
    EXPECT_EQ(image.CountColours(&count), 0u);
    EXPECT_EQ(count, 3u);

    Make(image, 5, 2, k1Bit);
    Row(image, 0)[0] = 0x07;  // only bits past the width
    EXPECT_EQ(image.CountColours(&count), 0u);
    EXPECT_EQ(count, 1u);
    PutBit(image, 4, 1, true);
    EXPECT_EQ(image.CountColours(&count), 0u);
    EXPECT_EQ(count, 2u);
}

TEST(Threshold, LevelAndBandEdges) {
    DVImageProcessor image;
    EXPECT_EQ(image.Threshold(128), 1u);
    EXPECT_EQ(image.GetLastError(), 1u);
    EXPECT_EQ(image.ThresholdBand(1, 2), 1u);

    const uint8_t values[6] = {99, 100, 127, 128, 200, 201};
    auto fill8 = [&] {
        Make(image, 6, 1, k8Bit);
        std::copy(values, values + 6, Row(image, 0));
        Row(image, 0)[7] = 42;  // padding
    };
    fill8();
    EXPECT_EQ(image.Threshold(128), 0u);
    EXPECT_EQ(AllBytes(image), (std::vector<uint8_t>{0, 0, 0, 255, 255, 255, 0, 42}));
    fill8();
    EXPECT_EQ(image.ThresholdBand(100, 200), 0u);
    EXPECT_EQ(AllBytes(image), (std::vector<uint8_t>{0, 255, 255, 255, 255, 0, 0, 42}));
    fill8();
    EXPECT_EQ(image.ThresholdBand(200, 100), 0u);  // empty band
    EXPECT_EQ(AllBytes(image), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 42}));
    EXPECT_EQ(Palette(image)[3], 0xFF030303u);  // palette untouched

    Make(image, 3, 1, k24Bit);
    Put24(image, 0, 0, 129, 129, 129);
    Put24(image, 1, 0, 7, 7, 7);    // grey 6
    Put24(image, 2, 0, 255, 0, 0);  // grey 76
    EXPECT_EQ(image.ThresholdBand(6, 76), 0u);
    EXPECT_EQ(AllBytes(image),
              (std::vector<uint8_t>{0, 0, 0, 255, 255, 255, 255, 255, 255, 0, 0, 0}));
    Put24(image, 1, 0, 7, 7, 7);
    EXPECT_EQ(image.Threshold(7), 0u);
    EXPECT_EQ(Row(image, 0)[3], 0);

    Make(image, 8, 1, k1Bit);
    EXPECT_EQ(image.Threshold(128), 1u);
    EXPECT_EQ(image.GetLastError(), 2u);
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
        const std::vector<uint8_t> before = AllBytes(image);
        EXPECT_EQ(image.Invert(), 0u);
        const std::vector<uint8_t> once = AllBytes(image);
        for (size_t i = 0; i < size; ++i) ASSERT_EQ(once[i], 255 - before[i]) << i;
        EXPECT_EQ(image.Invert(), 0u);
        EXPECT_EQ(AllBytes(image), before);
    }
}

namespace {

// A 5 x 5 8-bit image whose pixel (x, y) is 10 * y + 3 * x * x, padding 0xEE.
void FillFive(DVImageProcessor& image) {
    Make(image, 5, 5, k8Bit);
    for (uint32_t y = 0; y < 5; ++y) {
        for (uint32_t x = 0; x < 8; ++x)
            Row(image, y)[x] = x < 5 ? uint8_t(10 * y + 3 * x * x) : 0xEE;
    }
}

}  // namespace

TEST(Convolve, KernelsOfOnesAndMinusOnesGiveTheTruncatedMean) {
    DVImageProcessor image;
    const int32_t ones[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    const int32_t minusOnes[9] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};
    EXPECT_EQ(image.Convolve(ones, 3, 3), 1u);
    EXPECT_EQ(image.GetLastError(), 1u);

    for (const int32_t* kernel : {ones, minusOnes}) {
        FillFive(image);
        const std::vector<uint8_t> before = AllBytes(image);
        EXPECT_EQ(image.Convolve(kernel, 3, 3), 0u);
        for (uint32_t y = 0; y < 5; ++y) {
            for (uint32_t x = 0; x < 8; ++x) {
                uint32_t expected = before[y * 8 + x];
                if (x >= 1 && x <= 3 && y >= 1 && y <= 3) {
                    uint32_t sum = 0;
                    for (uint32_t j = 0; j < 3; ++j) {
                        for (uint32_t i = 0; i < 3; ++i) sum += before[(y - 1 + j) * 8 + x - 1 + i];
                    }
                    expected = sum / 9;
                }
                EXPECT_EQ(Row(image, y)[x], expected) << x << "," << y;
            }
        }
    }
}

TEST(Convolve, KernelsThatLeaveTheImageUnchanged) {
    DVImageProcessor image;
    FillFive(image);
    const std::vector<uint8_t> before = AllBytes(image);
    const int32_t two[1] = {2};
    EXPECT_EQ(image.Convolve(two, 1, 1), 0u);
    EXPECT_EQ(AllBytes(image), before);
    const int32_t zeroSum[9] = {0, -1, 0, -1, 4, -1, 0, -1, 0};  // would divide by 0
    EXPECT_EQ(image.Convolve(zeroSum, 3, 3), 0u);
    EXPECT_EQ(AllBytes(image), before);
    std::vector<int32_t> big(25, 1);  // hh = 2 is not below height - hh = 1: no row to filter
    Make(image, 3, 3, k8Bit);
    Row(image, 1)[1] = 90;
    const std::vector<uint8_t> small = AllBytes(image);
    EXPECT_EQ(image.Convolve(big.data(), 5, 5), 0u);
    EXPECT_EQ(AllBytes(image), small);

    EXPECT_EQ(image.Convolve(nullptr, 3, 3), 1u);
    EXPECT_EQ(image.GetLastError(), 10u);
    Make(image, 16, 4, k1Bit);
    EXPECT_EQ(image.Convolve(two, 1, 1), 1u);
    EXPECT_EQ(image.GetLastError(), 2u);
}

TEST(Convolve, ValuesAreClampedAndSumsWrap) {
    DVImageProcessor image;
    Make(image, 3, 3, k8Bit);
    const int32_t edge[3] = {1, -2, 2};  // a row kernel, divisor 1
    Row(image, 0)[1] = 200;              // -400: black
    Row(image, 1)[2] = 200;              // 400: white
    Row(image, 2)[0] = 5;
    Row(image, 2)[1] = 1;
    Row(image, 2)[2] = 3;  // 5 - 2 + 6 = 9
    EXPECT_EQ(image.Convolve(edge, 3, 1), 0u);
    EXPECT_EQ(Row(image, 0)[1], 0);
    EXPECT_EQ(Row(image, 1)[1], 255);
    EXPECT_EQ(Row(image, 2)[1], 9);

    // 128 * 2^24 wraps to INT_MIN and the weights sum to -1: the quotient 2^31
    // does not fit in 32 bits and must come out white, not trap.
    const int32_t wrap[3] = {1 << 24, -(1 << 24) - 1, 0};
    Make(image, 3, 1, k8Bit);
    Row(image, 0)[0] = 128;
    EXPECT_EQ(image.Convolve(wrap, 3, 1), 0u);
    EXPECT_EQ(Row(image, 0)[1], 255);

    // On 24-bit rows the first width bytes are filtered as bytes.
    Make(image, 3, 1, k24Bit);
    uint8_t* p = Row(image, 0);
    for (uint32_t i = 0; i < 9; ++i) p[i] = uint8_t(3 * i * i);
    const int32_t pair[3] = {1, 0, 1};
    EXPECT_EQ(image.Convolve(pair, 3, 1), 0u);
    const std::vector<uint8_t> filtered = {0, 6, 12, 27, 48, 75, 108, 147, 192, 0, 0, 0};
    EXPECT_EQ(AllBytes(image), filtered);
    EXPECT_EQ(image.Convolve(pair, 1, 3), 0u);  // one row: hh = 1 leaves nothing
    EXPECT_EQ(AllBytes(image), filtered);
}
