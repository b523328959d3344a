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

/// What is known of one component as a whole.
struct ComponentStats {
    int64_t pixels;  ///< ink pixels
    int64_t calls;   ///< counted calls of a redraw fill that takes it whole
    int32_t minX, maxX, minY, maxY;
    int32_t seedX, seedY;  ///< first pixel in scan order (columns, then rows)
};

/// The components of one set of rows as runs in row order. Work on whole
/// components is done in one pass over the runs, which keeps memory access
/// in row order.
struct Components {
    std::vector<InkRun> runs;        ///< by row, then by column
    std::vector<uint32_t> rowStart;  ///< runs of row y: [rowStart[y], rowStart[y + 1])
    uint32_t componentCount = 0;
    std::vector<ComponentStats> stats;  ///< by component

    /// Ink of the labelled rows, MaskWords(width) words a row (see BlockInk),
    /// and how it was read. The labels follow from these alone, so rows with
    /// the same masks keep them.
    std::vector<uint64_t> masks;
    bool labelled = false;
    bool bits = false;
    uint8_t limit = 0;

    /// The component holding area pixel (y, x), which must be ink.
    uint32_t ComponentAt(int32_t y, int32_t x) const;
};

/// The area's labels, kept between extraction and redraw. On first use they
/// are those that SpareLabels kept (marked unlabelled), or new.
Components& Labels(AREAINFO& area);

/// Takes the labels of an area that is being destroyed, to be reused by the
/// next area's Labels (one set is kept).
void SpareLabels(AREAINFO& area);

/// Labels the ink of rows (area columns only) as read by the accessor set Bits.
/// With load, each row is first loaded from the image (LoadRow), so that it
/// is scanned while it is still in the cache; with erase, the ink of the
/// area's columns becomes background as it is read. When every row holds the
/// ink that out last labelled (same accessor set and limit), out is kept.
template <bool Bits>
void LabelComponents(AREAINFO& area, uint8_t* const* rows, bool load, bool erase, Components& out);

/// For every run of a component c with flags[c] == flag: its pixels become
/// background (bit cleared, byte 255) in from and ink (bit set, byte 0) in to,
/// where these are not null.
template <bool Bits>
void TransferRuns(const AREAINFO& area, const Components& parts, const uint8_t* flags, uint8_t flag,
                  uint8_t* const* from, uint8_t* const* to);

}  // namespace gw
