// Object extraction steps, shared by the exports that rebuild an area's list.
#pragma once

#include <cstdint>

#include "area/Area.h"

namespace gw {

/// Most pixels one object fill takes into its count (extraction and redraw).
inline constexpr int32_t kFillCap = 10000;

/// Finds every 8-connected group of ink in workRows (which must be loaded),
/// scanning columns left to right and each column top to bottom, erasing the
/// groups as it fills them, and appends an object for each group whose box is
/// at least 3 pixels wide or high. Leaves fillCount at the last fill's count.
void ExtractObjects(AREAINFO& area);

/// Joins neighbouring fragments of the area's list into objects with pieces.
/// Leaves the list's cursor null.
void GroupFragments(AREAINFO& area);

}  // namespace gw
