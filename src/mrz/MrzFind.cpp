#include "mrz/MrzFind.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <numeric>

#include <opencv2/imgproc.hpp>
#include <opencv2/imgproc/imgproc_c.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <immintrin.h>
#endif

#include "mrz/MrzCut.h"
#include "mrz/MrzLimits.h"
#include "mrz/MrzReader.h"

namespace gw::mrz {

namespace {

// The page is looked at with its longer side at about this many pixels.
constexpr float kWorkSide = 800.0f;
// LookCloser's longer side: twice kWorkSide, where a TD1 zone spanning a
// fifth of the picture's longer side has 7-pixel capitals, as a zone
// spanning two fifths has in the first look (run F5 of docs/mrz-tuning.md).
constexpr float kCloserSide = 1600.0f;
// The least gain of the closer look over the first: a page whose longer
// side is under this many kWorkSides is looked at closer only by less (run
// F6 of docs/mrz-tuning.md).
constexpr float kCloserGain = 1.5f;
// A page this many times as long as it is wide is a strip (see Candidates).
// Ratio: pages of documents stand under 2, a zone cropped tight with a line
// of room round it over 3.5 (a TD1's, the squarest).
constexpr float kStripAspect = 3.0f;

struct Band {
    cv::Point2f center;
    cv::Point2f axis;  // unit, pointing to +x (or +y when nearly vertical)
    float length;
    float height;
    bool joined = false;  // made of a line's pieces (JoinPieces)
};

// The tilted passes look at a small page at its own size, not enlarged as
// the other passes do: turned, the page's box doubles in area, and enlarged
// twice it grows fourfold again, so that on a page of 0.02 megapixels they
// cost two thirds of a search that must end in a few milliseconds. Finder
// pixels per page pixel, at most. Run P1 of docs/mrz-tuning.md (pages of
// seeds 7 and 13 shrunk to 8 and 6 px capitals, turned by 12 to 45
// degrees): 1 reads 2 of 108 fewer zones exactly than 2 at 8 px, as many
// at 6 px; 1.5 reads as many, but binds the diagonals of a checkerboard
// into lines and then reads them (11 ms on a page of 163 x 123 pixels).
constexpr float kMaxTiltedScale = 1.0f;

// The first look's ink is darker than its surroundings by this many grey
// levels (OpenCV's mean threshold over 25 finder pixels).
constexpr double kInkOffset = 15;
// Looking through texture, ink is darker than its surroundings by this many
// grey levels (the first look asks 15) and at least 2 x 2 finder pixels
// thick: the fine lines of guilloche and hatching under a zone are lighter
// than its print, and thinner. Grey levels; run G1 of docs/mrz-tuning.md.
constexpr double kTextureInkOffset = 30;
// The smallest capitals the look through texture keeps: their strokes, a
// seventh of their height in OCR-B, must survive the 2 x 2 opening. Finder
// pixels; the zones over texture of the generated pages stand 12 to 32 px
// high, and those the look found (run G1) at least 13.5.
constexpr float kTextureMinCapitals = 12.0f;
// The side of the square whose darkest print the look through texture keeps
// (MrzLimits::kTextureDarkest), in finder pixels: about two capital heights
// of the largest zone the finder sees (a TD1 across 800 pixels), so that
// every pixel between two characters or two lines of a zone has print in
// it. Run G2 of docs/mrz-tuning.md (41 read 375 zones of 400 exactly, 61
// 373).
constexpr int kTextureDarkestSide = 41;

// A band of bound text holds paper between its characters; a band of solid
// ink (a stripe of texture, a thick rule) holds little. Fraction of the
// band's area that is ink before the closing, at most. Chosen on generated
// pages (`mrz-pages make`, development seeds 7, 11 and 13 at 60 pages, and
// 40 pages of seed 7's set "all"): the longest bands of a page, those of its
// zone, fill 0.40 at the median and 0.61 at the 99th percentile, at most
// 0.68 (capitals 6 px high); diagonal stripes of period 8 bind at 0.75 and
// more, other stripes at 0.84 to 1. Any threshold from 0.6 to 0.8 reads the
// development pages alike (and one more exactly than none).
constexpr double kMaxBandFill = 0.72;
// A band this much longer than high is no line of 30 to 44 characters
// (zone lines of the generated pages measure 30 to 55): a long stripe or
// rule. Ratio of length to height.
constexpr float kMaxBandAspect = 100.0f;
// Two candidates of as many lines at one place are one, the second dropped,
// only where their heights across the lines differ by less than this share
// of the larger: a box that took in a card's edge as a line of a small zone
// stands nearly twice the zone's height, and would drop the zone itself.
// Ratio; run F9 of docs/mrz-tuning.md.
constexpr float kSamePlaceHeight = 0.4f;
// A band is at least this many times as long as high (ratio of length to
// height), and its length runs within about 20 degrees of its pass's
// direction: at most this sine of the angle between them.
constexpr float kMinBandAspect = 7.0f;
// A piece of a line broken by a gap no closing bridges (JoinPieces) is at
// least this many times as long as high: a few characters' worth.
constexpr float kMinPartAspect = 3.0f;
constexpr float kMaxBandSine = 0.35f;
// A look that follows leaning bands (FinderPage::followLeaning) takes those
// that lean from its pass's direction by up to 45 degrees, this sine: past
// it, the other pass's direction (across or up and down) is the nearer.
constexpr float kMaxLeanSine = 0.71f;
// Leaning bands a pass follows, at most, longest first: each is a turn of
// the ink round it, a search of it and a reading of what that finds. Run
// F12 of docs/mrz-tuning.md: far seed 41 reads alike with 1 to 4, and a
// second costs tilted pages without a zone 2% more work.
constexpr int kLeaningFollowed = 1;
// A leaning band longer than this many times the least length of a band is
// not followed: the looks that follow leaning bands look up to twice as
// close as the first look, for zones it sees too small, and a zone three
// times as long as the look asks spans one and a half times what the first
// look asks there, with capitals of about 5 pixels, in reach of its tilted
// passes. Ratio; run F12 of docs/mrz-tuning.md (at 2, two zones of far seed
// 41 that the first look saw too small were not followed).
constexpr float kMaxLeaningLength = 3.0f;
// A band of a pass that binds with no other into a zone, and is too short
// to be a candidate alone, is followed as a leaning one where it leans from
// the pass's direction by more than this sine (10 degrees): the lines of
// a zone of small print standing so far from the pass's direction bind
// apart only once turned along it (the second line with the texture or
// the card's edge round it, or not at all). Run F12 of docs/mrz-tuning.md.
constexpr float kFollowLeanSine = 0.17f;
// The square turned round a leaning band, in band lengths: a band that is
// a zone's first or last line has the rest of the zone within a quarter of
// its length across it, and the square's inscribed circle holds it all.
constexpr float kLeanLookSide = 1.3f;
// Page pixels a band must be high to be a zone's line: half the smallest
// capitals of the generated pages (6 px); thinner print cannot be read.
constexpr float kMinLineHeight = 3.0f;

// MayMakeBand for bands turned from x by an angle of sine maxSine at most
// (under 0.8). A band's rectangle, of length l and height at most l /
// kMinBandAspect, turned from x by an angle of sine s spans at most (s + 1
// / kMinBandAspect) l = c l across x, and l at most w + s h along it; so h
// <= c / (1 - c s) w (w and h here a pixel less, as the rectangle runs
// through the pixels' centres), and w is the longer side. With 5% and a
// pixel to spare for the rectangle's rounding.
inline bool MayMakeBand(cv::Size box, float minLength, float maxSine) {
    if (float(std::max(box.width, box.height)) < minLength) return false;
    const float c = maxSine + 1 / kMinBandAspect, shrink = 1 - c * maxSine;
    constexpr float kSpare = 1.05f;
    return float(box.height - 1) <= kSpare * c / shrink * float(box.width - 1) + 1;
}

// A binary image as rows of bits: pixel x of a row at bit x % 64 of word
// 1 + x / 64, with a word of margin either side, so that a row is closed
// 64 pixels at a time.
struct BitRows {
    int rows = 0, cols = 0, words = 0;  // words a row, margins included
    std::vector<uint64_t> bits;
    uint64_t* Row(int y) { return bits.data() + size_t(y) * size_t(words); }
    const uint64_t* Row(int y) const { return bits.data() + size_t(y) * size_t(words); }
    void Create(int r, int c) {
        rows = r, cols = c, words = (c + 63) / 64 + 2;
        bits.assign(size_t(r) * size_t(words), 0);
    }
    // The same, for rows that will all be written: their bits are left as
    // they were.
    void Size(int r, int c) {
        rows = r, cols = c, words = (c + 63) / 64 + 2;
        bits.resize(size_t(r) * size_t(words));
    }
};

// The finder's work images, kept by each thread from one call to the next:
// made afresh, their pages are returned to the system at the end of a call
// and faulted in again at the next, which on a small page costs more than
// the finding itself (3 of every 4 ms on a page of 163 x 123 pixels). A
// thread keeps a few of the work side's pages: about 2 MB at most.
struct WorkImages {
    cv::Mat small, blocks, transposed, framed, mask, inside;
    // Which shrink small holds (shrinkMarks), 0 none.
    uint64_t smallMark = 0;
    BitRows spanBits, closedBits, erodedBits, openedBits;
    // DropShortParts' runs, their parts, the parts' boxes and which are kept.
    std::vector<cv::Vec3i> runs;
    std::vector<int> rowStart, parent;
    std::vector<cv::Vec4i> box;
    std::vector<int> inked;  // pixels of each part
    std::vector<uint8_t> keep;
    std::vector<std::vector<cv::Point>> contours;
};

// Numbers for the pages shrunk into WorkImages::small, unique across threads:
// a look at a page that holds its mark may use the shrunk page again.
std::atomic<uint64_t> shrinkMarks{0};

WorkImages& Work() {
    thread_local WorkImages work;
    return work;
}

// Fraction of the pixels inside contour i (of contours) that are ink in ink.
double InkFill(const std::vector<std::vector<cv::Point>>& contours, int i, const cv::Mat& ink,
               const cv::Rect& box) {
    WorkImages& work = Work();
    work.mask.create(box.size(), CV_8U);
    work.mask = 0;
    cv::drawContours(work.mask, contours, i, 255, cv::FILLED, cv::LINE_8, cv::noArray(), 0,
                     -box.tl());
    const double area = cv::countNonZero(work.mask);
    cv::bitwise_and(ink(box), work.mask, work.inside);
    return area > 0 ? cv::countNonZero(work.inside) / area : 1.0;
}

// Whether a contour may run within 20 degrees of x, judged by its second
// moments, which cost a pass over its points where the smallest rectangle
// round it costs a hull: diagonal texture makes long contours of hundreds
// of points. A band long and full enough to pass the tests below (7 times
// as long as high, filling 40% of its rectangle) has its principal axis
// within a few degrees of its rectangle's, so the margin to 35 degrees only
// saves work and never drops a band.
bool AlongThePass(const std::vector<cv::Point>& contour, bool leaning) {
    constexpr double kMaxAxis = 35.0 * CV_PI / 180.0, kMaxLeaningAxis = 50.0 * CV_PI / 180.0;
    const cv::Moments m = cv::moments(contour);
    const double angle = 0.5 * std::atan2(2 * m.mu11, m.mu20 - m.mu02);
    return std::abs(angle) <= (leaning ? kMaxLeaningAxis : kMaxAxis);
}

// Long thin bands of bound ink in a binary image (framed as for
// OuterContours, its ink inside inkBox, bound from ink), in ink's pixels, at
// least minHeight high; into parts, those as long as a band but not as long
// for their height (kMinPartAspect), which may be pieces of a line
// (JoinPieces); with leaning, into it the bands that lean past the pass's
// reach, by up to kMaxLeanSine.
std::vector<Band> Bands(cv::Mat& framed, const cv::Rect& inkBox, const cv::Mat& ink,
                        float minLength, float minHeight, std::vector<Band>& parts,
                        std::vector<Band>* leaning) {
    parts.clear();
    std::vector<std::vector<cv::Point>>& contours = Work().contours;
    const size_t count = OuterContours(framed, contours, inkBox);
    std::vector<Band> out;
    for (size_t i = 0; i < count; ++i) {
        const auto& c = contours[i];
        const cv::Rect box = cv::boundingRect(c);
        if (std::max(box.width, box.height) < minLength) continue;
        if (!AlongThePass(c, leaning != nullptr)) continue;
        const cv::RotatedRect r = cv::minAreaRect(c);
        cv::Point2f p[4];
        r.points(p);
        cv::Point2f e1 = p[1] - p[0], e2 = p[2] - p[1];
        float l1 = std::hypot(e1.x, e1.y), l2 = std::hypot(e2.x, e2.y);
        if (l1 < l2) std::swap(e1, e2), std::swap(l1, l2);
        if (l1 < minLength || l2 < std::max(3.0f, minHeight) || l1 < kMinPartAspect * l2) continue;
        if (l1 > kMaxBandAspect * l2) continue;
        if (cv::contourArea(c) < 0.4 * l1 * l2) continue;
        cv::Point2f axis = e1 / l1;
        if (axis.x < 0) axis = -axis;
        // Lines of this pass lie within 20 degrees of the pass's direction.
        const bool leans = std::abs(axis.y) > kMaxBandSine;
        if (leans && (!leaning || std::abs(axis.y) > kMaxLeanSine || l1 < kMinBandAspect * l2 ||
                      l1 > kMaxLeaningLength * minLength))
            continue;
        if (InkFill(contours, int(i), ink, box) > kMaxBandFill) continue;
        if (leans) {
            leaning->push_back({r.center, axis, l1, l2});
            continue;
        }
        (l1 < kMinBandAspect * l2 ? parts : out).push_back({r.center, axis, l1, l2});
    }
    return out;
}

// A line whose characters stand large in the look may break where a row's
// closing bridges no gap: an L before a filler leaves most of a pitch of
// paper at mid-height, and only the L's foot reaches on under it. Its two
// pieces stand in line, one height, their boxes a few pixels apart. Pieces
// of a line this close (in band heights, along the line) are one band too.
// Ratio; run F7 of docs/mrz-tuning.md.
constexpr float kJoinGap = 0.5f;

// Adds to bands one band for each run of pieces of a line (kJoinGap apart),
// the pieces kept.
void JoinPieces(std::vector<Band>& bands) {
    const size_t pieces = bands.size();
    for (size_t i = 0; i < bands.size() && bands.size() < 2 * pieces + 8; ++i) {
        for (size_t j = 0; j < pieces; ++j) {
            // Measured along the longer piece: a short one's own direction
            // is known to a few degrees only.
            const Band a = bands[i], &b = bands[j];
            const Band& along = a.length >= b.length ? a : b;
            const cv::Point2f axis = along.axis;
            const float h = std::max(a.height, b.height);
            if (std::abs(a.axis.x * b.axis.y - a.axis.y * b.axis.x) > 0.2f ||
                std::abs(a.height - b.height) > 0.3f * h)
                continue;
            const cv::Point2f d = b.center - a.center;
            const float ahead = d.dot(axis), across = -d.x * axis.y + d.y * axis.x;
            const float gap = ahead - 0.5f * (a.length + b.length);
            if (ahead <= 0 || std::abs(across) > 0.25f * h || gap < 0 || gap > kJoinGap * h)
                continue;
            const float length = ahead + 0.5f * (a.length + b.length);
            if (length > kMaxBandAspect * h) continue;
            // On the longer piece's middle line, from a's start to b's end.
            const float mid = 0.5f * (-0.5f * a.length + ahead + 0.5f * b.length);
            const cv::Point2f on =
                a.center + (along.center - a.center).dot(cv::Point2f(-axis.y, axis.x)) *
                               cv::Point2f(-axis.y, axis.x);
            bands.push_back({on + mid * axis, axis, length, h, true});
        }
    }
}

// Two bands that may be consecutive lines of one zone: parallel, of about the
// same length and start, one below the other at a line's spacing.
bool Follows(const Band& a, const Band& b) {
    const float cross = a.axis.x * b.axis.y - a.axis.y * b.axis.x;
    if (std::abs(cross) > 0.07f) return false;
    if (std::abs(a.length - b.length) > 0.2f * std::max(a.length, b.length)) return false;
    const cv::Point2f d = b.center - a.center;
    const float along = d.x * a.axis.x + d.y * a.axis.y;
    const float across = -d.x * a.axis.y + d.y * a.axis.x;
    const float h = std::max(a.height, b.height);
    return std::abs(along) < 0.12f * a.length && across > 1.0f * h && across < 3.5f * h;
}

ZoneCandidate FromBands(const std::vector<const Band*>& bands) {
    std::vector<cv::Point2f> points;
    float lineHeight = 0;
    for (const Band* b : bands) {
        const cv::Point2f n(-b->axis.y, b->axis.x);
        for (float s : {-0.5f, 0.5f})
            for (float t : {-0.5f, 0.5f})
                points.push_back(b->center + s * b->length * b->axis + t * b->height * n);
        lineHeight += b->height;
    }
    lineHeight /= float(bands.size());
    ZoneCandidate z;
    const cv::RotatedRect r = cv::minAreaRect(points);
    z.center = r.center;
    z.axis = bands[0]->axis;
    const cv::Point2f n(-z.axis.y, z.axis.x);
    float lo = 1e9f, hi = -1e9f, left = 1e9f, right = -1e9f;
    for (const cv::Point2f& p : points) {
        const cv::Point2f d = p - z.center;
        lo = std::min(lo, d.dot(n)), hi = std::max(hi, d.dot(n));
        left = std::min(left, d.dot(z.axis)), right = std::max(right, d.dot(z.axis));
    }
    z.center += 0.5f * (lo + hi) * n + 0.5f * (left + right) * z.axis;
    z.length = right - left;
    z.height = hi - lo;
    z.lineHeight = lineHeight;
    z.lines = static_cast<int>(bands.size());
    // Zones of two or three lines first, longer ones before shorter; one with
    // a line of joined pieces after one bound whole at its place, which it
    // would only repeat (FindZones keeps one candidate a place).
    z.rank = z.length * (bands.size() >= 2 ? 4.0f : 1.0f);
    if (std::any_of(bands.begin(), bands.end(), [](const Band* b) { return b->joined; }))
        z.rank *= 0.9f;
    return z;
}

// The zones of three lines that a line of joined pieces makes with two
// bound whole (JoinPieces), into out. bands are sorted top to bottom. Those
// of two lines, or of more joined lines, are left out: texture's pieces
// join into lines as readily, and every zone read costs the search.
void JoinedZones(const std::vector<Band>& bands, const std::vector<Band>& parts,
                 std::vector<ZoneCandidate>& out) {
    std::vector<Band> all = bands;
    all.insert(all.end(), parts.begin(), parts.end());
    const size_t pieces = all.size();
    JoinPieces(all);
    if (all.size() == pieces) return;
    // Parts are lines only as pieces of one.
    all.erase(all.begin() + long(bands.size()), all.begin() + long(pieces));
    std::stable_sort(all.begin(), all.end(),
                     [](const Band& a, const Band& b) { return a.center.y < b.center.y; });
    for (size_t i = 0; i < all.size(); ++i) {
        std::vector<const Band*> chain{&all[i]};
        for (size_t j = i + 1; j < all.size() && chain.size() < 3; ++j)
            if (Follows(*chain.back(), all[j])) chain.push_back(&all[j]);
        const auto joined =
            std::count_if(chain.begin(), chain.end(), [](const Band* b) { return b->joined; });
        if (chain.size() == 3 && joined == 1) out.push_back(FromBands(chain));
    }
}

// The pixels of ink that are not 0, as bits.
void PackRows(const cv::Mat& ink, BitRows& out) {
    out.Create(ink.rows, ink.cols);
    for (int y = 0; y < ink.rows; ++y) {
        const uint8_t* r = ink.ptr<uint8_t>(y);
        uint64_t* w = out.Row(y) + 1;
        int x = 0;
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        for (; x + 64 <= ink.cols; x += 64) {
            uint64_t v = 0;
            for (int i = 0; i < 4; ++i) {
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + x + 16 * i));
                const int paper = _mm_movemask_epi8(_mm_cmpeq_epi8(b, zero));
                v |= uint64_t(~paper & 0xffff) << (16 * i);
            }
            w[x / 64] = v;
        }
#endif
        for (; x < ink.cols; ++x)
            if (r[x] != 0) w[x / 64] |= uint64_t(1) << (x % 64);
    }
}

