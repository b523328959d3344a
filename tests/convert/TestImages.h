// Small helpers that build images and reach their bytes for the conversion
// and tone tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "DVImageProcessor.h"

namespace convtest {

constexpr int32_t k1Bit = dv::PixelFormat1bppIndexed;
constexpr int32_t k8Bit = dv::PixelFormat8bppIndexed;
constexpr int32_t k24Bit = dv::PixelFormat24bppRGB;

inline void Make(DVImageProcessor& image, uint32_t width, uint32_t height, int32_t format) {
    ASSERT_EQ(image.Create(width, height, format), 0u);
}

inline uint8_t* Row(DVImageProcessor& image, uint32_t y) {
    return image.GetBitmap()->Pixels() + size_t{y} * image.GetBitmap()->GetStride();
}

inline void Put24(DVImageProcessor& image, uint32_t x, uint32_t y, uint8_t r, uint8_t g,
                  uint8_t b) {
    uint8_t* p = Row(image, y) + 3 * x;
    p[0] = b;
    p[1] = g;
    p[2] = r;
}

inline bool Bit(DVImageProcessor& image, uint32_t x, uint32_t y) {
    return (Row(image, y)[x >> 3] & (0x80u >> (x & 7))) != 0;
}

inline void PutBit(DVImageProcessor& image, uint32_t x, uint32_t y, bool on) {
    uint8_t& b = Row(image, y)[x >> 3];
    b = on ? uint8_t(b | (0x80u >> (x & 7))) : uint8_t(b & ~(0x80u >> (x & 7)));
}

/// The palette entries of the image's bitmap; *flags gets its flags.
inline std::vector<uint32_t> Palette(DVImageProcessor& image, uint32_t* flags = nullptr) {
    const dv::Bitmap* bitmap = image.GetBitmap();
    std::vector<uint32_t> words(bitmap->GetPaletteSize() / 4 + 1);
    auto* palette = reinterpret_cast<dv::ColorPalette*>(words.data());
    EXPECT_EQ(bitmap->GetPalette(palette, bitmap->GetPaletteSize()), dv::Ok);
    if (flags) *flags = palette->Flags;
    return std::vector<uint32_t>(words.begin() + 2, words.begin() + 2 + palette->Count);
}

/// Every byte of the pixel buffer, row padding included.
inline std::vector<uint8_t> AllBytes(DVImageProcessor& image) {
    const uint8_t* p = image.GetBitmap()->Pixels();
    return std::vector<uint8_t>(p, p + size_t{image.GetBitmap()->GetStride()} * image.GetHeight());
}

inline std::vector<uint32_t> ColourRamp() {
    std::vector<uint32_t> entries(256);
    for (uint32_t i = 0; i < 256; ++i) entries[i] = 0xFF000000u | (i << 16) | ((255 - i) << 8) | 7;
    return entries;
}

}  // namespace convtest
