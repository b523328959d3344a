// Line assembly: tagging objects into lines, filtering lines by their
// counts, removing one line, walking the remaining lines.
#include "api/Calls.h"
#include "recognition/Lines.h"
#include "shared/Deadline.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace gw {
namespace {

int64_t Middle(const Object& o) {
    return int64_t{o.top} + (int64_t{o.bottom} - o.top) / 2;
}

// B may follow the chain's last object: untagged, strictly right of it, and
// overlapping it vertically by one of the two strict tests.
bool Follows(const Object& b, const Object& last, int64_t lastMiddle) {
    if (b.lineTag != 0 || b.left <= last.right) return false;
    const int64_t m = Middle(b);
    return (b.top < lastMiddle && lastMiddle < b.bottom) || (last.top < m && m < last.bottom);
}

// The objects of a list in its order, indexed for the search of the object
// that may follow another: by the largest left edge up to each place, and by
// bands of rows. An object that may follow another lies right of it and
// shares a row with it, so only the places from the first one whose running
// largest left edge lies right of it, and only the objects of the bands its
// rows cross, need be looked at. Ignored objects are left out (none becomes
// one while lines are tagged); objects taller than kTallBands bands are kept
// apart and looked at for every search.
struct Ordered {
    static constexpr int64_t kTallBands = 8;
    std::vector<Object*> objects;
    std::vector<int32_t> maxLeft;
    std::vector<std::vector<uint32_t>> bands;  // places, in list order
    std::vector<uint32_t> tall;
    int64_t top = 0, bandRows = 16;

    explicit Ordered(ObjectList& list) {
        int32_t most = INT32_MIN;
        int64_t bottom = INT64_MIN;
        top = INT64_MAX;
        for (Object* o = list.head.next; o != nullptr; o = o->next) {
            most = std::max(most, o->left);
            objects.push_back(o);
            maxLeft.push_back(most);
            if (o->ignored != 0) continue;
            top = std::min<int64_t>(top, std::min(o->top, o->bottom));
            bottom = std::max<int64_t>(bottom, std::max(o->top, o->bottom));
        }
        if (bottom < top) return;
        // At most one band per object: a few rows high on a page of text.
        bandRows = std::max<int64_t>(16, (bottom - top) / int64_t(objects.size() + 1) + 1);
        bands.resize(size_t(Band(bottom) + 1));
        for (size_t i = 0; i < objects.size(); ++i) {
            const Object& o = *objects[i];
            if (o.ignored != 0) continue;
            const int64_t lo = Band(std::min(o.top, o.bottom)),
                          hi = Band(std::max(o.top, o.bottom));
            if (hi - lo >= kTallBands) {
                tall.push_back(uint32_t(i));
                continue;
            }
            for (int64_t b = lo; b <= hi; ++b) bands[size_t(b)].push_back(uint32_t(i));
        }
    }
    int64_t Band(int64_t row) const { return (row - top) / bandRows; }

    // The first place of places (ascending) from from on, and before best,
    // whose object may follow last (with middle m); best when there is none.
    uint32_t First(const std::vector<uint32_t>& places, uint32_t from, uint32_t best,
                   const Object& last, int64_t m) const {
        for (auto i = std::lower_bound(places.begin(), places.end(), from);
             i != places.end() && *i < best; ++i)
            if (InLine(*objects[*i], 0) && Follows(*objects[*i], last, m)) return *i;
        return best;
    }

    // The first object of the list that may follow last (with middle m):
    // untagged, not ignored, right of it and sharing its rows as Follows
    // says; null when there is none.
    Object* NextAfter(const Object& last, int64_t m) const {
        const auto from = uint32_t(std::upper_bound(maxLeft.begin(), maxLeft.end(), last.right) -
                                   maxLeft.begin());
        uint32_t best = First(tall, from, uint32_t(objects.size()), last, m);
        // Either object's rows, a box turned upside down included.
        const int64_t first = std::max<int64_t>(Band(std::min(last.top, last.bottom)), 0);
        const int64_t end =
            std::min<int64_t>(Band(std::max(last.top, last.bottom)), int64_t(bands.size()) - 1);
        for (int64_t b = first; b <= end; ++b) best = First(bands[size_t(b)], from, best, last, m);
        return best < objects.size() ? objects[best] : nullptr;
    }
};

// Grows a line from a, one object at a time: the next object is always the
// first of the list that may follow the last one.
void GrowLine(const Ordered& list, Object* a, int32_t tag) {
    for (Object* last = a;;) {
        Object* b = list.NextAfter(*last, Middle(*last));
        if (b == nullptr) return;
        b->lineTag = tag;
        last = b;
    }
}

void IgnoreTag(ObjectList& list, int32_t tag) {
    for (Object* o = list.head.next; o != nullptr; o = o->next)
        if (InLine(*o, tag)) o->ignored = 1;
}

}  // namespace

ObjectList* CurrentList() {
    AREAINFO* area = CurrentArea();
    return area != nullptr ? area->objects : nullptr;
}

Object* LineFrom(Object* object, int32_t tag) {
    while (object != nullptr && !InLine(*object, tag)) object = object->next;
    return object;
}

