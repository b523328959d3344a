// The object list exports: counting, walking, ignoring, bounds, and moving
// one object's pixels within the image.
#include <cstdint>

#include "api/Calls.h"
#include "area/Area.h"

namespace {

ObjectList* CurrentList() {
    AREAINFO* area = gw::CurrentArea();
    return area != nullptr ? area->objects : nullptr;
}

// a - b with wrap-around: a moved rectangle may leave the 32-bit range.
int32_t Minus(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

}  // namespace

namespace gw {

int32_t GetNumberOfObjects() {
    const ObjectList* list = CurrentList();
    return list != nullptr ? static_cast<int32_t>(list->count) : 0;
}

OBJECTINFO* FindFirstObject() {
    ObjectList* list = CurrentList();
    return list != nullptr ? ObjectList::HostView(list->FindFirst()) : nullptr;
}

OBJECTINFO* FindNextObject() {
    ObjectList* list = CurrentList();
    return list != nullptr ? ObjectList::HostView(list->FindNext()) : nullptr;
}

void IgnoreObject() {
    ObjectList* list = CurrentList();
    if (list != nullptr && list->current != nullptr) list->current->ignored = 1;
}

void ResetIgnoredObjects() {
    ObjectList* list = CurrentList();
    if (list == nullptr) return;
    for (gw::Object* o = list->head.next; o != nullptr; o = o->next) o->ignored = 0;
}

int32_t ObjectListBounds(int32_t* rectangle) {
    ObjectList* list = CurrentList();
    if (list == nullptr || rectangle == nullptr) return 0;
    return list->Bounds(rectangle);
}

void MoveObject(int32_t dx, int32_t dy) {
    AREAINFO* area = gw::CurrentArea();
    if (area == nullptr || area->objects->current == nullptr) return;
    gw::Object& object = *area->objects->current;
    DVImageProcessor& image = *area->image;

    // The old rectangle is copied out, cleared to 0 and pasted at its new
    // place; a rectangle the image cannot lock is left to the image to refuse.
    const int64_t w = object.Width();
    const int64_t h = object.Height();
    if (w > 0 && h > 0 && w <= INT32_MAX && h <= INT32_MAX) {
        DVImageProcessor saved;
        const dv::Rect from = {object.left, object.top, static_cast<int32_t>(w),
                               static_cast<int32_t>(h)};
        image.CopyTo(&saved, 1, &from);
        if (saved.GetBitmap() != nullptr) {
            const dv::Position origin = {0, 0};
            const dv::Size size = {static_cast<uint32_t>(w), static_cast<uint32_t>(h)};
            const dv::Position old = {static_cast<uint32_t>(object.left),
                                      static_cast<uint32_t>(object.top)};
            const dv::Position moved = {static_cast<uint32_t>(Minus(object.left, dx)),
                                        static_cast<uint32_t>(Minus(object.top, dy))};
            image.Combine(saved.GetBitmap(), &origin, &old, &size, 0, 0, 1);
            image.Combine(saved.GetBitmap(), &origin, &moved, &size, 0, 0, 2);
        }
        saved.Destroy();
    }

    object.top = Minus(object.top, dy);
    object.bottom = Minus(object.bottom, dy);
    object.seedRow = Minus(object.seedRow, dy);
    object.left = Minus(object.left, dx);
    object.right = Minus(object.right, dx);
    object.seedColumn = Minus(object.seedColumn, dx);
}

}  // namespace gw
