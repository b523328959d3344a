// Character and line accuracy of the shipped pattern file on a development set
// of rendered text lines: machine-readable-zone lines of 30, 36 and 44
// characters and ordinary lines with single and double blanks, for both fonts,
// at cap heights 18 to 40 pixels, clean and with noise, blur, lighter ink,
// touching characters and broken strokes. Every line is read through the
// exports the way a host reads one: produce, clean, tag, filter lines,
// identify, split over-wide objects and identify again, best line with spaces.
//
// Usage: bench_accuracy [PATTERN_FILE] [--confusions] [--seed N]
//
// --seed renders a held-out set of the same make with another seed, to check
// that what was tuned on the development set holds beyond it.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "DVImageProcessor.h"
#include "Glyphwick.h"
#include "TextRender.h"
#include "DevSet.h"

using gw::render::GreyImage;

namespace {

// Levenshtein distance between two texts.
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> prev(b.size() + 1), cur(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) prev[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        cur[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (a[i - 1] != b[j - 1])});
        }
        std::swap(prev, cur);
    }
    return prev[b.size()];
}

struct Tally {
    size_t chars = 0;
    size_t errors = 0;
    size_t lines = 0;
    size_t linesRight = 0;
};

}  // namespace

int main(int argc, char** argv) {
    std::string patternFile = "patterns/libglyphwick.PAT";
    bool confusions = false;
    uint64_t seed = gw::accuracy::kDevSetSeed;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--confusions") == 0) {
            confusions = true;
        } else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else {
            patternFile = argv[i];
        }
    }
    GW_UnloadAllPatternFiles();
    if (GW_LoadPatternFile(patternFile.c_str()) != 1) {
        std::fprintf(stderr, "bench_accuracy: %s: pattern file does not load\n",
                     patternFile.c_str());
        return 2;
    }

    std::map<std::string, Tally> table;                      // "font variant" -> tally
    std::map<std::pair<std::string, int>, Tally> mrzBySize;  // clean MRZ lines per font and size
    std::map<std::pair<char, char>, size_t> confused;
    for (const gw::accuracy::Sample& s : gw::accuracy::MakeDevSet(seed)) {
        const std::string read = gw::accuracy::ReadLine(s);
        Tally& t = table[s.font + " " + s.variant];
        const size_t errors = EditDistance(read, s.text);
        t.chars += s.text.size();
        t.errors += std::min(errors, s.text.size());
        t.lines += 1;
        t.linesRight += errors == 0;
        if (s.kind == "mrz" && s.variant == "clean") {
            Tally& m = mrzBySize[{s.font, s.variation.capHeight}];
            m.chars += s.text.size();
            m.errors += std::min(errors, s.text.size());
            m.lines += 1;
            m.linesRight += errors == 0;
        }
        if (confusions && read.size() == s.text.size()) {
            for (size_t i = 0; i < read.size(); ++i) {
                if (read[i] != s.text[i]) confused[{s.text[i], read[i]}]++;
            }
        }
    }
    std::printf("| font | variant | lines | characters | character accuracy | line accuracy |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (const auto& [key, t] : table) {
        const auto space = key.find(' ');
        std::printf("| %s | %s | %zu | %zu | %.2f%% | %.1f%% |\n", key.substr(0, space).c_str(),
                    key.substr(space + 1).c_str(), t.lines, t.chars,
                    100.0 * double(t.chars - t.errors) / double(t.chars),
                    100.0 * double(t.linesRight) / double(t.lines));
    }
    std::printf("\nClean machine-readable-zone lines by cap height (character accuracy):\n\n");
    std::printf("| font |");
    for (int cap = 18; cap <= 40; cap += 2) std::printf(" %d |", cap);
    std::printf("\n|---|");
    for (int cap = 18; cap <= 40; cap += 2) std::printf("---|");
    std::printf("\n");
    for (const char* font : {"OCRB", "OCRA"}) {
        std::printf("| %s |", font);
        for (int cap = 18; cap <= 40; cap += 2) {
            const Tally& m = mrzBySize[{font, cap}];
            std::printf(" %.1f%% |",
                        m.chars ? 100.0 * double(m.chars - m.errors) / double(m.chars) : 0.0);
        }
        std::printf("\n");
    }
    if (confusions) {
        std::printf("\nconfusions (truth -> read: count)\n");
        for (const auto& [pair, n] : confused)
            std::printf("%c -> %c: %zu\n", pair.first, pair.second, n);
    }
    return 0;
}
