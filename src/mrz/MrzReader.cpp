#include "mrz/MrzReader.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>
#include <numeric>
#include <string_view>
#include <tuple>

#include <opencv2/imgproc.hpp>

#include "GlyphwickMrz.h"
#include "image/Grey.h"
#include "mrz/MrzClassify.h"
#include "mrz/MrzFind.h"
#include "mrz/MrzLimits.h"
#include "shared/Deadline.h"

namespace gw::mrz {

namespace {

// What the reading of one upright image has measured of a line, kept for
// every set it belongs to (a set of three lines shares its lines with the
// two sets of two): its ink across the image, the patch value of each grey
// level, and its own cut at each length tried.
struct LineWork {
    LineBand line;
    LineInk across;
    bool levelsMade = false;
    LineLevels levels;
    // A cut of the line with the cells sampled so far (sampled[k]: cells[k]
    // holds cell k).
    struct Cells {
        CutLine cut;
        std::vector<uint8_t> sampled;
    };
    struct Own {
        int length = 0;
        bool fits = false;
        Cells cells;
    };
    std::deque<Own> own;
};

// The lines of one upright image's sets, each measured once.
class LinesWork {
  public:
    LinesWork(const cv::Mat& grey, const cv::Mat& ink, bool throughTexture)
        : grey_(grey), ink_(ink), throughTexture_(throughTexture) {}

    // The work of a line of a set: lines are compared by value, as the sets
    // hold copies of them.
    LineWork& Of(const LineBand& line) {
        for (LineWork& w : lines_)
            if (std::memcmp(&w.line, &line, sizeof line) == 0) return w;
        LineWork& w = lines_.emplace_back();
        w.line = line;
        w.across = InkAcross(ink_, line);
        return w;
    }

    // The line's own cut at length (FitLineCut), null when none fits.
    LineWork::Cells* Own(LineWork& w, int length) {
        for (LineWork::Own& o : w.own)
            if (o.length == length) return o.fits ? &o.cells : nullptr;
        LineWork::Own& o = w.own.emplace_back();
        o.length = length;
        o.fits = FitLineCut(w.across, length, o.cells.cut);
        return o.fits ? &o.cells : nullptr;
    }

    // Cell k of a cut of the line of length cells, sampled once.
    const Patch& Cell(LineWork& w, LineWork::Cells& c, int length, size_t k) {
        if (c.sampled.empty()) {
            c.cut.cells.resize(size_t(length));
            c.sampled.assign(size_t(length), 0);
        }
        if (!c.sampled[k]) {
            if (!w.levelsMade) {
                w.levels = LevelsOfLine(grey_, w.across, w.line, length, throughTexture_);
                w.levelsMade = true;
            }
            SampleCutCell(grey_, w.line, w.levels, length, c.cut, int(k), c.cut.cells[k]);
            c.sampled[k] = 1;
        }
        return c.cut.cells[k];
    }

    // The cut with every cell sampled, as SampleCutCells samples them.
    const CutLine& AllCells(LineWork& w, LineWork::Cells& c, int length) {
        for (size_t k = 0; k < size_t(length); ++k) Cell(w, c, length, k);
        return c.cut;
    }

  private:
    const cv::Mat& grey_;
    const cv::Mat& ink_;
    bool throughTexture_;
    std::deque<LineWork> lines_;
};

// The cuts of a set of lines at one length, as the reading cuts them: the
// best fitted line's own cut, and for each other line a cut sharing its
// pitch and start, or the line's own where that cannot be placed. A cut is
// placed, and its cells sampled, only once they are read: most sets are
// given up after a few cells of one line.
class ZoneCuts {
  public:
    ZoneCuts(LinesWork& work, const std::vector<LineWork*>& lines,
             const std::vector<LineWork::Cells*>& own, size_t fit, int length)
        : work_(work),
          lines_(lines),
          own_(own),
          fit_(fit),
          length_(length),
          at_(lines.size(), nullptr),
          shared_(lines.size()) {
        at_[fit] = own[fit];
    }

    size_t Lines() const { return lines_.size(); }
    size_t Length() const { return size_t(length_); }
    size_t Fit() const { return fit_; }

    // Places line i's cut.
    void Place(size_t i) {
        if (at_[i] != nullptr) return;
        const CutLine& f = at_[fit_]->cut;
        CutLine& c = shared_[i].cut;
        c.left = own_[i]->cut.left, c.pitch = own_[i]->cut.pitch;
        c.growth = own_[i]->cut.growth, c.fit = own_[i]->cut.fit;
        at_[i] = FitLineCut(lines_[i]->across, length_, c, f.pitch, f.left, f.growth) ? &shared_[i]
                                                                                      : own_[i];
    }

    // Cell k of line i (placed).
    const Patch& Cell(size_t i, size_t k) { return work_.Cell(*lines_[i], *at_[i], length_, k); }

    // Whether line i keeps its own cut.
    bool Own(size_t i) const { return at_[i] == own_[i]; }

    // The cuts, with every cell sampled.
    std::vector<CutLine> Cuts() {
        std::vector<CutLine> out;
        for (size_t i = 0; i < lines_.size(); ++i) {
            Place(i);
            out.push_back(work_.AllCells(*lines_[i], *at_[i], length_));
        }
        return out;
    }

