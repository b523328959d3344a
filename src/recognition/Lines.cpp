// Line assembly: tagging objects into lines, filtering lines by their
// counts, removing one line, walking the remaining lines.
#include "api/Calls.h"
#include "recognition/Lines.h"
#include "shared/Deadline.h"

#include <algorithm>

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

// Grows a line from a, one object at a time, always searching from the
// start of the list for the first object that may follow the last one.
void GrowLine(ObjectList& list, Object* a, int32_t tag) {
    Object* last = a;
    for (;;) {
        const int64_t m = Middle(*last);
        Object* b = LineFrom(list.head.next, 0);
        while (b != nullptr && !Follows(*b, *last, m)) b = LineFrom(b->next, 0);
        // LineFrom with tag 0 yields the untagged objects that are not ignored.
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
    for (gw::Object* a = list->FindFirst(); a != nullptr; a = list->FindNext()) {
        if (a->lineTag != 0) continue;
        if (deadline != nullptr && deadline->expired()) break;
        a->lineTag = static_cast<int32_t>(++list->tagTotal);
        list->saved = a;
        gw::GrowLine(*list, a, a->lineTag);
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
    for (uint32_t t = 1; t <= list->tagTotal; ++t) {
        const int64_t count = list->tagCounts[t - 1];
        if (count >= minCount && count <= maxCount) continue;
        gw::IgnoreTag(*list, static_cast<int32_t>(t));
        list->tagCounts[t - 1] = 0;
        list->current = nullptr;
    }
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
