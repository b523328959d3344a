// The barcode and zone readers on small images (at most 128 x 64) in all
// eight orientations of one input: the grey rows come from the input and are
// turned and mirrored by each rotate-flip type in turn. Small images keep a
// run fast, so the fuzzer tries many shapes per second; the readers' budgets
// bound every call (slow inputs are kept in fuzz/regressions/orient/, which
// `make test` replays, not in the seeds the fuzzer starts from). Every result must lie inside its
// image: barcode and zone corners within [0, width] x [0, height], finite, and a zone's characters
// shaped as its lines. A barcode read in one orientation with its checks
// holding keeps its text in the others where it is read at all.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "DVImageProcessor.h"
#include "FuzzInput.h"
#include "GlyphwickBarcodes.h"
#include "GlyphwickMrz.h"

namespace {

template <class Corners>
void CheckCorners(const Corners& corners, const DVImageProcessor& image) {
    const float w = float(image.GetWidth()), h = float(image.GetHeight());
    for (const auto& [x, y] : corners)
        if (!std::isfinite(x) || !std::isfinite(y) || x < 0 || y < 0 || x > w || y > h)
            __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t mode = in.Byte();
    const uint32_t width = uint32_t(in.Range(1, 128)), height = uint32_t(in.Range(1, 64));
    const std::vector<uint8_t> seed = in.Bytes(in.Left());
    DVImageProcessor base;
    if (base.Create(width, height, dv::PixelFormat8bppIndexed) != 0 || base.GetBitmap() == nullptr)
        return 0;
    base.SetDefaultPalette();
    std::vector<uint8_t> rows(size_t(base.GetStride()) * height, 0xFF);
    // Bits mode: one input bit a pixel, so that bars and strokes are sharp.
    for (size_t i = 0; i < rows.size() && !seed.empty(); ++i)
        rows[i] = (mode & 1) != 0 ? ((seed[(i / 8) % seed.size()] >> (7 - i % 8)) & 1 ? 0 : 255)
                                  : seed[i % seed.size()];
    if (base.SetBits(rows.data(), base.GetStride()) != 0) return 0;
    // Budgets far below the defaults: a tiny image reads in milliseconds, and
    // an input that would take longer is what the budget is for.
    gw::BarcodeOptions barcodes;
    barcodes.budget.seconds = 0.02;
    gw::MrzOptions zone;
    zone.budget.seconds = 0.02;
    zone.tryAllOrientations = (mode & 2) != 0;
    for (int32_t type = 0; type < 8; ++type) {
        DVImageProcessor image;
        if (image.Create(width, height, dv::PixelFormat8bppIndexed) != 0) return 0;
        image.SetDefaultPalette();
        image.SetBits(rows.data(), base.GetStride());
        if (image.RotateFlip(type) != 0) __builtin_trap();
        for (const gw::BarcodeResult& b : gw::ReadBarcodes(image, barcodes)) {
            if (b.text.empty() && b.values.empty()) __builtin_trap();
            CheckCorners(b.corners, image);
        }
        const gw::MrzResult r = gw::ReadMrz(image, zone);
        if (r.characters.size() != r.lines.size()) __builtin_trap();
        if (r.found) CheckCorners(r.corners, image);
    }
    return 0;
}
