#include "barcode/scan/Scan.h"

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <numbers>
#include <unordered_map>

#include "barcode/scan/Runs.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace gw::barcodes {
namespace {

// Squares of kTile pixels that hold some contrast, or touch one that does;
// slanted lines sample only these and take the others as their mean level.
constexpr uint32_t kTile = 16;
// Lowest contrast (grey levels, highest minus lowest) of a square with ink.
constexpr int kTileContrast = 24;
// A square may hold bars when its edges run mostly one way: the coherence of
// its gradients ((a - b)^2 + 4c^2) / (a + b)^2 over their structure tensor
// [a c; c b], 0 for edges in every direction (noise, most print) and 1 for
// edges all one way, reaches this. Measured on the generated set of
// bench/make-barcode-set (seed 18, 24 images per kind; 3 of the photo kind
// made at the time) with bench_barcode_photos_bench: 0, 0.3, 0.5 and 0.7 read
// 254 of 267 alike and 0.85 lost a palette image; the in-call time of the A4
// page of text-like print was 171 ms (0), 107 ms (0.3), 95 ms (0.5), 26 ms
// (0.7), and tiled noise fell from 0.375 s per megapixel (0) to 0.002 (0.5).
// With all 22 images of the photo kind made, 0.3, 0.5 and 0.7 read 18 of
// them alike. 0.5 keeps a margin below the break: 0.7, the fastest, read one
// real 12-megapixel photo fewer in validation, a sign that the generated
// photos are still easier than real ones.
constexpr double kMinCoherence = 0.5;
// Samples kept around the squares that may hold bars, on each side of a
// piece of a line: room for the quiet zone and the first element (at least;
// squares whose edges were counted in a larger block keep that block's side).
constexpr size_t kGateMargin = 3 * kTile;
// The gradients of a square that may hold bars point across them, one of
// kAngleBins directions over half a turn. A line reads bars only when it runs
// within kMaxCrossAngle degrees of that direction (further off, it crosses
// too few of them before it leaves the symbol for even a partial read): the
// squares it passes at larger angles to their gradients are not read. On the
// generated sets (bench/make-barcode-set seed 18: the default kinds, tight
// with --count 60, close) 45 and 60 degrees read what no limit reads (261 of
// 272, 45 of 60, 8 of 8); 60 keeps the margin.
constexpr int kAngleBins = 8;
constexpr double kMaxCrossAngle = 60;
// A coherent square counts as bars only when the coherent squares of about
// its direction in a block around it cross at least kMinEdges edges (per
// row or column across the block, along the gradients): a lone straight edge
// (a box's side, a shadow, a stroke) crosses one or two at any size, bars
// many in a block some modules wide. Blocks of 3, 5, 9 and 17 squares a side
// (kBlockRadii) serve modules up to about 35 pixels. On the generated sets
// above, 3 and 4 read everything no count reads, 6 lost 7 of the tight kind
// and 8 also one of the small kind; on the real 12-megapixel photos 4 about
// halves the samples of line pieces read (0.35 to 0.67 million a photo,
// against 0.64 to 1.25 million with no count). 4 is the largest that keeps
// every generated read.
constexpr double kMinEdges = 4;
constexpr uint32_t kBlockRadii[] = {1, 2, 4, 8};
// Lines of one direction that read the same symbol, next to each other,
// after which the squares within their bars are not read again by lines of
// the other directions: the symbol has read, and lines across it at other
// angles read strips of it at best. Three, so that two lines that agree on a
// misreading cannot keep the others from outvoting them. On the generated
// sets of kMinEdges, 2 and 3 read what no limit reads; 3 halved the in-call
// time of the real Code 39 crops (code39-1 to -3: 9.1 to 4.5 ms).
constexpr size_t kDoneLines = 3;
// Largest step (pixels) between the lines read around a coarse line that
// read something.
constexpr int kEdgeStep = 2;
// Smallest spacing (pixels) of the coarse lines, which small pictures (short
// side below 64 pixels) would otherwise scan at every row: the lines around
// one that reads still come one pixel apart. On the generated sets of
// kMinEdges, 1 and 2 read alike (262 of 272, 45 of 60 tight, 8 of 8 close;
// the real sample 60 of 61), and 2 took the tight kind's in-call time from
// 17 to 10 ms.
constexpr int kMinSpacing = 2;
// Pictures whose short side is below this many pixels are read again
// without the gate of squares that may hold bars when the gated scan read
// nothing: a symbol cropped close is at most a few squares tall, and every
// square then holds the bars' top or bottom ends, whose edges run across the
// bars' and take the square's coherence below kMinCoherence. Lines across so
// small a picture cost little. On bench/make-barcode-set seed 18 (tight,
// --count 60) this read 48 of 60 against 46 (both more Code 128 crops 25 to
// 31 pixels tall), none wrong; the second scan of the crops that read
// nothing doubles the kind's in-call time (under half a millisecond a
// picture). Ungated from the start it read the same and also took the real
// small Code 39 crops (code39-2) from 0.8 to 1.03 of zxing-cpp's time.
constexpr int kUngatedSide = 64;
// Smallest swing (grey levels) between a peak and a valley that splits a
// blurred line into runs: an eighth of the piece's range, but at least this.
constexpr int kMinSwing = 12;
// Samples (a block, and one each side of it) within which a bar's paper and
// ink levels are taken when its width is measured by its ink: the same
// blocks as the threshold's.
constexpr int kInkRadius = 16;
// Where the thin-print split's threshold stands between the lowest and the
// highest level near a sample, in 256ths from the lowest (128 is the
// middle). On bench/make-barcode-set seed 18 (--kinds faint,tight --count
// 60, 2026-12-08) 166, 179, 192 and 205 read 92, 95, 92 and 92 of 120
// against 91 without the split; the 368 of --count 24 read 356 against 353;
// none wrong. A second split as far toward the ink (77, for bold print) read
// one more tight crop of the 120 and none of the 368, for a tenth more time.
constexpr int kThinPrintLevel = 179;

// Sums over a square's gradients (every other pixel each way, central
// differences at full resolution so that fine bars count): the structure
// tensor [a c; c b], and the absolute steps along the sampled rows (sx) and
// columns (sy), which add up to the contrast once per edge crossed.
struct Gradients {
    int64_t a = 0, b = 0, c = 0, sx = 0, sy = 0;
    // Whether the edges run mostly one way (see kMinCoherence).
    bool Coherent() const {
        const double sum = double(a + b), d = double(a - b);
        return sum > 0 && d * d + 4.0 * double(c) * double(c) >= kMinCoherence * sum * sum;
    }
    // The gradients' main direction, in [0, pi).
    double Angle() const {
        const double angle = 0.5 * std::atan2(2.0 * double(c), double(a - b));
        return angle < 0 ? angle + std::numbers::pi : angle;
    }
    // Its bin of kAngleBins.
    int Bin() const {
        return std::min(kAngleBins - 1, int(Angle() / std::numbers::pi * kAngleBins));
    }
};

// The gradients of the square [x0, x1) x [y0, y1) of g.
Gradients Measure(const GreyView& g, uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) {
    Gradients s;
    if (x0 >= 1 && y0 >= 1 && x1 == x0 + kTile && y1 == y0 + kTile && x1 < g.width &&
        y1 < g.height) {
        // A whole square inside the image: the same sums over a fixed count,
        // in 32 bits (each at most 64 samples of 255^2 or 2 * 255).
        int32_t a = 0, b = 0, c = 0, sx = 0, sy = 0;
#if defined(__SSE2__)
        // Eight samples of a row at once, widened to 16 bits: of 16 bytes
        // loaded from the square's first sample the even ones are the
        // samples and the odd ones their neighbours on the right; of 16
        // loaded from the pixel before, above and below it, the even ones
        // are the neighbours there. Squares sum in pairs to 32 bits; the
        // steps stay in 16 bits (at most 8 rows of 2 * 255 a lane).
        const __m128i even = _mm_set1_epi16(0x00FF);
        const auto step = [](__m128i p, __m128i q) {
            return _mm_sub_epi16(_mm_max_epi16(p, q), _mm_min_epi16(p, q));
        };
        __m128i a4 = _mm_setzero_si128(), b4 = a4, c4 = a4, sx8 = a4, sy8 = a4;
        for (uint32_t k = 0; k < kTile; k += 2) {
            const uint8_t* row = g.data + ptrdiff_t(y0 + k) * g.stride + x0;
            const auto load = [](const uint8_t* q) {
                return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
            };
            const __m128i here = load(row);
            const __m128i l = _mm_and_si128(load(row - 1), even), m = _mm_and_si128(here, even),
                          r = _mm_srli_epi16(here, 8);
            const __m128i u = _mm_and_si128(load(row - g.stride), even),
                          d = _mm_and_si128(load(row + g.stride), even);
            const __m128i gx = _mm_sub_epi16(r, l), gy = _mm_sub_epi16(d, u);
            a4 = _mm_add_epi32(a4, _mm_madd_epi16(gx, gx));
            b4 = _mm_add_epi32(b4, _mm_madd_epi16(gy, gy));
            c4 = _mm_add_epi32(c4, _mm_madd_epi16(gx, gy));
            sx8 = _mm_add_epi16(sx8, _mm_add_epi16(step(r, m), step(m, l)));
            sy8 = _mm_add_epi16(sy8, _mm_add_epi16(step(d, m), step(m, u)));
        }
        const __m128i ones = _mm_set1_epi16(1);
        const auto total = [](__m128i v) {
            v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4E));
            v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0xB1));
            return int32_t(_mm_cvtsi128_si32(v));
        };
        a = total(a4), b = total(b4), c = total(c4);
        sx = total(_mm_madd_epi16(sx8, ones)), sy = total(_mm_madd_epi16(sy8, ones));
