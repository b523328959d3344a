// Lines of objects: helpers shared by the line, text, best-line and split
// operations.
//
// A line is the sequence, in list order, of the objects that are not ignored
// and carry its tag.
#pragma once

#include <cstdint>
#include <vector>

#include "area/Area.h"

namespace gw {

/// The current area's object list, or null without a current area.
ObjectList* CurrentList();

/// True when the object belongs to the line with this tag.
inline bool InLine(const Object& o, int32_t tag) {
    return o.ignored == 0 && o.lineTag == tag;
}

/// The first object of the line from object on (object included), or null.
Object* LineFrom(Object* object, int32_t tag);

/// The objects of a line in list order.
std::vector<Object*> LineObjects(ObjectList& list, int32_t tag);

/// Count of the line's objects in tagCounts; 0 for a tag without an entry.
uint32_t TagCount(const ObjectList& list, int32_t tag);

/// Links a new object (allocated with new, now owned by the list) just after
/// object; the new object becomes the tail when object was the tail.
void InsertAfter(ObjectList& list, Object* object, Object* newObject);

/// A new object with the given box, character and line tag, score 0, no
/// cell string, seeds 0 and no pieces.
Object* NewObject(int32_t left, int32_t top, int32_t right, int32_t bottom, char identity,
                  int32_t tag);

/// Stable ascending ranks: 1 plus the number of smaller values plus the
/// number of equal values before, so the ranks are 1 to n.
std::vector<int32_t> RankValues(const std::vector<int64_t>& values);

/// The value of rank (n + 1) / 2 for odd n, the truncated mean of the values
/// of ranks n / 2 and n / 2 + 1 for even n, 0 for none.
int64_t MedianByRank(const std::vector<int64_t>& values, const std::vector<int32_t>& ranks);

}  // namespace gw
