#include "Pages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

// Shifts the columns of doc down by a smooth bend: depth pixels at the
// far end (negative: up), from one side (a page bent towards its spine) or
// from the middle to both sides (a bowed card). Paper fills what moves in.
void Bend(cv::Mat& doc, double depth, Random& hard) {
    if (hard.Uniform() < 0.5) depth = -depth;
    const bool fromSide = hard.Uniform() < 0.6, fromLeft = hard.Uniform() < 0.5;
    cv::Mat mapX(doc.size(), CV_32F), mapY(doc.size(), CV_32F);
    const double w = std::max(1, doc.cols - 1);
    for (int x = 0; x < doc.cols; ++x) {
        const double t = fromSide ? (fromLeft ? 1 - x / w : x / w) : std::abs(2 * x / w - 1);
        const float dy = float(depth * t * t);
        for (int y = 0; y < doc.rows; ++y)
            mapX.at<float>(y, x) = float(x), mapY.at<float>(y, x) = float(y) - dy;
    }
    cv::Mat out;
    cv::remap(doc, out, mapX, mapY, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    doc = out;
}

}  // namespace

const std::vector<std::string>& Degradations() {
    static const std::vector<std::string> names{"clean", "skew",   "turned",  "perspective", "blur",
                                                "jpeg",  "lowres", "pattern", "light"};
    return names;
}

const std::vector<std::string>& HardConditions() {
    static const std::vector<std::string> names{"guilloche-light",
                                                "guilloche-mid",
                                                "hatching",
                                                "rule",
                                                "lookalike",
                                                "small",
                                                "bold",
                                                "thin",
                                                "blue",
                                                "text-above",
                                                "mono",
                                                "sans",
                                                "photo",
                                                "tight",
                                                "far",
                                                "mirror",
                                                "nozone-text",
                                                "nozone-table",
                                                "nozone-form"};
    return names;
}

const std::vector<std::string>& ExtraConditions() {
    static const std::vector<std::string> names{"tiny",  "accent", "curved",
                                                "glare", "shadow", "motion"};
    return names;
}

bool HasZone(const std::string& condition) {
    return condition.rfind("nozone", 0) != 0;
}