#else
        for (uint32_t k = 0; k < kTile; k += 2) {
            const uint8_t* row = g.data + ptrdiff_t(y0 + k) * g.stride + x0;
            const uint8_t* up = row - g.stride;
            const uint8_t* down = row + g.stride;
            for (ptrdiff_t j = 0; j < ptrdiff_t(kTile); j += 2) {
                const int l = row[j - 1], m = row[j], r = row[j + 1], u = up[j], d = down[j];
                const int gx = r - l, gy = d - u;
                a += gx * gx, b += gy * gy, c += gx * gy;
                sx += std::abs(r - m) + std::abs(m - l);
                sy += std::abs(d - m) + std::abs(m - u);
            }
        }
#endif
        s.a = a, s.b = b, s.c = c, s.sx = sx, s.sy = sy;
        return s;
    }
    for (uint32_t y = std::max(1u, y0); y < std::min(g.height - 1, y1); y += 2) {
        const uint8_t* row = g.data + ptrdiff_t(y) * g.stride;
        const uint8_t* up = row - g.stride;
        const uint8_t* down = row + g.stride;
        for (uint32_t x = std::max(1u, x0); x < std::min(g.width - 1, x1); x += 2) {
            const int gx = int(row[x + 1]) - int(row[x - 1]), gy = int(down[x]) - int(up[x]);
            s.a += gx * gx, s.b += gy * gy, s.c += gx * gy;
            // Both steps of each pair, so that modules of one pixel count.
            s.sx +=
                std::abs(int(row[x + 1]) - int(row[x])) + std::abs(int(row[x]) - int(row[x - 1]));
            s.sy += std::abs(int(down[x]) - int(row[x])) + std::abs(int(row[x]) - int(up[x]));
        }
    }
    return s;
}

