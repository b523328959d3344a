// The platform bitmap store: pixels, palette, resolution, property items and
// the pixel lock. It stands in for the platform's native bitmap with the
// behaviour the image object relies on.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "DVImageCodecs.h"
#include "platform/BitmapWatch.h"
#include "platform/PixelLayout.h"
#include "platform/PixelMemory.h"
#include "platform/PixelTurn.h"

namespace dv {

uint32_t BitsPerPixel(int32_t format) {
    switch (format) {
        case PixelFormat1bppIndexed:
            return 1;
        case PixelFormat8bppIndexed:
            return 8;
        case PixelFormat24bppRGB:
            return 24;
        default:
            return 0;
    }
}

uint32_t PaletteEntryCount(int32_t format) {
    switch (format) {
        case PixelFormat1bppIndexed:
            return 2;
        case PixelFormat8bppIndexed:
            return 256;
        default:
            return 0;
    }
}

struct Bitmap::Impl {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t stride = 0;
    int32_t format = 0;
    gw::PixelMemory pixels;
    uint32_t paletteFlags = 0;
    std::vector<uint32_t> palette;
    float dpiX = 96.0f;
    float dpiY = 96.0f;
    struct Property {
        uint32_t id;
        uint16_t type;
        std::vector<uint8_t> value;
    };
    std::vector<Property> properties;
    Status last = Ok;

    // Lock state. A 1-bit rectangle that does not start on a byte boundary is
    // handed out through a shifted copy held here.
    bool locked = false;
    Rect lockRect{};
    uint32_t lockMode = 0;
    std::unique_ptr<uint8_t[]> shadow;
    uint32_t shadowStride = 0;

    // Called once before the pixels may next change (see BitmapWatch).
    BitmapChangeHook watch = nullptr;

