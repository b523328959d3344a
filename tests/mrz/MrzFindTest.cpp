// The finder's own forms of two OpenCV searches give OpenCV's answers: the
// opening by a column of three pixels, and the outer contours of a frame,
// on random binary pages of every small size (edges and corners included).
#include <gtest/gtest.h>

#include <random>

#include <opencv2/imgproc.hpp>

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

}  // namespace
}  // namespace gw::mrz
