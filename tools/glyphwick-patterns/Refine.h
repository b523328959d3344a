// Tells confused characters of a font apart.
//
// The patterns that the builder derives character by character may still
// lose renderings of one character to a look-alike (OCR-B "O" and "0").
// Refinement reads every rendering the way identification does (five tries,
// ratio ranges, best score) and, for each pair of characters that are
// confused, rewrites the cells of their patterns one cell at a time wherever
// that widens the margins by which the renderings of both are read right.
#pragma once

#include <vector>

#include "Builder.h"

namespace gw::patterns {

/// Renderings read wrong before and after refinement.
struct RefineSummary {
    size_t renderings = 0;
    size_t misreadBefore = 0;
    size_t misreadAfter = 0;
};

/// Refines the patterns of one font in place; observations[i] are the
/// renderings of settings.characters[i]. Ratio ranges are kept. Does
/// nothing when settings.refineRounds is 0 or the patterns do not fit the
/// grid.
RefineSummary RefinePatterns(const BuildSettings& settings,
                             const std::vector<std::vector<Observation>>& observations,
                             std::vector<Pattern>& patterns);

}  // namespace gw::patterns
