#include "Pages.h"

#include <cmath>
#include <cstdio>

#include <jpeglib.h>
#include <opencv2/imgproc.hpp>

namespace mrzpages {

using gw::render::Random;
using gw::render::Variation;

namespace {

cv::Mat ToMat(const gw::render::GreyImage& g) {
    cv::Mat m(g.height, g.width, CV_8U);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) m.at<uint8_t>(y, x) = g.At(x, y);
    return m;
}

double Range(Random& rng, double lo, double hi) {
    return lo + (hi - lo) * rng.Uniform();
}

// Lays ink (255 paper, 0 ink) onto page at (x, y), keeping the darker level.
void Lay(cv::Mat& page, const cv::Mat& ink, int x, int y) {
    for (int r = 0; r < ink.rows; ++r)
        for (int c = 0; c < ink.cols; ++c) {
            const int py = y + r, px = x + c;
            if (px < 0 || py < 0 || px >= page.cols || py >= page.rows) continue;
            uint8_t& p = page.at<uint8_t>(py, px);
            p = std::min(p, ink.at<uint8_t>(r, c));
        }
}

}  // namespace

const std::vector<std::string>& Degradations() {
    static const std::vector<std::string> names{"clean", "skew",   "turned",  "perspective", "blur",
                                                "jpeg",  "lowres", "pattern", "light"};
    return names;
}

cv::Mat RenderZone(const gw::render::TextRenderer& font, const Zone& zone, const Variation& v) {
    std::vector<cv::Mat> lines;
    for (size_t i = 0; i < zone.lines.size(); ++i) {
        Variation lv = v;
        lv.seed = v.seed * 31 + i;
        lines.push_back(ToMat(font.RenderLine(zone.lines[i], lv, v.capHeight)));
    }
    const int step = int(std::lround(v.capHeight * 1.9));
    int width = 0;
    for (const cv::Mat& l : lines) width = std::max(width, l.cols);
    cv::Mat out(lines[0].rows + step * int(lines.size() - 1), width, CV_8U, cv::Scalar(255));
    for (size_t i = 0; i < lines.size(); ++i) Lay(out, lines[i], 0, step * int(i));
    return out;
}