// Takes row's n pixels into the lowest, highest and sum of their columns.
// The pointers do not overlap, which lets the compiler widen the loop.
void AddRow(const uint8_t* __restrict row, uint32_t n, uint8_t* __restrict lo,
            uint8_t* __restrict hi, uint16_t* __restrict sum) {
    for (uint32_t x = 0; x < n; ++x) {
        const uint8_t v = row[x];
        lo[x] = v < lo[x] ? v : lo[x];
        hi[x] = v > hi[x] ? v : hi[x];
        sum[x] = uint16_t(sum[x] + v);
    }
}

struct Tiles {
    uint32_t columns = 0, rows = 0;
    std::vector<uint8_t> busy;  // per tile: 1 when it or a neighbour has contrast
    std::vector<uint8_t> mean;
    // Per tile: bit k set when it or a neighbour may hold bars whose
    // gradients point in direction bin k (angles k to k + 1 times 180 /
    // kAngleBins degrees from the x axis).
    std::vector<uint8_t> bars;
    // Per tile with bars: how many squares of a line beyond it to read, the
    // side of the block of squares in which its edges were counted: room for
    // a quiet zone, which grows with the modules.
    std::vector<uint8_t> reach;

    explicit Tiles(const GreyView& g) {
        columns = (g.width + kTile - 1) / kTile, rows = (g.height + kTile - 1) / kTile;
        const size_t count = size_t(columns) * rows;
        std::vector<uint8_t> lo(count, 255), hi(count, 0);
        mean.assign(count, 255);
        // Row by row, each pixel into the lowest, highest and sum of its
        // column within the band of kTile rows: element by element over the
        // row, which the compiler widens to whole vectors; each square then
        // takes its kTile columns once per band. With SSE2 the squares a
        // whole vector wide (all but a narrower last column) take each row's
        // kTile pixels at once instead, and only the rest go by columns.
#if defined(__SSE2__)
        static_assert(kTile == 16, "a square's row is one 16-byte vector");
        const uint32_t whole = g.width / kTile;
        struct Range {
            __m128i lo, hi, sum;  // per byte lowest and highest; sums of 8 bytes each half
        };
        std::vector<Range> squares(whole);
#else
        const uint32_t whole = 0;
#endif
        const uint32_t rest = whole * kTile;  // the first column taken by columns
        std::vector<uint8_t> columnLo(g.width), columnHi(g.width);
        std::vector<uint16_t> columnSum(g.width);  // at most kTile * 255
        for (uint32_t ty = 0; ty < rows; ++ty) {
            std::fill(columnLo.begin() + rest, columnLo.end(), 255);
            std::fill(columnHi.begin() + rest, columnHi.end(), 0);
            std::fill(columnSum.begin() + rest, columnSum.end(), 0);
            const uint32_t y1 = std::min(g.height, (ty + 1) * kTile);
            uint8_t* cl = columnLo.data();
            uint8_t* ch = columnHi.data();
            uint16_t* cs = columnSum.data();
            for (uint32_t y = ty * kTile; y < y1; ++y)
                AddRow(g.data + ptrdiff_t(y) * g.stride + rest, g.width - rest, cl + rest,
                       ch + rest, cs + rest);
#if defined(__SSE2__)
            const __m128i zero = _mm_setzero_si128();
            std::fill(squares.begin(), squares.end(), Range{_mm_set1_epi8(char(255)), zero, zero});
            for (uint32_t y = ty * kTile; y < y1; ++y) {
                const uint8_t* row = g.data + ptrdiff_t(y) * g.stride;
                for (uint32_t tx = 0; tx < whole; ++tx) {
                    const __m128i v =
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + tx * kTile));
                    Range& r = squares[tx];
                    r.lo = _mm_min_epu8(r.lo, v);
                    r.hi = _mm_max_epu8(r.hi, v);
                    r.sum = _mm_add_epi64(r.sum, _mm_sad_epu8(v, zero));
                }
            }
            // The lowest (highest) of 16 bytes: halves folded onto each other.
            const auto fold = [](__m128i v, auto pick) {
                v = pick(v, _mm_srli_si128(v, 8));
                v = pick(v, _mm_srli_si128(v, 4));
                v = pick(v, _mm_srli_si128(v, 2));
                v = pick(v, _mm_srli_si128(v, 1));
                return uint8_t(_mm_cvtsi128_si32(v));
            };
            const auto least = [](__m128i p, __m128i q) { return _mm_min_epu8(p, q); };
            const auto most = [](__m128i p, __m128i q) { return _mm_max_epu8(p, q); };
            for (uint32_t tx = 0; tx < whole; ++tx) {
                const __m128i sums = squares[tx].sum;
                const uint32_t sum = uint32_t(_mm_cvtsi128_si32(sums)) +
                                     uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
                const size_t at = size_t(ty) * columns + tx;
                lo[at] = fold(squares[tx].lo, least), hi[at] = fold(squares[tx].hi, most);
                mean[at] = uint8_t(sum / ((y1 - ty * kTile) * kTile));
            }
#endif
            for (uint32_t tx = whole; tx < columns; ++tx) {
                const uint32_t x0 = tx * kTile, x1 = std::min(g.width, x0 + kTile);
                uint8_t l = 255, h = 0;
                uint32_t sum = 0;
                for (uint32_t x = x0; x < x1; ++x)
                    l = std::min(l, cl[x]), h = std::max(h, ch[x]), sum += cs[x];
                const size_t at = size_t(ty) * columns + tx;
                lo[at] = l, hi[at] = h;
                mean[at] = uint8_t(sum / std::max(1u, (y1 - ty * kTile) * (x1 - x0)));
            }
        }
        // The coherent squares: their direction, and the edges their rows
        // and columns cross (in sixteenths, at most 16 lines of 16 steps,
        // each at most the contrast); per direction, their sums from the top
        // left corner, so that any block of squares sums at once (modulo
        // 2^32, exact for a block).
        std::vector<uint8_t> coherent(count, 0);  // 1 + bin, or 0
        const size_t stride = size_t(columns) + 1;
        std::vector<uint32_t> crossings(stride * (rows + 1) * kAngleBins, 0);
        for (uint32_t ty = 0; ty < rows; ++ty)
            for (uint32_t tx = 0; tx < columns; ++tx) {
                const size_t at = size_t(ty) * columns + tx;
                uint32_t* sum = crossings.data() + ((ty + 1) * stride + tx + 1) * kAngleBins;
                const uint32_t* up = sum - stride * kAngleBins;
                for (int k = 0; k < kAngleBins; ++k)
                    sum[k] = up[k] + sum[k - kAngleBins] - up[k - kAngleBins];
                if (hi[at] - lo[at] < kTileContrast) continue;
                const Gradients gr =
                    Measure(g, tx * kTile, ty * kTile, (tx + 1) * kTile, (ty + 1) * kTile);
                if (!gr.Coherent()) continue;
                const int bin = gr.Bin();
                coherent[at] = uint8_t(1 + bin);
                sum[bin] += uint32_t(std::lround(16.0 * double(gr.sx + gr.sy) / (hi[at] - lo[at])));
            }
        // A coherent square may hold bars when the coherent squares of about
        // its direction in a block around it, of one of several sizes, cross
        // many edges: a lone edge (a box's side, a shadow) is one at every
        // size, where bars of any module width give several in the block
        // that is some modules wide.
        std::vector<uint8_t> supported(count, 0);
        for (uint32_t ty = 0; ty < rows; ++ty)
            for (uint32_t tx = 0; tx < columns; ++tx) {
                const size_t at = size_t(ty) * columns + tx;
                if (!coherent[at]) continue;
                const int bin = coherent[at] - 1;
                const double angle = (bin + 0.5) * std::numbers::pi / kAngleBins;
                const double across = std::fabs(std::cos(angle)) + std::fabs(std::sin(angle));
                for (const uint32_t r : kBlockRadii) {
                    const uint32_t x0 = tx > r ? tx - r : 0, y0 = ty > r ? ty - r : 0;
                    const uint32_t x1 = std::min(columns, tx + r + 1),
                                   y1 = std::min(rows, ty + r + 1);
                    const auto corner = [&](uint32_t x, uint32_t y, int k) {
                        return crossings[(y * stride + x) * kAngleBins +
                                         size_t((k + kAngleBins) % kAngleBins)];
                    };
                    uint32_t sum = 0;
                    for (int k = bin - 1; k <= bin + 1; ++k)
                        sum += corner(x1, y1, k) - corner(x0, y1, k) - corner(x1, y0, k) +
                               corner(x0, y0, k);
                    // Every other row and column of the block's squares was
                    // summed: per row or column, edges across the block.
                    const double lines = double((x1 - x0) + (y1 - y0)) * kTile / 4;
                    if (double(sum) / 16 / lines / across >= kMinEdges) {
                        supported[at] = uint8_t(std::max<uint32_t>(kGateMargin / kTile, 2 * r + 1));
                        break;
                    }
                }
            }
        // Each square takes the contrast, bars and reach of the 3 x 3 around
        // it: of the three in its row first, then of those of the rows
        // above and below.
        std::vector<uint8_t> rowAny(count), rowBins(count), rowReach(count);
        for (uint32_t ty = 0; ty < rows; ++ty)
            for (uint32_t tx = 0; tx < columns; ++tx) {
                bool any = false;
                uint8_t bins = 0, most = 0;
                for (uint32_t x = tx > 0 ? tx - 1 : 0; x <= std::min(columns - 1, tx + 1); ++x) {
                    const size_t at = size_t(ty) * columns + x;
                    any |= hi[at] - lo[at] >= kTileContrast;
                    if (!supported[at]) continue;
                    bins |= uint8_t(1u << (coherent[at] - 1));
                    most = std::max(most, supported[at]);
                }
                const size_t at = size_t(ty) * columns + tx;
                rowAny[at] = any, rowBins[at] = bins, rowReach[at] = most;
            }
        busy.assign(count, 0);
        bars.assign(count, 0);
        reach.assign(count, 0);
        for (uint32_t ty = 0; ty < rows; ++ty)
            for (uint32_t y = ty > 0 ? ty - 1 : 0; y <= std::min(rows - 1, ty + 1); ++y)
                for (uint32_t tx = 0; tx < columns; ++tx) {
                    const size_t at = size_t(ty) * columns + tx, from = size_t(y) * columns + tx;
                    busy[at] |= rowAny[from];
                    bars[at] |= rowBins[from];
                    reach[at] = std::max(reach[at], rowReach[from]);
                }
    }
};