// Pixel x of a row of n words that is the OR (with all, the AND) of pixels
// x to x + m - 1 becomes that of pixels x to x + m + s - 1 (0 < s <= m,
// s < 64), in place.
template <bool all>
void Join(uint64_t* r, int n, int s) {
    for (int j = 0; j + 1 < n; ++j) {
        const uint64_t v = (r[j] >> s) | (r[j + 1] << (64 - s));
        r[j] = all ? (r[j] & v) : (r[j] | v);
    }
    r[n - 1] = all ? (r[n - 1] & (r[n - 1] >> s)) : (r[n - 1] | (r[n - 1] >> s));
}

// Pixel x of a row of n words that is the OR (with all, the AND) of pixels
// x to x + from - 1 becomes that of pixels x to x + k - 1 (from <= k <= 64),
// in place: spans doubled, then joined.
template <bool all>
void Span(uint64_t* r, int n, int k, int from = 1) {
    for (int m = from; m < k;) {
        const int s = std::min(m, k - m);
        Join<all>(r, n, s);
        m += s;
    }
}

// Rows of bits that hold for each pixel x the OR of pixels x to x + from -
// 1 of some ink (from 1: the ink) made to hold that of x to x + k - 1.
void Widen(BitRows& b, int from, int k) {
    const int n = b.words;
    for (int y = 0; y < b.rows; ++y) {
        uint64_t* r = b.Row(y);
        if (std::any_of(r, r + n, [](uint64_t v) { return v != 0; })) Span<false>(r, n, k, from);
    }
}

