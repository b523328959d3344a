// Helpers that build images and reach their bytes for the conversion and tone
// tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "DVImageProcessor.h"

namespace convtest {

constexpr int32_t k1Bit = dv::PixelFormat1bppIndexed;
constexpr int32_t k8Bit = dv::PixelFormat8bppIndexed;
constexpr int32_t k24Bit = dv::PixelFormat24bppRGB;
using Bytes = std::vector<uint8_t>;
using Entries = std::vector<uint32_t>;

inline void Make(DVImageProcessor& image, uint32_t width, uint32_t height, int32_t format) {
    ASSERT_EQ(image.Create(width, height, format), 0u);
}

inline uint8_t* Row(DVImageProcessor& image, uint32_t y) {
    return image.GetBitmap()->Pixels() + size_t{y} * image.GetBitmap()->GetStride();
}

inline void Put24(DVImageProcessor& image, uint32_t x, uint32_t y, uint32_t rgb) {
    uint8_t* p = Row(image, y) + 3 * x;
    p[0] = uint8_t(rgb);
    p[1] = uint8_t(rgb >> 8);
    p[2] = uint8_t(rgb >> 16);
}

inline bool Bit(DVImageProcessor& image, uint32_t x, uint32_t y) {
    return (Row(image, y)[x >> 3] & (0x80u >> (x & 7))) != 0;
}

/// Every byte of the pixel buffer, row padding included.
inline Bytes AllBytes(DVImageProcessor& image) {
    const uint8_t* p = image.GetBitmap()->Pixels();
    return Bytes(p, p + size_t{image.GetBitmap()->GetStride()} * image.GetHeight());
}

/// The palette entries of the image's bitmap; *flags gets its flags.
inline Entries Palette(DVImageProcessor& image, uint32_t* flags = nullptr) {
    const dv::Bitmap* bitmap = image.GetBitmap();
    Entries words(bitmap->GetPaletteSize() / 4 + 1);
    auto* palette = reinterpret_cast<dv::ColorPalette*>(words.data());
    EXPECT_EQ(bitmap->GetPalette(palette, bitmap->GetPaletteSize()), dv::Ok);
    if (flags) *flags = palette->Flags;
    return Entries(words.begin() + 2, words.begin() + 2 + palette->Count);
}

/// 256 entries with red = (reversed ? 255 - i : i); green and blue equal to
/// red for a grey palette, else 255 - i and 7.
inline Entries Ramp(bool reversed, bool grey = true) {
    Entries entries(256);
    for (uint32_t i = 0; i < 256; ++i) {
        const uint32_t v = reversed ? 255 - i : i;
        entries[i] = 0xFF000000u | (v << 16) | (grey ? v * 0x0101u : ((255 - i) << 8) | 7);
    }
    return entries;
}

inline const Entries kBlackWhite = {0xFF000000u, 0xFFFFFFFFu};
inline const Entries kWhiteBlack = {0xFFFFFFFFu, 0xFF000000u};

}  // namespace convtest