// Highest level of a profile minus its lowest (a plain loop, which the
// compiler widens).
int Range(const std::vector<uint8_t>& profile) {
    uint8_t lo = 255, hi = 0;
    for (const uint8_t v : profile) lo = std::min(lo, v), hi = std::max(hi, v);
    return hi - lo;
}

// One scan line: its direction and the normal offset of its centre.
struct LineScanner {
    LineScanner(const GreyView& g, const ScanSettings& s)
        : grey(g), settings(s), tiles(g), done(size_t(tiles.columns) * tiles.rows, 0) {}
    const GreyView& grey;
    const ScanSettings& settings;
    const Tiles tiles;
    float dx = 1, dy = 0;
    std::vector<uint8_t> profile, piece, sharp;
    std::vector<size_t> extremes;    // of piece, shared by its two splits at them
    std::vector<uint8_t> wanted;     // per chunk of kTile samples: read it
    std::vector<size_t> wantedEnds;  // per chunk: the end of the stretch to read from it
    std::vector<size_t> chunkTiles;  // per chunk: the square of its middle sample
    std::vector<uint8_t> done;       // per tile: within a symbol read already
    Runs runs, reversed;
    RunsWork work;
    std::vector<float> widths;  // of runs or reversed, reused from line to line
    std::vector<LineRead> reads;

