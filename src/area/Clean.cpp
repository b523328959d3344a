// Cleaning and redraw: after extraction the working rows hold no ink; they
// are rebuilt from a fresh copy of the image by filling every wanted object
// from its seed (or its pieces' seeds), after optional trimming of thin
// borders, followed by optional filling of small enclosed holes and an
// optional write-back into the image.
#include <algorithm>
#include <vector>

#include "api/Calls.h"
#include "area/Area.h"
#include "area/Components.h"
#include "area/Extract.h"
#include "area/FloodFill.h"
#include "shared/Deadline.h"

namespace gw {
namespace {

// Rows r0..r1 (area-relative) and image columns c0..c1 of an object.
struct Span {
    int64_t r0, r1, c0, c1;
};

Span SpanOf(const AREAINFO& area, const Object& object) {
    return {int64_t{object.top} - area.top, int64_t{object.bottom} - area.top, object.left,
            object.right};
}

bool InsideArea(const AREAINFO& area, const Span& s) {
    return s.r0 >= 0 && s.r1 < area.height && s.c0 >= area.left &&
           s.c1 < int64_t{area.left} + area.width;
}

// Trimming reads pixels only of a rectangle that is not inverted, which must
// lie inside the area; an inverted one (left of an emptied rectangle, at most
// one past the area) only has its inverted side grow further.
bool Trimmable(const AREAINFO& area, const Span& s) {
    const auto near = [](int64_t v, int64_t low, int64_t high) {
        return v >= low - 1 && v <= high + 1;
    };
    const int64_t lastRow = area.height - 1;
    const int64_t lastColumn = int64_t{area.left} + area.width - 1;
    if (!near(s.r0, 0, lastRow) || !near(s.r1, 0, lastRow) || !near(s.c0, area.left, lastColumn) ||
        !near(s.c1, area.left, lastColumn)) {
        return false;
    }
    return s.r0 > s.r1 || s.c0 > s.c1 || InsideArea(area, s);
}

// A row segment is blank when no two horizontally adjacent pixels are ink; a
// column segment when no two vertically adjacent ones are.
template <bool Bits>
bool BlankRow(uint8_t** rows, int32_t r, int32_t c0, int32_t c1, uint8_t limit) {
    for (int32_t c = c0; c < c1; ++c) {
        if (Pixels<Bits>::Ink(rows[r], c, limit) && Pixels<Bits>::Ink(rows[r], c + 1, limit)) {
            return false;
        }
    }
    return true;
}

template <bool Bits>
bool BlankColumn(uint8_t** rows, int32_t c, int32_t r0, int32_t r1, uint8_t limit) {
    for (int32_t r = r0; r < r1; ++r) {
        if (Pixels<Bits>::Ink(rows[r], c, limit) && Pixels<Bits>::Ink(rows[r + 1], c, limit)) {
            return false;
        }
    }
    return true;
}

// Shrinks the rectangle of every wanted object by its blank border rows and
// columns in freshRows. Rectangles reaching outside the area (moved ones)
// are left alone.
template <bool Bits>
void TrimRectangles(AREAINFO& area) {
    const uint8_t limit = InkLimit(area);
    uint8_t** rows = area.freshRows;
    for (Object* o = area.objects->FindFirst(); o != nullptr; o = area.objects->FindNext()) {
        const Span s = SpanOf(area, *o);
        if (!Trimmable(area, s)) continue;
        const auto r0 = static_cast<int32_t>(s.r0), r1 = static_cast<int32_t>(s.r1);
        const auto c0 = static_cast<int32_t>(s.c0), c1 = static_cast<int32_t>(s.c1);
        int32_t t = 0, b = 0, l = 0, rt = 0;
        while (r0 + t <= r1 && BlankRow<Bits>(rows, r0 + t, c0, c1, limit)) ++t;
        while (r1 - b >= r0 + t && BlankRow<Bits>(rows, r1 - b, c0, c1, limit)) ++b;
        while (c0 + l <= c1 && BlankColumn<Bits>(rows, c0 + l, r0 + t, r1 - b, limit)) ++l;
        while (c1 - rt >= c0 + l && BlankColumn<Bits>(rows, c1 - rt, r0 + t, r1 - b, limit)) ++rt;
        o->left += l;
        o->right -= rt;
        o->top += t;
        o->bottom -= b;
    }
}

// CopyFill(y, x): every call inside the area counts; ink of freshRows is
// erased there and painted into workRows, and spreads while the count is
// below the cap.
template <bool Bits>
void CopyFill(AREAINFO& area, int32_t y, int32_t x, std::vector<FillFrame>& stack) {
    const uint8_t limit = InkLimit(area);
    uint8_t** fresh = area.freshRows;
    uint8_t** work = area.workRows;
    const int32_t left = area.left;
    const uint32_t height = static_cast<uint32_t>(area.height);
    const uint32_t width = static_cast<uint32_t>(area.width);
    DepthFirst(y, x, kRowStep8, kColumnStep8, stack, [&](int32_t py, int32_t px) {
        if (static_cast<uint32_t>(py) >= height || static_cast<uint32_t>(px) >= width) return false;
        ++area.fillCount;
        if (!Pixels<Bits>::TestAndErase(fresh[py], left + px, limit)) return false;
        Pixels<Bits>::Paint(work[py], left + px);
        return area.fillCount < kFillCap;
    });
}

// CopyFill from a seed, a component at a time where that gives the same
// result. Below the cap a CopyFill takes the whole fresh component of its
// seed and counts 1 + the in-area neighbours of each of its pixels, whatever
// its order; a component that a fill could take only in part is filled pixel
// by pixel, and stays with the exact fills from then on. Components taken
// whole are erased from freshRows and painted into workRows by Finish, in row
// order; until then their pixels count as erased.
template <bool Bits>
class ComponentRedraw {
  public:
    ComponentRedraw(AREAINFO& area, bool loadRows) : area_(area), parts_(Labels(area)) {
        LabelComponents<Bits>(area, area.freshRows, loadRows, false, Labels(area));
        state_.assign(parts_.componentCount, kWhole);
    }

