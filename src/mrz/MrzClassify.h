// Classifying a zone's cells against character templates: each cell is
// compared, at small shifts, with the mean cell of every character by
// normalised cross-correlation, which ignores the print's darkness and the
// paper's tone.
#pragma once

#include "mrz/MrzCut.h"
#include "mrz/MrzGrammar.h"

namespace gw::mrz {

/// The template sets the library carries, each trained by `mrz-pages train`.
enum class TemplateSet {
    OcrB,       ///< OCR-B, cut as the reader cuts today
    OcrBFirst,  ///< OCR-B, cut as the reader's first version cut: a second view
    Mono,       ///< the plain monospace font (DejaVu Sans Mono) some card printers use
};

/// The score (0 to 1) of each of the 37 characters for a cell, against set.
Scores Classify(const Patch& cell, TemplateSet set = TemplateSet::OcrB);

}  // namespace gw::mrz