// Pixel x of a row of n words becomes pixel x - s (0 < s < 64), in place.
void Push(uint64_t* r, int n, int s) {
    for (int j = n - 1; j > 0; --j) r[j] = (r[j] << s) | (r[j - 1] >> (64 - s));
    r[0] <<= s;
}

// OpenCV's closing by a row of k pixels (k from 2 to 63), anchored at its
// middle (pixel k / 2): a dilation over pixels x - k / 2 to x - k / 2 + k - 1
// with paper past the row's ends, then an erosion over the same with ink
// past them. From spans, the ink widened by Widen to k: for each pixel x the
// OR of pixels x to x + k - 1.
void CloseRows(const BitRows& spans, int k, BitRows& out) {
    const BitRows& in = spans;
    out.Create(in.rows, in.cols);
    const int n = in.words, a = k / 2;
    const int lastWord = 1 + (in.cols - 1) / 64, lastBits = in.cols - 64 * (lastWord - 1);
    const uint64_t lastMask = lastBits == 64 ? ~uint64_t(0) : (uint64_t(1) << lastBits) - 1;
    for (int y = 0; y < in.rows; ++y) {
        // A row of paper stays paper (and out's rows start as paper).
        const uint64_t* r = in.Row(y);
        if (std::all_of(r, r + n, [](uint64_t v) { return v == 0; })) continue;
        uint64_t* o = out.Row(y);
        std::copy(r, r + n, o);
        if (a > 0) Push(o, n, a);
        // The margins: ink for the erosion.
        o[0] = ~uint64_t(0);
        o[lastWord] |= ~lastMask;
        for (int j = lastWord + 1; j < n; ++j) o[j] = ~uint64_t(0);
        Span<true>(o, n, k);
        if (a > 0) Push(o, n, a);
        o[0] = 0;
        o[lastWord] &= lastMask;
        for (int j = lastWord + 1; j < n; ++j) o[j] = 0;
    }
}

// The opening of bits by a column of three pixels (rows past the top and
// bottom as the nearest row), into opened.
void OpenThreeHighBits(const BitRows& in, BitRows& eroded, BitRows& opened) {
    const int h = in.rows, n = in.words;
    eroded.Size(in.rows, in.cols);
    opened.Size(in.rows, in.cols);
    for (int y = 0; y < h; ++y) {
        const uint64_t* up = in.Row(std::max(y - 1, 0));
        const uint64_t* at = in.Row(y);
        const uint64_t* down = in.Row(std::min(y + 1, h - 1));
        uint64_t* o = eroded.Row(y);
        for (int j = 0; j < n; ++j) o[j] = up[j] & at[j] & down[j];
    }
    for (int y = 0; y < h; ++y) {
        const uint64_t* up = eroded.Row(std::max(y - 1, 0));
        const uint64_t* at = eroded.Row(y);
        const uint64_t* down = eroded.Row(std::min(y + 1, h - 1));
        uint64_t* o = opened.Row(y);
        for (int j = 0; j < n; ++j) o[j] = up[j] | at[j] | down[j];
    }
}

