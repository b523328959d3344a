// Run-based labelling of 8-connected ink components, and painting and erasing
// whole runs.
#include "area/Components.h"

#include <algorithm>
#include <cstring>

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

// Sets (ink) or clears bits of image columns from .. to of a bit row.
void SetBits(uint8_t* row, int32_t from, int32_t to, bool ink) {
    for (int32_t x = from; x <= to;) {
        const int32_t byte = x >> 3;
        const int32_t first = x & 7;
        const int32_t last = std::min(7, first + (to - x));
        const auto mask = static_cast<uint8_t>((0xFFu >> first) & (0xFF00u >> (last + 1)));
        row[byte] = static_cast<uint8_t>(ink ? (row[byte] | mask) : (row[byte] & ~mask));
        x += last - first + 1;
    }
}

}  // namespace

uint32_t Components::ComponentAt(int32_t y, int32_t x) const {
    const auto first = runs.begin() + rowStart[y];
    const auto last = runs.begin() + rowStart[y + 1];
    const auto run =
        std::upper_bound(first, last, x, [](int32_t v, const InkRun& r) { return v < r.x0; });
    return (run - 1)->component;
}

template <bool Bits>
void LabelComponents(AREAINFO& area, uint8_t* const* rows, bool load, Components& out) {
    const uint8_t limit = InkLimit(area);
    std::vector<InkRun>& runs = out.runs;
    runs.clear();
    out.rowStart.assign(static_cast<size_t>(area.height) + 1, 0);

    for (int32_t y = 0; y < area.height; ++y) {
        const auto begin = static_cast<uint32_t>(runs.size());
        out.rowStart[y] = begin;
        if (load) LoadRow(area, area.top + y, rows[y]);
        ForEachRun<Bits>(rows[y], area.left, area.width, limit, [&](int32_t x0, int32_t x1) {
            runs.push_back({y, x0, x1, static_cast<uint32_t>(runs.size())});
        });

        // Runs of neighbouring rows touch when their columns, widened by one
        // on each side, overlap.
        if (y == 0) continue;
        uint32_t p = out.rowStart[y - 1];
        for (uint32_t r = begin; r < runs.size(); ++r) {
            while (p < begin && runs[p].x1 < runs[r].x0 - 1) ++p;
            for (uint32_t q = p; q < begin && runs[q].x0 <= runs[r].x1 + 1; ++q) {
                Unite(runs, q, r);
            }
        }
    }
    out.rowStart[area.height] = static_cast<uint32_t>(runs.size());

    // Number the components and group their runs.
    // Links only point to earlier runs, so in run order a run's link already
    // holds its root once its parent's does; then roots are numbered.
    std::vector<uint32_t> number(runs.size());
    out.componentCount = 0;
    for (uint32_t i = 0; i < runs.size(); ++i) {
        const uint32_t root = runs[runs[i].component].component;
        if (root == i) number[i] = out.componentCount++;
        runs[i].component = root;
    }
    for (InkRun& run : runs) run.component = number[run.component];
}

template <bool Bits>
void EraseRun(const AREAINFO& area, uint8_t* const* rows, const InkRun& run) {
    if constexpr (Bits) {
        SetBits(rows[run.y], area.left + run.x0, area.left + run.x1, false);
    } else {
        std::memset(rows[run.y] + area.left + run.x0, 255,
                    static_cast<size_t>(run.x1 - run.x0 + 1));
    }
}

template <bool Bits>
void PaintRun(const AREAINFO& area, uint8_t* const* rows, const InkRun& run) {
    if constexpr (Bits) {
        SetBits(rows[run.y], area.left + run.x0, area.left + run.x1, true);
    } else {
        FillBytes(rows[run.y] + area.left + run.x0, run.x1 - run.x0 + 1, 0);
    }
}

template void LabelComponents<true>(AREAINFO&, uint8_t* const*, bool, Components&);
template void LabelComponents<false>(AREAINFO&, uint8_t* const*, bool, Components&);
template void EraseRun<true>(const AREAINFO&, uint8_t* const*, const InkRun&);
template void EraseRun<false>(const AREAINFO&, uint8_t* const*, const InkRun&);
template void PaintRun<true>(const AREAINFO&, uint8_t* const*, const InkRun&);
template void PaintRun<false>(const AREAINFO&, uint8_t* const*, const InkRun&);

}  // namespace gw
