// Helpers shared by the library-level fuzz targets: a reader that takes
// numbers from the front of the fuzzed bytes (zeros once they run out, so
// every input means something), and a small image built from them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "DVImageProcessor.h"

namespace fuzz {

class Input {
  public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    // Little-endian; each byte in its own statement, so that the order in
    // which they are read does not depend on the compiler.
    uint16_t U16() {
        const uint16_t low = Byte();
        return uint16_t(low | Byte() << 8);
    }
    uint32_t U32() {
        const uint32_t low = U16();
        return low | uint32_t(U16()) << 16;
    }
    int32_t I32() { return int32_t(U32()); }
    /// A value in [low, high], from one or two bytes.
    int32_t Range(int32_t low, int32_t high) {
        const uint32_t span = uint32_t(high - low) + 1;
        const uint32_t raw = span > 256 ? U16() : Byte();
        return low + int32_t(raw % span);
    }
    /// Mostly a small value in [low, high]; one time in eight any 32-bit
    /// value, so that the edges of the integer range are tried too.
    int32_t Loose(int32_t low, int32_t high) {
        return (Byte() & 7) == 7 ? I32() : Range(low, high);
    }
    /// The next count bytes (zeros past the end).
    std::vector<uint8_t> Bytes(size_t count) {
        std::vector<uint8_t> out(count, 0);
        const size_t n = std::min(count, Left());
        if (n != 0) std::memcpy(out.data(), data_ + pos_, n);
        pos_ += n;
        return out;
    }
    size_t Left() const { return size_ - pos_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

/// Creates a width x height image of format and fills its rows, padding
/// included, from the input. Returns false when the image cannot be made.
inline bool FillImage(DVImageProcessor& image, Input& in, uint32_t width, uint32_t height,
                      int32_t format) {
    if (image.Create(width, height, format) != 0 || image.GetBitmap() == nullptr) return false;
    if (format != dv::PixelFormat24bppRGB) image.SetDefaultPalette();
    const uint32_t stride = image.GetStride();
    for (uint32_t y = 0; y < height; ++y) {
        const std::vector<uint8_t> row = in.Bytes(stride);
        image.SetBytes(y, 0, row.data(), stride);
    }
    return true;
}

/// One of the three pixel formats, from two bits.
inline int32_t Format(uint8_t code) {
    switch (code & 3) {
        case 0:
            return dv::PixelFormat1bppIndexed;
        case 1:
            return dv::PixelFormat24bppRGB;
        default:
            return dv::PixelFormat8bppIndexed;
    }
}

}  // namespace fuzz