// The next of closings of widening widths, into work.openedBits: the rows
// of work.spanBits, so far the OR of each pixel's spanned pixels (1: the
// ink packed), widened to k; closed by a row of k pixels and opened by a
// column of three (thin rules and card edges are no text).
void CloseAndOpenNext(WorkImages& work, int& spanned, int k) {
    Widen(work.spanBits, spanned, k);
    spanned = k;
    CloseRows(work.spanBits, k, work.closedBits);
    OpenThreeHighBits(work.closedBits, work.erodedBits, work.openedBits);
}

// Rows from to to (exclusive) of the bits into dst (0 or 255, already of
// their size), in those rows at least columns left to right (exclusive):
// the words of bits that hold them.
void Unpack(const BitRows& in, cv::Mat& dst, int from, int to, int left, int right) {
    // Eight bits to eight bytes.
    static const std::array<uint64_t, 256> bytes = [] {
        std::array<uint64_t, 256> t{};
        for (int v = 0; v < 256; ++v)
            for (int b = 0; b < 8; ++b)
                if (v & (1 << b)) t[size_t(v)] |= uint64_t(0xff) << (8 * b);
        return t;
    }();
    for (int y = from; y < to; ++y) {
        const uint64_t* r = in.Row(y);
        uint8_t* o = dst.ptr<uint8_t>(y);
        for (int x = left / 64 * 64; x < right; x += 64) {
            const uint64_t v = r[1 + x / 64];
            const int count = std::min(64, in.cols - x);
            int i = 0;
            for (; i + 8 <= count; i += 8) {
                const uint64_t eight = bytes[(v >> i) & 0xff];
                std::memcpy(o + x + i, &eight, 8);
            }
            for (; i < count; ++i) o[x + i] = (v >> i) & 1 ? 255 : 0;
        }
    }
}

// The runs of ink (row y, first and last pixel) of a row of n words of
// bits, added to runs. Apart from the search round it, whose vectors and
// counts would crowd its own out of the registers.
__attribute__((noinline)) void RowRuns(const uint64_t* r, int n, int y,
                                       std::vector<cv::Vec3i>& runs) {
    int open = -1;        // where a run not yet ended started
    uint64_t before = 0;  // the last pixel of the word before
    for (int j = 0; j < n; ++j) {
        const uint64_t v = r[j];
        if ((v | before) == 0) continue;  // paper after paper
        // Where ink starts or ends: a pixel unlike the one before.
        uint64_t edges = v ^ ((v << 1) | before);
        before = v >> 63;
        for (; edges != 0; edges &= edges - 1) {
            const int at = 64 * j + __builtin_ctzll(edges);
            if (open < 0)
                open = at;
            else
                runs.push_back({y, open, at - 1}), open = -1;
        }
    }
    if (open >= 0) runs.push_back({y, open, 64 * n - 1});
}

// Whether a part of the ink of that box and pixels (inked) may bind a band
// that leans past its pass's reach, by up to kMaxLeanSine, and is not too
// long to follow (kMaxLeaningLength). Such a band's rectangle, of length l
// and height h at most l / kMinBandAspect, turned by 20 to 45 degrees,
// fills under a third of the box round it (l h against 0.47 l^2 at 20
// degrees, 0.65 l^2 at 45): a part kept for such a band alone must be as
// sparse (with room to spare), where a block of print or a table bound
// whole fills its box.
bool MayLean(cv::Size box, int inked, float minLength) {
    constexpr double kMaxLeaningFill = 0.4;
    return float(std::max(box.width, box.height)) <= kMaxLeaningLength * minLength &&
           MayMakeBand(box, minLength, kMaxLeanSine) &&
           double(inked) <= kMaxLeaningFill * double(box.width) * double(box.height);
}

// Clears the parts of bits (8-connected, as contours bound them) whose
// bounding box could hold no band (MayMakeBand), nor with leaning a leaning
// band Bands would keep (MayLean): those Bands passes over at once, whose
// contours then need not be traced. A part's outer contour bounds it, and
// the contours of the others, and their order, stay as they were. The parts
// are found by their runs of ink, joined row to row. Returns the box round
// the ink kept (empty when none is).
cv::Rect DropShortParts(BitRows& b, float minLength, bool leaning) {
    // The thread's vectors, held here and handed back at the end: reached
    // through the thread's store, each run's push looked it up again.
    struct Held {
        WorkImages& work = Work();
        std::vector<cv::Vec3i> runs = std::move(work.runs);  // row, first and last pixel
        std::vector<int> rowStart = std::move(work.rowStart), parent = std::move(work.parent);
        std::vector<cv::Vec4i> box = std::move(work.box);
        std::vector<int> inked = std::move(work.inked);
        std::vector<uint8_t> keep = std::move(work.keep);
        ~Held() {
            work.runs = std::move(runs), work.rowStart = std::move(rowStart);
            work.parent = std::move(parent), work.box = std::move(box);
            work.inked = std::move(inked), work.keep = std::move(keep);
        }
    } held;
    std::vector<cv::Vec3i>& runs = held.runs;
    std::vector<int>& rowStart = held.rowStart;
    std::vector<int>& parent = held.parent;
    std::vector<cv::Vec4i>& box = held.box;
    std::vector<int>& inked = held.inked;
    std::vector<uint8_t>& keep = held.keep;
    runs.clear();
    rowStart.assign(size_t(b.rows) + 1, 0);
    const int n = b.words - 2;
    for (int y = 0; y < b.rows; ++y) {
        rowStart[size_t(y)] = int(runs.size());
        RowRuns(b.Row(y) + 1, n, y, runs);
    }
    rowStart[size_t(b.rows)] = int(runs.size());
    JoinRuns(runs, rowStart, parent);
    // Each run's part by its first run, the part's box there (and with
    // leaning its pixels), and whether it is kept.
    box.resize(runs.size());
    keep.resize(runs.size());
    for (size_t i = 0; i < runs.size(); ++i) {
        const cv::Vec3i& run = runs[i];
        const int p = parent[i];
        if (size_t(p) == i) {
            box[i] = {run[1], run[0], run[2], run[0]};
            continue;
        }
        cv::Vec4i& r = box[size_t(p)];
        r[0] = std::min(r[0], run[1]), r[2] = std::max(r[2], run[2]), r[3] = run[0];
    }
    if (leaning) {
        inked.assign(runs.size(), 0);
        for (size_t i = 0; i < runs.size(); ++i)
            inked[size_t(parent[i])] += runs[i][2] - runs[i][1] + 1;
    }
    // The ink drawn again from the runs of the parts kept.
    std::fill(b.bits.begin(), b.bits.end(), 0);
    cv::Vec4i kept(INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN);
    for (size_t i = 0; i < runs.size(); ++i) {
        const size_t p = size_t(parent[i]);
        if (p == i) {
            const cv::Vec4i& r = box[i];
            const cv::Size size(r[2] - r[0] + 1, r[3] - r[1] + 1);
            keep[i] = MayMakeBand(size, minLength, kMaxBandSine) ||
                      (leaning && MayLean(size, inked[i], minLength));
        }
        if (!keep[p]) continue;
        const cv::Vec3i& run = runs[i];
        kept[0] = std::min(kept[0], run[1]), kept[1] = std::min(kept[1], run[0]);
        kept[2] = std::max(kept[2], run[2]), kept[3] = std::max(kept[3], run[0]);
        uint64_t* row = b.Row(run[0]) + 1;
        for (int x = run[1]; x <= run[2];) {
            const int j = x / 64, from = x % 64, to = std::min(63, run[2] - 64 * j);
            const uint64_t upTo = to == 63 ? ~uint64_t(0) : (uint64_t(1) << (to + 1)) - 1;
            row[j] |= upTo & (~uint64_t(0) << from);
            x = 64 * j + to + 1;
        }
    }
    if (kept[0] > kept[2]) return {};
    return {kept[0], kept[1], kept[2] - kept[0] + 1, kept[3] - kept[1] + 1};
}

