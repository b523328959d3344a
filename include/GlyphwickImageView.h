// A view over pixels the caller owns, read in place by the whole-image
// readers (ReadMrz, ReadBarcodes, ReadLines) without a copy into an image
// object: a camera frame, an OpenCV Mat, a NumPy array.
#ifndef GLYPHWICK_GLYPHWICKIMAGEVIEW_H
#define GLYPHWICK_GLYPHWICKIMAGEVIEW_H

#include <cstddef>
#include <cstdint>

namespace gw {

/// The layout of one pixel of an ImageView.
enum class PixelFormat {
    Grey8,   ///< one byte, 0 black
    RGB24,   ///< red, green, blue
    BGR24,   ///< blue, green, red (OpenCV's order)
    RGBA32,  ///< red, green, blue, alpha (alpha is laid over white)
    BGRA32,  ///< blue, green, red, alpha (alpha is laid over white)
};

/// Bytes of one pixel of format.
constexpr int BytesPerPixel(PixelFormat format) {
    switch (format) {
        case PixelFormat::Grey8:
            return 1;
        case PixelFormat::RGB24:
        case PixelFormat::BGR24:
            return 3;
        case PixelFormat::RGBA32:
        case PixelFormat::BGRA32:
            return 4;
    }
    return 0;
}

/// Pixels held by the caller: row y starts at data + y * stride. The view
/// owns nothing; the pixels must stay unchanged while a reader runs.
struct ImageView {
    const uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    /// Bytes from one row to the next (may be negative for bottom-up
    /// rasters); 0 means width * BytesPerPixel(format).
    ptrdiff_t stride = 0;
    PixelFormat format = PixelFormat::Grey8;

    ImageView() = default;
    ImageView(const uint8_t* data, int width, int height, PixelFormat format, ptrdiff_t stride = 0)
        : data(data),
          width(width),
          height(height),
          stride(stride != 0 ? stride : ptrdiff_t{width} * BytesPerPixel(format)),
          format(format) {}

    /// True when the view has pixels to read.
    bool valid() const { return data != nullptr && width > 0 && height > 0; }
};

}  // namespace gw

#endif  // GLYPHWICK_GLYPHWICKIMAGEVIEW_H