    // Places the line through (cx, cy): its first sample and its length;
    // false when it misses the image or is too short to hold a symbol.
    bool Place(float cx, float cy, Point& origin, size_t& n) {
        const float w = float(grey.width), h = float(grey.height);
        float t0 = -1e9f, t1 = 1e9f;
        const auto slab = [&](float c, float d, float limit) {
            if (std::fabs(d) < 1e-6f) return c >= 0 && c <= limit;
            float a = (0 - c) / d, b = (limit - c) / d;
            if (a > b) std::swap(a, b);
            t0 = std::max(t0, a), t1 = std::min(t1, b);
            return true;
        };
        // A slanted line keeps a pixel from the right and bottom borders, for
        // the second sample of its interpolation.
        const bool straight = dx == 0 || dy == 0;
        if (!straight && (grey.width < 2 || grey.height < 2)) return false;
        const float right = straight ? w - 1 : w - 2, bottom = straight ? h - 1 : h - 2;
        if (!slab(cx, dx, right) || !slab(cy, dy, bottom)) return false;
        t0 = std::ceil(t0 - 1e-3f);
        if (t1 - t0 < 16) return false;
        n = size_t(t1 - t0) + 1;
        origin = {cx + t0 * dx, cy + t0 * dy};
        return true;
    }

    // The direction bins of bars that the line, running (dx, dy), may read;
    // kept while the direction stays (every line of one direction asks).
    float crossedDx = 0, crossedDy = 0;
    uint8_t crossedBins = 0;
    uint8_t CrossedBins() {
        if (dx == crossedDx && dy == crossedDy && crossedBins != 0) return crossedBins;
        crossedDx = dx, crossedDy = dy;
        double line = std::atan2(double(dy), double(dx));
        if (line < 0) line += std::numbers::pi;
        uint8_t bins = 0;
        for (int k = 0; k < kAngleBins; ++k) {
            // The bin's angle nearest the line's, half a turn taken as none.
            const double from = k * std::numbers::pi / kAngleBins;
            const double to = (k + 1) * std::numbers::pi / kAngleBins;
            double off = line < from ? from - line : line > to ? line - to : 0;
            off = std::min(
                off, std::numbers::pi - std::max(std::fabs(line - from), std::fabs(line - to)));
            if (off * 180 / std::numbers::pi <= kMaxCrossAngle) bins |= uint8_t(1u << k);
        }
        crossedBins = bins;
        return bins;
    }

    // Marks the chunks of kTile samples of the line from origin to read:
    // with the gate on, those within reach (kGateMargin samples or more) of a
    // square that may hold bars the line crosses; all of them otherwise.
    // False when none is.
    bool Want(Point origin, size_t n) {
        const size_t chunks = (n + kTile - 1) / kTile;
        wanted.assign(chunks, settings.gate ? 0 : 1);
        if (!settings.gate) return true;
        const uint8_t crossed = CrossedBins();
        // The chunks within reach of a square with bars: per chunk, the end
        // of the furthest such stretch that starts there.
        wantedEnds.assign(chunks, 0);
        chunkTiles.resize(chunks);
        bool any = false;
        for (size_t c = 0; c < chunks; ++c) {
            const float at = float(c * kTile + kTile / 2);
            const float px = origin.x + at * dx, py = origin.y + at * dy;
            const uint32_t tx = uint32_t(std::clamp(px, 0.0f, float(grey.width - 1))) / kTile;
            const uint32_t ty = uint32_t(std::clamp(py, 0.0f, float(grey.height - 1))) / kTile;
            const size_t tile = size_t(ty) * tiles.columns + tx;
            chunkTiles[c] = tile;
            if (!(tiles.bars[tile] & crossed)) continue;
            const size_t reach = tiles.reach[tile];
            any = true;
            size_t& end = wantedEnds[c > reach ? c - reach : 0];
            end = std::max(end, std::min(chunks, c + reach + 1));
        }
        if (!any) return false;
        any = false;
        for (size_t c = 0, until = 0; c < chunks; ++c) {
            until = std::max(until, wantedEnds[c]);
            if (c >= until) continue;
            wanted[c] = !done[chunkTiles[c]];
            any |= wanted[c] != 0;
        }
        return any;
    }

