// The finder's own forms of OpenCV's searches and pixel passes, and the
// cut's own cell sampling, give OpenCV's answers on random pages of every
// small size (edges and corners included); the upright zone's lines leave
// out a line its edge cuts through; a line's ink across is its columns'
// ink; and the upright ink leaves out the specks of texture, not thin print.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include <opencv2/imgproc.hpp>

#include "mrz/MrzCut.h"
#include "mrz/MrzFind.h"
#include "mrz/MrzLimits.h"
#include "TextRender.h"

namespace gw::mrz {
namespace {

// A number drawn evenly from [lo, hi).
float Uniform(std::mt19937& rng, float lo, float hi) {
    return lo + (hi - lo) * float(rng() % 100000) / 100000.0f;
}

// A page of rows x cols levels of noise.
cv::Mat Noise(std::mt19937& rng, int rows, int cols) {
    cv::Mat page(rows, cols, CV_8U);
    for (uint8_t& p : cv::Mat_<uint8_t>(page)) p = uint8_t(rng() % 256);
    return page;
}

TEST(MrzFind, OwnContoursGiveOpenCVsAnswers) {
    std::mt19937 rng(5);
    std::vector<std::vector<cv::Point>> outer;
    for (int round = 0; round < 400; ++round) {
        const int h = 1 + int(rng() % 12), w = 1 + int(rng() % 48);
        const unsigned share = rng() % 100;
        cv::Mat page(h, w, CV_8U);
        for (uint8_t& p : cv::Mat_<uint8_t>(page)) p = rng() % 100 < share ? 255 : 0;

        std::vector<std::vector<cv::Point>> all;
        std::vector<cv::Vec4i> tree;
        cv::findContours(page, all, tree, cv::RETR_CCOMP, cv::CHAIN_APPROX_SIMPLE);
        std::erase_if(all, [&, i = 0](const auto&) mutable { return tree[size_t(i++)][3] >= 0; });
        cv::Mat framed;
        cv::copyMakeBorder(page, framed, 1, 1, 1, 1, cv::BORDER_CONSTANT, 0);
        outer.resize(OuterContours(framed, outer));
        ASSERT_EQ(outer, all) << w << " x " << h;

        // Searched in a box round the ink only, what lies outside it and
        // its paper stale (here ink): the same contours, in the same order.
        const cv::Rect box(int(rng() % unsigned(w)), int(rng() % unsigned(h)), 0, 0);
        const cv::Rect ink(box.x, box.y, 1 + int(rng() % unsigned(w - box.x)),
                           1 + int(rng() % unsigned(h - box.y)));
        cv::Mat inside = cv::Mat::zeros(page.size(), CV_8U);
        page(ink).copyTo(inside(ink));
        cv::findContours(inside, all, tree, cv::RETR_CCOMP, cv::CHAIN_APPROX_SIMPLE);
        std::erase_if(all, [&, i = 0](const auto&) mutable { return tree[size_t(i++)][3] >= 0; });
        const cv::Rect round(ink.x, ink.y, ink.width + 2, ink.height + 2);
        cv::copyMakeBorder(inside, framed, 1, 1, 1, 1, cv::BORDER_CONSTANT, 0);
        cv::Mat stale(framed.size(), CV_8U, cv::Scalar(255));
        framed(round).copyTo(stale(round));
        outer.resize(OuterContours(stale, outer, ink));
        ASSERT_EQ(outer, all) << "in " << ink << " of " << w << " x " << h;
    }
}

// The finder traces only ink whose box may hold a band: every filled band
// near the limits of the finder's tests (as long as asked, 7 times as long
// as high, turned by 20 degrees) that passes them, measured as the finder
// measures it, has such a box.
TEST(MrzFind, InkThatMayMakeABandIsKept) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    int passing = 0;
    for (int round = 0; round < 3000; ++round) {
        const float minLength = 20 + 130 * unit(rng);
        const float length = minLength * (0.97f + 0.2f * unit(rng));
        const float height = length / 7 * (0.8f + 0.22f * unit(rng));
        const float degrees = (unit(rng) < 0.5f ? -1 : 1) * 20.5f * (0.85f + 0.17f * unit(rng));
        const cv::RotatedRect band(cv::Point2f(100.3f + unit(rng), 100.6f + unit(rng)),
                                   cv::Size2f(length, height), degrees);
        cv::Point2f corners[4];
        band.points(corners);
        std::vector<cv::Point> polygon;
        for (const cv::Point2f& p : corners) polygon.emplace_back(cvRound(p.x), cvRound(p.y));
        cv::Mat page = cv::Mat::zeros(200, 200, CV_8U);
        cv::fillConvexPoly(page, polygon, 255, cv::LINE_8);
        std::vector<std::vector<cv::Point>> contours;
        cv::findContours(page, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
        ASSERT_EQ(contours.size(), 1u);
        // As the finder measures a band.
        const cv::Rect box = cv::boundingRect(contours[0]);
        if (std::max(box.width, box.height) < minLength) continue;
        const cv::RotatedRect r = cv::minAreaRect(contours[0]);
        cv::Point2f p[4];
        r.points(p);
        cv::Point2f e1 = p[1] - p[0], e2 = p[2] - p[1];
        float l1 = std::hypot(e1.x, e1.y), l2 = std::hypot(e2.x, e2.y);
        if (l1 < l2) std::swap(e1, e2), std::swap(l1, l2);
        if (l1 < minLength || l1 < 7 * l2 || std::abs(e1.y / l1) > 0.35f) continue;
        ++passing;
        ASSERT_TRUE(MayMakeBand(box.size(), minLength))
            << length << " x " << height << " at " << degrees << ", at least " << minLength;
    }
    EXPECT_GT(passing, 300);
}

// The finder's own closings, shrinks, transposes and turns give OpenCV's
// pixels: random pages of small and odd sizes (rows of bits end inside a
// word; a shrink's scale is rarely whole), ink dense and sparse.
TEST(MrzFind, OwnPixelPassesGiveOpenCVsPixels) {
    std::mt19937 rng(11);
    auto randomPage = [&](int h, int w, bool binary) {
        cv::Mat page(h, w, CV_8U);
        const unsigned share = rng() % 100;
        for (uint8_t& p : cv::Mat_<uint8_t>(page))
            p = binary ? (rng() % 100 < share ? 255 : 0) : uint8_t(rng() % 256);
        return page;
    };
    for (int round = 0; round < 200; ++round) {
        const int h = 1 + int(rng() % 40), w = 2 + int(rng() % 150);

        const cv::Mat ink = randomPage(h, w, true);
        const int k = 2 + int(rng() % 30);
        cv::Mat closed, expected;
        cv::morphologyEx(ink, closed, cv::MORPH_CLOSE,
                         cv::getStructuringElement(cv::MORPH_RECT, cv::Size(k, 1)));
        cv::morphologyEx(closed, expected, cv::MORPH_OPEN,
                         cv::getStructuringElement(cv::MORPH_RECT, cv::Size(1, 3)));
        cv::Mat own(h, w, CV_8U);
        CloseAndOpen(ink, k, own);
        ASSERT_EQ(cv::countNonZero(expected != own), 0) << "close " << k << ", " << w << " x " << h;

        // Several widths, each dilation made from the last's (as the finder
        // makes its four), by steps shorter and longer than the last.
        std::vector<int> ks{2 + int(rng() % 6)};
        while (ks.back() < 40)
            ks.push_back(std::min(63, ks.back() + 1 + int(rng() % unsigned(ks.back() + 4))));
        std::vector<cv::Mat> each(ks.size());
        CloseAndOpen(ink, ks, each);
        for (size_t i = 0; i < ks.size(); ++i) {
            cv::morphologyEx(ink, closed, cv::MORPH_CLOSE,
                             cv::getStructuringElement(cv::MORPH_RECT, cv::Size(ks[i], 1)));
            cv::morphologyEx(closed, expected, cv::MORPH_OPEN,
                             cv::getStructuringElement(cv::MORPH_RECT, cv::Size(1, 3)));
            ASSERT_EQ(cv::countNonZero(expected != each[i]), 0)
                << "close " << ks[i] << " after " << (i > 0 ? ks[i - 1] : 1) << ", " << w << " x "
                << h;
        }

        const cv::Mat grey = randomPage(h, w, false);
        const cv::Size smaller(1 + int(rng() % unsigned(w)), 1 + int(rng() % unsigned(h)));
        cv::resize(grey, expected, smaller, 0, 0, cv::INTER_AREA);
        ResizeArea(grey, own, smaller);
        ASSERT_EQ(cv::countNonZero(expected != own), 0)
            << "shrink " << w << " x " << h << " to " << smaller.width << " x " << smaller.height;

        cv::transpose(grey, expected);
        Transpose(grey, own);
        ASSERT_EQ(cv::countNonZero(expected != own), 0) << "transpose " << w << " x " << h;

        const cv::Point2f mid(float(w) / 2, float(h) / 2);
        const double angle = double(int(rng() % 121) - 60) + 0.25;
        cv::Mat forward = cv::getRotationMatrix2D(mid, angle, 1.0);
        forward.at<double>(0, 2) += double(rng() % 7) - 3;
        const cv::Size size(w + int(rng() % 20), h + int(rng() % 20));
        cv::warpAffine(grey, expected, forward, size, cv::INTER_NEAREST);
        TurnNearest(grey, forward, size, own);
        ASSERT_EQ(cv::countNonZero(expected != own), 0)
            << "turn " << angle << ", " << w << " x " << h;
    }
}

// The cut's own sampling of a cell, or of an upright zone image, gives
// OpenCV's bilinear warp to the level: maps of every scale, slant and shift
// a cut makes (and turned ones), reaching past every edge of pages of small
// and odd sizes.
TEST(MrzCut, OwnCellSamplingGivesOpenCVsPixels) {
    std::mt19937 rng(3);
    for (int round = 0; round < 3000; ++round) {
        const int h = 1 + int(rng() % 40), w = 1 + int(rng() % 150);
        const cv::Mat grey = Noise(rng, h, w);
        // A cell, or an upright zone image (eight pixels at a time where
        // they read inside the page).
        const int pw = 1 + int(rng() % unsigned(round % 3 == 0 ? 300 : kPatchW + 4));
        const int ph = 1 + int(rng() % 30);
        const bool turned = rng() % 4 == 0;
        const cv::Matx23f m(Uniform(rng, 0.2f, 3.0f), turned ? Uniform(rng, -1.0f, 1.0f) : 0.0f,
                            Uniform(rng, -10.0f, float(w) + 5.0f), Uniform(rng, -0.1f, 0.1f),
                            Uniform(rng, 0.2f, 3.0f), Uniform(rng, -10.0f, float(h) + 5.0f));
        cv::Mat expected;
        cv::warpAffine(grey, expected, m, cv::Size(pw, ph), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                       cv::BORDER_REPLICATE);
        cv::Mat own(ph, pw, CV_8U);
        SampleLinear(grey, m, pw, ph, own.ptr<uint8_t>());
        ASSERT_EQ(cv::countNonZero(expected != own), 0)
            << "map " << m << " on " << w << " x " << h << " into " << pw << " x " << ph;
    }
}

// The cut's own bicubic warp of an upright zone gives OpenCV's, to the
// level: maps that enlarge, shrink, turn and shift, reaching past every edge
// of pages of small and odd sizes, into images of any size.
TEST(MrzCut, OwnBicubicWarpGivesOpenCVsPixels) {
    std::mt19937 rng(13);
    for (int round = 0; round < 2000; ++round) {
        const int h = 1 + int(rng() % 40), w = 1 + int(rng() % 150);
        const cv::Mat grey = Noise(rng, h, w);
        const int ow = 1 + int(rng() % 90), oh = 1 + int(rng() % 40);
        const float angle = rng() % 3 == 0 ? Uniform(rng, -3.2f, 3.2f) : Uniform(rng, -0.1f, 0.1f);
        const float scale = Uniform(rng, 0.1f, 1.5f);
        const cv::Matx23f m(scale * std::cos(angle), -scale * std::sin(angle),
                            Uniform(rng, -10.0f, float(w) + 5.0f), scale * std::sin(angle),
                            scale * std::cos(angle), Uniform(rng, -10.0f, float(h) + 5.0f));
        cv::Mat expected;
        cv::warpAffine(grey, expected, m, cv::Size(ow, oh), cv::INTER_CUBIC | cv::WARP_INVERSE_MAP,
                       cv::BORDER_REPLICATE);
        cv::Mat own(oh, ow + int(rng() % 3), CV_8U);
        SampleCubic(grey, m, ow, oh, own.ptr<uint8_t>(), own.step[0]);
        ASSERT_EQ(cv::countNonZero(expected != own.colRange(0, ow)), 0)
            << "map " << m << " on " << w << " x " << h << " into " << ow << " x " << oh;
    }
}

// The cut's own perspective warp of an upright zone gives OpenCV's, to the
// level, bilinear and bicubic: keystone maps (a zone seen at a slant) of
// every scale and shift, reaching past every edge (some by millions of
// pixels), into images of any size (wider than OpenCV's blocks of columns
// too).
TEST(MrzCut, OwnPerspectiveWarpGivesOpenCVsPixels) {
    std::mt19937 rng(17);
    for (int round = 0; round < 600; ++round) {
        const int h = 1 + int(rng() % 60), w = 1 + int(rng() % 400);
        const cv::Mat grey = Noise(rng, h, w);
        const int ow = 1 + int(rng() % (round % 4 == 0 ? 1300 : 200)), oh = 1 + int(rng() % 40);
        const float scale = Uniform(rng, 0.1f, 1.5f), angle = Uniform(rng, -0.2f, 0.2f);
        cv::Matx33f m(scale * std::cos(angle), -scale * std::sin(angle),
                      Uniform(rng, -10.0f, float(w) + 5.0f), scale * std::sin(angle),
                      scale * std::cos(angle), Uniform(rng, -10.0f, float(h) + 5.0f),
                      Uniform(rng, -2e-4f, 2e-4f), Uniform(rng, -2e-3f, 2e-3f),
                      Uniform(rng, 0.8f, 1.2f));
        if (round % 10 == 3) m(0, 2) += Uniform(rng, -80000.0f, 80000.0f);
        if (round % 10 == 7) m(1, 2) += Uniform(rng, -5e6f, 5e6f);
        const bool cubic = round % 2 == 1;
        cv::Mat expected;
        cv::warpPerspective(grey, expected, m, cv::Size(ow, oh),
                            (cubic ? cv::INTER_CUBIC : cv::INTER_LINEAR) | cv::WARP_INVERSE_MAP,
                            cv::BORDER_REPLICATE);
        cv::Mat own(oh, ow + int(rng() % 3), CV_8U);
        SamplePerspective(grey, m, ow, oh, cubic, own.ptr<uint8_t>(), own.step[0]);
        ASSERT_EQ(cv::countNonZero(expected != own.colRange(0, ow)), 0)
            << (cubic ? "cubic" : "linear") << " map " << m << " on " << w << " x " << h << " into "
            << ow << " x " << oh;
    }
}

// The dark pixels of an upright image flipped left to right, or turned half
// round, are its own flipped with it (the flips of a place reuse them):
// images smaller and larger than the mean's square, with print-like
// blocks on uneven paper.
TEST(MrzCut, DarkPixelsFlipWithTheImage) {
    std::mt19937 rng(29);
    for (int round = 0; round < 60; ++round) {
        const int h = 8 + int(rng() % 200), w = 8 + int(rng() % 700);
        cv::Mat grey = Noise(rng, h, w) / 4 + 150;
        for (int x = 0; x < w; ++x) grey.col(x) += cv::Scalar(double(x % 97) / 2);
        for (int k = 0; k < 30; ++k)
            grey(cv::Rect(int(rng() % unsigned(w)), int(rng() % unsigned(h)), 1 + int(rng() % 12),
                          1 + int(rng() % 20)) &
                 cv::Rect(0, 0, w, h))
                .setTo(int(rng() % 90));
        const cv::Mat dark = DarkOf(grey);
        for (const int code : {1, -1}) {
            cv::Mat flipped, expected;
            cv::flip(grey, flipped, code);
            cv::flip(dark, expected, code);
            ASSERT_EQ(cv::countNonZero(DarkOf(flipped) != expected), 0)
                << w << " x " << h << ", flip " << code;
        }
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
    EXPECT_NEAR(highestTop(whole), 20, 1.5);
    const auto cut = sets(0);
    EXPECT_NEAR(highestTop(cut), 44, 1.5);
}

// The cut's own speck removal clears exactly the parts OpenCV's labelling
// counts below the area, on random ink of every small size and density.
TEST(MrzCut, DropSpecksClearsOpenCVsSmallParts) {
    std::mt19937 rng(20261207);
    for (int trial = 0; trial < 300; ++trial) {
        // Rows of one to four words of 64 pixels.
        const int rows = 1 + int(rng() % 40), cols = 1 + int(rng() % 250);
        cv::Mat ink(rows, cols, CV_8U);
        const unsigned density = 20 + rng() % 60;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < cols; ++x) ink.at<uint8_t>(y, x) = rng() % 100 < density ? 255 : 0;
        const int minArea = 1 + int(rng() % 30);
        cv::Mat want = ink.clone(), labels, stats, centroids;
        const int parts =
            cv::connectedComponentsWithStats(ink, labels, stats, centroids, 8, CV_32S);
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < cols; ++x) {
                const int label = labels.at<int>(y, x);
                if (label > 0 && label < parts && stats.at<int>(label, cv::CC_STAT_AREA) < minArea)
                    want.at<uint8_t>(y, x) = 0;
            }
        DropSpecks(ink, minArea);
        ASSERT_EQ(cv::countNonZero(ink != want), 0) << rows << " x " << cols << " area " << minArea;
    }
}

// A line's ink across the image, counted along rows a block of columns at a
// time, is each column's ink between the line's top and bottom there, as
// counted down the column: lines of every slope the upright image allows,
// reaching past its top and bottom, on random ink.
TEST(MrzCut, ALinesInkAcrossCountsEachColumnsBand) {
    std::mt19937 rng(1207);
    for (int trial = 0; trial < 400; ++trial) {
        const int rows = 1 + int(rng() % 80), cols = 1 + int(rng() % 300);
        cv::Mat ink(rows, cols, CV_8U);
        for (uint8_t& p : cv::Mat_<uint8_t>(ink)) p = rng() % 3 == 0 ? 255 : 0;
        LineBand line;
        line.center = Uniform(rng, -20.0f, float(rows) + 20.0f);
        line.middle = float(cols) / 2;
        line.slope = Uniform(rng, -MrzLimits::kMaxSlope, MrzLimits::kMaxSlope);
        line.up = Uniform(rng, 0.0f, 20.0f), line.down = Uniform(rng, 0.0f, 20.0f);
        const LineInk across = InkAcross(ink, line);
        ASSERT_EQ(across.columns.size(), size_t(cols));
        for (int x = 0; x < cols; ++x) {
            const float yc = line.At(float(x));
            int n = 0;
            for (int y = std::max(0, int(std::floor(yc - line.up)));
                 y <= std::min(rows - 1, int(std::ceil(yc + line.down))); ++y)
                n += ink.at<uint8_t>(y, x) != 0;
            ASSERT_EQ(across.columns[size_t(x)], float(n) / std::max(1.0f, line.Height()))
                << "column " << x << " of " << cols << " x " << rows;
        }
    }
}

// A line's ink extent leaves out a stroke at either end that runs on above
// and below its band apart from the characters (a page's edge, a frame),
// and keeps one that stays in the band (a narrow first or last character,
// I or 1), one that touches the characters, and one the image's edge cuts.
TEST(MrzCut, ALinesInkExtentLeavesOutAnEdgeBesideIt) {
    cv::Mat ink(120, 400, CV_8U, cv::Scalar(0));
    LineBand line;
    line.center = 60, line.middle = 200, line.up = 10, line.down = 10;
    // Characters: blocks 14 wide every 20 columns from column 60 to 340.
    for (int x = 60; x < 340; x += 20) ink(cv::Rect(x, 50, 14, 20)).setTo(255);
    auto extent = [&](const cv::Mat& m) {
        const LineInk across = InkAcross(m, line);
        EXPECT_TRUE(across.found);
        return std::pair(across.left, across.right);
    };
    EXPECT_EQ(extent(ink), std::pair(60.0f, 334.0f));

    // Edges 3 columns wide down the whole image, 20 columns before the
    // first character and after the last: left out, both.
    cv::Mat edged = ink.clone();
    edged.colRange(37, 40).setTo(255);
    edged.colRange(354, 357).setTo(255);
    EXPECT_EQ(extent(edged), std::pair(60.0f, 334.0f));
    // Two edges side by side (a frame's two lines): both left out.
    edged.colRange(15, 17).setTo(255);
    EXPECT_EQ(extent(edged), std::pair(60.0f, 334.0f));

    // A narrow character as far out, within the band: kept.
    cv::Mat narrow = ink.clone();
    narrow(cv::Rect(37, 50, 3, 20)).setTo(255);
    EXPECT_EQ(extent(narrow), std::pair(37.0f, 334.0f));
    // An edge touching the first character: the cut's to judge.
    cv::Mat touching = ink.clone();
    touching.colRange(56, 60).setTo(255);
    EXPECT_EQ(extent(touching), std::pair(56.0f, 334.0f));
    // An edge running past the band above and below, but the image cut off
    // a little below the band: the stroke cannot be told from a character.
    cv::Mat cut = ink.rowRange(0, 72).clone();
    cut.colRange(37, 40).setTo(255);
    EXPECT_EQ(InkAcross(cut, line).left, 37.0f);
}

// The ink below a page's mean is OpenCV's adaptive threshold to the pixel:
// pages and parts of pages of every small size, of smooth grey and of
// noise, blocks of the finder's and the upright zone's sizes and others,
// offsets whole and not, below zero and past every level.
TEST(MrzCut, InkBelowMeanGivesOpenCVsThreshold) {
    std::mt19937 rng(1712);
    for (int trial = 0; trial < 400; ++trial) {
        const int rows = 1 + int(rng() % 90), cols = 1 + int(rng() % 130);
        cv::Mat page = Noise(rng, rows + 6, cols + 6);
        if (trial % 2 == 0) cv::GaussianBlur(page, page, cv::Size(9, 9), 3);
        const cv::Mat grey = trial % 3 == 0 ? page(cv::Rect(3, 2, cols, rows)) : page;
        const int blocks[] = {3, 25, 71, 2 * int(rng() % 40) + 3};
        const int block = blocks[rng() % 4];
        const double offsets[] = {15, 30, 10.5, -3.7, 300, -300, double(rng() % 60) / 4};
        const double delta = offsets[rng() % 7];
        cv::Mat want, ink;
        cv::adaptiveThreshold(grey, want, 255, cv::ADAPTIVE_THRESH_MEAN_C, cv::THRESH_BINARY_INV,
                              block, delta);
        InkBelowMean(grey, block, delta, ink);
        ASSERT_EQ(cv::countNonZero(want != ink), 0)
            << cols << " x " << rows << ", block " << block << ", offset " << delta;
    }
}

// The 2 x 2 opening of ink is OpenCV's to the pixel, in place or not:
// binary and grey pages of every small size.
TEST(MrzCut, OpenTwoByTwoGivesOpenCVsOpening) {
    std::mt19937 rng(2712);
    for (int trial = 0; trial < 400; ++trial) {
        const int rows = 1 + int(rng() % 50), cols = 1 + int(rng() % 150);
        cv::Mat ink(rows, cols, CV_8U);
        const bool binary = trial % 3 != 0;
        for (uint8_t& p : cv::Mat_<uint8_t>(ink))
            p = binary ? (rng() % 2 == 0 ? 255 : 0) : uint8_t(rng() % 256);
        cv::Mat want, own;
        cv::morphologyEx(ink, want, cv::MORPH_OPEN,
                         cv::getStructuringElement(cv::MORPH_RECT, cv::Size(2, 2)));
        OpenTwoByTwo(ink, own);
        ASSERT_EQ(cv::countNonZero(want != own), 0) << cols << " x " << rows;
        OpenTwoByTwo(ink, ink);
        ASSERT_EQ(cv::countNonZero(want != ink), 0) << cols << " x " << rows << " in place";
    }
}

// The fit's sums of ink on a cut's boundaries, eight starts at a time in
// AVX2 registers, are its sums one start after another, to the bit: starts
// and boundaries inside the line, and past either end, in any number.
TEST(MrzCut, BoundaryInkSumsAlikeEightAtATime) {
    if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "no AVX2";
    std::mt19937 rng(712);
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<float> ink(2 + rng() % 600);
        for (float& v : ink) v = rng() % 3 == 0 ? 0.0f : Uniform(rng, 0.0f, 4.0f);
        const int length = 2 + int(rng() % 44);
        const float pitch = Uniform(rng, 1.0f, 30.0f), growth = Uniform(rng, -0.2f, 0.2f);
        std::vector<float> at(size_t(length) + 1);
        for (int k = 0; k <= length; ++k) at[size_t(k)] = CutLine::Offset(pitch, growth, k, length);
        std::vector<float> lefts(rng() % 40);
        for (float& l : lefts) l = Uniform(rng, -40.0f, float(ink.size()) + 10.0f);
        std::vector<float> one(lefts.size()), eight(lefts.size());
        BoundaryInk(ink, at.data(), length, lefts.data(), lefts.size(), one.data(), false);
        BoundaryInk(ink, at.data(), length, lefts.data(), lefts.size(), eight.data(), true);
        for (size_t j = 0; j < lefts.size(); ++j)
            ASSERT_EQ(std::memcmp(&one[j], &eight[j], sizeof(float)), 0)
                << "start " << lefts[j] << ": " << one[j] << " and " << eight[j];
    }
}

