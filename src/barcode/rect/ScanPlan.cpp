// The scan shared by the barcode readers: row refresh, 40 scan lines counted,
// the reference count, and the agreeing lines' widths merged.
#include "barcode/rect/ScanPlan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <vector>

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

// Ink of whole blocks of 32 pixels. Bit rows whose block starts on a byte
// take four bytes; byte rows are tested 16 bytes at a time.
template <bool Bits>
class BlockInk {
  public:
    explicit BlockInk(uint8_t) {}
    uint32_t operator()(const uint8_t* row, int32_t x) const {
        // A block that does not start on a byte ends in a fifth byte, still
        // within the block's last column.
        const uint8_t* p = row + (x >> 3);
        const int32_t shift = x & 7;
        uint64_t bits = uint64_t{kReversedBits[p[0]]} | uint64_t{kReversedBits[p[1]]} << 8 |
                        uint64_t{kReversedBits[p[2]]} << 16 | uint64_t{kReversedBits[p[3]]} << 24;
        if (shift != 0) bits |= uint64_t{kReversedBits[p[4]]} << 32;
        return static_cast<uint32_t>(bits >> shift);
    }
};

#if defined(__SSE2__)
template <>
class BlockInk<false> {
  public:
    // A saturating move of every byte by the distance from limit to 128
    // leaves the top bit clear exactly for the bytes below limit.
    explicit BlockInk(uint8_t limit)
        : up_(limit <= 128),
          shift_(_mm_set1_epi8(static_cast<char>(up_ ? 128 - limit : limit - 128))) {}
    uint32_t operator()(const uint8_t* row, int32_t x) const {
        return Sixteen(row + x) | Sixteen(row + x + 16) << 16;
    }

  private:
    uint32_t Sixteen(const uint8_t* p) const {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i moved = up_ ? _mm_adds_epu8(bytes, shift_) : _mm_subs_epu8(bytes, shift_);
        return ~static_cast<uint32_t>(_mm_movemask_epi8(moved)) & 0xFFFFu;
    }
    bool up_;
    __m128i shift_;
};
#else
template <>
class BlockInk<false> {
  public:
    explicit BlockInk(uint8_t limit) : limit_(limit) {}
    uint32_t operator()(const uint8_t* row, int32_t x) const {
        return InkMaskScalar<false>(row, x, kBlock, limit_);
    }

  private:
    uint8_t limit_;
};
#endif

// Number of words of change masks for columns left to right.
int32_t MaskWords(int32_t left, int32_t right) {
    return left > right ? 0 : (right - left) / kBlock + 1;
}

// Writes the change masks of columns left to right of a row: bit i of word w
// is set when pixel left + 32w + i differs from the pixel before it, paper
// before left. Blocks of pixels are tested at once so that the many short
// runs of a barcode cost no mispredicted branch per pixel.
template <bool Bits>
void ChangeMasks(const uint8_t* row, int32_t left, int32_t right, uint8_t limit, uint32_t* masks) {
    const int32_t words = MaskWords(left, right);
    if (!Bits && limit == 0) {  // no byte is below 0: no ink
        std::fill(masks, masks + words, 0u);
        return;
    }
    const BlockInk<Bits> blockInk(limit);
    const int32_t full = words > 0 ? (right - left + 1) / kBlock : 0;
    uint32_t before = 0;  // ink of the pixel before the block
    for (int32_t w = 0; w < full; ++w) {
        const uint32_t ink = blockInk(row, left + w * kBlock);
        masks[w] = ink ^ ((ink << 1) | before);
        before = ink >> (kBlock - 1);
    }
    if (full < words) {  // the last block, cut short
        const int32_t x = left + full * kBlock;
        const int32_t n = right - x + 1;
        const uint32_t ink = InkMaskScalar<Bits>(row, x, n, limit);
        masks[full] = (ink ^ ((ink << 1) | before)) & ((1u << n) - 1);
    }
}

void LineMasks(const AREAINFO& area, const uint8_t* row, int32_t left, int32_t right,
               uint32_t* masks) {
    if (BitAccessors()) {
        ChangeMasks<true>(row, left, right, InkLimit(area), masks);
    } else {
        ChangeMasks<false>(row, left, right, InkLimit(area), masks);
    }
}

int32_t ChangeCount(const uint32_t* masks, int32_t words) {
    int32_t changes = 0;
    for (int32_t w = 0; w < words; ++w) changes += BitCount(masks[w]);
    return changes;
}

// Writes the column of every change in masks (from column left) to out.
int32_t ChangeColumns(const uint32_t* masks, int32_t words, int32_t left, int32_t* out) {
    int32_t n = 0;
    for (int32_t w = 0; w < words; ++w)
        for (uint32_t mask = masks[w]; mask != 0; mask &= mask - 1)
            out[n++] = left + w * kBlock + std::countr_zero(mask);
    return n;
}

