// TIFF files and Exif metadata as a private module (see PrivateModule.h):
// libtiff and Exiv2, with the libraries they bring (WebP, Zstandard, LZMA,
// LERC, JBIG, Expat), are loaded only when a TIFF file or an image's metadata
// is read or written.
#pragma once

#include "codecs/CodecSupport.h"
#include "codecs/ExifProperties.h"

namespace gw::lazy {

/// The module's file name.
inline constexpr const char* kTiffModuleName = "libglyphwick-tiff.so";

/// The one symbol the module exports: a function returning its table.
inline constexpr const char* kTiffTableSymbol = "gw_tiff_module_table";

/// The revision of TiffTable; a module of another revision is refused.
inline constexpr int kTiffTableRevision = 1;

/// The functions of codecs/TiffCodec.cpp and codecs/ExifProperties.cpp, as
/// the module implements them.
struct TiffTable {
    int revision;
    dv::Status (*decodeTiff)(const uint8_t* data, size_t size, dv::Bitmap** out);
    dv::Status (*decodeTiffPage)(const uint8_t* data, size_t size, uint32_t page, dv::Bitmap** out);
    uint32_t (*tiffPageCount)(const uint8_t* data, size_t size);
    dv::Status (*encodeTiff)(const dv::Bitmap* bitmap, const codec::EncodeSettings& settings,
                             codec::ByteBuffer& out);
    void (*readExifProperties)(const uint8_t* data, size_t size, dv::Bitmap* bitmap);
    void (*readTiffProperties)(const uint8_t* data, size_t size, dv::Bitmap* bitmap);
    dv::Status (*buildExifBlock)(const dv::Bitmap* bitmap, std::vector<uint8_t>& block);
    dv::Status (*writeTiffProperties)(const dv::Bitmap* bitmap, codec::ByteBuffer& tiff);
};

}  // namespace gw::lazy
