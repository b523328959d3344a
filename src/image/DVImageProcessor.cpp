// The image object's lifecycle, queries and the pixel-operation mechanism.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "DVImageProcessor.h"
#include "image/LockedView.h"

using dv::Bitmap;

DVImageProcessor::DVImageProcessor()
    : bitmap(nullptr),
      ownsBitmap(true),
      stride(0),
      width(0),
      height(0),
      lastError(0),
      tag0(0),
      tag1(1),
      imageFlag(0) {
    Refresh();
}

DVImageProcessor::~DVImageProcessor() {
    DVImageProcessor::Destroy();
}

void DVImageProcessor::RefreshSize() {
    width = bitmap ? bitmap->GetWidth() : 0;
    height = bitmap ? bitmap->GetHeight() : 0;
    stride = bitmap ? bitmap->GetStride() : 0;
}

void DVImageProcessor::Refresh() {
    RefreshSize();
    tag1 = 1;
    tag0 = 0;
    imageFlag = bitmap ? 1 : 0;
}

uint32_t DVImageProcessor::Attach(Bitmap* source, bool copy) {
    lastError = DVOk;
    if (!source) return DVErrArgument;
    if (dv::BitsPerPixel(source->GetPixelFormat()) == 0) return Record(DVErrArgument);
    if (source == bitmap && !copy) {  // already ours: keep it and its ownership
        Refresh();
        return DVOk;
    }
    Bitmap* taken = source;
    if (copy) {
        dv::Status status = dv::Ok;
        taken = source->Clone(0, 0, int32_t(source->GetWidth()), int32_t(source->GetHeight()),
                              source->GetPixelFormat(), &status);
        if (!taken) return uint32_t(status);
    }
    Destroy();
    ownsBitmap = copy;
    bitmap = taken;
    Refresh();
    return DVOk;
}

uint32_t DVImageProcessor::Create(uint32_t newWidth, uint32_t newHeight, int32_t format) {
    lastError = DVOk;
    if (dv::BitsPerPixel(format) == 0) return Record(DVErrArgument);
    Destroy();
    ownsBitmap = true;
    dv::Status status = dv::Ok;
    bitmap = Bitmap::Create(newWidth, newHeight, format, &status);
    if (status == dv::Ok) Refresh();
    return uint32_t(status);
}

uint32_t DVImageProcessor::Destroy() {
    if (bitmap && ownsBitmap) delete bitmap;
    bitmap = nullptr;
    Refresh();
    return DVOk;
}

int32_t DVImageProcessor::GetPixelFormat() const {
    return bitmap ? bitmap->GetPixelFormat() : 0;
}

uint32_t DVImageProcessor::GetBitsPerPixel() const {
    return bitmap ? dv::BitsPerPixel(bitmap->GetPixelFormat()) : 0;
}

dv::Rect DVImageProcessor::GetFullRect() const {
    if (!bitmap) return {0, 0, 0, 0};
    return {0, 0, int32_t(bitmap->GetWidth()), int32_t(bitmap->GetHeight())};
}

void DVImageProcessor::GetResolution(float* horizontal, float* vertical) const {
    if (horizontal) *horizontal = GetHorizontalResolution();
    if (vertical) *vertical = GetVerticalResolution();
}

float DVImageProcessor::GetHorizontalResolution() const {
    return bitmap ? bitmap->GetHorizontalResolution() : 0.0f;
}

float DVImageProcessor::GetVerticalResolution() const {
    return bitmap ? bitmap->GetVerticalResolution() : 0.0f;
}

void DVImageProcessor::SetResolution(float horizontal, float vertical) {
    if (bitmap) bitmap->SetResolution(horizontal, vertical);
}

void DVImageProcessor::SetHorizontalResolution(float horizontal) {
    if (bitmap) bitmap->SetResolution(horizontal, bitmap->GetVerticalResolution());
}

void DVImageProcessor::SetVerticalResolution(float vertical) {
    if (bitmap) bitmap->SetResolution(bitmap->GetHorizontalResolution(), vertical);
}

// ---- Pixel-operation mechanism ----

uint32_t DVImageProcessor::ApplyToImage(Bitmap* bmp, const dv::Rect* rect, uint32_t lockMode,
                                        int32_t format, DVPixelOperation operation,
                                        void* argument) {
    if (!bmp) return DVErrNoImage;
    if (!operation) return DVErrNoOperation;
    gw::LockedView view(bmp, rect, lockMode, format, true);
    if (!view.Locked()) return DVErrLock;
    const uint32_t result = operation(view.View(), view.Changes(), argument);
    view.Finish(result);
    return result;
}

uint32_t DVImageProcessor::ApplyToImagePair(Bitmap* source, const dv::Rect* sourceRect,
                                            uint32_t sourceLockMode, int32_t sourceFormat,
                                            Bitmap* destination, const dv::Rect* destinationRect,
                                            uint32_t destinationLockMode, int32_t destinationFormat,
                                            DVPixelPairOperation operation, void* argument) {
    if (!source || !destination) return DVErrNoImage;
    if (!operation) return DVErrNoOperation;
    gw::LockedView src(source, sourceRect, sourceLockMode, sourceFormat, true);
    if (!src.Locked()) return DVErrLock;
    // Two rectangles of one bitmap cannot be locked at once.
    gw::LockedView dst(destination, destinationRect, destinationLockMode, destinationFormat, true);
    if (!dst.Locked()) return DVErrLock;
    const uint32_t result =
        operation(src.View(), src.Changes(), dst.View(), dst.Changes(), argument);
    dst.Finish(result);
    src.Finish(result);
    return result;
}

uint32_t DVImageProcessor::CheckView(const DVPixelView* view, uint32_t mask) {
    if (!view) return DVErrNoView;
    if ((mask & DVCheckPixels) && !view->pixels) return DVErrNoPixels;
    if ((mask & DVCheckFormat) && dv::BitsPerPixel(view->format) == 0) return DVErrArgument;
    if ((mask & DVCheckPalette) && (view->format & dv::PixelFormatIndexed) && !view->palette)
        return DVErrNoPalette;
    if ((mask & DVCheckOwner) && !view->owner) return DVErrNoOwner;
    return DVOk;
}
