// The object list: cursor walks, appending, linking, unlinking and bounds.
#include "area/ObjectList.h"

#include <algorithm>

namespace {

using gw::Object;
using gw::Piece;

// Skips ignored objects from object on.
Object* FirstWanted(Object* object) {
    while (object != nullptr && object->ignored != 0) object = object->next;
    return object;
}

void CopyPlacement(Piece* to, const Piece& from) {
    to->left = from.left;
    to->top = from.top;
    to->right = from.right;
    to->bottom = from.bottom;
    to->seedRow = from.seedRow;
    to->seedColumn = from.seedColumn;
}

void DeleteChain(Piece* piece) {
    while (piece != nullptr) {
        Piece* next = piece->children;
        delete piece;
        piece = next;
    }
}

}  // namespace

ObjectList::ObjectList(uint32_t owns) : tail(&head), ownsChildren(owns) {}

ObjectList::~ObjectList() {
    if (ownsChildren == 1) DeleteChain(head.children);
    Object* object = head.next;
    while (object != nullptr) {
        Object* next = object->next;
        DeleteObject(object);
        object = next;
    }
    delete[] tagCounts;
}

void ObjectList::DeleteObject(Object* object) {
    // An owning list releases the pieces too: nothing else refers to them.
    if (ownsChildren == 1) DeleteChain(object->children);
    delete object;
}

Object* ObjectList::FindFirst() {
    current = FirstWanted(head.next);
    return current;
}

Object* ObjectList::FindNext() {
    if (current != nullptr) current = FirstWanted(current->next);
    return current;
}

Object* ObjectList::Append(const int32_t rect[4], int32_t seedRow, int32_t seedColumn) {
    auto* object = new Object;
    object->left = rect[0];
    object->top = rect[1];
    object->right = rect[2];
    object->bottom = rect[3];
    object->seedRow = seedRow;
    object->seedColumn = seedColumn;
    object->prev = tail;
    tail->next = object;
    tail = object;
    ++count;
    return object;
}

Object* ObjectList::AppendCopyOfCurrent(const ObjectList& other) {
    const Object* source = other.current;
    int32_t rect[4] = {source->left, source->top, source->right, source->bottom};
    Object* copy = Append(rect, source->seedRow, source->seedColumn);
    copy->children = other.current;
    return copy;
}

void ObjectList::InsertBefore(Object* object, Object* newObject) {
    Object* before = object->prev;
    newObject->prev = before;
    newObject->next = object;
    before->next = newObject;
    object->prev = newObject;
    ++count;
}

void ObjectList::AddChild(Object* object, const Piece& source) {
    auto* piece = new Piece;
    CopyPlacement(piece, source);
    Piece** link = &object->children;
    while (*link != nullptr) link = &(*link)->children;
    *link = piece;
}

void ObjectList::Unlink(Object* object) {
    Object* before = object->prev;
    before->next = object->next;
    if (object == tail) {
        tail = before;
    } else {
        object->next->prev = before;
    }
    if (current == object) current = nullptr;
    if (saved == object) saved = nullptr;
    DeleteObject(object);
    --count;
}

void ObjectList::RemoveLast() {
    Object* last = tail;
    tail = last->prev;
    tail->next = nullptr;
    if (current == last) current = nullptr;
    if (saved == last) saved = nullptr;
    DeleteObject(last);
    --count;
}

int32_t ObjectList::Bounds(int32_t rect[4]) {
    const Object* object = FindFirst();
    if (object == nullptr) return 0;
    rect[0] = object->left;
    rect[1] = object->top;
    rect[2] = object->right;
    rect[3] = object->bottom;
    for (; object != nullptr; object = FindNext()) {
        rect[0] = std::min(rect[0], object->left);
        rect[2] = std::max(rect[2], object->right);
        rect[3] = std::max(rect[3], object->bottom);
        rect[1] = std::min(rect[1], object->top);
    }
    return 1;
}

::OBJECTINFO* ObjectList::HostView(Object* object) {
    // left..seedColumn are six consecutive int32_t members, the layout of the
    // host's record.
    static_assert(sizeof(::OBJECTINFO) == 6 * sizeof(int32_t));
    return object == nullptr ? nullptr : reinterpret_cast<::OBJECTINFO*>(&object->left);
}
