// Classifying a zone's cells with a trained network: a small convolutional
// network (two convolutions, one dense layer) trained by tools/mrz-train on
// cells that the reader's own find and cut gave from generated pages
// (`mrz-pages cells`), exported to ONNX and read with OpenCV's dnn module,
// whose reading of the weights the reader's own loops run (dnn itself runs
// a model of another shape). The network's bytes are compiled into the library
// (MrzModelData.inc), so nothing is looked up at run time.
//
// Scores are probabilities: for every cell, the 37 values (kAlphabet's order)
// are each 0 to 1 and sum to 1, calibrated on held-out generated cells by
// temperature scaling, so that a character read with probability p is right
// about p of the time (the reliability table is in docs/mrz-model.md).
#pragma once

#include <cstddef>
#include <vector>

#include "mrz/MrzCut.h"
#include "mrz/MrzGrammar.h"

namespace gw::mrz {

/// The lowest calibrated probability of every character of a zone reported
/// valid (see MrzLimits::kMinProbability, where its run is noted).
inline constexpr float kMinCharProbability = MrzLimits::kMinProbability;

/// The probabilities of the 37 characters for each of count cells. Safe to
/// call from several threads at once: the weights are read once and shared
/// read-only (where the dnn module runs the network, each thread runs its
/// own copy, built on its first call). Returns an empty vector when count is
/// 0 or cells is null.
std::vector<Scores> ClassifyCells(const Patch* cells, size_t count);

/// The registers the classifier's own loops run in: the baseline x86-64's
/// SSE ones, AVX2's or AVX-512's. All give the same sums in the same order,
/// so the same probabilities to the last bit.
enum class Registers { Baseline, Avx2, Avx512 };

/// The widest registers this processor has (ClassifyCells runs in them).
Registers FastestRegisters();

/// ClassifyCells in the given registers (which the processor must have).
std::vector<Scores> ClassifyCellsIn(const Patch* cells, size_t count, Registers registers);

/// The same as ClassifyCells, always by OpenCV's dnn module running the
/// model as exported (ClassifyCells runs the same network by loops of its
/// own, in less time; they agree to rounding).
std::vector<Scores> ClassifyCellsByDnn(const Patch* cells, size_t count);

/// The probabilities of the 37 characters for one cell.
Scores Classify(const Patch& cell);

/// A cell of small print's probabilities as calibrated for small print:
/// each raised to MrzLimits::kSmallSharpen and all summed to 1 again (the
/// order of the characters is unchanged).
void SharpenSmall(Scores& s);

}  // namespace gw::mrz
