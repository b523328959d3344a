#include "MrzRead.h"

#include <algorithm>
#include <cmath>

#include "DVImageProcessor.h"
#include "Errors.h"

namespace gwtool {

namespace {

// A point a fraction fx along and fy down the zone's corners.
std::pair<float, float> Inside(const gw::MrzResult& r, float fx, float fy) {
    const auto& c = r.corners;
    const float tx = c[0].first + fx * (c[1].first - c[0].first);
    const float ty = c[0].second + fx * (c[1].second - c[0].second);
    const float bx = c[3].first + fx * (c[2].first - c[3].first);
    const float by = c[3].second + fx * (c[2].second - c[3].second);
    return {tx + fy * (bx - tx), ty + fy * (by - ty)};
}

Box BoxOf(const gw::MrzResult& r, float x0, float x1, float y0, float y1) {
    float l = 1e9f, t = 1e9f, rr = -1e9f, b = -1e9f;
    for (float fx : {x0, x1})
        for (float fy : {y0, y1}) {
            const auto [x, y] = Inside(r, fx, fy);
            l = std::min(l, x), t = std::min(t, y), rr = std::max(rr, x), b = std::max(b, y);
        }
    return {int(std::floor(l)), int(std::floor(t)), int(std::ceil(rr)), int(std::ceil(b))};
}

// The fractions of the zone's height from the top that line l spans. Lines
// stand about 1.9 capital heights apart; the corners hold the first line's
// top and the last one's bottom.
std::pair<float, float> LineSpan(const gw::MrzResult& r, size_t l) {
    constexpr float kHeightPerSpacing = 1.0f / 1.9f;
    const float span = float(r.lines.size()) - 1 + kHeightPerSpacing;
    return {float(l) / span, (float(l) + kHeightPerSpacing) / span};
}

}  // namespace

gw::MrzResult ReadMrz(DVImageProcessor& image, const MrzSettings& settings,
                      const std::string& file) {
    gw::MrzOptions options;
    if (settings.rect) {
        // The library reads the part inside the image and refuses the rest.
        const Box& b = *settings.rect;
        if (b.right < b.left || b.bottom < b.top)
            throw InputError(file, "the rectangle is inverted");
        options.left = b.left, options.top = b.top, options.right = b.right,
        options.bottom = b.bottom;
    }
    options.today = settings.today;
    options.budget.seconds = settings.timeout;
    gw::MrzResult r = gw::ReadMrz(image, options);
    if (!r.error.empty()) throw InputError(file, r.error);
    return r;
}

std::vector<Box> MrzLineBoxes(const gw::MrzResult& result) {
    std::vector<Box> out;
    if (!result.found) return out;
    for (size_t l = 0; l < result.lines.size(); ++l) {
        const auto [y0, y1] = LineSpan(result, l);
        out.push_back(BoxOf(result, 0, 1, y0, y1));
    }
    return out;
}

std::vector<ObjectReading> MrzObjects(const gw::MrzResult& result) {
    std::vector<ObjectReading> out;
    if (!result.found) return out;
    for (size_t l = 0; l < result.lines.size(); ++l) {
        const auto [y0, y1] = LineSpan(result, l);
        const std::string& line = result.lines[l];
        const float len = float(line.size());
        for (size_t c = 0; c < line.size(); ++c) {
            ObjectReading o;
            o.box = BoxOf(result, float(c) / len, float(c + 1) / len, y0, y1);
            o.identity = line[c];
            o.tag = static_cast<int>(l) + 1;
            o.score = static_cast<int>(std::lround(100 * result.characters[l][c].confidence));
            out.push_back(o);
        }
    }
    return out;
}

}  // namespace gwtool
