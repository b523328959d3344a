// Helpers of the area tests: the shared page and area helpers, and the object
// list read through the exports.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "DVImageProcessor.h"
#include "Glyphwick.h"
#include "support/Page.h"

namespace areatest {

using gwtest::AreaOver;
using gwtest::AreaScope;
using gwtest::OpenParams;
using gwtest::Page;

using Object = std::array<int32_t, 6>;  // left, top, right, bottom, seedRow, seedColumn

/// The objects that are not ignored, in list order.
inline std::vector<Object> Walk() {
    std::vector<Object> out;
    for (const OBJECTINFO* o = GW_FindFirstObject(); o != nullptr; o = GW_FindNextObject()) {
        out.push_back({o->left, o->top, o->right, o->bottom, o->seedRow, o->seedColumn});
    }
    return out;
}

}  // namespace areatest
