// Bar and space runs: the scan that both barcode readers share. A rectangle
// of the current area is crossed by 40 horizontal scan lines; each line
// becomes a list of run widths (bar, space, bar, ...); the lines that agree
// with a reference count are merged width by width.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "Glyphwick.h"

struct AREAINFO;

namespace gw {

/// One scan line: widths[0] is the first bar, even positions are bars and odd
/// ones spaces. The run in progress at the line's right end is never recorded.
struct RunLine {
    std::unique_ptr<uint32_t[]> widths;  ///< capacity entries, the first count recorded
    int32_t count = 0;
    int32_t capacity = 0;  ///< at least the columns scanned, right - left + 1
};

constexpr int32_t kScanLines = 40;
/// Scan line k of the design's numbering (1 to 40) is plan[k - 1].
using ScanPlan = std::array<RunLine, kScanLines>;
/// Merged widths: Code 39 keeps the plain sums, Code 128 the means.
using MergedWidths = std::vector<int64_t>;

/// Intersects rect with the current area's rows and columns (right and bottom
/// inclusive). False when the intersection is empty.
bool ClipToArea(const AREAINFO& area, const RECT& rect, RECT& clipped);

/// Fills line from image row y, columns left to right, reading the area's
/// workRows as the current accessors do (ink: set bit, or byte below the
/// threshold). Rows and columns outside the area read as paper. Signals a
/// beep (1 Hz, 1 ms) at the first ink pixel and at every later change. Grows
/// widths when the line's capacity is below the columns scanned.
void ExtractRuns(const AREAINFO& area, int32_t left, int32_t right, int32_t y, RunLine& line);

/// Reloads the area's workRows from its image, then fills the 40 lines of plan
/// over rect clipped to the area: step = (bottom - top) / 41, line k on row
/// top + k * step. With an empty intersection every line has count 0.
void ScanRectangle(AREAINFO& area, const RECT& rect, ScanPlan& plan);

/// Code 39 reference count: the most frequent count of 11 or more, the first
/// met from the top among equally frequent ones; 0 when no line has 11.
int32_t MostFrequentCount(const ScanPlan& plan);

/// Code 128 reference count: the count of scan line 21.
inline int32_t Line21Count(const ScanPlan& plan) {
    return plan[20].count;
}

/// Zeroes the recorded widths and the count of each line whose count is not
/// reference.
void ClearDisagreeingLines(ScanPlan& plan, int32_t reference);

/// Sums of widths[j] over all lines, j = 0 .. reference - 1.
MergedWidths MergeSums(const ScanPlan& plan, int32_t reference);

/// Sums divided by 40 (whatever the lines kept), a remainder of 20 or more
/// rounding up.
MergedWidths MergeMeans(const ScanPlan& plan, int32_t reference);

}  // namespace gw