// Ink kept over texture: a stroke of print whole, a lighter line beside it
// dropped, and the same line far from any print kept (there it is the
// darkest ink round it, and no zone's print is near to bind with).
TEST(MrzCut, KeepDarkestDropsLighterLinesBesidePrintOnly) {
    cv::Mat grey(80, 300, CV_8U, cv::Scalar(230));
    grey(cv::Rect(40, 20, 5, 40)).setTo(20);    // print
    grey(cv::Rect(52, 20, 3, 40)).setTo(120);   // texture beside it
    grey(cv::Rect(240, 20, 3, 40)).setTo(120);  // texture alone
    cv::GaussianBlur(grey, grey, {3, 3}, 0.8);
    cv::Mat ink = grey < 200;
    const cv::Mat before = ink.clone();
    KeepDarkest(grey, 41, MrzLimits::kTextureDarkest, ink);
    EXPECT_EQ(cv::countNonZero(ink(cv::Rect(36, 16, 13, 48))),
              cv::countNonZero(before(cv::Rect(36, 16, 13, 48))));
    EXPECT_EQ(cv::countNonZero(ink(cv::Rect(51, 16, 6, 48))), 0);
    EXPECT_EQ(cv::countNonZero(ink(cv::Rect(236, 16, 12, 48))),
              cv::countNonZero(before(cv::Rect(236, 16, 12, 48))));
}

