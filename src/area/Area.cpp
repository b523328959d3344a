// The area's lifecycle, the process-wide current area and flag, the pixel
// accessors, and moving rows between the image and the area.
#include "api/Calls.h"
#include "area/Area.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "area/Components.h"
#include "platform/BitmapWatch.h"

namespace gw {

namespace {

// The largest row block a thread keeps for its next area, in bytes: both row
// sets of a 16-megapixel grey page. A larger one goes back to the heap.
constexpr size_t kMaxSpareRowBytes = size_t{32} << 20;

// The row block a thread's last area gave back, freed with the thread.
struct SpareRows {
    uint8_t* block = nullptr;
    size_t bytes = 0;
    ~SpareRows() { delete[] block; }
};
thread_local SpareRows t_spareRows;

// The process's state lives behind a plain pointer, made on first use and
// freed when the library unloads (see ProcessStateOwner): bitmaps may be
// deleted after that, so the watch hook checks the pointer first.
AreaState* g_process = nullptr;

// A thread's private state, while one is open.
thread_local AreaState* t_private = nullptr;

// The labels a thread's last private state left, for its next one: a page's
// labels are megabytes, worth keeping from one reading to the next.
thread_local std::unique_ptr<Components> t_spareLabels;

struct ProcessStateOwner {
    ~ProcessStateOwner() {
        delete g_process;
        g_process = nullptr;
    }
};

AreaState& ProcessState() {
    static ProcessStateOwner owner;
    if (g_process == nullptr) g_process = new AreaState;
    return *g_process;
}

bool Contains(const AreaState& state, const AREAINFO* area) {
    return std::find(state.areas.begin(), state.areas.end(), area) != state.areas.end();
}

// Row buffers of one set may not exceed this (an 8-bit image of the largest
// bitmap size needs half of it).
constexpr uint64_t kMaxRowSetBytes = uint64_t{1} << 29;

uint8_t CurrentLimit() {
    const AREAINFO* current = State().current;
    return current != nullptr ? InkLimit(*current) : static_cast<uint8_t>(128);
}

template <bool Bits>
int32_t IsInkAt(uint8_t** rows, int32_t y, int32_t x) {
    return Pixels<Bits>::Ink(rows[y], x, CurrentLimit()) ? 1 : 0;
}
template <bool Bits>
int32_t TestAndEraseAt(uint8_t** rows, int32_t y, int32_t x) {
    return Pixels<Bits>::TestAndErase(rows[y], x, CurrentLimit()) ? 1 : 0;
}
template <bool Bits>
int32_t TestAndPaintAt(uint8_t** rows, int32_t y, int32_t x) {
    return Pixels<Bits>::TestAndPaint(rows[y], x, CurrentLimit()) ? 1 : 0;
}
template <bool Bits>
int32_t PaintAt(uint8_t** rows, int32_t y, int32_t x) {
    Pixels<Bits>::Paint(rows[y], x);
    return 1;
}

template <bool Bits>
void SelectAccessors(AreaState& state) {
    state.bitAccessors = Bits;
    state.isInk = IsInkAt<Bits>;
    state.testAndErase = TestAndEraseAt<Bits>;
    state.testAndPaint = TestAndPaintAt<Bits>;
    state.paint = PaintAt<Bits>;
}

bool RectAccepted(const RECT& rect) {
    return rect.left >= 0 && rect.top >= 0 && rect.right >= rect.left && rect.bottom >= rect.top;
}

char* CopyText(const char* text) {
    if (text == nullptr) return nullptr;
    const size_t length = std::strlen(text);
    char* copy = new char[length + 1];
    std::memcpy(copy, text, length + 1);
    return copy;
}

// Clears the bits of columns from..8 * size - 1 of a bit row.
void ClearBitsFrom(uint8_t* row, uint32_t size, uint32_t from) {
    const uint32_t byte = from / 8;
    if (byte >= size) return;
    if ((from & 7) != 0) {
        row[byte] = static_cast<uint8_t>(row[byte] & (0xFF00u >> (from & 7)));
        std::memset(row + byte + 1, 0, size - byte - 1);
    } else {
        std::memset(row + byte, 0, size - byte);
    }
}

RowSource SourceOf(const AREAINFO& area) {
    return {area.image->GetBitmap(), area.image->GetWidth(), RowTransferBytes(area)};
}

// The bytes that GetBytes(row, 0, buffer, bytes) copies when the image stood
// as source records, read straight from the bitmap: a lock and a palette
// copy per row would cost more than the copy itself.
void LoadRowFrom(const AREAINFO& area, const RowSource& source, int32_t imageRow, uint8_t* buffer) {
    const bool bits = area.bitsPerPixel == 1;
    const uint8_t paper = PaperByte(bits);
    if (source.bitmap == nullptr || imageRow < 0 ||
        static_cast<uint32_t>(imageRow) >= source.bitmap->GetHeight()) {
        std::memset(buffer, paper, area.rowBytes);
        return;
    }
    const dv::Bitmap& bitmap = *source.bitmap;
    const size_t bitmapStride = bitmap.GetStride();
    const size_t offset = static_cast<size_t>(imageRow) * bitmapStride;
    const size_t end = size_t{bitmap.GetHeight()} * bitmapStride;
    const size_t bytes = std::min<size_t>(source.bytes, end - offset);
    std::memcpy(buffer, bitmap.Pixels() + offset, bytes);
    if (bytes < area.rowBytes) std::memset(buffer + bytes, paper, area.rowBytes - bytes);
    // Columns past the image's right edge (row padding included) are paper
    // when the area reaches them; otherwise the padding is left as read, so
    // that a write-back returns it unchanged.
    const uint32_t imageWidth = source.imageWidth;
    if (static_cast<int64_t>(area.left) + area.width > imageWidth) {
        if (bits) {
            ClearBitsFrom(buffer, area.rowBytes, imageWidth);
        } else if (imageWidth < area.rowBytes) {
            std::memset(buffer + imageWidth, paper, area.rowBytes - imageWidth);
        }
    }
}

void LoadRowsFrom(AREAINFO& area, const RowSource& source, uint8_t** rows) {
    for (int32_t y = 0; y < area.height; ++y) LoadRowFrom(area, source, area.top + y, rows[y]);
    if (rows == area.workRows) area.workRowState = WorkRowState::Loaded;
}

// Takes the copy that a refresh put off.
void TakePendingRows(AREAINFO& area) {
    LoadRowsFrom(area, area.pendingSource, area.workRows);
}

// Before a watched bitmap changes: every area still owing rows from it
// takes them now.
void TakeRowsBeforeChange(const dv::Bitmap& bitmap) {
    AreaState* state = t_private != nullptr ? t_private : g_process;
    if (state == nullptr) return;
    for (AREAINFO* area : state->areas)
        if (area->workRowState == WorkRowState::Pending && area->pendingSource.bitmap == &bitmap)
            TakePendingRows(*area);
}

}  // namespace

AreaState::~AreaState() {
    for (AREAINFO* area : areas) delete area;
}

AreaState& State() {
    return t_private != nullptr ? *t_private : ProcessState();
}

PrivateAreaState::PrivateAreaState() : previous_(t_private) {
    state_.spareLabels = std::move(t_spareLabels);
    t_private = &state_;
}

PrivateAreaState::~PrivateAreaState() {
    t_private = previous_;
    t_spareLabels = std::move(state_.spareLabels);
}

AREAINFO* CurrentArea() {
    AREAINFO* area = State().current;
    if (area == nullptr) return area;
    if (area->workRowState == WorkRowState::Unset) {
        std::memset(area->rowStore.get(), PaperByte(area->bitsPerPixel == 1),
                    static_cast<size_t>(area->height) * area->rowBytes);
        area->workRowState = WorkRowState::Loaded;
    } else if (area->workRowState == WorkRowState::Pending) {
        TakePendingRows(*area);
    }
    return area;
}

AREAINFO* CurrentAreaToLoad() {
    return State().current;
}

bool BitAccessors() {
    return State().bitAccessors;
}

uint32_t RowTransferBytes(const AREAINFO& area) {
    return std::min(area.image->GetStride(), area.rowBytes);
}

void LoadRow(AREAINFO& area, int32_t imageRow, uint8_t* buffer) {
    LoadRowFrom(area, SourceOf(area), imageRow, buffer);
}

void LoadRows(AREAINFO& area, uint8_t** rows) {
    LoadRowsFrom(area, SourceOf(area), rows);
}

void RefreshWorkRows(AREAINFO& area) {
    const RowSource source = SourceOf(area);
    // Rows of no bitmap are paper at once; a bitmap locked for writing may
    // change without notice, so its rows are copied now.
    if (source.bitmap == nullptr || dv::BitmapWatch::LockedForWriting(*source.bitmap)) {
        LoadWorkRows(area);
        return;
    }
    area.pendingSource = source;
    area.workRowState = WorkRowState::Pending;
    dv::BitmapWatch::Watch(*source.bitmap, TakeRowsBeforeChange);
}

const uint8_t* ScanRow(const AREAINFO& area, int32_t imageRow, uint8_t* scratch) {
    if (area.workRowState != WorkRowState::Pending) return area.workRows[imageRow - area.top];
    const RowSource& source = area.pendingSource;
    const dv::Bitmap& bitmap = *source.bitmap;
    // The bitmap's row serves as it is when the load would change none of
    // the area's bytes: the row is in the image, the area's columns too.
    const int64_t right = int64_t{area.left} + area.width - 1;
    const int64_t lastByte = area.bitsPerPixel == 1 ? right / 8 : right;
    if (static_cast<uint32_t>(imageRow) < bitmap.GetHeight() && right < source.imageWidth &&
        lastByte < source.bytes) {
        return bitmap.Pixels() + static_cast<size_t>(imageRow) * bitmap.GetStride();
    }
    LoadRowFrom(area, source, imageRow, scratch);
    return scratch;
}

void WriteBack(AREAINFO& area) {
    DVImageProcessor& image = *area.image;
    const uint32_t bytes = RowTransferBytes(area);
    for (int32_t y = 0; y < area.height; ++y) {
        const int64_t row = int64_t{area.top} + y;
        if (row >= image.GetHeight()) break;
        image.SetBytes(static_cast<uint32_t>(row), 0, area.workRows[y], bytes);
    }
}

}  // namespace gw