  private:
    LinesWork& work_;
    const std::vector<LineWork*>& lines_;
    const std::vector<LineWork::Cells*>& own_;
    size_t fit_;
    int length_;
    std::vector<LineWork::Cells*> at_;
    std::vector<LineWork::Cells> shared_;
};

// The line lengths to try for a set of lines: 30 for three; for two, the
// length whose pitch fits OCR-B's shape first, then the other: a zone in
// another face (a narrower monospace, whose pitch is 0.80 to 0.88 of its
// capital height) fits the wrong one better.
// The pitch at which line's ink spans length cells, over OCR-B's pitch for
// its capitals' height (kPitchPerHeight); 0 when the line has no ink.
float PitchRatio(const LineInk& across, const LineBand& line, int length) {
    if (!across.found) return 0;
    const float pitch = (across.right - across.left) / (float(length) - MrzLimits::kOuterBearings);
    return pitch / std::max(1.0f, line.Height()) / kPitchPerHeight;
}

std::vector<int> Lengths(const std::vector<LineWork*>& lines) {
    if (lines.size() == 3) return {30};
    auto miss = [&](int n) {
        return std::abs(PitchRatio(lines[0]->across, lines[0]->line, n) - 1.0f);
    };
    return miss(44) <= miss(36) ? std::vector<int>{44, 36} : std::vector<int>{36, 44};
}

// Whether every line's ink spans length cells at a pitch its capitals' height
// allows (MrzLimits::kPitchRatioMin to kPitchRatioMax of OCR-B's): a line of
// text, or a set of lines of unequal length, has no zone's cells to cut.
bool PitchFits(const std::vector<LineWork*>& lines, int length) {
    for (const LineWork* w : lines) {
        const float ratio = PitchRatio(w->across, w->line, length);
        if (ratio < MrzLimits::kPitchRatioMin || ratio > MrzLimits::kPitchRatioMax) return false;
    }
    return true;
}

// The mean top probability of cells (0 when there are none).
float MeanTop(const std::vector<Scores>& cells) {
    float sum = 0;
    for (const Scores& s : cells) sum += *std::max_element(s.begin(), s.end());
    return cells.empty() ? 0.0f : sum / float(cells.size());
}

// Classifies every cell of a cut line into cells, counted into *counted
// when given; returns their mean top probability.
float ClassifyLine(const CutLine& line, std::vector<Scores>& cells, long* counted) {
    if (counted) *counted += long(line.cells.size());
    cells = ClassifyCells(line.cells.data(), line.cells.size());
    return MeanTop(cells);
}

// The cells of a line of n cells that a probe reads first: count of them,
// spread evenly along it (not its first few, which are a document's fixed
// letters or fillers more often than the rest).
std::vector<size_t> ProbeCells(size_t n, size_t count) {
    std::vector<size_t> out;
    count = std::min(count, n);
    for (size_t j = 0; j < count; ++j) out.push_back((2 * j + 1) * n / (2 * count));
    return out;
}

// Cells of a date and its check digit, as DateCells lists them.
constexpr size_t kDateCells = std::tuple_size_v<DateScores>;

// Classifies every cell of a zone; returns the mean top probability over its
// cells, or -1 when the print holds no zone. A probe is read first: the
// cells of the dates and their check digits, then a few cells spread along
// each line. Dates that do not read as digits or cannot hold as dates, or a
// line whose spread cells read poorly, end it there: most places and cuts
// tried hold no zone (text of capitals reads well, but not as digits where
// a zone has its dates, and text of digits not as dates whose checks hold),
// and the probe costs a fraction of the whole. The dates go first: on pages
// of text in capitals they end five places in six of those that end, in
// fewer cells than the spread cells of every line. The spread cells are
// read one line at a time, the best fitted first, and the first line that
// reads poorly ends it (any one ends it, whichever is read first), so that
// the other lines' cells need not be sampled. Every test ends the same
// print whatever the order, so the order changes the time, not the
// reading. The time spent placing and sampling is added to cutting, the
// cells classified to *counted when given.
float ClassifyZone(ZoneCuts& cuts, std::vector<std::vector<Scores>>& cells,
                   std::vector<float>& means, double& cutting, long* counted) {
    const size_t lines = cuts.Lines(), length = cuts.Length();
    cells.assign(lines, std::vector<Scores>(length));
    means.assign(lines, 0);
    if (lines == 0) return -1;
    // Which read each cell is in: the dates', the spread cells', the rest's
    // (a spread cell of a date is read with the dates).
    enum Read : uint8_t { kRest, kSpread, kDates };
    std::vector<std::vector<Read>> in(lines, std::vector<Read>(length, kRest));
    std::vector<std::pair<size_t, size_t>> dates;
    // (The lines of a cut share its length, which the cells are placed by.)
    for (const auto& [line, column] : DateCells(int(lines), int(length))) {
        dates.emplace_back(size_t(line), size_t(column));
        in[size_t(line)][size_t(column)] = kDates;
    }
    const std::vector<size_t> spread = ProbeCells(length, size_t(MrzLimits::kProbeCellsPerLine));
    for (size_t i = 0; i < lines; ++i)
        for (size_t k : spread)
            if (in[i][k] == kRest) in[i][k] = kSpread;
    // Reads the cells of one read on lines [from, to) into cells, in one
    // pass of the network.
    std::vector<Patch> patches;
    auto read = [&](Read which, size_t from, size_t to) {
        auto t = ThreadClock::now();
        patches.clear();
        for (size_t i = from; i < to; ++i) {
            cuts.Place(i);
            for (size_t k = 0; k < length; ++k)
                if (in[i][k] == which) patches.push_back(cuts.Cell(i, k));
        }
        cutting += MsSince(t);
        if (counted) *counted += long(patches.size());
        const std::vector<Scores> scores = ClassifyCells(patches.data(), patches.size());
        size_t p = 0;
        for (size_t i = from; i < to; ++i)
            for (size_t k = 0; k < length; ++k)
                if (in[i][k] == which) cells[i][k] = scores[p++];
    };
    if (!dates.empty()) {
        read(kDates, 0, lines);
        float digits = 0;
        for (const auto& [line, column] : dates) {
            const Scores& s = cells[line][column];
            digits += std::accumulate(s.begin(), s.begin() + 10, s[kClasses - 1]);
        }
        if (digits / float(dates.size()) < MrzLimits::kProbeDateDigits) return -1;
        // Text of digits and capitals where a zone has its dates reads as
        // digits too, but as dates whose checks hold only by chance: where
        // neither may, no zone is there (a document printed with one date's
        // check digit wrong has the other's right).
        bool mayHold = false;
        for (size_t f = 0; f + kDateCells <= dates.size() && !mayHold; f += kDateCells) {
            DateScores field;
            for (size_t j = 0; j < kDateCells; ++j)
                field[j] = &cells[dates[f + j].first][dates[f + j].second];
            mayHold = DateMayHold(field);
        }
        if (!mayHold) return -1;
    }
    for (size_t n = 0; n < lines; ++n) {
        const size_t i = n == 0 ? cuts.Fit() : n <= cuts.Fit() ? n - 1 : n;
        read(kSpread, i, i + 1);
        float sum = 0;
        for (size_t k : spread) sum += *std::max_element(cells[i][k].begin(), cells[i][k].end());
        const float probe = spread.empty() ? 0.0f : sum / float(spread.size());
        if (probe < MrzLimits::kProbePoorLine) return -1;
    }
    float sum = 0;
    for (size_t i = 0; i < lines; ++i) {
        read(kRest, i, i + 1);
        means[i] = MeanTop(cells[i]);
        if (means[i] < MrzLimits::kPoorLineMean) return -1;
        sum += means[i];
    }
    return sum / float(lines);
}

// Whether point p of the page's pixels stands on a page of that size (within
// half a pixel of its outer pixels' centres).
bool OnPage(cv::Size page, std::pair<float, float> p) {
    return p.first >= -0.5f && p.second >= -0.5f && p.first <= float(page.width) - 0.5f &&
           p.second <= float(page.height) - 0.5f;
}

std::pair<float, float> ToPage(const cv::Matx33f& m, float x, float y) {
    const float d = m(2, 0) * x + m(2, 1) * y + m(2, 2);
    return {(m(0, 0) * x + m(0, 1) * y + m(0, 2)) / d, (m(1, 0) * x + m(1, 1) * y + m(1, 2)) / d};
}

// Where the reading stood on the page: its corners, orientation and skew.
void Place(const Upright& u, const UprightReading& r, cv::Point2f offset, MrzResult& out) {
    const LineBand& first = r.lines.front();
    const LineBand& last = r.lines.back();
    const CutLine& c0 = r.cuts.front();
    const int n = int(c0.cells.size());
    const float x0 = c0.Edge(0, n), x1 = c0.Edge(n, n);
    const float pts[4][2] = {{x0, first.At(x0) - first.up},
                             {x1, first.At(x1) - first.up},
                             {x1, last.At(x1) + last.down},
                             {x0, last.At(x0) + last.down}};
    for (int i = 0; i < 4; ++i) {
        auto p = ToPage(u.toPage, pts[i][0], pts[i][1]);
        out.corners[i] = {p.first + offset.x, p.second + offset.y};
    }
    // The page is turned clockwise by minus the reading direction's angle.
    const double angle = std::atan2(u.dir.y, u.dir.x) * 180.0 / M_PI;
    double turn = std::fmod(-angle + 720.0, 360.0);
    const int orientation = int(std::lround(turn / 90.0)) % 4 * 90;
    double skew = turn - orientation;
    if (skew > 180) skew -= 360;
    out.orientation = orientation;
    out.skew = float(skew);
    out.characterHeight = int(std::lround(first.Height() / u.scale));
}

// The mean and the lowest classifier score of the characters a reading
// chose, in the classifier's own scale: how much the print looks like zone
// print read the right way up, whatever the grammar made of it.
std::pair<float, float> Confidence(const MrzResult& r,
                                   const std::vector<std::vector<Scores>>& cells) {
    float sum = 0, lowest = 1;
    size_t n = 0;
    for (size_t l = 0; l < r.lines.size() && l < cells.size(); ++l)
        for (size_t c = 0; c < r.lines[l].size() && c < cells[l].size(); ++c) {
            const int k = ClassOf(r.lines[l][c]);
            const float s = k < 0 ? 0.0f : cells[l][c][size_t(k)];
            sum += s, ++n, lowest = std::min(lowest, s);
        }
    return {n > 0 ? sum / float(n) : 0.0f, n > 0 ? lowest : 0.0f};
}

// How far apart two directions of lines are, in degrees (0 to 90).
float AngleApart(float a, float b) {
    const float d = std::fmod(std::abs(a - b), 180.0f);
    return std::min(d, 180.0f - d);
}

// The middle channel of 3-byte pixels, as a grey image of their size: the
// channel that keeps a zone in coloured ink dark.
cv::Mat MiddleChannel(const cv::Mat& colour) {
    cv::Mat out(colour.size(), CV_8U);
    for (int y = 0; y < colour.rows; ++y)
        MiddleOfThree(colour.ptr<uint8_t>(y), out.ptr<uint8_t>(y), size_t(colour.cols));
    return out;
}

// The share of the pixels of 3-byte colour (every fourth of every fourth
// row) whose lightest channel stands kMiddleContrastGain grey levels or more
// above their middle one: coloured print or paper, where a grey page has
// none.
float ColouredPixelShare(const cv::Mat& colour) {
    constexpr int kStep = 4;
    size_t seen = 0, coloured = 0;
    for (int y = 0; y < colour.rows; y += kStep) {
        const uint8_t* c = colour.ptr<uint8_t>(y);
        for (int x = 0; x < colour.cols; x += kStep, ++seen) {
            const uint8_t* p = c + 3 * x;
            coloured += std::max({p[0], p[1], p[2]}) - MiddleOf(p[0], p[1], p[2]) >=
                        MrzLimits::kMiddleContrastGain;
        }
    }
    return seen ? float(coloured) / float(seen) : 0;
}

// The share of the ink of a look at the middle channel that is paper in a
// look at the lightest (the same page, the same size): coloured print's.
float ColouredInkShare(const FinderPage& lightest, const FinderPage& middle) {
    if (middle.ink.empty() || middle.ink.size() != lightest.ink.size()) return 0;
    const int ink = cv::countNonZero(middle.ink);
    if (ink == 0) return 0;
    cv::Mat only;
    cv::subtract(middle.ink, lightest.ink, only);
    return float(cv::countNonZero(only)) / float(ink);
}

// The pixels of upright image grey that stand outside the page (toPage
// maps them there) are made paper: the samplers repeat the page's edge
// outward, so print the edge cuts through (a zone cropped tight) would run
// on to the image's border, where no line of a set may touch it. Paper is
// the level 90% of the pixels inside stand at or below, as a line's cells
// take it.
void PaperOutside(const cv::Mat& page, const cv::Matx33f& toPage, cv::Mat& grey) {
    auto inside = [&](int x, int y) {
        return OnPage(page.size(), ToPage(toPage, float(x), float(y)));
    };
    const int w = grey.cols - 1, h = grey.rows - 1;
    // The page and the image's map of it are convex: corners inside, all inside.
    if (inside(0, 0) && inside(w, 0) && inside(0, h) && inside(w, h)) return;
    // Each pixel as inside() tests it, a row at a time in a loop the
    // compiler can widen: the same sums in the same order, the products of
    // the row's y taken once.
    const float m00 = toPage(0, 0), m02 = toPage(0, 2), m10 = toPage(1, 0), m12 = toPage(1, 2);
    const float m20 = toPage(2, 0), m22 = toPage(2, 2);
    const float right = float(page.cols) - 0.5f, bottom = float(page.rows) - 0.5f;
    cv::Mat outside(grey.size(), CV_8U);
    std::array<size_t, 256> count{};
    size_t in = 0;
    for (int y = 0; y <= h; ++y) {
        const float m01y = toPage(0, 1) * float(y), m11y = toPage(1, 1) * float(y);
        const float m21y = toPage(2, 1) * float(y);
        uint8_t* out = outside.ptr<uint8_t>(y);
        for (int x = 0; x <= w; ++x) {
            const float d = m20 * float(x) + m21y + m22;
            const float px = (m00 * float(x) + m01y + m02) / d;
            const float py = (m10 * float(x) + m11y + m12) / d;
            out[x] = !((px >= -0.5f) & (py >= -0.5f) & (px <= right) & (py <= bottom));
        }
        const uint8_t* g = grey.ptr<uint8_t>(y);
        for (int x = 0; x <= w; ++x)
            if (!out[x]) ++count[g[x]], ++in;
    }
    if (in == 0) return;
    size_t below = 0;
    int paper = 0;
    while (paper < 255 && (below += count[size_t(paper)]) * 10 < in * 9) ++paper;
    grey.setTo(paper, outside);
}

}  // namespace

namespace {

// Whether a line of u's first set has ink at either end of u's image
// (within MrzLimits::kEndsNear line heights of it): the finder's band
// stopped short of the zone's ends (fillers of thin print the first look
// drops, lines of a page in perspective that do not stand one above the
// other), and its cut would miss the cells beyond.
bool InkAtEnds(const Upright& u) {
    if (u.sets.empty()) return false;
    for (const LineBand& line : u.sets.front()) {
        const LineInk across = InkAcross(u.ink, line);
        const float near = MrzLimits::kEndsNear * line.Height();
        if (across.found && (across.left < near || across.right > float(u.ink.cols) - near))
            return true;
    }
    return false;
}

// Whether print runs into the first or last rows of u's image (within
// MrzLimits::kEndsNear of its first set's line height): ink in either
// band of rows over at least MrzLimits::kEdgeRowsInk of the columns of
// the set's lines, a line the finder's box cut through.
bool InkAtTopOrFoot(const Upright& u) {
    if (u.sets.empty()) return false;
    const LineBand& line = u.sets.front().front();
    const int band = std::max(1, int(MrzLimits::kEndsNear * line.Height()));
    const LineInk across = InkAcross(u.ink, line);
    if (!across.found || u.ink.rows <= 2 * band) return false;
    const int a = int(across.left), b = std::min(u.ink.cols, int(across.right));
    auto inkColumns = [&](int y0, int y1) {
        int n = 0;
        for (int x = a; x < b; ++x)
            for (int y = y0; y < y1; ++y)
                if (u.ink.at<uint8_t>(y, x)) {
                    ++n;
                    break;
                }
        return n;
    };
    const float least = MrzLimits::kEdgeRowsInk * float(b - a);
    return float(inkColumns(0, band)) >= least ||
           float(inkColumns(u.ink.rows - band, u.ink.rows)) >= least;
}

// The slant of the print of u's first line set: the shear s (columns per
// row) that stands its strokes upright, pixel (x, y) moved to
// x - s * (y - middle row); the one of a grid over +-kMaxSlant, refined
// once, under which the lines' ink by columns is sharpest (the sum of its
// squares), every other row counted.
float Slant(const Upright& u) {
    if (u.sets.empty()) return 0;
    const cv::Mat& ink = u.ink;
    const float middle = float(ink.rows) / 2;
    // The grid's steps reach kMaxSlant and its refinement half a step more,
    // over half the image's rows either way of the middle.
    static_assert(0 < MrzLimits::kMinSlant && MrzLimits::kMinSlant <= MrzLimits::kMaxSlant);
    const int pad = int(1.125f * MrzLimits::kMaxSlant * float(ink.rows) / 2) + 2;
    std::vector<int> columns(size_t(ink.cols + 2 * pad));
    auto sharpness = [&](float s) {
        double total = 0;
        for (const LineBand& line : u.sets.front()) {
            std::fill(columns.begin(), columns.end(), 0);
            const int y0 = std::max(0, int(line.center - line.up));
            const int y1 = std::min(ink.rows, int(line.center + line.down) + 1);
            for (int y = y0; y < y1; y += 2) {
                const uint8_t* row = ink.ptr<uint8_t>(y);
                const int shift = pad - int(std::lround(s * (float(y) - middle)));
                for (int x = 0; x < ink.cols; ++x)
                    if (row[x]) ++columns[size_t(x + shift)];
            }
            for (int c : columns) total += double(c) * c;
        }
        return total;
    };
    float best = 0;
    double bestSharp = sharpness(0);
    auto tryShear = [&](float s) {
        const double v = sharpness(s);
        if (v > bestSharp) bestSharp = v, best = s;
    };
    // Print standing upright is sharpest near 0 and duller at the least
    // slant undone either way: the rest of the grid is not searched.
    tryShear(-MrzLimits::kMinSlant);
    tryShear(MrzLimits::kMinSlant);
    if (best == 0) return 0;
    const float step = MrzLimits::kMaxSlant / 4;
    for (int k = -4; k <= 4; ++k) tryShear(float(k) * step);
    const float coarse = best;
    for (float d : {-0.5f, 0.5f}) tryShear(coarse + d * step);
    return best;
}

}  // namespace

Upright TurnUpright(const cv::Mat& page, const ZoneCandidate& z, float sign, bool throughTexture,
                    const Turning& turning) {
    const float ends = turning.ends, shear = turning.shear;
    Upright u;
    u.dir = sign * z.axis;
    const cv::Point2f n(-u.dir.y, u.dir.x);
    u.scale = turning.scale * kWorkHeight / std::max(1.0f, z.lineHeight);
    u.page = page.size();
    const float margin = (z.lines >= 2 ? 1.5f : 3.0f) + turning.rows;
    const int w0 = int((z.length + 2 * ends * z.lineHeight) * u.scale);
    const int h = int((z.height + 2 * margin * z.lineHeight) * u.scale);
    cv::Point2f origin = z.center - (w0 / 2.0f / u.scale) * u.dir - (h / 2.0f / u.scale) * n;
    // Room past the lines' end widens the image on that side alone.
    const float past = turning.past * z.lineHeight;
    if (past < 0) origin += past * u.dir;
    const int w = w0 + int(std::abs(past) * u.scale);
    u.toPage = cv::Matx33f(u.dir.x / u.scale, n.x / u.scale, origin.x, u.dir.y / u.scale,
                           n.y / u.scale, origin.y, 0, 0, 1) *
               cv::Matx33f(1, shear, -shear * float(h) / 2, 0, 1, 0, 0, 0, 1);
    const cv::Size size(std::max(w, 8), std::max(h, 8));
    // OpenCV's bicubic or bilinear warps to the level (enlarged print
    // bicubic), in less time.
    const bool cubic = u.scale > 2;
    CV_Assert(page.type() == CV_8UC1);
    u.grey.create(size, CV_8U);
    (cubic ? SampleCubic : SampleLinear)(page, u.toPage.get_minor<2, 3>(0, 0), size.width,
                                         size.height, u.grey.data, u.grey.step[0]);
    PaperOutside(page, u.toPage, u.grey);
    // A zone seen at a slant is drawn again from the page, squared up.
    u.dark = DarkOf(u.grey);
    u.ink = InkOf(u.grey, throughTexture, u.dark);
    u.sets = FindLineSets(u.ink);
    cv::Matx33f keystone;
    // A place turned again may hold a band that is no line of the zone
    // (the edge that misled the finder's box) among its first set's.
    if (Keystone(u.ink, u.sets, keystone, !turning.Plain())) {
        u.toPage = u.toPage * keystone.inv();
        SamplePerspective(page, u.toPage, u.grey.cols, u.grey.rows, cubic, u.grey.data,
                          u.grey.step[0]);
        PaperOutside(page, u.toPage, u.grey);
        u.dark = DarkOf(u.grey);
        u.ink = InkOf(u.grey, throughTexture, u.dark);
        u.sets = FindLineSets(u.ink);
    }
    return u;
}

bool TurnAgain(const Upright& u, Turning& again) {
    again = {};
    const float shear = Slant(u);
    if (std::abs(shear) >= MrzLimits::kMinSlant) again.shear = shear;
    if (again.shear != 0 || InkAtEnds(u)) again.ends = MrzLimits::kWideEnds;
    if (InkAtTopOrFoot(u)) again.rows = MrzLimits::kWideRows;
    if (!u.sets.empty()) {
        float height = 0;
        for (const LineBand& line : u.sets.front()) height += line.Height();
        height /= float(u.sets.front().size()) * MrzLimits::kBandPerWork * kWorkHeight;
        if (std::abs(height - 1) > MrzLimits::kRescaleBeyond) again.scale = 1 / height;
    }
    return !again.Plain();
}

namespace {

// The place of u flipped left to right, and top to bottom too when turned
// (a half turn): its grey and its dark pixels flipped (DarkOf's mean is
// the same either way), its ink and line sets found again from them (made
// from u's ink, the ink would stand a pixel off the strokes: the opening's
// square is anchored at its corner), its map to the page flipped with it.
Upright Flipped(const Upright& u, bool turned, bool throughTexture) {
    Upright out;
    cv::flip(u.grey, out.grey, turned ? -1 : 1);
    if (u.dark.empty())
        out.dark = DarkOf(out.grey);
    else
        cv::flip(u.dark, out.dark, turned ? -1 : 1);
    out.ink = InkOf(out.grey, throughTexture, out.dark);
    out.sets = FindLineSets(out.ink);
    // Pixel (x, y) of the flipped image is pixel (w - 1 - x, y) of u, or
    // (w - 1 - x, h - 1 - y) when turned.
    const float w = float(u.grey.cols - 1), h = float(u.grey.rows - 1);
    out.toPage = turned ? u.toPage * cv::Matx33f(-1, 0, w, 0, -1, h, 0, 0, 1)
                        : u.toPage * cv::Matx33f(-1, 0, w, 0, 1, 0, 0, 0, 1);
    out.scale = u.scale;
    out.dir = turned ? -u.dir : u.dir;
    out.page = u.page;
    return out;
}

}  // namespace

Upright TurnAround(const Upright& u, bool throughTexture) {
    return Flipped(u, true, throughTexture);
}

Upright Mirrored(const Upright& u, bool throughTexture) {
    return Flipped(u, false, throughTexture);
}

Upright TurnPlace(const cv::Mat& grey, const cv::Mat& colour, cv::Mat& middle,
                  const ZoneCandidate& z, const FinderPass& pass, const Turning& turning) {
    const float sign = pass.turned ? -1.0f : 1.0f;
    Upright u = TurnUpright(grey, z, sign, pass.throughTexture, turning);
    // A zone in coloured ink is drawn again from the channel that keeps it
    // dark; print that makes no line set is no zone in either.
    if (!colour.empty() && !u.sets.empty() &&
        MiddleContrastGain(colour, u) >= MrzLimits::kMiddleContrastGain) {
        if (middle.empty()) middle = MiddleChannel(colour);
        u = TurnUpright(middle, z, sign, pass.throughTexture, turning);
    }
    return u;
}

int MiddleContrastGain(const cv::Mat& colour, const Upright& u) {
    // Every fourth pixel of every fourth row: strokes at the working height
    // are 3 to 4 pixels wide, and a few hundred ink pixels tell the colour.
    constexpr int kStep = 4, kLeastSamples = 32;
    // Levels of the lightest (0) and middle (1) channel, of ink (0) and
    // paper (1).
    std::array<std::array<std::array<int, 256>, 2>, 2> levels{};
    std::array<int, 2> count{};
    const cv::Matx33f& m = u.toPage;
    for (int y = 0; y < u.ink.rows; y += kStep) {
        const uint8_t* ink = u.ink.ptr<uint8_t>(y);
        for (int x = 0; x < u.ink.cols; x += kStep) {
            const float fx = float(x), fy = float(y);
            const float w = m(2, 0) * fx + m(2, 1) * fy + m(2, 2);
            if (!(std::abs(w) > 1e-6f)) continue;
            const float px = std::round((m(0, 0) * fx + m(0, 1) * fy + m(0, 2)) / w);
            const float py = std::round((m(1, 0) * fx + m(1, 1) * fy + m(1, 2)) / w);
            if (!(px >= 0 && py >= 0 && px < float(colour.cols) && py < float(colour.rows)))
                continue;
            const uint8_t* c = colour.ptr<uint8_t>(int(py)) + 3 * int(px);
            const size_t k = ink[x] != 0 ? 0 : 1;
            ++levels[0][k][std::max({c[0], c[1], c[2]})];
            ++levels[1][k][MiddleOf(c[0], c[1], c[2])];
            ++count[k];
        }
    }
    if (count[0] < kLeastSamples || count[1] < kLeastSamples) return 0;
    const auto median = [&](size_t channel, size_t k) {
        int seen = 0, level = 0;
        while (level < 255 && (seen += levels[channel][k][size_t(level)]) <= count[k] / 2) ++level;
        return level;
    };
    return (median(1, 1) - median(1, 0)) - (median(0, 1) - median(0, 0));
}

float Quality(const MrzResult& r, float meanScore) {
    if (!r.found) return -1;
    // Chance agreements of check digits weigh less than a confident reading.
    // A check made to agree by a correction counts nothing: the joint
    // decoding makes a field of unsure cells (a line cut out of step) agree
    // as readily as one misread character.
    float q = r.valid ? 1000.0f : 0.0f;
    for (const MrzField& f : r.fields) {
        if (!f.hasCheck || !f.checkValid) continue;
        const bool corrected =
            std::any_of(r.corrections.begin(), r.corrections.end(),
                        [&](const MrzCorrection& c) { return c.field == f.name; });
        if (!corrected) q += 4.0f;
    }
    return q + 100.0f * meanScore;
}

namespace {

// Whether a reading may be the start of a zone of 44 characters: lines of
// 36 begun with P or V. The first 36 characters of a visa's MRV-A zone are
// an MRV-B zone whose checks hold, and a passport's TD3 zone reads as a TD2
// whose composite holds one time in ten. Zones of 44 begin with P or V; a
// 36-character zone that begins otherwise is no such zone cut short.
bool MayRunOn(const MrzResult& read) {
    return !read.lines.empty() && read.lines[0].size() == 36 &&
           (read.lines[0][0] == 'P' || read.lines[0][0] == 'V');
}

// Whether a reading's lines end less than kEdgeRoom pitches from the page's
// edge, where a zone of 44 may go on.
bool ReachesEdge(const Upright& u, const std::vector<LineBand>& lines,
                 const std::vector<CutLine>& cuts) {
    if (u.page.empty()) return false;
    for (size_t i = 0; i < lines.size() && i < cuts.size(); ++i) {
        const int n = int(cuts[i].cells.size());
        const float x = cuts[i].Edge(n, n) + MrzLimits::kEdgeRoom * cuts[i].pitch;
        if (!OnPage(u.page, ToPage(u.toPage, x, lines[i].At(x)))) return true;
    }
    return false;
}

// Whether a line's ink runs into the last columns of the place's image
// (within MrzLimits::kEndsNear line heights): the finder's box ended there,
// and print past it is not seen.
bool RunsPastView(const Upright& u, const std::vector<LineWork*>& lines) {
    for (const LineWork* w : lines)
        if (w->across.found &&
            w->across.right > float(u.ink.cols) - MrzLimits::kEndsNear * w->line.Height())
            return true;
    return false;
}

// Holds reading r of lines (cut as cuts) not valid where it may be a zone
// of 44 whose end is not seen: past the page's edge (reachesEdge) or past
// the place's image (pastView too, which the place is turned again for).
void HoldWhereItMayRunOn(const Upright& u, const std::vector<LineBand>& lines,
                         const std::vector<LineWork*>& work, const std::vector<CutLine>& cuts,
                         UprightReading& r) {
    if (!MayRunOn(r.result)) return;
    r.pastView = RunsPastView(u, work);
    if (r.pastView || ReachesEdge(u, lines, cuts))
        r.result.reachesEdge = true, r.result.valid = r.sure = false;
}

// The share of the paper between a zone's lines that fine texture darkens:
// of the rows from each line's band to the next one's, every second column
// over the columns all the lines' ink spans, the pixels darker than the
// lightest within kGapReach pixels of them by MrzLimits::kGapDarker of the
// lines' range (their bands' 90th and 3rd percentiles). Strokes of
// guilloche or hatching are; a shadow's edge, whose paper darkens slowly,
// is not.
float GapTexture(const cv::Mat& grey, const std::vector<LineBand>& lines,
                 const std::vector<LineWork*>& work) {
    constexpr int kGapReach = 3;
    float left = 0, right = float(grey.cols - 1);
    for (const LineWork* w : work) {
        if (!w->across.found) return 0;
        left = std::max(left, w->across.left), right = std::min(right, w->across.right);
    }
    std::array<uint32_t, 256> band{};
    uint32_t inBand = 0;
    for (const LineBand& line : lines)
        for (int x = int(left); x <= int(right); x += 2) {
            const int b0 = std::max(0, int(line.At(float(x)) - line.up));
            const int b1 = std::min(grey.rows, int(line.At(float(x)) + line.down));
            for (int y = b0; y < b1; ++y) ++band[grey.at<uint8_t>(y, x)], ++inBand;
        }
    if (inBand == 0) return 0;
    const float paper = float(LevelAt(band, inBand, 90));
    const float darker =
        MrzLimits::kGapDarker * std::max(16.0f, paper - float(LevelAt(band, inBand, 3)));
    uint32_t inGap = 0, dark = 0;
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        for (int x = int(left) + kGapReach; x <= int(right) - kGapReach; x += 2) {
            const float fx = float(x);
            const int g0 = std::max(kGapReach, int(std::ceil(lines[i].At(fx) + lines[i].down)));
            const int g1 =
                std::min(grey.rows - kGapReach, int(lines[i + 1].At(fx) - lines[i + 1].up));
            for (int y = g0; y < g1; ++y) {
                uint8_t lightest = 0;
                for (int dy = -kGapReach; dy <= kGapReach; ++dy) {
                    const uint8_t* row = grey.ptr<uint8_t>(y + dy) + x;
                    for (int dx = -kGapReach; dx <= kGapReach; ++dx)
                        lightest = std::max(lightest, row[dx]);
                }
                ++inGap;
                dark += float(lightest) - float(grey.at<uint8_t>(y, x)) >= darker;
            }
        }
    return inGap > 0 ? float(dark) / float(inGap) : 0;
}

// What a zone's characters must reach to be valid, beyond the host's limits:
// the network's threshold holds for OCR-B print on plain paper, and each
// kind of print it reads less surely asks more (the surest of them).
DecodeLimits ZoneLimits(const DecodeLimits& limits, bool textured, bool narrow, bool small) {
    DecodeLimits zone = limits;
    // Cells crossed by texture are misread more, and surely.
    if (textured)
        zone.minProbability = std::max(zone.minProbability, MrzLimits::kTextureMinProbability);
    if (narrow)
        zone.minProbability = std::max(zone.minProbability, MrzLimits::kNarrowMinProbability);
    if (small) zone.minProbability = std::max(zone.minProbability, MrzLimits::kSmallMinProbability);
    return zone;
}

}  // namespace

UprightReading ReadUpright(const Upright& u, bool throughTexture, const UprightSearch& search) {
    const cv::Mat& grey = u.grey;
    const DecodeLimits& limits = search.limits;
    StageTimes* times = search.times;
    Deadline* deadline = search.deadline;
    int* setsLeft = search.setsLeft;
    const float scale = u.scale;
    UprightReading best;
    bool cutAny = false;  // a line set was cut at a length
    long* counted = times ? &times->cellsClassified : nullptr;
    auto t = ThreadClock::now();
    LinesWork work(grey, u.ink, throughTexture);
    size_t tried = 0;
    for (const auto& lines : u.sets) {
        if (++tried > size_t(search.setsPerPlace)) break;
        if (deadline && deadline->expired()) break;
        if (setsLeft && (*setsLeft)-- <= 0) break;
        t = ThreadClock::now();
        // Each line's ink across the image, measured once for every cut and
        // every set it is in.
        std::vector<LineWork*> lineWork;
        for (const LineBand& line : lines) lineWork.push_back(&work.Of(line));
        const std::vector<int> lengths = Lengths(lineWork);
        // Print over texture found without looking through it (guilloche
        // behind a zone the plain look binds well) is read no more surely
        // than through it. Measured once, for the first cut decoded.
        int gapTextured = -1;  // not measured yet
        auto overTexture = [&] {
            if (gapTextured < 0)
                gapTextured = GapTexture(grey, lines, lineWork) >= MrzLimits::kTexturedGap;
            return gapTextured == 1;
        };
        if (times) times->segment += MsSince(t);
        for (int length : lengths) {
            t = ThreadClock::now();
            if (!PitchFits(lineWork, length)) {
                if (times) times->segment += MsSince(t);
                continue;
            }
            cutAny = true;
            // Each line's own cut, its cells sampled only once they are
            // wanted (most lines take the shared cut).
            std::vector<LineWork::Cells*> own(lines.size(), nullptr);
            bool cut = true;
            for (size_t i = 0; i < lines.size() && cut; ++i)
                cut = (own[i] = work.Own(*lineWork[i], length)) != nullptr;
            if (!cut) {
                if (times) times->segment += MsSince(t);
                continue;
            }
            auto ownCut = [&](size_t i) -> const CutLine& {
                return work.AllCells(*lineWork[i], *own[i], length);
            };
            // The lines share one pitch and start: the best fitted line's.
            size_t fit = 0;
            for (size_t i = 1; i < own.size(); ++i)
                if (own[i]->cut.fit < own[fit]->cut.fit) fit = i;
            ZoneCuts zone(work, lineWork, own, fit, length);
            double cutting = 0;
            if (times) times->segment += MsSince(t);
            t = ThreadClock::now();
            std::vector<std::vector<Scores>> cells;
            std::vector<float> means;
            const float mean = ClassifyZone(zone, cells, means, cutting, counted);
            if (mean < 0) {
                if (times) times->classify += MsSince(t) - cutting, times->segment += cutting;
                continue;
            }
            auto tc = ThreadClock::now();
            std::vector<CutLine> cuts = zone.Cuts();
            cutting += MsSince(tc);
            // A line that reads clearly worse than the best fitted one may
            // stand apart from it (a slanted card's last line): its own cut
            // is tried too (unless it holds it already, where it would read
            // alike).
            for (size_t i = 0; i < lines.size(); ++i) {
                if (i == fit || zone.Own(i) || means[i] >= means[fit] - MrzLimits::kOwnCutBelow)
                    continue;
                std::vector<Scores> alone;
                if (ClassifyLine(ownCut(i), alone, counted) > means[i])
                    cells[i] = std::move(alone), cuts[i] = ownCut(i);
            }
            if (times) times->classify += MsSince(t) - cutting, times->segment += cutting;
            t = ThreadClock::now();
            // The cells' probabilities hold for print of OCR-B's shape; in
            // a narrower face the network reads some letters as others with
            // confidence (I as T, F as P), and no check covers the names.
            const bool narrow =
                cuts[fit].pitch / lines[fit].Height() / kPitchPerHeight < MrzLimits::kMinShape;
            // Small print's cells are read less surely than they are read
            // right: their own calibration.
            const bool small = scale > 0 && lines[fit].Height() / scale < MrzLimits::kSmallHeight;
            if (small)
                for (auto& line : cells)
                    for (Scores& c : line) SharpenSmall(c);
            // Small print has its own limit: between its lines, enlarged to
            // the working height, the noise of a small picture reads as
            // texture.
            const bool textured = throughTexture || (!small && overTexture());
            const DecodeLimits zoneLimits = ZoneLimits(limits, textured, narrow, small);
            UprightReading r;
            r.throughTexture = throughTexture;
            r.narrow = narrow;
            r.small = small;
            r.limit = zoneLimits.minProbability;
            Decode(cells, zoneLimits, r.result, &r.sure, &r.printed);
            HoldWhereItMayRunOn(u, lines, lineWork, cuts, r);
            // Print of another kind may take a zone's shape; only a reading
            // the grammar bears out is a zone.
            if (GrammarEvidence(r.result) < MrzLimits::kMinEvidence) r.result.found = false;
            std::tie(r.mean, r.lowest) = Confidence(r.result, cells);
            r.quality = Quality(r.result, r.mean);
            // A line whose own cut stands apart from the shared one by a
            // good part of a cell (lines of a zone seen at a slant start at
            // different places) reads either way as confidently as the
            // other, one of them a cell out of step: the grammar decides.
            for (size_t i = 0; i < lines.size() && !r.result.valid && !r.sure; ++i) {
                if (i == fit || std::abs(own[i]->cut.left - cuts[i].left) <
                                    MrzLimits::kOwnCutApart * cuts[fit].pitch)
                    continue;
                std::vector<std::vector<Scores>> other = cells;
                ClassifyLine(ownCut(i), other[i], counted);
                if (small)
                    for (Scores& c : other[i]) SharpenSmall(c);
                UprightReading o;
                o.throughTexture = throughTexture;
                o.narrow = narrow;
                o.small = small;
                o.limit = r.limit;
                Decode(other, zoneLimits, o.result, &o.sure, &o.printed);
                HoldWhereItMayRunOn(u, lines, lineWork, cuts, o);
                if (GrammarEvidence(o.result) < MrzLimits::kMinEvidence) continue;
                std::tie(o.mean, o.lowest) = Confidence(o.result, other);
                o.quality = Quality(o.result, o.mean);
                if (o.quality <= r.quality) continue;
                r = std::move(o);
                cells = std::move(other);
                cuts[i] = ownCut(i);
            }
            if (times) times->decode += MsSince(t);
            if (r.quality > best.quality) {
                r.lines = lines;
                r.cuts = std::move(cuts);
                best = std::move(r);
            }
            // Every cell read well, or every character as sure as a valid
            // zone's: no other length or set reads this print better, and
            // checks that fail are the document's own (it stops as soon as
            // one whose checks hold).
            if (best.result.valid ||
                (best.result.found && (best.lowest >= best.limit || best.sure))) {
                best.cut = cutAny;
                return best;
            }
        }
    }
    best.cut = cutAny;
    return best;
}

namespace {

// Where a zone was read on the page (grey's pixels) and the height of its
// lines there.
struct ReadPlace {
    cv::Point2f corners[4];
    float lineHeight = 0;

