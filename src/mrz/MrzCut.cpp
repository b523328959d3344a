#include "mrz/MrzCut.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

#include <emmintrin.h>
#include <immintrin.h>

#include <opencv2/imgproc.hpp>

#include "mrz/MrzLimits.h"

namespace gw::mrz {

namespace {

using L = MrzLimits;

struct Run {
    int top;
    int bottom;  // inclusive
};

// Rows whose ink passes a fifth of the busiest row, joined across short gaps.
std::vector<Run> InkRows(const cv::Mat& ink) {
    std::vector<float> rows(ink.rows, 0);
    const int x0 = ink.cols / 20, x1 = ink.cols - ink.cols / 20;
    for (int y = 0; y < ink.rows; ++y) {
        const uint8_t* r = ink.ptr<uint8_t>(y);
        int n = 0;
        for (int x = x0; x < x1; ++x) n += r[x] != 0;
        rows[y] = float(n);
    }
    const float peak = *std::max_element(rows.begin(), rows.end());
    std::vector<Run> runs;
    if (peak <= 0) return runs;
    for (int y = 0; y < ink.rows; ++y) {
        if (rows[y] < L::kRowInkShare * peak) continue;
        if (!runs.empty() && y - runs.back().bottom <= L::kRowGapJoined) {
            runs.back().bottom = y;
        } else {
            runs.push_back({y, y});
        }
    }
    // A line the image's edge cuts through is not measured whole: with its
    // top cut off, its cells would be cut too low, and an O or a 0 whose
    // top is gone reads as a U with the confidence of a clear print.
    const int last = ink.rows - 1;
    std::erase_if(runs, [last](const Run& r) {
        const int h = r.bottom - r.top + 1;
        return h < L::kLineHeightMin * kWorkHeight || h > L::kLineHeightMax * kWorkHeight ||
               r.top == 0 || r.bottom == last;
    });
    return runs;
}

// The ink centre row of columns [x0, x1) within rows [y0, y1), or -1.
float CentreRow(const cv::Mat& ink, int x0, int x1, int y0, int y1, float& weight) {
    double sum = 0, n = 0;
    for (int y = std::max(0, y0); y < std::min(ink.rows, y1); ++y) {
        const uint8_t* r = ink.ptr<uint8_t>(y);
        int c = 0;
        for (int x = x0; x < x1; ++x) c += r[x] != 0;
        sum += double(c) * y, n += c;
    }
    weight = float(n);
    return n > 0 ? float(sum / n) : -1.0f;
}

// The weighted least-squares parabola through the ink centres (rows y0 to
// y1, or with along the rows within half of its centre in each column) of
// ink's columns cut into parts, each at its ink's mean column (a part at a
// line's end holds ink on one side only), x measured from middle: its
// coefficients (constant first) in c, and in reach the farthest of those
// columns from middle; false when fewer than three parts hold ink.
bool FitCentres(const cv::Mat& ink, int parts, int y0, int y1, float middle, double c[3],
                float& reach, const LineBand* along = nullptr, float half = 0) {
    // Each column's ink and the sum of its rows, counted along the rows.
    const int w = ink.cols;
    std::vector<int> from(size_t(w), std::max(0, y0)), to(size_t(w), std::min(ink.rows, y1));
    if (along)
        for (int x = 0; x < w; ++x) {
            const float at = along->At(float(x));
            from[size_t(x)] = std::max(0, int(std::lround(at - half)));
            to[size_t(x)] = std::min(ink.rows, int(std::lround(at + half)) + 1);
        }
    std::vector<int64_t> count(size_t(w), 0), rows(size_t(w), 0);
    const int top = w > 0 ? *std::min_element(from.begin(), from.end()) : 0;
    const int bottom = w > 0 ? *std::max_element(to.begin(), to.end()) : 0;
    for (int y = top; y < bottom; ++y) {
        const uint8_t* r = ink.ptr<uint8_t>(y);
        for (int x = 0; x < w; ++x)
            if (r[x] && from[size_t(x)] <= y && y < to[size_t(x)])
                ++count[size_t(x)], rows[size_t(x)] += y;
    }
    double m[3][4] = {};  // normal equations, augmented
    int used = 0;
    reach = 0;
    for (int q = 0; q < parts; ++q) {
        int64_t sum = 0, sumX = 0, sumY = 0;
        for (int x = w * q / parts; x < w * (q + 1) / parts; ++x)
            sum += count[size_t(x)], sumX += x * count[size_t(x)], sumY += rows[size_t(x)];
        if (sum <= 0) continue;
        ++used;
        const double x = double(sumX) / double(sum) - middle, y = double(sumY) / double(sum);
        const double p[3] = {1, x, x * x};
        reach = std::max(reach, float(std::abs(x)));
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) m[i][j] += double(sum) * p[i] * p[j];
            m[i][3] += double(sum) * p[i] * y;
        }
    }
    if (used < 3) return false;
    for (int i = 0; i < 3; ++i) {  // Gauss-Jordan; the matrix is symmetric positive
        if (std::abs(m[i][i]) < 1e-12) return false;
        for (int k = 0; k < 3; ++k) {
            if (k == i) continue;
            const double f = m[k][i] / m[i][i];
            for (int j = i; j < 4; ++j) m[k][j] -= f * m[i][j];
        }
    }
    for (int i = 0; i < 3; ++i) c[i] = m[i][3] / m[i][i];
    return true;
}

// The rows the capitals of b reach above and below its centre, by the
// profile across the line within reach rows of it, counted along the
// line's rows (each column's centre row found first), so that the ink is
// read along its rows; they reach as far as the profile keeps
// kBandInkShare of its peak.
void MeasureBand(const cv::Mat& ink, int reach, LineBand& b) {
    // The columns fall in runs of one centre row (the line is near level).
    std::vector<cv::Vec3i> runs;  // first and last column, centre row
    for (int x = 0; x < ink.cols; ++x) {
        const int c = int(std::lround(b.At(float(x))));
        if (runs.empty() || runs.back()[2] != c)
            runs.push_back({x, x, c});
        else
            runs.back()[1] = x;
    }
    std::vector<float> prof(2 * reach + 1, 0);
    for (int d = -reach; d <= reach; ++d) {
        int n = 0;
        for (const cv::Vec3i& run : runs) {
            const int y = run[2] + d;
            if (y < 0 || y >= ink.rows) continue;
            const uint8_t* r = ink.ptr<uint8_t>(y);
            for (int x = run[0]; x <= run[1]; ++x) n += r[x] != 0;
        }
        prof[d + reach] = float(n);
    }
    const float peak = *std::max_element(prof.begin(), prof.end());
    int lo = reach, hi = reach;
    while (lo > 0 && prof[lo - 1] >= L::kBandInkShare * peak) --lo;
    while (hi < 2 * reach && prof[hi + 1] >= L::kBandInkShare * peak) ++hi;
    b.up = float(reach - lo) + 0.5f;
    b.down = float(hi - reach) + 0.5f;
}

// The line of a run of rows: slope by the ink centres of the quarters,
// height by the rows (along the slope) where the ink passes a quarter of the
// peak. A line whose centres bend away from that slope by kMinBend of its
// height or more at its ends (a page that does not lie flat) follows the
// parabola through the centres of its eighths instead.
LineBand Refine(const cv::Mat& ink, const Run& run) {
    LineBand b;
    const int h = run.bottom - run.top + 1;
    const int y0 = run.top - h / 3, y1 = run.bottom + 1 + h / 3;
    b.middle = ink.cols / 2.0f;
    double sx = 0, sy = 0, sxx = 0, sxy = 0, sw = 0;
    for (int q = 0; q < 4; ++q) {
        const int x0 = ink.cols * q / 4, x1 = ink.cols * (q + 1) / 4;
        float w = 0;
        const float c = CentreRow(ink, x0, x1, y0, y1, w);
        if (c < 0) continue;
        const double x = (x0 + x1) / 2.0 - b.middle;
        sx += w * x, sy += w * c, sxx += w * x * x, sxy += w * x * c, sw += w;
    }
    if (sw <= 0) return b;
    const double den = sw * sxx - sx * sx;
    b.slope = den > 0 ? float((sw * sxy - sx * sy) / den) : 0.0f;
    b.slope = std::clamp(b.slope, -L::kMaxSlope, L::kMaxSlope);
    b.center = float((sy - b.slope * sx) / sw);
    MeasureBand(ink, h, b);
    double c[3];
    float reach = 0;
    if (!FitCentres(ink, L::kBendParts, y0, y1, b.middle, c, reach)) return b;
    const auto bent = [&] {
        return std::abs(float(c[2]) * reach * reach) >= L::kMinBend * b.Height() &&
               std::abs(float(c[1])) <= L::kMaxSlope;
    };
    if (!bent()) return b;
    LineBand curved = b;
    const auto follow = [&] {
        curved.center = float(c[0]), curved.slope = float(c[1]), curved.bend = float(c[2]);
        MeasureBand(ink, h, curved);
    };
    follow();
    // The rows of the run leave out the ends of a line bent far: its
    // centres are measured again along the parabola.
    if (FitCentres(ink, L::kBendParts, y0, y1, b.middle, c, reach, &curved,
                   curved.Height() * (0.5f + 1.0f / 3)) &&
        bent())
        follow();
    return curved;
}

}  // namespace

