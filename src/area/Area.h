// The current area: its record, the process-wide state and the pixel
// accessors that every pixel-level algorithm of the area code uses.
//
// An area is a rectangle of a host image (`left`, `top`, `width`, `height`)
// with two working copies of the image rows under it. Row y of either copy
// holds image row top + y, whole, from image column 0: a pixel is addressed by
// (rows, y counted from the area's top, x counted in image columns).
//
// Row buffers are `rowBytes` long: at least the image's stride at
// initialisation and at least right + 1 bytes, so that either accessor set can
// address every column of the area. Rows and columns of the area that lie
// outside the image read as paper (255 bytes, clear bits).
//
// State (AreaState): one current area, the area-initialised flag and the
// accessor set chosen by the last GW_InitialiseArea (1-bit images: the bit
// set; others: the byte set), and the areas alive. GW_SetDefaultArea changes
// only the current area, so an area made current that way is read with the
// accessors of the last initialised area. The GW_ exports use the process's
// state; a whole-image reader opens a PrivateAreaState on its thread, so that
// the same calls work on state of its own while other threads read too.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "DVImageProcessor.h"
#include "Glyphwick.h"
#include "area/ObjectList.h"

namespace dv {
class Bitmap;
}

namespace gw {
struct Components;
class Deadline;

/// Unset: never loaded (read as paper). Pending: a refresh from the image is
/// owed and taken when the rows are first read, or before the image's bitmap
/// changes. Loaded: the rows hold what the last export left there.
enum class WorkRowState : uint8_t { Unset, Pending, Loaded };

/// The bitmap rows are copied from, with the image's width and the bytes of
/// a row moved (RowTransferBytes) when the copy was asked for.
struct RowSource {
    const dv::Bitmap* bitmap = nullptr;
    uint32_t imageWidth = 0;
    uint32_t bytes = 0;
};

/// Gives a block of an area's rows back to its thread's spare (see
/// TakeRowBlock) or, when the spare is larger or the block over the cap,
/// to the heap.
struct RowBlockReturn {
    size_t bytes = 0;
    void operator()(uint8_t* block) const;
};
using RowBlock = std::unique_ptr<uint8_t[], RowBlockReturn>;

/// A block of at least bytes, unfilled: the spare the thread's last area
/// left when it is large enough, else a new one. An area a call makes and
/// ends on a thread so costs no fresh pages on that thread's next call
/// (handing a block of megabytes back to the system and faulting it in
/// again per call kept two threads slower than one).
RowBlock TakeRowBlock(size_t bytes);
}  // namespace gw

struct AREAINFO {
    AREAINFO() = default;
    ~AREAINFO();
    AREAINFO(const AREAINFO&) = delete;
    AREAINFO& operator=(const AREAINFO&) = delete;

    DVImageProcessor* image = nullptr;  ///< the host's image, not owned
    uint8_t** workRows = nullptr;       ///< `height` rows, loaded by extraction and
                                        ///< the readers, rebuilt by the redraw
    uint8_t** freshRows = nullptr;      ///< `height` rows, loaded and consumed by the redraw
    int32_t left = 0;                   ///< image column of the area's first column
    int32_t top = 0;                    ///< image row of the area's first row
    int32_t height = 0;                 ///< bottom - top + 1
    int32_t width = 0;                  ///< right - left + 1

    /// Pixels counted by the last fill; kept between exports (the redraw
    /// draws nothing after a fill that reached the cap).
    int32_t fillCount = 0;

    // Settings copied from AREAPARAMS.
    int32_t minObjectWidth = 0;
    int32_t minObjectHeight = 0;
    int32_t maxObjectWidth = 0;
    int32_t maxObjectHeight = 0;
    int32_t fragMinWidth = 0;
    int32_t fragMinHeight = 0;
    int32_t fragMaxWidth = 0;
    int32_t fragMaxHeight = 0;
    int32_t fontIndex = 0;
    char* fontName = nullptr;  ///< owned copy (new[]), or null
    int32_t maxHoleSize = 0;
    uint32_t options = 0;
    uint32_t threshold = 128;  ///< never 0; its low byte decides ink on byte rows

