// BMP reading and writing. Reads 1, 4, 8, 16, 24 and 32 bits per pixel,
// uncompressed, RLE4, RLE8 and bit fields, bottom-up and top-down, with the
// core, info (v1 to v5) and OS/2 headers; every read is bounds-checked, so any
// bytes give either an image or a status. Writes 1-, 8- and 24-bit files with
// an info header.
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/CodecSupport.h"
#include "platform/PixelLayout.h"

namespace gw::codec {
namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr double kInchesPerMetre = 0.0254;

enum Compression : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

uint16_t U16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

struct Header {
    uint32_t headerSize = 0;
    int64_t width = 0;
    int64_t height = 0;  // negative: rows top-down
    uint32_t bpp = 0;
    uint32_t compression = kRgb;
    uint32_t colours = 0;  // palette entries in the file
    uint32_t xppm = 0, yppm = 0;
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    bool hasMasks = false;
};

// One channel described by a bit mask, scaled to 0..255.
struct Channel {
    uint32_t mask = 0;
    uint32_t shift = 0;
    uint32_t max = 0;
    explicit Channel(uint32_t m) : mask(m) {
        if (!m) return;
        while (!((m >> shift) & 1)) ++shift;
        max = m >> shift;
    }
    uint8_t Get(uint32_t v) const {
        if (!max) return 0;
        return uint8_t((uint64_t((v & mask) >> shift) * 255 + max / 2) / max);
    }
};

Status ParseHeader(const uint8_t* data, size_t size, Header& h, size_t& paletteAt) {
    if (size < kFileHeaderSize + 4) return dv::GenericError;
    h.headerSize = U32(data + kFileHeaderSize);
    const uint8_t* p = data + kFileHeaderSize;
    if (h.headerSize > size - kFileHeaderSize) return dv::GenericError;
    if (h.headerSize == 12) {
        h.width = U16(p + 4);
        h.height = U16(p + 6);
        h.bpp = U16(p + 10);
    } else if (h.headerSize >= 16 && h.headerSize <= 124 && h.headerSize != 12) {
        h.width = int32_t(U32(p + 4));
        h.height = int32_t(U32(p + 8));
        h.bpp = U16(p + 14);
        if (h.headerSize >= 20) h.compression = U32(p + 16);
        if (h.headerSize >= 32) {
            h.xppm = U32(p + 24);
            h.yppm = U32(p + 28);
        }
        if (h.headerSize >= 36) h.colours = U32(p + 32);
        // OS/2 2.x headers (16 to 64 bytes, not a Windows size) number their
        // compressions differently; only the shared ones are read.
        const bool os2 = h.headerSize != 40 && h.headerSize != 52 && h.headerSize != 56 &&
                         h.headerSize != 108 && h.headerSize != 124;
        if (os2 && h.compression >= kBitFields) return dv::GenericError;
    } else {
        return dv::GenericError;
    }
    size_t end = kFileHeaderSize + h.headerSize;
    if (h.compression == kBitFields || h.compression == kAlphaBitFields) {
        const uint32_t count = h.compression == kAlphaBitFields ? 4 : 3;
        if (h.headerSize >= 52) {
            // The masks are part of the header.
            for (uint32_t i = 0; i < count && 40 + 4 * i + 4 <= h.headerSize; ++i) {
                h.masks[i] = U32(p + 40 + 4 * i);
            }
        } else {
            if (size < end + 4 * count) return dv::GenericError;
            for (uint32_t i = 0; i < count; ++i) h.masks[i] = U32(data + end + 4 * i);
            end += 4 * count;
        }
        h.hasMasks = true;
    }
    if (h.headerSize >= 56 && h.bpp == 32) h.masks[3] = U32(p + 52);
    paletteAt = end;
    return dv::Ok;
}

// Checks the header's combination of depth and compression and the size.
Status CheckHeader(const Header& h) {
    if (h.width <= 0 || h.height == 0 || h.height < -int64_t(INT32_MAX)) return dv::GenericError;
    const uint64_t pixels = uint64_t(h.width) * uint64_t(h.height < 0 ? -h.height : h.height);
    if (pixels > dv::kMaxImagePixels) return dv::OutOfMemory;
    switch (h.compression) {
        case kRgb:
            return h.bpp == 1 || h.bpp == 4 || h.bpp == 8 || h.bpp == 16 || h.bpp == 24 ||
                           h.bpp == 32
                       ? dv::Ok
                       : dv::GenericError;
        case kRle8:
            return h.bpp == 8 && h.height > 0 ? dv::Ok : dv::GenericError;
        case kRle4:
            return h.bpp == 4 && h.height > 0 ? dv::Ok : dv::GenericError;
        case kBitFields:
        case kAlphaBitFields:
            return h.bpp == 16 || h.bpp == 32 ? dv::Ok : dv::GenericError;
        default:
            return dv::GenericError;
    }
}

// Decodes RLE8 or RLE4 into 8-bit rows (index per byte); rows that the data
// does not reach stay 0. Data that ends before the end-of-bitmap marker is
// refused.
Status DecodeRle(const uint8_t* p, const uint8_t* end, bool four, dv::Bitmap* bm) {
    const uint32_t width = bm->GetWidth(), height = bm->GetHeight();
    uint8_t* pixels = bm->Pixels();
    const size_t stride = bm->GetStride();
    uint32_t x = 0, y = 0;  // y counts rows from the bottom
    auto put = [&](uint8_t index) {
        if (x < width && y < height) pixels[(height - 1 - y) * stride + x] = index;
        ++x;
    };
    while (end - p >= 2) {
        const uint8_t count = p[0], value = p[1];
        p += 2;
        if (count > 0) {
            for (uint32_t i = 0; i < count; ++i) {
                put(four ? uint8_t(i & 1 ? value & 0x0F : value >> 4) : value);
            }
            continue;
        }
        if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            return dv::Ok;
        } else if (value == 2) {
            if (end - p < 2) return dv::GenericError;
            x += p[0];
            y += p[1];
            p += 2;
        } else {
            const size_t bytes = four ? (value + 1u) / 2 : value;
            const size_t padded = (bytes + 1) & ~size_t{1};
            if (size_t(end - p) < bytes) return dv::GenericError;
            for (uint32_t i = 0; i < value; ++i) {
                put(four ? uint8_t(i & 1 ? p[i / 2] & 0x0F : p[i / 2] >> 4) : p[i]);
            }
            p += size_t(end - p) < padded ? bytes : padded;
        }
        if (y >= height) return dv::Ok;
    }
    return dv::GenericError;
}

