// Palettes of indexed images and conversions between the three pixel formats.
//
// A conversion re-creates the object in the new format and fills the new
// bitmap from the old one with a two-image pixel operation. The old bitmap is
// read where it is rather than cloned first: it is taken out of the object
// before Create (so that Create's Destroy cannot delete it) and deleted
// afterwards when the object owned it, which saves one full copy of the image.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "DVImageProcessor.h"
#include "image/Grey.h"

namespace {

using dv::ColorPalette;

constexpr int32_t k1Bit = dv::PixelFormat1bppIndexed;
constexpr int32_t k8Bit = dv::PixelFormat8bppIndexed;
constexpr int32_t k24Bit = dv::PixelFormat24bppRGB;
constexpr uint32_t kRampCount = 256;

constexpr uint32_t RampEntry(uint32_t i) {
    return 0xFF000000u | (i << 16) | (i << 8) | i;
}
static_assert(RampEntry(0) == 0xFF000000u && RampEntry(255) == 0xFFFFFFFFu);

// ---- Palette buffers ----

struct FreePalette {
    void operator()(ColorPalette* palette) const { std::free(palette); }
};
using PalettePtr = std::unique_ptr<ColorPalette, FreePalette>;

// A zeroed palette buffer with room for count entries.
PalettePtr NewPalette(uint32_t count) {
    size_t bytes = dv::PaletteBytes(count);
    if (bytes < sizeof(ColorPalette)) bytes = sizeof(ColorPalette);
    auto* palette = static_cast<ColorPalette*>(std::calloc(1, bytes));
    if (!palette) throw std::bad_alloc();
    return PalettePtr(palette);
}

// A copy of the bitmap's palette (count 0 for a format without one).
PalettePtr ReadPalette(const dv::Bitmap& bitmap) {
    const uint32_t bytes = bitmap.GetPaletteSize();
    const uint32_t room = bytes >= dv::PaletteBytes(0) ? (bytes - dv::PaletteBytes(0)) / 4 : 0;
    PalettePtr palette = NewPalette(room);
    if (bitmap.GetPalette(palette.get(), bytes) != dv::Ok || palette->Count > room) {
        palette->Count = 0;
    }
    return palette;
}

// Writes the grey ramp into a palette of exactly 256 entries that fits in
// bytes; a palette of another size keeps its entries.
void WriteRamp(ColorPalette* palette, uint32_t bytes) {
    if (palette->Count != kRampCount || bytes < dv::PaletteBytes(kRampCount)) return;
    uint32_t* entries = palette->Entries;
    for (uint32_t i = 0; i < kRampCount; ++i) entries[i] = RampEntry(i);
}

// ---- Grey level in the hot loops ----

// floor(value) truncated to a 32-bit integer. Values that do not fit (and NaN)
// give INT32_MIN, as the processor's own conversion does, so their low byte is 0.
inline int32_t FloorToInt(float value) {
    if (!(value >= -2147483648.0f && value < 2147483648.0f)) return INT32_MIN;
    int32_t whole = int32_t(value);
    if (float(whole) > value) --whole;
    return whole;
}

// The three weighted channels of every byte value, each product rounded to
// single precision exactly as the grey level computes it, so that a pixel
// costs three loads and two additions.
struct GreyTables {
    float red[256];
    float green[256];
    float blue[256];
    bool simple;  // every sum lies in [0, 2^30): floor is a plain truncation

