#include "barcode/scan/Scan.h"

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <numbers>
#include <unordered_map>

#include "barcode/scan/Runs.h"

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
// piece of a line: room for the quiet zone and the first element.
constexpr size_t kGateMargin = 3 * kTile;
// Smallest swing (grey levels) between a peak and a valley that splits a
// blurred line into runs: an eighth of the piece's range, but at least this.
constexpr int kMinSwing = 12;

struct Tiles {
    uint32_t columns = 0, rows = 0;
    std::vector<uint8_t> busy;  // per tile: 1 when it or a neighbour has contrast
    std::vector<uint8_t> mean;
    std::vector<uint8_t> bars;  // per tile: 1 when it or a neighbour may hold bars

    // Whether the square's gradients (every other pixel each way, central
    // differences at full resolution so that fine bars count) run one way.
    static bool Coherent(const GreyView& g, uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) {
        int64_t a = 0, b = 0, c = 0;
        for (uint32_t y = std::max(1u, y0); y < std::min(g.height - 1, y1); y += 2) {
            const uint8_t* row = g.data + ptrdiff_t(y) * g.stride;
            const uint8_t* up = row - g.stride;
            const uint8_t* down = row + g.stride;
            for (uint32_t x = std::max(1u, x0); x < std::min(g.width - 1, x1); x += 2) {
                const int gx = int(row[x + 1]) - int(row[x - 1]), gy = int(down[x]) - int(up[x]);
                a += gx * gx, b += gy * gy, c += gx * gy;
            }
        }
        const double sum = double(a + b);
        if (sum <= 0) return false;
        const double d = double(a - b);
        return d * d + 4.0 * double(c) * double(c) >= kMinCoherence * sum * sum;
    }

    explicit Tiles(const GreyView& g) {
        columns = (g.width + kTile - 1) / kTile, rows = (g.height + kTile - 1) / kTile;
        std::vector<uint8_t> contrast(size_t(columns) * rows, 0);
        mean.assign(contrast.size(), 255);
        // Row by row, each row's squares of kTile bytes at a time, so that the
        // inner loops run over a fixed count the compiler can widen.
        std::vector<uint8_t> lo(columns), hi(columns);
        std::vector<uint32_t> sum(columns);
        const uint32_t whole = g.width / kTile;  // squares of full width
        for (uint32_t ty = 0; ty < rows; ++ty) {
            std::fill(lo.begin(), lo.end(), 255), std::fill(hi.begin(), hi.end(), 0);
            std::fill(sum.begin(), sum.end(), 0);
            const uint32_t y1 = std::min(g.height, (ty + 1) * kTile);
            for (uint32_t y = ty * kTile; y < y1; ++y) {
                const uint8_t* row = g.data + ptrdiff_t(y) * g.stride;
                for (uint32_t tx = 0; tx < whole; ++tx) {
                    const uint8_t* p = row + size_t(tx) * kTile;
                    uint8_t l = 255, h = 0;
                    uint32_t t = 0;
                    for (uint32_t k = 0; k < kTile; ++k) l = p[k] < l ? p[k] : l;
                    for (uint32_t k = 0; k < kTile; ++k) h = p[k] > h ? p[k] : h;
                    for (uint32_t k = 0; k < kTile; ++k) t += p[k];
                    lo[tx] = std::min(lo[tx], l), hi[tx] = std::max(hi[tx], h), sum[tx] += t;
                }
                for (uint32_t x = whole * kTile; x < g.width; ++x)
                    lo[whole] = std::min(lo[whole], row[x]),
                    hi[whole] = std::max(hi[whole], row[x]), sum[whole] += row[x];
            }
            for (uint32_t tx = 0; tx < columns; ++tx) {
                const uint32_t count =
                    (y1 - ty * kTile) * (std::min(g.width, (tx + 1) * kTile) - tx * kTile);
                const size_t at = size_t(ty) * columns + tx;
                mean[at] = uint8_t(sum[tx] / std::max(1u, count));
                contrast[at] =
                    hi[tx] - lo[tx] < kTileContrast                                           ? 0
                    : Coherent(g, tx * kTile, ty * kTile, (tx + 1) * kTile, (ty + 1) * kTile) ? 2
                                                                                              : 1;
            }
        }
        busy.assign(contrast.size(), 0);
        bars.assign(contrast.size(), 0);
        for (uint32_t ty = 0; ty < rows; ++ty)
            for (uint32_t tx = 0; tx < columns; ++tx) {
                bool any = false, coherent = false;
                for (uint32_t y = ty > 0 ? ty - 1 : 0; y <= std::min(rows - 1, ty + 1); ++y)
                    for (uint32_t x = tx > 0 ? tx - 1 : 0; x <= std::min(columns - 1, tx + 1);
                         ++x) {
                        any |= contrast[size_t(y) * columns + x] != 0;
                        coherent |= contrast[size_t(y) * columns + x] == 2;
                    }
                busy[size_t(ty) * columns + tx] = any;
                bars[size_t(ty) * columns + tx] = coherent;
            }
    }
};