int LevelAt(const std::array<uint32_t, 256>& histogram, size_t count, size_t percent) {
    const size_t rank = count * percent / 100;
    size_t seen = 0;
    for (int v = 0; v < 256; ++v)
        if ((seen += histogram[size_t(v)]) > rank) return v;
    return 255;
}

namespace {

// The grey levels of an 8-bit image by share: At(p) is the level below
// which p% of its pixels lie (255 when they all do).
class Levels {
  public:
    explicit Levels(const cv::Mat& grey) : count_(grey.total()) {
        // Counted in four tables, pixel by pixel in turn: paper is mostly one
        // level, and counts of one table entry wait for one another.
        std::array<std::array<uint32_t, 256>, 4> part{};
        for (int y = 0; y < grey.rows; ++y) {
            const uint8_t* r = grey.ptr<uint8_t>(y);
            int x = 0;
            for (; x + 4 <= grey.cols; x += 4) {
                ++part[0][r[x]], ++part[1][r[x + 1]];
                ++part[2][r[x + 2]], ++part[3][r[x + 3]];
            }
            for (; x < grey.cols; ++x) ++part[0][r[x]];
        }
        for (size_t v = 0; v < 256; ++v)
            histogram_[v] = part[0][v] + part[1][v] + part[2][v] + part[3][v];
    }
    int At(size_t percent) const { return LevelAt(histogram_, count_, percent); }

  private:
    std::array<uint32_t, 256> histogram_{};
    size_t count_;
};

// Ink of the line in every column, along its slope.
// Counted along the rows, a block of columns at a time: each column's rows
// y0 to y1, the block's rows from the least y0 to the greatest y1.
std::vector<float> Columns(const cv::Mat& ink, const LineBand& line) {
    const int w = ink.cols;
    std::vector<int> from(static_cast<size_t>(w)), to(static_cast<size_t>(w));
    std::vector<int> count(static_cast<size_t>(w), 0);
    for (int x = 0; x < w; ++x) {
        const float yc = line.At(float(x));
        from[size_t(x)] = std::max(0, int(std::floor(yc - line.up)));
        to[size_t(x)] = std::min(ink.rows - 1, int(std::ceil(yc + line.down)));
    }
    constexpr int kBlock = 64;
    for (int x0 = 0; x0 < w; x0 += kBlock) {
        const int x1 = std::min(w, x0 + kBlock);
        const int top = *std::min_element(from.begin() + x0, from.begin() + x1);
        const int bottom = *std::max_element(to.begin() + x0, to.begin() + x1);
        for (int y = top; y <= bottom; ++y) {
            const uint8_t* r = ink.ptr<uint8_t>(y);
            for (int x = x0; x < x1; ++x)
                count[size_t(x)] +=
                    int(r[x] != 0) & int(from[size_t(x)] <= y) & int(y <= to[size_t(x)]);
        }
    }
    std::vector<float> cols(size_t(w), 0);
    for (int x = 0; x < w; ++x)
        cols[size_t(x)] = float(count[size_t(x)]) / std::max(1.0f, line.Height());
    return cols;
}

float Interp(const std::vector<float>& v, float x) {
    if (x <= 0) return v.front();
    if (x >= float(v.size() - 1)) return v.back();
    const int i = int(x);
    const float t = x - float(i);
    return v[i] * (1 - t) + v[i + 1] * t;
}

// BoundaryInk one start after another.
void BoundaryInkNarrow(const std::vector<float>& v, const float* at, int length, const float* lefts,
                       size_t n, float* costs) {
    for (size_t j = 0; j < n; ++j) {
        float c = 0;
        for (int k = 1; k < length; ++k) c += Interp(v, lefts[j] + at[k]);
        costs[j] = c;
    }
}

// BoundaryInk eight starts at a time in AVX2 registers, each sum in a place
// of its own: the same products and sums, to the bit (no fused multiply-add).
__attribute__((target("avx2"))) void BoundaryInkWide(const std::vector<float>& v, const float* at,
                                                     int length, const float* lefts, size_t n,
                                                     float* costs) {
    const __m256 front = _mm256_set1_ps(v.front()), back = _mm256_set1_ps(v.back());
    const __m256 last = _mm256_set1_ps(float(v.size() - 1)), one = _mm256_set1_ps(1.0f);
    const __m256i lowest = _mm256_setzero_si256(), highest = _mm256_set1_epi32(int(v.size()) - 2);
    const float* data = v.data();
    for (size_t j = 0; j < n; j += 8) {
        // The last few starts with the last repeated to fill the register.
        float part[8];
        const size_t count = std::min<size_t>(8, n - j);
        for (size_t q = 0; q < 8; ++q) part[q] = lefts[j + std::min(q, count - 1)];
        const __m256 left = _mm256_loadu_ps(part);
        __m256 c = _mm256_setzero_ps();
        for (int k = 1; k < length; ++k) {
            const __m256 x = _mm256_add_ps(left, _mm256_set1_ps(at[k]));
            // Places past either end take the end's ink (the index kept
            // inside for the reads).
            const __m256i i =
                _mm256_min_epi32(_mm256_max_epi32(_mm256_cvttps_epi32(x), lowest), highest);
            const __m256 t = _mm256_sub_ps(x, _mm256_cvtepi32_ps(i));
            const __m256 a = _mm256_i32gather_ps(data, i, 4);
            const __m256 b = _mm256_i32gather_ps(data + 1, i, 4);
            __m256 value =
                _mm256_add_ps(_mm256_mul_ps(a, _mm256_sub_ps(one, t)), _mm256_mul_ps(b, t));
            value = _mm256_blendv_ps(value, back, _mm256_cmp_ps(x, last, _CMP_GE_OQ));
            value =
                _mm256_blendv_ps(value, front, _mm256_cmp_ps(x, _mm256_setzero_ps(), _CMP_LE_OQ));
            c = _mm256_add_ps(c, value);
        }
        _mm256_storeu_ps(part, c);
        std::copy(part, part + count, costs + j);
    }
}

}  // namespace

void JoinRuns(const std::vector<cv::Vec3i>& runs, const std::vector<int>& rowStart,
              std::vector<int>& parent) {
    parent.resize(runs.size());
    std::iota(parent.begin(), parent.end(), 0);
    auto root = [&](int i) {
        while (parent[size_t(i)] != i) i = parent[size_t(i)] = parent[size_t(parent[size_t(i)])];
        return i;
    };
    for (size_t y = 1; y + 1 < rowStart.size(); ++y) {
        int p = rowStart[y - 1];
        const int above = rowStart[y];
        for (int c = above; c < rowStart[y + 1]; ++c) {
            const cv::Vec3i& run = runs[size_t(c)];
            while (p < above && runs[size_t(p)][2] + 1 < run[1]) ++p;
            for (int q = p; q < above && runs[size_t(q)][1] <= run[2] + 1; ++q) {
                const int a = root(q), d = root(c);
                if (a != d) parent[size_t(std::max(a, d))] = std::min(a, d);
            }
        }
    }
    // A part's root is its first run, so a run's parent is final before it.
    for (size_t i = 0; i < runs.size(); ++i) parent[i] = parent[size_t(parent[i])];
}

void DropSpecks(cv::Mat& ink, int minArea) {
    CV_Assert(ink.type() == CV_8U);
    thread_local std::vector<cv::Vec3i> runs;  // row, first and last pixel
    thread_local std::vector<int> rowStart, parent, area;
    runs.clear();
    rowStart.assign(size_t(ink.rows) + 1, 0);
    // Each row 64 pixels at a time as bits (16 at a time in SSE2
    // registers), its runs where a pixel differs from the one before.
    const __m128i zero = _mm_setzero_si128();
    for (int y = 0; y < ink.rows; ++y) {
        rowStart[size_t(y)] = int(runs.size());
        const uint8_t* p = ink.ptr<uint8_t>(y);
        int open = -1;        // where a run not yet ended started
        uint64_t before = 0;  // the last pixel of the word before
        for (int x0 = 0; x0 < ink.cols; x0 += 64) {
            const int n = std::min(64, ink.cols - x0);
            uint64_t v = 0;
            int i = 0;
            for (; i + 16 <= n; i += 16) {
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + x0 + i));
                const int paper = _mm_movemask_epi8(_mm_cmpeq_epi8(b, zero));
                v |= uint64_t(~paper & 0xffff) << i;
            }
            for (; i < n; ++i)
                if (p[x0 + i] != 0) v |= uint64_t(1) << i;
            uint64_t edges = v ^ ((v << 1) | before);
            before = v >> 63;
            for (; edges != 0; edges &= edges - 1) {
                const int at = x0 + __builtin_ctzll(edges);
                if (open < 0)
                    open = at;
                else
                    runs.push_back({y, open, at - 1}), open = -1;
            }
        }
        if (open >= 0) runs.push_back({y, open, ink.cols - 1});
    }
    rowStart[size_t(ink.rows)] = int(runs.size());
    JoinRuns(runs, rowStart, parent);
    area.assign(runs.size(), 0);
    for (size_t i = 0; i < runs.size(); ++i) area[size_t(parent[i])] += runs[i][2] - runs[i][1] + 1;
    for (size_t i = 0; i < runs.size(); ++i)
        if (area[size_t(parent[i])] < minArea)
            std::memset(ink.ptr<uint8_t>(runs[i][0]) + runs[i][1], 0,
                        size_t(runs[i][2] - runs[i][1] + 1));
}

