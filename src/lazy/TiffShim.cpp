// The shared library's TIFF codec and Exif metadata: each function opens the
// private module (TiffModule.h) once and calls its implementation there. When
// the module cannot be loaded, a TIFF file cannot be decoded or written
// (Win32Error, as for any outside library that fails to load) and metadata is
// left out, as for metadata that cannot be parsed.
#include "lazy/PrivateModule.h"
#include "lazy/TiffModule.h"

namespace gw::codec {
namespace {

const lazy::TiffTable* Table() {
    static const lazy::OpenedTable opened = lazy::OpenModuleTable(
        lazy::kTiffModuleName, lazy::kTiffTableSymbol, lazy::kTiffTableRevision);
    return static_cast<const lazy::TiffTable*>(opened.table);
}

}  // namespace

Status DecodeTiff(const uint8_t* data, size_t size, dv::Bitmap** out) {
    const lazy::TiffTable* t = Table();
    return t ? t->decodeTiff(data, size, out) : dv::Win32Error;
}

Status DecodeTiffPage(const uint8_t* data, size_t size, uint32_t page, dv::Bitmap** out) {
    const lazy::TiffTable* t = Table();
    return t ? t->decodeTiffPage(data, size, page, out) : dv::Win32Error;
}

uint32_t TiffPageCount(const uint8_t* data, size_t size) {
    const lazy::TiffTable* t = Table();
    return t ? t->tiffPageCount(data, size) : 0;
}

Status EncodeTiff(const dv::Bitmap* bitmap, const EncodeSettings& settings, ByteBuffer& out) {
    const lazy::TiffTable* t = Table();
    return t ? t->encodeTiff(bitmap, settings, out) : dv::Win32Error;
}

void ReadExifProperties(const uint8_t* data, size_t size, dv::Bitmap* bitmap) {
    if (const lazy::TiffTable* t = Table()) t->readExifProperties(data, size, bitmap);
}

void ReadTiffProperties(const uint8_t* data, size_t size, dv::Bitmap* bitmap) {
    if (const lazy::TiffTable* t = Table()) t->readTiffProperties(data, size, bitmap);
}

Status BuildExifBlock(const dv::Bitmap* bitmap, std::vector<uint8_t>& block) {
    block.clear();
    const lazy::TiffTable* t = Table();
    return t ? t->buildExifBlock(bitmap, block) : dv::PropertyNotSupported;
}

Status WriteTiffProperties(const dv::Bitmap* bitmap, ByteBuffer& tiff) {
    const lazy::TiffTable* t = Table();
    return t ? t->writeTiffProperties(bitmap, tiff) : dv::PropertyNotSupported;
}

}  // namespace gw::codec
