#include "Builder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "DVImageProcessor.h"
#include "Glyphwick.h"
#include "area/Area.h"
#include "recognition/Identify.h"

namespace gw::patterns {
namespace {

constexpr char kPatternCodes[] = {'-', 'X', '0', '1', '/', '?'};  // ties go to the earlier

// Points of (pattern code, object code "-", "0", "1", "X").
constexpr int kPoints[6][4] = {
    {1, -2, -10, -10},  // "-"
    {-10, -5, 1, 1},    // "X"
    {1, 1, 0, -5},      // "0"
    {0, 0, 1, 1},       // "1"
    {1, 1, -2, -5},     // "/"
    {1, 1, 1, 1},       // "?"
};

int ObjectIndex(char code) {
    switch (code) {
        case '-': return 0;
        case '0': return 1;
        case '1': return 2;
        default: return 3;
    }
}

int PatternIndex(char code) {
    for (int i = 0; i < 6; ++i) {
        if (kPatternCodes[i] == code) return i;
    }
    return -1;
}

// A rendering and the ink threshold the area reads it with.
struct Rendering {
    render::Variation variation;
    uint32_t threshold;
};

std::vector<Rendering> Plan(const BuildSettings& s) {
    std::vector<Rendering> plan;
    const double offsetsX[] = {0.0, 1.0 / 3.0, 2.0 / 3.0};
    const double offsetsY[] = {0.0, 0.5};
    const double weights[] = {-0.05, 0.0, 0.05};
    const std::pair<double, uint32_t> inks[] = {{1.0, 128}, {0.7, 128}, {1.0, 90}, {1.0, 170}};
    uint64_t seed = 1;
    for (int cap = s.minCap; cap <= s.maxCap; cap += s.capStep) {
        for (double ox : offsetsX) {
            for (double oy : offsetsY) {
                for (double w : weights) {
                    for (const auto& [ink, threshold] : inks) {
                        Rendering r;
                        r.variation.capHeight = cap;
                        r.variation.offsetX = ox;
                        r.variation.offsetY = oy;
                        r.variation.embolden = w * cap;
                        r.variation.inkLevel = ink;
                        r.variation.noise = (seed & 1) ? 6.0 : 0.0;  // light noise on half
                        r.variation.seed = seed++;
                        r.threshold = threshold;
                        plan.push_back(r);
                    }
                }
            }
        }
    }
    return plan;
}

int32_t Hundredths(const Observation& o) { return o.ratioWhole * 100 + o.ratioHundredths; }

Pattern MakePattern(char character, const std::vector<const Observation*>& group,
                    const BuildSettings& s) {
    Pattern p;
    p.character = character;
    p.cells = BestCells(group, size_t(s.gridWidth) * size_t(s.gridHeight));
    int32_t lo = 999, hi = 0;
    for (const Observation* o : group) {
        lo = std::min(lo, Hundredths(*o));
        hi = std::max(hi, Hundredths(*o));
    }
    p.minRatio = RatioText(int32_t(std::floor(lo * (1.0 - s.ratioMargin))));
    p.maxRatio = RatioText(int32_t(std::ceil(hi * (1.0 + s.ratioMargin))));
    return p;
}

double FailingShare(const std::string& cells, const std::vector<const Observation*>& group) {
    size_t failing = 0;
    for (const Observation* o : group) failing += Score(cells, o->cells) < gw::kAcceptance;
    return group.empty() ? 0.0 : double(failing) / double(group.size());
}

void Split(char character, const std::vector<const Observation*>& group, const BuildSettings& s,
           int budget, std::vector<Pattern>& out) {
    const std::string cells = BestCells(group, size_t(s.gridWidth) * size_t(s.gridHeight));
    if (budget <= 1 || group.size() < 40 || FailingShare(cells, group) <= s.splitBelow) {
        out.push_back(MakePattern(character, group, s));
        return;
    }
    // Two shapes, seeded by the narrower and the wider half, refined by
    // assigning every rendering to the shape it scores best against.
    std::vector<const Observation*> sorted = group;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Observation* a, const Observation* b) {
        return Hundredths(*a) < Hundredths(*b);
    });
    std::vector<const Observation*> a(sorted.begin(), sorted.begin() + long(sorted.size() / 2));
    std::vector<const Observation*> b(sorted.begin() + long(sorted.size() / 2), sorted.end());
    for (int round = 0; round < 6; ++round) {
        const std::string ca = BestCells(a, cells.size()), cb = BestCells(b, cells.size());
        std::vector<const Observation*> na, nb;
        for (const Observation* o : group) {
            (Score(ca, o->cells) >= Score(cb, o->cells) ? na : nb).push_back(o);
        }
        if (na.empty() || nb.empty() || (na == a && nb == b)) break;
        a = std::move(na);
        b = std::move(nb);
    }
    if (a.empty() || b.empty()) {
        out.push_back(MakePattern(character, group, s));
        return;
    }
    Split(character, a, s, budget / 2, out);
    Split(character, b, s, budget - budget / 2, out);
}

}  // namespace

std::string RatioText(int32_t hundredths) {
    hundredths = std::clamp(hundredths, 0, 999);
    char text[8];
    std::snprintf(text, sizeof text, "%d.%02d", hundredths / 100, hundredths % 100);
    return text;
}