    static ReadPlace Of(const Upright& u, const UprightReading& r) {
        ReadPlace p;
        MrzResult placed;
        Place(u, r, {0, 0}, placed);
        for (int i = 0; i < 4; ++i)
            p.corners[i] = {placed.corners[i].first, placed.corners[i].second};
        p.lineHeight = r.lines.front().Height() / u.scale;
        return p;
    }

    // Whether candidate z stands inside the zone with lines of its height.
    bool Holds(const ZoneCandidate& z) const {
        if (z.lineHeight < (1 - MrzLimits::kSamePlaceHeight) * lineHeight ||
            z.lineHeight > (1 + MrzLimits::kSamePlaceHeight) * lineHeight)
            return false;
        const std::vector<cv::Point2f> quad(corners, corners + 4);
        return cv::pointPolygonTest(quad, z.center, false) >= 0;
    }
};

// Whether a reading's checks that fail are the document's own: nothing
// unsure under them, and every field fitting its class. The same print
// boxed again fails them too. (A cut a cell out of step reads fields that
// mostly fit, but starts with a filler where every zone starts with its
// document's letter.)
bool FailsAsPrinted(const UprightReading& r) {
    const std::vector<MrzField>& fields = r.result.fields;
    const bool startsWithALetter = !r.result.lines.empty() && !r.result.lines[0].empty() &&
                                   r.result.lines[0][0] >= 'A' && r.result.lines[0][0] <= 'Z';
    return r.printed && startsWithALetter &&
           std::any_of(fields.begin(), fields.end(),
                       [](const MrzField& f) { return f.hasCheck && !f.checkValid; }) &&
           std::all_of(fields.begin(), fields.end(),
                       [](const MrzField& f) { return f.classValid; });
}

// Whether candidate inner stands within the place turned upright for outer
// (of the same pass): parallel, its lines as high (MrzLimits::
// kSameBlockHeight), its centre within outer's lines and one line height
// beyond them, its length at most a quarter more than outer's. Such a
// place shows outer's lines, which outer's place showed too with more
// room (an upright place holds 1.5 to 3 line heights above and below its
// lines), at the same scale, and finds their sets alike.
bool WithinPlace(const ZoneCandidate& outer, const ZoneCandidate& inner) {
    if (std::abs(outer.axis.dot(inner.axis)) < MrzLimits::kSamePlaceAxis ||
        std::abs(inner.lineHeight - outer.lineHeight) >
            MrzLimits::kSameBlockHeight * outer.lineHeight ||
        inner.length > MrzLimits::kSameBlockLength * outer.length)
        return false;
    const cv::Point2f d = inner.center - outer.center;
    const cv::Point2f across(-outer.axis.y, outer.axis.x);
    return std::abs(d.dot(outer.axis)) <= 0.5f * outer.length &&
           std::abs(d.dot(across)) <= 0.5f * outer.height + outer.lineHeight;
}

}  // namespace

MrzResult ReadPage(const cv::Mat& page, const MrzOptions& options, StageTimes* times,
                   const cv::Mat& colour) {
    MrzResult best;
    float bestQuality = -1;
    bool bestPrinted = false;  // no unsure character under a failing check of best
    DecodeLimits limits;
    limits.minProbability = std::max(MrzLimits::kMinProbability, options.minConfidence);
    cv::Mat grey = page, shown = colour;
    cv::Point2f offset(0, 0);
    if (options.right >= options.left) {
        const cv::Rect r(options.left, options.top, options.right - options.left + 1,
                         options.bottom - options.top + 1);
        grey = page(r);
        if (!colour.empty()) shown = colour(r);
        offset = cv::Point2f(float(r.x), float(r.y));
    }
    cv::Mat middle;  // the middle channel of shown, made when first needed
    Deadline deadline(options.budget, double(grey.total()));
    auto stop = [&] {
        best.stopped = true;
        best.stopReason = deadline.reason();
        return best;
    };
    // The passes in turn (kFinderPasses). A valid zone, or a confident
    // reading with a check that agrees, ends the search. The budget is asked
    // between passes, places and line sets; texture that makes many line sets
    // of like lines (stripes) is cut off after a fixed number of them, so
    // that the work grows with the page's print, not with its texture.
    int sinceConfident = -1;
    std::vector<ReadPlace> read;                       // zones read whose checks fail as printed
    std::vector<std::pair<Upright, bool>> mirrorable;  // places, through texture or not
    int setsLeft = MrzLimits::kLineSetsPerCall;
    const UprightSearch search{limits, times, &deadline, &setsLeft};
    // Places turned again (TurnAgain) read line sets of their own, so that
    // they leave the other places' to them.
    int placesAgain = MrzLimits::kPlacesTurnedAgain;
    int setsAgain = 0;
    const UprightSearch searchAgain{limits, times, &deadline, &setsAgain,
                                    MrzLimits::kSetsTurnedAgain};
    // Keeps reading r of upright image u when it reads better than the best.
    auto keep = [&](const Upright& u, UprightReading& r, bool mirrored) {
        if (r.quality <= bestQuality) return false;
        bestQuality = r.quality;
        bestPrinted = r.printed;
        best = std::move(r.result);
        Place(u, r, offset, best);
        best.mirrored = mirrored && best.found;
        return true;
    };
    auto t = ThreadClock::now();
    const FinderPage look = LookAt(grey);
    FinderPage textureless;
    if (times) times->find += MsSince(t);
    // The direction of the lines of the zone found (degrees, 0 to 180, y
    // down), once a reading is found: a pass that cannot see lines in that
    // direction would find other print, not this zone.
    float foundAngle = -1;
    // After the passes, where nothing was found on a large page, the
    // straight passes again at a closer look (LookCloser).
    constexpr size_t kPasses = std::size(kFinderPasses);
    FinderPage closer;
    for (size_t k = 0; k < kPasses + 2; ++k) {
        const bool close = k >= kPasses;
        const FinderPass pass = close ? FinderPass{k > kPasses, 0, false} : kFinderPasses[k];
        if (close && best.found) break;
        if (pass.turned && !options.tryAllOrientations) continue;
        if (foundAngle >= 0 && AngleApart(foundAngle, (pass.turned ? 90.0f : 0.0f) + pass.tilt) >
                                   MrzLimits::kPassReachDegrees)
            continue;
        if (deadline.expired()) return stop();
        // With no line set left to read, a pass would find places only to
        // end the search at the first (as it ends once the passes are done).
        if (setsLeft <= 0) break;
        t = ThreadClock::now();
        if (pass.throughTexture && textureless.ink.empty())
            textureless = LookThroughTexture(grey, look);
        if (close && k == kPasses) closer = LookCloser(grey);
        if (close && closer.ink.empty()) break;
        const auto candidates =
            FindZones(close                 ? closer
                      : pass.throughTexture ? textureless
                                            : look,
                      size_t(pass.throughTexture ? MrzLimits::kCandidatesThroughTexture
                                                 : MrzLimits::kCandidatesPerPass),
                      pass.turned, pass.tilt);
        if (times) times->find += MsSince(t);
        // Candidates of this pass whose places were read both ways with
        // line sets and no zone.
        std::vector<const ZoneCandidate*> empty;
        for (const ZoneCandidate& z : candidates) {
            // A place inside a zone read already whose checks fail as
            // printed, at its line height, is the same print boxed again;
            // so is a place within one of this pass that read no zone.
            if (std::any_of(read.begin(), read.end(),
                            [&](const ReadPlace& p) { return p.Holds(z); }) ||
                std::any_of(empty.begin(), empty.end(),
                            [&](const ZoneCandidate* e) { return WithinPlace(*e, z); }))
                continue;
            bool foundHere = false, bothWays = false;
            Upright u, first;
            bool cut = false, seenUpright = false;
            float past = 0;  // room wanted past a zone's lines (Turning::past)
            // The place read as turned, then the other way round; where
            // its lines were cut at a zone's length but read as no zone
            // either way, and its print runs to the turned image's ends or
            // leans (TurnAgain), turned again with more room, stood
            // upright, both ways; so too where a zone read runs past the
            // image's end (UprightReading::pastView), with room past it.
            for (int step = 0; step < 4; ++step) {
                const bool around = step % 2 == 1;
                Turning again;
                if (step == 2) {
                    if (!cut || placesAgain <= 0 || (!TurnAgain(first, again) && past == 0)) break;
                    again.past = past;
                    --placesAgain;
                    setsAgain = 2 * MrzLimits::kSetsTurnedAgain;
                }
                if (deadline.expired()) return stop();
                if (setsLeft <= 0) break;  // the passes end too, below
                t = ThreadClock::now();
                u = around      ? TurnAround(u, pass.throughTexture)
                    : step == 0 ? (first = TurnPlace(grey, shown, middle, z, pass))
                                : TurnPlace(grey, shown, middle, z, pass, again);
                if (u.sets.size() > size_t(MrzLimits::kMaxLineSets)) u.sets.clear();
                if (times) times->normalise += MsSince(t);
                // Turned the other way round, the same rows hold the same
                // print: a place with no line set has none either way.
                if (u.sets.empty()) break;
                UprightReading r =
                    ReadUpright(u, pass.throughTexture, step < 2 ? search : searchAgain);
                cut = cut || r.cut;
                foundHere = foundHere || r.result.found;
                bothWays = bothWays || step == 1;
                // Zone print read the right way up reads with a clearly higher
                // mean than the other way round, or than other print; read with
                // no poor character too, no other place or cut would read better.
                const bool upright = r.result.found && r.mean >= MrzLimits::kUprightScore;
                const bool confident = upright && r.lowest >= MrzLimits::kConfidentScore;
                // Every cell read well, or every character as sure as a valid
                // zone's: no other place or cut reads this print better, and
                // checks that fail are the document's own (it stops as soon
                // as one whose checks hold would).
                const bool sure = r.result.found && (r.lowest >= r.limit || r.sure);
                if (upright && FailsAsPrinted(r)) read.push_back(ReadPlace::Of(u, r));
                if (times && r.result.found) ++times->zonesRead;
                if (keep(u, r, false) && best.found) {
                    foundAngle = std::atan2(z.axis.y, z.axis.x) * 180.0f / float(CV_PI);
                    if (foundAngle < 0) foundAngle += 180.0f;
                }
                if (best.valid) return best;
                // A zone read short of its place's end is read again with
                // room for a zone of 44 past it (its other way round is no
                // zone), on the side its lines run to.
                if (step < 2 && r.pastView) {
                    past = around ? -MrzLimits::kPastViewRoom : MrzLimits::kPastViewRoom;
                    step = 1;
                    continue;
                }
                // A confident reading with no unsure character under a check
                // that fails (every check holding, or failing as printed) is
                // one no other place reads with more checks agreeing. A place
                // turned again is read where the finder's box went wrong:
                // what it reads short of valid leaves the other places to be
                // read (a look through texture may read the zone valid).
                if (step < 2 && ((confident && bestPrinted) || sure)) return best;
                // Once a confident reading is in hand, a few other places or
                // cuts may still read with more checks agreeing, not many.
                if (step < 2 && confident && sinceConfident < 0) sinceConfident = 0;
                if (sinceConfident >= 0 && ++sinceConfident > MrzLimits::kAfterConfident)
                    return best;
                if (upright) {
                    seenUpright = true;
                    break;
                }
            }
            // A place whose line sets were cut at a zone's length yet read
            // as no zone either way may be a mirrored picture's zone.
            if (cut && !seenUpright && mirrorable.size() < size_t(MrzLimits::kMirroredPlaces))
                mirrorable.push_back({first, pass.throughTexture});
            if (bothWays && !foundHere) empty.push_back(&z);
        }
    }
    // Nothing found: those places flipped left to right, with line sets of
    // their own (a mirrored picture, as a phone's front camera takes it).
    int mirroredSetsLeft = MrzLimits::kMirroredSets;
    const UprightSearch mirroredSearch{limits, times, &deadline, &mirroredSetsLeft};
    // A place read as turn() stands it, then the other way round, with the
    // line sets of sets, until a zone is found; false once the budget is
    // spent. With eachWay, each way round has that many line sets of its
    // own: the wrong way round, whose print cuts as well as the right one's,
    // cannot spend them all.
    const auto readBothWays = [&](auto turn, bool throughTexture, const UprightSearch& sets,
                                  bool mirrored, int eachWay) {
        Upright u;
        for (const bool around : {false, true}) {
            if (deadline.expired()) return false;
            if (eachWay > 0) *sets.setsLeft = eachWay;
            t = ThreadClock::now();
            u = around ? TurnAround(u, throughTexture) : turn();
            if (times) times->normalise += MsSince(t);
            if (u.sets.empty() || u.sets.size() > size_t(MrzLimits::kMaxLineSets)) break;
            UprightReading r = ReadUpright(u, throughTexture, sets);
            keep(u, r, mirrored);
            if (best.found) break;
        }
        return true;
    };
    for (const auto& [place, throughTexture] : mirrorable) {
        if (best.found) break;
        const auto flip = [&, &place = place, tex = throughTexture] {
            return Mirrored(place, tex);
        };
        if (!readBothWays(flip, throughTexture, mirroredSearch, true, MrzLimits::kMirroredSets))
            return stop();
    }
    if (deadline.expired()) return stop();
    if (!best.found && !shown.empty() &&
        ColouredPixelShare(shown) >= MrzLimits::kColouredPixelShare) {
        // Nothing found in a picture in colour: a zone in coloured ink may
        // stand too light in the lightest channel to be told from its paper,
        // or from texture as dark as it there (dark-blue print over grey
        // hatching). Where much of the middle channel's ink is paper in the
        // lightest, the straight passes look at the middle channel, with
        // line sets of their own.
        t = ThreadClock::now();
        if (middle.empty()) middle = MiddleChannel(shown);
        const FinderPage coloured = LookAt(middle);
        const bool colouredInk = ColouredInkShare(look, coloured) >= MrzLimits::kColouredInkShare;
        if (times) times->find += MsSince(t);
        // The straight passes, then (a zone in dark-blue ink over grey
        // guilloche, as dark there as the ink in the lightest channel and
        // only lighter in the middle one) the passes through texture, each
        // look with line sets of its own.
        FinderPage colouredTextureless;
        for (const bool throughTexture : {false, true}) {
            int colouredSetsLeft = colouredInk ? MrzLimits::kColouredSets : 0;
            const UprightSearch colouredSearch{limits, times, &deadline, &colouredSetsLeft};
            for (const bool turned : {false, true}) {
                if (best.found || colouredSetsLeft <= 0) break;
                if (turned && !options.tryAllOrientations) continue;
                t = ThreadClock::now();
                if (throughTexture && colouredTextureless.ink.empty())
                    colouredTextureless = LookThroughTexture(middle, coloured);
                const auto candidates =
                    FindZones(throughTexture ? colouredTextureless : coloured,
                              size_t(throughTexture ? MrzLimits::kCandidatesThroughTexture
                                                    : MrzLimits::kCandidatesPerPass),
                              turned, 0);
                if (times) times->find += MsSince(t);
                for (const ZoneCandidate& z : candidates) {
                    if (best.found || colouredSetsLeft <= 0) break;
                    const float sign = turned ? -1.0f : 1.0f;
                    const auto turn = [&] {
                        return TurnUpright(middle, z, sign, throughTexture, {});
                    };
                    if (!readBothWays(turn, throughTexture, colouredSearch, false, 0))
                        return stop();
                }
            }
        }
    }
    if (deadline.expired()) return stop();
    return best;
}

}  // namespace gw::mrz