std::vector<std::string> Conditions(const std::string& conditions) {
    std::vector<std::string> out;
    for (size_t start = 0; start <= conditions.size();) {
        size_t end = conditions.find('+', start);
        if (end == std::string::npos) end = conditions.size();
        out.push_back(conditions.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

bool HasCondition(const std::string& conditions, const std::string& name) {
    const std::vector<std::string> all = Conditions(conditions);
    return std::find(all.begin(), all.end(), name) != all.end();
}

namespace {

// A fine security background (guilloche: crossing waves; hatching: straight
// strokes at a slant) laid over the band [top, bottom) of doc, darkening the
// paper by depth grey levels.
void Background(cv::Mat& doc, int top, int bottom, bool hatching, double depth, Random& rng) {
    const double f1 = Range(rng, 0.04, 0.12), f2 = Range(rng, 0.005, 0.02);
    const double amp = Range(rng, 8, 30), width = Range(rng, 0.08, 0.25);
    const double angle = Range(rng, 0.3, 1.3), spacing = Range(rng, 6, 16);
    const double stroke = Range(rng, 1.0, 3.5);
    for (int y = std::max(0, top); y < std::min(doc.rows, bottom); ++y)
        for (int x = 0; x < doc.cols; ++x) {
            double on = 0;
            if (hatching) {
                const double t =
                    std::fmod(x * std::cos(angle) + y * std::sin(angle) + 1e4, spacing);
                on = t < stroke ? 1.0 : 0.0;
            } else {
                const double a = std::sin(f1 * x + amp * std::sin(f2 * y + 0.3 * std::sin(f2 * x)));
                const double b = std::sin(f1 * 0.8 * x - amp * std::sin(f2 * 1.3 * y));
                on = (std::abs(a) < width ? 1.0 : 0.0) + (std::abs(b) < width ? 0.6 : 0.0);
            }
            if (on > 0) {
                uint8_t& p = doc.at<uint8_t>(y, x);
                p = uint8_t(std::max(0.0, p - depth * std::min(1.0, on)));
            }
        }
}

// Clutter behind a photographed page: a desk of blotches, strokes and print.
cv::Mat Clutter(cv::Size size, const gw::render::TextRenderer& font, Random& rng) {
    cv::Mat out(size, CV_8U, cv::Scalar(Range(rng, 40, 200)));
    for (int i = 0; i < 30; ++i) {
        const cv::Point c(int(Range(rng, 0, size.width)), int(Range(rng, 0, size.height)));
        const int r = int(Range(rng, 10, std::max(20, size.width / 6)));
        if (rng.Uniform() < 0.5)
            cv::circle(out, c, r, cv::Scalar(Range(rng, 0, 255)), -1);
        else
            cv::line(out, c, c + cv::Point(int(Range(rng, -r, r)), int(Range(rng, -r, r))) * 3,
                     cv::Scalar(Range(rng, 0, 255)), int(Range(rng, 1, 8)));
    }
    for (int i = 0; i < 6; ++i) {
        Variation fv;
        fv.capHeight = int(Range(rng, 8, 24));
        fv.seed = rng.Next();
        const cv::Mat t = ToMat(font.RenderLine(RandomText(rng, size_t(Range(rng, 8, 40))), fv, 4));
        Lay(out, t, int(Range(rng, -100, size.width)), int(Range(rng, 0, size.height)));
    }
    return out;
}

// What stands on a page without a zone, where a zone might be: lines of
// OCR-B capitals, a table of fillers and digits, or a form with boxes and a
// barcode; drawn into doc over the band from top.
void NoZone(cv::Mat& doc, int top, const std::string& kind, const gw::render::TextRenderer& font,
            Random& rng) {
    Variation v;
    v.capHeight = 40;
    v.seed = rng.Next();
    if (kind == "nozone-text") {
        for (int l = 0; l < 3; ++l) {
            std::string text = RandomText(rng, size_t(Range(rng, 30, 44)));
            if (rng.Uniform() < 0.5)
                for (char& c : text)
                    if (c == ' ') c = '<';
            Lay(doc, ToMat(font.RenderLine(text, v, 40)), int(doc.cols * 0.05), top + 76 * l);
        }
    } else if (kind == "nozone-table") {
        const int cols = int(Range(rng, 3, 7)), rows = int(Range(rng, 2, 4));
        const int cw = int(doc.cols * 0.9) / cols, rh = 70;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) {
                const int x = int(doc.cols * 0.05) + c * cw, y = top + r * rh;
                cv::rectangle(doc, cv::Rect(x, y, cw, rh), cv::Scalar(40), 2);
                std::string cell;
                const int n = std::max(1, cw / 40 - 1);
                for (int k = 0; k < n; ++k)
                    cell += rng.Uniform() < 0.6 ? '<' : char('0' + int(rng.Uniform() * 10));
                Lay(doc, ToMat(font.RenderLine(cell, v, 8)), x + 6, y + 4);
            }
    } else {
        for (int b = 0; b < 3; ++b) {
            const cv::Rect box(int(doc.cols * (0.05 + 0.3 * b)), top, int(doc.cols * 0.27), 60);
            cv::rectangle(doc, box, cv::Scalar(30), 2);
            Variation sv = v;
            sv.capHeight = 18;
            Lay(doc, ToMat(font.RenderLine(RandomText(rng, 8), sv, 2)), box.x + 4, box.y + 4);
        }
        int x = int(doc.cols * Range(rng, 0.05, 0.4));
        const int y = top + 90, h = int(Range(rng, 60, 120));
        while (x < doc.cols * 0.95) {
            const int w = int(Range(rng, 2, 9));
            if (rng.Uniform() < 0.5) cv::rectangle(doc, cv::Rect(x, y, w, h), cv::Scalar(10), -1);
            x += w;
        }
    }
}

}  // namespace

namespace {

// The zone's lines rendered one by one, with a margin of a capital's height.
std::vector<cv::Mat> RenderLines(const gw::render::TextRenderer& font, const Zone& zone,
                                 const Variation& v) {
    std::vector<cv::Mat> lines;
    for (size_t i = 0; i < zone.lines.size(); ++i) {
        Variation lv = v;
        lv.seed = v.seed * 31 + i;
        lines.push_back(ToMat(font.RenderLine(zone.lines[i], lv, v.capHeight)));
    }
    return lines;
}

// Rendered lines set one under another, 1.9 capital heights apart.
cv::Mat Stack(const std::vector<cv::Mat>& lines, int capHeight) {
    const int step = int(std::lround(capHeight * 1.9));
    int width = 0;
    for (const cv::Mat& l : lines) width = std::max(width, l.cols);
    cv::Mat out(lines[0].rows + step * int(lines.size() - 1), width, CV_8U, cv::Scalar(255));
    for (size_t i = 0; i < lines.size(); ++i) Lay(out, lines[i], 0, step * int(i));
    return out;
}

}  // namespace

cv::Mat RenderZone(const gw::render::TextRenderer& font, const Zone& zone, const Variation& v) {
    return Stack(RenderLines(font, zone, v), v.capHeight);
}

namespace {

// A diacritic of kind 0 (tilde), 1 (two dots) or 2 (acute) drawn in ink
// level ink into the box area of line.
void Diacritic(cv::Mat& line, const cv::Rect& area, int kind, int stroke, uint8_t ink) {
    const cv::Scalar colour(ink);
    const int cx = area.x + area.width / 2, cy = area.y + area.height / 2;
    if (kind == 0) {
        std::vector<cv::Point> wave;
        for (int i = 0; i <= 12; ++i) {
            const double t = i / 12.0;
            wave.push_back({area.x + int(std::lround(t * area.width)),
                            cy - int(std::lround(std::sin(t * 2 * M_PI) * area.height * 0.3))});
        }
        cv::polylines(line, wave, false, colour, stroke, cv::LINE_AA);
    } else if (kind == 1) {
        const int r = std::max(1, stroke * 4 / 5);
        cv::circle(line, {area.x + area.width / 4, cy}, r, colour, -1, cv::LINE_AA);
        cv::circle(line, {area.x + area.width * 3 / 4, cy}, r, colour, -1, cv::LINE_AA);
    } else {
        cv::line(line, {cx - area.width / 5, area.y + area.height}, {cx + area.width / 5, area.y},
                 colour, stroke, cv::LINE_AA);
    }
}

// The cells of a rendered OCR-B line of n characters (a fixed advance; the
// renderer's margin and the room it leaves for emboldening at each end).
cv::Range CellColumns(const cv::Mat& line, size_t n, size_t k, int margin, double embolden) {
    const int extra = gw::render::TextRenderer::EmboldenRoom(embolden);
    const double advance = double(line.cols - 2 * margin - 2 * extra) / double(n);
    return {margin + extra + int(std::lround(advance * double(k))),
            margin + extra + int(std::lround(advance * double(k + 1)))};
}

// Makes letter k of line a national capital, as some issuers print their
// zones (the Spanish N with a tilde above all): the letter squeezed onto its
// baseline and a mark over it, within the capitals' height.
void Accent(cv::Mat& line, size_t n, size_t k, char letter, const Variation& v, Random& rng) {
    const cv::Range cols = CellColumns(line, n, k, v.capHeight, v.embolden);
    cv::Mat cell = line.colRange(cols);
    cv::Mat ink = cell < 128;
    const cv::Rect box = cv::boundingRect(ink);
    if (box.height < 8) return;
    double lo = 255;
    cv::minMaxLoc(cell, &lo);
    const double squeeze = Range(rng, 0.7, 0.82);
    const int h = int(std::lround(box.height * squeeze));
    cv::Mat glyph;
    cv::resize(cell.rowRange(box.y, box.y + box.height), glyph, cv::Size(cell.cols, h), 0, 0,
               cv::INTER_AREA);
    cell.rowRange(box.y, box.y + box.height).setTo(cv::Scalar(255));
    glyph.copyTo(cell.rowRange(box.y + box.height - h, box.y + box.height));
    const int room = box.height - h;
    const int stroke = std::max(2, int(std::lround(v.capHeight * 0.11 + v.embolden)));
    const int kind = letter == 'N' ? 0 : letter == 'E' ? 2 : 1;
    const cv::Rect area(box.x + box.width / 8, box.y + stroke / 2, box.width * 3 / 4,
                        std::max(2, room - stroke * 3 / 2));
    Diacritic(cell, area, kind, stroke, uint8_t(lo));
}

// The zone rendered as RenderZone does, with one to three letters of its
// names (A, E, N, O, U) printed as national capitals; its lines keep the
// base letters, as a reader must give them.
cv::Mat RenderAccented(const gw::render::TextRenderer& font, const Zone& zone, const Variation& v,
                       Random& rng) {
    const size_t nameLine = zone.format == "TD1" ? 2 : 0;
    const size_t first = zone.format == "TD1" ? 0 : 5;
    const std::string& names = zone.lines[nameLine];
    std::vector<size_t> places;
    for (size_t k = first; k < names.size(); ++k)
        if (std::string("AENOU").find(names[k]) != std::string::npos) places.push_back(k);
    std::vector<cv::Mat> lines = RenderLines(font, zone, v);
    const int count = 1 + int(rng.Uniform() * 3);
    for (int a = 0; a < count && !places.empty(); ++a) {
        const size_t at = size_t(rng.Uniform() * double(places.size())) % places.size();
        Accent(lines[nameLine], names.size(), places[at], names[places[at]], v, rng);
        places.erase(places.begin() + long(at));
    }
    return Stack(lines, v.capHeight);
}

}  // namespace

Page MakePage(const gw::render::TextRenderer& font, const Zone& zone, uint64_t seed,
              const std::string& degradation, const gw::render::TextRenderer* face) {
    Random rng(seed * 2654435761u + 7);
    // The hard conditions draw from their own stream, so that the classic
    // degradations' pages stay as they were.
    Random hard(seed * 0x9E3779B97F4A7C15ull + 12345);
    Page page;
    page.degradation = degradation;
    page.hasZone = HasZone(degradation);
    auto is = [&](const char* name) { return HasCondition(degradation, name); };

    // The document at 40-pixel capitals: face text above, the zone below.
    Variation v;
    v.capHeight = 40;
    v.embolden = Range(rng, -0.8, 1.5);
    v.inkLevel = Range(rng, 0.75, 1.0);
    v.seed = seed;
    if (is("bold")) v.embolden = Range(hard, 1.6, 4.0);
    if (is("thin")) v.embolden = Range(hard, -1.5, -0.9);
    // A thumbnail: print of 5-6 pixels, often grey where the picture was
    // made smaller.
    if (is("tiny")) v.inkLevel = Range(hard, 0.45, 0.9);
    // A face of varying widths set at a fixed pitch, as some issuers print
    // their zones: its widest capitals (M, W: 1.0-1.15 capital heights in
    // these faces) just fit, where OCR-B's pitch is 0.96 of its capitals.
    const bool fixedPitch = is("sans") || is("serif") || is("sans-unseen");
    if (fixedPitch) v.pitch = v.capHeight * Range(hard, 1.05, 1.25);
    const bool otherFace = (is("mono") || fixedPitch) && face;
    const cv::Mat mrz = is("accent") ? RenderAccented(font, zone, v, hard)
                                     : RenderZone(otherFace ? *face : font, zone, v);
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
    const int zoneX = int(docW * 0.05), zoneY = docH - mrz.rows - int(mrz.rows * 0.1);
    // The zone's first capitals' top, and its last line's baseline.
    const int capTop = zoneY + v.capHeight, baseline = zoneY + mrz.rows - v.capHeight;
    if (is("guilloche-light") || is("guilloche-mid") || is("hatching"))
        Background(doc, capTop - 3 * v.capHeight, docH, is("hatching"),
                   is("guilloche-light") || (is("hatching") && hard.Uniform() < 0.5)
                       ? Range(hard, 25, 55)
                       : Range(hard, 70, 120),
                   hard);
    if (is("rule")) {
        // A rule or frame edge 2-10 pixels (at 20-pixel capitals) above or below.
        const int gap = int(Range(hard, 4, 20)), thick = int(Range(hard, 2, 7));
        const int y = hard.Uniform() < 0.6 ? capTop - gap - thick : baseline + gap;
        cv::rectangle(doc, cv::Rect(0, y, docW, thick), cv::Scalar(Range(hard, 0, 90)), -1);
    }
    if (is("text-above")) {
        Variation fv;
        fv.capHeight = int(Range(hard, 24, 40));
        fv.seed = hard.Next();
        const cv::Mat t =
            ToMat(font.RenderLine(RandomText(hard, size_t(Range(hard, 10, 40))), fv, 4));
        const int gap = int(Range(hard, 0.5, 1.0) * v.capHeight);
        Lay(doc, t, int(docW * Range(hard, 0.03, 0.3)), capTop - gap - t.rows + 4);
    }
    cv::Mat zoneInk(doc.size(), CV_8U, cv::Scalar(0));  // the zone's ink, for coloured ink
    if (page.hasZone) {
        Lay(doc, mrz, zoneX, zoneY);
        if (is("blue") || is("tight")) {
            cv::Mat inv = 255 - mrz;
            inv.copyTo(
                zoneInk(cv::Rect(zoneX, zoneY, mrz.cols, mrz.rows) & cv::Rect(0, 0, docW, docH)));
        }
    } else {
        NoZone(doc, capTop - v.capHeight / 2, degradation, font, hard);
    }

    // Light off a laminate: a bright patch over the zone, washed out to the
    // paper's white at its core (half to nine tenths of the way), fading out
    // over 1.5 to 6 capital heights along the lines and 0.5 to 2 across.
    if (is("glare")) {
        const double cx = zoneX + Range(hard, 0.0, 1.0) * mrz.cols;
        const double cy = zoneY + Range(hard, 0.2, 0.8) * mrz.rows;
        const double rx = Range(hard, 1.5, 6) * v.capHeight, ry = Range(hard, 0.5, 2) * v.capHeight;
        const double turn = Range(hard, -0.5, 0.5), peak = Range(hard, 0.5, 0.9);
        const double c = std::cos(turn), s = std::sin(turn);
        for (int y = 0; y < docH; ++y)
            for (int x = 0; x < docW; ++x) {
                const double u = ((x - cx) * c + (y - cy) * s) / rx;
                const double w = (-(x - cx) * s + (y - cy) * c) / ry;
                const double d2 = u * u + w * w;
                if (d2 > 9) continue;
                uint8_t& p = doc.at<uint8_t>(y, x);
                p = uint8_t(p + (255 - p) * peak * std::exp(-0.5 * d2 * d2));
            }
    }
    // The shadow of a hand or a phone across the zone: the page darkened to
    // 0.35-0.7 of its light past a straight edge 30-150 degrees from the
    // lines, the edge soft over 0.05-0.4 capital heights.
    if (is("shadow")) {
        const double cx = zoneX + Range(hard, 0.1, 0.9) * mrz.cols, cy = zoneY + 0.5 * mrz.rows;
        const double a = Range(hard, 30, 150) * M_PI / 180, keep = Range(hard, 0.35, 0.7);
        const double soft = Range(hard, 0.05, 0.4) * v.capHeight;
        const double side = hard.Uniform() < 0.5 ? 1 : -1;
        for (int y = 0; y < docH; ++y)
            for (int x = 0; x < docW; ++x) {
                const double d = side * ((x - cx) * std::sin(a) - (y - cy) * std::cos(a)) / soft;
                const double dark = 1.0 / (1.0 + std::exp(-d));
                uint8_t& p = doc.at<uint8_t>(y, x);
                p = uint8_t(p * (1.0 - (1.0 - keep) * dark));
            }
    }

    // A page that does not lie flat: bent towards a passport's spine (the
    // bend growing from one side) or bowed across (a card in a hand, a
    // lens's barrel), its rows shifted by up to 0.3-1.2 capital heights at
    // the zone's ends.
    if (is("curved")) Bend(doc, Range(hard, 0.3, 1.2) * v.capHeight, hard);

    // Where the page goes: size, turn, skew and perspective.
    double charHeight = Range(rng, 12, 32);
    if (is("lowres")) charHeight = Range(rng, 6, 11);
    if (is("small")) charHeight = Range(hard, 6, 9);
    if (is("tiny")) charHeight = Range(hard, 5, 6);
    // A document photographed from afar: small in a camera-sized picture.
    const bool far = is("far");
    if (far) charHeight = Range(hard, 8, 14);
    page.charHeight = charHeight;
    const double scale = charHeight / 40.0;
    cv::Mat small;
    cv::resize(doc, small, cv::Size(), scale, scale, cv::INTER_AREA);
    int turn = 0;
    if (is("turned")) turn = 90 * (1 + int(rng.Uniform() * 3));
    double skew = Range(rng, -2, 2);
    if (is("skew") || is("turned")) skew = Range(rng, -15, 15);
    if (is("photo")) skew = Range(hard, -180, 180);
    if (far) skew = Range(hard, -20, 20);
    const double angle = (turn + skew) * M_PI / 180;
    const double jitter = (is("perspective") || is("photo") || far ? 0.08 : 0.01) * small.cols;
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
    // From afar, the zone spans about a seventh to a quarter of the
    // picture's longer side.
    const float margin = float((far ? Range(hard, 1.3, 2.5) : Range(rng, 0.03, 0.25)) *
                               std::max(box.width, box.height));
    for (cv::Point2f& p : dst) p += cv::Point2f(margin - box.x, margin - box.y);
    const cv::Size size(int(box.width + 2 * margin), int(box.height + 2 * margin));
    const cv::Mat h = cv::getPerspectiveTransform(src, dst);
    cv::Mat grey;
    const double table = Range(rng, 30, 220);
    cv::warpPerspective(small, grey, h, size, cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                        cv::Scalar(table));
    page.rotation = (360 - turn) % 360;
    if (is("photo") || far) {
        // The page photographed on a cluttered desk, at any angle.
        page.rotation = int(std::lround(std::fmod(720.0 - skew, 360.0))) % 360;
        grey = Clutter(size, font, hard);
        cv::warpPerspective(small, grey, h, size, cv::INTER_LINEAR, cv::BORDER_TRANSPARENT);
    }
    cv::Mat blueInk;  // the zone's ink on the page (dark-blue ink and tight crops)
    if (is("blue") || is("tight")) {
        cv::Mat smallInk;
        cv::resize(zoneInk, smallInk, small.size(), 0, 0, cv::INTER_AREA);
        cv::warpPerspective(smallInk, blueInk, h, size, cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                            cv::Scalar(0));
    }
    // A tight crop: the picture cut 0 to a quarter of a capital outside the
    // zone's ink on each side, as an app that sends only the zone cuts it.
    cv::Rect tight;
    if (is("tight")) {
        const cv::Rect ink = cv::boundingRect(blueInk > 128);
        auto out = [&] { return int(std::lround(Range(hard, 0, 0.25) * charHeight)); };
        const int left = out(), top = out(), right = out(), bottom = out();
        tight = cv::Rect(ink.x - left, ink.y - top, ink.width + left + right,
                         ink.height + top + bottom) &
                cv::Rect(0, 0, size.width, size.height);
        blueInk.release();
    }
    if (is("photo") || far) {
        // Uneven light: a bright spot and a dark corner.
        const double cx = Range(hard, 0, grey.cols), cy = Range(hard, 0, grey.rows);
        const double reach = Range(hard, 0.5, 1.2) * std::hypot(grey.cols, grey.rows);
        const double lo = Range(hard, 0.4, 0.7);
        for (int y = 0; y < grey.rows; ++y)
            for (int x = 0; x < grey.cols; ++x) {
                const double t = std::min(1.0, std::hypot(x - cx, y - cy) / reach);
                uint8_t& p = grey.at<uint8_t>(y, x);
                p = uint8_t(p * (1.0 - (1.0 - lo) * t));
            }
    }

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
    double sigma = is("blur") ? Range(rng, 0.9, 1.6) : Range(rng, 0.0, 0.6);
    if (is("small")) sigma = Range(hard, 0.5, 1.0);
    if (is("tiny")) sigma = Range(hard, 0.0, 0.7);
    if (sigma > 0.3) cv::GaussianBlur(grey, grey, cv::Size(0, 0), sigma);
    // The camera moved: a streak of 0.15 to 0.35 capital heights at any angle.
    if (is("motion")) {
        const int length = std::max(2, int(std::lround(Range(hard, 0.15, 0.35) * charHeight)));
        const double a = Range(hard, 0, M_PI);
        const int size = length | 1;
        cv::Mat kernel(size, size, CV_32F, cv::Scalar(0));
        const cv::Point2d mid(size / 2, size / 2);
        for (int i = 0; i < 4 * size; ++i) {
            const double t = (i / (4.0 * size - 1) - 0.5) * (length - 1);
            kernel.at<float>(int(std::lround(mid.y + t * std::sin(a))),
                             int(std::lround(mid.x + t * std::cos(a)))) += 1.0f;
        }
        kernel /= cv::sum(kernel)[0];
        cv::filter2D(grey, grey, -1, kernel, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
    }
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
    if (!blueInk.empty()) {
        // Dark-blue ink: the zone's ink keeps much of the paper's blue and
        // some of its green, so it stands lighter in its lightest channel.
        if (sigma > 0.3) cv::GaussianBlur(blueInk, blueInk, cv::Size(0, 0), sigma);
        const double blue = Range(hard, 0.35, 0.55), green = Range(hard, 0.05, 0.2);
        for (int y = 0; y < grey.rows; ++y)
            for (int x = 0; x < grey.cols; ++x) {
                const double m = blueInk.at<uint8_t>(y, x) / 255.0;
                uint8_t& b = planes[0].at<uint8_t>(y, x);
                uint8_t& g = planes[1].at<uint8_t>(y, x);
                b = uint8_t(std::min(255.0, b + m * blue * 255));
                g = uint8_t(std::min(255.0, g + m * green * 255));
            }
    }
    cv::merge(planes, page.bgr);
    if (!tight.empty()) page.bgr = page.bgr(tight).clone();
    // A mirrored picture, as a phone's front camera takes it.
    if (is("mirror")) cv::flip(page.bgr, page.bgr, 1), page.mirrored = true;
    page.quality = is("jpeg") ? int(Range(rng, 40, 60)) : int(Range(rng, 60, 90));
    return page;
}

bool EncodeJpeg(const cv::Mat& bgr, int quality, std::vector<uint8_t>& out) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
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
    out.assign(buffer, buffer + size);
    std::free(buffer);
    return !out.empty();
}

bool WriteJpeg(const std::string& path, const cv::Mat& bgr, int quality) {
    std::vector<uint8_t> data;
    if (!EncodeJpeg(bgr, quality, data)) return false;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace mrzpages