std::vector<render::Variation> RenderingPlan(const BuildSettings& settings) {
    std::vector<render::Variation> out;
    for (const Rendering& r : Plan(settings)) out.push_back(r.variation);
    return out;
}

namespace {

bool ObserveWith(const render::TextRenderer& renderer, char character, const Rendering& r,
                 const BuildSettings& s, Observation* out) {
    const render::GreyImage image = renderer.RenderLine(std::string(1, character), r.variation, 6);
    if (image.width <= 0) return false;
    DVImageProcessor img;
    if (img.Create(uint32_t(image.width), uint32_t(image.height), dv::PixelFormat8bppIndexed) != 0) {
        return false;
    }
    for (int y = 0; y < image.height; ++y) {
        img.SetBytes(uint32_t(y), 0, image.pixels.data() + size_t(y) * size_t(image.width),
                     uint32_t(image.width));
    }
    AREAPARAMS params{};
    params.minObjectWidth = 1;
    params.minObjectHeight = 1;
    params.maxObjectWidth = image.width;
    params.maxObjectHeight = image.height;
    params.threshold = r.threshold;
    const RECT rect{0, 0, image.width - 1, image.height - 1};
    if (!GW_InitialiseArea(&img, &rect, &params)) return false;
    GW_ProduceObjectList();
    GW_CleanObjects(0);
    // The character is every object found: the parts of ":" or "'" together.
    bool found = false;
    gw::Box box{0, 0, -1, -1};
    for (OBJECTINFO* o = GW_FindFirstObject(); o; o = GW_FindNextObject()) {
        if (!found) {
            box = {o->left, o->top, o->right, o->bottom};
            found = true;
        } else {
            box.left = std::min<int64_t>(box.left, o->left);
            box.top = std::min<int64_t>(box.top, o->top);
            box.right = std::max<int64_t>(box.right, o->right);
            box.bottom = std::max<int64_t>(box.bottom, o->bottom);
        }
    }
    if (found) {
        out->cells = gw::NormaliseToGrid(*gw::CurrentArea(), box, s.gridWidth, s.gridHeight);
        const gw::Ratio ratio = gw::BoxRatio(box);
        out->ratioWhole = ratio.whole;
        out->ratioHundredths = ratio.hundredths;
        out->capHeight = r.variation.capHeight;
    }
    GW_DestroyArea();
    return found;
}

}  // namespace

bool Observe(const render::TextRenderer& renderer, char character, const render::Variation& v,
             const BuildSettings& settings, Observation* out) {
    return ObserveWith(renderer, character, Rendering{v, 128}, settings, out);
}

std::string BestCells(const std::vector<const Observation*>& group, size_t cells) {
    std::string best(cells, '?');
    for (size_t i = 0; i < cells; ++i) {
        long counts[4] = {0, 0, 0, 0};
        for (const Observation* o : group) {
            if (i < o->cells.size()) counts[ObjectIndex(o->cells[i])]++;
        }
        long bestPoints = 0;
        for (int p = 0; p < 6; ++p) {
            long points = 0;
            for (int c = 0; c < 4; ++c) points += counts[c] * kPoints[p][c];
            if (p == 0 || points > bestPoints) {
                bestPoints = points;
                best[i] = kPatternCodes[p];
            }
        }
    }
    return best;
}

int32_t Score(const std::string& patternCells, const std::string& objectCells) {
    int32_t sum = 0;
    const size_t n = std::min(patternCells.size(), objectCells.size());
    for (size_t i = 0; i < n; ++i) {
        const int p = PatternIndex(patternCells[i]);
        if (p >= 0) sum += kPoints[p][ObjectIndex(objectCells[i])];
    }
    return sum * 4;
}

std::vector<Pattern> PatternsFor(char character, const std::vector<Observation>& observations,
                                 const BuildSettings& settings, int budget) {
    std::vector<Pattern> out;
    if (observations.empty()) return out;
    std::vector<const Observation*> group;
    for (const Observation& o : observations) group.push_back(&o);
    Split(character, group, settings, std::max(budget, 1), out);
    return out;
}

std::vector<Pattern> BuildFont(const BuildSettings& settings, void (*progress)(char)) {
    std::vector<Pattern> patterns;
    render::TextRenderer renderer(settings.fontPath);
    if (!renderer.Valid()) return patterns;
    const std::vector<Rendering> plan = Plan(settings);
    const size_t n = settings.characters.size();
    for (size_t i = 0; i < n; ++i) {
        const char c = settings.characters[i];
        std::vector<Observation> observations;
        for (const Rendering& r : plan) {
            Observation o;
            if (ObserveWith(renderer, c, r, settings, &o)) observations.push_back(std::move(o));
        }
        // Leave at least one pattern for every character still to come.
        const int left = settings.maxPatternsPerFont - int(patterns.size()) - int(n - i - 1);
        const int budget = std::clamp(left, 1, 4);
        for (Pattern& p : PatternsFor(c, observations, settings, budget)) patterns.push_back(std::move(p));
        if (progress) progress(c);
    }
    return patterns;
}

}  // namespace gw::patterns