// ink turned by degrees (counter-clockwise, about its middle) into turned,
// a box that holds all of it (paper round it), and the map from turned's
// pixels back to ink's into back.
void TurnInk(const cv::Mat& ink, double degrees, cv::Mat& turned, cv::Matx23f& back) {
    const cv::Point2f mid(float(ink.cols) / 2, float(ink.rows) / 2);
    cv::Mat forward = cv::getRotationMatrix2D(mid, degrees, 1.0);
    const cv::Rect2f box =
        cv::RotatedRect(mid, cv::Size2f(ink.size()), float(degrees)).boundingRect2f();
    forward.at<double>(0, 2) += box.width / 2 - mid.x;
    forward.at<double>(1, 2) += box.height / 2 - mid.y;
    TurnNearest(ink, forward, cv::Size(int(box.width), int(box.height)), turned);
    cv::Mat inverse;
    cv::invertAffineTransform(forward, inverse);
    back = cv::Matx23f(inverse);
}

// Candidate z's place and direction mapped by back.
void MapBack(ZoneCandidate& z, const cv::Matx23f& back) {
    const cv::Point2f c = z.center;
    z.center = {back(0, 0) * c.x + back(0, 1) * c.y + back(0, 2),
                back(1, 0) * c.x + back(1, 1) * c.y + back(1, 2)};
    z.axis = {back(0, 0) * z.axis.x + back(0, 1) * z.axis.y,
              back(1, 0) * z.axis.x + back(1, 1) * z.axis.y};
}

void Candidates(const cv::Mat& ink, float minHeight, float minLength,
                std::vector<ZoneCandidate>& out, bool followLeaning);

// The candidates of the places of leaning bands of ink (longest first, at
// most kLeaningFollowed), each looked at alone: the ink round it turned so
// that the band runs along x, where its lines bind apart (a zone of small
// print seen 20 degrees or more from a pass's direction binds its two
// lines into one band, or none), and searched as Candidates searches a
// page. Into out, in ink's pixels.
void FollowLeaning(const cv::Mat& ink, std::vector<Band>& leaning, float minHeight, float minLength,
                   std::vector<ZoneCandidate>& out) {
    std::stable_sort(leaning.begin(), leaning.end(),
                     [](const Band& a, const Band& b) { return a.length > b.length; });
    std::vector<cv::Rect> looked;
    for (const Band& band : leaning) {
        if (int(looked.size()) >= kLeaningFollowed) break;
        const cv::Point center(cvRound(band.center.x), cvRound(band.center.y));
        // The same band bound at several widths, or a line of a zone
        // looked at already.
        if (std::any_of(looked.begin(), looked.end(),
                        [&](const cv::Rect& r) { return r.contains(center); }))
            continue;
        const int side = cvRound(kLeanLookSide * band.length);
        const cv::Rect box = cv::Rect(center.x - side / 2, center.y - side / 2, side, side) &
                             cv::Rect(0, 0, ink.cols, ink.rows);
        if (box.width < minLength && box.height < minLength) continue;
        looked.push_back(box);
        // Turned so that the band runs along x; mapped back into ink's
        // pixels past the box's corner.
        cv::Mat turned;
        cv::Matx23f back;
        TurnInk(ink(box).clone(), std::atan2(band.axis.y, band.axis.x) * 180.0 / CV_PI, turned,
                back);
        back(0, 2) += float(box.x), back(1, 2) += float(box.y);
        std::vector<ZoneCandidate> found;
        Candidates(turned, minHeight, minLength, found, false);
        for (ZoneCandidate z : found) {
            MapBack(z, back);
            out.push_back(z);
        }
    }
}

// The candidates of one binary image (ink white) whose lines run along x,
// of lines at least minHeight high and bands at least minLength long; with
// followLeaning, those of the bands that lean past the pass's reach too
// (FollowLeaning).
void Candidates(const cv::Mat& ink, float minHeight, float minLength,
                std::vector<ZoneCandidate>& out, bool followLeaning) {
    WorkImages& work = Work();
    cv::Mat& framed = work.framed;
    PackRows(ink, work.spanBits);
    // Only the frame is cleared: the search looks at the rows and columns
    // round each closing's ink, which are unpacked afresh.
    framed.create(ink.rows + 2, ink.cols + 2, CV_8U);
    framed.row(0) = 0;
    framed.row(framed.rows - 1) = 0;
    framed.col(0) = 0;
    framed.col(framed.cols - 1) = 0;
    cv::Mat closed = framed(cv::Rect(1, 1, ink.cols, ink.rows));
    // Each closing's dilation from the last's (CloseAndOpen, the ink packed
    // once for the four). A strip of a page (kStripAspect) holds, if a zone,
    // one cropped tight that fills it: its characters stand large here, and
    // the gap of a whole character (an L before a filler) closes only wider.
    const bool strip =
        float(std::max(ink.cols, ink.rows)) >= kStripAspect * float(std::min(ink.cols, ink.rows));
    int spanned = 1;
    std::vector<Band> leaning;
    for (int k : {4, 7, 12, 20, 32}) {
        if (k == 32 && !strip) break;
        CloseAndOpenNext(work, spanned, k);
        const cv::Rect inkBox = DropShortParts(work.openedBits, minLength, followLeaning);
        if (inkBox.empty()) continue;
        // With paper all round, inside the frame.
        Unpack(work.openedBits, closed, std::max(inkBox.y - 1, 0),
               std::min(inkBox.y + inkBox.height + 1, ink.rows), std::max(inkBox.x - 1, 0),
               std::min(inkBox.x + inkBox.width + 1, ink.cols));
        std::vector<Band> parts;
        std::vector<Band> bands = Bands(framed, inkBox, ink, minLength, minHeight, parts,
                                        followLeaning ? &leaning : nullptr);
        std::sort(bands.begin(), bands.end(),
                  [&](const Band& a, const Band& b) { return a.center.y < b.center.y; });
        std::vector<bool> used(bands.size(), false);
        for (size_t i = 0; i < bands.size(); ++i) {
            std::vector<const Band*> chain{&bands[i]};
            for (size_t j = i + 1; j < bands.size() && chain.size() < 3; ++j)
                if (Follows(*chain.back(), bands[j])) chain.push_back(&bands[j]), used[j] = true;
            if (chain.size() >= 2) out.push_back(FromBands(chain));
            if (chain.size() == 3) {
                out.push_back(FromBands({chain[0], chain[1]}));
                out.push_back(FromBands({chain[1], chain[2]}));
            }
            if (!used[i] && bands[i].length > 1.5f * minLength)
                out.push_back(FromBands({&bands[i]}));
            else if (!used[i] && chain.size() == 1 && followLeaning &&
                     std::abs(bands[i].axis.y) > kFollowLeanSine)
                leaning.push_back(bands[i]);
        }
        JoinedZones(bands, parts, out);
    }
    if (!leaning.empty()) FollowLeaning(ink, leaning, minHeight, minLength, out);
}

// The weights of an area average along one axis, from source pixels to
// dest pixels (fewer): for each dest pixel, the source pixels it covers from
// first on, each weighted by the part of it covered over the dest pixel's
// width, in OpenCV's INTER_AREA's own arithmetic (its tables, made in double
// and kept in float). Every dest pixel has count weights, those past its
// own zero.
struct AreaWeights {
    int count = 0;
    std::vector<int> first;
    std::vector<float> weight;  // [dest pixel * count + k]
};

// Empty (count 0) where the covered pixels are not consecutive, which the
// average's arithmetic never makes but its users would not survive.
AreaWeights AreaWeightsOf(int source, int dest) {
    const double step = 1.0 / (double(dest) / source);
    std::vector<std::pair<int, float>> taps;
    std::vector<size_t> at(size_t(dest) + 1, 0);
    for (int d = 0; d < dest; ++d) {
        at[size_t(d)] = taps.size();
        const double start = d * step, end = start + step;
        const double width = std::min(step, source - start);
        const int last = std::min(int(std::floor(end)), source - 1);
        const int whole = std::min(int(std::ceil(start)), last);
        if (whole - start > 1e-3) taps.push_back({whole - 1, float((whole - start) / width)});
        for (int s = whole; s < last; ++s) taps.push_back({s, float(1.0 / width)});
        if (end - last > 1e-3)
            taps.push_back({last, float(std::min(std::min(end - last, 1.0), width) / width)});
    }
    at[size_t(dest)] = taps.size();
    AreaWeights w;
    for (int d = 0; d < dest; ++d) {
        if (at[size_t(d) + 1] == at[size_t(d)]) return {};
        w.count = std::max(w.count, int(at[size_t(d) + 1] - at[size_t(d)]));
    }
    w.first.assign(size_t(dest), 0);
    w.weight.assign(size_t(dest) * size_t(w.count), 0.0f);
    for (int d = 0; d < dest; ++d) {
        w.first[size_t(d)] = taps[at[size_t(d)]].first;
        for (size_t k = at[size_t(d)]; k < at[size_t(d) + 1]; ++k) {
            if (taps[k].first != w.first[size_t(d)] + int(k - at[size_t(d)])) return {};
            w.weight[size_t(d) * size_t(w.count) + (k - at[size_t(d)])] = taps[k].second;
        }
    }
    return w;
}

