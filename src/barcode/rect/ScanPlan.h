// Bar and space runs: the scan that both barcode readers share. A rectangle
// of the current area is crossed by 40 horizontal scan lines; each line is a
// list of run widths (bar, space, bar, ...); the lines that agree with a
// reference count are merged width by width.
//
// Each line is read once: its changes between ink and paper are kept as bit
// masks, and the merge sums the change columns of the lines that agree with
// the reference count, from which the merged widths follow. A disagreeing
// line adds nothing, which is the same as clearing it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "Glyphwick.h"

struct AREAINFO;

namespace gw {

constexpr int32_t kScanLines = 40;
/// Widths recorded by each scan line; line k (1 to 40) is counts[k - 1].
using LineCounts = std::array<int32_t, kScanLines>;
/// Merged widths: Code 39 keeps the plain sums, Code 128 the means.
using MergedWidths = std::vector<int64_t>;

/// The 40 scan lines over a rectangle clipped to the area: line k (1 to 40)
/// reads row top + k * step, columns left to right. Empty when right < left.
struct ScanPlan {
    int32_t left = 0;
    int32_t right = -1;
    int32_t top = 0;
    int32_t step = 0;
    LineCounts counts{};  ///< all 0 for an empty plan
    /// Change masks of the lines read, words per line: bit i of word w is set
    /// when column left + 32w + i differs from the column before it (paper
    /// before left). Line k's masks are the lines[k - 1]-th set; lines read
    /// alike share one.
    int32_t words = 0;
    std::unique_ptr<uint32_t[]> masks;
    std::array<int32_t, kScanLines> lines{};
    const uint32_t* Masks(int32_t k) const {
        return masks.get() + static_cast<size_t>(lines[static_cast<size_t>(k - 1)]) * words;
    }
    int32_t Row(int32_t k) const { return top + k * step; }
};

/// Intersects rect with the current area's rows and columns (right and bottom
/// inclusive). False when the intersection is empty.
bool ClipToArea(const AREAINFO& area, const RECT& rect, RECT& clipped);

/// Number of widths that image row y records from column left to right: one
/// per change between ink and paper after the first ink pixel; the run open
/// at right is never recorded. Reads the area's workRows as the current
/// accessors do (ink: set bit, or byte below the threshold), or the image's
/// pixels that they will hold while their refresh is owed (ScanRow); rows and
/// columns outside the area read as paper. Signals a beep (1 Hz, 1 ms) at the first
/// ink pixel and at every later change.
int32_t CountRuns(const AREAINFO& area, int32_t left, int32_t right, int32_t y);

/// Refreshes the area's workRows from its image (RefreshWorkRows), then
/// plans the 40 lines over rect clipped to the area, step = (bottom - top) /
/// 41, and reads each line once, keeping its changes and count (beeping as
/// CountRuns does).
ScanPlan ScanRectangle(AREAINFO& area, const RECT& rect);

/// Code 39 reference count: the most frequent count of 11 or more, the first
/// met from the top among equally frequent ones; 0 when no line has 11.
int32_t MostFrequentCount(const LineCounts& counts);

/// Code 128 reference count: the count of scan line 21.
inline int32_t Line21Count(const LineCounts& counts) {
    return counts[20];
}

/// Sums of width j, j = 0 .. reference - 1, over the lines of plan whose
/// count is reference (the others count as cleared: they add 0).
MergedWidths MergeSums(const ScanPlan& plan, int32_t reference);

/// Sums divided by 40 (whatever the lines kept), a remainder of 20 or more
/// rounding up.
MergedWidths MergeMeans(const ScanPlan& plan, int32_t reference);

}  // namespace gw