// Texture under a zone that passes the threshold leaves specks between the
// characters; the upright ink leaves them out, and keeps every part of thin
// print, fillers included.
TEST(MrzCut, TheInkLeavesOutSpecksOfTextureAndKeepsThinPrint) {
    const gw::render::TextRenderer font("/usr/share/fonts/opentype/ocr-b/OCRB.otf");
    ASSERT_TRUE(font.Valid());
    gw::render::Variation thin;
    thin.capHeight = int(kWorkHeight);
    thin.embolden = -1.0;
    const gw::render::GreyImage g =
        font.RenderLine("P<UTO1I<<<<4<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<", thin, 8);
    const cv::Mat line(int(g.height), int(g.width), CV_8U, const_cast<uint8_t*>(g.pixels.data()));
    cv::Mat clean(line.rows + 60, line.cols + 60, CV_8U, cv::Scalar(255));
    line.copyTo(clean(cv::Rect(30, 30, line.cols, line.rows)));
    // Hatching: 3 x 3 dots of a mid grey every 7 pixels across the image.
    cv::Mat hatched = clean.clone();
    for (int y = 0; y + 3 < hatched.rows; y += 7)
        for (int x = 0; x + 3 < hatched.cols; x += 7) {
            cv::Mat dot = hatched(cv::Rect(x, y, 3, 3));
            cv::min(dot, cv::Scalar(90), dot);
        }
    const cv::Mat ink = InkOf(hatched), plain = InkOf(clean);
    // No part left smaller than a speck.
    cv::Mat labels, stats, centroids;
    const int parts = cv::connectedComponentsWithStats(ink, labels, stats, centroids, 8, CV_32S);
    for (int i = 1; i < parts; ++i)
        EXPECT_GE(stats.at<int>(i, cv::CC_STAT_AREA),
                  MrzLimits::kSpeckArea * kWorkHeight * kWorkHeight);
    // The print's ink is all there: every part of the clean print's ink is
    // ink over the texture too.
    const int printParts =
        cv::connectedComponentsWithStats(plain, labels, stats, centroids, 8, CV_32S);
    ASSERT_GT(printParts, 40);
    for (int i = 1; i < printParts; ++i) {
        const cv::Rect box(stats.at<int>(i, cv::CC_STAT_LEFT), stats.at<int>(i, cv::CC_STAT_TOP),
                           stats.at<int>(i, cv::CC_STAT_WIDTH),
                           stats.at<int>(i, cv::CC_STAT_HEIGHT));
        EXPECT_GT(cv::countNonZero(ink(box) & plain(box)), stats.at<int>(i, cv::CC_STAT_AREA) / 2)
            << "part " << i << " at " << box.x;
    }
}

}  // namespace
}  // namespace gw::mrz
