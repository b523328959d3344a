// Depth-first flood fills on an explicit stack.
//
// The area's fills are written as recursions: "enter (y, x); if it may
// spread, recurse into the neighbours in a fixed order". DepthFirst runs such
// a recursion with a stack of (pixel, next neighbour) frames, so pixels are
// entered in exactly the recursive order (which decides the outcome when a
// fill stops at a cap) while no image can overflow the machine stack.
#pragma once

#include <cstdint>
#include <vector>

namespace gw {

/// A pixel whose neighbours are being visited, and the next one to visit.
struct FillFrame {
    int32_t y;
    int32_t x;
    int32_t next;
};

/// Neighbour orders: the eight of the object fills, starting to the right and
/// turning clockwise, and the four of the hole fills.
inline constexpr int8_t kRowStep8[8] = {0, 1, 1, 1, 0, -1, -1, -1};
inline constexpr int8_t kColumnStep8[8] = {1, 1, 0, -1, -1, -1, 0, 1};
inline constexpr int8_t kRowStep4[4] = {0, 1, 0, -1};
inline constexpr int8_t kColumnStep4[4] = {1, 0, -1, 0};

/// The box of the pixels a fill entered, grown pixel by pixel from its seed.
struct FillBox {
    int32_t minX;
    int32_t minY;
    int32_t maxX;
    int32_t maxY;

    static FillBox At(int32_t y, int32_t x) { return {x, y, x, y}; }
    void Grow(int32_t y, int32_t x) {
        if (y < minY) {
            minY = y;
        } else if (y > maxY) {
            maxY = y;
        }
        if (x < minX) {
            minX = x;
        } else if (x > maxX) {
            maxX = x;
        }
    }
};

/// Runs the recursion "if enter(y, x) then visit each neighbour in order".
/// enter(y, x) does the work of one call (bounds, tests, side effects) and
/// returns whether the call spreads to the neighbours. stack is scratch that
/// callers reuse between fills to keep its allocation.
template <int N, class Enter>
void DepthFirst(int32_t y, int32_t x, const int8_t (&rowStep)[N], const int8_t (&columnStep)[N],
                std::vector<FillFrame>& stack, Enter&& enter) {
    if (!enter(y, x)) return;
    stack.clear();
    stack.push_back({y, x, 0});
    while (!stack.empty()) {
        FillFrame& top = stack.back();
        if (top.next == N) {
            stack.pop_back();
            continue;
        }
        const int32_t step = top.next++;
        const int32_t ny = top.y + rowStep[step];
        const int32_t nx = top.x + columnStep[step];
        if (enter(ny, nx)) stack.push_back({ny, nx, 0});
    }
}

}  // namespace gw
