#include "Image.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <vector>

#include "Errors.h"
#include "GlyphwickGrey.h"

namespace gwtool {

namespace {

// Standard input, read on first use: it can be read only once.
const std::vector<uint8_t>& StandardInput() {
    static const std::vector<uint8_t> data{std::istreambuf_iterator<char>(std::cin),
                                           std::istreambuf_iterator<char>()};
    return data;
}

std::vector<uint32_t> PaletteOf(const DVImageProcessor& image) {
    const dv::Bitmap* bitmap = image.GetBitmap();
    const uint32_t size = bitmap ? bitmap->GetPaletteSize() : 0;
    if (size <= dv::PaletteBytes(0)) return {};
    std::vector<uint32_t> buffer(size / 4 + 1);
    auto* palette = reinterpret_cast<dv::ColorPalette*>(buffer.data());
    if (bitmap->GetPalette(palette, size) != dv::Ok) return {};
    return {palette->Entries, palette->Entries + palette->Count};
}

// Why writing a file failed, from errno.
std::string WriteReason(const std::string& path, int error) {
    if (error == ENOENT) {
        const std::string folder = std::filesystem::path(path).parent_path().string();
        return "cannot write: the folder '" + (folder.empty() ? "." : folder) + "' does not exist";
    }
    if (error == EACCES || error == EROFS) return "cannot write: no permission to write there";
    if (error == ENOSPC) return "cannot write: the disk is full";
    return std::string("cannot write: ") + std::strerror(error);
}

}  // namespace

Loaded LoadImage(const std::string& path, const gw::LoadOptions& options) {
    Loaded out;
    out.image = std::make_unique<DVImageProcessor>();
    if (path == "-") {
        const std::vector<uint8_t>& data = StandardInput();
        out.info = gw::LoadImageMemory(data.data(), data.size(), *out.image, options);
        if (out.info.status != gw::kLoaded && data.empty())
            out.info.reason = "nothing came on standard input";
    } else {
        out.info = gw::LoadImageFile(path, *out.image, options);
    }
    if (out.info.status != gw::kLoaded) throw InputError(path, out.info.reason);
    return out;
}

void SaveImage(DVImageProcessor& image, const std::string& path, const SaveOptions& options) {
    const unsigned type = gw::SaveTypeOfPath(path);
    if (type == 0) {
        throw InputError(path, "unknown output format (use .bmp, .jpg, .gif, .tif or .png)");
    }
    DVJpegEncoder jpeg;
    DVTiffEncoder tiff;
    DVImageEncoder* encoder = nullptr;
    if (options.quality >= 0) {
        if (type != 2) throw InputError(path, "--quality applies to JPEG output only");
        if (!jpeg.SetParameter(dv::EncoderQuality, static_cast<uint32_t>(options.quality))) {
            throw InputError(path, "JPEG quality must be 0 to 100");
        }
        encoder = &jpeg;
    }
    if (!options.compression.empty()) {
        if (type != 4) throw InputError(path, "--tiff-compression applies to TIFF output only");
        static constexpr std::pair<const char*, uint32_t> kNames[] = {
            {"lzw", dv::EncoderValueCompressionLZW},
            {"ccitt3", dv::EncoderValueCompressionCCITT3},
            {"ccitt4", dv::EncoderValueCompressionCCITT4},
            {"rle", dv::EncoderValueCompressionRle},
            {"none", dv::EncoderValueCompressionNone}};
        const auto* it = std::find_if(std::begin(kNames), std::end(kNames), [&](const auto& n) {
            return options.compression == n.first;
        });
        if (it == std::end(kNames)) {
            throw InputError(path, "unknown TIFF compression '" + options.compression + "'");
        }
        // CCITT and RLE code black and white only: say so rather than let the
        // encoder drop the grey levels.
        const bool bilevel = it->second == dv::EncoderValueCompressionCCITT3 ||
                             it->second == dv::EncoderValueCompressionCCITT4 ||
                             it->second == dv::EncoderValueCompressionRle;
        if (bilevel && image.GetBitsPerPixel() != 1) {
            throw InputError(path, std::string(it->first) +
                                       " compression takes a 1-bit image only (add --1bit)");
        }
        tiff.SetParameter(dv::EncoderCompression, it->second);
        encoder = &tiff;
    }
    dv::IStream* stream = nullptr;
    if (dv::CreateMemoryStream(&stream) != 0 || !stream) throw std::bad_alloc();
    std::unique_ptr<dv::IStream, void (*)(dv::IStream*)> release(
        stream, [](dv::IStream* s) { s->Release(); });
    uint32_t size = 0;
    if (image.SaveToStream(stream, &size, type, true, encoder) != 0) {
        throw InputError(path, "the image cannot be encoded in this format");
    }
    std::vector<uint8_t> bytes(size);
    uint32_t got = 0;
    stream->Read(bytes.data(), size, &got);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw InputError(path, WriteReason(path, errno));
    const bool written = std::fwrite(bytes.data(), 1, got, f) == got;
    const int error = errno;
    if (std::fclose(f) != 0 || !written) {
        std::remove(path.c_str());
        throw InputError(path, WriteReason(path, error));
    }
}

bool HasPlainPalette(const DVImageProcessor& image) {
    const std::vector<uint32_t> palette = PaletteOf(image);
    const uint32_t bits = image.GetBitsPerPixel();
    if (bits == 1) {  // the readers take bit 1 as ink
        return palette.size() == 2 && (palette[0] & 0xFFFFFF) == 0xFFFFFF &&
               (palette[1] & 0xFFFFFF) == 0;
    }
    if (bits != 8 || palette.size() != 256) return false;
    for (uint32_t i = 0; i < 256; ++i) {
        if ((palette[i] & 0xFFFFFF) != i * 0x010101u) return false;
    }
    return true;
}

std::unique_ptr<DVImageProcessor> GreyCopy(const DVImageProcessor& image) {
    const gw::GreyImage grey = gw::ToGrey(image);
    auto out = std::make_unique<DVImageProcessor>();
    if (grey.Empty() || out->Create(grey.width, grey.height, dv::PixelFormat8bppIndexed) != 0) {
        return nullptr;
    }
    // SetBits takes packed rows; stride 0 keeps the object's stride the
    // bitmap's own.
    if (out->SetBits(grey.pixels.data(), 0) != 0) return nullptr;
    float dx = 0, dy = 0;
    image.GetResolution(&dx, &dy);
    out->SetResolution(dx, dy);
    return out;
}

void MakeReadable(std::unique_ptr<DVImageProcessor>& image, const std::string& path) {
    const uint32_t bits = image->GetBitsPerPixel();
    if (bits == 24) {
        if (image->ConvertToGrey(0.3f, 0.59f, 0.11f) != 0)
            throw InputError(path, "the colour image cannot be turned into grey");
        return;
    }
    if ((bits == 1 || bits == 8) && HasPlainPalette(*image)) return;
    auto grey = GreyCopy(*image);
    if (!grey) throw InputError(path, "the image's pixels cannot be turned into grey levels");
    image = std::move(grey);
}

const char* PixelFormatName(int format) {
    switch (format) {
        case dv::PixelFormat1bppIndexed:
            return "1bppIndexed";
        case dv::PixelFormat8bppIndexed:
            return "8bppIndexed";
        case dv::PixelFormat24bppRGB:
            return "24bppRGB";
        default:
            return "unknown";
    }
}

}  // namespace gwtool
