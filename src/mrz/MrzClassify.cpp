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
    const auto& templates = Templates(set);
    // The cell's window at every shift, zero mean, with its norm (0: blank).
    constexpr int kSide = 2 * kPad + 1;
    std::array<std::array<int16_t, kPixels>, kSide * kSide> windows;
    std::array<float, kSide * kSide> norms{};
    for (int dy = -kPad; dy <= kPad; ++dy)
        for (int dx = -kPad; dx <= kPad; ++dx) {
            const int i = (dy + kPad) * kSide + dx + kPad;
            int sum = 0;
            int64_t sq = 0;
            for (int v = 0; v < kCellH; ++v)
                for (int u = 0; u < kCellW; ++u) {
                    const int x = cell[(v + kPad + dy) * kPatchW + u + kPad + dx];
                    windows[i][v * kCellW + u] = int16_t(x);
                    sum += x;
                    sq += int64_t(x) * x;
                }
            const double var = double(sq) - double(sum) * sum / kPixels;
            norms[i] = var > 1.0 ? float(std::sqrt(var)) : 0.0f;
        }
    Scores best{};
    auto score = [&](int i, const Template& t) {
        if (norms[i] <= 0) return;
        const float ncc = float(Dot(windows[i].data(), t.t.data())) / (norms[i] * t.norm);
        best[t.cls] = std::max(best[t.cls], ncc);
    };
    // Every template at the centre and the shifts two pixels out first; then
    // every shift for the characters near the best, and for the best digit,
    // letter and filler, which a position's class may choose instead.
    auto coarse = [](int i) { return (i / kSide) % 2 == 0 && (i % kSide) % 2 == 0; };
    for (int i = 0; i < kSide * kSide; ++i)
        if (coarse(i))
            for (const Template& t : templates) score(i, t);
    std::array<bool, kClasses> refine{};
    const float top = *std::max_element(best.begin(), best.end());
    int digit = 0, letter = 10;
    for (int k = 0; k < kClasses; ++k) {
        refine[k] = best[k] >= top - 0.15f;
        if (k < 10 && best[k] > best[digit]) digit = k;
        if (k >= 10 && k < 36 && best[k] > best[letter]) letter = k;
    }
    refine[digit] = refine[letter] = refine[kClasses - 1] = true;
    for (int i = 0; i < kSide * kSide; ++i)
        if (!coarse(i))
            for (const Template& t : templates)
                if (refine[t.cls]) score(i, t);
    return best;
}

}  // namespace gw::mrz
