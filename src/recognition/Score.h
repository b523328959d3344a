// Scoring an object's cell string against a pattern's.
//
// Each (pattern code, object code) pair earns points; the score is their sum
// times 4. The fast form keeps, for every cell and object code, the points
// that each pattern of a font earns, biased to bytes, so that one pass over
// an object's cells sums 16 patterns with each byte addition.
#pragma once

#include <cstdint>
#include <string>

#include "recognition/PatternStore.h"

namespace gw {

/// Object cell codes in index order: "-" 0, "0" 1, "1" 2, "X" 3.
inline constexpr char kObjectCodes[] = "-01X";

/// The score of an object's cell string (codes "-", "0", "1", "X") against
/// a pattern's: the sum over the object's positions of the pair's points,
/// times 4. Positions past the end of the pattern's cells score 0.
int32_t CompareCells(const char* objectCells, const std::string& patternCells);

/// Patterns scored side by side: the tables hold this many a cell and code.
inline constexpr size_t kLanes = 16;

/// The pattern count rounded up to whole lanes: the stride of a font's
/// table between one (cell, object code) pair and the next.
inline size_t PatternStride(size_t patterns) {
    return (patterns + kLanes - 1) / kLanes * kLanes;
}

/// The biased sums of an object's cell codes against every pattern lane of
/// the font (the points of each cell plus 10, so never negative), one a lane
/// of the font's stride; lanes past the last pattern hold 0.
void SumPatterns(const PatternFont& font, const uint8_t* codes, uint16_t* sums);

/// SumPatterns of codes, found from baseSums, those of baseCodes, by changing
/// only the cells whose codes differ; much quicker when few differ.
void ResumPatterns(const PatternFont& font, const uint8_t* baseCodes, const uint16_t* baseSums,
                   const uint8_t* codes, uint16_t* sums);

/// The first pattern in file order of the highest score among those that
/// admitted marks with 1 (at least one must be), from the SumPatterns of an
/// object: returns its index and writes its score. admitted holds 0 or 1 for
/// each lane of the font's stride, 0 past the last pattern.
size_t BestAdmitted(const PatternFont& font, const uint16_t* sums, const uint8_t* admitted,
                    int32_t* score);

}  // namespace gw
