// The scan shared by the barcode readers: row refresh, 40 scan lines counted,
// the reference count, and the agreeing lines' widths merged.
#include "barcode/Runs.h"

#include <algorithm>
#include <array>
#include <bit>
#include <type_traits>

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

// Set bits of v, in the portable form: no popcount instruction is assumed
// (std::popcount would become a library call).
constexpr int32_t BitCount(uint32_t v) {
    v = v - ((v >> 1) & 0x55555555u);
    v = (v & 0x33333333u) + ((v >> 2) & 0x33333333u);
    return static_cast<int32_t>((((v + (v >> 4)) & 0x0F0F0F0Fu) * 0x01010101u) >> 24);
}
static_assert(BitCount(0) == 0 && BitCount(0x80000001u) == 2 && BitCount(0xFFFFFFFFu) == 32);

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

// Calls visit(x, changes) for every block of up to 32 pixels from left to
// right: bit i of changes is set when pixel x + i differs from the pixel
// before it, paper before left. Blocks of pixels are tested at once so that
// the many short runs of a barcode cost no mispredicted branch per pixel.
template <bool Bits, class Visit>
void ForEachBlock(const uint8_t* row, int32_t left, int32_t right, uint8_t limit, Visit&& visit) {
    if (!Bits && limit == 0) return;  // no byte is below 0: no ink
    uint32_t before = 0;              // ink of the pixel before the block
    for (int32_t x = left; x <= right; x += kBlock) {
        const int32_t n = std::min(kBlock, right - x + 1);
        const uint32_t ink =
            n == kBlock ? InkMaskBlock<Bits>(row, x, limit) : InkMaskScalar<Bits>(row, x, n, limit);
        uint32_t changes = ink ^ ((ink << 1) | before);
        if (n < kBlock) changes &= (1u << n) - 1;
        before = (ink >> (n - 1)) & 1;
        visit(x, changes);
    }
}

// Calls f with the row of image row y and the accessor set as a constant, or
// returns fallback when the line lies outside the area or is empty.
template <class F, class R>
R OnLine(const AREAINFO& area, int32_t& left, int32_t& right, int32_t y, R fallback, F f) {
    RECT clipped;
    if (left > right || !ClipToArea(area, RECT{left, y, right, y}, clipped)) return fallback;
    // Only the area's columns are read: a bar cut by the area's edge is seen
    // as far as the area reaches.
    left = clipped.left;
    right = clipped.right;
    const uint8_t* row = area.workRows[y - area.top];
    return BitAccessors() ? f(row, std::true_type{}) : f(row, std::false_type{});
}

// Changes between ink and paper on a line, the first ink included.
int32_t CountChanges(const AREAINFO& area, int32_t left, int32_t right, int32_t y) {
    return OnLine(area, left, right, y, 0, [&](const uint8_t* row, auto bits) {
        int32_t changes = 0;
        ForEachBlock<decltype(bits)::value>(
            row, left, right, InkLimit(area),
            [&](int32_t, uint32_t mask) { changes += BitCount(mask); });
        return changes;
    });
}

// The first change opens the first bar; every later one closes a run.
constexpr int32_t WidthsOf(int32_t changes) {
    return changes > 0 ? changes - 1 : 0;
}

void BeepTimes(int32_t changes) {
    if (!dv::SignalsObserved()) return;
    for (int32_t i = 0; i < changes; ++i) dv::Beep(1, 1);
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

int32_t CountRuns(const AREAINFO& area, int32_t left, int32_t right, int32_t y) {
    const int32_t changes = CountChanges(area, left, right, y);
    BeepTimes(changes);
    return WidthsOf(changes);
}

int32_t WriteChanges(const AREAINFO& area, int32_t left, int32_t right, int32_t y, int32_t* out) {
    int32_t n = 0;
    OnLine(area, left, right, y, 0, [&](const uint8_t* row, auto bits) {
        ForEachBlock<decltype(bits)::value>(row, left, right, InkLimit(area),
                                            [&](int32_t x, uint32_t mask) {
                                                for (; mask != 0; mask &= mask - 1)
                                                    out[n++] = x + std::countr_zero(mask);
                                            });
        return 0;
    });
    return n;
}

ScanPlan ScanRectangle(AREAINFO& area, const RECT& rect) {
    LoadWorkRows(area);
    ScanPlan plan;
    RECT clipped;
    if (!ClipToArea(area, rect, clipped)) return plan;
    plan.left = clipped.left;
    plan.right = clipped.right;
    plan.top = clipped.top;
    plan.step = (clipped.bottom - clipped.top) / kSpacingDivisor;
    // Each line is read once and its changes kept for the merge, room for a
    // change at every column. With a step of 0 every line reads row top: it
    // is read once for all.
    const size_t room = static_cast<size_t>(plan.right - plan.left) + 1;
    plan.changes.reset(new int32_t[room * (plan.step != 0 ? kScanLines : 1)]);
    int32_t changes = 0;
    int32_t* next = plan.changes.get();
    for (int32_t k = 1; k <= kScanLines; ++k) {
        const auto line = static_cast<size_t>(k - 1);
        if (k == 1 || plan.step != 0) {
            plan.lines[line] = next;
            changes = WriteChanges(area, plan.left, plan.right, plan.Row(k), next);
            next += changes;
        } else {
            plan.lines[line] = plan.lines[0];
        }
        BeepTimes(changes);
        plan.counts[line] = WidthsOf(changes);
    }
    return plan;
}

int32_t MostFrequentCount(const LineCounts& counts) {
    int32_t reference = 0;
    int32_t best = 0;
    for (const int32_t count : counts) {
        if (count < kMinCode39Count) continue;
        const auto same = std::count(counts.begin(), counts.end(), count);
        if (same > best) {  // strictly more: the first of equal counts wins
            best = static_cast<int32_t>(same);
            reference = count;
        }
    }
    return reference;
}

MergedWidths MergeSums(const ScanPlan& plan, int32_t reference) {
    if (reference <= 0) return {};
    // Width j of a line is the column of change j + 1 less that of change j,
    // so the sum of widths j is the same difference of summed columns.
    MergedWidths columns(static_cast<size_t>(reference) + 1, 0);
    for (size_t line = 0; line < plan.counts.size(); ++line) {
        if (plan.counts[line] != reference) continue;  // cleared: adds nothing
        const int32_t* changes = plan.lines[line];
        for (size_t j = 0; j < columns.size(); ++j) columns[j] += changes[j];
    }
    for (size_t j = 0; j + 1 < columns.size(); ++j) columns[j] = columns[j + 1] - columns[j];
    columns.pop_back();
    return columns;
}

MergedWidths MergeMeans(const ScanPlan& plan, int32_t reference) {
    MergedWidths merged = MergeSums(plan, reference);
    for (int64_t& sum : merged)
        sum = sum / kScanLines + (sum % kScanLines >= kScanLines / 2 ? 1 : 0);
    return merged;
}

}  // namespace gw
