#include "mrz/MrzClassify.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace gw::mrz {

namespace {

// The template sets, as the trainer writes them.
namespace ocrb {
#include "mrz/OcrbTemplates.inc"
}  // namespace ocrb
namespace first {
#include "mrz/OcrbFirstTemplates.inc"
}  // namespace first
namespace mono {
#include "mrz/MonoTemplates.inc"
}  // namespace mono

constexpr int kPixels = kCellW * kCellH;

template <size_t N, size_t M>
constexpr bool OneClassPerTemplate(const char (&)[N], const uint8_t (&)[M][kPixels]) {
    return N - 1 == M;
}
static_assert(OneClassPerTemplate(ocrb::kTemplateClass, ocrb::kTemplatePixels));
static_assert(OneClassPerTemplate(first::kTemplateClass, first::kTemplatePixels));
static_assert(OneClassPerTemplate(mono::kTemplateClass, mono::kTemplatePixels));

struct Template {
    int cls;
    std::array<int16_t, kPixels> t;  // zero mean
    float norm;
};

template <size_t N, size_t M>
std::vector<Template> MakeTemplates(const char (&classes)[N], const uint8_t (&pixels)[M][kPixels]) {
    std::vector<Template> out;
    for (size_t i = 0; i < M; ++i) {
        Template tp{ClassOf(classes[i]), {}, 0};
        int sum = 0;
        for (int k = 0; k < kPixels; ++k) sum += pixels[i][k];
        const int mean = (sum + kPixels / 2) / kPixels;
        double sq = 0;
        for (int k = 0; k < kPixels; ++k) {
            tp.t[k] = int16_t(pixels[i][k] - mean);
            sq += double(tp.t[k]) * tp.t[k];
        }
        tp.norm = float(std::sqrt(sq));
        if (tp.cls >= 0 && tp.norm > 0) out.push_back(tp);
    }
    return out;
}

const std::vector<Template>& Templates(TemplateSet set) {
    static const std::vector<Template> ocrbSet =
        MakeTemplates(ocrb::kTemplateClass, ocrb::kTemplatePixels);
    static const std::vector<Template> firstSet =
        MakeTemplates(first::kTemplateClass, first::kTemplatePixels);
    static const std::vector<Template> monoSet =
        MakeTemplates(mono::kTemplateClass, mono::kTemplatePixels);
    switch (set) {
        case TemplateSet::OcrBFirst:
            return firstSet;
        case TemplateSet::Mono:
            return monoSet;
        case TemplateSet::OcrB:
            break;
    }
    return ocrbSet;
}

int32_t Dot(const int16_t* a, const int16_t* b) {
    int32_t s = 0;
    for (int k = 0; k < kPixels; ++k) s += int32_t(a[k]) * b[k];
    return s;
}

}  // namespace

Scores Classify(const Patch& cell, TemplateSet set) {
    Scores best{};
    const auto& templates = Templates(set);
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
