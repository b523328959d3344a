// JPEG 2000 (codestream or JP2 file) to BMP file conversion over OpenJPEG.
//
// One component or two (grey and alpha) give an 8-bit grey BMP with the grey
// ramp as its palette; three or more give a 24-bit BMP from the first three
// (sYCC converted to RGB). Samples of any precision are scaled to 8 bits and
// components sampled more coarsely than the first are repeated. Nothing here
// prints, throws or reads outside the data it is given.
#pragma once

#include <cstddef>
#include <cstdint>

#include "DVImageCodecs.h"  // dv::kMaxImagePixels

namespace gw::j2k {

/// Shape of the BMP file that a conversion produces.
struct BmpLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitsPerPixel = 0;  ///< 8 (grey) or 24
    uint32_t stride = 0;        ///< row length, padded to 4 bytes
    uint32_t pixelOffset = 0;   ///< headers and palette
    uint32_t fileSize = 0;
};

/// Reads the headers of a J2K codestream or JP2 file (size bytes) and fills
/// *layout with the BMP file its conversion would produce. False for null
/// arguments, data of neither kind, headers OpenJPEG refuses, or an image of
/// no pixels or more than dv::kMaxImagePixels, or whose sizes the
/// data cannot hold (see SizesFitData).
bool ReadLayout(const uint8_t* data, size_t size, BmpLayout* layout);

/// Decodes the data and writes the complete BMP file into out, which must hold
/// at least the file's length (bytes past it are left alone); *written (when
/// given) gets that length. False, with out's content unspecified, for
/// anything ReadLayout refuses, data that fail to decode, or a short buffer.
bool ConvertToBmp(const uint8_t* data, size_t size, uint8_t* out, size_t outSize,
                  uint32_t* written);

}  // namespace gw::j2k
