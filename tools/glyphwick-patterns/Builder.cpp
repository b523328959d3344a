#include "Builder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "DVImageProcessor.h"
#include "Glyphwick.h"
#include "area/Area.h"
#include "recognition/Identify.h"
#include "Points.h"
#include "Refine.h"

namespace gw::patterns {
namespace {

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

int32_t Hundredths(const Observation& o) {
    return o.ratioWhole * 100 + o.ratioHundredths;
}

// The ratio range of a group, widened by the margin, in hundredths.
void RangeOf(const std::vector<const Observation*>& group, double margin, int32_t* lo,
             int32_t* hi) {
    int32_t a = 999, b = 0;
    for (const Observation* o : group) {
        a = std::min(a, Hundredths(*o));
        b = std::max(b, Hundredths(*o));
    }
    *lo = std::clamp(int32_t(std::floor(a * (1.0 - margin))), 0, 999);
    *hi = std::clamp(int32_t(std::ceil(b * (1.0 + margin))), 0, 999);
}

double FailingShare(const std::string& cells, const std::vector<const Observation*>& group) {
    size_t failing = 0;
    for (const Observation* o : group) failing += Score(cells, o->cells) < gw::kAcceptance;
    return group.empty() ? 0.0 : double(failing) / double(group.size());
}

void Split(const std::vector<const Observation*>& group, const BuildSettings& s, int budget,
           std::vector<std::vector<const Observation*>>& out) {
    const size_t cells = size_t(s.gridWidth) * size_t(s.gridHeight);
    const std::string pattern = BestCells(group, cells, s.tolerance);
    if (budget <= 1 || group.size() < 40 || FailingShare(pattern, group) <= s.splitBelow) {
        out.push_back(group);
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
        const std::string ca = BestCells(a, cells, s.tolerance),
                          cb = BestCells(b, cells, s.tolerance);
        std::vector<const Observation*> na, nb;
        for (const Observation* o : group) {
            (Score(ca, o->cells) >= Score(cb, o->cells) ? na : nb).push_back(o);
        }
        if (na.empty() || nb.empty() || (na == a && nb == b)) break;
        a = std::move(na);
        b = std::move(nb);
    }
    if (a.empty() || b.empty()) {
        out.push_back(group);
        return;
    }
    Split(a, s, budget / 2, out);
    Split(b, s, budget - budget / 2, out);
}

// Expected points of every pattern code in every cell over a group.
std::vector<std::array<double, 6>> ExpectedPoints(const std::vector<const Observation*>& group,
                                                  size_t cells) {
    std::vector<std::array<double, 6>> points(cells);
    const double n = group.empty() ? 1.0 : double(group.size());
    for (size_t i = 0; i < cells; ++i) {
        long counts[4] = {0, 0, 0, 0};
        for (const Observation* o : group) {
            if (i < o->cells.size()) counts[ObjectIndex(o->cells[i])]++;
        }
        for (int p = 0; p < 6; ++p) {
            long sum = 0;
            for (int c = 0; c < 4; ++c) sum += counts[c] * kPoints[p][c];
            points[i][size_t(p)] = double(sum) / n;
        }
    }
    return points;
}

}  // namespace

std::string RatioText(int32_t hundredths) {
    hundredths = std::clamp(hundredths, 0, 999);
    char text[16];
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
    if (!render::ToImage(image, img)) return false;
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
        for (int32_t t = 1; t < gw::kTries; ++t) {
            const gw::Box trimmed = gw::TryOf(box, t);
            const gw::Ratio tr = gw::BoxRatio(trimmed);
            out->trimmedCells[size_t(t - 1)] =
                gw::NormaliseToGrid(*gw::CurrentArea(), trimmed, s.gridWidth, s.gridHeight);
            out->trimmedRatios[size_t(t - 1)] = tr.whole * 100 + tr.hundredths;
        }
    }
    GW_DestroyArea();
    return found;
}

}  // namespace

bool Observe(const render::TextRenderer& renderer, char character, const render::Variation& v,
             const BuildSettings& settings, Observation* out) {
    return ObserveWith(renderer, character, Rendering{v, 128}, settings, out);
}

