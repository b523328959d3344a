#include "MrzRead.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "DVImageProcessor.h"
#include "Errors.h"
#include "GlyphwickMrz.h"

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

}  // namespace

std::pair<std::string, int> MrzFont(const MrzSettings& settings,
                                    const std::vector<std::string>& fonts) {
    if (!settings.font.empty()) return {settings.font, 0};
    if (settings.fontIndex >= 0) return {"", settings.fontIndex};
    for (const std::string& f : fonts) {
        std::string upper = f;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (upper.find("OCRB") != std::string::npos || upper.find("OCR-B") != std::string::npos)
            return {f, 0};
    }
    return {"", 0};
}

MrzResult ReadMrz(DVImageProcessor& image, const MrzSettings& settings, const std::string& file) {
    gw::MrzOptions options;
    if (settings.rect) {
        // The library reads the part inside the image and refuses the rest.
        const Box& b = *settings.rect;
        if (b.right < b.left) throw InputError("the rectangle is inverted", file);
        options.left = b.left, options.top = b.top, options.right = b.right,
        options.bottom = b.bottom;
    }
    const gw::MrzResult r = gw::ReadMrz(image, options);
    if (!r.error.empty()) throw InputError(r.error, file);
    MrzResult out;
    out.json = gw::MrzResultToJson(r);
    if (!r.found) return out;
    MrzReading m;
    m.format = MrzFormatFromName(r.format);
    m.lines = r.lines;
    m.valid = r.valid;
    for (const gw::MrzField& f : r.fields)
        m.fields.push_back({f.name, f.raw, f.value, f.hasCheck, f.check, f.checkValid});
    for (const gw::MrzCorrection& c : r.corrections)
        m.corrections.push_back({c.line, c.column, c.from, c.to, c.field});
    out.reading = std::move(m);
    out.upsideDown = r.orientation == 180;
    // The lines' and characters' boxes, cut from the zone's corners.
    const float n = float(r.lines.size());
    for (size_t l = 0; l < r.lines.size(); ++l) {
        TextLine t;
        t.text = r.lines[l];
        // Lines stand about 1.9 capital heights apart, the corners hold the
        // first line's top and the last one's bottom.
        constexpr float kHeightPerSpacing = 1.0f / 1.9f;
        const float span = n - 1 + kHeightPerSpacing;
        const float y0 = float(l) / span, y1 = (float(l) + kHeightPerSpacing) / span;
        const Box b = BoxOf(r, 0, 1, y0, y1);
        t.left = b.left, t.top = b.top, t.right = b.right, t.bottom = b.bottom;
        out.lines.push_back(t);
        const float len = float(r.lines[l].size());
        for (size_t c = 0; c < r.lines[l].size(); ++c) {
            ObjectReading o;
            o.box = BoxOf(r, float(c) / len, float(c + 1) / len, y0, y1);
            o.identity = r.lines[l][c];
            o.tag = static_cast<int>(l) + 1;
            o.score = static_cast<int>(std::lround(100 * r.characters[l][c].confidence));
            out.objects.push_back(o);
        }
    }
    return out;
}

}  // namespace gwtool
