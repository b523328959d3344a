// Scan lines across a grey image in several directions, and the reads they
// give, each placed in the image.
#pragma once

#include <cstddef>
#include <vector>

#include "GlyphwickGrey.h"
#include "barcode/scan/LineDecoders.h"

namespace gw::barcodes {

struct Point {
    float x = 0, y = 0;
};

/// A symbol read on one scan line: where it starts and ends in the image
/// (start to stop, whichever way the line ran).
struct LineHit {
    LineRead read;
    Point start, end;
};

/// What to scan for and how densely.
struct ScanSettings {
    bool code39 = true, code128 = true;
    int directions = 4;  ///< line directions over half a turn, evenly spaced
    int divisions = 32;  ///< the coarse line spacing is the image's short side over this
    int maxSpacing = 8;  ///< and at most this many pixels
};

/// Scans grey along lines in every direction, each read both ways; around a
/// line that reads something, the lines between it and its neighbours are
/// scanned too. Returns every read with its place.
std::vector<LineHit> ScanImage(const GreyImage& grey, const ScanSettings& settings);

}  // namespace gw::barcodes
