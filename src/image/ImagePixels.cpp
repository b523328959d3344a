// Pixel access, copying, combining, clearing and rotation of the image object.
#include <algorithm>
#include <cstring>

#include "DVImageProcessor.h"
#include "image/Grey.h"
#include "image/LockedView.h"
#include "platform/PixelLayout.h"

namespace {

constexpr uint32_t kRead = dv::ImageLockModeRead;
constexpr uint32_t kWrite = dv::ImageLockModeWrite;

// Bytes that one row of a view holds: (width + 7) / 8 for 1-bit, else width
// pixels of 1 or 3 bytes.
uint32_t ViewRowBytes(const DVPixelView& v) {
    return gw::RowBytes(v.width, dv::BitsPerPixel(v.format));
}

// Runs an operation that never reads or writes the palette (CheckView masks 1
// and 3): the same results as ApplyToImage without copying the palette, which
// matters on the row-at-a-time paths of the area code.
uint32_t RunWithoutPalette(dv::Bitmap* bitmap, uint32_t lockMode, DVPixelOperation operation,
                           void* argument) {
    gw::LockedView view(bitmap, nullptr, lockMode, bitmap->GetPixelFormat(), false);
    if (!view.Locked()) return DVErrLock;
    const uint32_t result = operation(view.View(), view.Changes(), argument);
    view.Finish(result);
    return result;
}

bool IsIndexed(int32_t format) {
    return (format & dv::PixelFormatIndexed) != 0;
}

uint32_t PaletteCapacity(const DVPixelView& v) {
    return v.paletteSize > 8 ? (v.paletteSize - 8) / 4 : 0;
}

// ---- CopyTo ----

uint32_t CopyOperation(DVPixelView* src, uint32_t*, DVPixelView* dst, uint32_t* dstChanges, void*) {
    if (uint32_t c = DVImageProcessor::CheckView(src, DVCheckIndexed)) return c;
    if (uint32_t c = DVImageProcessor::CheckView(dst, DVCheckIndexed)) return c;
    const uint32_t rowBytes = std::min(ViewRowBytes(*dst), ViewRowBytes(*src));
    const uint32_t rows = std::min(dst->height, src->height);
    for (uint32_t y = 0; y < rows; ++y) {
        std::memcpy(dst->pixels + size_t{y} * dst->stride, src->pixels + size_t{y} * src->stride,
                    rowBytes);
    }
    *dstChanges |= kChangedPixels;
    if (IsIndexed(src->format) && dst->palette) {
        const uint32_t n =
            std::min({src->palette->Count, PaletteCapacity(*dst), PaletteCapacity(*src)});
        std::memcpy(dst->palette->Entries, src->palette->Entries, size_t{n} * 4);
        if (dst->palette->Count == 256) dst->palette->Flags = dv::PaletteFlagsGrayScale;
        *dstChanges |= kChangedPalette;
    }
    return DVOk;
}

// ---- GetBits ----

struct BitsArgument {
    uint8_t* buffer;
    uint32_t stride;
};

uint32_t BitsOutOperation(DVPixelView* view, uint32_t*, void* argument) {
    if (uint32_t c = DVImageProcessor::CheckView(view, DVCheckData)) return c;
    auto* arg = static_cast<BitsArgument*>(argument);
    if (!arg) return DVErrOperationArgument;
    const uint32_t stride = arg->stride == 0 ? view->stride : arg->stride;
    if (!arg->buffer || stride < view->width) return DVErrBuffer;
    for (uint32_t y = 0; y < view->height; ++y) {
        std::memcpy(arg->buffer + size_t{y} * stride, view->pixels + size_t{y} * view->stride,
                    view->stride);
    }
    return DVOk;
}

uint32_t ClearOperation(DVPixelView* view, uint32_t* changes, void*) {
    if (uint32_t c = DVImageProcessor::CheckView(view, DVCheckPixels)) return c;
    std::memset(view->pixels, 0, view->size);
    *changes |= kChangedPixels;
    return DVOk;
}

// ---- GetPixel, SetPixel ----

struct PixelArgument {
    uint32_t x;
    uint32_t y;
    uint32_t* colourOut;
    uint32_t colourIn;
};

uint32_t PixelInOperation(DVPixelView* view, uint32_t*, void* argument) {
    if (uint32_t c = DVImageProcessor::CheckView(view, DVCheckIndexed)) return c;
    auto* arg = static_cast<PixelArgument*>(argument);
    if (!arg || !arg->colourOut) return DVErrBuffer;
    const uint8_t* row = view->pixels + size_t{arg->y} * view->stride;
    if (view->format == dv::PixelFormat24bppRGB) {
        const uint8_t* p = row + size_t{arg->x} * 3;
        *arg->colourOut = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
        return DVOk;
    }
    const uint32_t index = view->format == dv::PixelFormat1bppIndexed
                               ? uint32_t(gw::GetBit(row, arg->x))
                               : uint32_t(row[arg->x]);
    const uint32_t count = std::min(view->palette->Count, PaletteCapacity(*view));
    *arg->colourOut = index < count ? view->palette->Entries[index] : 0u;
    return DVOk;
}

uint32_t PixelOutOperation(DVPixelView* view, uint32_t* changes, void* argument) {
    if (uint32_t c = DVImageProcessor::CheckView(view, DVCheckIndexed)) return c;
    auto* arg = static_cast<PixelArgument*>(argument);
    if (!arg) return DVErrOperationArgument;
    const uint32_t colour = arg->colourIn;
    uint8_t* row = view->pixels + size_t{arg->y} * view->stride;
    if (view->format == dv::PixelFormat24bppRGB) {
        uint8_t* p = row + size_t{arg->x} * 3;
        p[0] = uint8_t(colour);
        p[1] = uint8_t(colour >> 8);
        p[2] = uint8_t(colour >> 16);
    } else {
        const uint32_t g = gw::GreyLevel(colour);
        const uint32_t count = std::min(view->palette->Count, PaletteCapacity(*view));
        const uint32_t* entries = view->palette->Entries;
        if (view->format == dv::PixelFormat8bppIndexed) {
            row[arg->x] = g < count ? uint8_t(entries[g]) : 0;
        } else {
            gw::PutBit(row, arg->x, g > 128 && count >= 2 && entries[0] != entries[1]);
        }
    }
    *changes |= kChangedPixels;
    return DVOk;
}

// ---- GetBytes, SetBytes ----

struct BytesArgument {
    uint32_t row;
    uint32_t column;
    uint8_t* buffer;
    uint32_t count;
};

// Finds where a byte range starts; 0 or the failure code.
uint32_t LocateBytes(const DVPixelView& view, const BytesArgument& arg, size_t* offset,
                     size_t* count) {
    if (arg.row >= view.height || arg.column >= view.width) return DVErrNotRecognised;
    const bool wide = view.format == dv::PixelFormat24bppRGB && arg.column > 0;
    *offset = size_t{arg.row} * view.stride + (wide ? size_t{arg.column} * 3 : arg.column);
    // Never past the pixel buffer, however many bytes the caller asked for.
    const size_t left = *offset < view.size ? view.size - *offset : 0;
    *count = std::min<size_t>(arg.count, left);
    return DVOk;
}

uint32_t BytesOutOperation(DVPixelView* view, uint32_t*, void* argument) {
    if (uint32_t c = DVImageProcessor::CheckView(view, DVCheckData)) return c;
    auto* arg = static_cast<BytesArgument*>(argument);
    if (!arg) return DVErrOperationArgument;
    if (!arg->buffer) return DVErrBuffer;
    size_t offset = 0, count = 0;
    if (uint32_t c = LocateBytes(*view, *arg, &offset, &count)) return c;
    std::memcpy(arg->buffer, view->pixels + offset, count);
    return DVOk;
}

uint32_t BytesInOperation(DVPixelView* view, uint32_t* changes, void* argument) {
    if (uint32_t c = DVImageProcessor::CheckView(view, DVCheckPixels)) return c;
    auto* arg = static_cast<BytesArgument*>(argument);
    if (!arg) return DVErrOperationArgument;
    if (!arg->buffer) return DVErrBuffer;
    size_t offset = 0, count = 0;
    if (uint32_t c = LocateBytes(*view, *arg, &offset, &count)) return c;
    std::memcpy(view->pixels + offset, arg->buffer, count);
    *changes |= kChangedPixels;
    return DVOk;
}

// ---- Rows ----

struct RowsArgument {
    uint8_t* const* rows;  // one buffer per row, or null with packed
    uint8_t* packed;       // rows one after another at the row's byte count
};

// Bytes that the row operations move per row: (width + 7) / 8 on 1-bit images,
// width otherwise (the first third of a 24-bit row).
uint32_t RowsBytes(const DVPixelView& v) {
    return v.format == dv::PixelFormat1bppIndexed ? (v.width + 7) / 8 : v.width;
}

uint8_t* RowBuffer(const RowsArgument& arg, uint32_t y, uint32_t rowBytes) {
    return arg.rows ? arg.rows[y] : arg.packed + size_t{y} * rowBytes;
}

uint32_t RowsOutOperation(DVPixelView* view, uint32_t*, void* argument) {
    if (uint32_t c = DVImageProcessor::CheckView(view, DVCheckData)) return c;
    auto* arg = static_cast<RowsArgument*>(argument);
    if (!arg || (!arg->rows && !arg->packed)) return DVErrOperationArgument;
    const uint32_t rowBytes = RowsBytes(*view);
    for (uint32_t y = 0; y < view->height; ++y) {
        if (uint8_t* out = RowBuffer(*arg, y, rowBytes)) {
            std::memcpy(out, view->pixels + size_t{y} * view->stride, rowBytes);
        }
    }
    return DVOk;
}

uint32_t RowsInOperation(DVPixelView* view, uint32_t* changes, void* argument) {
    if (uint32_t c = DVImageProcessor::CheckView(view, DVCheckPixels)) return c;
    auto* arg = static_cast<RowsArgument*>(argument);
    if (!arg || (!arg->rows && !arg->packed)) return DVErrOperationArgument;
    const uint32_t rowBytes = RowsBytes(*view);
    for (uint32_t y = 0; y < view->height; ++y) {
        if (const uint8_t* in = RowBuffer(*arg, y, rowBytes)) {
            std::memcpy(view->pixels + size_t{y} * view->stride, in, rowBytes);
        }
    }
    *changes |= kChangedPixels;
    return DVOk;
}

// ---- Combine ----

struct CombineArgument {
    uint32_t op;
    uint32_t sourceMode;
    uint32_t destinationMode;
};

uint8_t ByMode(uint8_t byte, uint32_t mode) {
    return mode == 1 ? 0 : mode == 2 ? 255 : byte;
}

uint8_t CombineBytes(uint8_t a, uint8_t b, uint32_t op) {
    switch (op) {
        case 0:
            return a & b;
        case 1:
            return a | b;
        case 2:
            return uint8_t(std::min(uint32_t(a) + b, 255u));
        default:
            return 0;
    }
}

uint32_t CombineOperation(DVPixelView* src, uint32_t*, DVPixelView* dst, uint32_t* dstChanges,
                          void* argument) {
    if (uint32_t c = DVImageProcessor::CheckView(src, DVCheckData)) return c;
    if (uint32_t c = DVImageProcessor::CheckView(dst, DVCheckData)) return c;
    auto* arg = static_cast<CombineArgument*>(argument);
    if (!arg) return DVErrOperationArgument;
    if (src->format != dst->format) return DVErrArgument;
    const uint32_t rowBytes = ViewRowBytes(*dst);
    const uint32_t rows = std::min(src->height, dst->height);
    // On 1-bit rows the last byte may hold pixels right of the rectangle;
    // only the rectangle's own bits change.
    const uint32_t tailBits = dst->format == dv::PixelFormat1bppIndexed ? dst->width & 7 : 0;
    const uint8_t tailMask = tailBits ? uint8_t(0xFF00u >> tailBits) : 0xFF;
    for (uint32_t y = 0; y < rows; ++y) {
        const uint8_t* s = src->pixels + size_t{y} * src->stride;
        uint8_t* d = dst->pixels + size_t{y} * dst->stride;
        for (uint32_t i = 0; i < rowBytes; ++i) {
            const uint8_t a = ByMode(s[i], arg->sourceMode);
            const uint8_t b = ByMode(d[i], arg->destinationMode);
            const uint8_t v = CombineBytes(a, b, arg->op);
            const uint8_t mask = i + 1 == rowBytes ? tailMask : 0xFF;
            d[i] = uint8_t((d[i] & ~mask) | (v & mask));
        }
    }
    *dstChanges |= kChangedPixels;
    return DVOk;
}

}  // namespace

