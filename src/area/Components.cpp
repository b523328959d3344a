// Run-based labelling of 8-connected ink components, and painting and erasing
// whole runs.
#include "area/Components.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "area/InkScan.h"

namespace gw {
namespace {

// Union-find over runs, with each run's component field as its parent link
// while the runs are being joined.
uint32_t Find(std::vector<InkRun>& runs, uint32_t i) {
    while (runs[i].component != i) {
        runs[i].component = runs[runs[i].component].component;  // path halving
        i = runs[i].component;
    }
    return i;
}

void Unite(std::vector<InkRun>& runs, uint32_t a, uint32_t b) {
    a = Find(runs, a);
    b = Find(runs, b);
    if (a < b) {
        runs[b].component = a;
    } else if (b < a) {
        runs[a].component = b;
    }
}

// Sets n bytes from p to v; short runs without a call.
inline void FillBytes(uint8_t* p, int32_t n, uint8_t v) {
    if (n >= 16) {
        std::memset(p, v, static_cast<size_t>(n));
        return;
    }
    const uint64_t w = 0x0101010101010101ull * v;
    if (n >= 8) {
        std::memcpy(p, &w, 8);
        std::memcpy(p + n - 8, &w, 8);
    } else if (n >= 4) {
        std::memcpy(p, &w, 4);
        std::memcpy(p + n - 4, &w, 4);
    } else {
        p[0] = v;
        p[n >> 1] = v;
        p[n - 1] = v;
    }
}

// Sets (ink) or clears bits of image columns from .. to of a bit row: the
// partial bytes at either end by mask, whole bytes between them at once.
void SetBits(uint8_t* row, int32_t from, int32_t to, bool ink) {
    const auto apply = [row, ink](int32_t byte, uint32_t mask) {
        row[byte] = static_cast<uint8_t>(ink ? row[byte] | mask : row[byte] & ~mask);
    };
    const int32_t first = from >> 3, last = to >> 3;
    const uint32_t head = 0xFFu >> (from & 7);
    const uint32_t tail = (0xFF00u >> ((to & 7) + 1)) & 0xFFu;
    if (first == last) {
        apply(first, head & tail);
        return;
    }
    apply(first, head);
    if (last - first > 1) {
        std::memset(row + first + 1, ink ? 0xFF : 0x00, static_cast<size_t>(last - first - 1));
    }
    apply(last, tail);
}

}  // namespace

uint32_t Components::ComponentAt(int32_t y, int32_t x) const {
    const auto first = runs.begin() + rowStart[y];
    const auto last = runs.begin() + rowStart[y + 1];
    const auto run =
        std::upper_bound(first, last, x, [](int32_t v, const InkRun& r) { return v < r.x0; });
    return (run - 1)->component;
}

// The labels of the last destroyed area are kept in the area state: the next
// area takes them over with their storage, as a page's runs and masks are
// megabytes, whose allocation and first touch cost as much as a scan of the
// page.
Components& Labels(AREAINFO& area) {
    if (area.labels == nullptr) {
        std::unique_ptr<Components>& spare = State().spareLabels;
        area.labels = spare != nullptr ? std::move(spare) : std::make_unique<Components>();
        area.labels->labelled = false;
    }
    return *area.labels;
}

void SpareLabels(AREAINFO& area) {
    if (area.labels != nullptr) State().spareLabels = std::move(area.labels);
}

namespace {

// Ink masks of one row; with Erase the ink of the area's columns becomes
// background as it is read.
template <bool Bits, bool Erase>
void ScanRow(const AREAINFO& area, uint8_t* row, uint8_t limit, uint64_t* masks) {
    constexpr bool kEraseBytes = Erase && !Bits;
    for (int32_t x = 0; x < area.width; x += 64) {
        masks[x / 64] = BlockInk<Bits, kEraseBytes>(row, area.left, x, area.width, limit);
    }
    if constexpr (Bits && Erase) SetBits(row, area.left, area.left + area.width - 1, false);
}

// Number of set bits, without the POPCNT instruction that the baseline
// x86-64 target lacks (the compiler would call a library routine).
inline uint64_t CountBits(uint64_t v) {
    v = v - ((v >> 1) & 0x5555555555555555ull);
    v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return (v * 0x0101010101010101ull) >> 56;
}

// Number of runs of ink in the masks of the rows of words words each.
size_t CountRuns(const std::vector<uint64_t>& masks, size_t words) {
    size_t count = 0;
    for (const uint64_t* row = masks.data(); row < masks.data() + masks.size(); row += words) {
        uint64_t before = 0;  // the column before the word's first
        for (size_t w = 0; w < words; ++w) {
            // A run starts where a column is ink and the one before it is not.
            count += CountBits(row[w] & ~((row[w] << 1) | before));
            before = row[w] >> 63;
        }
    }
    return count;
}

// Joins the runs of out.masks into components, numbered in order of their
// first run, and sums up each.
void LabelMasks(int32_t height, int32_t width, Components& out) {
    const auto words = static_cast<size_t>(MaskWords(width));
    std::vector<InkRun>& runs = out.runs;
    runs.clear();
    runs.reserve(CountRuns(out.masks, words));
    out.rowStart.resize(static_cast<size_t>(height) + 1);

    uint32_t above = 0;  // the first run of the row above
    for (int32_t y = 0; y < height; ++y) {
        const auto begin = static_cast<uint32_t>(runs.size());
        out.rowStart[y] = begin;
        // Runs of neighbouring rows touch when their columns, widened by one
        // on each side, overlap. A run's first link makes it part of a
        // component above; later ones join components.
        uint32_t p = above;
        ForEachRunOfMasks(out.masks.data() + y * words, width, [&](int32_t x0, int32_t x1) {
            const auto r = static_cast<uint32_t>(runs.size());
            while (p < begin && runs[p].x1 < x0 - 1) ++p;
            uint32_t q = p;
            const uint32_t link = q < begin && runs[q].x0 <= x1 + 1 ? Find(runs, q++) : r;
            runs.push_back({y, x0, x1, link});
            for (; q < begin && runs[q].x0 <= x1 + 1; ++q) Unite(runs, q, r);
        });
        above = begin;
    }
    out.rowStart[height] = static_cast<uint32_t>(runs.size());

    // Links only point to earlier runs, so in run order a run's link leads
    // to a run that already holds its component's number; roots (the first
    // run of each component) take new numbers.
    out.stats.clear();
    const int64_t lastRow = height - 1, lastColumn = width - 1;
    for (uint32_t i = 0; i < runs.size(); ++i) {
        InkRun& run = runs[i];
        if (run.component == i) {
            run.component = static_cast<uint32_t>(out.stats.size());
            out.stats.push_back({0, 1, run.x0, run.x1, run.y, run.y, run.x0, run.y});
        } else {
            run.component = runs[run.component].component;
        }
        ComponentStats& c = out.stats[run.component];
        const int64_t length = run.x1 - run.x0 + 1;
        c.pixels += length;
        c.minX = std::min(c.minX, run.x0);
        c.maxX = std::max(c.maxX, run.x1);
        c.maxY = run.y;
        if (run.x0 < c.seedX) c.seedX = run.x0, c.seedY = run.y;
        // A fill calls itself on every in-area neighbour of every pixel.
        const int64_t rows = 1 + (run.y > 0) + (run.y < lastRow);
        const int64_t columns = 3 * length - (run.x0 == 0) - (run.x1 == lastColumn);
        c.calls += rows * columns - length;
    }
    out.componentCount = static_cast<uint32_t>(out.stats.size());
}

}  // namespace

template <bool Bits>
void LabelComponents(AREAINFO& area, uint8_t* const* rows, bool load, bool erase, Components& out) {
    const uint8_t limit = InkLimit(area);
    const auto words = static_cast<size_t>(MaskWords(area.width));
    const size_t total = words * static_cast<size_t>(area.height);
    // The labels stay while every row's masks match the kept ones.
    bool same = out.labelled && out.bits == Bits && out.limit == limit && out.masks.size() == total;
    out.labelled = false;
    out.masks.resize(total);
    std::vector<uint64_t> scratch(words);
    for (int32_t y = 0; y < area.height; ++y) {
        if (load) LoadRow(area, area.top + y, rows[y]);
        uint64_t* kept = out.masks.data() + static_cast<size_t>(y) * words;
        uint64_t* masks = same ? scratch.data() : kept;
        if (erase) {
            ScanRow<Bits, true>(area, rows[y], limit, masks);
        } else {
            ScanRow<Bits, false>(area, rows[y], limit, masks);
        }
        if (same && std::memcmp(masks, kept, words * sizeof(uint64_t)) != 0) {
            std::copy_n(masks, words, kept);
            same = false;
        }
    }
    if (load && rows == area.workRows) area.workRowState = WorkRowState::Loaded;
    out.bits = Bits;
    out.limit = limit;
    if (!same) LabelMasks(area.height, area.width, out);
    out.labelled = true;
}

template <bool Bits>
void TransferRuns(const AREAINFO& area, const Components& parts, const uint8_t* flags, uint8_t flag,
                  uint8_t* const* from, uint8_t* const* to) {
    for (const InkRun& run : parts.runs) {
        if (flags[run.component] != flag) continue;
        const int32_t c0 = area.left + run.x0, c1 = area.left + run.x1;
        if constexpr (Bits) {
            if (from != nullptr) SetBits(from[run.y], c0, c1, false);
            if (to != nullptr) SetBits(to[run.y], c0, c1, true);
        } else {
            if (from != nullptr) FillBytes(from[run.y] + c0, c1 - c0 + 1, 255);
            if (to != nullptr) FillBytes(to[run.y] + c0, c1 - c0 + 1, 0);
        }
    }
}

template void LabelComponents<true>(AREAINFO&, uint8_t* const*, bool, bool, Components&);
template void LabelComponents<false>(AREAINFO&, uint8_t* const*, bool, bool, Components&);
template void TransferRuns<true>(const AREAINFO&, const Components&, const uint8_t*, uint8_t,
                                 uint8_t* const*, uint8_t* const*);
template void TransferRuns<false>(const AREAINFO&, const Components&, const uint8_t*, uint8_t,
                                  uint8_t* const*, uint8_t* const*);

}  // namespace gw