    // Marks the squares within the bars of every symbol that kDoneLines or
    // more of hits[from...], lines of this scanner's direction each at most
    // gap pixels from the next, read alike.
    void MarkDone(const std::vector<LineHit>& hits, size_t from, float gap) {
        std::vector<const LineHit*> mine;
        for (size_t i = from; i < hits.size(); ++i) mine.push_back(&hits[i]);
        // Offset across the lines, then the reading.
        const auto across = [&](const LineHit* h) {
            return (h->start.x + h->end.x) / 2 * -dy + (h->start.y + h->end.y) / 2 * dx;
        };
        std::sort(mine.begin(), mine.end(),
                  [&](const LineHit* a, const LineHit* b) { return across(a) < across(b); });
        std::vector<char> used(mine.size(), 0);
        for (size_t i = 0; i < mine.size(); ++i) {
            if (used[i]) continue;
            const LineRead& r = mine[i]->read;
            std::vector<const LineHit*> run{mine[i]};
            used[i] = 1;
            for (size_t j = i + 1; j < mine.size() && across(mine[j]) - across(run.back()) <= gap;
                 ++j) {
                const LineRead& o = mine[j]->read;
                if (used[j] || o.code128 != r.code128 || o.characters != r.characters ||
                    o.values != r.values)
                    continue;
                run.push_back(mine[j]);
                used[j] = 1;
            }
            if (run.size() < kDoneLines) continue;
            float u0 = 1e30f, u1 = -1e30f;
            for (const LineHit* h : run)
                for (const Point p : {h->start, h->end}) {
                    const float u = p.x * dx + p.y * dy;
                    u0 = std::min(u0, u), u1 = std::max(u1, u);
                }
            const float v0 = across(run.front()), v1 = across(run.back());
            // The squares whose centres lie within, found over the box of the
            // region's corners.
            float x0 = 1e30f, x1 = -1e30f, y0 = 1e30f, y1 = -1e30f;
            for (const float u : {u0, u1})
                for (const float v : {v0, v1}) {
                    const float x = u * dx - v * dy, y = u * dy + v * dx;
                    x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y),
                    y1 = std::max(y1, y);
                }
            const auto tile = [](float v, uint32_t n) {
                return uint32_t(std::clamp(v / float(kTile), 0.0f, float(n - 1)));
            };
            for (uint32_t ty = tile(y0, tiles.rows); ty <= tile(y1, tiles.rows); ++ty)
                for (uint32_t tx = tile(x0, tiles.columns); tx <= tile(x1, tiles.columns); ++tx) {
                    const float cx = (float(tx) + 0.5f) * kTile, cy = (float(ty) + 0.5f) * kTile;
                    const float u = cx * dx + cy * dy, v = cx * -dy + cy * dx;
                    if (u >= u0 && u <= u1 && v >= v0 && v <= v1)
                        done[size_t(ty) * tiles.columns + tx] = 1;
                }
        }
    }

    // Samples the wanted chunks of the line from origin into profile.
    void Sample(Point origin, size_t n) {
        profile.resize(n);
        const bool straight = dx == 0 || dy == 0;
        const uint8_t* px = grey.data;
        const ptrdiff_t stride = grey.stride;
        if (straight) {  // along a row or a column: no interpolation
            const size_t x = size_t(std::lround(origin.x)), y = size_t(std::lround(origin.y));
            const uint8_t* p = px + ptrdiff_t(y) * stride + ptrdiff_t(x);
            if (dy == 0) {
                for (size_t i = 0; i < n; i += kTile)
                    if (wanted[i / kTile])
                        std::copy(p + i, p + std::min(n, i + kTile), profile.begin() + long(i));
                return;
            }
            for (size_t i = 0; i < n; i += kTile) {
                const size_t end = std::min(n, i + kTile);
                if (!wanted[i / kTile]) continue;
                const size_t tile = (y + i) / kTile * tiles.columns + x / kTile;
                if (!tiles.busy[tile]) {
                    std::fill(profile.begin() + long(i), profile.begin() + long(end),
                              tiles.mean[tile]);
                    continue;
                }
                for (size_t j = i; j < end; ++j) profile[j] = p[ptrdiff_t(j) * stride];
            }
            return;
        }
        // Bilinear, in 16-bit fixed point stepped along the line.
        int64_t x = std::llround(double(origin.x) * 65536),
                y = std::llround(double(origin.y) * 65536);
        const int64_t sx = std::llround(double(dx) * 65536), sy = std::llround(double(dy) * 65536);
        const int64_t maxX = int64_t(grey.width - 2) << 16, maxY = int64_t(grey.height - 2) << 16;
        uint8_t* out = profile.data();
        for (size_t i0 = 0; i0 < n; i0 += kTile) {
            const size_t end = std::min(n, i0 + kTile);
            if (!wanted[i0 / kTile]) {  // a chunk not read is skipped
                x += sx * int64_t(end - i0), y += sy * int64_t(end - i0);
                continue;
            }
            // A quiet tile (that of the chunk's first sample) is filled with
            // its mean level.
            const size_t tile =
                size_t(std::clamp<int64_t>(y, 0, maxY) >> 16) / kTile * tiles.columns +
                size_t(std::clamp<int64_t>(x, 0, maxX) >> 16) / kTile;
            if (!tiles.busy[tile]) {
                std::fill(out + i0, out + end, tiles.mean[tile]);
                x += sx * int64_t(end - i0), y += sy * int64_t(end - i0);
                continue;
            }
            for (size_t i = i0; i < end; ++i, x += sx, y += sy) {
                const int64_t cx16 = std::clamp<int64_t>(x, 0, maxX),
                              cy16 = std::clamp<int64_t>(y, 0, maxY);
                const uint32_t fx = uint32_t(cx16 & 0xFFFF) >> 8, fy = uint32_t(cy16 & 0xFFFF) >> 8;
                const uint8_t* q = px + ptrdiff_t(cy16 >> 16) * stride + ptrdiff_t(cx16 >> 16);
                const uint32_t top = q[0] * (256 - fx) + q[1] * fx;
                const uint32_t low = q[stride] * (256 - fx) + q[stride + 1] * fx;
                out[i] = uint8_t((top * (256 - fy) + low * fy + 32768) >> 16);
            }
        }
    }

    // Reads the runs both ways.
    void Decode(Point o, std::vector<LineHit>& hits, std::vector<LineHit>& partial) {
        runs.Reversed(reversed);
        const float length = runs.edges.back();
        for (int way = 0; way < 2; ++way) {
            reads.clear();
            const Runs& r = way == 0 ? runs : reversed;
            r.Widths(widths);
            if (settings.code39) ReadCode39Line(r, widths, reads);
            if (settings.code128) ReadCode128Line(r, widths, reads);
            for (LineRead& read : reads) {
                const float a = way == 0 ? read.start : length - read.start;
                const float b = way == 0 ? read.end : length - read.end;
                auto& to = read.complete ? hits : partial;
                to.push_back(
                    {std::move(read), {o.x + a * dx, o.y + a * dy}, {o.x + b * dx, o.y + b * dy}});
            }
        }
    }

    // Reads the line at offset s from the image centre.
    bool Scan(int s, std::vector<LineHit>& hits, std::vector<LineHit>& partial) {
        const float cx = float(grey.width / 2) + float(s) * -dy;
        const float cy = float(grey.height / 2) + float(s) * dx;
        return Scan(cx, cy, hits, partial);
    }

    // Reads the line through (cx, cy) both ways; returns whether anything was
    // read. Reads that broke off go to partial. With the gate on, only the
    // pieces of the line near squares that may hold bars are read.
    bool Scan(float cx, float cy, std::vector<LineHit>& hits, std::vector<LineHit>& partial) {
        Point o;
        size_t n = 0;
        if (!Place(cx, cy, o, n) || !Want(o, n)) return false;
        Sample(o, n);
        bool any = false;
        for (size_t c = 0; c < wanted.size();) {  // each run of wanted chunks is a piece
            if (!wanted[c]) {
                ++c;
                continue;
            }
            size_t e = c;
            while (e < wanted.size() && wanted[e]) ++e;
            any |= ReadPiece(o, c * kTile, std::min(n, e * kTile), hits, partial);
            c = e;
        }
        return any;
    }

    // Reads samples [a, b) of the profile as a line of its own.
    bool ReadPiece(Point o, size_t a, size_t b, std::vector<LineHit>& hits,
                   std::vector<LineHit>& partial) {
        if (b - a < 16) return false;
        piece.assign(profile.begin() + ptrdiff_t(a), profile.begin() + ptrdiff_t(b));
        const int range = Range(piece);
        if (range < kTileContrast) return false;
        const Point from{o.x + float(a) * dx, o.y + float(a) * dy};
        const auto cut = [&] { runs.cutStart = a > 0, runs.cutEnd = b < profile.size(); };
        FindRuns(piece, 16, std::max(20, range / 4), runs, work);
        cut();
        if (runs.Count() < 20) return false;
        const size_t before = hits.size();
        Decode(from, hits, partial);
        // Heavy blur leaves narrow elements short of the threshold: a line
        // that read nothing is split again at its alternating peaks and valleys.
        if (hits.size() > before) return true;
        FindExtremes(piece, std::max(kMinSwing, range / 8), extremes);
        FindRunsByExtrema(piece, extremes, runs);
        cut();
        // The split by ink has a bar per valley of these peaks and valleys:
        // at most two runs more than this one.
        const size_t swings = runs.Count();
        if (swings >= 20) Decode(from, hits, partial);
        // The splits below are tried in turn, each while the line has read
        // nothing yet and has the swings of a symbol: split makes the
        // runs, decoded where there are enough of them.
        const auto tryNext = [&](auto split) {
            if (hits.size() != before || swings + 2 < 20) return;
            split();
            cut();
            if (runs.Count() >= 20) Decode(from, hits, partial);
        };
        // Thin print under blur leaves narrow bars faint: both splits measure
        // them too narrow or too wide where the contrast near them changes.
        // Their ink keeps their width (the faint kind of bench/make-barcode-set,
        // --count 60: 42 of 60 read with this pass, 36 without; none wrong).
        tryNext([&] { FindRunsByInk(piece, extremes, kInkRadius, runs, work); });
        // Thin print leaves narrow bars so faint that a threshold midway
        // between paper and ink passes under them: a threshold nearer the
        // paper crosses them, and the edge-to-edge distances the decoders
        // judge by cancel the bars' narrowing.
        tryNext([&] {
            FindRuns(piece, 16, std::max(20, range / 4), runs, work, false, kThinPrintLevel);
        });
        // Blur wider than about 0.7 modules leaves narrow elements as swings
        // too shallow for any split: the line sharpened (an unsharp mask)
        // has them back. Its runs are split at the threshold alone: the dip
        // search on the sharpened line read 3 more faint symbols of 368 but
        // took the real sample's in-call time up by half, against a tenth.
        tryNext([&] {
            Sharpen(piece, sharp);
            FindRuns(sharp, 16, std::max(20, Range(sharp) / 4), runs, work, false);
        });
        return hits.size() > before;
    }
};