uint32_t DVImageProcessor::CopyTo(DVImageProcessor* destination, int32_t mode,
                                  const dv::Rect* rect) {
    lastError = DVOk;
    if (!destination) return DVErrArgument;
    uint32_t result = 0;
    if (bitmap && mode == 2) {
        result = destination->Attach(bitmap, false);
    } else if (bitmap && (mode == 0 || mode == 1)) {
        const dv::Rect r = rect ? *rect : GetFullRect();
        const int32_t format = GetPixelFormat();
        result = destination->Create(uint32_t(r.Width), uint32_t(r.Height), format);
        if (result != 0) return result;
        result = Record(ApplyToImagePair(bitmap, &r, kRead, format, destination->bitmap, nullptr,
                                         kWrite, format, CopyOperation, nullptr));
    }
    if (result == 0 && (mode == 0 || mode == 2) && destination != this) {
        destination->SetResolution(GetHorizontalResolution(), GetVerticalResolution());
        destination->tag0 = tag0;
        destination->tag1 = tag1;
        destination->imageFlag = imageFlag;
    }
    return result;
}

uint32_t DVImageProcessor::SetBits(const uint8_t* data, uint32_t newStride) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    if (!data) return DVErrArgument;
    const uint32_t bpp = GetBitsPerPixel();
    if (newStride == 0) newStride = gw::AlignedRowBytes(width, bpp);
    const uint32_t rowBytes = gw::RowBytes(width, bpp);
    dv::BitmapData lock{};
    const dv::Status status = bitmap->LockBits(nullptr, kWrite, GetPixelFormat(), &lock);
    if (status != dv::Ok) return uint32_t(status);
    auto* pixels = static_cast<uint8_t*>(lock.Scan0);
    for (uint32_t y = 0; y < lock.Height; ++y) {
        std::memcpy(pixels + size_t{y} * uint32_t(lock.Stride), data + size_t{y} * rowBytes,
                    rowBytes);
    }
    stride = newStride;
    return uint32_t(bitmap->UnlockBits(&lock));
}

