// The scan shared by the barcode readers: row refresh, 40 scan lines, run
// extraction, the reference count, clearing and merging.
#include "barcode/Runs.h"

#include <algorithm>

#include "area/Area.h"
#include "platform/Signals.h"

namespace gw {

namespace {

// Scan lines are spaced (bottom - top) / 41 rows apart, from top + step.
constexpr int32_t kSpacingDivisor = kScanLines + 1;
// Code 39 lines need at least one character and its gap (ten widths) plus one.
constexpr int32_t kMinCode39Count = 11;

template <bool Bits>
int32_t ExtractRunsOf(const uint8_t* row, int32_t left, int32_t right, uint8_t limit,
                      uint32_t* widths) {
    int32_t x = left;
    while (x <= right && !Pixels<Bits>::Ink(row, x, limit)) ++x;  // paper before the first bar
    if (x > right) return 0;
    dv::Beep(1, 1);
    int32_t count = 0;
    bool ink = true;
    uint32_t length = 1;
    for (++x; x <= right; ++x) {
        const bool state = Pixels<Bits>::Ink(row, x, limit);
        if (state == ink) {
            ++length;
            continue;
        }
        widths[count++] = length;
        length = 1;
        ink = state;
        dv::Beep(1, 1);
    }
    return count;  // the run in progress at `right` is dropped
}

}  // namespace

bool ClipToArea(const AREAINFO& area, const RECT& rect, RECT& clipped) {
    const int64_t areaRight = int64_t{area.left} + area.width - 1;
    const int64_t areaBottom = int64_t{area.top} + area.height - 1;
    clipped.left = std::max(rect.left, area.left);
    clipped.top = std::max(rect.top, area.top);
    clipped.right = static_cast<int32_t>(std::min<int64_t>(rect.right, areaRight));
    clipped.bottom = static_cast<int32_t>(std::min<int64_t>(rect.bottom, areaBottom));
    return clipped.left <= clipped.right && clipped.top <= clipped.bottom;
}

void ExtractRuns(const AREAINFO& area, int32_t left, int32_t right, int32_t y, RunLine& line) {
    line.count = 0;
    RECT clipped;
    if (left > right || !ClipToArea(area, RECT{left, y, right, y}, clipped)) return;
    // Paper outside the area adds nothing but may end the first bar early:
    // the visible part of a bar cut by the area is what the line sees.
    const size_t columns = static_cast<size_t>(clipped.right - clipped.left + 1);
    if (line.widths.size() < columns) line.widths.resize(columns);
    line.capacity = static_cast<int32_t>(line.widths.size());
    const uint8_t* row = area.workRows[y - area.top];
    line.count = BitAccessors() ? ExtractRunsOf<true>(row, clipped.left, clipped.right,
                                                      InkLimit(area), line.widths.data())
                                : ExtractRunsOf<false>(row, clipped.left, clipped.right,
                                                       InkLimit(area), line.widths.data());
}

void ScanRectangle(AREAINFO& area, const RECT& rect, ScanPlan& plan) {
    LoadWorkRows(area);
    RECT clipped;
    if (!ClipToArea(area, rect, clipped)) {
        for (RunLine& line : plan) line.count = 0;
        return;
    }
    const int32_t step = (clipped.bottom - clipped.top) / kSpacingDivisor;
    for (int32_t k = 1; k <= kScanLines; ++k) {
        RunLine& line = plan[static_cast<size_t>(k - 1)];
        line.widths.assign(static_cast<size_t>(clipped.right - clipped.left + 1), 0);
        line.capacity = static_cast<int32_t>(line.widths.size());
        ExtractRuns(area, clipped.left, clipped.right, clipped.top + k * step, line);
    }
}

int32_t MostFrequentCount(const ScanPlan& plan) {
    int32_t reference = 0;
    int32_t best = 0;
    for (const RunLine& line : plan) {
        if (line.count < kMinCode39Count) continue;
        const auto same = std::count_if(plan.begin(), plan.end(), [&](const RunLine& other) {
            return other.count == line.count;
        });
        if (same > best) {  // strictly more: the first of equal counts wins
            best = static_cast<int32_t>(same);
            reference = line.count;
        }
    }
    return reference;
}

void ClearDisagreeingLines(ScanPlan& plan, int32_t reference) {
    for (RunLine& line : plan) {
        if (line.count == reference) continue;
        std::fill(line.widths.begin(), line.widths.end(), 0u);
        line.count = 0;
    }
}

MergedWidths MergeSums(const ScanPlan& plan, int32_t reference) {
    MergedWidths merged(static_cast<size_t>(std::max(reference, 0)), 0);
    for (const RunLine& line : plan) {
        // Cleared lines add 0; a kept line holds exactly `reference` widths.
        const size_t used = std::min(merged.size(), static_cast<size_t>(line.count));
        for (size_t j = 0; j < used; ++j) merged[j] += line.widths[j];
    }
    return merged;
}

MergedWidths MergeMeans(const ScanPlan& plan, int32_t reference) {
    MergedWidths merged = MergeSums(plan, reference);
    for (int64_t& sum : merged)
        sum = sum / kScanLines + (sum % kScanLines >= kScanLines / 2 ? 1 : 0);
    return merged;
}

}  // namespace gw
