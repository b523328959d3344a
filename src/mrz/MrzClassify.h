// Classifying a zone's cells against OCR-B templates: each cell is compared,
// at small shifts, with the mean cell of every character by normalised
// cross-correlation, which ignores the print's darkness and the paper's tone.
#pragma once

#include "mrz/MrzCut.h"
#include "mrz/MrzGrammar.h"

namespace gw::mrz {

/// The score (0 to 1) of each of the 37 characters for a cell.
Scores Classify(const Patch& cell);

/// Whether the library carries templates (the trainer builds it without).
bool HasTemplates();

}  // namespace gw::mrz
