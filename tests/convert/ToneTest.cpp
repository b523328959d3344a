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