namespace {

// Each pixel of a row of w pixels at r, with the one to its left (edge to
// the left of the first) by op, into out: a row of 2 x 1 erosions or
// dilations, sixteen pixels at a time.
template <bool low>
void Pairs(const uint8_t* r, int w, uint8_t* out) {
    if (w <= 0) return;
    out[0] = r[0];  // the edge is 255 for the least, 0 for the greatest
    int x = 1;
    for (; x + 16 <= w; x += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + x - 1));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                         low ? _mm_min_epu8(a, b) : _mm_max_epu8(a, b));
    }
    for (; x < w; ++x) out[x] = low ? std::min(r[x - 1], r[x]) : std::max(r[x - 1], r[x]);
}

// Each row's pairs by op with the row above's (the first row's alone), into
// out (another image).
template <bool low>
void TwoByTwo(const cv::Mat& in, cv::Mat& out) {
    const int w = in.cols;
    thread_local std::vector<uint8_t> above, here;
    above.resize(size_t(w)), here.resize(size_t(w));
    for (int y = 0; y < in.rows; ++y) {
        Pairs<low>(in.ptr<uint8_t>(y), w, here.data());
        uint8_t* o = out.ptr<uint8_t>(y);
        if (y == 0) {
            std::copy(here.begin(), here.end(), o);
        } else {
            int x = 0;
            for (; x + 16 <= w; x += 16) {
                const __m128i a =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(above.data() + x));
                const __m128i b =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(here.data() + x));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(o + x),
                                 low ? _mm_min_epu8(a, b) : _mm_max_epu8(a, b));
            }
            for (; x < w; ++x)
                o[x] = low ? std::min(above[size_t(x)], here[size_t(x)])
                           : std::max(above[size_t(x)], here[size_t(x)]);
        }
        std::swap(above, here);
    }
}

}  // namespace

void OpenTwoByTwo(const cv::Mat& src, cv::Mat& dst) {
    CV_Assert(src.type() == CV_8UC1);
    thread_local cv::Mat eroded;
    eroded.create(src.size(), CV_8U);
    TwoByTwo<true>(src, eroded);
    dst.create(src.size(), CV_8U);
    TwoByTwo<false>(eroded, dst);
}

void InkBelowMean(const cv::Mat& grey, int block, double delta, cv::Mat& ink) {
    CV_Assert(grey.type() == CV_8UC1 && block % 2 == 1 && block > 1);
    // OpenCV's mean, made as it makes it.
    thread_local cv::Mat mean;
    cv::boxFilter(grey, mean, CV_8U, cv::Size(block, block), cv::Point(-1, -1), true,
                  cv::BORDER_REPLICATE | cv::BORDER_ISOLATED);
    ink.create(grey.size(), CV_8U);
    // Ink where grey - mean <= -floor(delta), OpenCV's test for this type:
    // grey + floor(delta) <= mean, in 16-bit sums.
    const int idelta = cvFloor(delta);
    const int below = std::clamp(idelta, -1024, 1024);
    const __m128i zero = _mm_setzero_si128(), shift = _mm_set1_epi16(int16_t(below));
    for (int y = 0; y < grey.rows; ++y) {
        const uint8_t* g = grey.ptr<uint8_t>(y);
        const uint8_t* m = mean.ptr<uint8_t>(y);
        uint8_t* o = ink.ptr<uint8_t>(y);
        int x = 0;
        for (; x + 16 <= grey.cols; x += 16) {
            const __m128i gv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + x));
            const __m128i mv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + x));
            // grey + delta > mean: paper.
            const __m128i lo = _mm_cmpgt_epi16(_mm_add_epi16(_mm_unpacklo_epi8(gv, zero), shift),
                                               _mm_unpacklo_epi8(mv, zero));
            const __m128i hi = _mm_cmpgt_epi16(_mm_add_epi16(_mm_unpackhi_epi8(gv, zero), shift),
                                               _mm_unpackhi_epi8(mv, zero));
            const __m128i paper = _mm_packs_epi16(lo, hi);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + x),
                             _mm_andnot_si128(paper, _mm_set1_epi8(-1)));
        }
        for (; x < grey.cols; ++x) o[x] = int(g[x]) - int(m[x]) <= -idelta ? 255 : 0;
    }
}

void KeepDarkest(const cv::Mat& grey, int side, float fraction, cv::Mat& ink) {
    // The darkest and lightest levels round each pixel, taken over blocks of
    // kBlock x kBlock pixels: the square of side pixels to a block either way,
    // at a sixteenth of the work of the square itself.
    constexpr int kBlock = 4;
    const int cols = grey.cols, bw = (cols + kBlock - 1) / kBlock,
              bh = (grey.rows + kBlock - 1) / kBlock;
    cv::Mat low(bh, bw, CV_8U), high(bh, bw, CV_8U);
    std::vector<uint8_t> columnLow(size_t(bw) * kBlock), columnHigh(size_t(bw) * kBlock);
    for (int by = 0; by < bh; ++by) {
        // Each column's extremes over the block's rows, then each block's.
        const int y0 = by * kBlock, y1 = std::min(grey.rows, y0 + kBlock);
        std::memcpy(columnLow.data(), grey.ptr(y0), size_t(cols));
        std::memcpy(columnHigh.data(), grey.ptr(y0), size_t(cols));
        for (int y = y0 + 1; y < y1; ++y) {
            const uint8_t* g = grey.ptr(y);
            for (int x = 0; x < cols; ++x) {
                columnLow[size_t(x)] = std::min(columnLow[size_t(x)], g[x]);
                columnHigh[size_t(x)] = std::max(columnHigh[size_t(x)], g[x]);
            }
        }
        // The last block's columns past the edge repeat its last column.
        for (int x = cols; x < bw * kBlock; ++x) {
            columnLow[size_t(x)] = columnLow[size_t(cols - 1)];
            columnHigh[size_t(x)] = columnHigh[size_t(cols - 1)];
        }
        uint8_t *lo = low.ptr(by), *hi = high.ptr(by);
        for (int b = 0; b < bw; ++b) {
            const uint8_t* l = &columnLow[size_t(b) * kBlock];
            const uint8_t* h = &columnHigh[size_t(b) * kBlock];
            lo[b] = std::min(std::min(l[0], l[1]), std::min(l[2], l[3]));
            hi[b] = std::max(std::max(h[0], h[1]), std::max(h[2], h[3]));
        }
    }
    static_assert(kBlock == 4, "the blocks' extremes above take four columns");
    const int k = (side / kBlock) | 1;
    const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, {k, k});
    cv::erode(low, low, square, {-1, -1}, 1, cv::BORDER_REPLICATE);
    cv::dilate(high, high, square, {-1, -1}, 1, cv::BORDER_REPLICATE);
    // A stroke's edges are lighter than its core: ink beside a dark pixel
    // (the darkest of the 3 x 3 round it) stays. Ink whose darkest is more
    // than fraction of the range above the darkest level, floor(fraction x
    // range) in whole levels, is paper.
    cv::Mat darkest;
    cv::erode(grey, darkest, cv::Mat(), {-1, -1}, 1, cv::BORDER_REPLICATE);
    std::vector<uint8_t> limit(size_t(bw) * kBlock);
    for (int y = 0; y < grey.rows; ++y) {
        if (y % kBlock == 0) {
            const uint8_t *lo = low.ptr(y / kBlock), *hi = high.ptr(y / kBlock);
            for (int b = 0; b < bw; ++b) {
                const auto level = uint8_t(lo[b] + int(fraction * float(hi[b] - lo[b])));
                std::memset(&limit[size_t(b) * kBlock], level, kBlock);
            }
        }
        const uint8_t* d = darkest.ptr(y);
        uint8_t* out = ink.ptr(y);
        for (int x = 0; x < cols; ++x) out[x] = d[x] <= limit[size_t(x)] ? out[x] : 0;
    }
}

