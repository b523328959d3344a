#include "Image.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "Errors.h"

namespace gwtool {

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

}  // namespace

std::unique_ptr<DVImageProcessor> LoadImage(const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status)) throw InputError(path, "no such file");
    if (std::filesystem::is_directory(status)) throw InputError(path, "is a directory");
    {
        std::ifstream probe(path, std::ios::binary);
        if (!probe) throw InputError(path, std::string("cannot open: ") + std::strerror(errno));
    }
    auto image = std::make_unique<DVImageProcessor>();
    const uint32_t result = image->LoadFromFile(path.c_str(), nullptr);
    if (result == 13) throw InputError(path, "unrecognised image format");
    if (result != 0) {
        switch (image->GetLastError()) {
            case 14:
                throw InputError(path, "no decoder for this image format");
            case 15:
                throw InputError(path, "the image data cannot be decoded");
            default:
                throw InputError(path, Cat("cannot load the image (code ", result, ", ",
                                           image->GetLastError(), ")"));
        }
    }
    if (image->GetBitmap() == nullptr || image->GetWidth() == 0 || image->GetHeight() == 0) {
        throw InputError(path, "the image is empty");
    }
    return image;
}

unsigned FileTypeOf(const std::string& path) {
    const std::string ext = Lower(std::filesystem::path(path).extension().string());
    if (ext == ".bmp") return 1;
    if (ext == ".jpg" || ext == ".jpeg") return 2;
    if (ext == ".gif") return 3;
    if (ext == ".tif" || ext == ".tiff") return 4;
    if (ext == ".png") return 5;
    return 0;
}

void SaveImage(DVImageProcessor& image, const std::string& path, const SaveOptions& options) {
    const unsigned type = FileTypeOf(path);
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
        const bool ccitt = it->second == dv::EncoderValueCompressionCCITT3 ||
                           it->second == dv::EncoderValueCompressionCCITT4;
        if (ccitt && image.GetBitsPerPixel() != 1) {
            throw InputError(path, "CCITT compression needs a 1-bit image (add --1bit)");
        }
        tiff.SetParameter(dv::EncoderCompression, it->second);
        encoder = &tiff;
    }
    const uint32_t result = image.SaveToFile(path.c_str(), type, encoder);
    if (result != 0) {
        throw InputError(path, Cat("cannot save the image (code ", result, ")"));
    }
}

void MakeReadable(DVImageProcessor& image, const std::string& path) {
    if (image.GetBitsPerPixel() == 24 && image.ConvertToGrey(0.3f, 0.59f, 0.11f) != 0) {
        throw InputError(path, "cannot convert the image to grey");
    }
    if (image.GetBitsPerPixel() != 1 && image.GetBitsPerPixel() != 8) {
        throw InputError(path, "unsupported pixel format");
    }
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