Status DecodeRows(const Header& h, const uint8_t* p, const uint8_t* end, dv::Bitmap* bm) {
    const uint32_t width = bm->GetWidth(), height = bm->GetHeight();
    const size_t rowBytes = (size_t(width) * h.bpp + 31) / 32 * 4;
    if (size_t(end - p) / rowBytes < height) return dv::GenericError;
    const bool topDown = h.height < 0;
    uint32_t defaults[3] = {0x7C00, 0x03E0, 0x001F};
    if (h.bpp == 32) defaults[0] = 0xFF0000, defaults[1] = 0xFF00, defaults[2] = 0xFF;
    const Channel red(h.hasMasks ? h.masks[0] : defaults[0]);
    const Channel green(h.hasMasks ? h.masks[1] : defaults[1]);
    const Channel blue(h.hasMasks ? h.masks[2] : defaults[2]);
    const Channel alpha(h.compression == kRgb && h.headerSize < 56 ? 0 : h.masks[3]);
    // An alpha channel that is 0 everywhere is taken as unused.
    bool useAlpha = false;
    if (alpha.max) {
        for (uint32_t y = 0; y < height && !useAlpha; ++y) {
            const uint8_t* src = p + y * rowBytes;
            for (uint32_t x = 0; x < width && !useAlpha; ++x) {
                const uint32_t v = h.bpp == 32 ? U32(src + 4 * x) : U16(src + 2 * x);
                useAlpha = (v & alpha.mask) != 0;
            }
        }
    }
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* src = p + y * rowBytes;
        uint8_t* dst = bm->Pixels() + size_t(topDown ? y : height - 1 - y) * bm->GetStride();
        switch (h.bpp) {
            case 1:
                std::memcpy(dst, src, (width + 7) / 8);
                break;
            case 4:
                for (uint32_t x = 0; x < width; ++x) {
                    dst[x] = x & 1 ? src[x / 2] & 0x0F : src[x / 2] >> 4;
                }
                break;
            case 8:
                std::memcpy(dst, src, width);
                break;
            case 24:
                std::memcpy(dst, src, size_t(width) * 3);
                break;
            default:
                for (uint32_t x = 0; x < width; ++x) {
                    const uint32_t v = h.bpp == 32 ? U32(src + 4 * x) : U16(src + 2 * x);
                    uint8_t r = red.Get(v), g = green.Get(v), b = blue.Get(v);
                    if (useAlpha) {
                        const uint8_t a = alpha.Get(v);
                        r = OverWhite(r, a), g = OverWhite(g, a), b = OverWhite(b, a);
                    }
                    dst[3 * x] = b, dst[3 * x + 1] = g, dst[3 * x + 2] = r;
                }
        }
    }
    return dv::Ok;
}

}  // namespace

