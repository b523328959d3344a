// glyphwick-patterns: builds a pattern file from font files.
//
//   glyphwick-patterns --out FILE [--grid WxH] [--chars SET] [--refine ROUNDS]
//                      NAME=FONTFILE[@SOURCE] ...
//
// Each NAME=FONTFILE opens one font in the output, in the order given; SOURCE
// describes where the font file came from (its package and date) and goes into
// the file's comment header. The same inputs always give the same file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Builder.h"
#include "DevSet.h"
#include "Refine.h"

namespace {

// A comment is one token: blanks become underscores.
std::string Comment(std::string text) {
    for (char& c : text) {
        if (c == ' ' || c == '\t' || c == '\n') c = '_';
    }
    return "##" + text;
}

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: glyphwick-patterns --out FILE [--grid WxH] [--chars SET] "
                 "[--refine ROUNDS] NAME=FONTFILE[@SOURCE] ...\n");
    return 2;
}

void Progress(char c) {
    std::fputc(c, stderr);
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
    std::string out, characters = gw::accuracy::kCharacterSet;
    int gridW = 10, gridH = 14;
    double tolerance = 0.25, margin = 0.08;
    int band = 26, refine = 2;
    struct FontArg {
        std::string name, path, source;
    };
    std::vector<FontArg> fonts;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--out" && i + 1 < argc) {
            out = argv[++i];
        } else if (arg == "--grid" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &gridW, &gridH) != 2 || gridW < 1 || gridH < 1 ||
                gridW > 40 || gridH > 40) {
                std::fprintf(stderr, "glyphwick-patterns: bad grid %s\n", argv[i]);
                return 2;
            }
        } else if (arg == "--band" && i + 1 < argc) {
            band = std::atoi(argv[++i]);
        } else if (arg == "--refine" && i + 1 < argc) {
            refine = std::atoi(argv[++i]);
        } else if (arg == "--margin" && i + 1 < argc) {
            margin = std::atof(argv[++i]);
        } else if (arg == "--tolerance" && i + 1 < argc) {
            tolerance = std::atof(argv[++i]);
        } else if (arg == "--chars" && i + 1 < argc) {
            characters = argv[++i];
        } else if (arg.find('=') != std::string::npos && arg[0] != '-') {
            FontArg f;
            f.name = arg.substr(0, arg.find('='));
            std::string rest = arg.substr(arg.find('=') + 1);
            const auto at = rest.find('@');
            f.path = rest.substr(0, at);
            if (at != std::string::npos) f.source = rest.substr(at + 1);
            fonts.push_back(f);
        } else {
            return Usage();
        }
    }
    if (out.empty() || fonts.empty() || characters.empty()) return Usage();

    std::string text;
    text += "##Glyphwick_pattern_file\n";
    text += Comment("tool: glyphwick-patterns") + "\n";
    text += Comment("grid: " + std::to_string(gridW) + "x" + std::to_string(gridH)) + "\n";
    text += Comment(
                "built: each character rendered with FreeType at cap heights 16 to 48 px, "
                "3x2 sub-pixel offsets, 3 stroke weights, 4 ink and threshold levels, light "
                "noise on half; segmented and reduced to cells by the library's own extraction, "
                "cleaning and grid code; each cell the code of highest expected score; ratio "
                "range the observed one widened 8% each way; then the cells of characters "
                "read as each other rewritten one by one while that widens the renderings' "
                "margins") +
            "\n";
    for (const FontArg& f : fonts) {
        gw::patterns::BuildSettings s;
        s.fontPath = f.path;
        s.fontName = f.name;
        s.characters = characters;
        s.gridWidth = gridW;
        s.gridHeight = gridH;
        s.tolerance = tolerance;
        s.ratioMargin = margin;
        s.bandSplitCap = band;
        s.refineRounds = refine;
        std::fprintf(stderr, "%s: ", f.name.c_str());
        gw::patterns::RefineSummary refined;
        const auto patterns = gw::patterns::BuildFont(s, Progress, &refined);
        std::fprintf(
            stderr, " (%zu patterns; renderings read wrong: %zu of %zu, %zu after refinement)\n",
            patterns.size(), refined.misreadBefore, refined.renderings, refined.misreadAfter);
        if (patterns.empty()) {
            std::fprintf(stderr, "glyphwick-patterns: %s: font cannot be used\n", f.path.c_str());
            return 2;
        }
        text += "\n" + Comment("font: " + BaseName(f.path)) + "\n";
        if (!f.source.empty()) text += Comment("source: " + f.source) + "\n";
        text +=
            f.name + "\nMATRIX_SIZE=" + std::to_string(gridW) + "x" + std::to_string(gridH) + "\n";
        for (const auto& p : patterns) {
            text += std::string(1, p.character) + " " + p.minRatio + " " + p.maxRatio + "\n";
            for (int r = 0; r < gridH; ++r)
                text += p.cells.substr(size_t(r * gridW), size_t(gridW)) + "\n";
        }
    }
    FILE* file = std::fopen(out.c_str(), "wb");
    if (!file || std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
        std::fprintf(stderr, "glyphwick-patterns: cannot write %s\n", out.c_str());
        if (file) std::fclose(file);
        return 2;
    }
    std::fclose(file);
    return 0;
}
