#include "DevSet.h"

#include <algorithm>
#include <map>
#include <memory>

#include "DVImageProcessor.h"
#include "Glyphwick.h"

namespace gw::accuracy {
namespace {

constexpr const char* kNames[] = {"ERIKSSON", "ANNA",     "MARIA",    "SMITH", "JOHN",    "DUPONT",
                                  "OKONKWO",  "CHIAMAKA", "NGUYEN",   "VAN",   "QUIJOTE", "WU",
                                  "BAYER",    "ZOLTAN",   "KOWALSKA", "JOSE",  "LEE",     "XAVIER"};
constexpr const char* kWords[] = {
    "DATE",    "OF",     "BIRTH",  "12.04.1974",  "SURNAME/NOM", "PLACE:", "STOCKHOLM", "NO.",
    "123-456", "A+B",    "O'NEIL", "EXPIRY",      "2031-08-15",  "SEX:",   "F",         "M/F",
    "ISSUED",  "BY",     "UTO",    "NATIONALITY", "HEIGHT:",     "1,72",   "REF",       "X-99/7",
    "ZONE",    "QUEBEC", "JULY",   "VALID",       "WEIGHT",      "K9"};

std::string MrzNameLine(render::Random& rng, size_t length) {
    std::string s = "P<UTO";
    s += kNames[rng.Next() % std::size(kNames)];
    s += "<<";
    s += kNames[rng.Next() % std::size(kNames)];
    s += "<";
    s += kNames[rng.Next() % std::size(kNames)];
    s.resize(length, '<');
    return s;
}

std::string MrzDataLine(render::Random& rng, size_t length) {
    static const std::string alnum = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string s;
    for (size_t i = 0; i < length; ++i) {
        const uint64_t r = rng.Next() % 10;
        if (r < 5) {
            s += char('0' + rng.Next() % 10);
        } else if (r < 8) {
            s += alnum[rng.Next() % alnum.size()];
        } else {
            s += '<';
        }
    }
    return s;
}

std::string TextLine(render::Random& rng) {
    std::string s;
    const size_t words = 4 + rng.Next() % 4;
    for (size_t i = 0; i < words; ++i) {
        if (i > 0) s += (rng.Next() % 3 == 0) ? "  " : " ";
        s += kWords[rng.Next() % std::size(kWords)];
    }
    return s;
}

struct VariantSetting {
    const char* name;
    render::Variation base;
};

}  // namespace

std::vector<Sample> MakeDevSet(uint64_t seed) {
    std::vector<VariantSetting> variants(6);
    variants[0].name = "clean";
    variants[1].name = "noise";
    variants[1].base.noise = 14.0;
    variants[2].name = "blur";
    variants[2].base.blur = 0.8;
    variants[3].name = "light";
    variants[3].base.inkLevel = 0.62;
    variants[4].name = "touching";
    variants[5].name = "broken";
    variants[5].base.breakStrokes = 0.25;

    std::vector<Sample> set;
    render::Random rng(seed);
    const std::pair<const char*, const char*> fonts[] = {{"OCRB", kOcrBPath}, {"OCRA", kOcrAPath}};
    for (const auto& [font, path] : fonts) {
        for (const VariantSetting& setting : variants) {
            for (int cap = 18; cap <= 40; cap += 2) {
                std::vector<std::pair<std::string, std::string>> lines = {
                    {"mrz", MrzNameLine(rng, 44)}, {"mrz", MrzDataLine(rng, 44)},
                    {"mrz", MrzDataLine(rng, 36)}, {"mrz", MrzDataLine(rng, 30)},
                    {"text", TextLine(rng)},       {"text", TextLine(rng)}};
                for (auto& [kind, text] : lines) {
                    Sample s;
                    s.font = font;
                    s.fontPath = path;
                    s.variant = setting.name;
                    s.kind = kind;
                    s.text = text;
                    s.variation = setting.base;
                    s.variation.capHeight = cap;
                    s.variation.offsetX = rng.Uniform();
                    s.variation.offsetY = rng.Uniform();
                    s.variation.seed = rng.Next();
                    if (std::string(setting.name) == "touching") {
                        s.variation.extraSpacing = -0.16 * cap;
                        s.variation.embolden = 0.04 * cap;
                    }
                    set.push_back(s);
                }
            }
        }
    }
    return set;
}

std::string ReadImage(const render::GreyImage& image, const std::string& font, int capHeight) {
    DVImageProcessor img;
    if (!render::ToImage(image, img)) return "";
    AREAPARAMS params{};
    params.minObjectWidth = 1;
    params.minObjectHeight = 2;
    // Sizes for a line of known cap height: touching pairs stay, and the dots
    // of ":" are grouped while fragments of neighbouring characters are not.
    params.maxObjectWidth = capHeight * 8 / 5;
    params.maxObjectHeight = capHeight * 2;
    params.fragMinWidth = 1;
    params.fragMinHeight = 1;
    params.fragMaxWidth = capHeight * 7 / 20;
    params.fragMaxHeight = capHeight * 9 / 20;
    params.fontName = font.c_str();
    params.threshold = 128;
    const RECT rect{0, 0, image.width - 1, image.height - 1};
    if (!GW_InitialiseArea(&img, &rect, &params)) return "";
    GW_ProduceObjectList();
    GW_CleanObjects(0);
    GW_SetLineTags();
    GW_FilterLineTags(3, 200);
    GW_IdentifyObjects();
    for (int32_t tag = GW_GetPotentialLine(0); tag != 0; tag = GW_GetPotentialLine(tag)) {
        GW_SplitJoinedObjectsInLine(tag);
    }
    GW_IdentifyObjects();
    char text[512] = {};
    GW_FilterBestLineWithSpaces(text, int32_t(sizeof text));
    GW_DestroyArea();
    return text;
}

std::string ReadLine(const Sample& sample) {
    static std::map<std::string, std::unique_ptr<render::TextRenderer>> renderers;
    auto& renderer = renderers[sample.fontPath];
    if (!renderer) renderer = std::make_unique<render::TextRenderer>(sample.fontPath);
    const render::GreyImage image = renderer->RenderLine(sample.text, sample.variation);
    return ReadImage(image, sample.font, sample.variation.capHeight);
}

}  // namespace gw::accuracy
