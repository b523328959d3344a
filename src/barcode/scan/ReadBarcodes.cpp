// The whole-image reader: scan lines, reads grouped by symbol, results.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "DVImageProcessor.h"
#include "GlyphwickBarcodes.h"
#include "GlyphwickGrey.h"
#include "codecs/CodecSupport.h"
#include "image/Grey.h"
#include "shared/Deadline.h"
#include "barcode/Code128Text.h"
#include "barcode/scan/Scan.h"
#include "barcode/Code39Text.h"

namespace gw {
namespace {

using barcodes::LineHit;
using barcodes::Point;

float Length(const LineHit& h) {
    return std::hypot(h.end.x - h.start.x, h.end.y - h.start.y);
}
Point Middle(const LineHit& h) {
    return {(h.start.x + h.end.x) / 2, (h.start.y + h.end.y) / 2};
}

bool SameSymbol(const LineHit& a, const LineHit& b) {
    return a.read.code128 == b.read.code128 && a.read.characters == b.read.characters &&
           a.read.values == b.read.values;
}

// The reads of one symbol: the same values on lines near each other.
struct Group {
    std::vector<const LineHit*> hits;
    const LineHit* shortest = nullptr;  // the line most across the bars
    // The symbol's frame: reading direction d, its left normal, and extents.
    float dx = 1, dy = 0, u0 = 0, u1 = 0, v0 = 0, v1 = 0;

