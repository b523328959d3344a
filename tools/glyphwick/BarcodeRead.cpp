#include "BarcodeRead.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "DVImageProcessor.h"
#include "Errors.h"

namespace gwtool {

std::vector<gw::BarcodeResult> ReadBarcodesIn(const DVImageProcessor& image,
                                              const gw::BarcodeOptions& options,
                                              const std::optional<Box>& rect,
                                              const std::string& file, gw::BarcodeReport* report) {
    if (!rect) return gw::ReadBarcodes(image, options, report);
    const int w = int(image.GetWidth()), h = int(image.GetHeight());
    CheckInside(*rect, unsigned(w), unsigned(h), file);
    const int left = std::max(rect->left, 0), top = std::max(rect->top, 0);
    const int right = std::min(rect->right, w - 1), bottom = std::min(rect->bottom, h - 1);
    const dv::Bitmap* bitmap = image.GetBitmap();
    std::unique_ptr<dv::Bitmap> part(bitmap == nullptr ? nullptr
                                                       : bitmap->Clone(left, top, right - left + 1,
                                                                       bottom - top + 1,
                                                                       bitmap->GetPixelFormat()));
    DVImageProcessor crop;
    if (part == nullptr || crop.Attach(part.get(), false) != 0)
        throw InputError(file, "the rectangle cannot be cut out of the image");
    std::vector<gw::BarcodeResult> out = gw::ReadBarcodes(crop, options, report);
    crop.Destroy();
    for (gw::BarcodeResult& b : out)
        for (auto& [x, y] : b.corners) x += float(left), y += float(top);
    return out;
}

void SetSymbologies(const std::string& names, gw::BarcodeOptions& options) {
    options.code39 = options.code128 = false;
    std::string name;
    auto take = [&] {
        if (name == "code39") {
            options.code39 = true;
        } else if (name == "code128") {
            options.code128 = true;
        } else {
            throw InputError(
                "", "--symbologies: unknown symbology '" + name + "' (known: code39, code128)");
        }
        name.clear();
    };
    for (char c : names + ",") {
        if (c == ',') {
            if (!name.empty()) take();
        } else if (c != ' ' && c != '-' && c != '_') {
            name += char(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    if (!options.code39 && !options.code128)
        throw InputError("", "--symbologies: name code39, code128 or both");
}

const char* SymbologyName(gw::Symbology s) {
    return s == gw::Symbology::Code39 ? "code39" : "code128";
}

}  // namespace gwtool
