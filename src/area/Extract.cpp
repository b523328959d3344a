// Object extraction: the 8-connected fill that erases what it finds, the scan
// that seeds it, and the grouping of fragments into joined objects.
#include "api/Calls.h"
#include "area/Extract.h"

#include <algorithm>
#include <climits>
#include <numeric>

#include "area/FloodFill.h"
#include "area/Components.h"
#include "shared/Deadline.h"

namespace gw {
namespace {

// The ink left in a box of the rows, by columns: bit y - top of column
// x - left's words is set while pixel (x, y) is ink. The scan over the box
// reads it instead of the rows, which it would otherwise read down each
// column, a cache line per pixel.
class ColumnInk {
  public:
    ColumnInk(const int32_t (&box)[4])
        : left_(box[0]),
          top_(box[1]),
          words_((box[3] - box[1]) / 64 + 1),
          bits_(size_t(box[2] - box[0] + 1) * size_t(words_), 0) {}
    void Set(int32_t y, int32_t x) { Word(y, x) |= Bit(y); }
    void Clear(int32_t y, int32_t x) { Word(y, x) &= ~Bit(y); }
    // The first row from y on (in the box) whose pixel of column x is ink; -1 for none.
    int32_t Next(int32_t x, int32_t y) const {
        const uint64_t* column = bits_.data() + size_t(x - left_) * size_t(words_);
        for (int32_t w = (y - top_) / 64; w < words_; ++w) {
            uint64_t v = column[w];
            if (w == (y - top_) / 64) v &= ~uint64_t{0} << ((y - top_) % 64);
            if (v != 0) return top_ + w * 64 + __builtin_ctzll(v);
        }
        return -1;
    }

