// The whole-image barcode reader on a small fuzzed image: its rows straight
// from the input in any pixel format, or a symbol drawn from the input's bits
// (one bit a module, 1 a bar) so that the decoders see real bars, turned or
// mirrored by the input. The options and the C export's buffer size come from
// the input too. Every result must have text, corners inside the image and an
// orientation in [0, 360), and the C export must count the same results.
// Seeds (fuzz/corpus/barcodes/) are zint's module rows (zint --dump).
#include <cstdint>
#include <vector>

#include "FuzzBars.h"
#include "FuzzInput.h"
#include "GlyphwickBarcodes.h"

namespace {

bool DrawSymbol(DVImageProcessor& image, fuzz::Input& in, uint32_t height, bool oneBit) {
    fuzz::BarLimits limits;
    limits.maxModule = 4, limits.maxQuiet = 20, limits.maxWidth = 400, limits.maxBytes = 80;
    limits.oneBitBarIsZero = true, limits.greyPaper = 0xF0;
    return fuzz::DrawBars(image, in, height, oneBit, limits);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t mode = in.Byte();
    const uint32_t height = uint32_t(in.Range(1, 64));
    gw::BarcodeOptions options;
    options.tryHarder = mode & 0x20;
    options.code39FullAscii = mode & 0x40;
    options.code39CheckDigit = mode & 0x80;
    options.minLength = in.Range(-2, 8);
    const uint8_t which = in.Byte() % 4;
    options.code39 = which != 2;
    options.code128 = which != 1;
    const int bufferSize = in.Range(-1, 300);

    DVImageProcessor image;
    if (mode & 1) {
        if (!DrawSymbol(image, in, height, mode & 2)) return 0;
        image.RotateFlip((mode >> 2) & 7);
    } else {
        const uint32_t width = uint32_t(in.Range(1, 320));
        if (!fuzz::FillImage(image, in, width, height, fuzz::Format(mode >> 1))) return 0;
    }
    const std::vector<gw::BarcodeResult> results = gw::ReadBarcodes(image, options);
    for (const gw::BarcodeResult& r : results) {
        if (r.text.empty() || r.orientation < 0 || r.orientation >= 360) __builtin_trap();
        // A symbol's corners lie inside its image.
        const float w = float(image.GetWidth()), h = float(image.GetHeight());
        for (const auto& [x, y] : r.corners)
            if (!(x >= 0 && x <= w && y >= 0 && y <= h)) __builtin_trap();
    }
    std::vector<char> buffer(size_t(std::max(bufferSize, 0)) + 1, '#');
    const uint32_t bitsWanted =
        (options.code39 ? GW_BARCODE_CODE39 : 0) | (options.code128 ? GW_BARCODE_CODE128 : 0);
    const int count = GW_ReadBarcodesText(&image, bitsWanted, buffer.data(), bufferSize);
    if (bufferSize < 1 ? count != -1 : count < 0) __builtin_trap();
    return 0;
}
