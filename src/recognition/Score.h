// Scoring an object's cell string against a pattern's.
//
// Each (pattern code, object code) pair earns points; the score is their sum
// times 4. The fast form keeps, per pattern, the points that every cell
// earns for each of the four object codes, biased to bytes, so that one pass
// of byte operations scores 16 cells at a time and stops early once the
// pattern can no longer beat the best score so far.
#pragma once

#include <cstdint>
#include <string>

#include "recognition/PatternStore.h"

namespace gw {

/// Object cell codes in index order: "-" 0, "0" 1, "1" 2, "X" 3.
inline constexpr char kObjectCodes[] = "-01X";

/// Cells scored per step of the fast form.
inline constexpr int32_t kChunk = 16;

/// The score of an object's cell string (codes "-", "0", "1", "X") against
/// a pattern's: the sum over the object's positions of the pair's points,
/// times 4. Positions past the end of the pattern's cells score 0.
int32_t CompareCells(const char* objectCells, const std::string& patternCells);

/// Number of 16-cell steps of a grid of cells cells.
inline int32_t ChunksOf(int32_t cells) {
    return (cells + kChunk - 1) / kChunk;
}

/// Bytes of the per-pattern table and of an object's masks: 4 x 16 per step.
inline size_t TableBytes(int32_t cells) {
    return static_cast<size_t>(ChunksOf(cells)) * 4 * kChunk;
}

/// Turns an object's cell codes (indexes 0..3, cells of them) into the masks
/// that ScoreAbove reads (TableBytes(cells) bytes).
void BuildMasks(const uint8_t* codes, int32_t cells, uint8_t* masks);

/// Scores a pattern's table against an object's masks over cells cells. True
/// with the score when it exceeds beat; false as soon as it cannot.
bool ScoreAbove(const uint8_t* table, const uint8_t* masks, int32_t cells, int32_t beat,
                int32_t& score);

}  // namespace gw
