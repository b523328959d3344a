// The finder's own forms of two OpenCV searches give OpenCV's answers: the
// opening by a column of three pixels, and the outer contours of a frame,
// on random binary pages of every small size (edges and corners included);
// and the upright zone's lines leave out a line its edge cuts through.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include <opencv2/imgproc.hpp>

#include "mrz/MrzCut.h"
#include "mrz/MrzFind.h"

namespace gw::mrz {
namespace {

TEST(MrzFind, OwnOpeningAndContoursGiveOpenCVsAnswers) {
    std::mt19937 rng(5);
    std::vector<std::vector<cv::Point>> outer;
    for (int round = 0; round < 400; ++round) {
        const int h = 1 + int(rng() % 12), w = 1 + int(rng() % 48);
        const double share = double(rng() % 100) / 100;
        cv::Mat page(h, w, CV_8U);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                page.at<uint8_t>(y, x) = double(rng() % 1000) / 1000 < share ? 255 : 0;

        cv::Mat expected, opened;
        cv::morphologyEx(page, expected, cv::MORPH_OPEN,
                         cv::getStructuringElement(cv::MORPH_RECT, cv::Size(1, 3)));
        OpenThreeHigh(page, opened);
        ASSERT_EQ(cv::countNonZero(expected != opened), 0) << w << " x " << h;

        std::vector<std::vector<cv::Point>> all;
        std::vector<cv::Vec4i> tree;
        cv::findContours(page, all, tree, cv::RETR_CCOMP, cv::CHAIN_APPROX_SIMPLE);
        std::vector<std::vector<cv::Point>> parentless;
        for (size_t i = 0; i < all.size(); ++i)
            if (tree[i][3] < 0) parentless.push_back(all[i]);
        cv::Mat framed = cv::Mat::zeros(h + 2, w + 2, CV_8U);
        page.copyTo(framed(cv::Rect(1, 1, w, h)));
        const size_t count = OuterContours(framed, outer);
        ASSERT_EQ(count, parentless.size()) << w << " x " << h;
        for (size_t i = 0; i < count; ++i) EXPECT_EQ(outer[i], parentless[i]) << i;
    }
}

// Three lines of blocks 28 rows high, 44 rows apart make a set of three;
// moved up until the first starts on the image's top row, no set holds that
// line (its top, and so its cells, would be cut too low).
TEST(MrzCut, ALineTheEdgeCutsThroughIsNoLineOfASet) {
    auto sets = [](int first) {
        cv::Mat ink = cv::Mat::zeros(160, 600, CV_8U);
        for (int line = 0; line < 3; ++line)
            for (int x = 20; x + 16 < 580; x += 24)
                ink(cv::Rect(x, first + 44 * line, 16, 28)).setTo(255);
        return FindLineSets(ink);
    };
    auto highestTop = [](const std::vector<std::vector<LineBand>>& found) {
        float top = 1e9f;
        for (const auto& set : found)
            for (const LineBand& l : set) top = std::min(top, l.center - l.up);
        return top;
    };
    const auto whole = sets(20);
    EXPECT_TRUE(
        std::any_of(whole.begin(), whole.end(), [](const auto& s) { return s.size() == 3; }));
    EXPECT_NEAR(highestTop(whole), 20, 1.5);
    const auto cut = sets(0);
    ASSERT_FALSE(cut.empty());
    EXPECT_NEAR(highestTop(cut), 44, 1.5);
}

}  // namespace
}  // namespace gw::mrz