    GreyTables(float wR, float wG, float wB) {
        for (uint32_t i = 0; i < 256; ++i) {
            red[i] = float(i) * wR;
            green[i] = float(i) * wG;
            blue[i] = float(i) * wB;
        }
        const float limit = 1048576.0f;  // 3 * 255 * 2^20 < 2^30
        simple = wR >= 0.0f && wG >= 0.0f && wB >= 0.0f && wR < limit && wG < limit && wB < limit;
    }
    float Sum(const uint8_t* bgr) const { return (red[bgr[2]] + green[bgr[1]]) + blue[bgr[0]]; }
};

// ---- Pixel operations ----

struct GreyWeights {
    float red;
    float green;
    float blue;
};

uint32_t Min(uint32_t a, uint32_t b) {
    return a < b ? a : b;
}

void GreyRowFrom24(const GreyTables& t, const uint8_t* src, uint8_t* dst, uint32_t width) {
    if (t.simple) {
        for (uint32_t x = 0; x < width; ++x, src += 3) dst[x] = uint8_t(int32_t(t.Sum(src)));
    } else {
        for (uint32_t x = 0; x < width; ++x, src += 3) dst[x] = uint8_t(FloorToInt(t.Sum(src)));
    }
}

void GreyRowFrom1(const uint8_t* src, uint8_t* dst, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x) {
        dst[x] = uint8_t(0u - ((src[x >> 3] >> (7 - (x & 7))) & 1u));
    }
}

// 24-bit or 1-bit source into an 8-bit destination that gets the grey ramp.
uint32_t GreyOperation(DVPixelView* src, uint32_t*, DVPixelView* dst, uint32_t* dstChanges,
                       void* argument) {
    if (uint32_t code = DVImageProcessor::CheckView(src, DVCheckIndexed)) return code;
    if (uint32_t code = DVImageProcessor::CheckView(dst, DVCheckIndexed)) return code;
    if (src->format != k24Bit && src->format != k1Bit) return DVOk;
    if (!argument) return DVErrOperationArgument;
    if (dst->format != k8Bit) return DVErrArgument;

    dst->palette->Flags = dv::PaletteFlagsGrayScale;
    WriteRamp(dst->palette, dst->paletteSize);
    *dstChanges |= kChangedPalette;

    const uint32_t width = Min(src->width, dst->width);
    const uint32_t height = Min(src->height, dst->height);
    if (src->format == k24Bit) {
        const auto* w = static_cast<const GreyWeights*>(argument);
        const GreyTables tables(w->red, w->green, w->blue);
        for (uint32_t y = 0; y < height; ++y) {
            GreyRowFrom24(tables, src->pixels + size_t{y} * src->stride,
                          dst->pixels + size_t{y} * dst->stride, width);
        }
    } else {
        for (uint32_t y = 0; y < height; ++y) {
            GreyRowFrom1(src->pixels + size_t{y} * src->stride,
                         dst->pixels + size_t{y} * dst->stride, width);
        }
    }
    *dstChanges |= kChangedPixels;
    return DVOk;
}

// 8-bit or 1-bit source into a 24-bit destination; pixel values are taken as
// grey levels, the source palette is not consulted.
uint32_t ExpandOperation(DVPixelView* src, uint32_t*, DVPixelView* dst, uint32_t* dstChanges,
                         void*) {
    if (uint32_t code = DVImageProcessor::CheckView(src, DVCheckIndexed)) return code;
    if (uint32_t code = DVImageProcessor::CheckView(dst, DVCheckData)) return code;
    if (src->format != k8Bit && src->format != k1Bit) return DVOk;
    if (dst->format != k24Bit) return DVErrArgument;

    const uint32_t width = Min(src->width, dst->width);
    const uint32_t height = Min(src->height, dst->height);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* s = src->pixels + size_t{y} * src->stride;
        uint8_t* d = dst->pixels + size_t{y} * dst->stride;
        for (uint32_t x = 0; x < width; ++x, d += 3) {
            const uint8_t v =
                src->format == k8Bit ? s[x] : uint8_t(0u - ((s[x >> 3] >> (7 - (x & 7))) & 1u));
            d[0] = d[1] = d[2] = v;
        }
    }
    *dstChanges |= kChangedPixels;
    return DVOk;
}