    ObjectList* objects = nullptr;  ///< owned, ownsChildren = 1

    // Storage behind workRows and freshRows.
    uint32_t rowBytes = 0;              ///< length of every row buffer
    uint32_t bitsPerPixel = 0;          ///< the image's, at initialisation (1 or 8)
    std::vector<uint8_t*> rowPointers;  ///< workRows, then freshRows
    /// Storage of both row sets, left unfilled: a row set is loaded or
    /// filled before it is read, so an area costs nothing for rows it never uses.
    gw::RowBlock rowStore;
    /// What workRows hold (see CurrentArea); freshRows are always loaded
    /// before they are read.
    gw::WorkRowState workRowState = gw::WorkRowState::Unset;
    /// Where pending work rows are copied from, as the image stood when they
    /// were refreshed.
    gw::RowSource pendingSource{};

    std::unique_ptr<gw::Components> labels;  ///< ink components of the rows last labelled
};

namespace gw {

/// A pixel accessor: (rows, y from the area's top, x in image columns).
using PixelAccessor = int32_t (*)(uint8_t** rows, int32_t y, int32_t x);

/// What the area exports keep between calls: the current area, the
/// initialised flag, the accessor set and every area made and not destroyed.
struct AreaState {
    AreaState() = default;
    ~AreaState();  ///< frees the areas still alive
    AreaState(const AreaState&) = delete;
    AreaState& operator=(const AreaState&) = delete;

    AREAINFO* current = nullptr;
    uint8_t initialised = 0;
    bool bitAccessors = false;
    PixelAccessor isInk = nullptr;
    PixelAccessor testAndErase = nullptr;
    PixelAccessor testAndPaint = nullptr;
    PixelAccessor paint = nullptr;
    /// Every area that GW_InitialiseArea made and no GW_DestroyArea has
    /// freed yet (an area set aside with GW_SetDefaultArea(null) may never
    /// become current again).
    std::vector<AREAINFO*> areas;
    /// The labels of the last destroyed area, taken over by the next one.
    std::unique_ptr<Components> spareLabels;
    /// When set (a reader's private state only), long loops over objects
    /// ask it between objects whether to stop; the objects not reached are
    /// left as they were.
    Deadline* deadline = nullptr;
};

/// The state the calling thread works on: its private state while a
/// PrivateAreaState is open on it, otherwise the process's.
AreaState& State();

/// Gives the calling thread a state of its own for its lifetime (the
/// thread's previous state comes back after it). Areas left alive in it are
/// freed with it. Bitmaps watched by its areas must change or go before it
/// ends, while it is still the thread's state.
class PrivateAreaState {
  public:
    PrivateAreaState();
    ~PrivateAreaState();
    PrivateAreaState(const PrivateAreaState&) = delete;
    PrivateAreaState& operator=(const PrivateAreaState&) = delete;

