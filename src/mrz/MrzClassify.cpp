#include "mrz/MrzClassify.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace gw::mrz {

namespace {

#include "mrz/OcrbTemplates.inc"

constexpr int kPixels = kCellW * kCellH;
static_assert(sizeof(kTemplatePixels[0]) == kPixels, "templates are cells of the cut's size");
static_assert(sizeof(kTemplateClass) - 1 == sizeof(kTemplatePixels) / kPixels,
              "one class per template");

struct Template {
    int cls;
    std::array<int16_t, kPixels> t;  // zero mean
    float norm;
};

std::vector<Template> MakeTemplates() {
    std::vector<Template> out;
    for (size_t i = 0; i + 1 < sizeof(kTemplateClass); ++i) {
        Template tp{ClassOf(kTemplateClass[i]), {}, 0};
        int sum = 0;
        for (int k = 0; k < kPixels; ++k) sum += kTemplatePixels[i][k];
        const int mean = (sum + kPixels / 2) / kPixels;
        double sq = 0;
        for (int k = 0; k < kPixels; ++k) {
            tp.t[k] = int16_t(kTemplatePixels[i][k] - mean);
            sq += double(tp.t[k]) * tp.t[k];
        }
        tp.norm = float(std::sqrt(sq));
        if (tp.cls >= 0 && tp.norm > 0) out.push_back(tp);
    }
    return out;
}

const std::vector<Template>& Templates() {
    static const std::vector<Template> templates = MakeTemplates();
    return templates;
}

int32_t Dot(const int16_t* a, const int16_t* b) {
    int32_t s = 0;
    for (int k = 0; k < kPixels; ++k) s += int32_t(a[k]) * b[k];
    return s;
}

}  // namespace

bool HasTemplates() {
    return !Templates().empty();
}

Scores Classify(const Patch& cell) {
    Scores best{};
    const auto& templates = Templates();
    std::array<int16_t, kPixels> w;
    for (int dy = -kPad; dy <= kPad; ++dy) {
        for (int dx = -kPad; dx <= kPad; ++dx) {
            int sum = 0;
            int64_t sq = 0;
            for (int v = 0; v < kCellH; ++v)
                for (int u = 0; u < kCellW; ++u) {
                    const int x = cell[(v + kPad + dy) * kPatchW + u + kPad + dx];
                    w[v * kCellW + u] = int16_t(x);
                    sum += x;
                    sq += int64_t(x) * x;
                }
            const double var = double(sq) - double(sum) * sum / kPixels;
            if (var <= 1.0) continue;
            const float norm = float(std::sqrt(var));
            for (const Template& t : templates) {
                const float ncc = float(Dot(w.data(), t.t.data())) / (norm * t.norm);
                best[t.cls] = std::max(best[t.cls], ncc);
            }
        }
    }
    return best;
}

}  // namespace gw::mrz