cv::Mat DarkOf(const cv::Mat& grey) {
    // Ink is clearly darker than its surroundings, by a share of the image's
    // range of levels, so that the light lines of patterned paper stay paper.
    const Levels levels(grey);
    const int range = levels.At(95) - levels.At(2);
    cv::Mat dark;
    const int block = int(2.5f * kWorkHeight) | 1;
    InkBelowMean(grey, block, std::max(10.0, L::kInkContrast * range), dark);
    return dark;
}

namespace {

// InkOf's steps after DarkOf, on ink (DarkOf(grey), its own).
cv::Mat InkFrom(const cv::Mat& grey, bool throughTexture, cv::Mat ink) {
    // Over texture, print stands out from the lines beside it; two working
    // heights hold print round every pixel of a zone's lines (run G2: one
    // and a half read 361 zones of 400 exactly, two 375, three 374).
    if (throughTexture) KeepDarkest(grey, int(2 * kWorkHeight) | 1, L::kTextureDarkest, ink);
    // Strokes of print at the working height are several pixels thick; the
    // thin lines of patterned paper are not.
    OpenTwoByTwo(ink, ink);
    // Fine texture under a zone (guilloche, hatching) that passes both
    // leaves specks, far smaller than the least part of a character; they
    // would draw a line's ends outwards and bind lines with the paper
    // between them.
    DropSpecks(ink, int(std::lround(L::kSpeckArea * kWorkHeight * kWorkHeight)));
    return ink;
}

}  // namespace

cv::Mat InkOf(const cv::Mat& grey, bool throughTexture) {
    return InkFrom(grey, throughTexture, DarkOf(grey));
}

cv::Mat InkOf(const cv::Mat& grey, bool throughTexture, const cv::Mat& dark) {
    return InkFrom(grey, throughTexture, dark.clone());
}

namespace {

// FindLineSets of ink as it stands.
std::vector<std::vector<LineBand>> LineSetsOf(const cv::Mat& ink) {
    std::vector<std::vector<LineBand>> sets;
    const std::vector<Run> runs = InkRows(ink);
    std::vector<LineBand> lines;
    for (const Run& r : runs) lines.push_back(Refine(ink, r));
    for (int count : {3, 2}) {
        for (size_t i = 0; i + count <= lines.size(); ++i) {
            bool ok = true;
            for (int k = 1; k < count && ok; ++k) {
                const LineBand& a = lines[i + k - 1];
                const LineBand& b = lines[i + k];
                const float h = std::max(a.Height(), b.Height());
                const float gap = b.center - a.center;
                ok = std::min(a.Height(), b.Height()) > L::kSetHeightRatio * h &&
                     gap > L::kSetGapMin * h && gap < L::kSetGapMax * h;
            }
            if (ok) sets.emplace_back(lines.begin() + i, lines.begin() + i + count);
        }
    }
    const float middle = ink.rows / 2.0f;
    std::stable_sort(sets.begin(), sets.end(), [&](const auto& a, const auto& b) {
        auto off = [&](const std::vector<LineBand>& s) {
            return std::abs((s.front().center + s.back().center) / 2 - middle);
        };
        return off(a) < off(b);
    });
    return sets;
}

}  // namespace

std::vector<std::vector<LineBand>> FindLineSets(const cv::Mat& ink) {
    std::vector<std::vector<LineBand>> sets = LineSetsOf(ink);
    if (!sets.empty()) return sets;
    // A page that does not lie flat bends its lines alike; bent by more
    // than the paper between them, their rows overlap and hold no line
    // apart. They are looked for again in the ink straightened along the
    // parabola of all its ink centres.
    const float middle = ink.cols / 2.0f;
    double c[3];
    float reach = 0;
    if (!FitCentres(ink, L::kBendParts, 0, ink.rows, middle, c, reach) ||
        std::abs(float(c[2])) * reach * reach < L::kMinBend * kWorkHeight)
        return sets;
    std::vector<int> shift(size_t(ink.cols));
    for (int x = 0; x < ink.cols; ++x) {
        const float d = float(x) - middle;
        shift[size_t(x)] = int(std::lround((c[1] + c[2] * d) * d));
    }
    cv::Mat straight(ink.size(), CV_8U, cv::Scalar(0));
    for (int y = 0; y < ink.rows; ++y) {
        uint8_t* out = straight.ptr<uint8_t>(y);
        for (int x = 0; x < ink.cols; ++x) {
            const int from = y + shift[size_t(x)];
            if (from >= 0 && from < ink.rows) out[x] = ink.ptr<uint8_t>(from)[x];
        }
    }
    sets = LineSetsOf(straight);
    for (auto& set : sets)
        for (LineBand& b : set) b.slope += float(c[1]), b.bend += float(c[2]);
    return sets;
}

bool Keystone(const cv::Mat& ink, const std::vector<std::vector<LineBand>>& sets, cv::Matx33f& map,
              bool endsTogether) {
    if (sets.empty()) return false;
    const LineBand& first = sets.front().front();
    const LineBand& last = sets.front().back();
    float a0 = 0, b0 = 0, a1 = 0, b1 = 0;
    if (!InkExtent(ink, first, a0, b0) || !InkExtent(ink, last, a1, b1)) return false;
    const float h = std::max(first.Height(), last.Height());
    // A zone's lines start and end together; a band that does not (a
    // card's edge below the zone, a rule) squares up nothing.
    if (endsTogether && std::max(std::abs(a0 - a1), std::abs(b0 - b1)) > L::kKeystoneEnds * h)
        return false;
    const float xl = std::max(a0, a1) + 2 * h, xr = std::min(b0, b1) - 2 * h;
    if (xr - xl < 8 * h) return false;
    // The ink centre of a line over three character heights about x.
    auto centre = [&](const LineBand& line, float x) {
        float w = 0;
        const float yc = line.At(x);
        return CentreRow(ink, std::max(0, int(x - 1.5f * h)), std::min(ink.cols, int(x + 1.5f * h)),
                         int(yc - line.up - 0.2f * h), int(yc + line.down + 0.2f * h) + 1, w);
    };
    const float c0l = centre(first, xl), c0r = centre(first, xr);
    const float c1l = centre(last, xl), c1r = centre(last, xr);
    if (c0l < 0 || c0r < 0 || c1l < 0 || c1r < 0) return false;
    const float gl = c1l - c0l, gr = c1r - c0r;
    if (gl < 0.5f * h || gr < 0.5f * h || std::abs(gr / gl - 1) < L::kKeystoneMin) return false;
    const float top = (c0l + c0r) / 2, gap = (gl + gr) / 2;
    const cv::Point2f from[4] = {{xl, c0l}, {xr, c0r}, {xr, c1r}, {xl, c1l}};
    const cv::Point2f to[4] = {{xl, top}, {xr, top}, {xr, top + gap}, {xl, top + gap}};
    map = cv::Matx33f(cv::getPerspectiveTransform(from, to));
    return true;
}

namespace {

// The share of ink among the rows [from, to) of column x of ink, or -1 where
// fewer than half of those rows lie inside the image.
float ColumnShare(const cv::Mat& ink, int x, float from, float to) {
    const int a = std::max(0, int(std::lround(from))), b = std::min(ink.rows, int(std::lround(to)));
    const int want = int(std::lround(to)) - int(std::lround(from));
    if (x < 0 || x >= ink.cols || want <= 0 || 2 * (b - a) < want) return -1;
    int on = 0;
    for (int y = a; y < b; ++y) on += ink.at<uint8_t>(y, x) != 0;
    return float(on) / float(b - a);
}

// Whether columns [a, b] of ink are a stroke that runs on above and below
// line's band (a page's edge, a frame, a picture's side): most of them hold
// ink over L::kThroughReach line heights past both the capitals' top and
// their foot, where a zone's characters end (the rows between its lines,
// and below its last, are paper).
bool RunsThrough(const cv::Mat& ink, const LineBand& line, int a, int b) {
    const float reach = L::kThroughReach * line.Height();
    int through = 0;
    for (int x = a; x <= b; ++x) {
        const float y = line.At(float(x));
        const float above = ColumnShare(ink, x, y - line.up - reach, y - line.up);
        const float below = ColumnShare(ink, x, y + line.down, y + line.down + reach);
        through += above > 0.5f && below > 0.5f;
    }
    return 2 * through > b - a + 1;
}

// The run [a, b] of a line's ink columns (cols, their ink over the
// threshold) without the strokes at either end that run through the line's
// band and stand apart from the rest (L::kThroughGap line heights or more):
// the first look's box may take in a page's edge beside a zone, whose ink
// would otherwise pull the cut's end out of step.
void DropStrokesAtEnds(const cv::Mat& ink, const LineBand& line, const std::vector<float>& cols,
                       int& a, int& b) {
    const int gap = int(L::kThroughGap * line.Height());
    const int wide = std::max(1, int(L::kThroughWidth * line.Height()));
    auto on = [&](int x) { return cols[size_t(x)] > L::kExtentColumnInk; };
    // The stroke from x towards step: its far column, and the next ink
    // column past it (or -1).
    auto stroke = [&](int x, int step, int& far, int& next) {
        far = x;
        for (int y = x + step; y >= a && y <= b; y += step) {
            if (!on(y)) continue;
            if (std::abs(y - far) > 2) {
                next = y;
                return;
            }
            far = y;
        }
        next = -1;
    };
    for (int step : {1, -1}) {
        for (;;) {
            int& end = step > 0 ? a : b;
            int far = end, next = -1;
            stroke(end, step, far, next);
            if (next < 0 || std::abs(far - end) + 1 > wide || std::abs(next - far) < gap ||
                !RunsThrough(ink, line, std::min(end, far), std::max(end, far)))
                break;
            end = next;
        }
    }
}

}  // namespace