bool Stop(Deadline* deadline) {
    return deadline != nullptr && deadline->expired();
}

// Searches around partial reads per call: a base and a part per megapixel.
// The generated set of bench/make-barcode-set (seed 18, with kMinCoherence
// 0.7) uses at most 10 on one image; tiled noise offered tens of thousands
// before lines were gated.
constexpr size_t kSeedSearchesBase = 96;
constexpr double kSeedSearchesPerMegapixel = 24;

// Starts already searched around, bucketed by 12-pixel cells so that a look-up
// costs the same however many there are.
class TriedStarts {
  public:
    bool Near(Point p) const {
        const int64_t cx = Cell(p.x), cy = Cell(p.y);
        for (int64_t y = cy - 1; y <= cy + 1; ++y)
            for (int64_t x = cx - 1; x <= cx + 1; ++x) {
                const auto it = cells_.find(Key(x, y));
                if (it == cells_.end()) continue;
                for (const Point q : it->second)
                    if (std::fabs(q.x - p.x) + std::fabs(q.y - p.y) < kNear) return true;
            }
        return false;
    }
    void Add(Point p) { cells_[Key(Cell(p.x), Cell(p.y))].push_back(p); }

  private:
    static constexpr float kNear = 12;  // pixels, city-block distance
    static int64_t Cell(float v) { return int64_t(std::floor(v / kNear)); }
    static uint64_t Key(int64_t x, int64_t y) {
        return uint64_t(x) * 0x9E3779B97F4A7C15ull ^ uint64_t(y);
    }
    std::unordered_map<uint64_t, std::vector<Point>> cells_;
};

}  // namespace