Status DecodeBmp(const uint8_t* data, size_t size, dv::Bitmap** out) {
    Header h;
    size_t paletteAt = 0;
    Status status = ParseHeader(data, size, h, paletteAt);
    if (status == dv::Ok) status = CheckHeader(h);
    if (status != dv::Ok) return status;

    std::vector<uint32_t> palette;
    if (h.bpp <= 8) {
        const uint32_t entrySize = h.headerSize == 12 ? 3 : 4;
        uint32_t count = h.colours == 0 || h.colours > (1u << h.bpp) ? 1u << h.bpp : h.colours;
        const size_t available = (size - paletteAt) / entrySize;
        if (count > available) count = uint32_t(available);
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* e = data + paletteAt + size_t(i) * entrySize;
            palette.push_back(0xFF000000u | uint32_t(e[2]) << 16 | uint32_t(e[1]) << 8 | e[0]);
        }
    }
    const uint32_t offset = U32(data + 10);
    const uint8_t* pixels = data + (offset >= paletteAt && offset < size ? offset : paletteAt);
    const uint8_t* end = data + size;

    const int32_t format = h.bpp == 1   ? dv::PixelFormat1bppIndexed
                           : h.bpp <= 8 ? dv::PixelFormat8bppIndexed
                                        : dv::PixelFormat24bppRGB;
    const uint32_t height = uint32_t(h.height < 0 ? -h.height : h.height);
    const bool rle = h.compression == kRle8 || h.compression == kRle4;
    // Uncompressed rows must all be present; checked before the bitmap is made.
    const size_t rowBytes = (size_t(h.width) * h.bpp + 31) / 32 * 4;
    if (!rle && size_t(end - pixels) / rowBytes < height) return dv::GenericError;
    dv::Bitmap* bm = nullptr;
    status = NewBitmap(uint32_t(h.width), height, format, &bm);
    if (status != dv::Ok) return status;
    // Stored only once decoded: a failing decoder hands out nothing.
    std::unique_ptr<dv::Bitmap> guard(bm);
    if (rle) {
        status = DecodeRle(pixels, end, h.compression == kRle4, bm);
    } else {
        status = DecodeRows(h, pixels, end, bm);
    }
    if (status != dv::Ok) return status;
    if (format != dv::PixelFormat24bppRGB) {
        SetPaletteEntries(bm, palette.data(), uint32_t(palette.size()));
    }
    SetResolutionIfValid(bm, h.xppm * kInchesPerMetre, h.yppm * kInchesPerMetre);
    *out = guard.release();
    return dv::Ok;
}

Status EncodeBmp(const dv::Bitmap* bm, const EncodeSettings&, ByteBuffer& out) {
    const uint32_t width = bm->GetWidth(), height = bm->GetHeight();
    const uint32_t bpp = dv::BitsPerPixel(bm->GetPixelFormat());
    const std::vector<uint32_t> palette = PaletteOf(bm);
    const uint32_t rowBytes = AlignedRowBytes(width, bpp);
    const uint64_t imageBytes = uint64_t(rowBytes) * height;
    const uint32_t offset = kFileHeaderSize + kInfoHeaderSize + 4 * uint32_t(palette.size());
    if (offset + imageBytes > UINT32_MAX) return dv::ValueOverflow;

    uint8_t head[kFileHeaderSize + kInfoHeaderSize] = {};
    auto put16 = [&](uint32_t at, uint32_t v) {
        head[at] = uint8_t(v), head[at + 1] = uint8_t(v >> 8);
    };
    auto put32 = [&](uint32_t at, uint32_t v) { put16(at, v & 0xFFFF), put16(at + 2, v >> 16); };
    head[0] = 'B', head[1] = 'M';
    put32(2, uint32_t(offset + imageBytes));
    put32(10, offset);
    put32(14, kInfoHeaderSize);
    put32(18, width);
    put32(22, height);
    put16(26, 1);
    put16(28, bpp);
    put32(34, uint32_t(imageBytes));
    put32(38, uint32_t(bm->GetHorizontalResolution() / kInchesPerMetre + 0.5));
    put32(42, uint32_t(bm->GetVerticalResolution() / kInchesPerMetre + 0.5));
    put32(46, uint32_t(palette.size()));
    if (!out.Append(head, sizeof head)) return dv::OutOfMemory;
    for (uint32_t c : palette) {
        const uint8_t entry[4] = {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0};
        if (!out.Append(entry, 4)) return dv::OutOfMemory;
    }
    const uint32_t used = RowBytes(width, bpp);
    const uint8_t zeros[4] = {};
    for (uint32_t y = height; y-- > 0;) {
        const uint8_t* row = bm->Pixels() + size_t(y) * bm->GetStride();
        if (!out.Append(row, used) || !out.Append(zeros, rowBytes - used)) return dv::OutOfMemory;
    }
    return dv::Ok;
}

}  // namespace gw::codec