LineInk InkAcross(const cv::Mat& ink, const LineBand& line) {
    LineInk out;
    out.columns = Columns(ink, line);
    const std::vector<float>& cols = out.columns;
    const int maxGap = int(L::kExtentGap * line.Height());
    int bestA = -1, bestB = -1, a = -1, last = -1;
    for (int x = 0; x < int(cols.size()); ++x) {
        if (cols[x] <= L::kExtentColumnInk) continue;
        if (a < 0 || x - last > maxGap) a = x;
        last = x;
        if (bestA < 0 || last - a > bestB - bestA) bestA = a, bestB = last;
    }
    if (bestA < 0) return out;
    DropStrokesAtEnds(ink, line, cols, bestA, bestB);
    out.found = true;
    out.left = float(bestA);
    out.right = float(bestB + 1);
    return out;
}

bool InkExtent(const cv::Mat& ink, const LineBand& line, float& left, float& right) {
    const LineInk across = InkAcross(ink, line);
    if (!across.found) return false;
    left = across.left, right = across.right;
    return true;
}

namespace {

// The fixed-point map of OpenCV's warps, which SampleLinear and SampleCubic
// repeat: positions in 1/1024 of a pixel, rounded to 1/32 (half of that
// added first), the weights of the pixels around in 1/32768.
constexpr int kMapBits = 10, kFractionBits = 5, kFractions = 1 << kFractionBits;
constexpr double kMapScale = 1 << kMapBits;
constexpr int kHalfFraction = (1 << kMapBits) / kFractions / 2;
constexpr int kWeightBits = 15;

// A double rounded to the nearest integer, ties to even, as the processor
// does.
int RoundEven(double v) {
    return _mm_cvtsd_si32(_mm_set_sd(v));
}

int ClampShort(int v) {
    return std::clamp(v, -32768, 32767);
}

}  // namespace

namespace {

// One pixel of SampleLinear at fixed-point position (x, y) (in 1/32 of a
// pixel), OpenCV's edge pixels repeated outside.
inline uint8_t LinearAt(const uint8_t* base, size_t step, int cols, int rows, int x, int y) {
    auto clip = [](int v, int n) { return v >= 0 ? (v < n ? v : n - 1) : 0; };
    const unsigned lastX = unsigned(std::max(cols - 1, 0)), lastY = unsigned(std::max(rows - 1, 0));
    const int sx = ClampShort(x >> kFractionBits), sy = ClampShort(y >> kFractionBits);
    const int fx = x & (kFractions - 1), fy = y & (kFractions - 1);
    const int w0 = (kFractions - fy) * (kFractions - fx) * kFractions;
    const int w1 = (kFractions - fy) * fx * kFractions;
    const int w2 = fy * (kFractions - fx) * kFractions;
    const int w3 = fy * fx * kFractions;
    int p0, p1, p2, p3;
    if (unsigned(sx) < lastX && unsigned(sy) < lastY) {
        const uint8_t* s = base + size_t(sy) * step + size_t(sx);
        p0 = s[0], p1 = s[1], p2 = s[step], p3 = s[step + 1];
    } else {
        const int xa = clip(sx, cols), xb = clip(sx + 1, cols);
        const uint8_t* ra = base + size_t(clip(sy, rows)) * step;
        const uint8_t* rb = base + size_t(clip(sy + 1, rows)) * step;
        p0 = ra[xa], p1 = ra[xb], p2 = rb[xa], p3 = rb[xb];
    }
    const int sum = p0 * w0 + p1 * w1 + p2 * w2 + p3 * w3 + (1 << (kWeightBits - 1));
    return uint8_t(std::clamp(sum >> kWeightBits, 0, 255));
}

// A row of SampleLinear, the row's origin (x0, y0) and each pixel's offset
// from it (dx, dy) in 1/1024 of a pixel.
void LinearRow(const uint8_t* base, size_t step, int cols, int rows, int x0, int y0, const int* dx,
               const int* dy, int w, uint8_t* out) {
    constexpr int kToFraction = kMapBits - kFractionBits;
    for (int u = 0; u < w; ++u)
        out[u] = LinearAt(base, step, cols, rows, (x0 + dx[u]) >> kToFraction,
                          (y0 + dy[u]) >> kToFraction);
}

// The same eight pixels at a time in AVX2 registers, where all eight read
// four bytes of two rows inside the image (the rest as above): the same
// integer sums, to the bit.
__attribute__((target("avx2"))) void LinearRowAvx2(const uint8_t* base, size_t step, int cols,
                                                   int rows, int x0, int y0, const int* dx,
                                                   const int* dy, int w, uint8_t* out) {
    constexpr int kToFraction = kMapBits - kFractionBits;
    const __m256i vx0 = _mm256_set1_epi32(x0), vy0 = _mm256_set1_epi32(y0);
    const __m256i mask = _mm256_set1_epi32(kFractions - 1), full = _mm256_set1_epi32(kFractions);
    const __m256i byte = _mm256_set1_epi32(0xff), half = _mm256_set1_epi32(1 << (kWeightBits - 1));
    // Inside: 0 <= sx <= cols - 4 (four bytes read from sx), 0 <= sy <= rows - 2.
    const __m256i lastX = _mm256_set1_epi32(cols - 4), lastY = _mm256_set1_epi32(rows - 2);
    const __m256i none = _mm256_set1_epi32(-1);
    const __m256i vstep = _mm256_set1_epi32(int(step));
    const int* rowBase = reinterpret_cast<const int*>(base);
    int u = 0;
    for (; u + 8 <= w; u += 8) {
        const __m256i x = _mm256_srai_epi32(
            _mm256_add_epi32(vx0, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dx + u))),
            kToFraction);
        const __m256i y = _mm256_srai_epi32(
            _mm256_add_epi32(vy0, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dy + u))),
            kToFraction);
        const __m256i sx = _mm256_srai_epi32(x, kFractionBits);
        const __m256i sy = _mm256_srai_epi32(y, kFractionBits);
        const __m256i outside = _mm256_or_si256(
            _mm256_or_si256(_mm256_cmpgt_epi32(sx, lastX), _mm256_cmpgt_epi32(sy, lastY)),
            _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_setzero_si256(), sx),
                            _mm256_cmpgt_epi32(_mm256_setzero_si256(), sy)));
        if (!_mm256_testz_si256(outside, none)) {
            for (int k = u; k < u + 8; ++k)
                out[k] = LinearAt(base, step, cols, rows, (x0 + dx[k]) >> kToFraction,
                                  (y0 + dy[k]) >> kToFraction);
            continue;
        }
        const __m256i at = _mm256_add_epi32(_mm256_mullo_epi32(sy, vstep), sx);
        const __m256i top = _mm256_i32gather_epi32(rowBase, at, 1);
        const __m256i bottom = _mm256_i32gather_epi32(rowBase, _mm256_add_epi32(at, vstep), 1);
        const __m256i fx = _mm256_and_si256(x, mask), fy = _mm256_and_si256(y, mask);
        const __m256i gx = _mm256_sub_epi32(full, fx), gy = _mm256_sub_epi32(full, fy);
        // The weights over 32 (the products below are multiplied by 32 as
        // the shift by kFractionBits).
        const __m256i w0 = _mm256_mullo_epi32(gy, gx), w1 = _mm256_mullo_epi32(gy, fx);
        const __m256i w2 = _mm256_mullo_epi32(fy, gx), w3 = _mm256_mullo_epi32(fy, fx);
        const __m256i p0 = _mm256_and_si256(top, byte);
        const __m256i p1 = _mm256_and_si256(_mm256_srli_epi32(top, 8), byte);
        const __m256i p2 = _mm256_and_si256(bottom, byte);
        const __m256i p3 = _mm256_and_si256(_mm256_srli_epi32(bottom, 8), byte);
        __m256i sum = _mm256_add_epi32(
            _mm256_add_epi32(_mm256_mullo_epi32(p0, w0), _mm256_mullo_epi32(p1, w1)),
            _mm256_add_epi32(_mm256_mullo_epi32(p2, w2), _mm256_mullo_epi32(p3, w3)));
        sum = _mm256_add_epi32(_mm256_slli_epi32(sum, kFractionBits), half);
        sum = _mm256_srai_epi32(sum, kWeightBits);
        const __m128i words =
            _mm_packus_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + u), _mm_packus_epi16(words, words));
    }
    for (; u < w; ++u)
        out[u] = LinearAt(base, step, cols, rows, (x0 + dx[u]) >> kToFraction,
                          (y0 + dy[u]) >> kToFraction);
}

}  // namespace