std::vector<Object*> LineObjects(ObjectList& list, int32_t tag) {
    std::vector<Object*> line;
    for (Object* o = LineFrom(list.head.next, tag); o != nullptr; o = LineFrom(o->next, tag))
        line.push_back(o);
    return line;
}

uint32_t TagCount(const ObjectList& list, int32_t tag) {
    if (tag < 1 || static_cast<uint32_t>(tag) > list.tagTotal) return 0;
    return list.tagCounts[tag - 1];
}

void InsertAfter(ObjectList& list, Object* object, Object* newObject) {
    newObject->prev = object;
    newObject->next = object->next;
    if (object->next != nullptr) {
        object->next->prev = newObject;
    } else {
        list.tail = newObject;
    }
    object->next = newObject;
    ++list.count;
}

Object* NewObject(int32_t left, int32_t top, int32_t right, int32_t bottom, char identity,
                  int32_t tag) {
    auto* o = new Object;
    o->left = left;
    o->top = top;
    o->right = right;
    o->bottom = bottom;
    o->identity = identity;
    o->lineTag = tag;
    return o;
}

std::vector<int32_t> RankValues(const std::vector<int64_t>& values) {
    // Sorting positions by value, stably, gives each position its rank.
    std::vector<int32_t> order(values.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int32_t>(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](int32_t a, int32_t b) { return values[a] < values[b]; });
    std::vector<int32_t> ranks(values.size());
    for (size_t r = 0; r < order.size(); ++r) ranks[order[r]] = static_cast<int32_t>(r) + 1;
    return ranks;
}

int64_t MedianByRank(const std::vector<int64_t>& values, const std::vector<int32_t>& ranks) {
    const size_t n = values.size();
    if (n == 0) return 0;
    std::vector<int64_t> byRank(n);
    for (size_t i = 0; i < n; ++i) byRank[ranks[i] - 1] = values[i];
    if (n % 2 == 1) return byRank[(n + 1) / 2 - 1];
    return (byRank[n / 2 - 1] + byRank[n / 2]) / 2;
}

void SetLineTags() {
    ObjectList* list = gw::CurrentList();
    if (list == nullptr) return;
    // Tagging afresh makes a second call give the lines of a fresh list.
    for (gw::Object* o = list->head.next; o != nullptr; o = o->next) o->lineTag = 0;
    list->tagTotal = 0;
    // A reader's deadline stops the tagging between lines; objects not
    // reached keep no line.
    gw::Deadline* deadline = gw::State().deadline;
    const gw::Ordered ordered(*list);
    for (gw::Object* a = list->FindFirst(); a != nullptr; a = list->FindNext()) {
        if (a->lineTag != 0) continue;
        if (deadline != nullptr && deadline->expired()) break;
        a->lineTag = static_cast<int32_t>(++list->tagTotal);
        list->saved = a;
        gw::GrowLine(ordered, a, a->lineTag);
        list->current = list->saved;
    }
    auto* counts = new uint32_t[list->tagTotal]();
    delete[] list->tagCounts;
    list->tagCounts = counts;
    for (gw::Object* o = list->head.next; o != nullptr; o = o->next) {
        if (o->ignored == 0 && o->lineTag >= 1 &&
            static_cast<uint32_t>(o->lineTag) <= list->tagTotal)
            ++counts[o->lineTag - 1];
    }
    list->current = nullptr;
}

void FilterLineTags(int32_t minCount, int32_t maxCount) {
    ObjectList* list = gw::CurrentList();
    if (list == nullptr) return;
    // The lines outside the counts are marked first, then their objects
    // ignored in one pass over the list.
    std::vector<bool> drop(size_t(list->tagTotal) + 1, false);
    bool any = false;
    for (uint32_t t = 1; t <= list->tagTotal; ++t) {
        const int64_t count = list->tagCounts[t - 1];
        if (count >= minCount && count <= maxCount) continue;
        drop[t] = any = true;
        list->tagCounts[t - 1] = 0;
    }
    if (!any) return;
    for (gw::Object* o = list->head.next; o != nullptr; o = o->next)
        if (o->ignored == 0 && o->lineTag >= 1 && uint32_t(o->lineTag) <= list->tagTotal &&
            drop[size_t(o->lineTag)])
            o->ignored = 1;
    list->current = nullptr;
}

void IgnoreLineTag(int32_t tag) {
    ObjectList* list = gw::CurrentList();
    if (list == nullptr || tag < 1 || static_cast<uint32_t>(tag) > list->tagTotal) return;
    gw::IgnoreTag(*list, tag);
    list->tagCounts[tag - 1] = 0;
    list->current = nullptr;
}

int32_t GetPotentialLine(int32_t previousTag) {
    ObjectList* list = gw::CurrentList();
    if (list == nullptr) return 0;
    for (int64_t t = std::max(previousTag, 0) + int64_t{1}; t <= list->tagTotal; ++t)
        if (list->tagCounts[t - 1] != 0) return static_cast<int32_t>(t);
    return 0;
}

}  // namespace gw