namespace {

std::vector<LineHit> ScanOnce(const GreyView& grey, const ScanSettings& settings,
                              Deadline* deadline) {
    std::vector<LineHit> hits, partial;
    if (std::max(grey.width, grey.height) < 16) return hits;
    const int shortSide = int(std::min(grey.width, grey.height));
    const int spacing = std::clamp(shortSide / std::max(1, settings.divisions),
                                   std::min(kMinSpacing, settings.maxSpacing), settings.maxSpacing);
    LineScanner line{grey, settings};
    for (int k = 0; k < settings.directions; ++k) {
        // Exact steps for rows and columns, so that they need no interpolation.
        const int quarter = settings.directions / 2;
        if (settings.directions % 2 == 0 && k == quarter) {
            line.dx = 0, line.dy = 1;
        } else if (k == 0) {
            line.dx = 1, line.dy = 0;
        } else {
            const double a = std::numbers::pi * double(k) / double(settings.directions);
            line.dx = float(std::cos(a)), line.dy = float(std::sin(a));
        }
        const float extent =
            std::fabs(line.dy) * float(grey.width) + std::fabs(line.dx) * float(grey.height);
        const int half = int(std::ceil(extent / 2)) + 1;
        std::vector<char> done(size_t(2 * half + 1), 0);
        const auto scan = [&](int s) {
            if (s < -half || s > half || done[size_t(s + half)] || Stop(deadline)) return false;
            done[size_t(s + half)] = 1;
            return line.Scan(s, hits, partial);
        };
        // The lines between a line that read something and its neighbour are
        // read too, unless that neighbour read something as well: between two
        // such lines the bars have read already, and the lines at the edges
        // of a symbol find its full height.
        // At most kEdgeStep pixels apart, so that a symbol's box finds its
        // edges as closely however far apart the coarse lines are.
        const int step = std::clamp(spacing / 3, 1, kEdgeStep);
        const size_t first = hits.size();
        std::vector<int> coarse;
        std::vector<char> readAt;
        for (int s = -half + spacing / 2; s <= half; s += spacing)
            coarse.push_back(s), readAt.push_back(scan(s));
        for (size_t i = 0; i < coarse.size(); ++i) {
            if (!readAt[i]) continue;
            if (i == 0 || !readAt[i - 1])
                for (int d = step; d < spacing; d += step) scan(coarse[i] - d);
            if (i + 1 == coarse.size() || !readAt[i + 1])
                for (int d = step; d < spacing; d += step) scan(coarse[i] + d);
        }
        if (settings.gate) line.MarkDone(hits, first, float(spacing) + 0.5f);
    }
    // A symbol between the directions shows as reads that break off where the
    // line leaves its bars: lines through their start at angles around theirs
    // follow the symbol's own direction.
    // Texture (noise, print patterns) gives many such starts: they are tried
    // at most a fixed number per megapixel, so that the search costs no more
    // than the scan itself.
    std::vector<LineHit> seeds = std::move(partial), unused;
    const double megapixels = double(grey.width) * double(grey.height) / 1e6;
    const size_t maxSearches = kSeedSearchesBase + size_t(kSeedSearchesPerMegapixel * megapixels);
    size_t searches = 0;
    TriedStarts tried;
    const double reach = 90.0 / settings.directions + 3;
    const size_t complete = hits.size();
    for (const LineHit& seed : seeds) {
        if (searches >= maxSearches || Stop(deadline)) break;
        const bool near = tried.Near(seed.start);
        // A start on the start edge of a symbol already read needs no search.
        const bool read =
            std::any_of(hits.begin(), hits.begin() + long(complete), [&](const LineHit& h) {
                const float lx = h.end.x - h.start.x, ly = h.end.y - h.start.y;
                const float length = std::hypot(lx, ly);
                const float px = seed.start.x - h.start.x, py = seed.start.y - h.start.y;
                const float along = (px * lx + py * ly) / length,
                            across = (px * ly - py * lx) / length;
                return std::fabs(along) < 0.05f * length && std::fabs(across) < 0.5f * length;
            });
        if (near || read) continue;
        tried.Add(seed.start);
        ++searches;
        const double base = std::atan2(seed.end.y - seed.start.y, seed.end.x - seed.start.x);
        for (double delta = 3; delta <= reach; delta += 3) {
            for (const double sign : {-1.0, 1.0}) {
                const double a = base + sign * delta * std::numbers::pi / 180;
                line.dx = float(std::cos(a)), line.dy = float(std::sin(a));
                line.Scan(seed.start.x + line.dx * 4, seed.start.y + line.dy * 4, hits, unused);
            }
        }
    }
    return hits;
}

}  // namespace

std::vector<LineHit> ScanImage(const GreyView& grey, const ScanSettings& settings,
                               Deadline* deadline) {
    std::vector<LineHit> hits = ScanOnce(grey, settings, deadline);
    if (!hits.empty() || !settings.gate || std::min(grey.width, grey.height) >= kUngatedSide)
        return hits;
    ScanSettings ungated = settings;
    ungated.gate = false;
    return ScanOnce(grey, ungated, deadline);
}

}  // namespace gw::barcodes
