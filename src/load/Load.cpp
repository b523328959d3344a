// The loader of any supported image file: the format by its real signature,
// the decoder for it, the page of a TIFF file, the Exif orientation, and a
// reason in words for every failure.
#include "GlyphwickLoad.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

#include "DVImageProcessor.h"
#include "codecs/CodecSupport.h"

namespace gw {
namespace {

constexpr uint32_t kOrientationTag = 0x0112;

// A signature: the bytes at an offset that name a format.
struct Signature {
    const char* format;
    uint32_t offset;
    std::string_view bytes;
};

// Supported formats first; the others only name what the user has.
constexpr Signature kSupported[] = {
    {"BMP", 0, std::string_view("BM", 2)},
    {"JPEG", 0, std::string_view("\xFF\xD8\xFF", 3)},
    {"GIF", 0, std::string_view("GIF8", 4)},
    {"TIFF", 0, std::string_view("II*\0", 4)},
    {"TIFF", 0, std::string_view("MM\0*", 4)},
    {"PNG", 0, std::string_view("\x89PNG\r\n\x1A\n", 8)},
    {"JPEG 2000", 0, std::string_view("\xFF\x4F\xFF\x51", 4)},
    {"JPEG 2000", 0, std::string_view("\0\0\0\x0CjP  \r\n\x87\n", 12)},
    {"WSQ", 0, std::string_view("\xFF\xA0\xFF", 3)},
};
constexpr Signature kUnsupported[] = {
    {"WebP", 8, std::string_view("WEBP", 4)},     {"HEIF", 4, std::string_view("ftyphei", 7)},
    {"HEIF", 4, std::string_view("ftypmif1", 8)}, {"AVIF", 4, std::string_view("ftypavif", 8)},
    {"PDF", 0, std::string_view("%PDF", 4)},      {"BigTIFF", 0, std::string_view("II+\0", 4)},
};

template <size_t N>
const char* Sniff(const Signature (&table)[N], const uint8_t* data, size_t size) {
    for (const Signature& s : table) {
        if (size >= s.offset + s.bytes.size() &&
            std::memcmp(data + s.offset, s.bytes.data(), s.bytes.size()) == 0) {
            return s.format;
        }
    }
    return nullptr;
}

LoadInfo Fail(LoadInfo info, int status, std::string reason) {
    info.status = status;
    info.reason = std::move(reason);
    return info;
}

// Decodes one page of a TIFF file; the image object's loaders call it with
// the file in a stream.
class TiffPageDecoder : public DVGdiplusDecoder {
  public:
    explicit TiffPageDecoder(uint32_t page) : page_(page) {}
    dv::Status DecodeFromStream(dv::Bitmap** bitmap, dv::IStream* stream) override {
        if (!bitmap || !stream) return dv::InvalidParameter;
        *bitmap = nullptr;
        dv::IStream::StatStg stat{};
        if (stream->Stat(&stat, dv::IStream::StatFlagNoName) != 0 ||
            stream->Seek(0, dv::IStream::SeekSet, nullptr) != 0) {
            return dv::Win32Error;
        }
        std::vector<uint8_t> data(size_t(stat.cbSize));
        uint32_t got = 0;
        stream->Read(data.data(), uint32_t(data.size()), &got);
        stream->Seek(0, dv::IStream::SeekSet, nullptr);
        return codec::DecodeTiffPage(data.data(), got, page_, bitmap);
    }

  private:
    uint32_t page_;  // from 0
};

// The Exif orientation tag of the loaded image, 1 to 8, or 0.
int OrientationOf(const DVImageProcessor& image) {
    const dv::Bitmap* bitmap = image.GetBitmap();
    const uint32_t size = bitmap ? bitmap->GetPropertyItemSize(kOrientationTag) : 0;
    if (size < sizeof(dv::PropertyItem) + 2) return 0;
    std::vector<uint8_t> buffer(size);
    auto* item = reinterpret_cast<dv::PropertyItem*>(buffer.data());
    if (bitmap->GetPropertyItem(kOrientationTag, size, item) != dv::Ok || item->type != 3 ||
        item->length < 2 || !item->value) {
        return 0;
    }
    const auto* v = static_cast<const uint8_t*>(item->value);
    const int value = v[0] | v[1] << 8;  // property values are little-endian
    return value >= 1 && value <= 8 ? value : 0;
}

// The rotate-flip type that shows a picture of Exif orientation 1 to 8
// upright: 2 mirrored, 3 upside down, 4 flipped, 5 transposed, 6 turned a
// quarter anticlockwise, 7 transversed, 8 turned a quarter clockwise.
constexpr int32_t kUpright[9] = {0, 0, 4, 2, 6, 5, 1, 7, 3};

// Turns the image upright and sets its tag to 1, so that a saved copy is not
// turned a second time by a viewer.
uint32_t ApplyOrientation(DVImageProcessor& image, int orientation) {
    if (orientation < 2) return 0;
    const uint32_t result = image.RotateFlip(kUpright[orientation]);
    if (result != 0) return result;
    uint16_t one = 1;
    dv::PropertyItem item{kOrientationTag, 2, 3, &one};
    return image.GetBitmap()->SetPropertyItem(&item);
}

std::string PluginReason(const std::string& format) {
    return "the " + format +
           " decoder plug-in cannot be loaded; it is installed beside the Glyphwick library";
}

// Reads a whole file; errno tells why when it fails.
bool ReadWhole(const std::string& path, std::vector<uint8_t>& out) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!f) return false;
    uint8_t buffer[1 << 16];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0)
        out.insert(out.end(), buffer, buffer + n);
    return std::ferror(f.get()) == 0;
}

}  // namespace

