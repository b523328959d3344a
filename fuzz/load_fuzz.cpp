// The loader's memory entry point on fuzzed files: the first byte turns the
// Exif orientation on or off and picks the page (1 to 4), the rest is the
// file. A load either succeeds with an image of 1 to the library's limit of
// pixels whose bitmap is there, or fails with a status and a reason and the
// image left without pixels; the same input loads the same way twice. Seeds
// (fuzz/corpus/load/) are small PNG, JPEG (with Exif orientations) and
// multi-page TIFF files.
#include <cstdint>
#include <vector>

#include "DVImageProcessor.h"
#include "FuzzInput.h"
#include "GlyphwickLoad.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t mode = in.Byte();
    gw::LoadOptions options;
    options.applyExifOrientation = (mode & 1) != 0;
    options.page = 1 + ((mode >> 1) & 3);
    const std::vector<uint8_t> file = in.Bytes(in.Left());
    DVImageProcessor image;
    const gw::LoadInfo info = gw::LoadImageMemory(file.data(), file.size(), image, options);
    if (info.status == gw::kLoaded) {
        if (image.GetBitmap() == nullptr || image.GetWidth() == 0 || image.GetHeight() == 0)
            __builtin_trap();
        if (uint64_t(image.GetWidth()) * image.GetHeight() > dv::kMaxImagePixels) __builtin_trap();
        DVImageProcessor again;
        const gw::LoadInfo second = gw::LoadImageMemory(file.data(), file.size(), again, options);
        if (second.status != gw::kLoaded || again.GetWidth() != image.GetWidth() ||
            again.GetHeight() != image.GetHeight())
            __builtin_trap();
    } else if (info.reason.empty()) {
        __builtin_trap();
    }
    return 0;
}
