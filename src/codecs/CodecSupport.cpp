// Shared helpers of the format codecs.
#include "codecs/CodecSupport.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>

#include "image/Grey.h"
#include "platform/PixelLayout.h"

namespace gw::codec {

bool ByteBuffer::Reserve(size_t count) {
    if (count <= capacity_) return true;
    size_t grown = capacity_ < 4096 ? 4096 : capacity_ * 2;
    if (grown < count) grown = count;
    auto* bigger = static_cast<uint8_t*>(std::realloc(data_, grown));
    if (!bigger) {
        failed_ = true;
        return false;
    }
    data_ = bigger;
    capacity_ = grown;
    return true;
}

bool ByteBuffer::Append(const void* bytes, size_t count) {
    if (count == 0) return true;
    if (size_ + count < size_ || !Reserve(size_ + count)) {
        failed_ = true;
        return false;
    }
    std::memcpy(data_ + size_, bytes, count);
    size_ += count;
    return true;
}

bool ByteBuffer::Resize(size_t count) {
    if (count > size_) {
        if (!Reserve(count)) return false;
        std::memset(data_ + size_, 0, count - size_);
    }
    size_ = count;
    return true;
}

dv::Status NewBitmap(uint32_t width, uint32_t height, int32_t format, dv::Bitmap** out) {
    if (width == 0 || height == 0) return dv::GenericError;
    dv::Status status = dv::Ok;
    *out = dv::Bitmap::Create(width, height, format, &status);
    return *out ? dv::Ok : status;
}

void SetPaletteEntries(dv::Bitmap* bitmap, const uint32_t* entries, uint32_t count) {
    const uint32_t n = dv::PaletteEntryCount(bitmap->GetPixelFormat());
    std::vector<uint8_t> bytes(dv::PaletteBytes(n));
    auto* palette = reinterpret_cast<dv::ColorPalette*>(bytes.data());
    palette->Flags = 0;
    palette->Count = n;
    for (uint32_t i = 0; i < n; ++i) palette->Entries[i] = i < count ? entries[i] : 0xFF000000u;
    bitmap->SetPalette(palette);
}

std::vector<uint32_t> PaletteOf(const dv::Bitmap* bitmap) {
    const uint32_t size = bitmap->GetPaletteSize();
    if (size <= dv::PaletteBytes(0)) return {};
    std::vector<uint8_t> bytes(size);
    auto* palette = reinterpret_cast<dv::ColorPalette*>(bytes.data());
    if (bitmap->GetPalette(palette, size) != dv::Ok) return {};
    return std::vector<uint32_t>(palette->Entries, palette->Entries + palette->Count);
}

void SetResolutionIfValid(dv::Bitmap* bitmap, double dpiX, double dpiY) {
    if (!(dpiX > 0 && dpiY > 0 && std::isfinite(dpiX) && std::isfinite(dpiY))) return;
    if (dpiX > 1e6 || dpiY > 1e6) return;
    bitmap->SetResolution(float(dpiX), float(dpiY));
}

bool IsGreyRamp(const std::vector<uint32_t>& palette) {
    if (palette.size() != 256) return false;
    for (uint32_t i = 0; i < 256; ++i) {
        if ((palette[i] & 0xFFFFFFu) != (i << 16 | i << 8 | i)) return false;
    }
    return true;
}

bool IsNeutral(const std::vector<uint32_t>& palette) {
    for (uint32_t c : palette) {
        const uint32_t b = c & 0xFF;
        if (((c >> 8) & 0xFF) != b || ((c >> 16) & 0xFF) != b) return false;
    }
    return true;
}

uint32_t EntryOverWhite(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    return 0xFF000000u | uint32_t(OverWhite(r, a)) << 16 | uint32_t(OverWhite(g, a)) << 8 |
           OverWhite(b, a);
}

void RowToBgr(const dv::Bitmap* bitmap, const std::vector<uint32_t>& palette, uint32_t y,
              uint8_t* out) {
    const uint32_t width = bitmap->GetWidth();
    const uint8_t* row = bitmap->Pixels() + size_t{y} * bitmap->GetStride();
    const int32_t format = bitmap->GetPixelFormat();
    if (format == dv::PixelFormat24bppRGB) {
        std::memcpy(out, row, size_t{width} * 3);
        return;
    }
    for (uint32_t x = 0; x < width; ++x) {
        const uint32_t index = format == dv::PixelFormat1bppIndexed ? GetBit(row, x) : row[x];
        const uint32_t c = index < palette.size() ? palette[index] : 0;
        out[3 * x] = uint8_t(c);
        out[3 * x + 1] = uint8_t(c >> 8);
        out[3 * x + 2] = uint8_t(c >> 16);
    }
}

void RowToBytes(const dv::Bitmap* bitmap, const std::vector<uint32_t>& palette, uint32_t y,
                bool grey, uint8_t* out) {
    const uint32_t width = bitmap->GetWidth();
    const uint8_t* row = bitmap->Pixels() + size_t{y} * bitmap->GetStride();
    const bool bits = bitmap->GetPixelFormat() == dv::PixelFormat1bppIndexed;
    for (uint32_t x = 0; x < width; ++x) {
        const uint32_t index = bits ? GetBit(row, x) : row[x];
        if (!grey) {
            out[x] = uint8_t(index);
        } else {
            out[x] = index < palette.size() ? uint8_t(palette[index]) : 0;
        }
    }
}

namespace {

// The fixed palette: a 6x6x6 cube (levels 0, 51, ..., 255) and 40 greys.
struct FixedTable {
    uint32_t entries[256];
    uint8_t greyIndex[256];  // nearest of all 46 greys of the palette, by level
    constexpr FixedTable() : entries(), greyIndex() {
        for (uint32_t i = 0; i < 216; ++i) {
            const uint32_t r = (i / 36) * 51, g = (i / 6 % 6) * 51, b = (i % 6) * 51;
            entries[i] = 0xFF000000u | r << 16 | g << 8 | b;
        }
        // 40 greys spread evenly between black and white.
        for (uint32_t i = 1; i <= 40; ++i) {
            const uint32_t v = (i * 255 + 20) / 41;
            entries[215 + i] = 0xFF000000u | v << 16 | v << 8 | v;
        }
        for (uint32_t v = 0; v < 256; ++v) {
            uint32_t best = 0, bestDistance = 1000;
            for (uint32_t i = 0; i < 256; ++i) {
                const uint32_t c = entries[i];
                if (((c >> 16) & 0xFF) != (c & 0xFF) || ((c >> 8) & 0xFF) != (c & 0xFF)) continue;
                const uint32_t level = c & 0xFF;
                const uint32_t d = level > v ? level - v : v - level;
                if (d < bestDistance) bestDistance = d, best = i;
            }
            greyIndex[v] = uint8_t(best);
        }
    }
};
constexpr FixedTable kFixed;
static_assert((kFixed.entries[215] & 0xFFFFFF) == 0xFFFFFF);
static_assert((kFixed.entries[255] & 0xFF000000u) == 0xFF000000u);

uint32_t Distance(uint32_t c, uint8_t r, uint8_t g, uint8_t b) {
    const int dr = int((c >> 16) & 0xFF) - r, dg = int((c >> 8) & 0xFF) - g, db = int(c & 0xFF) - b;
    return uint32_t(dr * dr + dg * dg + db * db);
}

// The 16 colours of the classic 4-bit palette.
constexpr uint32_t kPalette16[16] = {
    0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080, 0xFF008080, 0xFF808080,
    0xFFC0C0C0, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00, 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF,
};

}  // namespace

uint8_t FixedPaletteIndex(uint8_t r, uint8_t g, uint8_t b) {
    const uint32_t cube =
        uint32_t((r + 25) / 51) * 36 + uint32_t((g + 25) / 51) * 6 + (b + 25) / 51;
    const uint8_t grey = kFixed.greyIndex[GreyLevel(0xFF000000u | r << 16 | g << 8 | b) & 0xFF];
    return Distance(kFixed.entries[grey], r, g, b) < Distance(kFixed.entries[cube], r, g, b)
               ? grey
               : uint8_t(cube);
}

const uint32_t* FixedPalette() {
    return kFixed.entries;
}

IndexedImage ToIndexed(const dv::Bitmap* bitmap, uint32_t maxColours) {
    const uint32_t width = bitmap->GetWidth(), height = bitmap->GetHeight();
    const std::vector<uint32_t> source = PaletteOf(bitmap);
    IndexedImage result;
    result.indexes.resize(size_t{width} * height);
    std::vector<uint8_t> bgr(size_t{width} * 3);
    // First pass: collect distinct colours while they fit.
    std::vector<uint32_t> colours;
    bool fits = true;
    for (uint32_t y = 0; y < height && fits; ++y) {
        RowToBgr(bitmap, source, y, bgr.data());
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t c = 0xFF000000u | uint32_t(bgr[3 * x + 2]) << 16 |
                               uint32_t(bgr[3 * x + 1]) << 8 | bgr[3 * x];
            uint32_t i = 0;
            while (i < colours.size() && colours[i] != c) ++i;
            if (i == colours.size()) {
                if (colours.size() == maxColours) {
                    fits = false;
                    break;
                }
                colours.push_back(c);
            }
            result.indexes[size_t{y} * width + x] = uint8_t(i);
        }
    }
    if (fits) {
        result.palette = std::move(colours);
        return result;
    }
    if (maxColours >= 256) {
        result.palette.assign(kFixed.entries, kFixed.entries + 256);
    } else {
        result.palette.assign(kPalette16, kPalette16 + 16);
    }
    for (uint32_t y = 0; y < height; ++y) {
        RowToBgr(bitmap, source, y, bgr.data());
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t r = bgr[3 * x + 2], g = bgr[3 * x + 1], b = bgr[3 * x];
            uint8_t index = 0;
            if (maxColours >= 256) {
                index = FixedPaletteIndex(r, g, b);
            } else {
                uint32_t best = ~0u;
                for (uint32_t i = 0; i < 16; ++i) {
                    const uint32_t d = Distance(kPalette16[i], r, g, b);
                    if (d < best) best = d, index = uint8_t(i);
                }
            }
            result.indexes[size_t{y} * width + x] = index;
        }
    }
    return result;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    const long length = ok ? std::ftell(f) : -1;
    ok = ok && length >= 0 && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        out.resize(size_t(length));
        ok = length == 0 || std::fread(out.data(), 1, out.size(), f) == out.size();
    }
    std::fclose(f);
    return ok;
}

bool WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
    const bool closed = std::fclose(f) == 0;
    return written && closed;
}

bool NarrowPath(const wchar_t* path, std::string& out) {
    if (!path) return false;
    const size_t length = std::wcstombs(nullptr, path, 0);
    if (length == static_cast<size_t>(-1)) return false;
    out.assign(length + 1, '\0');
    std::wcstombs(out.data(), path, length + 1);
    out.resize(length);
    return true;
}

}  // namespace gw::codec
