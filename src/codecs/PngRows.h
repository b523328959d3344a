// The image data of a plain PNG file inflated at once by libdeflate and its
// rows unfiltered here: for the loader, about three times as fast as zlib's
// inflate through libpng on a camera-sized picture. Anything out of the
// ordinary is left to libpng.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/PixelMemory.h"

namespace gw::codec {

/// The rows of a PNG picture's image data, unfiltered: row y's width *
/// channels samples start at Row(y).
struct PngRows {
    PixelMemory bytes;       ///< each row after its filter byte
    size_t stride = 0;       ///< 1 + width * channels
    bool exifAfter = false;  ///< an eXIf chunk follows the image data
    const uint8_t* Row(uint32_t y) const { return bytes.get() + size_t(y) * stride + 1; }
};

/// Inflates and unfilters the image data of the PNG file data[0, size), a
/// picture of width x height pixels of channels (1 to 4) 8-bit samples, not
/// interlaced, into rows. Returns false, having decided nothing, when the
/// file is not exactly that plain: a chunk's CRC fails, the IDAT chunks are
/// not one run, the deflate data is damaged or inflates to another length or
/// has bytes after its end, a row's filter is unknown, a critical chunk other
/// than IEND follows the image data, or the rows would take more than
/// kMaxPngRowsBytes. The caller then decodes the file with libpng, which
/// says what is wrong. The ancillary chunks after the image data are not
/// read (an eXIf among them is noted).
bool InflatePngRows(const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                    uint32_t channels, PngRows& rows);

/// Largest unfiltered image data (bytes) inflated at once: larger pictures
/// stream through libpng, which holds a row at a time.
inline constexpr size_t kMaxPngRowsBytes = size_t{512} << 20;

/// Unfilters one row of bytes samples in place (filter 0 to 4 of the PNG
/// format; pixels of pixelBytes, 1 to 4), given the row above already
/// unfiltered (zeros above the first). Returns false for another filter.
bool UnfilterPngRow(uint8_t filter, uint8_t* row, const uint8_t* above, size_t bytes,
                    uint32_t pixelBytes);

/// Copies pixels of red, green and blue samples as blue, green and red (the
/// library's order).
void CopyRgbAsBgr(const uint8_t* rgb, uint8_t* bgr, size_t pixels);

}  // namespace gw::codec