  private:
    uint64_t& Word(int32_t y, int32_t x) {
        return bits_[size_t(x - left_) * size_t(words_) + size_t((y - top_) / 64)];
    }
    uint64_t Bit(int32_t y) const { return uint64_t{1} << ((y - top_) % 64); }
    int32_t left_, top_, words_;
    std::vector<uint64_t> bits_;
};

// Fill(y, x): takes at most kFillCap pixels into its count; a pixel reached
// after that is still erased and widens the box, but spreads no further.
// Each pixel erased is cleared from ink too.
template <bool Bits>
void Fill(AREAINFO& area, int32_t y, int32_t x, std::vector<FillFrame>& stack, FillBox& box,
          ColumnInk& ink) {
    const uint8_t limit = InkLimit(area);
    uint8_t** rows = area.workRows;
    const int32_t left = area.left;
    const uint32_t height = static_cast<uint32_t>(area.height);
    const uint32_t width = static_cast<uint32_t>(area.width);
    DepthFirst(y, x, kRowStep8, kColumnStep8, stack, [&](int32_t py, int32_t px) {
        if (static_cast<uint32_t>(py) >= height || static_cast<uint32_t>(px) >= width) return false;
        if (!Pixels<Bits>::TestAndErase(rows[py], left + px, limit)) return false;
        ink.Clear(py, px);
        box.Grow(py, px);
        if (area.fillCount >= kFillCap) return false;
        ++area.fillCount;
        return true;
    });
}

// What one fill of the scan did: its seed (area column and row), its count,
// and the object it makes when its box is at least 3 pixels wide or high.
struct FillRecord {
    int32_t x;
    int32_t y;
    int32_t count;
    bool kept;
    int32_t rect[4];
};

FillRecord RecordFill(const AREAINFO& area, const FillBox& box, int32_t y, int32_t x,
                      int32_t count) {
    return {x,
            y,
            count,
            box.maxY - box.minY + 1 >= 3 || box.maxX - box.minX + 1 >= 3,
            {box.minX + area.left, box.minY + area.top, box.maxX + area.left, box.maxY + area.top}};
}

// The scan over a box of the rows in which only the ink of components too
// large to be taken whole is left (ink, by columns): each pixel still ink
// seeds an exact fill, columns outer and rows inner. A reader's deadline
// stops the scan between columns; the ink not reached makes no objects.
template <bool Bits>
void ScanBox(AREAINFO& area, const int32_t (&box)[4], ColumnInk& ink,
             std::vector<FillRecord>& fills) {
    std::vector<FillFrame> stack;
    stack.reserve(kFillCap + 1);
    const uint8_t limit = InkLimit(area);
    Deadline* deadline = State().deadline;
    for (int32_t x = box[0]; x <= box[2]; ++x) {
        if (deadline != nullptr && (x - box[0]) % 64 == 0 && deadline->expired()) return;
        for (int32_t y = ink.Next(x, box[1]); y >= 0 && y <= box[3]; y = ink.Next(x, y)) {
            // The bitmap follows the rows; a pixel that is no ink seeds nothing.
            if (!Pixels<Bits>::Ink(area.workRows[y], area.left + x, limit)) {
                ink.Clear(y, x);
                continue;
            }
            FillBox fillBox = FillBox::At(y, x);
            area.fillCount = 0;
            Fill<Bits>(area, y, x, stack, fillBox, ink);
            fills.push_back(RecordFill(area, fillBox, y, x, area.fillCount));
        }
    }
}

// Indices of fills in scan order of their seeds (area columns 0 .. width - 1,
// then rows): counted out by column, then sorted by row within each column,
// which holds a few seeds at most.
std::vector<uint32_t> ScanOrder(const std::vector<FillRecord>& fills, int32_t width) {
    std::vector<uint32_t> next(static_cast<size_t>(width) + 1, 0);
    for (const FillRecord& fill : fills) ++next[fill.x + 1];
    std::partial_sum(next.begin(), next.end(), next.begin());
    std::vector<uint32_t> order(fills.size());
    for (uint32_t i = 0; i < fills.size(); ++i) order[next[fills[i].x]++] = i;
    // next[x] is now the end of column x.
    uint32_t from = 0;
    for (int32_t x = 0; x < width; ++x) {
        std::sort(order.begin() + from, order.begin() + next[x],
                  [&fills](uint32_t a, uint32_t b) { return fills[a].y < fills[b].y; });
        from = next[x];
    }
    return order;
}

// The extraction scan, columns outer and rows inner, filling from every
// pixel that is still ink. A fill erases its seed's whole component unless
// it reaches the cap, so each component of at most kFillCap pixels is one
// fill seeded at its first pixel in scan order; only larger components are
// filled pixel by pixel. The fills are then put in scan order of their seeds.
template <bool Bits>
void ExtractWith(AREAINFO& area, bool loadRows) {
    // All ink is erased as it is labelled: the fills leave none behind.
    Components& parts = Labels(area);
    LabelComponents<Bits>(area, area.workRows, loadRows, true, parts);
    const std::vector<ComponentStats>& stats = parts.stats;

    // Components taken whole are done; the large ones are painted back for
    // the exact scan over their common box, which reads only where ink is.
    std::vector<FillRecord> fills;
    fills.reserve(parts.componentCount);
    int32_t large[4] = {INT32_MAX, INT32_MAX, -1, -1};
    for (const ComponentStats& c : stats) {
        if (c.pixels > kFillCap) {
            large[0] = std::min(large[0], c.minX), large[1] = std::min(large[1], c.minY);
            large[2] = std::max(large[2], c.maxX), large[3] = std::max(large[3], c.maxY);
            continue;
        }
        const FillBox box{c.minX, c.minY, c.maxX, c.maxY};
        fills.push_back(RecordFill(area, box, c.seedY, c.seedX, static_cast<int32_t>(c.pixels)));
    }
    if (large[2] >= 0) {
        std::vector<uint8_t> isLarge(parts.componentCount);
        for (uint32_t c = 0; c < parts.componentCount; ++c) isLarge[c] = stats[c].pixels > kFillCap;
        TransferRuns<Bits>(area, parts, isLarge.data(), 1, nullptr, area.workRows);
        ColumnInk ink(large);
        for (const InkRun& run : parts.runs)
            if (isLarge[run.component])
                for (int32_t x = run.x0; x <= run.x1; ++x) ink.Set(run.y, x);
        ScanBox<Bits>(area, large, ink, fills);
    }
    const std::vector<uint32_t> order = ScanOrder(fills, area.width);
    for (const uint32_t i : order) {
        const FillRecord& fill = fills[i];
        if (fill.kept) area.objects->Append(fill.rect, fill.y, fill.x);
    }
    if (!fills.empty()) area.fillCount = fills[order.back()].count;
}

bool IsFragment(const AREAINFO& area, const Object& object) {
    const int64_t w = object.Width();
    const int64_t h = object.Height();
    return object.ignored == 0 && area.fragMinWidth <= w && w <= area.fragMaxWidth &&
           area.fragMinHeight <= h && h <= area.fragMaxHeight;
}

void Widen(int32_t (&u)[4], const Object& object) {
    u[0] = std::min(u[0], object.left);
    u[1] = std::min(u[1], object.top);
    u[2] = std::max(u[2], object.right);
    u[3] = std::max(u[3], object.bottom);
}

// Replaces the objects of list that group's entries refer to by one joined
// object with their union as rectangle and their placements as pieces,
// standing where the first of them stood.
void Join(ObjectList& list, ObjectList& group, const int32_t (&u)[4]) {
    auto* first = static_cast<Object*>(group.head.next->children);
    auto* joined = new Object;
    joined->left = u[0];
    joined->top = u[1];
    joined->right = u[2];
    joined->bottom = u[3];
    list.InsertBefore(first, joined);
    for (Object* entry = group.head.next; entry != nullptr; entry = entry->next) {
        list.Unlink(static_cast<Object*>(entry->children));
        ObjectList::AddChild(joined, *entry);
    }
}

}  // namespace

void ExtractObjects(AREAINFO& area, bool loadRows) {
    if (BitAccessors()) {
        ExtractWith<true>(area, loadRows);
    } else {
        ExtractWith<false>(area, loadRows);
    }
}

void GroupFragments(AREAINFO& area) {
    ObjectList& list = *area.objects;
    Object* starter = list.FindFirst();
    while (starter != nullptr) {
        while (starter != nullptr && !IsFragment(area, *starter)) starter = list.FindNext();
        if (starter == nullptr) break;

        ObjectList group(0);
        group.AppendCopyOfCurrent(list);
        list.saved = nullptr;
        // The group's union, kept as entries come and go; the same as the
        // group's Bounds after every step.
        int32_t u[4] = {starter->left, starter->top, starter->right, starter->bottom};
        for (Object* c = list.FindNext(); c != nullptr; c = list.FindNext()) {
            if (!IsFragment(area, *c)) continue;
            if (int64_t{c->left} - starter->left > area.maxObjectWidth) break;
            int32_t widened[4] = {u[0], u[1], u[2], u[3]};
            Widen(widened, *c);
            if (int64_t{widened[2]} - widened[0] + 1 > area.maxObjectWidth ||
                int64_t{widened[3]} - widened[1] + 1 > area.maxObjectHeight) {
                if (list.saved == nullptr) list.saved = c;
                continue;  // the copy would be appended and removed again
            }
            group.AppendCopyOfCurrent(list);
            std::copy(widened, widened + 4, u);
        }
        if (group.count > 1) Join(list, group, u);
        if (list.saved != nullptr) list.current = list.saved;
        starter = list.current;
    }
}

void ProduceObjectList() {
    AREAINFO* area = gw::CurrentAreaToLoad();
    if (area == nullptr) return;
    gw::ExtractObjects(*area, true);  // loads workRows as it goes
    if (area->fragMaxWidth != 0 || area->fragMaxHeight != 0) gw::GroupFragments(*area);
}

}  // namespace gw
