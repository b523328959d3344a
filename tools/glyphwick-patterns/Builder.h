// Builds the patterns of one font from many renderings of each character.
//
// Every rendering is segmented by the library's own extraction and cleaning
// and reduced to its cell string by the library's own grid and cell code, so
// the patterns see exactly what identification will see. Each cell's pattern
// code is the one that earns the most points over the renderings under the
// scoring table; characters whose renderings disagree too much get more than
// one pattern, split by shape.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "TextRender.h"

namespace gw::patterns {

/// What the builder is told.
struct BuildSettings {
    std::string fontPath;    ///< the font file
    std::string fontName;    ///< the name the patterns are filed under
    std::string characters;  ///< the character set, one byte each
    int32_t gridWidth = 10;
    int32_t gridHeight = 14;
    int minCap = 16;  ///< cap heights rendered, in pixels
    int maxCap = 48;
    int capStep = 2;
    double ratioMargin = 0.08;  ///< ratio range widened by this share each way
    double tolerance = 0.25;    ///< expected points per cell a specific code may give up
    double splitBelow = 0.01;   ///< share of renderings below acceptance that splits
    int maxPatternsPerFont = 108;
    int bandSplitCap = 26;  ///< cap heights up to this and above it get own patterns (0: none)
    int refineRounds = 2;   ///< rounds of telling confused characters apart (0: none)
};

/// One rendering reduced to what identification sees.
struct Observation {
    std::string cells;  ///< cell string, codes "-", "0", "1", "X"
    int32_t ratioWhole = 0;
    int32_t ratioHundredths = 0;
    int capHeight = 0;
    /// The box with one edge moved inwards (top, bottom, left, right), as
    /// identification also tries it: cells and ratio in hundredths.
    std::array<std::string, 4> trimmedCells;
    std::array<int32_t, 4> trimmedRatios = {};
};

/// One pattern as it goes into the file.
struct Pattern {
    char character = 0;
    std::string minRatio;  ///< "d.hh"
    std::string maxRatio;
    std::string cells;  ///< gridWidth x gridHeight codes
    int32_t low = 0;    ///< the ratio range in hundredths
    int32_t high = 0;
};

/// The variations each character is rendered with.
std::vector<render::Variation> RenderingPlan(const BuildSettings& settings);

/// Renders one character once and reduces it; false when nothing was found.
bool Observe(const render::TextRenderer& renderer, char character, const render::Variation& v,
             const BuildSettings& settings, Observation* out);

/// The pattern code of each cell: of the codes whose expected points over the
/// observations come within tolerance of the best, the most specific ("-",
/// "X", "0", "1", "/", "?" in that order).
std::string BestCells(const std::vector<const Observation*>& group, size_t cells, double tolerance);

/// The points one observation earns against a pattern's cells.
int32_t Score(const std::string& patternCells, const std::string& objectCells);

/// The renderings of one character in groups of like shape: split by size
/// band, then in two while too many renderings fail their group's cells;
/// at most budget groups.
std::vector<std::vector<const Observation*>> GroupsFor(const std::vector<Observation>& observations,
                                                       const BuildSettings& settings, int budget);

/// The cells of a group's pattern: in each cell, of the codes whose expected
/// points come within tolerance of the best, the one that earns the rival
/// groups (other characters of overlapping ratio) the fewest expected points.
std::string DiscriminativeCells(const std::vector<const Observation*>& group,
                                const std::vector<const std::vector<const Observation*>*>& rivals,
                                size_t cells, double tolerance);

struct RefineSummary;

/// Builds every pattern of the font. progress, when given, is told each
/// character as it is done; refined, when given, receives how many
/// renderings the patterns read wrong before and after refinement.
std::vector<Pattern> BuildFont(const BuildSettings& settings, void (*progress)(char) = nullptr,
                               RefineSummary* refined = nullptr);

/// Writes ratio hundredths as the pattern file's "d.hh" text, limited to 0.00..9.99.
std::string RatioText(int32_t hundredths);

}  // namespace gw::patterns
