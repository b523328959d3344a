// Scan lines across a grey image in several directions, and the reads they
// give, each placed in the image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "shared/Deadline.h"
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

/// Grey levels read in place: row y starts at data + y * stride, 0 black.
struct GreyView {
    const uint8_t* data = nullptr;
    uint32_t width = 0, height = 0;
    ptrdiff_t stride = 0;
};

/// What to scan for and how densely.
struct ScanSettings {
    bool code39 = true, code128 = true;
    int directions = 4;  ///< line directions over half a turn, evenly spaced
    int divisions = 32;  ///< the coarse line spacing is the image's short side over this
    /// and at most this many pixels. On the generated sets of
    /// bench/make-barcode-set (seed 18: the default kinds, tight with
    /// --count 60, close) 8, 12 and 16 read alike (261 to 262 of 272, 45 of
    /// 60, 8 of 8) and the real sample alike (60 of 61); 12 took the real
    /// 12-megapixel photos' in-call time from 62 to 46 ms, 16 to 44 ms. 12
    /// keeps three lines across symbols 36 pixels tall.
    int maxSpacing = 12;
    /// Read only the parts of each line near squares whose edges run mostly
    /// one way (bars), not those across flat paper, print or texture.
    bool gate = true;
};

/// Scans grey along lines in every direction, each read both ways; around a
/// line that reads something, the lines between it and its neighbours are
/// scanned too. A picture with a short side under 64 pixels that reads
/// nothing with the gate is scanned again without it. Returns every read
/// with its place.
/// Stops early (returning what it has) once deadline, when not null, expires;
/// it is asked once per scan line.
std::vector<LineHit> ScanImage(const GreyView& grey, const ScanSettings& settings,
                               Deadline* deadline = nullptr);

}  // namespace gw::barcodes