namespace {

// The row sampler for rows of w pixels of grey: eight at a time in AVX2
// registers where the processor has them and the wide rows' 32-bit offsets
// reach every pixel of grey, one at a time otherwise.
auto LinearRowFor(const cv::Mat& grey, int w) {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    const bool small = double(grey.step[0]) * double(grey.rows) < double(INT32_MAX);
    return avx2 && small && w >= 8 ? LinearRowAvx2 : LinearRow;
}

}  // namespace

void SampleLinear(const cv::Mat& grey, const cv::Matx23f& m, int w, int h, uint8_t* out,
                  size_t outStep) {
    if (outStep == 0) outStep = size_t(std::max(w, 0));
    const double m00 = m(0, 0), m01 = m(0, 1), m02 = m(0, 2);
    const double m10 = m(1, 0), m11 = m(1, 1), m12 = m(1, 2);
    // A cell's offsets on the stack, a wider image's in the thread's store.
    std::array<int, kPatchW> cellX, cellY;
    thread_local std::vector<int> wideX, wideY;
    int* dx = cellX.data();
    int* dy = cellY.data();
    if (w > kPatchW) {
        wideX.resize(size_t(w)), wideY.resize(size_t(w));
        dx = wideX.data(), dy = wideY.data();
    }
    for (int u = 0; u < w; ++u) {
        dx[size_t(u)] = RoundEven(m00 * u * kMapScale);
        dy[size_t(u)] = RoundEven(m10 * u * kMapScale);
    }
    const auto row = LinearRowFor(grey, w);
    const size_t step = grey.step[0];
    const uint8_t* base = grey.ptr<uint8_t>(0);
    for (int v = 0; v < h; ++v) {
        const int x0 = RoundEven((m01 * v + m02) * kMapScale) + kHalfFraction;
        const int y0 = RoundEven((m11 * v + m12) * kMapScale) + kHalfFraction;
        row(base, step, grey.cols, grey.rows, x0, y0, dx, dy, w, out + size_t(v) * outStep);
    }
}

namespace {

// The bicubic weights of OpenCV's warps, in 1/32768, for each of the 32 x 32
// fractions of a pixel (vertical fraction first): four weights across for
// each of four rows, made as OpenCV makes them (its cubic with A = -0.75 in
// single precision, each product rounded, the sum brought to 32768 by its
// own rule, which moves the lowest or the highest of four inner weights).
struct CubicWeights {
    alignas(16) std::array<std::array<int16_t, 16>, 32 * 32> w;
    CubicWeights() : w() {
        constexpr int kScale = 1 << kWeightBits;
        float tab[kFractions][4];
        const float step = 1.f / kFractions;
        for (int i = 0; i < kFractions; ++i) {
            const float x = float(i) * step, a = -0.75f;
            tab[i][0] = ((a * (x + 1) - 5 * a) * (x + 1) + 8 * a) * (x + 1) - 4 * a;
            tab[i][1] = ((a + 2) * x - (a + 3)) * x * x + 1;
            tab[i][2] = ((a + 2) * (1 - x) - (a + 3)) * (1 - x) * (1 - x) + 1;
            tab[i][3] = 1.f - tab[i][0] - tab[i][1] - tab[i][2];
        }
        for (int i = 0; i < kFractions; ++i)
            for (int j = 0; j < kFractions; ++j) {
                int16_t* t = w[size_t(i * kFractions + j)].data();
                int sum = 0;
                for (int k1 = 0; k1 < 4; ++k1)
                    for (int k2 = 0; k2 < 4; ++k2) {
                        const float v = tab[i][k1] * tab[j][k2] * float(kScale);
                        const int r = std::clamp(_mm_cvtss_si32(_mm_set_ss(v)), -32768, 32767);
                        t[k1 * 4 + k2] = int16_t(r);
                        sum += r;
                    }
                if (sum == kScale) continue;
                int lo = 2 * 4 + 2, hi = 2 * 4 + 2;
                for (int k1 = 2; k1 < 4; ++k1)
                    for (int k2 = 2; k2 < 4; ++k2) {
                        const int k = k1 * 4 + k2;
                        if (t[k] < t[lo])
                            lo = k;
                        else if (t[k] > t[hi])
                            hi = k;
                    }
                const int diff = sum - kScale;
                if (diff < 0)
                    t[hi] = int16_t(t[hi] - diff);
                else
                    t[lo] = int16_t(t[lo] - diff);
            }
    }
};

// The image's pixels for CubicAt: its rows, their step, its size, and the
// first columns and rows a position's sixteen pixels cannot all be read
// from without repeating an edge.
struct CubicSource {
    const uint8_t* base;
    size_t step;
    int cols, rows;
    unsigned innerX, innerY;
    explicit CubicSource(const cv::Mat& grey)
        : base(grey.ptr<uint8_t>(0)),
          step(grey.step[0]),
          cols(grey.cols),
          rows(grey.rows),
          innerX(unsigned(std::max(grey.cols - 3, 0))),
          innerY(unsigned(std::max(grey.rows - 3, 0))) {}
};

// One pixel of SampleCubic at fixed-point position (x, y) (in 1/32 of a
// pixel), OpenCV's edge pixels repeated outside.
[[gnu::always_inline]] inline uint8_t CubicAt(const CubicWeights& weights, const CubicSource& src,
                                              int x, int y) {
    const uint8_t* base = src.base;
    const size_t step = src.step;
    const int cols = src.cols, rows = src.rows;
    const unsigned innerX = src.innerX, innerY = src.innerY;
    const __m128i zero = _mm_setzero_si128();
    // The sixteen pixels from one left of and one above the position's own.
    const int sx = ClampShort(x >> kFractionBits) - 1, sy = ClampShort(y >> kFractionBits) - 1;
    const int16_t* t =
        weights.w[size_t((y & (kFractions - 1)) * kFractions + (x & (kFractions - 1)))].data();
    int sum;
    if (unsigned(sx) < innerX && unsigned(sy) < innerY) {
        // Four bytes of each of the four rows against their weights, in
        // 16-bit products summed in pairs (exact, as every sum).
        const uint8_t* s = base + size_t(sy) * step + size_t(sx);
        int r[4];
        for (size_t k = 0; k < 4; ++k) std::memcpy(&r[k], s + k * step, 4);
        const __m128i top = _mm_unpacklo_epi8(
            _mm_unpacklo_epi32(_mm_cvtsi32_si128(r[0]), _mm_cvtsi32_si128(r[1])), zero);
        const __m128i bottom = _mm_unpacklo_epi8(
            _mm_unpacklo_epi32(_mm_cvtsi32_si128(r[2]), _mm_cvtsi32_si128(r[3])), zero);
        const __m128i* tw = reinterpret_cast<const __m128i*>(t);
        __m128i acc = _mm_add_epi32(_mm_madd_epi16(top, _mm_load_si128(tw)),
                                    _mm_madd_epi16(bottom, _mm_load_si128(tw + 1)));
        acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, _MM_SHUFFLE(1, 0, 3, 2)));
        acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, _MM_SHUFFLE(2, 3, 0, 1)));
        sum = _mm_cvtsi128_si32(acc);
    } else {
        sum = 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t* r = base + size_t(std::clamp(sy + i, 0, rows - 1)) * step;
            for (int j = 0; j < 4; ++j) sum += r[std::clamp(sx + j, 0, cols - 1)] * t[i * 4 + j];
        }
    }
    return uint8_t(std::clamp((sum + (1 << (kWeightBits - 1))) >> kWeightBits, 0, 255));
}

// OpenCV's perspective warp takes each row in blocks of this many columns
// at most (1024 pixels over at most 16 rows), each pixel's position summed
// from its block's first column's: the same sums give the same positions.
int PerspectiveBlockWidth(int w, int h) {
    constexpr int kBlock = 32;
    return std::min(kBlock * kBlock / std::min(kBlock / 2, h), w);
}

}  // namespace