// Packs one row of on/off decisions into bits, most significant bit first.
// The bits past width in the last byte keep what the destination held.
template <typename IsOn>
void PackRow(uint8_t* dst, uint32_t width, IsOn isOn) {
    const uint32_t whole = width / 8;
    for (uint32_t b = 0; b < whole; ++b) {
        uint32_t bits = 0;
        for (uint32_t i = 0; i < 8; ++i) bits = (bits << 1) | uint32_t(isOn(b * 8 + i));
        dst[b] = uint8_t(bits);
    }
    const uint32_t rest = width % 8;
    if (rest == 0) return;
    uint32_t bits = 0;
    for (uint32_t i = 0; i < rest; ++i) bits = (bits << 1) | uint32_t(isOn(whole * 8 + i));
    const uint32_t shift = 8 - rest;
    const uint8_t mask = uint8_t((0xFFu >> shift) << shift);
    dst[whole] = uint8_t((dst[whole] & ~mask) | ((bits << shift) & mask));
}

// 24-bit or 8-bit source into a 1-bit destination: a bit is on where the grey
// level (24-bit) or the byte (8-bit) is above 128. The destination palette is
// left as it stands.
uint32_t ThresholdOperation(DVPixelView* src, uint32_t*, DVPixelView* dst, uint32_t* dstChanges,
                            void*) {
    if (uint32_t code = DVImageProcessor::CheckView(src, DVCheckIndexed)) return code;
    if (uint32_t code = DVImageProcessor::CheckView(dst, DVCheckIndexed)) return code;
    if (src->format != k24Bit && src->format != k8Bit) return DVOk;
    if (dst->format != k1Bit) return DVErrArgument;

    const uint32_t width = Min(src->width, dst->width);
    const uint32_t height = Min(src->height, dst->height);
    if (src->format == k8Bit) {
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* s = src->pixels + size_t{y} * src->stride;
            PackRow(dst->pixels + size_t{y} * dst->stride, width,
                    [s](uint32_t x) { return s[x] > 128; });
        }
    } else {
        const GreyTables tables(gw::kWeightRed, gw::kWeightGreen, gw::kWeightBlue);
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* s = src->pixels + size_t{y} * src->stride;
            PackRow(dst->pixels + size_t{y} * dst->stride, width,
                    [s, &tables](uint32_t x) { return int32_t(tables.Sum(s + 3 * x)) > 128; });
        }
    }
    *dstChanges |= kChangedPixels;
    return DVOk;
}

// Rewrites every byte of an 8-bit view, row padding included, through a
// 256-entry table.
uint32_t RemapOperation(DVPixelView* view, uint32_t* changes, void* argument) {
    if (uint32_t code = DVImageProcessor::CheckView(view, DVCheckData)) return code;
    if (!argument) return DVErrOperationArgument;
    if (view->format != k8Bit) return DVErrArgument;
    const auto* table = static_cast<const uint8_t*>(argument);
    for (uint32_t i = 0; i < view->size; ++i) view->pixels[i] = table[view->pixels[i]];
    *changes |= kChangedPixels;
    return DVOk;
}

// Deletes the bitmap that a conversion read from, when the object owned it.
struct OldBitmap {
    dv::Bitmap* bitmap;
    bool owned;
    ~OldBitmap() {
        if (owned) delete bitmap;
    }
};

// Re-creates the image in format, keeping its size and resolution, and fills
// the new bitmap from the old one with operation. field and owned are the
// object's bitmap and ownsBitmap. Gives the operation's code.
uint32_t ReplaceBitmap(DVImageProcessor& image, dv::Bitmap*& field, bool owned, int32_t format,
                       DVPixelPairOperation operation, void* argument) {
    const OldBitmap old{field, owned};
    field = nullptr;  // Create's Destroy must leave the pixels we still read
    const float horizontal = old.bitmap->GetHorizontalResolution();
    const float vertical = old.bitmap->GetVerticalResolution();
    image.Create(old.bitmap->GetWidth(), old.bitmap->GetHeight(), format);
    image.SetResolution(horizontal, vertical);
    return DVImageProcessor::ApplyToImagePair(
        old.bitmap, nullptr, dv::ImageLockModeRead, old.bitmap->GetPixelFormat(), image.GetBitmap(),
        nullptr, dv::ImageLockModeWrite, format, operation, argument);
}

}  // namespace

