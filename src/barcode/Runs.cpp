// The scan shared by the barcode readers: row refresh, 40 scan lines, run
// extraction, the reference count, clearing and merging.
#include "barcode/Runs.h"

#include <algorithm>
#include <array>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "area/Area.h"
#include "platform/Signals.h"

namespace gw {

namespace {

// Scan lines are spaced (bottom - top) / 41 rows apart, from top + step.
constexpr int32_t kSpacingDivisor = kScanLines + 1;
// Code 39 lines need at least one character and its gap (ten widths) plus one.
constexpr int32_t kMinCode39Count = 11;

constexpr int32_t kBlock = 32;  // pixels whose ink is tested at once

// Ink of pixels x .. x + n - 1 (n <= 32) as bits, pixel x in bit 0.
template <bool Bits>
uint32_t InkMaskScalar(const uint8_t* row, int32_t x, int32_t n, uint8_t limit) {
    uint32_t mask = 0;
    for (int32_t i = 0; i < n; ++i)
        mask |= static_cast<uint32_t>(Pixels<Bits>::Ink(row, x + i, limit)) << i;
    return mask;
}

// Bit order of a 1-bit row's byte turned around: pixel 0 in bit 0.
constexpr std::array<uint8_t, 256> kReversedBits = [] {
    std::array<uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v) {
        int r = 0;
        for (int b = 0; b < 8; ++b) r |= ((v >> b) & 1) << (7 - b);
        table[static_cast<size_t>(v)] = static_cast<uint8_t>(r);
    }
    return table;
}();

// A whole block of 32 pixels. Byte rows compare 16 bytes at a time; bit rows
// whose block starts on a byte take four bytes.
template <bool Bits>
uint32_t InkMaskBlock(const uint8_t* row, int32_t x, uint8_t limit) {
    if constexpr (Bits) {
        if ((x & 7) != 0) return InkMaskScalar<true>(row, x, kBlock, limit);
        const uint8_t* p = row + (x >> 3);
        return uint32_t{kReversedBits[p[0]]} | uint32_t{kReversedBits[p[1]]} << 8 |
               uint32_t{kReversedBits[p[2]]} << 16 | uint32_t{kReversedBits[p[3]]} << 24;
    } else {
#if defined(__SSE2__)
        // byte < limit  <=>  min(byte, limit - 1) == byte  (limit is at least 1 here)
        const __m128i below = _mm_set1_epi8(static_cast<char>(limit - 1));
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x + 16));
        const uint32_t maskLo =
            static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(lo, below), lo)));
        const uint32_t maskHi =
            static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(hi, below), hi)));
        return maskLo | maskHi << 16;
#else
        return InkMaskScalar<false>(row, x, kBlock, limit);
#endif
    }
}

// Finds every change between ink and paper from left to right, paper before
// left: the first is the first ink pixel. Each change closes the run before
// it; the run open at `right` is never closed. Blocks of pixels are tested at
// once so that the many short runs of a barcode cost no mispredicted branch
// per pixel. Every change beeps; the beeps are given after the line, which
// no observer can tell apart from one at each change.
template <bool Bits>
int32_t ExtractRunsOf(const uint8_t* row, int32_t left, int32_t right, uint8_t limit,
                      uint32_t* widths) {
    if (!Bits && limit == 0) return 0;  // no byte is below 0: no ink
    int32_t count = 0;
    int32_t last = -1;    // where the open run started, -1 before the first ink
    uint32_t before = 0;  // ink of the pixel before the block
    for (int32_t x = left; x <= right; x += kBlock) {
        const int32_t n = std::min(kBlock, right - x + 1);
        const uint32_t ink =
            n == kBlock ? InkMaskBlock<Bits>(row, x, limit) : InkMaskScalar<Bits>(row, x, n, limit);
        uint32_t changes = ink ^ ((ink << 1) | before);
        if (n < kBlock) changes &= (1u << n) - 1;
        before = (ink >> (n - 1)) & 1;
        if (last < 0 && changes != 0) {  // the first ink opens the first bar
            last = x + std::countr_zero(changes);
            changes &= changes - 1;
        }
        while (changes != 0) {
            const int32_t at = x + std::countr_zero(changes);
            changes &= changes - 1;
            widths[count++] = static_cast<uint32_t>(at - last);
            last = at;
        }
    }
    if (dv::SignalsObserved() && last >= 0)
        for (int32_t i = 0; i <= count; ++i) dv::Beep(1, 1);
    return count;
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
    // Only the area's columns are read: a bar cut by the area's edge is seen
    // as far as the area reaches.
    const int32_t columns = clipped.right - clipped.left + 1;
    if (line.widths == nullptr || line.capacity < columns) {
        line.widths.reset(new uint32_t[static_cast<size_t>(columns)]);
        line.capacity = columns;
    }
    const uint8_t* row = area.workRows[y - area.top];
    line.count = BitAccessors() ? ExtractRunsOf<true>(row, clipped.left, clipped.right,
                                                      InkLimit(area), line.widths.get())
                                : ExtractRunsOf<false>(row, clipped.left, clipped.right,
                                                       InkLimit(area), line.widths.get());
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
        ExtractRuns(area, clipped.left, clipped.right, clipped.top + k * step,
                    plan[static_cast<size_t>(k - 1)]);
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
        std::fill(line.widths.get(), line.widths.get() + line.count, 0u);
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