std::string BestCells(const std::vector<const Observation*>& group, size_t cells,
                      double tolerance) {
    std::string best(cells, '?');
    const auto points = ExpectedPoints(group, cells);
    for (size_t i = 0; i < cells; ++i) {
        const double top = *std::max_element(points[i].begin(), points[i].end());
        // The most specific code whose expected points come within the
        // tolerance of the best: "?" would always be best, and tells nothing.
        for (size_t p = 0; p < 6; ++p) {
            if (points[i][p] >= top - tolerance) {
                best[i] = kPatternCodes[p];
                break;
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
    return sum * kPointScale;
}

std::vector<std::vector<const Observation*>> GroupsFor(const std::vector<Observation>& observations,
                                                       const BuildSettings& settings, int budget) {
    std::vector<std::vector<const Observation*>> out;
    if (observations.empty()) return out;
    // Small and large renderings differ in shape (strokes of one or two
    // pixels against solid ones): with budget for two, each size band gets
    // its own patterns.
    std::vector<const Observation*> small, large;
    for (const Observation& o : observations) {
        (o.capHeight <= settings.bandSplitCap ? small : large).push_back(&o);
    }
    if (budget >= 2 && settings.bandSplitCap > 0 && !small.empty() && !large.empty()) {
        Split(small, settings, budget / 2, out);
        Split(large, settings, budget - budget / 2, out);
    } else {
        std::vector<const Observation*> all = small;
        all.insert(all.end(), large.begin(), large.end());
        Split(all, settings, std::max(budget, 1), out);
    }
    return out;
}

std::string DiscriminativeCells(const std::vector<const Observation*>& group,
                                const std::vector<const std::vector<const Observation*>*>& rivals,
                                size_t cells, double tolerance) {
    const auto own = ExpectedPoints(group, cells);
    std::vector<std::vector<std::array<double, 6>>> rivalPoints;
    for (const auto* r : rivals) rivalPoints.push_back(ExpectedPoints(*r, cells));
    std::string best(cells, '?');
    for (size_t i = 0; i < cells; ++i) {
        double top = -1e9;
        for (double v : own[i]) top = std::max(top, v);
        double bestRival = 1e9;
        for (int p = 0; p < 6; ++p) {
            if (own[i][size_t(p)] < top - tolerance) continue;
            // Among the codes that cost the character little, the one that
            // earns its closest rival least; ties to the more specific code.
            double rival = -1e9;
            for (const auto& r : rivalPoints) rival = std::max(rival, r[i][size_t(p)]);
            if (rivalPoints.empty()) rival = 0.0;
            if (rival < bestRival - 1e-9) {
                bestRival = rival;
                best[i] = kPatternCodes[p];
            }
        }
    }
    return best;
}

std::vector<Pattern> BuildFont(const BuildSettings& settings, void (*progress)(char),
                               RefineSummary* refined) {
    std::vector<Pattern> patterns;
    render::TextRenderer renderer(settings.fontPath);
    if (!renderer.Valid()) return patterns;
    const std::vector<Rendering> plan = Plan(settings);
    const size_t n = settings.characters.size();
    const size_t cells = size_t(settings.gridWidth) * size_t(settings.gridHeight);

    // Every character's renderings, then its groups of like shapes.
    std::vector<std::vector<Observation>> observations(n);
    struct Group {
        char character;
        std::vector<const Observation*> members;
        int32_t lo, hi;
    };
    std::vector<Group> groups;
    for (size_t i = 0; i < n; ++i) {
        const char c = settings.characters[i];
        for (const Rendering& r : plan) {
            Observation o;
            if (ObserveWith(renderer, c, r, settings, &o)) observations[i].push_back(std::move(o));
        }
        // Leave at least one pattern for every character still to come.
        const int left = settings.maxPatternsPerFont - int(groups.size()) - int(n - i - 1);
        for (auto& members : GroupsFor(observations[i], settings, std::clamp(left, 1, 4))) {
            Group g{c, std::move(members), 0, 0};
            RangeOf(g.members, settings.ratioMargin, &g.lo, &g.hi);
            groups.push_back(std::move(g));
        }
        if (progress) progress(c);
    }

    // Rivals of a group are the other characters' groups whose ratio ranges
    // overlap its own: the patterns it must be told apart from.
    for (const Group& g : groups) {
        std::vector<const std::vector<const Observation*>*> rivals;
        for (const Group& r : groups) {
            if (r.character != g.character && r.lo <= g.hi && g.lo <= r.hi)
                rivals.push_back(&r.members);
        }
        Pattern p;
        p.character = g.character;
        p.minRatio = RatioText(g.lo);
        p.maxRatio = RatioText(g.hi);
        p.low = g.lo;
        p.high = g.hi;
        p.cells = DiscriminativeCells(g.members, rivals, cells, settings.tolerance);
        patterns.push_back(std::move(p));
    }
    const RefineSummary summary = RefinePatterns(settings, observations, patterns);
    if (refined) *refined = summary;
    return patterns;
}

}  // namespace gw::patterns