// One scan line: its direction and the normal offset of its centre.
struct LineScanner {
    LineScanner(const GreyView& g, const ScanSettings& s) : grey(g), settings(s), tiles(g) {}
    const GreyView& grey;
    const ScanSettings& settings;
    const Tiles tiles;
    float dx = 1, dy = 0;
    std::vector<uint8_t> profile, piece;
    std::vector<uint8_t> wanted;  // per chunk of kTile samples: read it
    Runs runs, reversed;
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

    // Marks the chunks of kTile samples of the line from origin to read:
    // with the gate on, those within kGateMargin samples of a square that may
    // hold bars; all of them otherwise. False when none is.
    bool Want(Point origin, size_t n) {
        const size_t chunks = (n + kTile - 1) / kTile;
        wanted.assign(chunks, settings.gate ? 0 : 1);
        if (!settings.gate) return true;
        constexpr size_t reach = kGateMargin / kTile;
        bool any = false;
        for (size_t c = 0; c < chunks; ++c) {
            const float at = float(c * kTile + kTile / 2);
            const float px = origin.x + at * dx, py = origin.y + at * dy;
            const uint32_t tx = uint32_t(std::clamp(px, 0.0f, float(grey.width - 1))) / kTile;
            const uint32_t ty = uint32_t(std::clamp(py, 0.0f, float(grey.height - 1))) / kTile;
            if (!tiles.bars[size_t(ty) * tiles.columns + tx]) continue;
            any = true;
            for (size_t k = c > reach ? c - reach : 0; k <= std::min(chunks - 1, c + reach); ++k)
                wanted[k] = 1;
        }
        return any;
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
        for (size_t i = 0; i < n; ++i, x += sx, y += sy) {
            const int64_t cx16 = std::clamp<int64_t>(x, 0, maxX),
                          cy16 = std::clamp<int64_t>(y, 0, maxY);
            if (i % kTile == 0 && !wanted[i / kTile]) {  // a chunk not read is skipped
                const size_t end = std::min(n, i + kTile);
                x += sx * int64_t(end - i - 1), y += sy * int64_t(end - i - 1);
                i = end - 1;
                continue;
            }
            if (i % kTile == 0) {  // a quiet tile is filled with its mean level
                const size_t tile =
                    size_t(cy16 >> 16) / kTile * tiles.columns + size_t(cx16 >> 16) / kTile;
                if (!tiles.busy[tile]) {
                    const size_t end = std::min(n, i + kTile);
                    std::fill(profile.begin() + long(i), profile.begin() + long(end),
                              tiles.mean[tile]);
                    x += sx * int64_t(end - i - 1), y += sy * int64_t(end - i - 1);
                    i = end - 1;
                    continue;
                }
            }
            const uint32_t fx = uint32_t(cx16 & 0xFFFF) >> 8, fy = uint32_t(cy16 & 0xFFFF) >> 8;
            const uint8_t* q = px + ptrdiff_t(cy16 >> 16) * stride + ptrdiff_t(cx16 >> 16);
            const uint32_t top = q[0] * (256 - fx) + q[1] * fx;
            const uint32_t low = q[stride] * (256 - fx) + q[stride + 1] * fx;
            profile[i] = uint8_t((top * (256 - fy) + low * fy + 32768) >> 16);
        }
    }

    // Reads the runs both ways.
    void Decode(Point o, std::vector<LineHit>& hits, std::vector<LineHit>& partial) {
        reversed = runs.Reversed();
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
        const auto [lo, hi] = std::minmax_element(piece.begin(), piece.end());
        const int range = *hi - *lo;
        if (range < kTileContrast) return false;
        const Point from{o.x + float(a) * dx, o.y + float(a) * dy};
        const auto cut = [&] { runs.cutStart = a > 0, runs.cutEnd = b < profile.size(); };
        FindRuns(piece, 16, std::max(20, range / 4), runs);
        cut();
        if (runs.Count() < 20) return false;
        const size_t before = hits.size();
        Decode(from, hits, partial);
        // Heavy blur leaves narrow elements short of the threshold: a line
        // that read nothing is split again at its alternating peaks and valleys.
        if (hits.size() == before) {
            FindRunsByExtrema(piece, std::max(kMinSwing, range / 8), runs);
            cut();
            if (runs.Count() >= 20) Decode(from, hits, partial);
        }
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

std::vector<LineHit> ScanImage(const GreyView& grey, const ScanSettings& settings,
                               Deadline* deadline) {
    std::vector<LineHit> hits, partial;
    if (std::max(grey.width, grey.height) < 16) return hits;
    const int shortSide = int(std::min(grey.width, grey.height));
    const int spacing =
        std::clamp(shortSide / std::max(1, settings.divisions), 1, settings.maxSpacing);
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
        const int step = std::max(1, spacing / 3);
        for (int s = -half + spacing / 2; s <= half; s += spacing) {
            if (!scan(s)) continue;
            for (int d = step; d < spacing; d += step) scan(s - d), scan(s + d);
        }
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

}  // namespace gw::barcodes
