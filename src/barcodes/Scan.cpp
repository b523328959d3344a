#include "barcodes/Scan.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "barcodes/Runs.h"

namespace gw::barcodes {
namespace {

// One scan line: its direction and the normal offset of its centre.
struct LineScanner {
    LineScanner(const GreyImage& g, const ScanSettings& s) : grey(g), settings(s) {}
    const GreyImage& grey;
    const ScanSettings& settings;
    float dx = 1, dy = 0;
    std::vector<uint8_t> profile;
    Runs runs, reversed;
    std::vector<LineRead> reads;

    // Samples the line at offset s from the image centre; false when it misses
    // the image or is too short to hold a symbol.
    bool Sample(int s, Point& origin) {
        const float w = float(grey.width), h = float(grey.height);
        const float cx = float(grey.width / 2) + float(s) * -dy;
        const float cy = float(grey.height / 2) + float(s) * dx;
        float t0 = -1e9f, t1 = 1e9f;
        const auto slab = [&](float c, float d, float limit) {
            if (std::fabs(d) < 1e-6f) return c >= 0 && c <= limit;
            float a = (0 - c) / d, b = (limit - c) / d;
            if (a > b) std::swap(a, b);
            t0 = std::max(t0, a), t1 = std::min(t1, b);
            return true;
        };
        if (!slab(cx, dx, w - 1) || !slab(cy, dy, h - 1)) return false;
        t0 = std::ceil(t0 - 1e-3f);
        if (t1 - t0 < 16) return false;
        const size_t n = size_t(t1 - t0) + 1;
        origin = {cx + t0 * dx, cy + t0 * dy};
        profile.resize(n);
        const uint8_t* px = grey.pixels.data();
        const size_t stride = grey.width;
        if (dy == 0 || dx == 0) {  // along a row or a column: no interpolation
            const size_t x = size_t(std::lround(origin.x)), y = size_t(std::lround(origin.y));
            const size_t step = dy == 0 ? 1 : stride;
            const uint8_t* p = px + y * stride + x;
            for (size_t i = 0; i < n; ++i) profile[i] = p[i * step];
            return true;
        }
        if (grey.width < 2 || grey.height < 2) return false;
        // Bilinear, in 8-bit fixed point.
        for (size_t i = 0; i < n; ++i) {
            const float x = std::clamp(origin.x + float(i) * dx, 0.0f, w - 1.001f);
            const float y = std::clamp(origin.y + float(i) * dy, 0.0f, h - 1.001f);
            const int xi = int(x), yi = int(y);
            const int fx = int((x - float(xi)) * 256), fy = int((y - float(yi)) * 256);
            const uint8_t* p = px + size_t(yi) * stride + size_t(xi);
            const int top = p[0] * (256 - fx) + p[1] * fx;
            const int bottom = p[stride] * (256 - fx) + p[stride + 1] * fx;
            profile[i] = uint8_t((top * (256 - fy) + bottom * fy + 32768) >> 16);
        }
        return true;
    }

    // Reads the line both ways; returns whether anything was read.
    bool Scan(int s, std::vector<LineHit>& hits) {
        Point o;
        if (!Sample(s, o)) return false;
        const auto [lo, hi] = std::minmax_element(profile.begin(), profile.end());
        const int range = *hi - *lo;
        if (range < 24) return false;
        FindRuns(profile, 16, std::max(20, range / 4), runs);
        if (runs.Count() < 20) return false;
        reversed = runs.Reversed();
        const size_t before = hits.size();
        const float length = runs.edges.back();
        for (int way = 0; way < 2; ++way) {
            reads.clear();
            const Runs& r = way == 0 ? runs : reversed;
            if (settings.code39) ReadCode39Line(r, reads);
            if (settings.code128) ReadCode128Line(r, reads);
            for (LineRead& read : reads) {
                const float a = way == 0 ? read.start : length - read.start;
                const float b = way == 0 ? read.end : length - read.end;
                hits.push_back(
                    {std::move(read), {o.x + a * dx, o.y + a * dy}, {o.x + b * dx, o.y + b * dy}});
            }
        }
        return hits.size() > before;
    }
};

}  // namespace

std::vector<LineHit> ScanImage(const GreyImage& grey, const ScanSettings& settings) {
    std::vector<LineHit> hits;
    if (grey.width < 16 || grey.height < 1) return hits;
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
            if (s < -half || s > half || done[size_t(s + half)]) return false;
            done[size_t(s + half)] = 1;
            return line.Scan(s, hits);
        };
        const int step = std::max(1, spacing / 3);
        for (int s = -half + spacing / 2; s <= half; s += spacing) {
            if (!scan(s)) continue;
            for (int d = step; d < spacing; d += step) scan(s - d), scan(s + d);
        }
    }
    return hits;
}

}  // namespace gw::barcodes
