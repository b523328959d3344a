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
#include "DVImageCodecs.h"
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

// Every scale-th pixel of every scale-th row of bitmap, in a new bitmap of
// the same format, palette and properties; the resolution divided by scale.
dv::Status Decimate(const dv::Bitmap* from, uint32_t scale, dv::Bitmap** out) {
    const uint32_t w = (from->GetWidth() + scale - 1) / scale,
                   h = (from->GetHeight() + scale - 1) / scale;
    const int32_t format = from->GetPixelFormat();
    dv::Bitmap* to = nullptr;
    const dv::Status status = codec::NewBitmap(w, h, format, &to);
    if (status != dv::Ok) return status;
    std::unique_ptr<dv::Bitmap> owned(to);
    const std::vector<uint32_t> palette = codec::PaletteOf(from);
    if (!palette.empty()) codec::SetPaletteEntries(to, palette.data(), uint32_t(palette.size()));
    to->SetResolution(from->GetHorizontalResolution() / float(scale),
                      from->GetVerticalResolution() / float(scale));
    uint32_t total = 0, count = 0;
    if (from->GetPropertySize(&total, &count) == dv::Ok && count > 0) {
        std::vector<uint64_t> buffer((total + 7) / 8);
        auto* items = reinterpret_cast<dv::PropertyItem*>(buffer.data());
        if (from->GetAllPropertyItems(total, count, items) == dv::Ok)
            for (uint32_t i = 0; i < count; ++i) to->SetPropertyItem(&items[i]);
    }
    const uint32_t bpp = dv::BitsPerPixel(format);
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* src = from->Pixels() + size_t(y) * scale * from->GetStride();
        uint8_t* dst = to->Pixels() + size_t(y) * to->GetStride();
        if (bpp % 8 == 0) {
            const size_t bytes = bpp / 8, step = bytes * scale;
            for (uint32_t x = 0; x < w; ++x, dst += bytes, src += step)
                std::memcpy(dst, src, bytes);
            continue;
        }
        for (uint32_t x = 0; x < w; ++x) {  // 1, 2 or 4 bits a pixel, first pixel highest
            const size_t bit = size_t(x) * scale * bpp;
            const uint32_t shift = 8 - bpp - uint32_t(bit % 8);
            const uint32_t v = (src[bit / 8] >> shift) & ((1u << bpp) - 1);
            const size_t outBit = size_t(x) * bpp;
            const uint32_t outShift = 8 - bpp - uint32_t(outBit % 8);
            dst[outBit / 8] =
                uint8_t((dst[outBit / 8] & ~(((1u << bpp) - 1) << outShift)) | v << outShift);
        }
    }
    *out = owned.release();
    return dv::Ok;
}

// The loader's decoder: JPEG through the codec with its scaling and its
// acceptance of data cut short, PNG through the codec with its reduction and
// its turn, other formats through the decoder given, reduced by decimation
// when a scale is asked for. Reads the caller's bytes in place (the stream it
// is handed is empty).
class LoaderDecoder : public DVGdiplusDecoder {
  public:
    LoaderDecoder(const uint8_t* data, size_t size, bool jpeg, uint32_t scale,
                  DVImageDecoder* inner)
        : data_(data), size_(size), jpeg_(jpeg), scale_(scale), inner_(inner) {}
    dv::Status DecodeFromStream(dv::Bitmap** bitmap, dv::IStream* stream) override {
        if (!bitmap) return dv::InvalidParameter;
        *bitmap = nullptr;
        if (jpeg_) {
            jpeg.scale = scale_;
            jpeg.acceptCutShort = true;
            return codec::DecodeJpeg(data_, size_, bitmap, jpeg);
        }
        // A PNG keeps only the rows and pixels wanted as it is decoded; a
        // plain one is inflated at once.
        if (inner_ == nullptr && size_ >= 8 && std::memcmp(data_, "\x89PNG\r\n\x1A\n", 8) == 0) {
            png.scale = scale_;
            png.inflateAtOnce = true;
            return codec::DecodePng(data_, size_, bitmap, png);
        }
        dv::Status status = dv::GenericError;
        if (inner_ != nullptr) {
            dv::IStream* own = nullptr;
            dv::CreateMemoryStream(&own);
            std::unique_ptr<dv::IStream, void (*)(dv::IStream*)> release(
                own, [](dv::IStream* s) { s->Release(); });
            own->Write(data_, uint32_t(size_), nullptr);
            own->Seek(0, dv::IStream::SeekSet, nullptr);
            status = inner_->DecodeFromStream(bitmap, own);
        } else {
            status = dv::DecodeImage(data_, size_, bitmap);
        }
        (void)stream;
        if (status != dv::Ok || *bitmap == nullptr || scale_ == 1) return status;
        std::unique_ptr<dv::Bitmap> full(*bitmap);
        *bitmap = nullptr;
        return Decimate(full.get(), scale_, bitmap);
    }
    codec::JpegLoad jpeg;  // what the JPEG decode found
    codec::PngLoad png;    // what the PNG decode found
    /// Asks for the picture turned upright while it is decoded (JPEG and PNG).
    void SetUpright(bool upright) {
        jpeg.upright = png.upright = upright;
        jpeg.turnedFrom = png.turnedFrom = 0;
    }
    /// The orientation the decode turned the picture from, or 0.
    int TurnedFrom() const { return jpeg_ ? jpeg.turnedFrom : png.turnedFrom; }

