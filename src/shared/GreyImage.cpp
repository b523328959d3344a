// Grey levels of an image object through its palette or its colour weights.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "DVImageProcessor.h"
#include "GlyphwickGrey.h"
#include "image/Grey.h"

namespace gw {
namespace {

// The grey of every palette index, alpha laid over white where the palette
// carries alpha at all.
uint32_t Lightest(uint8_t r, uint8_t g, uint8_t b) {
    return std::max(r, std::max(g, b));
}

std::array<uint8_t, 256> PaletteGrey(const dv::Bitmap& bitmap, GreyMode mode) {
    std::array<uint8_t, 256> grey{};
    for (int i = 0; i < 256; ++i) grey[size_t(i)] = uint8_t(i);  // no palette: the plain ramp
    const uint32_t bytes = bitmap.GetPaletteSize();
    if (bytes < dv::PaletteBytes(1)) return grey;
    auto storage = std::make_unique<uint32_t[]>((bytes + 3) / 4);
    auto* palette = reinterpret_cast<dv::ColorPalette*>(storage.get());
    if (bitmap.GetPalette(palette, bytes) != dv::Ok) return grey;
    const uint32_t count = palette->Count < 256 ? palette->Count : 256;
    const uint32_t* entries = palette->Entries;
    bool anyAlpha = false;
    for (uint32_t i = 0; i < count; ++i) anyAlpha |= (entries[i] >> 24) != 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t e = entries[i];
        const uint32_t level = mode == GreyMode::Lightest
                                   ? Lightest(uint8_t(e >> 16), uint8_t(e >> 8), uint8_t(e))
                                   : GreyLevel(e) & 0xFF;
        const uint32_t alpha = anyAlpha ? entries[i] >> 24 : 255;
        grey[i] = uint8_t((level * alpha + 255 * (255 - alpha) + 127) / 255);
    }
    return grey;
}

}  // namespace

GreyImage ToGrey(const DVImageProcessor& image, GreyMode mode) {
    GreyImage out;
    const dv::Bitmap* bitmap = image.GetBitmap();
    if (bitmap == nullptr) return out;
    const uint32_t width = bitmap->GetWidth();
    const uint32_t height = bitmap->GetHeight();
    const int32_t format = bitmap->GetPixelFormat();
    const uint32_t bits = dv::BitsPerPixel(format);
    if (width == 0 || height == 0 || (bits != 1 && bits != 8 && bits != 24)) return out;
    out.width = width;
    out.height = height;
    out.pixels.resize(size_t(width) * height);
    const uint8_t* rows = bitmap->Pixels();
    const uint32_t stride = bitmap->GetStride();
    const std::array<uint8_t, 256> grey =
        bits == 24 ? std::array<uint8_t, 256>{} : PaletteGrey(*bitmap, mode);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = rows + size_t(y) * stride;
        uint8_t* dst = out.pixels.data() + size_t(y) * width;
        if (bits == 8) {
            for (uint32_t x = 0; x < width; ++x) dst[x] = grey[row[x]];
        } else if (bits == 1) {
            for (uint32_t x = 0; x < width; ++x) dst[x] = grey[(row[x >> 3] >> (7 - (x & 7))) & 1];
        } else if (mode == GreyMode::Lightest) {
            LightestOfThree(row, dst, width);
        } else {
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t* p = row + size_t(x) * 3;  // blue, green, red
                dst[x] = uint8_t(
                    GreyLevelWeighted(p[2], p[1], p[0], kWeightRed, kWeightGreen, kWeightBlue));
            }
        }
    }
    return out;
}

}  // namespace gw