// cv::resize of grey to a smaller size with INTER_AREA where the scale is
// not whole, to the same bits: the same products summed in the same order
// (each row across, then the rows of each dest row), but each source row
// summed across once, not once per dest row it falls in, and the sums kept
// in registers and rows of floats where OpenCV's loop carries them through
// memory. About 2.3 times faster (1200 x 900 to 800 x 600: 0.85 against
// 1.8 ms). False, and nothing done, where the weights do not fit.
bool AreaShrink(const cv::Mat& grey, cv::Mat& out, cv::Size size) {
    const AreaWeights xs = AreaWeightsOf(grey.cols, size.width);
    const AreaWeights ys = AreaWeightsOf(grey.rows, size.height);
    if (xs.count == 0 || ys.count == 0) return false;
    out.create(size, CV_8U);
    const int n = xs.count, w = size.width;
    // The source row in floats, with room for the zero weights past its end.
    std::vector<float> row(size_t(grey.cols + n), 0.0f), sum(static_cast<size_t>(w));
    std::vector<float> across[2] = {std::vector<float>(size_t(w)), std::vector<float>(size_t(w))};
    int held[2] = {-1, -1};
    auto rowAcross = [&](int y) -> const float* {
        for (int i = 0; i < 2; ++i)
            if (held[i] == y) return across[i].data();
        // Rows are asked in order: the one held longer is not asked again.
        const int slot = held[0] < held[1] ? 0 : 1;
        held[slot] = y;
        const uint8_t* g = grey.ptr<uint8_t>(y);
        for (int x = 0; x < grey.cols; ++x) row[size_t(x)] = float(g[x]);
        float* h = across[slot].data();
        const int* first = xs.first.data();
        const float* k = xs.weight.data();
        if (n == 2) {
            for (int d = 0; d < w; ++d, k += 2) {
                const float* p = row.data() + first[d];
                float a = p[0] * k[0];
                a += p[1] * k[1];
                h[d] = a;
            }
        } else if (n == 3) {
            for (int d = 0; d < w; ++d, k += 3) {
                const float* p = row.data() + first[d];
                float a = p[0] * k[0];
                a += p[1] * k[1];
                a += p[2] * k[2];
                h[d] = a;
            }
        } else {
            for (int d = 0; d < w; ++d, k += n) {
                const float* p = row.data() + first[d];
                float a = p[0] * k[0];
                for (int j = 1; j < n; ++j) a += p[j] * k[j];
                h[d] = a;
            }
        }
        return h;
    };
    float* s = sum.data();
    for (int y = 0; y < size.height; ++y) {
        const float* beta = &ys.weight[size_t(y) * size_t(ys.count)];
        const float* h = rowAcross(ys.first[size_t(y)]);
        for (int x = 0; x < w; ++x) s[x] = beta[0] * h[x];
        for (int j = 1; j < ys.count && beta[j] != 0.0f; ++j) {
            h = rowAcross(ys.first[size_t(y)] + j);
            for (int x = 0; x < w; ++x) s[x] += beta[j] * h[x];
        }
        uint8_t* o = out.ptr<uint8_t>(y);
        for (int x = 0; x < w; ++x) o[x] = cv::saturate_cast<uint8_t>(s[x]);
    }
    return true;
}

}  // namespace

// cv::resize(grey, out, size, 0, 0, INTER_AREA) for a smaller size, by
// AreaShrink where OpenCV takes its slow path (a scale not whole).
void ResizeArea(const cv::Mat& grey, cv::Mat& out, cv::Size size) {
    const double sx = 1.0 / (double(size.width) / grey.cols);
    const double sy = 1.0 / (double(size.height) / grey.rows);
    const bool whole =
        std::abs(sx - std::round(sx)) < DBL_EPSILON && std::abs(sy - std::round(sy)) < DBL_EPSILON;
    if (sx < 1 || sy < 1 || whole || !AreaShrink(grey, out, size))
        cv::resize(grey, out, size, 0, 0, cv::INTER_AREA);
}

namespace {

// grey resized to size: averaged over areas where it shrinks, in two steps
// where it shrinks by half or more: first by a whole factor over blocks of
// pixels (OpenCV's fast path, the page's last few rows and columns left
// out), then the rest of the way. The one step over a 12-megapixel page
// cost 9 ms, a third of a reading; the two cost 3.
void Shrink(const cv::Mat& grey, cv::Mat& out, cv::Size size) {
    if (size.width >= grey.cols) {
        cv::resize(grey, out, size, 0, 0, cv::INTER_LINEAR);
        return;
    }
    const int factor = std::min(grey.cols / size.width, grey.rows / std::max(size.height, 1));
    if (factor < 2) {
        ResizeArea(grey, out, size);
        return;
    }
    cv::Mat& blocks = Work().blocks;
    const cv::Rect whole(0, 0, grey.cols / factor * factor, grey.rows / factor * factor);
    cv::resize(grey(whole), blocks, cv::Size(whole.width / factor, whole.height / factor), 0, 0,
               cv::INTER_AREA);
    ResizeArea(blocks, out, size);
}

}  // namespace

// cv::transpose of an 8-bit image, to the same pixels: 16 x 16 pixels at a
// time in SSE2 registers, three times as fast (an 800 x 600 page: 0.06
// against 0.16 ms).
void Transpose(const cv::Mat& src, cv::Mat& dst) {
    CV_Assert(src.type() == CV_8U && src.data != dst.data);
    dst.create(src.cols, src.rows, CV_8U);
    const int h = src.rows, w = src.cols;
    int y = 0;
#if defined(__SSE2__)
    for (; y + 16 <= h; y += 16) {
        int x = 0;
        for (; x + 16 <= w; x += 16) {
            __m128i r[16], t[16];
            for (int i = 0; i < 16; ++i)
                r[i] =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(src.ptr<uint8_t>(y + i) + x));
            // Rows interleaved by bytes, then by pairs, fours and eights.
            for (int i = 0; i < 8; ++i) {
                t[i] = _mm_unpacklo_epi8(r[2 * i], r[2 * i + 1]);
                t[i + 8] = _mm_unpackhi_epi8(r[2 * i], r[2 * i + 1]);
            }
            for (int i = 0; i < 4; ++i) {
                r[i] = _mm_unpacklo_epi16(t[2 * i], t[2 * i + 1]);
                r[i + 4] = _mm_unpackhi_epi16(t[2 * i], t[2 * i + 1]);
                r[i + 8] = _mm_unpacklo_epi16(t[8 + 2 * i], t[8 + 2 * i + 1]);
                r[i + 12] = _mm_unpackhi_epi16(t[8 + 2 * i], t[8 + 2 * i + 1]);
            }
            for (int q = 0; q < 4; ++q)
                for (int i = 0; i < 2; ++i) {
                    t[4 * q + i] = _mm_unpacklo_epi32(r[4 * q + 2 * i], r[4 * q + 2 * i + 1]);
                    t[4 * q + i + 2] = _mm_unpackhi_epi32(r[4 * q + 2 * i], r[4 * q + 2 * i + 1]);
                }
            for (int q = 0; q < 8; ++q) {
                r[2 * q] = _mm_unpacklo_epi64(t[2 * q], t[2 * q + 1]);
                r[2 * q + 1] = _mm_unpackhi_epi64(t[2 * q], t[2 * q + 1]);
            }
            for (int i = 0; i < 16; ++i)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst.ptr<uint8_t>(x + i) + y), r[i]);
        }
        for (; x < w; ++x)
            for (int i = 0; i < 16; ++i) dst.ptr<uint8_t>(x)[y + i] = src.ptr<uint8_t>(y + i)[x];
    }