  private:
    const uint8_t* data_;
    size_t size_;
    bool jpeg_;
    uint32_t scale_;
    DVImageDecoder* inner_;
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

// Turns the image upright and sets its tag to 1, so that a saved copy is not
// turned a second time by a viewer.
uint32_t ApplyOrientation(DVImageProcessor& image, int orientation) {
    if (orientation < 2) return 0;
    const uint32_t result = image.RotateFlip(codec::kUprightTurn[orientation]);
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
bool ReadWhole(const std::string& path, size_t expected, std::vector<uint8_t>& out) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!f) return false;
    out.reserve(expected);
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
    if (options.scale != 1 && options.scale != 2 && options.scale != 4 && options.scale != 8)
        return Fail(info, kLoadBadArgument, "the scale must be 1, 2, 4 or 8");
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
    std::unique_ptr<DVImageDecoder> inner;
    if (name == "TIFF") {
        inner = std::make_unique<TiffPageDecoder>(options.page - 1);
    } else if (name == "JPEG 2000") {
        inner.reset(CreateDecoder(ImageFormatJpeg2000));
        if (!inner) throw std::bad_alloc();
    } else if (name == "WSQ") {
        inner.reset(CreateDecoder(ImageFormatWsq));
        if (!inner) throw std::bad_alloc();
    }
    // JPEG of any marker layout and PNG go to their codecs directly; BMP and
    // GIF through the sniffing decoder (inner stays null).
    // A JPEG or PNG picture is turned upright while it is decoded when the
    // codec can.
    LoaderDecoder decoder(data, size, name == "JPEG", options.scale, inner.get());
    decoder.SetUpright(options.applyExifOrientation);
    dv::IStream* empty = nullptr;
    dv::CreateMemoryStream(&empty);
    std::unique_ptr<dv::IStream, void (*)(dv::IStream*)> release(
        empty, [](dv::IStream* s) { s->Release(); });
    uint32_t result = image.LoadFromStream(empty, &decoder);
    if (result == 0 && decoder.TurnedFrom() != 0 && decoder.TurnedFrom() != OrientationOf(image)) {
        // The metadata reader saw another orientation than the decoder's
        // quick look: decode again unturned and turn as the metadata says.
        decoder.SetUpright(false);
        result = image.LoadFromStream(empty, &decoder);
    }
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
    if (decoder.jpeg.cutShort)
        info.warning = "the JPEG data ends early; the part it does not hold is grey";
    info.exifOrientation = OrientationOf(image);
    // TIFF rows may already be turned by libtiff; only JPEG and PNG pixels are
    // always stored as the camera saw them.
    if (decoder.TurnedFrom() != 0) {
        uint16_t one = 1;
        dv::PropertyItem item{kOrientationTag, 2, 3, &one};
        if (image.GetBitmap()->SetPropertyItem(&item) != dv::Ok)
            return Fail(info, kLoadDamaged, "the picture cannot be turned upright");
    } else if (options.applyExifOrientation && (name == "JPEG" || name == "PNG") &&
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
    if (!ReadWhole(path, size_t(st.st_size), data)) {
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
