// Metadata properties of a bitmap read from and written to Exif data through
// Exiv2. A property's id is its tag number (IFD0, Exif and GPS tags share one
// space, GPS tags below 0x100), its type the tag's field type and its value
// the field's bytes in little-endian order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/CodecSupport.h"

namespace gw::codec {

/// Adds the properties of an Exif block (a TIFF structure, as carried by a
/// JPEG APP1 segment after "Exif\0\0" or by a PNG eXIf chunk). Data Exiv2
/// cannot parse adds nothing.
void ReadExifProperties(const uint8_t* data, size_t size, dv::Bitmap* bitmap);

/// Adds the properties of a TIFF file (its first directory and the Exif and
/// GPS directories), leaving out the tags that describe the image's layout.
void ReadTiffProperties(const uint8_t* data, size_t size, dv::Bitmap* bitmap);

/// Builds an Exif block (little-endian TIFF structure) from the bitmap's
/// properties; the block stays empty when there is nothing to write.
Status BuildExifBlock(const dv::Bitmap* bitmap, std::vector<uint8_t>& block);

/// Adds the bitmap's properties to the TIFF file in tiff (rewriting it).
Status WriteTiffProperties(const dv::Bitmap* bitmap, ByteBuffer& tiff);

}  // namespace gw::codec