uint32_t DVImageProcessor::GetBits(uint8_t* buffer, uint32_t bufferStride) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    BitsArgument arg{buffer, bufferStride};
    return Record(RunWithoutPalette(bitmap, kRead, BitsOutOperation, &arg));
}

uint32_t DVImageProcessor::Clear() {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    return Record(RunWithoutPalette(bitmap, kWrite, ClearOperation, nullptr));
}

uint32_t DVImageProcessor::GetPixel(uint32_t x, uint32_t y, uint32_t* colour) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    if (!colour) return DVErrArgument;
    if (x >= width || y >= height) return Record(DVErrNotRecognised);
    PixelArgument arg{x, y, colour, 0};
    return Record(ApplyToImage(bitmap, nullptr, kRead, GetPixelFormat(), PixelInOperation, &arg));
}

uint32_t DVImageProcessor::SetPixel(uint32_t x, uint32_t y, const uint32_t* colour) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    if (!colour) return DVErrArgument;
    if (x >= width || y >= height) return Record(DVErrNotRecognised);
    PixelArgument arg{x, y, nullptr, *colour};
    return Record(ApplyToImage(bitmap, nullptr, kWrite, GetPixelFormat(), PixelOutOperation, &arg));
}

uint32_t DVImageProcessor::RotateFlip(int32_t type) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    const dv::Status status = bitmap->RotateFlip(type);
    RefreshSize();
    return uint32_t(status);
}

