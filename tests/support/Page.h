// A page image for the tests, drawn pixel by pixel, areas over it, and the
// fonts of the pattern store.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DVImageProcessor.h"
#include "Glyphwick.h"

namespace gwtest {

/// A 1- or 8-bit image with a copy of its bytes. Drawing writes the copy and
/// the image; Push writes the whole copy into the image, Pull reads the image
/// back after the library changed it.
struct Page {
    DVImageProcessor image;
    std::vector<uint8_t> bytes;
    uint32_t width;
    uint32_t height;
    uint32_t stride;
    bool bits;

    Page(uint32_t w, uint32_t h, bool oneBit = false) : width(w), height(h), bits(oneBit) {
        image.Create(w, h, oneBit ? dv::PixelFormat1bppIndexed : dv::PixelFormat8bppIndexed);
        stride = image.GetStride();
        bytes.assign(size_t{stride} * h, oneBit ? 0x00 : 0xFF);
        Push();
    }
    void Push() {
        for (uint32_t y = 0; y < height; ++y)
            image.SetBytes(y, 0, &bytes[size_t{y} * stride], stride);
    }
    void Pull() {
        for (uint32_t y = 0; y < height; ++y)
            image.GetBytes(y, 0, &bytes[size_t{y} * stride], stride);
    }
    /// Makes (x, y) ink: a set bit, or the byte value (0 by default).
    void Ink(int32_t x, int32_t y, uint8_t value = 0) { Write(x, y, true, value); }
    /// Makes (x, y) paper: a clear bit or 255.
    void Paper(int32_t x, int32_t y) { Write(x, y, false, 255); }
    void Set(int32_t x, int32_t y, bool ink) { Write(x, y, ink, ink ? 0 : 255); }
    void Block(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
        for (int32_t y = y0; y <= y1; ++y)
            for (int32_t x = x0; x <= x1; ++x) Ink(x, y);
    }
    /// Byte of an 8-bit page, or 1/0 for a set/clear bit of a 1-bit page.
    uint8_t At(int32_t x, int32_t y) const { return At(bytes, x, y); }
    /// The same in a saved copy of the bytes.
    uint8_t At(const std::vector<uint8_t>& copy, int32_t x, int32_t y) const {
        if (bits) return (copy[size_t(y) * stride + x / 8] >> (7 - x % 8)) & 1;
        return copy[size_t(y) * stride + x];
    }

  private:
    void Write(int32_t x, int32_t y, bool ink, uint8_t value) {
        if (x < 0 || y < 0 || uint32_t(x) >= width || uint32_t(y) >= height) return;
        const size_t at = size_t(y) * stride + (bits ? x / 8 : x);
        if (bits) {
            const auto mask = uint8_t(0x80u >> (x % 8));
            bytes[at] = ink ? uint8_t(bytes[at] | mask) : uint8_t(bytes[at] & ~mask);
        } else {
            bytes[at] = value;
        }
        image.SetBytes(uint32_t(y), uint32_t(at - size_t(y) * stride), &bytes[at], 1);
    }
};

/// Settings that keep every object and group nothing.
inline AREAPARAMS OpenParams() {
    AREAPARAMS p{};
    p.maxObjectWidth = 100000;
    p.maxObjectHeight = 100000;
    return p;
}

/// Makes an area over the whole page.
inline AREAINFO* AreaOver(Page& page, const AREAPARAMS& params = OpenParams()) {
    const RECT r = {0, 0, int32_t(page.width) - 1, int32_t(page.height) - 1};
    return GW_InitialiseArea(&page.image, &r, &params);
}

/// The names of the loaded fonts, in store order.
inline std::vector<std::string> FontNames() {
    int32_t count = 0;
    GW_GetFontList(nullptr, &count);
    std::vector<char*> names(static_cast<size_t>(count));
    GW_GetFontList(names.data(), &count);
    return std::vector<std::string>(names.begin(), names.end());
}

/// Destroys the current area when a test ends.
struct AreaScope {
    ~AreaScope() { GW_DestroyArea(); }
};

}  // namespace gwtest