  private:
    AreaState state_;
    AreaState* previous_;
};

/// The accessors of the last GW_InitialiseArea of the thread's state. IsInk:
/// non-zero for ink (a set bit, or a byte below the low byte of the current
/// area's threshold). TestAndErase: as IsInk, then the pixel becomes
/// background (clear bit, 255). TestAndPaint: as IsInk before the write, then
/// the pixel becomes ink (set bit, 0). Paint: the pixel becomes ink; returns
/// 1. Not to be called before the first GW_InitialiseArea.
inline int32_t IsInk(uint8_t** rows, int32_t y, int32_t x) {
    return State().isInk(rows, y, x);
}
inline int32_t TestAndErase(uint8_t** rows, int32_t y, int32_t x) {
    return State().testAndErase(rows, y, x);
}
inline int32_t TestAndPaint(uint8_t** rows, int32_t y, int32_t x) {
    return State().testAndPaint(rows, y, x);
}
inline int32_t Paint(uint8_t** rows, int32_t y, int32_t x) {
    return State().paint(rows, y, x);
}

/// The current area, or null. Work rows never loaded are filled with paper
/// first, so that whatever reads them finds what a load of an unreadable row
/// would leave; a refresh still owed is taken now.
AREAINFO* CurrentArea();

/// The current area, or null, for a call that loads every work row from the
/// image before it reads any: its work rows may still be unfilled.
AREAINFO* CurrentAreaToLoad();

/// True when the bit accessors are selected (the last initialised area was
/// on a 1-bit image). Fast paths specialise on this instead of calling the
/// accessors; they behave exactly as the accessors would.
bool BitAccessors();

/// Low byte of the area's threshold: bytes below it are ink.
inline uint8_t InkLimit(const AREAINFO& area) {
    return static_cast<uint8_t>(area.threshold);
}

/// Inline forms of the accessors for one accessor set.
template <bool Bits>
struct Pixels {
    static bool Ink(const uint8_t* row, int32_t x, uint8_t limit) {
        if constexpr (Bits) {
            return (row[x >> 3] & (0x80u >> (x & 7))) != 0;
        } else {
            return row[x] < limit;
        }
    }
    static bool TestAndErase(uint8_t* row, int32_t x, uint8_t limit) {
        const bool ink = Ink(row, x, limit);
        if constexpr (Bits) {
            row[x >> 3] = static_cast<uint8_t>(row[x >> 3] & ~(0x80u >> (x & 7)));
        } else {
            if (ink) row[x] = 255;  // erasing background changes nothing
        }
        return ink;
    }
    static bool TestAndPaint(uint8_t* row, int32_t x, uint8_t limit) {
        const bool ink = Ink(row, x, limit);
        Paint(row, x);
        return ink;
    }
    static void Paint(uint8_t* row, int32_t x) {
        if constexpr (Bits) {
            row[x >> 3] = static_cast<uint8_t>(row[x >> 3] | (0x80u >> (x & 7)));
        } else {
            row[x] = 0;
        }
    }
};

/// Background byte of the current accessor set: 0 for bits, 255 for bytes.
inline uint8_t PaperByte(bool bits) {
    return bits ? 0x00 : 0xFF;
}

/// Number of bytes of a row that the image reads and writes: its stride,
/// but never more than the area's row buffers hold.
uint32_t RowTransferBytes(const AREAINFO& area);

/// Copies image rows top .. top + height - 1 into rows (workRows, freshRows
/// or a caller's array of `height` buffers of rowBytes each): the bytes that
/// the image's GetBytes(row, 0, buffer, RowTransferBytes) gives, read straight
/// from its bitmap. Rows and columns outside the image become paper.
void LoadRows(AREAINFO& area, uint8_t** rows);

/// Copies one image row into a buffer of rowBytes (see LoadRows).
void LoadRow(AREAINFO& area, int32_t imageRow, uint8_t* buffer);

/// Reloads workRows from the image.
inline void LoadWorkRows(AREAINFO& area) {
    LoadRows(area, area.workRows);
}

/// Reloads workRows from the image as LoadWorkRows does, but puts the copy
/// off: it is taken when the rows are next read through CurrentArea, or
/// before the image's bitmap changes or is deleted, whichever comes first,
/// and so gives the same rows. Until then ScanRow reads the image's pixels.
void RefreshWorkRows(AREAINFO& area);

/// Row imageRow (inside the area) of workRows, or, while a refresh is owed,
/// a row whose bytes for the area's columns are those the refresh will copy:
/// the bitmap's own row, or a copy made in scratch (rowBytes long) when the
/// row or the area's columns reach past the image.
const uint8_t* ScanRow(const AREAINFO& area, int32_t imageRow, uint8_t* scratch);

/// Writes every row of workRows that lies inside the image back into it with
/// SetBytes (RowTransferBytes bytes from column 0).
void WriteBack(AREAINFO& area);

}  // namespace gw