    void From(int32_t y, int32_t x) {
        if (static_cast<uint32_t>(y) >= static_cast<uint32_t>(area_.height) ||
            static_cast<uint32_t>(x) >= static_cast<uint32_t>(area_.width)) {
            return;
        }
        uint32_t c = 0;
        if (!Pixels<Bits>::Ink(area_.freshRows[y], area_.left + x, InkLimit(area_)) ||
            state_[c = parts_.ComponentAt(y, x)] == kTaken) {
            ++area_.fillCount;
            return;
        }
        const int64_t calls = parts_.stats[c].calls;
        if (state_[c] == kWhole && area_.fillCount + calls < kFillCap) {
            area_.fillCount += static_cast<int32_t>(calls);
            state_[c] = kTaken;
            return;
        }
        state_[c] = kPartial;
        if (stack_.capacity() == 0) stack_.reserve(kFillCap + 1);
        CopyFill<Bits>(area_, y, x, stack_);
    }

    void Finish() {
        TransferRuns<Bits>(area_, parts_, state_.data(), kTaken, area_.freshRows, area_.workRows);
    }

  private:
    enum : uint8_t { kWhole, kTaken, kPartial };
    AREAINFO& area_;
    const Components& parts_;
    std::vector<uint8_t> state_;
    std::vector<FillFrame> stack_;
};

// Paints every wanted object back into workRows from freshRows. Nothing is
// drawn when the most recent fill (of extraction or of an earlier redraw)
// reached the cap.
// With loadRows freshRows still have to be loaded from the image.
template <bool Bits>
void Redraw(AREAINFO& area, bool loadRows) {
    ObjectList& list = *area.objects;
    if (area.fillCount >= kFillCap || list.FindFirst() == nullptr) {
        if (loadRows) LoadRows(area, area.freshRows);
        return;
    }
    ComponentRedraw<Bits> redraw(area, loadRows);
    // A reader's deadline stops the redraw between objects; those not
    // reached stay without ink.
    Deadline* deadline = State().deadline;
    size_t drawn = 0;
    for (Object* o = list.FindFirst(); o != nullptr; o = list.FindNext()) {
        if (deadline != nullptr && ++drawn % 256 == 0 && deadline->expired()) break;
        area.fillCount = 0;
        if (o->children == nullptr) {
            redraw.From(o->seedRow, o->seedColumn);
            continue;
        }
        list.saved = o;
        for (const Piece* piece = o->children; piece != nullptr; piece = piece->children) {
            redraw.From(piece->seedRow, piece->seedColumn);
        }
        list.current = list.saved;
    }
    redraw.Finish();
}

// An object's rectangle clipped to the area (it can only reach outside after
// a move): rows r0..r1 from the area's top, image columns c0..c1.
struct Window {
    int32_t r0, r1, c0, c1;

    bool Empty() const { return r0 > r1 || c0 > c1; }
    bool Outside(int32_t y, int32_t x) const { return y < r0 || y > r1 || x < c0 || x > c1; }
    bool Reaches(const FillBox& b) const {
        return b.maxY == r1 || b.minY == r0 || b.minX == c0 || b.maxX == c1;
    }
};

Window ClippedWindow(const AREAINFO& area, const Object& object) {
    const Span s = SpanOf(area, object);
    return {static_cast<int32_t>(std::max<int64_t>(s.r0, 0)),
            static_cast<int32_t>(std::min<int64_t>(s.r1, area.height - 1)),
            static_cast<int32_t>(std::max<int64_t>(s.c0, area.left)),
            static_cast<int32_t>(std::min<int64_t>(s.c1, area.left + area.width - 1))};
}

// The bytes of a window's rows, kept while probing paints them.
class SavedBytes {
  public:
    SavedBytes(uint8_t** rows, const Window& w, int32_t pixelsPerByte)
        : rows_(rows),
          r0_(w.r0),
          r1_(w.r1),
          b0_(w.c0 / pixelsPerByte),
          span_(static_cast<size_t>(w.c1 / pixelsPerByte - b0_ + 1)) {}

