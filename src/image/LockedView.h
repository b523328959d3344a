// A locked rectangle of a bitmap as a pixel view, unlocked when it goes.
#pragma once

#include <cstdlib>
#include <memory>
#include <utility>
#include <new>

#include "DVImageProcessor.h"

namespace gw {

struct PaletteFree {
    void operator()(dv::ColorPalette* p) const { std::free(p); }
};
using PaletteCopy = std::unique_ptr<dv::ColorPalette, PaletteFree>;

// A locked rectangle of one bitmap as a view, with its palette copy when
// asked for (operations that never look at the palette go without it).
class LockedView {
  public:
    LockedView(dv::Bitmap* bmp, const dv::Rect* rect, uint32_t mode, int32_t format,
               bool withPalette)
        : bitmap_(bmp) {
        locked_ = bmp->LockBits(rect, mode, format, &data_) == dv::Ok;
        if (!locked_) return;
        view_.owner = bmp;
        view_.pixels = static_cast<uint8_t*>(data_.Scan0);
        view_.width = data_.Width;
        view_.height = data_.Height;
        view_.stride = uint32_t(data_.Stride);
        view_.format = data_.PixelFormat;
        // A view never reaches past the end of the pixel buffer, even for a
        // rectangle that does not start at column 0.
        uint64_t size = uint64_t{view_.height} * view_.stride;
        const uint8_t* first = std::as_const(*bmp).Pixels();  // a read: no change signalled
        const uint8_t* end = first + size_t{bmp->GetStride()} * bmp->GetHeight();
        if (view_.pixels >= first && view_.pixels < end) {
            const uint64_t left = uint64_t(end - view_.pixels);
            if (size > left) size = left;
        }
        view_.size = uint32_t(size);
        if (withPalette && (format & dv::PixelFormatIndexed)) {
            const uint32_t bytes = bmp->GetPaletteSize();
            palette_.reset(static_cast<dv::ColorPalette*>(std::calloc(1, bytes)));
            if (!palette_) throw std::bad_alloc();
            bmp->GetPalette(palette_.get(), bytes);
            view_.palette = palette_.get();
            view_.paletteSize = bytes;
        }
    }

    bool Locked() const { return locked_; }
    DVPixelView* View() { return &view_; }
    uint32_t* Changes() { return &changes_; }

    // Unlocks, and stores the palette copy when the operation succeeded and
    // says it wrote it.
    void Finish(uint32_t result) {
        if (!locked_) return;
        bitmap_->UnlockBits(&data_);
        locked_ = false;
        if (result == 0 && (changes_ & kChangedPalette) && palette_) {
            bitmap_->SetPalette(palette_.get());
        }
    }

    ~LockedView() { Finish(1); }

  private:
    dv::Bitmap* bitmap_;
    dv::BitmapData data_{};
    bool locked_ = false;
    DVPixelView view_{};
    uint32_t changes_ = 0;
    PaletteCopy palette_;
};

}  // namespace gw