void SampleCubic(const cv::Mat& grey, const cv::Matx23f& m, int w, int h, uint8_t* out,
                 size_t outStep) {
    static const CubicWeights weights;
    const double m00 = m(0, 0), m01 = m(0, 1), m02 = m(0, 2);
    const double m10 = m(1, 0), m11 = m(1, 1), m12 = m(1, 2);
    std::vector<int> dx(size_t(std::max(w, 0))), dy(size_t(std::max(w, 0)));
    for (int u = 0; u < w; ++u) {
        dx[size_t(u)] = RoundEven(m00 * u * kMapScale);
        dy[size_t(u)] = RoundEven(m10 * u * kMapScale);
    }
    const CubicSource src(grey);
    for (int v = 0; v < h; ++v) {
        const int x0 = RoundEven((m01 * v + m02) * kMapScale) + kHalfFraction;
        const int y0 = RoundEven((m11 * v + m12) * kMapScale) + kHalfFraction;
        uint8_t* row = out + size_t(v) * outStep;
        for (int u = 0; u < w; ++u)
            row[u] = CubicAt(weights, src, (x0 + dx[size_t(u)]) >> (kMapBits - kFractionBits),
                             (y0 + dy[size_t(u)]) >> (kMapBits - kFractionBits));
    }
}

namespace {

// The positions of row v of a perspective warp by M, in 1/32 of a pixel, as
// OpenCV sums them: from each block's first column, divided in double
// precision, clamped to the int range and rounded to the nearest (ties to
// even), two at a time.
void PerspectivePositions(const double* M, int v, int w, int blockW, int* X, int* Y) {
    const __m128d least = _mm_set1_pd(double(INT32_MIN)), most = _mm_set1_pd(double(INT32_MAX));
    const __m128d fractions = _mm_set1_pd(kFractions), zero = _mm_setzero_pd();
    for (int x = 0; x < w; x += blockW) {
        const int bw = std::min(blockW, w - x);
        const double X0 = M[0] * x + M[1] * v + M[2];
        const double Y0 = M[3] * x + M[4] * v + M[5];
        const double W0 = M[6] * x + M[7] * v + M[8];
        int k = 0;
        for (; k + 2 <= bw; k += 2) {
            const __m128d kk = _mm_set_pd(double(k + 1), double(k));
            __m128d W = _mm_add_pd(_mm_set1_pd(W0), _mm_mul_pd(_mm_set1_pd(M[6]), kk));
            W = _mm_andnot_pd(_mm_cmpeq_pd(W, zero), _mm_div_pd(fractions, W));
            const __m128d fx = _mm_max_pd(
                least,
                _mm_min_pd(
                    most,
                    _mm_mul_pd(_mm_add_pd(_mm_set1_pd(X0), _mm_mul_pd(_mm_set1_pd(M[0]), kk)), W)));
            const __m128d fy = _mm_max_pd(
                least,
                _mm_min_pd(
                    most,
                    _mm_mul_pd(_mm_add_pd(_mm_set1_pd(Y0), _mm_mul_pd(_mm_set1_pd(M[3]), kk)), W)));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(X + x + k), _mm_cvtpd_epi32(fx));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(Y + x + k), _mm_cvtpd_epi32(fy));
        }
        for (; k < bw; ++k) {
            double W = W0 + M[6] * k;
            W = W != 0 ? kFractions / W : 0;
            const double fx =
                std::max(double(INT32_MIN), std::min(double(INT32_MAX), (X0 + M[0] * k) * W));
            const double fy =
                std::max(double(INT32_MIN), std::min(double(INT32_MAX), (Y0 + M[3] * k) * W));
            X[x + k] = RoundEven(fx);
            Y[x + k] = RoundEven(fy);
        }
    }
}

}  // namespace

void SamplePerspective(const cv::Mat& grey, const cv::Matx33f& m, int w, int h, bool cubic,
                       uint8_t* out, size_t outStep) {
    if (w <= 0 || h <= 0) return;
    CV_Assert(grey.type() == CV_8UC1);
    double M[9];
    for (int k = 0; k < 9; ++k) M[k] = double(m(k / 3, k % 3));
    const int blockW = PerspectiveBlockWidth(w, h);
    const size_t step = grey.step[0];
    const uint8_t* base = grey.ptr<uint8_t>(0);
    const int cols = grey.cols, rows = grey.rows;
    // The bilinear rows take positions in the 1/1024 of a pixel of the
    // affine samplers (and take them to 1/32 again), within +-2^25: a whole
    // pixel past +-32,768, which the samplers take to the nearest of
    // +-32,767 anyway, is brought to it first, its fraction kept.
    static constexpr int kToMap = kMapBits - kFractionBits, kFar = 32768;
    auto toMap = [](int p) {
        return (std::clamp(p >> kFractionBits, -kFar, kFar) * kFractions + (p & (kFractions - 1))) *
               (1 << kToMap);
    };
    thread_local std::vector<int> X, Y;
    X.resize(size_t(w)), Y.resize(size_t(w));
    const auto row = LinearRowFor(grey, w);
    static const CubicWeights weights;
    const CubicSource src(grey);
    for (int v = 0; v < h; ++v) {
        PerspectivePositions(M, v, w, blockW, X.data(), Y.data());
        uint8_t* o = out + size_t(v) * outStep;
        if (cubic) {
            for (int u = 0; u < w; ++u) o[u] = CubicAt(weights, src, X[size_t(u)], Y[size_t(u)]);
            continue;
        }
        for (int u = 0; u < w; ++u)
            X[size_t(u)] = toMap(X[size_t(u)]), Y[size_t(u)] = toMap(Y[size_t(u)]);
        row(base, step, cols, rows, 0, 0, X.data(), Y.data(), w, o);
    }
}

namespace {

// The patch value of every grey level between print at dark and paper at
// paper (see LineLevels).
CellLevels LevelsBetween(float dark, float paper, bool throughTexture) {
    const float range = std::max(16.0f, paper - dark);
    // Through texture, paper reaches kTexturePaper of the range towards the
    // print.
    const float share = throughTexture ? L::kTexturePaper : 0.0f;
    const float light = paper - share * range, span = range * (1 - share);
    CellLevels value;
    for (int g = 0; g < 256; ++g) {
        const float level = (light - float(g)) * 255.0f / span;
        value[size_t(g)] = uint8_t(std::clamp(level, 0.0f, 255.0f));
    }
    return value;
}

// The levels of the line's cells over its ink [a, b] (LevelsOfLine).
LineLevels LevelsOf(const cv::Mat& grey, const LineBand& line, float a, float b, int length,
                    bool throughTexture) {
    LineLevels out;
    const int y0 = std::max(0, int(line.At(a) - line.up));
    const int y1 = std::min(grey.rows, int(line.At(a) + line.down) + 1);
    const cv::Mat band = grey.rowRange(std::min(y0, grey.rows - 1), std::max(y1, y0 + 1))
                             .colRange(std::max(0, int(a)), std::min(grey.cols, int(b) + 1));
    const Levels levels(band);
    const float dark = float(levels.At(3)), paper = float(levels.At(90));
    out.tables.push_back(LevelsBetween(dark, paper, throughTexture));
    if (length < 2 * L::kLevelsAround + 2 || b <= a) return out;
    // The light along the line: the paper of stretches of 2 * kLevelsAround
    // + 1 steps round each, at the line's ink over even steps, each step's
    // levels counted once over its own rows.
    out.left = a;
    out.step = (b - a) / float(length);
    const float range = std::max(16.0f, paper - dark);
    std::vector<std::array<uint32_t, 256>> steps(static_cast<size_t>(length));
    std::vector<uint32_t> counts(static_cast<size_t>(length), 0);
    for (int i = 0; i < length; ++i) {
        const float x0 = a + out.step * float(i), mid = x0 + 0.5f * out.step;
        const int r0 = std::clamp(int(line.At(mid) - line.up), 0, grey.rows - 1);
        const int r1 = std::clamp(int(line.At(mid) + line.down) + 1, r0 + 1, grey.rows);
        const int c0 = std::clamp(int(x0), 0, grey.cols - 1);
        const int c1 = std::clamp(int(x0 + out.step) + 1, c0 + 1, grey.cols);
        auto& h = steps[size_t(i)];
        h.fill(0);
        for (int y = r0; y < r1; ++y) {
            const uint8_t* row = grey.ptr<uint8_t>(y);
            for (int x = c0; x < c1; ++x) ++h[row[x]];
        }
        counts[size_t(i)] = uint32_t((r1 - r0) * (c1 - c0));
    }
    const int width = 2 * L::kLevelsAround + 1;
    std::array<uint32_t, 256> window{};
    uint32_t count = 0;
    int first = 0;  // the window's first step
    auto add = [&](int k) {
        for (size_t v = 0; v < 256; ++v) window[v] += steps[size_t(k)][v];
        count += counts[size_t(k)];
    };
    auto remove = [&](int k) {
        for (size_t v = 0; v < 256; ++v) window[v] -= steps[size_t(k)][v];
        count -= counts[size_t(k)];
    };
    for (int k = 0; k < width; ++k) add(k);
    std::vector<CellLevels> local(static_cast<size_t>(length));
    bool uneven = false;
    for (int i = 0; i < length; ++i) {
        const int from = std::clamp(i - L::kLevelsAround, 0, length - width);
        for (; first < from; ++first) remove(first), add(first + width);
        const int p = LevelAt(window, count, 90);
        const bool shifted = std::abs(float(p) - paper) > L::kLevelsShift * range;
        local[size_t(i)] = shifted ? LevelsBetween(dark, float(p), throughTexture) : out.tables[0];
        uneven = uneven || shifted;
    }
    if (uneven) out.tables = std::move(local);
    return out;
}

// Samples out's cells from the grey image, at its edges, with the line's
// ink [a, b] setting the paper and print levels.
void SampleCells(const cv::Mat& grey, const LineBand& line, int length, float a, float b,
                 CutLine& out, bool throughTexture = false) {
    const LineLevels value = LevelsOf(grey, line, a, b, length, throughTexture);
    out.cells.resize(size_t(length));
    for (int i = 0; i < length; ++i)
        SampleCutCell(grey, line, value, length, out, i, out.cells[size_t(i)]);
}

}  // namespace

