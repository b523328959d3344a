// Code 39 and Code 128 read from the runs of one scan line. Each character's
// widths are judged against that character's own width, so a slow change of
// scale along the line (tilt, perspective) and ink spread (bars wider and
// spaces narrower by the same amount) do not move the readings.
#pragma once

#include <string>
#include <vector>

#include "barcode/scan/Runs.h"

namespace gw::barcodes {

/// One symbol read on one line, start to stop.
struct LineRead {
    bool code128 = false;
    std::string characters;    ///< Code 39: between start and stop
    std::vector<int> values;   ///< Code 128: start, data, check
    float start = 0, end = 0;  ///< places on the line of the first bar and the end of the last
    /// False for a start and at least three characters after it that then
    /// broke off (the line left the symbol, perhaps): only a hint of where a
    /// symbol stands.
    bool complete = true;
};

/// Appends every complete Code 39 symbol of runs, read in their order: start
/// and stop characters, quiet zones of at least a third of a character before
/// and after (or the line's end), regular gaps and character widths. widths
/// are the runs' widths (Runs::Widths), found once for both readers.
void ReadCode39Line(const Runs& runs, const std::vector<float>& widths, std::vector<LineRead>& out);

/// Appends every complete Code 128 symbol of runs, read in their order:
/// a start, values, the modulo-103 check and the stop pattern, with quiet
/// zones as for Code 39.
void ReadCode128Line(const Runs& runs, const std::vector<float>& widths,
                     std::vector<LineRead>& out);

/// The character of nine Code 39 widths (bar first), or 0.
char Code39Character(const float* widths);

/// The Code 128 value (0 to 105) best matching six widths, or -1 when none
/// matches well; the stop pattern's seven widths give 106.
int Code128Value(const float* widths, bool stop);

}  // namespace gw::barcodes
