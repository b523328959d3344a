// The 8-connected ink components of an area's rows, found from horizontal
// runs of ink joined row to row.
//
// The fills of extraction and redraw are defined as depth-first recursions
// capped at a number of counted calls. Below the cap a fill's outcome does not
// depend on its visiting order: it takes the whole component that contains
// its seed. Labelling the components once lets those fills be done a run at a
// time; only fills that can reach the cap run pixel by pixel in the exact
// recursive order.
#pragma once

#include <cstdint>
#include <vector>

#include "area/Area.h"

namespace gw {

/// A maximal horizontal run of ink: area row y, area columns x0 .. x1.
struct InkRun {
    int32_t y;
    int32_t x0;
    int32_t x1;
    uint32_t component;  ///< 0 .. componentCount - 1
};

/// The components of one set of rows as runs in row order. Work on whole
/// components is done in one pass over the runs, which keeps memory access
/// in row order.
struct Components {
    std::vector<InkRun> runs;        ///< by row, then by column
    std::vector<uint32_t> rowStart;  ///< runs of row y: [rowStart[y], rowStart[y + 1])
    uint32_t componentCount = 0;

    /// The component holding area pixel (y, x), which must be ink.
    uint32_t ComponentAt(int32_t y, int32_t x) const;
};

/// Labels the ink of rows (area columns only) as read by the accessor set Bits.
/// With load, each row is first loaded from the image (LoadRow), so that it
/// is scanned while it is still in the cache.
template <bool Bits>
void LabelComponents(AREAINFO& area, uint8_t* const* rows, bool load, Components& out);

/// Pixels of each run become background (bit cleared, byte 255) or ink (bit
/// set, byte 0); columns are area columns.
template <bool Bits>
void EraseRun(const AREAINFO& area, uint8_t* const* rows, const InkRun& run);
template <bool Bits>
void PaintRun(const AREAINFO& area, uint8_t* const* rows, const InkRun& run);

}  // namespace gw