AREAINFO::~AREAINFO() {
    delete[] fontName;
    delete objects;
}

namespace gw {

void SetDefaultArea(AREAINFO* area) {
    gw::AreaState& state = gw::State();
    if (area != nullptr && !gw::Contains(state, area)) return;
    state.current = area;
}

AREAINFO* InitialiseArea(DVImageProcessor* image, const RECT* rect, const AREAPARAMS* settings) {
    gw::AreaState& state = gw::State();
    if (state.initialised != 0) DestroyArea();
    // A refused area leaves no area current (one set aside stays alive).
    state.current = nullptr;
    if (image == nullptr || rect == nullptr || settings == nullptr) return nullptr;
    const uint32_t bitsPerPixel = image->GetBitsPerPixel();
    if (image->GetBitmap() == nullptr || (bitsPerPixel != 1 && bitsPerPixel != 8)) return nullptr;
    if (!gw::RectAccepted(*rect)) return nullptr;

    // Row buffers cover the image's stride and every column of the area as a
    // byte, whichever accessor set later reads them.
    const int64_t height = int64_t{rect->bottom} - rect->top + 1;
    const int64_t width = int64_t{rect->right} - rect->left + 1;
    const uint64_t rowBytes =
        std::max<uint64_t>(image->GetStride(), static_cast<uint64_t>(rect->right) + 1);
    if (static_cast<uint64_t>(height) * rowBytes > gw::kMaxRowSetBytes) throw std::bad_alloc();

    auto area = std::make_unique<AREAINFO>();
    area->objects = new ObjectList(1);
    area->image = image;
    area->left = rect->left;
    area->top = rect->top;
    area->height = static_cast<int32_t>(height);
    area->width = static_cast<int32_t>(width);
    area->minObjectWidth = settings->minObjectWidth;
    area->minObjectHeight = settings->minObjectHeight;
    area->maxObjectWidth = settings->maxObjectWidth;
    area->maxObjectHeight = settings->maxObjectHeight;
    area->fragMinWidth = settings->fragMinWidth;
    area->fragMinHeight = settings->fragMinHeight;
    area->fragMaxWidth = settings->fragMaxWidth;
    area->fragMaxHeight = settings->fragMaxHeight;
    area->fontIndex = settings->fontIndex;
    area->fontName = gw::CopyText(settings->fontName);
    area->maxHoleSize = settings->maxHoleSize;
    area->options = settings->options;
    area->threshold = settings->threshold == 0 ? 128 : settings->threshold;
    area->bitsPerPixel = bitsPerPixel;
    area->rowBytes = static_cast<uint32_t>(rowBytes);

    // Both row sets in one block, work rows first; the rows are filled when
    // first loaded, or with paper when first read without a load.
    const size_t rows = static_cast<size_t>(height);
    area->rowStore = gw::TakeRowBlock(2 * rows * rowBytes);
    area->workRowState = gw::WorkRowState::Unset;
    area->rowPointers.resize(2 * rows);
    for (size_t y = 0; y < 2 * rows; ++y)
        area->rowPointers[y] = area->rowStore.get() + y * rowBytes;
    area->workRows = area->rowPointers.data();
    area->freshRows = area->rowPointers.data() + rows;

    state.areas.push_back(area.get());
    state.current = area.release();
    state.initialised = 1;
    if (bitsPerPixel == 1) {
        gw::SelectAccessors<true>(state);
    } else {
        gw::SelectAccessors<false>(state);
    }
    return state.current;
}

void RowBlockReturn::operator()(uint8_t* block) const {
    SpareRows& spare = t_spareRows;
    if (bytes > kMaxSpareRowBytes || bytes <= spare.bytes) {
        delete[] block;
        return;
    }
    delete[] spare.block;
    spare.block = block;
    spare.bytes = bytes;
}

RowBlock TakeRowBlock(size_t bytes) {
    SpareRows& spare = t_spareRows;
    if (spare.block != nullptr && spare.bytes >= bytes) {
        RowBlock taken(spare.block, RowBlockReturn{spare.bytes});
        spare.block = nullptr;
        spare.bytes = 0;
        return taken;
    }
    return RowBlock(new uint8_t[bytes], RowBlockReturn{bytes});
}

void DestroyArea() {
    gw::AreaState& state = gw::State();
    state.initialised = 0;
    if (state.current == nullptr) return;
    std::erase(state.areas, state.current);
    gw::SpareLabels(*state.current);
    delete state.current;
    state.current = nullptr;
}

uint8_t IsAreaInitialised() {
    return gw::State().initialised;
}

const char* GetVersion() {
    // Made from the project's version by the build: "2.04.005".
    static const char kVersion[] = GW_VERSION_TEXT;
    return kVersion;
}

}  // namespace gw
