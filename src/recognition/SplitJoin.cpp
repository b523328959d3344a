// Split and join: cutting over-wide objects of a line into pieces at columns
// with little ink, and bridging short horizontal gaps in the area's pixels.
#include <algorithm>
#include <cmath>
#include <vector>

#include "api/Calls.h"
#include "Glyphwick.h"
#include "recognition/Lines.h"

namespace gw {
namespace {

// First probe count, above any column's ink that counts as a cut.
constexpr int64_t kNoCut = 999;

bool InkAt(const AREAINFO& area, int64_t row, int64_t column) {
    const int64_t y = row - area.top;
    const int64_t columns = BitAccessors() ? int64_t{area.rowBytes} * 8 : int64_t{area.rowBytes};
    if (y < 0 || y >= area.height || column < 0 || column >= columns) return false;
    return IsInk(area.workRows, static_cast<int32_t>(y), static_cast<int32_t>(column)) != 0;
}

int64_t ColumnInk(const AREAINFO& area, int64_t column, int64_t top, int64_t bottom) {
    int64_t n = 0;
    for (int64_t row = std::max(top, int64_t{area.top});
         row <= std::min(bottom, int64_t{area.top} + area.height - 1); ++row)
        n += InkAt(area, row, column);
    return n;
}

bool RowHasInk(const AREAINFO& area, int64_t row, int64_t from, int64_t to) {
    for (int64_t column = from; column <= to; ++column)
        if (InkAt(area, row, column)) return true;
    return false;
}

// The first cut: the emptiest column near nominal, probing 0, +1, -1, +2, -2
// and so on, until a probe leaves the allowed range or, from the fifth probe
// on, a column with at most half the height in ink has been seen.
int64_t SearchCut(const AREAINFO& area, const Object& o, int64_t nominal, int64_t segStart,
                  int64_t halfH) {
    int64_t cut = nominal;
    int64_t best = kNoCut;
    for (int64_t c = 1;; ++c) {
        const int64_t probe = c % 2 == 0 ? nominal + c / 2 : nominal - c / 2;
        const int64_t rel = probe - segStart;
        if (rel < area.minObjectWidth || rel > area.maxObjectWidth || rel < 1 || probe > o.right)
            break;
        const int64_t ink = ColumnInk(area, probe, o.top, o.bottom);
        if (ink < best) best = ink, cut = probe;
        if (c >= 5 && c % 2 == 1 && best <= halfH) break;
    }
    return cut;
}

// Cuts o into k pieces linked after it; returns the last piece made (o when
// none was made).
Object* SplitObject(ObjectList& list, const AREAINFO& area, Object* o, int64_t k, int32_t tag) {
    o->ignored = 1;
    const int64_t width = int64_t{o->right} - o->left + 1;
    const int64_t pieceW = width / k;
    const int64_t H = int64_t{o->bottom} - o->top + 1;
    const int64_t halfH = (H + 1) / 2;
    int64_t segStart = o->left;
    bool searching = true;
    Object* last = o;
    for (int64_t j = 1; j <= k; ++j) {
        const int64_t nominal = o->left + j * pieceW;
        int64_t cut = nominal;
        if (searching) cut = SearchCut(area, *o, nominal, segStart, halfH);
        searching = false;
        int64_t top = o->top;
        while (top <= o->bottom && !RowHasInk(area, top, segStart, cut - 1)) ++top;
        int64_t bottom = o->bottom;
        while (bottom > top && !RowHasInk(area, bottom, segStart, cut - 1)) --bottom;
        if (cut - 1 > segStart && bottom > top) {
            Object* piece =
                NewObject(static_cast<int32_t>(segStart), static_cast<int32_t>(top),
                          static_cast<int32_t>(cut - 1), static_cast<int32_t>(bottom), '?', tag);
            InsertAfter(list, last, piece);
            last = piece;
        }
        segStart = cut + 1;
    }
    return last;
}

// Rounds half up: the fraction above the floor compared with 0.5.
int64_t RoundHalfUp(float value) {
    const float whole = std::floor(value);
    return static_cast<int64_t>(whole) + (value - whole >= 0.5f ? 1 : 0);
}

// Whether a blank pixel closes a run of at most maxGap - 2 blanks between two
// ink pixels, given the distances to the nearest ink on its right and left
// in the same row (0 when there is none).
bool BridgeGap(int64_t maxGap, int64_t right, int64_t left) {
    if (right < 1 || right >= maxGap) return false;
    return left >= 1 && left <= maxGap && left + right < maxGap;
}

// Bridges the gaps of one row of workRows. The nearest ink on the right is
// taken from the row as loaded; on the left the last ink seen is the nearest,
// since every run painted so far ends at an ink pixel further right.
void BridgeRow(const AREAINFO& area, int64_t maxGap, int32_t y, std::vector<int64_t>& nextInk) {
    const int64_t left = area.left;
    const int64_t end = left + area.width;
    nextInk.assign(static_cast<size_t>(area.width), 0);
    for (int64_t x = end - 2; x >= left; --x) {
        const bool ink = IsInk(area.workRows, y, static_cast<int32_t>(x + 1)) != 0;
        nextInk[x - left] = ink ? x + 1 : nextInk[x + 1 - left];
    }
    bool open = false;
    int64_t lastInk = -1;
    for (int64_t x = left; x < end; ++x) {
        const auto column = static_cast<int32_t>(x);
        if (IsInk(area.workRows, y, column) != 0) {
            open = false;
            lastInk = x;
            continue;
        }
        const int64_t right = nextInk[x - left] != 0 ? nextInk[x - left] - x : 0;
        // The area's first column never anchors a gap.
        const int64_t leftDistance = lastInk > left ? x - lastInk : 0;
        if (open || BridgeGap(maxGap, right, leftDistance)) {
            Paint(area.workRows, y, column);
            open = true;
        }
    }
}

}  // namespace
int32_t SplitJoinedObjectsInLine(int32_t tag) {
    AREAINFO* area = gw::CurrentArea();
    if (area == nullptr) return 0;
    if (area->maxObjectWidth < 1) return 1;
    ObjectList& list = *area->objects;
    if (gw::TagCount(list, tag) < 1) return 1;
    const std::vector<gw::Object*> line = gw::LineObjects(list, tag);
    if (line.empty()) return 1;
    std::vector<int64_t> widths(line.size());
    for (size_t i = 0; i < line.size(); ++i) widths[i] = line[i]->Width();
    const int64_t typical = gw::MedianByRank(widths, gw::RankValues(widths));
    gw::LoadWorkRows(*area);
    if (typical < 1) return 1;

    const int64_t maxW = area->maxObjectWidth;
    for (size_t i = 0; i < line.size(); ++i) {
        const int64_t w = widths[i];
        list.current = line[i];
        if (!(static_cast<double>(w) > 1.75 * static_cast<double>(typical) || w > maxW)) continue;
        const int64_t k1 = gw::RoundHalfUp(static_cast<float>(w) / static_cast<float>(typical));
        const int64_t k2 = w / maxW + (w % maxW != 0 ? 1 : 0);
        // At most one piece per column (a guard against float rounding).
        const int64_t k = std::min(std::max(k1, k2), w);
        list.current = gw::SplitObject(list, *area, line[i], k, tag);
    }
    list.current = nullptr;
    return 1;
}

void JoinBrokenObjects(int32_t maxGap) {
    AREAINFO* area = gw::CurrentArea();
    if (area == nullptr) return;
    gw::LoadWorkRows(*area);
    std::vector<int64_t> nextInk;
    for (int32_t y = 0; y < area->height; ++y) gw::BridgeRow(*area, maxGap, y, nextInk);
    gw::WriteBack(*area);
}

}  // namespace gw
