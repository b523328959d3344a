// The zone reader on random and mutated images. The first byte chooses the
// image: a 1-, 8- or 24-bit raster whose rows come from the input, or an
// encoded file (the rest of the input, up to 640 x 480 pixels) decoded by the
// image object. Options
// and a rectangle come from the input too. Whatever it reads, the result must
// be consistent: characters shaped as the lines, a valid zone only with every
// check digit agreeing and every field in its class, corners inside the image.
#include <cstdint>
#include <vector>

#include "DVImageProcessor.h"
#include "FuzzInput.h"
#include "GlyphwickMrz.h"

namespace {

bool Raster(DVImageProcessor& image, fuzz::Input& in, uint8_t mode) {
    static constexpr int32_t kFormats[3] = {dv::PixelFormat1bppIndexed, dv::PixelFormat8bppIndexed,
                                            dv::PixelFormat24bppRGB};
    const uint32_t width = uint32_t(in.Range(1, 400)), height = uint32_t(in.Range(1, 200));
    if (image.Create(width, height, kFormats[mode % 3]) != 0 || image.GetBitmap() == nullptr)
        return false;
    image.SetDefaultPalette();
    const std::vector<uint8_t> seed = in.Bytes(in.Left());
    std::vector<uint8_t> rows(size_t(image.GetStride()) * height, 0xFF);
    for (size_t i = 0; i < rows.size() && !seed.empty(); ++i) rows[i] = seed[i % seed.size()];
    return image.SetBits(rows.data(), image.GetStride()) == 0;
}

void Check(const gw::MrzResult& r, const DVImageProcessor& image) {
    if (r.characters.size() != r.lines.size()) __builtin_trap();
    for (size_t l = 0; l < r.lines.size(); ++l)
        if (r.characters[l].size() != r.lines[l].size()) __builtin_trap();
    // The zone's corners lie inside its image.
    const float w = float(image.GetWidth()), h = float(image.GetHeight());
    for (const auto& [x, y] : r.corners)
        if (!(x >= 0 && x <= w && y >= 0 && y <= h)) __builtin_trap();
    if (!r.valid) return;
    if (!r.found) __builtin_trap();
    for (const gw::MrzField& f : r.fields)
        if (!f.checkValid || !f.classValid) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t mode = in.Byte();
    gw::MrzOptions options;
    options.tryAllOrientations = mode & 0x10;
    DVImageProcessor image;
    if (mode & 0x80) {
        const std::vector<uint8_t> file = in.Bytes(in.Left());
        if (file.empty() || image.LoadFromMemory(file.data(), uint32_t(file.size()), nullptr) != 0)
            return 0;
        // Pages larger than a small card only cost time here.
        if (uint64_t(image.GetWidth()) * image.GetHeight() > 640u * 480u) return 0;
    } else if (!Raster(image, in, mode)) {
        return 0;
    }
    if (mode & 0x20) {
        options.left = int(image.GetWidth() / 4), options.top = int(image.GetHeight() / 4);
        options.right = int(image.GetWidth() - 1), options.bottom = int(image.GetHeight() - 1);
    }
    Check(gw::ReadMrz(image, options), image);
    return 0;
}