    void Save(std::vector<uint8_t>& store) const {
        store.resize(span_ * static_cast<size_t>(r1_ - r0_ + 1));
        for (int32_t y = r0_; y <= r1_; ++y)
            std::copy_n(rows_[y] + b0_, span_, store.begin() + (y - r0_) * span_);
    }
    void Restore(const std::vector<uint8_t>& store) const {
        for (int32_t y = r0_; y <= r1_; ++y)
            std::copy_n(store.begin() + (y - r0_) * span_, span_, rows_[y] + b0_);
    }

  private:
    uint8_t** rows_;
    int32_t r0_, r1_, b0_;
    size_t span_;
};

// Seeds of the holes of one window: every 4-connected region of non-ink that
// does not reach the window's border and holds at most maxHoleSize pixels.
// Probing paints what it visits, so the caller restores the window after.
template <bool Bits>
void FindHoles(const AREAINFO& area, const Window& w, uint8_t limit, std::vector<FillFrame>& stack,
               std::vector<FillFrame>& seeds) {
    uint8_t** work = area.workRows;
    FillBox box{};
    int32_t count = 0;
    const auto probe = [&](int32_t y, int32_t x) {
        if (w.Outside(y, x) || Pixels<Bits>::TestAndPaint(work[y], x, limit)) return false;
        box.Grow(y, x);
        ++count;
        return true;
    };
    seeds.clear();
    for (int32_t x = w.c0; x <= w.c1; ++x) {
        for (int32_t y = w.r0; y <= w.r1; ++y) {
            if (Pixels<Bits>::Ink(work[y], x, limit)) continue;
            box = FillBox::At(y, x);
            count = 0;
            DepthFirst(y, x, kRowStep4, kColumnStep4, stack, probe);
            if (count <= area.maxHoleSize && !w.Reaches(box)) seeds.push_back({y, x, 0});
        }
    }
}

// Fills the enclosed holes of every wanted object: 4-connected regions of
// non-ink inside its rectangle that do not reach the rectangle's border and
// hold at most maxHoleSize pixels. Ink of any object counts as border.
template <bool Bits>
void FillHoles(AREAINFO& area, int32_t bitsPerPixel) {
    const uint8_t limit = InkLimit(area);
    // With a limit of 0 no byte is ink, not even a painted one: every region
    // reaches its rectangle's border, so there are no holes, and probing
    // would enter the same pixels for ever.
    if (!Bits && limit == 0) return;
    uint8_t** work = area.workRows;
    std::vector<FillFrame> stack, seeds;
    std::vector<uint8_t> saved;
    ObjectList& list = *area.objects;
    for (Object* o = list.FindFirst(); o != nullptr; o = list.FindNext()) {
        const Window w = ClippedWindow(area, *o);
        if (w.Empty()) continue;
        const SavedBytes bytes(work, w, 8 / bitsPerPixel);
        bytes.Save(saved);
        FindHoles<Bits>(area, w, limit, stack, seeds);
        bytes.Restore(saved);
        const auto fill = [&](int32_t y, int32_t x) {
            if (w.Outside(y, x) || Pixels<Bits>::Ink(work[y], x, limit)) return false;
            Pixels<Bits>::Paint(work[y], x);
            return true;
        };
        for (const FillFrame& seed : seeds) {
            DepthFirst(seed.y, seed.x, kRowStep4, kColumnStep4, stack, fill);
        }
    }
}

// LoadFreshRows, trimming, redraw and hole filling. Without trimming the
// fresh rows are loaded as the redraw labels them.
template <bool Bits>
void Rebuild(AREAINFO& area) {
    const bool trim = (area.options & 1u) != 0;
    if (trim) {
        LoadRows(area, area.freshRows);
        TrimRectangles<Bits>(area);
    }
    Redraw<Bits>(area, !trim);
    const uint32_t bitsPerPixel = area.image->GetBitsPerPixel();
    // Hole filling works on 1- and 8-bit rows only.
    if (area.maxHoleSize > 0 && (bitsPerPixel == 1 || bitsPerPixel == 8)) {
        FillHoles<Bits>(area, static_cast<int32_t>(bitsPerPixel));
    }
}

}  // namespace
void RemoveIgnoredObjects(int32_t writeBack) {
    AREAINFO* area = gw::CurrentArea();
    if (area == nullptr) return;
    if (gw::BitAccessors()) {
        gw::Rebuild<true>(*area);
    } else {
        gw::Rebuild<false>(*area);
    }
    area->objects->current = nullptr;
    if (writeBack != 0) gw::WriteBack(*area);
}

void CleanObjects(int32_t writeBack) {
    AREAINFO* area = gw::CurrentArea();
    if (area == nullptr) return;
    ObjectList& list = *area->objects;
    for (Object* o = list.FindFirst(); o != nullptr; o = list.FindNext()) {
        const int64_t w = o->Width();
        const int64_t h = o->Height();
        if (w < area->minObjectWidth || w > area->maxObjectWidth || h < area->minObjectHeight ||
            h > area->maxObjectHeight) {
            o->ignored = 1;
        }
    }
    RemoveIgnoredObjects(writeBack);
}

}  // namespace gw
