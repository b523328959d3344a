// The object list of an area: a doubly linked list of objects with a cursor.
//
// An object is one 8-connected group of ink pixels, or a group of such pieces
// joined by extraction; a joined object keeps its pieces as a chain of
// gw::Piece records so that the redraw can fill them again from their seeds.
// The same list type serves as a temporary list (fragment groups, holes); a
// temporary list does not own what its entries' `children` point at.
//
// Invariants: following `next` from `head` visits exactly `count` objects and
// ends at `tail` (`tail` is &head when the list is empty); every object's
// `prev` is the object (or &head) before it; `current` and `saved` are null or
// objects of this list. The list order is extraction order, and a joined
// object stands where its first piece stood.
//
// Coordinates: `left`, `top`, `right`, `bottom` are image pixels, right and
// bottom inclusive. `seedRow` is counted from the area's top; `seedColumn` from
// the area's left for objects made by extraction, in image columns for holes.
#pragma once

#include <cstdint>

#include "Glyphwick.h"

namespace gw {

/// A piece of a joined object: its rectangle and the pixel its fill
/// starts from. In a piece, `children` is the next piece of the same
/// object (null at the end of the chain).
struct Piece {
    Piece() = default;
    Piece(const Piece&) = delete;
    Piece& operator=(const Piece&) = delete;
    /// Neither destructor touches `children` or the list links.
    virtual ~Piece() = default;
    /// 1 for a piece, 0 for an object.
    virtual int32_t IsChild() const { return 1; }

    Piece* children = nullptr;
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t seedRow = 0;
    int32_t seedColumn = 0;

    /// Width and height of the rectangle, widened so that no rectangle
    /// overflows (an emptied rectangle gives 0).
    int64_t Width() const { return int64_t{right} - left + 1; }
    int64_t Height() const { return int64_t{bottom} - top + 1; }
};

/// An object of a list (the internal form of the public OBJECTINFO, which
/// is the head of it). `children` is the first piece of a joined object, null for
/// a plain one; in a temporary grouping list it is instead the object of
/// the main list that the entry copies.
struct Object : Piece {
    /// Releases cellString.
    ~Object() override { delete[] cellString; }
    int32_t IsChild() const override { return 0; }

    Object* next = nullptr;      ///< null for the last object
    Object* prev = nullptr;      ///< &head for the first object
    char* cellString = nullptr;  ///< owned (new[]); set by identification
    int32_t score = 0;           ///< identification score
    char identity = '?';         ///< identified character
    int32_t ignored = 0;         ///< 1 hides the object from FindFirst/FindNext
    int32_t lineTag = 0;         ///< line the object belongs to, 0 for none
};

}  // namespace gw

class ObjectList {
  public:
    /// An empty list. ownsChildren 1: deleting an object of the list (with
    /// the list, Unlink or RemoveLast) also deletes its chain of pieces.
    explicit ObjectList(uint32_t ownsChildren);
    ~ObjectList();
    ObjectList(const ObjectList&) = delete;
    ObjectList& operator=(const ObjectList&) = delete;

    /// First object that is not ignored, which becomes `current` (null when
    /// there is none).
    gw::Object* FindFirst();
    /// The same from the object after `current`; null (and `current` null)
    /// when `current` is null.
    gw::Object* FindNext();

    /// Appends a new object with the given rectangle and seed; returns it.
    gw::Object* Append(const int32_t rect[4], int32_t seedRow, int32_t seedColumn);
    /// Appends a copy of the rectangle and seed of other's `current`, whose
    /// `children` refers to that object (which must exist). Returns it.
    gw::Object* AppendCopyOfCurrent(const ObjectList& other);
    /// Links newObject (allocated with new, now owned) just before object.
    void InsertBefore(gw::Object* object, gw::Object* newObject);
    /// Appends to object's chain of pieces a piece copying source's
    /// rectangle and seed.
    static void AddChild(gw::Object* object, const gw::Piece& source);
    /// Unlinks object from the list and deletes it.
    void Unlink(gw::Object* object);
    /// Deletes the last object (the list must not be empty).
    void RemoveLast();
    /// Union (left, top, right, bottom) of the objects that are not ignored:
    /// 1, or 0 with rect untouched when there is none. `current` ends null.
    int32_t Bounds(int32_t rect[4]);

    /// The host's view of an object: the address of its `left`.
    static ::OBJECTINFO* HostView(gw::Object* object);

    gw::Object head;                ///< sentinel; its `next` is the first object
    gw::Object* tail;               ///< last object, &head when empty
    gw::Object* current = nullptr;  ///< the cursor
    gw::Object* saved = nullptr;    ///< a saved cursor (grouping, redraw, lines)
    uint32_t count = 0;             ///< number of objects, ignored ones included
    uint32_t* tagCounts = nullptr;  ///< owned (new[]): objects per line tag, tag t at t - 1
    uint32_t tagTotal = 0;          ///< entries of tagCounts
    uint32_t ownsChildren;          ///< 1: deleting an object deletes its pieces

  private:
    void DeleteObject(gw::Object* object);
};