    Status Fail(Status s) {
        if (s != Ok) last = s;
        return s;
    }
    uint8_t* Row(uint32_t y) { return pixels.get() + size_t{y} * stride; }
    const uint8_t* Row(uint32_t y) const { return pixels.get() + size_t{y} * stride; }
    bool Contains(const Rect& r) const {
        return r.X >= 0 && r.Y >= 0 && r.Width > 0 && r.Height > 0 &&
               uint64_t(r.X) + uint64_t(r.Width) <= width &&
               uint64_t(r.Y) + uint64_t(r.Height) <= height;
    }
};

namespace {

void SetDefaultPaletteFor(Bitmap::Impl& im) {
    if (im.format == PixelFormat1bppIndexed) {
        im.palette = {0xFF000000u, 0xFFFFFFFFu};
        im.paletteFlags = 0;
    } else if (im.format == PixelFormat8bppIndexed) {
        im.palette.resize(256);
        for (uint32_t i = 0; i < 256; ++i) im.palette[i] = 0xFF000000u | (i << 16) | (i << 8) | i;
        im.paletteFlags = PaletteFlagsGrayScale;
    }
}

// Copies a rectangle of pixels of any supported format between two buffers;
// the destination rectangle starts at column 0.
void CopyRect(const uint8_t* src, uint32_t srcStride, uint32_t x, uint32_t y, uint32_t w,
              uint32_t h, uint32_t bpp, uint8_t* dst, uint32_t dstStride) {
    for (uint32_t r = 0; r < h; ++r) {
        const uint8_t* s = src + size_t{y + r} * srcStride;
        uint8_t* d = dst + size_t{r} * dstStride;
        if (bpp == 1) {
            if ((x & 7) == 0) {
                std::memcpy(d, s + x / 8, (w + 7) / 8);
                continue;
            }
            for (uint32_t i = 0; i < w; ++i) gw::PutBit(d, i, gw::GetBit(s, x + i));
        } else {
            std::memcpy(d, s + size_t{x} * (bpp / 8), size_t{w} * (bpp / 8));
        }
    }
}

}  // namespace

Bitmap::Bitmap(Impl* impl) : impl_(impl) {}

Bitmap::~Bitmap() {
    BitmapWatch::BeforeChange(*this);
    delete impl_;
}

void BitmapWatch::Watch(const Bitmap& bitmap, BitmapChangeHook hook) {
    bitmap.impl_->watch = hook;
}

bool BitmapWatch::LockedForWriting(const Bitmap& bitmap) {
    const Bitmap::Impl& im = *bitmap.impl_;
    return im.locked && (im.lockMode & ImageLockModeWrite) != 0;
}

void BitmapWatch::BeforeChange(Bitmap& bitmap) {
    // Cleared first: the hook reads the pixels and may watch again.
    if (const BitmapChangeHook hook = std::exchange(bitmap.impl_->watch, nullptr)) hook(bitmap);
}

Bitmap* Bitmap::Create(uint32_t width, uint32_t height, int32_t format, Status* status) {
    Status s = Ok;
    if (width == 0 || height == 0 || BitsPerPixel(format) == 0) {
        s = InvalidParameter;
    } else if (uint64_t{width} * height > kMaxImagePixels) {
        s = OutOfMemory;
    }
    if (status) *status = s;
    if (s != Ok) return nullptr;

    auto impl = std::make_unique<Impl>();
    impl->width = width;
    impl->height = height;
    impl->format = format;
    impl->stride = gw::AlignedRowBytes(width, BitsPerPixel(format));
    impl->pixels = gw::AllocatePixelMemory(size_t{impl->stride} * height);
    SetDefaultPaletteFor(*impl);
    return new Bitmap(impl.release());
}

Bitmap* Bitmap::Clone(int32_t x, int32_t y, int32_t width, int32_t height, int32_t format,
                      Status* status) const {
    Rect r{x, y, width, height};
    Status s = Ok;
    if (format != impl_->format || !impl_->Contains(r)) s = InvalidParameter;
    if (status) *status = s;
    if (s != Ok) {
        impl_->Fail(s);
        return nullptr;
    }
    Bitmap* copy = Create(uint32_t(width), uint32_t(height), format, status);
    if (!copy) return nullptr;
    Impl& c = *copy->impl_;
    CopyRect(impl_->pixels.get(), impl_->stride, uint32_t(x), uint32_t(y), c.width, c.height,
             BitsPerPixel(format), c.pixels.get(), c.stride);
    c.palette = impl_->palette;
    c.paletteFlags = impl_->paletteFlags;
    c.dpiX = impl_->dpiX;
    c.dpiY = impl_->dpiY;
    c.properties = impl_->properties;
    return copy;
}

uint32_t Bitmap::GetWidth() const {
    return impl_->width;
}
uint32_t Bitmap::GetHeight() const {
    return impl_->height;
}
int32_t Bitmap::GetPixelFormat() const {
    return impl_->format;
}
uint8_t* Bitmap::Pixels() {
    BitmapWatch::BeforeChange(*this);
    return impl_->pixels.get();
}
const uint8_t* Bitmap::Pixels() const {
    return impl_->pixels.get();
}
uint32_t Bitmap::GetStride() const {
    return impl_->stride;
}

Status Bitmap::LockBits(const Rect* rect, uint32_t mode, int32_t format, BitmapData* data) {
    Impl& im = *impl_;
    Rect r = rect ? *rect : Rect{0, 0, int32_t(im.width), int32_t(im.height)};
    if (!data || format != im.format || !im.Contains(r) ||
        (mode != ImageLockModeRead && mode != ImageLockModeWrite &&
         mode != (ImageLockModeRead | ImageLockModeWrite))) {
        return im.Fail(InvalidParameter);
    }
    if (im.locked) return im.Fail(WrongState);
    if ((mode & ImageLockModeWrite) != 0) BitmapWatch::BeforeChange(*this);

    const uint32_t bpp = BitsPerPixel(format);
    im.locked = true;
    im.lockRect = r;
    im.lockMode = mode;
    data->Width = uint32_t(r.Width);
    data->Height = uint32_t(r.Height);
    data->PixelFormat = format;
    data->Reserved = 0;
    if (bpp == 1 && (r.X & 7) != 0) {
        im.shadowStride = gw::AlignedRowBytes(uint32_t(r.Width), 1);
        im.shadow = std::make_unique<uint8_t[]>(size_t{im.shadowStride} * uint32_t(r.Height));
        CopyRect(im.pixels.get(), im.stride, uint32_t(r.X), uint32_t(r.Y), uint32_t(r.Width),
                 uint32_t(r.Height), 1, im.shadow.get(), im.shadowStride);
        data->Scan0 = im.shadow.get();
        data->Stride = int32_t(im.shadowStride);
    } else {
        data->Scan0 = im.Row(uint32_t(r.Y)) + size_t(uint32_t(r.X)) * bpp / 8;
        data->Stride = int32_t(im.stride);
    }
    return Ok;
}

Status Bitmap::UnlockBits(BitmapData* data) {
    Impl& im = *impl_;
    if (!data) return im.Fail(InvalidParameter);
    if (!im.locked) return im.Fail(WrongState);
    if (im.shadow) {
        if (im.lockMode & ImageLockModeWrite) {
            const Rect& r = im.lockRect;
            for (int32_t row = 0; row < r.Height; ++row) {
                const uint8_t* s = im.shadow.get() + size_t(row) * im.shadowStride;
                uint8_t* d = im.Row(uint32_t(r.Y + row));
                for (int32_t i = 0; i < r.Width; ++i)
                    gw::PutBit(d, uint32_t(r.X + i), gw::GetBit(s, uint32_t(i)));
            }
        }
        im.shadow.reset();
    }
    im.locked = false;
    return Ok;
}

uint32_t Bitmap::GetPaletteSize() const {
    return PaletteBytes(uint32_t(impl_->palette.size()));
}

Status Bitmap::GetPalette(ColorPalette* palette, uint32_t size) const {
    if (!palette || size < GetPaletteSize()) return impl_->Fail(InvalidParameter);
    palette->Flags = impl_->paletteFlags;
    palette->Count = uint32_t(impl_->palette.size());
    if (!impl_->palette.empty()) {
        std::memcpy(palette->Entries, impl_->palette.data(), impl_->palette.size() * 4);
    }
    return Ok;
}

Status Bitmap::SetPalette(const ColorPalette* palette) {
    const uint32_t bpp = BitsPerPixel(impl_->format);
    if (!palette || (impl_->format & PixelFormatIndexed) == 0 || bpp == 0 ||
        palette->Count > (1u << bpp)) {
        return impl_->Fail(InvalidParameter);
    }
    impl_->paletteFlags = palette->Flags;
    impl_->palette.assign(palette->Entries, palette->Entries + palette->Count);
    return Ok;
}

float Bitmap::GetHorizontalResolution() const {
    return impl_->dpiX;
}
float Bitmap::GetVerticalResolution() const {
    return impl_->dpiY;
}

Status Bitmap::SetResolution(float horizontal, float vertical) {
    if (!(horizontal >= 0.0f) || !(vertical >= 0.0f)) return impl_->Fail(InvalidParameter);
    impl_->dpiX = horizontal;
    impl_->dpiY = vertical;
    return Ok;
}

Status Bitmap::RotateFlip(int32_t type) {
    Impl& im = *impl_;
    if (type < 0 || type > 7) return im.Fail(InvalidParameter);
    if (im.locked) return im.Fail(WrongState);
    if (type == 0) return Ok;
    BitmapWatch::BeforeChange(*this);

    const uint32_t w = im.width, h = im.height, bpp = BitsPerPixel(im.format);
    const bool swap = (type & 1) != 0;  // types 1, 3, 5 and 7 turn by 90 degrees
    const uint32_t nw = swap ? h : w, nh = swap ? w : h;
    const uint32_t nstride = gw::AlignedRowBytes(nw, bpp);
    gw::PixelMemory out = gw::AllocatePixelMemory(size_t{nstride} * nh);
    const uint32_t bytes = bpp / 8;

    if (bpp == 1) {
        for (uint32_t y = 0; y < h; ++y) {
            const uint8_t* src = im.Row(y);
            for (uint32_t x = 0; x < w; ++x) {
                const auto [dx, dy] = gw::TurnedPlace(type, x, y, w, h);
                gw::PutBit(out.get() + size_t{dy} * nstride, dx, gw::GetBit(src, x));
            }
        }
    } else {
        gw::TurnRows(type, bytes, im.pixels.get(), im.stride, w, h, 0, h, out.get(), nstride);
    }
    im.pixels = std::move(out);
    im.width = nw;
    im.height = nh;
    im.stride = nstride;
    return Ok;
}

uint32_t Bitmap::GetPropertyItemSize(uint32_t id) const {
    for (const auto& p : impl_->properties) {
        if (p.id == id) return uint32_t(sizeof(PropertyItem) + p.value.size());
    }
    return 0;
}

Status Bitmap::GetPropertyItem(uint32_t id, uint32_t size, PropertyItem* buffer) const {
    if (!buffer) return impl_->Fail(InvalidParameter);
    for (const auto& p : impl_->properties) {
        if (p.id != id) continue;
        if (size < sizeof(PropertyItem) + p.value.size()) return impl_->Fail(InvalidParameter);
        auto* bytes = reinterpret_cast<uint8_t*>(buffer) + sizeof(PropertyItem);
        buffer->id = p.id;
        buffer->type = p.type;
        buffer->length = uint32_t(p.value.size());
        buffer->value = bytes;
        if (!p.value.empty()) std::memcpy(bytes, p.value.data(), p.value.size());
        return Ok;
    }
    return impl_->Fail(PropertyNotFound);
}

Status Bitmap::GetPropertySize(uint32_t* totalBytes, uint32_t* count) const {
    if (!totalBytes || !count) return impl_->Fail(InvalidParameter);
    size_t total = 0;
    for (const auto& p : impl_->properties) total += sizeof(PropertyItem) + p.value.size();
    *totalBytes = uint32_t(total);
    *count = uint32_t(impl_->properties.size());
    return Ok;
}

Status Bitmap::GetAllPropertyItems(uint32_t totalBytes, uint32_t count, PropertyItem* all) const {
    uint32_t need = 0, n = 0;
    GetPropertySize(&need, &n);
    if (!all || totalBytes != need || count != n) return impl_->Fail(InvalidParameter);
    auto* values = reinterpret_cast<uint8_t*>(all) + sizeof(PropertyItem) * n;
    for (uint32_t i = 0; i < n; ++i) {
        const auto& p = impl_->properties[i];
        all[i].id = p.id;
        all[i].type = p.type;
        all[i].length = uint32_t(p.value.size());
        all[i].value = values;
        if (!p.value.empty()) std::memcpy(values, p.value.data(), p.value.size());
        values += p.value.size();
    }
    return Ok;
}

Status Bitmap::SetPropertyItem(const PropertyItem* item) {
    if (!item || (item->length > 0 && !item->value)) return impl_->Fail(InvalidParameter);
    const auto* v = static_cast<const uint8_t*>(item->value);
    std::vector<uint8_t> value(v, v + item->length);
    for (auto& p : impl_->properties) {
        if (p.id == item->id) {
            p.type = item->type;
            p.value = std::move(value);
            return Ok;
        }
    }
    impl_->properties.push_back({item->id, item->type, std::move(value)});
    return Ok;
}

Status Bitmap::RemovePropertyItem(uint32_t id) {
    auto& props = impl_->properties;
    auto it = std::find_if(props.begin(), props.end(), [id](const auto& p) { return p.id == id; });
    if (it == props.end()) return impl_->Fail(PropertyNotFound);
    props.erase(it);
    return Ok;
}

Status Bitmap::GetLastStatus() {
    Status s = impl_->last;
    impl_->last = Ok;
    return s;
}

void Bitmap::SetLastStatus(Status status) {
    impl_->Fail(status);
}

}  // namespace dv