#endif
    for (; y < h; ++y) {
        const uint8_t* s = src.ptr<uint8_t>(y);
        for (int x = 0; x < w; ++x) dst.ptr<uint8_t>(x)[y] = s[x];
    }
}

// cv::warpAffine(src, dst, forward, size, INTER_NEAREST) of an 8-bit image,
// paper (0) past its edges, to the same pixels: OpenCV's inverse map and
// its fixed-point source positions (10 fraction bits, rounded), without its
// maps in memory; 1.6 times as fast (an 800 x 600 page turned by 30
// degrees: 0.8 against 1.3 ms).
namespace {

// Pixels [from, to) of a row of TurnNearest, whose source pixels all lie on
// the source: pixel x at (x0 + ax[x], y0 + bx[x]) in 1/1024 of a pixel.
void TurnRun(const uint8_t* data, size_t step, int x0, int y0, const int* ax, const int* bx,
             int from, int to, uint8_t* o) {
    constexpr int kBits = 10;
    for (int x = from; x < to; ++x) {
        const int sx = (x0 + ax[x]) >> kBits, sy = (y0 + bx[x]) >> kBits;
        o[x] = data[size_t(sy) * step + size_t(sx)];
    }
}

// The same eight pixels at a time in AVX2 registers: each read as the last
// byte of the four that end at it (never past the source's end), where
// those start on the source.
__attribute__((target("avx2"))) void TurnRunAvx2(const uint8_t* data, size_t step, int x0, int y0,
                                                 const int* ax, const int* bx, int from, int to,
                                                 uint8_t* o) {
    constexpr int kBits = 10;
    const __m256i vx0 = _mm256_set1_epi32(x0), vy0 = _mm256_set1_epi32(y0);
    const __m256i vstep = _mm256_set1_epi32(int(step)), three = _mm256_set1_epi32(3);
    int x = from;
    for (; x + 8 <= to; x += 8) {
        const __m256i sx = _mm256_srai_epi32(
            _mm256_add_epi32(vx0, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ax + x))),
            kBits);
        const __m256i sy = _mm256_srai_epi32(
            _mm256_add_epi32(vy0, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bx + x))),
            kBits);
        const __m256i at =
            _mm256_sub_epi32(_mm256_add_epi32(_mm256_mullo_epi32(sy, vstep), sx), three);
        if (_mm256_movemask_ps(_mm256_castsi256_ps(at)) != 0) {  // a read before the source
            TurnRun(data, step, x0, y0, ax, bx, x, x + 8, o);
            continue;
        }
        const __m256i four = _mm256_i32gather_epi32(reinterpret_cast<const int*>(data), at, 1);
        const __m256i last = _mm256_srli_epi32(four, 24);
        const __m128i words =
            _mm_packus_epi32(_mm256_castsi256_si128(last), _mm256_extracti128_si256(last, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o + x), _mm_packus_epi16(words, words));
    }
    TurnRun(data, step, x0, y0, ax, bx, x, to, o);
}

}  // namespace

void TurnNearest(const cv::Mat& src, const cv::Mat& forward, cv::Size size, cv::Mat& dst) {
    CV_Assert(src.type() == CV_8U && forward.type() == CV_64F && src.data != dst.data);
    double m[6];
    for (int i = 0; i < 6; ++i) m[i] = forward.at<double>(i / 3, i % 3);
    double d = m[0] * m[4] - m[1] * m[3];
    d = d != 0 ? 1. / d : 0;
    const double a11 = m[4] * d, a22 = m[0] * d;
    m[0] = a11;
    m[1] *= -d;
    m[3] *= -d;
    m[4] = a22;
    const double b1 = -m[0] * m[2] - m[1] * m[5];
    const double b2 = -m[3] * m[2] - m[4] * m[5];
    m[2] = b1;
    m[5] = b2;
    constexpr int kBits = 10, kOne = 1 << kBits;
    std::vector<int> ax(size_t(std::max(size.width, 0))), bx(ax.size());
    for (int x = 0; x < size.width; ++x) {
        ax[size_t(x)] = int(std::lrint(m[0] * x * kOne));
        bx[size_t(x)] = int(std::lrint(m[3] * x * kOne));
    }
    dst.create(size, CV_8U);
    const unsigned w = unsigned(src.cols), h = unsigned(src.rows);
    // Each row's source origin, and the run of the row whose source pixels
    // lie on src: they move one way along a row, so that those on src are
    // consecutive. Paper either side of it.
    std::vector<cv::Vec4i> rows(size_t(std::max(size.height, 0)));
    for (int y = 0; y < size.height; ++y) {
        const int x0 = int(std::lrint((m[1] * y + m[2]) * kOne)) + kOne / 2;
        const int y0 = int(std::lrint((m[4] * y + m[5]) * kOne)) + kOne / 2;
        auto onSource = [&](int x) {
            return unsigned((x0 + ax[size_t(x)]) >> kBits) < w &&
                   unsigned((y0 + bx[size_t(x)]) >> kBits) < h;
        };
        int from = 0, to = size.width;
        while (from < to && !onSource(from)) ++from;
        while (to > from && !onSource(to - 1)) --to;
        uint8_t* o = dst.ptr<uint8_t>(y);
        std::memset(o, 0, size_t(from));
        std::memset(o + to, 0, size_t(size.width - to));
        rows[size_t(y)] = {x0, y0, from, to};
    }
    // The runs in strips of kStrip columns, row after row: the source pixels
    // of a strip's consecutive rows lie close together, and stay in cache
    // where whole rows, on a slant through src, would not. Finder pixels.
    constexpr int kStrip = 64;
    static const bool avx2 = __builtin_cpu_supports("avx2");
    // (The wide runs read src by 32-bit offsets.)
    const bool small = double(src.step) * double(src.rows) < double(INT32_MAX);
    const auto run = avx2 && small ? TurnRunAvx2 : TurnRun;
    for (int left = 0; left < size.width; left += kStrip) {
        for (int y = 0; y < size.height; ++y) {
            const cv::Vec4i& r = rows[size_t(y)];
            run(src.data, src.step, r[0], r[1], ax.data(), bx.data(), std::max(r[2], left),
                std::min(r[3], left + kStrip), dst.ptr<uint8_t>(y));
        }
    }
}

// The bands of a pass, within kMaxBandSine of its direction.
bool MayMakeBand(cv::Size box, float minLength) {
    return MayMakeBand(box, minLength, kMaxBandSine);
}

void CloseAndOpen(const cv::Mat& ink, int k, cv::Mat& dst) {
    std::vector<cv::Mat> each{dst};
    CloseAndOpen(ink, {k}, each);
    dst = each[0];
}

void CloseAndOpen(const cv::Mat& ink, const std::vector<int>& ks, std::vector<cv::Mat>& dst) {
    CV_Assert(ink.type() == CV_8U && ks.size() == dst.size());
    for (cv::Mat& d : dst) d.create(ink.size(), CV_8U);
    if (ink.empty()) return;
    WorkImages& work = Work();
    PackRows(ink, work.spanBits);
    int spanned = 1;
    for (size_t i = 0; i < ks.size(); ++i) {
        const int k = ks[i];
        CV_Assert(k >= 2 && k < 64 && k > spanned);
        CloseAndOpenNext(work, spanned, k);
        Unpack(work.openedBits, dst[i], 0, ink.rows, 0, ink.cols);
    }
}

size_t OuterContours(cv::Mat& framed, std::vector<std::vector<cv::Point>>& contours,
                     const cv::Rect& ink) {
    struct Store {
        CvMemStorage* memory = cvCreateMemStorage(0);
        ~Store() { cvReleaseMemStorage(&memory); }
    };
    thread_local Store store;
    cvClearMemStorage(store.memory);
    // The part of framed round ink, with its frame: the search scans every
    // pixel it is given, and finds the same contours, in the same order,
    // among the rows and columns that hold ink.
    const cv::Rect inside(0, 0, framed.cols - 2, framed.rows - 2);
    const cv::Rect box = ink.area() > 0 ? ink & inside : inside;
    CvMat image = cvMat(framed(cv::Rect(box.x, box.y, box.width + 2, box.height + 2)));
    CvSeq* first = nullptr;
    cvFindContours(&image, store.memory, &first, sizeof(CvContour), CV_RETR_CCOMP,
                   CV_CHAIN_APPROX_SIMPLE, cvPoint(box.x - 1, box.y - 1));
    size_t count = 0;
    for (const CvSeq* c = first; c != nullptr; c = c->h_next, ++count) {
        if (contours.size() <= count) contours.emplace_back();
        contours[count].resize(size_t(c->total));
        cvCvtSeqToArray(c, contours[count].data());
    }
    return count;
}