    void Frame() {
        shortest = *std::min_element(
            hits.begin(), hits.end(),
            [](const LineHit* a, const LineHit* b) { return Length(*a) < Length(*b); });
        const float len = std::max(1.0f, Length(*shortest));
        dx = (shortest->end.x - shortest->start.x) / len;
        dy = (shortest->end.y - shortest->start.y) / len;
        // Every line starts on the symbol's start edge and ends on its stop
        // edge: the main axis of those points, each edge about its own mean,
        // is the bars' direction, across which the symbol reads.
        Point ms, me;
        for (const LineHit* h : hits) {
            ms.x += h->start.x, ms.y += h->start.y, me.x += h->end.x, me.y += h->end.y;
        }
        const float n = float(hits.size());
        ms.x /= n, ms.y /= n, me.x /= n, me.y /= n;
        float sxx = 0, syy = 0, sxy = 0;
        for (const LineHit* h : hits) {
            for (const auto& [p, m] : {std::pair{h->start, ms}, std::pair{h->end, me}}) {
                const float x = p.x - m.x, y = p.y - m.y;
                sxx += x * x, syy += y * y, sxy += x * y;
            }
        }
        if (sxx + syy > 2 * n * 9) {  // edges spread over more than a few pixels
            const float angle = 0.5f * std::atan2(2 * sxy, sxx - syy);  // the bars' direction
            float rx = std::sin(angle), ry = -std::cos(angle);          // across them
            if (rx * dx + ry * dy < 0) rx = -rx, ry = -ry;
            dx = rx, dy = ry;
        }
        u0 = ms.x * dx + ms.y * dy;
        u1 = me.x * dx + me.y * dy;
        v0 = 1e30f, v1 = -1e30f;
        for (const LineHit* h : hits) {
            for (const Point p : {h->start, h->end}) {
                const float v = p.x * dy - p.y * dx;
                v0 = std::min(v0, v), v1 = std::max(v1, v);
            }
        }
    }
    // Whether point p lies within the symbol's frame, widened by margin.
    bool Covers(Point p, float margin) const {
        const float u = p.x * dx + p.y * dy, v = p.x * dy - p.y * dx;
        return u > u0 - margin && u < u1 + margin && v > v0 - margin && v < v1 + margin;
    }
    float Width() const { return u1 - u0; }
};

std::vector<Group> GroupHits(const std::vector<LineHit>& hits) {
    std::vector<Group> groups;
    for (const LineHit& h : hits) {
        const Point m = Middle(h);
        Group* into = nullptr;
        for (Group& g : groups) {
            const LineHit& first = *g.hits.front();
            const Point f = Middle(first);
            if (SameSymbol(h, first) &&
                std::hypot(m.x - f.x, m.y - f.y) < 0.6f * std::max(Length(first), Length(h))) {
                into = &g;
                break;
            }
        }
        if (into == nullptr) {
            groups.emplace_back();
            into = &groups.back();
        }
        into->hits.push_back(&h);
    }
    for (Group& g : groups) g.Frame();
    return groups;
}

// Whether group b lies on group a's symbol: in a's frame, the lines of b
// overlap a's along the reading direction by most of the shorter, and across
// it they overlap or leave a gap of at most a tenth of a's width (a strip of
// the same bars read at another angle, a tall symbol read from end to end).
bool SameBars(const Group& a, const Group& b) {
    float u0 = 1e30f, u1 = -1e30f, v0 = 1e30f, v1 = -1e30f;
    for (const LineHit* h : b.hits) {
        for (const Point p : {h->start, h->end}) {
            const float u = p.x * a.dx + p.y * a.dy, v = p.x * a.dy - p.y * a.dx;
            u0 = std::min(u0, u), u1 = std::max(u1, u), v0 = std::min(v0, v), v1 = std::max(v1, v);
        }
    }
    const float along = std::min(a.u1, u1) - std::max(a.u0, u0);
    const float shorter = std::min(a.u1 - a.u0, u1 - u0);
    const float gap = std::max(v0 - a.v1, a.v0 - v1);
    return shorter > 0 && along >= 0.8f * shorter && gap <= 0.1f * a.Width();
}

// Merges groups whose reads agree and whose lines lie on the same bars, so
// that one symbol gives one result with the box of all its lines.
void MergeAgreeing(std::vector<Group>& groups) {
    for (bool merged = true; merged;) {
        merged = false;
        for (size_t i = 0; i < groups.size() && !merged; ++i) {
            for (size_t j = i + 1; j < groups.size() && !merged; ++j) {
                Group& a = groups[i];
                Group& b = groups[j];
                if (!SameSymbol(*a.hits.front(), *b.hits.front())) continue;
                if (!SameBars(a, b) && !SameBars(b, a)) continue;
                a.hits.insert(a.hits.end(), b.hits.begin(), b.hits.end());
                a.Frame();
                groups.erase(groups.begin() + ptrdiff_t(j));
                merged = true;
            }
        }
    }
}

// Drops groups that lie on a group read by more lines: two readings of one
// place cannot both be right.
void DropConflicts(std::vector<Group>& groups) {
    std::vector<bool> drop(groups.size(), false);
    for (size_t i = 0; i < groups.size(); ++i) {
        for (size_t j = 0; j < groups.size(); ++j) {
            if (i == j || groups[j].hits.size() < groups[i].hits.size()) continue;
            if (groups[j].hits.size() == groups[i].hits.size() && j > i) continue;
            const Group& big = groups[j];
            if (big.Covers(Middle(*groups[i].shortest), 0.05f * big.Width())) drop[i] = true;
        }
    }
    std::vector<Group> kept;
    for (size_t i = 0; i < groups.size(); ++i)
        if (!drop[i]) kept.push_back(std::move(groups[i]));
    groups = std::move(kept);
}

bool MakeResult(const Group& g, const BarcodeOptions& options, BarcodeResult& r) {
    const barcodes::LineRead& read = g.shortest->read;
    r.lines = int(g.hits.size());
    if (read.code128) {
        r.symbology = Symbology::Code128;
        const std::vector<int32_t> values(read.values.begin(), read.values.end());
        const Code128Text text = Code128ValuesToText(values);
        if (text.status != Code128TextStatus::Ok) return false;
        r.values = read.values;
        r.text = text.text;
        r.gs1 = text.gs1;
        r.checksOk = true;
    } else {
        // One line alone may be a misreading of bars: Code 39 has no check of
        // its own, so two lines must agree.
        if (g.hits.size() < 2) return false;
        r.symbology = Symbology::Code39;
        r.characters = read.characters;
        barcodes::Code32(read.characters, r.code32);
        std::string text = read.characters;
        if (options.code39CheckDigit) {
            if (!barcodes::Code39CheckHolds(text)) return false;
            text.pop_back();
            r.checksOk = true;
        }
        if (options.code39FullAscii) {
            std::string full;
            if (barcodes::Code39FullAscii(text, full)) text = full;
        }
        r.text = text;
    }
    if (int(r.text.size()) < std::max(1, options.minLength)) return false;
    const float vTop = g.v1, vBottom = g.v0;  // v grows to the left of the reading
    const auto at = [&](float u, float v) {
        return std::pair<float, float>{u * g.dx + v * g.dy, u * g.dy - v * g.dx};
    };
    r.corners = {at(g.u0, vTop), at(g.u1, vTop), at(g.u1, vBottom), at(g.u0, vBottom)};
    int angle = int(std::lround(std::atan2(g.dy, g.dx) * 180.0 / std::numbers::pi));
    r.orientation = (angle % 360 + 360) % 360;
    return true;
}

// Reads grey, a view of the whole image, under the call's budget.
std::vector<BarcodeResult> ReadGrey(const barcodes::GreyView& grey, const BarcodeOptions& options,
                                    BarcodeReport* report) {
    BarcodeReport local;
    BarcodeReport& out = report != nullptr ? *report : local;
    out = BarcodeReport{};
    std::vector<BarcodeResult> results;
    if (!options.code39 && !options.code128) return results;
    if (grey.data == nullptr || grey.width == 0 || grey.height == 0) return results;
    Deadline deadline(options.budget, double(grey.width) * double(grey.height));
    barcodes::ScanSettings settings;
    settings.code39 = options.code39;
    settings.code128 = options.code128;
    if (options.tryHarder)
        settings.directions = 12, settings.divisions = 64, settings.maxSpacing = 4,
        settings.gate = false;
    const std::vector<LineHit> hits = barcodes::ScanImage(grey, settings, &deadline);
    if (!deadline.reason().empty()) out.stopped = true, out.stopReason = deadline.reason();
    std::vector<Group> groups = GroupHits(hits);
    MergeAgreeing(groups);
    DropConflicts(groups);
    for (const Group& g : groups) {
        BarcodeResult r;
        if (!MakeResult(g, options, r)) continue;
        // Bars at the image's edge give a box that the rounding of the scan's
        // turn may carry a hair past it (-6e-6 on a fuzzed page): a box lies
        // inside its image.
        for (auto& [x, y] : r.corners)
            x = std::clamp(x, 0.0f, float(grey.width)), y = std::clamp(y, 0.0f, float(grey.height));
        results.push_back(std::move(r));
    }
    std::sort(results.begin(), results.end(), [](const BarcodeResult& a, const BarcodeResult& b) {
        const float ay = (a.corners[0].second + a.corners[2].second) / 2;
        const float by = (b.corners[0].second + b.corners[2].second) / 2;
        if (std::fabs(ay - by) > 8) return ay < by;
        return a.corners[0].first + a.corners[2].first < b.corners[0].first + b.corners[2].first;
    });
    return results;
}

// Whether the image's own rows are its grey levels: 8 bits through the grey
// ramp, every entry opaque (or none carrying alpha), as ToGrey would read them.
bool GreyInPlace(const dv::Bitmap* bitmap) {
    if (bitmap == nullptr || bitmap->GetPixelFormat() != dv::PixelFormat8bppIndexed) return false;
    const std::vector<uint32_t> palette = codec::PaletteOf(bitmap);
    if (!codec::IsGreyRamp(palette)) return false;
    uint32_t all = 0xFF, any = 0;
    for (const uint32_t e : palette) all &= e >> 24, any |= e >> 24;
    return all == 0xFF || any == 0;
}

barcodes::GreyView ViewOf(const GreyImage& grey) {
    return {grey.pixels.data(), grey.width, grey.height, ptrdiff_t(grey.width)};
}

// The grey levels of a colour view, as ToGrey makes them of an image object
// of the same colours: the weighted level, alpha laid over white.
GreyImage GreyOfView(const ImageView& view) {
    GreyImage grey;
    grey.width = uint32_t(view.width), grey.height = uint32_t(view.height);
    grey.pixels.resize(size_t(grey.width) * grey.height);
    const int bytes = BytesPerPixel(view.format);
    const bool bgr = view.format == PixelFormat::BGR24 || view.format == PixelFormat::BGRA32;
    const bool alpha = bytes == 4;
    for (uint32_t y = 0; y < grey.height; ++y) {
        const uint8_t* p = view.data + ptrdiff_t(y) * view.stride;
        uint8_t* out = grey.pixels.data() + size_t(y) * grey.width;
        for (uint32_t x = 0; x < grey.width; ++x, p += bytes) {
            uint8_t r = bgr ? p[2] : p[0], g = p[1], b = bgr ? p[0] : p[2];
            if (alpha) {
                const uint32_t a = p[3];
                const auto over = [a](uint8_t c) {
                    return uint8_t((c * a + 255 * (255 - a) + 127) / 255);
                };
                r = over(r), g = over(g), b = over(b);
            }
            out[x] = uint8_t(GreyLevelWeighted(r, g, b, kWeightRed, kWeightGreen, kWeightBlue));
        }
    }
    return grey;
}

}  // namespace

std::vector<BarcodeResult> ReadBarcodes(const DVImageProcessor& image,
                                        const BarcodeOptions& options) {
    return ReadBarcodes(image, options, nullptr);
}

std::vector<BarcodeResult> ReadBarcodes(const DVImageProcessor& image,
                                        const BarcodeOptions& options, BarcodeReport* report) {
    if (report != nullptr) *report = BarcodeReport{};
    if (!options.code39 && !options.code128) return {};
    if (const dv::Bitmap* bitmap = image.GetBitmap(); GreyInPlace(bitmap))  // read in place
        return ReadGrey({bitmap->Pixels(), bitmap->GetWidth(), bitmap->GetHeight(),
                         ptrdiff_t(bitmap->GetStride())},
                        options, report);
    const GreyImage grey = ToGrey(image);
    return ReadGrey(ViewOf(grey), options, report);
}

std::vector<BarcodeResult> ReadBarcodes(const ImageView& image, const BarcodeOptions& options,
                                        BarcodeReport* report) {
    if (report != nullptr) *report = BarcodeReport{};
    if (!image.valid() || BytesPerPixel(image.format) == 0) return {};
    if (image.format == PixelFormat::Grey8)  // read in place
        return ReadGrey({image.data, uint32_t(image.width), uint32_t(image.height), image.stride},
                        options, report);
    if (!options.code39 && !options.code128) return {};
    const GreyImage grey = GreyOfView(image);
    return ReadGrey(ViewOf(grey), options, report);
}

}  // namespace gw

extern "C" GW_API int GW_ReadBarcodesText(const DVImageProcessor* image, uint32_t symbologies,
                                          char* buffer, int size) {
    if (image == nullptr || buffer == nullptr || size < 1) return -1;
    gw::BarcodeOptions options;
    if (symbologies != 0) {
        options.code39 = (symbologies & GW_BARCODE_CODE39) != 0;
        options.code128 = (symbologies & GW_BARCODE_CODE128) != 0;
    }
    const std::vector<gw::BarcodeResult> results = gw::ReadBarcodes(*image, options);
    size_t used = 0;
    for (const gw::BarcodeResult& r : results) {
        if (used + r.text.size() + 2 > size_t(size)) break;
        std::memcpy(buffer + used, r.text.data(), r.text.size());
        used += r.text.size();
        buffer[used++] = '\n';
    }
    buffer[used] = '\0';
    return int(results.size());
}
