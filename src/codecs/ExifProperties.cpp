// Metadata properties through Exiv2.
#include "codecs/ExifProperties.h"

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace gw::codec {
namespace {

// Tags that describe the layout of the image data; they are the codec's
// business, never properties.
constexpr uint16_t kLayoutTags[] = {
    0x00FE, 0x00FF, 0x0100, 0x0101, 0x0102, 0x0103, 0x0106, 0x0107, 0x0108, 0x0109, 0x010A,
    0x0111, 0x0115, 0x0116, 0x0117, 0x0118, 0x0119, 0x011C, 0x0122, 0x0123, 0x0124, 0x0125,
    0x0129, 0x013D, 0x0140, 0x0141, 0x0142, 0x0143, 0x0144, 0x0145, 0x014A, 0x0152, 0x0153,
    0x0154, 0x0155, 0x0156, 0x015B, 0x0200, 0x0201, 0x0202, 0x0203, 0x0205, 0x0206, 0x0207,
    0x0208, 0x0209, 0x0211, 0x0212, 0x0213, 0x0214, 0x8769, 0x8825, 0xA005,
};
// Resolution tags: in a TIFF file they are the bitmap's resolution.
constexpr uint16_t kResolutionTags[] = {0x011A, 0x011B, 0x0128};

template <size_t N>
constexpr bool Sorted(const uint16_t (&tags)[N]) {
    for (size_t i = 1; i < N; ++i) {
        if (tags[i - 1] >= tags[i]) return false;
    }
    return true;
}
static_assert(Sorted(kLayoutTags) && Sorted(kResolutionTags), "binary search needs order");

template <size_t N>
bool Contains(const uint16_t (&tags)[N], uint32_t tag) {
    return std::binary_search(tags, tags + N, uint16_t(tag)) && tag <= 0xFFFF;
}

// Exiv2 reports through a global log; the library prints nothing.
void Silence() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::LogMsg::setHandler(nullptr);
    });
}

bool IsPhotoTag(uint16_t tag) {
    static const std::set<uint16_t> photo = [] {
        std::set<uint16_t> tags;
        for (const Exiv2::TagInfo* t = Exiv2::ExifTags::tagList("Photo"); t && t->tag_ != 0xFFFF;
             ++t) {
            tags.insert(t->tag_);
        }
        return tags;
    }();
    return photo.count(tag) != 0;
}

const char* GroupOf(uint32_t id) {
    if (id < 0xFE) return "GPSInfo";
    return IsPhotoTag(uint16_t(id)) ? "Photo" : "Image";
}

bool Wanted(const Exiv2::Exifdatum& d, bool tiffFile) {
    const std::string group = d.groupName();
    if (group != "Image" && group != "Photo" && group != "GPSInfo") return false;
    if (group == "GPSInfo" && d.tag() >= 0xFE) return false;
    if (group == "Image" && d.tag() < 0xFE) return false;  // would read as a GPS id
    if (Contains(kLayoutTags, d.tag())) return false;
    if (tiffFile && Contains(kResolutionTags, d.tag())) return false;
    return d.typeId() >= Exiv2::unsignedByte && d.typeId() <= Exiv2::tiffDouble;
}

void AddProperties(const Exiv2::ExifData& exif, bool tiffFile, dv::Bitmap* bitmap) {
    std::vector<uint8_t> bytes;
    for (const Exiv2::Exifdatum& d : exif) {
        if (!Wanted(d, tiffFile)) continue;
        bytes.assign(size_t(d.size()), 0);
        if (d.size() > 0) d.copy(bytes.data(), Exiv2::littleEndian);
        dv::PropertyItem item{d.tag(), uint32_t(bytes.size()), uint16_t(d.typeId()), bytes.data()};
        bitmap->SetPropertyItem(&item);
    }
}