LoadInfo LoadImageMemory(const uint8_t* data, size_t size, DVImageProcessor& image,
                         const LoadOptions& options) {
    LoadInfo info;
    if (!data || size == 0) return Fail(info, kLoadBadArgument, "the file is empty");
    if (options.page == 0) return Fail(info, kLoadBadArgument, "pages are numbered from 1");
    const char* format = Sniff(kSupported, data, size);
    if (!format) {
        if (const char* other = Sniff(kUnsupported, data, size)) {
            return Fail(info, kLoadUnknownFormat,
                        std::string("this is a ") + other +
                            " file, which cannot be read; convert it to PNG or TIFF");
        }
        return Fail(info, kLoadUnknownFormat,
                    "unrecognised image format: not BMP, JPEG, GIF, TIFF, PNG, JPEG 2000 or WSQ");
    }
    info.format = format;
    if (size > UINT32_MAX) return Fail(info, kLoadTooLarge, "the file is larger than 4 GiB");
    const std::string_view name(format);
    info.pageCount = name == "TIFF" ? codec::TiffPageCount(data, size) : 1;
    if (name == "TIFF" && info.pageCount == 0) {
        return Fail(info, kLoadDamaged, "the TIFF file is damaged: its first page cannot be read");
    }
    if (options.page > info.pageCount) {
        return Fail(info, kLoadNoSuchPage,
                    "there is no page " + std::to_string(options.page) + ": the file has " +
                        std::to_string(info.pageCount) +
                        (info.pageCount == 1 ? " page" : " pages"));
    }
    std::unique_ptr<DVImageDecoder> decoder;
    if (name == "TIFF") {
        decoder = std::make_unique<TiffPageDecoder>(options.page - 1);
    } else if (name == "JPEG 2000") {
        decoder.reset(CreateDecoder(ImageFormatJpeg2000));
    } else if (name == "WSQ") {
        decoder.reset(CreateDecoder(ImageFormatWsq));
    } else {
        decoder = std::make_unique<DVGdiplusDecoder>();  // reads JPEG of any marker layout
    }
    if (!decoder) throw std::bad_alloc();
    const uint32_t result = image.LoadFromMemory(data, uint32_t(size), decoder.get());
    const bool plugin = name == "JPEG 2000" || name == "WSQ";
    if (result == dv::OutOfMemory) {
        return Fail(info, kLoadTooLarge,
                    "the image has more pixels than the library takes (at most 268,435,456)");
    }
    if (result == dv::Win32Error && plugin) return Fail(info, kLoadNoPlugin, PluginReason(format));
    if (result != 0 || !image.GetBitmap() || image.GetWidth() == 0 || image.GetHeight() == 0) {
        return Fail(
            info, kLoadDamaged,
            "the " + std::string(format) + " data is damaged or cut short and cannot be decoded");
    }
    info.exifOrientation = OrientationOf(image);
    // TIFF rows may already be turned by libtiff; only JPEG and PNG pixels are
    // always stored as the camera saw them.
    if (options.applyExifOrientation && (name == "JPEG" || name == "PNG") &&
        ApplyOrientation(image, info.exifOrientation) != 0) {
        return Fail(info, kLoadDamaged, "the picture cannot be turned upright");
    }
    return info;
}

LoadInfo LoadImageFile(const std::string& path, DVImageProcessor& image,
                       const LoadOptions& options) {
    LoadInfo info;
    if (path.empty()) return Fail(info, kLoadBadArgument, "the file name is empty");
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return errno == ENOENT || errno == ENOTDIR
                   ? Fail(info, kLoadNoSuchFile, "no such file")
                   : Fail(info, kLoadUnreadable,
                          std::string("cannot open: ") + std::strerror(errno));
    }
    if (S_ISDIR(st.st_mode)) return Fail(info, kLoadUnreadable, "is a folder, not an image file");
    std::vector<uint8_t> data;
    if (!ReadWhole(path, data)) {
        return Fail(info, kLoadUnreadable, std::string("cannot read: ") + std::strerror(errno));
    }
    if (data.empty()) return Fail(info, kLoadUnknownFormat, "the file is empty");
    return LoadImageMemory(data.data(), data.size(), image, options);
}

uint32_t SaveTypeOfPath(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".bmp") return 1;
    if (ext == ".jpg" || ext == ".jpeg") return 2;
    if (ext == ".gif") return 3;
    if (ext == ".tif" || ext == ".tiff") return 4;
    if (ext == ".png") return 5;
    return 0;
}

}  // namespace gw