const CellLevels& LineLevels::At(float x) const {
    if (tables.size() == 1) return tables[0];
    const int i = int(std::floor((x - left) / step));
    return tables[size_t(std::clamp(i, 0, int(tables.size()) - 1))];
}

LineLevels LevelsOfLine(const cv::Mat& grey, const LineInk& across, const LineBand& line,
                        int length, bool throughTexture) {
    return LevelsOf(grey, line, across.left, across.right, length, throughTexture);
}

void SampleCutCell(const cv::Mat& grey, const LineBand& line, const LineLevels& levels, int length,
                   const CutLine& cut, int i, Patch& out) {
    const float x0 = cut.Edge(i, length);
    const float sx = (cut.Edge(i + 1, length) - x0) / kCellW;
    const float cx = x0 + sx * kCellW / 2;
    // Characters stand smaller where the cells are narrower.
    const float ratio = sx * kCellW / cut.pitch;
    const float sy = line.Height() * ratio / kCellH;
    const float top = line.At(cx) - line.up * ratio;
    // Patch pixel (u, v) samples the grey image at (x, y).
    const float slope = line.SlopeAt(cx);
    cv::Matx23f m(sx, 0, x0 + (0.5f - kPad) * sx - 0.5f, slope * sx, sy,
                  top + (0.5f - kPad) * sy - 0.5f - slope * (cx - x0));
    Patch patch;
    SampleLinear(grey, m, kPatchW, kPatchH, patch.data());
    const CellLevels& value = levels.At(cx);
    for (size_t k = 0; k < out.size(); ++k) out[k] = value[patch[k]];
}

bool CutLineCells(const cv::Mat& grey, const cv::Mat& ink, const LineBand& line, int length,
                  CutLine& out, float pitch, float left0, float growth0) {
    return CutLineCells(grey, InkAcross(ink, line), line, length, out, pitch, left0, growth0);
}

bool CutLineCells(const cv::Mat& grey, const LineInk& across, const LineBand& line, int length,
                  CutLine& out, float pitch, float left0, float growth0) {
    if (!FitLineCut(across, length, out, pitch, left0, growth0)) return false;
    SampleCutCells(grey, across, line, length, out);
    return true;
}

void SampleCutCells(const cv::Mat& grey, const LineInk& across, const LineBand& line, int length,
                    CutLine& out) {
    SampleCells(grey, line, length, across.left, across.right, out);
}

void BoundaryInk(const std::vector<float>& ink, const float* at, int length, const float* lefts,
                 size_t n, float* costs, bool wide) {
    if (wide && ink.size() >= 2)
        BoundaryInkWide(ink, at, length, lefts, n, costs);
    else
        BoundaryInkNarrow(ink, at, length, lefts, n, costs);
}

bool FitLineCut(const LineInk& across, int length, CutLine& out, float pitch, float left0,
                float growth0) {
    if (length <= 0 || !across.found) return false;
    const float a = across.left, b = across.right;
    // The outer characters stand inside their cells by about a sixth of a pitch.
    const float p0 = pitch > 0 ? pitch : (b - a) / (float(length) - L::kOuterBearings);
    // Ink spread over a fifth of a pitch, so that boundaries settle in the
    // middle of the gaps between characters rather than anywhere in them.
    const std::vector<float>& raw = across.columns;
    std::vector<float> cols(raw.size(), 0);
    const int spreadBy = std::max(1, int(L::kBoundarySpread * p0));
    for (int x = 0; x < int(raw.size()); ++x)
        for (int d = -spreadBy; d <= spreadBy; ++d)
            if (x + d >= 0 && x + d < int(raw.size()))
                cols[x] += raw[x + d] * float(spreadBy + 1 - std::abs(d));
    const bool aligned = pitch > 0 && left0 > -1e8f;
    // The offsets of a cut's edges from its first at pitch p and growth g,
    // made once for every start tried.
    std::vector<float> at(size_t(length) + 1);
    auto offsets = [&](float p, float g) {
        for (int k = 0; k <= length; ++k) at[size_t(k)] = CutLine::Offset(p, g, k, length);
    };
    // The ink on the inner boundaries of the cuts from each of the starts
    // tried at those offsets, eight at a time where the processor has AVX2
    // (a line of 44 cells has 43 boundaries, and nearly every sum runs to
    // its last: a sum has no cheaper bound).
    static const bool avx2 = __builtin_cpu_supports("avx2");
    std::vector<float> lefts, costs;
    auto cost = [&] {
        costs.resize(lefts.size());
        BoundaryInk(cols, at.data(), length, lefts.data(), lefts.size(), costs.data(), avx2);
    };
    // The line's cells are anchored at both ends of its ink: the first and
    // the last character stand inside their cells, so the first cell starts
    // a little before the ink and the last ends a little after it, never a
    // cell away. A cut that fits the boundaries to gaps between characters
    // cannot then gain or lose a cell along the line.
    const float lo = L::kEndInsideMin, hi = L::kEndInsideMax;
    auto anchored = [&](float left, float p) {
        if (aligned) return true;  // held to the zone's best fitted line instead
        const float right = left + at[size_t(length)];
        return left >= a - hi * p && left <= a - lo * p && right >= b + lo * p &&
               right <= b + hi * p;
    };
    // An even pitch first, then how it grows along the line, around the best.
    const float spread = pitch > 0 ? L::kSharedPitchSpread : L::kPitchSpread;
    float best = 1e9f;
    out.growth = aligned ? growth0 : 0;
    for (float p = (1 - spread) * p0; p <= (1 + spread) * p0; p += 0.002f * p0) {
        const float from = aligned ? left0 - L::kSharedStartReach * p : a - hi * p;
        const float to = aligned ? left0 + L::kSharedStartReach * p : a - lo * p;
        offsets(p, out.growth);
        lefts.clear();
        for (float left = from; left <= to; left += 0.25f)
            if (anchored(left, p)) lefts.push_back(left);
        cost();
        for (size_t j = 0; j < lefts.size(); ++j)
            if (costs[j] < best) best = costs[j], out.left = lefts[j], out.pitch = p;
    }
    if (best < 1e9f) {
        const float reach = aligned ? L::kSharedGrowthReach : L::kGrowthReach;
        const float step = aligned ? L::kSharedGrowthStep : L::kGrowthStep;
        const float l1 = out.left, p1 = out.pitch, g1 = out.growth;
        for (float g = g1 - reach; g <= g1 + reach + 1e-4f; g += step)
            for (float p = 0.99f * p1; p <= 1.01f * p1; p += 0.002f * p1) {
                offsets(p, g);
                lefts.clear();
                for (float left = l1 - 0.15f * p1; left <= l1 + 0.15f * p1; left += 0.25f)
                    if (anchored(left, p)) lefts.push_back(left);
                cost();
                for (size_t j = 0; j < lefts.size(); ++j) {
                    // Slight growth must earn its place over an even pitch.
                    const float c = costs[j] * (1.0f + L::kGrowthPenalty * std::abs(g - g1) / step);
                    if (c < best) best = c, out.left = lefts[j], out.pitch = p, out.growth = g;
                }
            }
    }
    if (best >= 1e9f) return false;
    out.fit = best / float(length - 1) / float((spreadBy + 1) * (spreadBy + 1));
    out.cells.clear();
    return true;
}

bool RecutCells(const cv::Mat& grey, const cv::Mat& ink, const LineBand& line, int length,
                CutLine& out, bool throughTexture) {
    float a = 0, b = 0;
    if (length <= 0 || out.pitch <= 0 || !InkExtent(ink, line, a, b)) return false;
    SampleCells(grey, line, length, a, b, out, throughTexture);
    return true;
}

}  // namespace gw::mrz