// Puts the bitmap's properties into exif (replacing tags of the same key).
// Returns the number of properties written.
size_t FillExif(const dv::Bitmap* bitmap, bool tiffFile, Exiv2::ExifData& exif) {
    uint32_t total = 0, count = 0;
    if (bitmap->GetPropertySize(&total, &count) != dv::Ok || count == 0) return 0;
    std::vector<uint8_t> storage(total);
    auto* items = reinterpret_cast<dv::PropertyItem*>(storage.data());
    if (bitmap->GetAllPropertyItems(total, count, items) != dv::Ok) return 0;
    size_t written = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const dv::PropertyItem& item = items[i];
        if (item.id > 0xFFFF || item.type < 1 || item.type > 12) continue;
        if (Contains(kLayoutTags, item.id)) continue;
        if (tiffFile && Contains(kResolutionTags, item.id)) continue;
        const uint32_t unit = uint32_t(Exiv2::TypeInfo::typeSize(Exiv2::TypeId(item.type)));
        if (unit == 0 || item.length == 0 || item.length % unit != 0) continue;
        const auto value = Exiv2::Value::create(Exiv2::TypeId(item.type));
        value->read(static_cast<const Exiv2::byte*>(item.value), long(item.length),
                    Exiv2::littleEndian);
        const Exiv2::ExifKey key(uint16_t(item.id), GroupOf(item.id));
        auto old = exif.findKey(key);
        if (old != exif.end()) exif.erase(old);
        exif.add(key, value.get());
        ++written;
    }
    return written;
}

}  // namespace

void ReadExifProperties(const uint8_t* data, size_t size, dv::Bitmap* bitmap) {
    if (!data || size < 8 || size > UINT32_MAX) return;
    Silence();
    try {
        Exiv2::ExifData exif;
        Exiv2::ExifParser::decode(exif, data, uint32_t(size));
        AddProperties(exif, false, bitmap);
    } catch (const Exiv2::AnyError&) {
        // Unreadable metadata leaves the image without properties.
    }
}

void ReadTiffProperties(const uint8_t* data, size_t size, dv::Bitmap* bitmap) {
    if (!data || size < 8 || size > UINT32_MAX) return;
    Silence();
    try {
        Exiv2::ExifData exif;
        Exiv2::IptcData iptc;
        Exiv2::XmpData xmp;
        Exiv2::TiffParser::decode(exif, iptc, xmp, data, uint32_t(size));
        AddProperties(exif, true, bitmap);
    } catch (const Exiv2::AnyError&) {
    }
}

Status BuildExifBlock(const dv::Bitmap* bitmap, std::vector<uint8_t>& block) {
    block.clear();
    Silence();
    try {
        Exiv2::ExifData exif;
        if (FillExif(bitmap, false, exif) == 0) return dv::Ok;
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
        block.assign(blob.begin(), blob.end());
        return dv::Ok;
    } catch (const Exiv2::AnyError&) {
        return dv::PropertyNotSupported;
    }
}

Status WriteTiffProperties(const dv::Bitmap* bitmap, ByteBuffer& tiff) {
    Silence();
    try {
        Exiv2::ExifData exif;
        Exiv2::IptcData iptc;
        Exiv2::XmpData xmp;
        Exiv2::TiffParser::decode(exif, iptc, xmp, tiff.Data(), uint32_t(tiff.Size()));
        if (FillExif(bitmap, true, exif) == 0) return dv::Ok;
        Exiv2::MemIo io;
        const Exiv2::WriteMethod method = Exiv2::TiffParser::encode(
            io, tiff.Data(), uint32_t(tiff.Size()), Exiv2::littleEndian, exif, iptc, xmp);
        if (method == Exiv2::wmIntrusive && io.size() > 0) {
            tiff.Clear();
            if (!tiff.Append(io.mmap(), size_t(io.size()))) return dv::OutOfMemory;
            io.munmap();
        }
        return dv::Ok;
    } catch (const Exiv2::AnyError&) {
        return dv::PropertyNotSupported;
    }
}

}  // namespace gw::codec