uint32_t DVImageProcessor::SetDefaultPalette() {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    const uint32_t count = dv::PaletteEntryCount(bitmap->GetPixelFormat());
    if (count == 0) return DVOk;
    uint32_t entries[kRampCount];
    if (count == kRampCount) {
        for (uint32_t i = 0; i < kRampCount; ++i) entries[i] = RampEntry(i);
    } else {
        entries[0] = 0xFF000000u;
        entries[1] = 0xFFFFFFFFu;
    }
    return SetPalette(entries, count);
}

uint32_t DVImageProcessor::SetPalette(const uint32_t* entries, uint32_t count) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    if (!entries) return DVErrArgument;
    const uint32_t expected = dv::PaletteEntryCount(bitmap->GetPixelFormat());
    if (expected == 0) return DVOk;
    if (count != expected) return Record(DVErrPaletteCount);
    PalettePtr palette = NewPalette(count);
    palette->Flags = 0;
    palette->Count = count;
    std::memcpy(palette->Entries, entries, size_t{count} * 4);
    bitmap->SetPalette(palette.get());
    return Record(DVOk);
}

uint32_t DVImageProcessor::GetGreyPaletteKind() {
    if (!bitmap || GetBitsPerPixel() != 8) return 0;
    const PalettePtr palette = ReadPalette(*bitmap);
    if (palette->Count != kRampCount) return 0;
    const uint32_t* entries = palette->Entries;
    bool outOfOrder = false;
    for (uint32_t i = 0; i < kRampCount; ++i) {
        const uint32_t red = (entries[i] >> 16) & 0xFF;
        const uint32_t green = (entries[i] >> 8) & 0xFF;
        const uint32_t blue = entries[i] & 0xFF;
        if (red != blue || red != green) return 0;
        if (red != i) outOfOrder = true;
    }
    return outOfOrder ? 2 : 1;
}

uint32_t DVImageProcessor::NormaliseGreyPalette() {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    const PalettePtr old = ReadPalette(*bitmap);

    // Each pixel value becomes the grey (red byte) of its old entry; values
    // past a short palette keep their value.
    uint8_t table[256];
    const uint32_t* entries = old->Entries;
    for (uint32_t i = 0; i < 256; ++i) {
        table[i] = i < old->Count ? uint8_t(entries[i] >> 16) : uint8_t(i);
    }
    ApplyToImage(bitmap, nullptr, dv::ImageLockModeWrite, bitmap->GetPixelFormat(), RemapOperation,
                 table);

    // The new palette is the ramp when it has 256 entries; one of another size
    // keeps its entries.
    if ((bitmap->GetPixelFormat() & dv::PixelFormatIndexed) == 0) return DVOk;
    PalettePtr fresh = NewPalette(old->Count);
    std::memcpy(fresh.get(), old.get(), dv::PaletteBytes(old->Count));
    if (fresh->Count == kRampCount) {
        fresh->Flags = dv::PaletteFlagsGrayScale;
        WriteRamp(fresh.get(), dv::PaletteBytes(kRampCount));
    }
    bitmap->SetPalette(fresh.get());
    return DVOk;
}

uint32_t DVImageProcessor::ConvertToGrey(float weightRed, float weightGreen, float weightBlue) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    const int32_t format = bitmap->GetPixelFormat();
    if (format != k24Bit && format != k1Bit) {
        if (GetGreyPaletteKind() == 2) NormaliseGreyPalette();
        return DVOk;
    }
    GreyWeights weights{weightRed, weightGreen, weightBlue};
    return Record(ReplaceBitmap(*this, bitmap, ownsBitmap, k8Bit, GreyOperation, &weights));
}

uint32_t DVImageProcessor::ConvertTo24Bit() {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    const int32_t format = bitmap->GetPixelFormat();
    if (format != k8Bit && format != k1Bit) return DVOk;
    return Record(ReplaceBitmap(*this, bitmap, ownsBitmap, k24Bit, ExpandOperation, nullptr));
}

uint32_t DVImageProcessor::ConvertTo1Bit() {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    const int32_t format = bitmap->GetPixelFormat();
    if (format != k24Bit && format != k8Bit) return DVOk;
    return Record(ReplaceBitmap(*this, bitmap, ownsBitmap, k1Bit, ThresholdOperation, nullptr));
}