Page MakePage(const gw::render::TextRenderer& font, const Zone& zone, uint64_t seed,
              const std::string& degradation) {
    Random rng(seed * 2654435761u + 7);
    Page page;
    page.degradation = degradation;
    auto is = [&](const char* name) { return degradation == name; };

    // The document at 40-pixel capitals: face text above, the zone below.
    Variation v;
    v.capHeight = 40;
    v.embolden = Range(rng, -0.8, 1.5);
    v.inkLevel = Range(rng, 0.75, 1.0);
    v.seed = seed;
    const cv::Mat mrz = RenderZone(font, zone, v);
    const int docW = int(mrz.cols * 1.1),
              docH = int(mrz.rows * (zone.lines.size() == 3 ? 3.2 : 4.5));
    const double paper = Range(rng, 190, 250);
    cv::Mat doc(docH, docW, CV_8U, cv::Scalar(paper));
    {
        // Face text of other sizes.
        int y = int(docH * 0.05);
        while (y < docH - mrz.rows - 60) {
            Variation fv;
            fv.capHeight = int(Range(rng, 14, 34));
            fv.seed = rng.Next();
            const cv::Mat t =
                ToMat(font.RenderLine(RandomText(rng, size_t(Range(rng, 5, 30))), fv, 4));
            Lay(doc, t, int(docW * Range(rng, 0.3, 0.5)), y);
            y += t.rows + int(Range(rng, 5, 30));
        }
    }
    // Patterned paper: fine waves of light ink over the whole document.
    if (is("pattern") || rng.Uniform() < 0.15) {
        const double f1 = Range(rng, 0.05, 0.2), f2 = Range(rng, 0.01, 0.04), a = Range(rng, 5, 30);
        const double depth = Range(rng, 25, 70);
        for (int y = 0; y < docH; ++y)
            for (int x = 0; x < docW; ++x) {
                const double w = std::sin(f1 * x + a * std::sin(f2 * y)) *
                                 std::sin(f1 * 0.7 * y + a * std::sin(f2 * x));
                if (w > 0.8) {
                    uint8_t& p = doc.at<uint8_t>(y, x);
                    p = uint8_t(std::max(0.0, p - depth * (w - 0.8) * 5));
                }
            }
    }
    Lay(doc, mrz, int(docW * 0.05), docH - mrz.rows - int(mrz.rows * 0.1));

    // Where the page goes: size, turn, skew and perspective.
    double charHeight = Range(rng, 12, 32);
    if (is("lowres")) charHeight = Range(rng, 6, 11);
    page.charHeight = charHeight;
    const double scale = charHeight / 40.0;
    cv::Mat small;
    cv::resize(doc, small, cv::Size(), scale, scale, cv::INTER_AREA);
    int turn = 0;
    if (is("turned")) turn = 90 * (1 + int(rng.Uniform() * 3));
    double skew = Range(rng, -2, 2);
    if (is("skew") || is("turned")) skew = Range(rng, -15, 15);
    const double angle = (turn + skew) * M_PI / 180;
    const double jitter = (is("perspective") ? 0.08 : 0.01) * small.cols;
    const float w = float(small.cols), hh = float(small.rows);
    std::vector<cv::Point2f> src{{0, 0}, {w, 0}, {w, hh}, {0, hh}};
    std::vector<cv::Point2f> dst;
    for (const cv::Point2f& p : src) {
        const cv::Point2f q(p.x + float(Range(rng, -jitter, jitter)),
                            p.y + float(Range(rng, -jitter, jitter)));
        // Clockwise on the screen (y down).
        dst.push_back({float(q.x * std::cos(angle) - q.y * std::sin(angle)),
                       float(q.x * std::sin(angle) + q.y * std::cos(angle))});
    }
    cv::Rect2f box = cv::boundingRect(dst);
    const float margin = float(Range(rng, 0.03, 0.25) * std::max(box.width, box.height));
    for (cv::Point2f& p : dst) p += cv::Point2f(margin - box.x, margin - box.y);
    const cv::Size size(int(box.width + 2 * margin), int(box.height + 2 * margin));
    const cv::Mat h = cv::getPerspectiveTransform(src, dst);
    cv::Mat grey;
    const double table = Range(rng, 30, 220);
    cv::warpPerspective(small, grey, h, size, cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                        cv::Scalar(table));
    page.rotation = (360 - turn) % 360;

    // Light: a gradient across the page.
    if (is("light") || rng.Uniform() < 0.2) {
        const double lo = Range(rng, 0.45, 0.8), dir = Range(rng, 0, 2 * M_PI);
        for (int y = 0; y < grey.rows; ++y)
            for (int x = 0; x < grey.cols; ++x) {
                const double t = 0.5 + 0.5 * ((x * std::cos(dir) + y * std::sin(dir)) /
                                              std::hypot(grey.cols, grey.rows));
                uint8_t& p = grey.at<uint8_t>(y, x);
                p = uint8_t(p * (lo + (1 - lo) * t));
            }
    }
    // Blur and sensor noise.
    const double sigma = is("blur") ? Range(rng, 0.9, 1.6) : Range(rng, 0.0, 0.6);
    if (sigma > 0.3) cv::GaussianBlur(grey, grey, cv::Size(0, 0), sigma);
    cv::Mat noise(grey.size(), CV_16S);
    cv::randn(noise, 0, Range(rng, 0, 6));
    cv::Mat sum;
    grey.convertTo(sum, CV_16S);
    sum += noise;
    sum.convertTo(grey, CV_8U);
    // A tint of the paper, as colour photos have.
    std::vector<cv::Mat> planes;
    for (int c = 0; c < 3; ++c) {
        cv::Mat p;
        grey.convertTo(p, CV_8U, Range(rng, 0.85, 1.0));
        planes.push_back(p);
    }
    cv::merge(planes, page.bgr);
    page.quality = is("jpeg") ? int(Range(rng, 40, 60)) : int(Range(rng, 60, 90));
    return page;
}

bool WriteJpeg(const std::string& path, const cv::Mat& bgr, int quality) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = JDIMENSION(bgr.cols);
    c.image_height = JDIMENSION(bgr.rows);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(bgr.cols) * 3);
    while (c.next_scanline < c.image_height) {
        const uint8_t* src = bgr.ptr<uint8_t>(int(c.next_scanline));
        for (int x = 0; x < bgr.cols; ++x) {
            row[size_t(x) * 3] = src[x * 3 + 2];
            row[size_t(x) * 3 + 1] = src[x * 3 + 1];
            row[size_t(x) * 3 + 2] = src[x * 3];
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
    return true;
}

}  // namespace mrzpages