uint32_t DVImageProcessor::GetBytes(uint32_t row, uint32_t column, uint8_t* buffer,
                                    uint32_t count) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    if (!buffer) return DVErrArgument;
    BytesArgument arg{row, column, buffer, count};
    return Record(RunWithoutPalette(bitmap, kRead, BytesOutOperation, &arg));
}

uint32_t DVImageProcessor::SetBytes(uint32_t row, uint32_t column, const uint8_t* data,
                                    uint32_t count) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    if (!data) return DVErrArgument;
    BytesArgument arg{row, column, const_cast<uint8_t*>(data), count};
    return Record(RunWithoutPalette(bitmap, kWrite, BytesInOperation, &arg));
}

uint32_t DVImageProcessor::GetRows(uint8_t** rows) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    RowsArgument arg{rows, nullptr};
    return Record(RunWithoutPalette(bitmap, kRead, RowsOutOperation, rows ? &arg : nullptr));
}

uint32_t DVImageProcessor::SetRows(uint8_t* const* rows) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    if (!rows) return DVErrArgument;
    RowsArgument arg{rows, nullptr};
    return Record(RunWithoutPalette(bitmap, kWrite, RowsInOperation, &arg));
}

uint32_t DVImageProcessor::GetPackedRows(uint8_t* buffer) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    RowsArgument arg{nullptr, buffer};
    return Record(RunWithoutPalette(bitmap, kRead, RowsOutOperation, buffer ? &arg : nullptr));
}

uint32_t DVImageProcessor::SetPackedRows(const uint8_t* buffer) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    if (!buffer) return DVErrArgument;
    RowsArgument arg{nullptr, const_cast<uint8_t*>(buffer)};
    return Record(RunWithoutPalette(bitmap, kWrite, RowsInOperation, &arg));
}

uint32_t DVImageProcessor::Combine(dv::Bitmap* source, const dv::Position* sourcePosition,
                                   const dv::Position* destinationPosition, const dv::Size* size,
                                   uint32_t op, uint32_t sourceMode, uint32_t destinationMode) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    if (!source || !sourcePosition || !destinationPosition || !size) return DVErrArgument;
    const dv::Rect sourceRect{int32_t(sourcePosition->x), int32_t(sourcePosition->y),
                              int32_t(size->width), int32_t(size->height)};
    const dv::Rect destinationRect{int32_t(destinationPosition->x), int32_t(destinationPosition->y),
                                   int32_t(size->width), int32_t(size->height)};
    CombineArgument arg{op, sourceMode, destinationMode};
    return Record(ApplyToImagePair(source, &sourceRect, kRead, source->GetPixelFormat(), bitmap,
                                   &destinationRect, kWrite, GetPixelFormat(), CombineOperation,
                                   &arg));
}