// The change masks of image row y from left to right, both clipped to the
// area (nothing is read outside it). False when nothing is left to read.
bool ReadLine(const AREAINFO& area, int32_t& left, int32_t& right, int32_t y,
              std::vector<uint32_t>& masks) {
    RECT clipped;
    if (left > right || !ClipToArea(area, RECT{left, y, right, y}, clipped)) return false;
    // Only the area's columns are read: a bar cut by the area's edge is seen
    // as far as the area reaches.
    left = clipped.left;
    right = clipped.right;
    std::vector<uint8_t> scratch(area.rowBytes);
    masks.resize(static_cast<size_t>(MaskWords(left, right)));
    LineMasks(area, ScanRow(area, y, scratch.data()), left, right, masks.data());
    return true;
}

// Changes between ink and paper on a line, the first ink included.
int32_t CountChanges(const AREAINFO& area, int32_t left, int32_t right, int32_t y) {
    std::vector<uint32_t> masks;
    if (!ReadLine(area, left, right, y, masks)) return 0;
    return ChangeCount(masks.data(), static_cast<int32_t>(masks.size()));
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

ScanPlan ScanRectangle(AREAINFO& area, const RECT& rect) {
    RefreshWorkRows(area);
    ScanPlan plan;
    RECT clipped;
    if (!ClipToArea(area, rect, clipped)) return plan;
    plan.left = clipped.left;
    plan.right = clipped.right;
    plan.top = clipped.top;
    plan.step = (clipped.bottom - clipped.top) / kSpacingDivisor;
    // A line whose changes are those of the line read before it shares that
    // line's masks: the lines of a clean symbol are mostly alike, and only the
    // distinct ones are kept. With a step of 0 every line reads row top, once
    // for all.
    plan.words = MaskWords(plan.left, plan.right);
    const auto words = static_cast<size_t>(plan.words);
    plan.masks.reset(new uint32_t[words * (plan.step != 0 ? kScanLines : 1)]);
    // Rows copied for reading alternate between two buffers, so that the row
    // read before stays whole for the comparison.
    std::unique_ptr<uint8_t[]> scratch(new uint8_t[2 * size_t{area.rowBytes}]);
    const size_t firstByte = static_cast<size_t>(BitAccessors() ? plan.left / 8 : plan.left);
    const size_t lineBytes =
        static_cast<size_t>(BitAccessors() ? plan.right / 8 : plan.right) - firstByte + 1;
    const uint8_t* before = nullptr;  // the row read before, from its first byte
    int32_t distinct = 0;             // masks kept so far
    int32_t changes = 0;
    for (int32_t k = 1; k <= kScanLines; ++k) {
        const auto line = static_cast<size_t>(k - 1);
        if (k == 1 || plan.step != 0) {
            uint8_t* spare =
                scratch.get() + (before == scratch.get() + firstByte ? area.rowBytes : 0);
            const uint8_t* row = ScanRow(area, plan.Row(k), spare);
            // The same bytes give the same changes; other bytes may too.
            bool same = k > 1 && std::memcmp(row + firstByte, before, lineBytes) == 0;
            before = row + firstByte;
            if (!same) {
                uint32_t* masks = plan.masks.get() + static_cast<size_t>(distinct) * words;
                LineMasks(area, row, plan.left, plan.right, masks);
                same = k > 1 && std::equal(masks, masks + words, plan.Masks(k - 1));
                if (!same) changes = ChangeCount(masks, plan.words);
            }
            plan.lines[line] = same ? plan.lines[line - 1] : distinct++;
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
    for (size_t line = 0; line < counts.size(); ++line) {
        const int32_t count = counts[line];
        // The line before with the same count has already been weighed.
        if (count < kMinCode39Count || (line > 0 && counts[line - 1] == count)) continue;
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
    // so the sum of widths j is the same difference of summed columns. Kept
    // lines with the same masks, next to each other or not, are spelt out
    // once and added times their number; other lines are never spelt out.
    const auto changes = static_cast<size_t>(reference) + 1;
    MergedWidths columns(changes, 0);
    std::unique_ptr<int32_t[]> spelt(new int32_t[changes]);
    const uint32_t* pending = nullptr;  // masks of kept lines not yet added
    int64_t times = 0;
    const auto add = [&] {
        if (times == 0) return;
        ChangeColumns(pending, plan.words, plan.left, spelt.get());
        for (size_t j = 0; j < changes; ++j) columns[j] += times * spelt[j];
    };
    for (int32_t k = 1; k <= kScanLines; ++k) {
        if (plan.counts[size_t(k - 1)] != reference) continue;  // cleared: adds nothing
        const uint32_t* masks = plan.Masks(k);
        if (masks != pending &&
            (pending == nullptr || !std::equal(masks, masks + plan.words, pending))) {
            add();
            pending = masks;
            times = 0;
        }
        ++times;
    }
    add();
    for (size_t j = 0; j + 1 < changes; ++j) columns[j] = columns[j + 1] - columns[j];
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
