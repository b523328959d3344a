// Object extraction: the 8-connected fill that erases what it finds, the scan
// that seeds it, and the grouping of fragments into joined objects.
#include "area/Extract.h"

#include <algorithm>

#include "area/FloodFill.h"
#include "area/InkScan.h"

namespace gw {
namespace {

using OBJECTINFO = ObjectList::OBJECTINFO;

// Fill(y, x): takes at most kFillCap pixels into its count; a pixel reached
// after that is still erased and widens the box, but spreads no further.
template <bool Bits>
void Fill(AREAINFO& area, int32_t y, int32_t x, std::vector<FillFrame>& stack) {
    const uint8_t limit = InkLimit(area);
    uint8_t** rows = area.workRows;
    const int32_t left = area.left;
    const uint32_t height = static_cast<uint32_t>(area.height);
    const uint32_t width = static_cast<uint32_t>(area.width);
    DepthFirst(y, x, kRowStep8, kColumnStep8, stack, [&](int32_t py, int32_t px) {
        if (static_cast<uint32_t>(py) >= height || static_cast<uint32_t>(px) >= width) return false;
        if (!Pixels<Bits>::TestAndErase(rows[py], left + px, limit)) return false;
        if (py < area.minY) {
            area.minY = py;
        } else if (py > area.maxY) {
            area.maxY = py;
        }
        if (px < area.minX) {
            area.minX = px;
        } else if (px > area.maxX) {
            area.maxX = px;
        }
        if (area.fillCount >= kFillCap) return false;
        ++area.fillCount;
        return true;
    });
}

// Visits every ink pixel of workRows in scan order (columns outer, rows
// inner) that is still ink when reached, fills from it and keeps the group
// as an object unless it is below 3 x 3. Fills only erase, so the ink found
// when the rows were loaded, sorted by column, holds every seed.
template <bool Bits>
void ExtractWith(AREAINFO& area) {
    const InkByColumn ink = CollectInk<Bits>(area);
    const uint8_t limit = InkLimit(area);
    std::vector<FillFrame> stack;
    stack.reserve(kFillCap + 1);
    for (int32_t x = 0; x < area.width; ++x) {
        for (uint32_t i = ink.start[x]; i < ink.start[x + 1]; ++i) {
            const int32_t y = ink.rows[i];
            if (!Pixels<Bits>::Ink(area.workRows[y], area.left + x, limit)) continue;
            area.minX = area.maxX = x;
            area.minY = area.maxY = y;
            area.fillCount = 0;
            Fill<Bits>(area, y, x, stack);
            if (area.maxY - area.minY + 1 < 3 && area.maxX - area.minX + 1 < 3) continue;
            const int32_t rect[4] = {area.minX + area.left, area.minY + area.top,
                                     area.maxX + area.left, area.maxY + area.top};
            area.objects->Append(rect, y, x);
        }
    }
}

bool IsFragment(const AREAINFO& area, const OBJECTINFO& object) {
    const int64_t w = object.Width();
    const int64_t h = object.Height();
    return object.ignored == 0 && area.fragMinWidth <= w && w <= area.fragMaxWidth &&
           area.fragMinHeight <= h && h <= area.fragMaxHeight;
}

void Widen(int32_t (&u)[4], const OBJECTINFO& object) {
    u[0] = std::min(u[0], object.left);
    u[1] = std::min(u[1], object.top);
    u[2] = std::max(u[2], object.right);
    u[3] = std::max(u[3], object.bottom);
}

// Replaces the objects of list that group's entries refer to by one joined
// object with their union as rectangle and their placements as pieces,
// standing where the first of them stood.
void Join(ObjectList& list, ObjectList& group, const int32_t (&u)[4]) {
    auto* first = static_cast<OBJECTINFO*>(group.head.next->children);
    auto* joined = new OBJECTINFO;
    joined->left = u[0];
    joined->top = u[1];
    joined->right = u[2];
    joined->bottom = u[3];
    list.InsertBefore(first, joined);
    for (OBJECTINFO* entry = group.head.next; entry != nullptr; entry = entry->next) {
        list.Unlink(static_cast<OBJECTINFO*>(entry->children));
        ObjectList::AddChild(joined, *entry);
    }
}

}  // namespace

void ExtractObjects(AREAINFO& area) {
    if (BitAccessors()) {
        ExtractWith<true>(area);
    } else {
        ExtractWith<false>(area);
    }
}

void GroupFragments(AREAINFO& area) {
    ObjectList& list = *area.objects;
    OBJECTINFO* starter = list.FindFirst();
    while (starter != nullptr) {
        while (starter != nullptr && !IsFragment(area, *starter)) starter = list.FindNext();
        if (starter == nullptr) break;

        ObjectList group(0);
        group.AppendCopyOfCurrent(list);
        list.saved = nullptr;
        // The group's union, kept as entries come and go; the same as the
        // group's Bounds after every step.
        int32_t u[4] = {starter->left, starter->top, starter->right, starter->bottom};
        for (OBJECTINFO* c = list.FindNext(); c != nullptr; c = list.FindNext()) {
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

}  // namespace gw

extern "C" void GW_ProduceObjectList() {
    AREAINFO* area = gw::CurrentArea();
    if (area == nullptr) return;
    gw::LoadWorkRows(*area);
    gw::ExtractObjects(*area);
    if (area->fragMaxWidth != 0 || area->fragMaxHeight != 0) gw::GroupFragments(*area);
}