namespace {

// The size at which the finder looks at grey: its longer side kWorkSide,
// scaled by at most maxScale (into scale).
cv::Size WorkSize(const cv::Mat& grey, float maxScale, float& scale) {
    scale = std::min(maxScale, kWorkSide / float(std::max(grey.cols, grey.rows)));
    return {int(std::lround(float(grey.cols) * scale)), int(std::lround(float(grey.rows) * scale))};
}

// The ink (white) of grey at size: darker than its surroundings by offset
// grey levels. Where grey is shrunk, the thread's small page is marked into
// mark, and with reuse (that mark, of a shrink of the same grey) not shrunk
// again while the thread still holds it.
void InkAt(const cv::Mat& grey, cv::Size size, double offset, cv::Mat& ink,
           uint64_t* mark = nullptr, uint64_t reuse = 0, bool darkest = false) {
    const cv::Mat* page = &grey;
    if (size != grey.size()) {
        WorkImages& work = Work();
        if (reuse == 0 || work.smallMark != reuse || work.small.size() != size) {
            Shrink(grey, work.small, size);
            work.smallMark = ++shrinkMarks;
        }
        if (mark) *mark = work.smallMark;
        page = &work.small;
    }
    InkBelowMean(*page, 25, offset, ink);
    if (darkest) KeepDarkest(*page, kTextureDarkestSide, MrzLimits::kTextureDarkest, ink);
}

}  // namespace

FinderPage LookAt(const cv::Mat& grey) {
    FinderPage page;
    if (grey.empty()) return page;
    float scale = 0;
    const cv::Size size = WorkSize(grey, 2.0f, scale);
    // A page too thin to hold two lines once scaled holds no zone.
    if (std::min(size.width, size.height) < 8) return page;
    InkAt(grey, size, kInkOffset, page.ink, &page.shrunk);
    page.scale = scale;
    if (scale > kMaxTiltedScale)
        page.grey = grey;
    else
        page.tiltedInk = page.ink, page.tiltedScale = scale;
    return page;
}

FinderPage LookCloser(const cv::Mat& grey) {
    FinderPage page;
    const float longer = float(std::max(grey.cols, grey.rows));
    if (grey.empty() || longer < kCloserGain * kWorkSide) return page;
    const float scale = std::min(1.0f, kCloserSide / longer);
    const cv::Size size(int(std::lround(float(grey.cols) * scale)),
                        int(std::lround(float(grey.rows) * scale)));
    InkAt(grey, size, kInkOffset, page.ink);
    page.scale = page.tiltedScale = scale;
    page.tiltedInk = page.ink;
    page.followLeaning = true;
    // Bands as long, in the look's pixels, as the first look asks.
    page.minBandShare *= kWorkSide / float(std::max(size.width, size.height));
    return page;
}

FinderPage LookThroughTexture(const cv::Mat& grey) {
    return LookThroughTexture(grey, {});
}

FinderPage LookThroughTexture(const cv::Mat& grey, const FinderPage& look) {
    FinderPage page;
    if (grey.empty()) return page;
    // As the tilted passes, at most at the page's own size.
    float scale = 0;
    const cv::Size size = WorkSize(grey, kMaxTiltedScale, scale);
    // A line of 30 characters the opening below keeps must fit along the
    // page's longer side.
    if (std::min(size.width, size.height) < 8 ||
        float(std::max(size.width, size.height)) < 30 * kPitchPerHeight * kTextureMinCapitals)
        return page;
    InkAt(grey, size, kTextureInkOffset, page.ink, nullptr, look.shrunk, true);
    OpenTwoByTwo(page.ink, page.ink);
    page.scale = page.tiltedScale = scale;
    page.tiltedInk = page.ink;
    return page;
}

namespace {

// Whether candidate three, of three lines, holds two, of two: parallel, and
// two's centre inside three's lines, near the middle of their length.
bool Holds(const ZoneCandidate& three, const ZoneCandidate& two) {
    if (three.lines != 3 || std::abs(three.axis.dot(two.axis)) <= 0.99f) return false;
    const cv::Point2f d = two.center - three.center;
    const cv::Point2f across(-three.axis.y, three.axis.x);
    return std::abs(d.dot(across)) <= 0.5f * three.height &&
           std::abs(d.dot(three.axis)) <= 0.1f * three.length;
}

}  // namespace

std::vector<ZoneCandidate> FindZones(const FinderPage& page, size_t maxCount, bool turned,
                                     float tilt) {
    std::vector<ZoneCandidate> out;
    if (page.ink.empty()) return out;
    WorkImages& work = Work();
    if (tilt != 0 && page.tiltedInk.empty())
        InkAt(page.grey, WorkSize(page.grey, kMaxTiltedScale, page.tiltedScale), kInkOffset,
              page.tiltedInk);
    const float scale = tilt != 0 ? page.tiltedScale : page.scale;
    const cv::Mat* ink = tilt != 0 ? &page.tiltedInk : &page.ink;

    // A tilted pass looks at the page turned by the tilt about its centre.
    cv::Matx23f back = cv::Matx23f::eye();
    if (tilt != 0) {
        auto known = std::find_if(page.turned.begin(), page.turned.end(),
                                  [&](const FinderPage::Turned& t) { return t.tilt == tilt; });
        if (known == page.turned.end()) {
            FinderPage::Turned t;
            t.tilt = tilt;
            TurnInk(*ink, double(tilt), t.ink, t.back);
            page.turned.push_back(std::move(t));
            known = page.turned.end() - 1;
        }
        ink = &known->ink;
        back = known->back;
    }
    std::vector<ZoneCandidate> found;
    if (turned) Transpose(*ink, work.transposed);
    Candidates(turned ? work.transposed : *ink, kMinLineHeight * scale,
               page.minBandShare * float(std::max(ink->cols, ink->rows)), found,
               page.followLeaning);
    // Back to the page's pixels: the transposed ones swap x and y.
    for (ZoneCandidate z : found) {
        if (turned) {
            std::swap(z.center.x, z.center.y);
            std::swap(z.axis.x, z.axis.y);
        }
        MapBack(z, back);
        z.center /= scale;
        z.length /= scale, z.height /= scale, z.lineHeight /= scale;
        out.push_back(z);
    }
    std::stable_sort(out.begin(), out.end(), [](const ZoneCandidate& a, const ZoneCandidate& b) {
        return a.rank > b.rank;
    });
    // One candidate per place.
    std::vector<ZoneCandidate> kept;
    for (const ZoneCandidate& z : out) {
        bool same = false;
        for (const ZoneCandidate& k : kept) {
            const cv::Point2f d = z.center - k.center;
            same = same || (std::hypot(d.x, d.y) < 0.5f * k.lineHeight + 0.05f * k.length &&
                            z.lines == k.lines && std::abs(z.axis.dot(k.axis)) > 0.99f &&
                            std::abs(z.height - k.height) <
                                kSamePlaceHeight * std::max(z.height, k.height));
        }
        if (!same) kept.push_back(z);
        if (kept.size() >= 2 * maxCount) break;
    }
    // The three lines of a card's zone also make two candidates of two
    // lines (the first pair and the last), which may rank first; read as
    // two lines they fit no format, and the search pays a reading for
    // nothing. A candidate of three lines goes before any of two it holds.
    for (size_t i = 0; i < kept.size(); ++i) {
        if (kept[i].lines != 2) continue;
        for (size_t j = i + 1; j < kept.size(); ++j)
            if (Holds(kept[j], kept[i])) {
                std::rotate(kept.begin() + long(i), kept.begin() + long(j),
                            kept.begin() + long(j) + 1);
                break;
            }
    }
    if (kept.size() > maxCount) kept.resize(maxCount);
    return kept;
}

std::vector<ZoneCandidate> FindZones(const cv::Mat& grey, size_t maxCount, bool turned,
                                     float tilt) {
    return FindZones(LookAt(grey), maxCount, turned, tilt);
}

}  // namespace gw::mrz
