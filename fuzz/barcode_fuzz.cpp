// Both barcode readers on a small fuzzed image. The first byte chooses how
// the image is made: its rows straight from the input, or a symbol drawn from
// the input's bits (one bit a module, 1 a bar) so that the decoders see real
// bar and space widths. The area and the reading rectangle come from the
// input too; the text buffers have exactly the documented sizes. After the
// reads the image may change: the area's rows must still come out as the
// image stood when the readers refreshed them.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzBars.h"
#include "FuzzInput.h"
#include "Glyphwick.h"
#include "area/Area.h"

namespace {

// Draws modules of one to three pixels, starting up to 15 columns in.
bool DrawSymbol(DVImageProcessor& image, fuzz::Input& in, uint32_t height, bool oneBit) {
    return fuzz::DrawBars(image, in, height, oneBit, fuzz::BarLimits{});
}

int64_t Overlap(int32_t a0, int32_t a1, int32_t b0, int32_t b1) {
    return std::max<int64_t>(0, int64_t{std::min(a1, b1)} - std::max(a0, b0) + 1);
}

// Changes the image in one of several ways chosen by the input, then checks
// that the current area's rows are those the image held before.
void ChangeImageAndCheckRows(DVImageProcessor& image, fuzz::Input& in) {
    AREAINFO& area = *gw::CurrentAreaToLoad();  // rows not taken yet
    std::vector<std::vector<uint8_t>> before(size_t(area.height),
                                             std::vector<uint8_t>(area.rowBytes));
    for (int32_t y = 0; y < area.height; ++y)
        gw::LoadRow(area, area.top + y, before[size_t(y)].data());
    switch (in.Byte() % 6) {
        case 1: {
            const std::vector<uint8_t> bytes(image.GetStride(), in.Byte());
            image.SetBytes(uint32_t(in.Range(0, 47)), 0, bytes.data(), uint32_t(bytes.size()));
            break;
        }
        case 2:
            image.Invert();
            break;
        case 3:
            image.RotateFlip(in.Range(1, 7));
            break;
        case 4:
            image.ConvertTo24Bit();
            break;
        case 5:
            image.Destroy();
            break;
        default:
            break;
    }
    const AREAINFO& after = *gw::CurrentArea();
    for (int32_t y = 0; y < after.height; ++y)
        if (std::memcmp(after.workRows[y], before[size_t(y)].data(), after.rowBytes) != 0)
            __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t mode = in.Byte();
    const bool oneBit = mode & 2;
    const uint32_t height = uint32_t(in.Range(1, 48));
    const RECT area = {in.Range(0, 20), in.Range(0, 8), in.Range(0, 300), in.Range(0, 60)};
    const RECT read = {in.Loose(-4, 260), in.Loose(-4, 50), in.Loose(-4, 300), in.Loose(-4, 60)};
    const uint32_t threshold = in.Byte();

    DVImageProcessor image;
    if (mode & 1) {
        if (!DrawSymbol(image, in, height, oneBit)) return 0;
    } else {
        const uint32_t width = uint32_t(in.Range(1, 256));
        const int32_t format = oneBit ? dv::PixelFormat1bppIndexed : dv::PixelFormat8bppIndexed;
        if (!fuzz::FillImage(image, in, width, height, format)) return 0;
    }
    const AREAPARAMS settings = {2, 2, 80, 80, 0, 0, 0, 0, 0, nullptr, 0, 0, threshold};
    if (GW_InitialiseArea(&image, &area, &settings) == nullptr) return 0;

    // The documented sizes, for the part of the rectangle the area covers.
    const int64_t width = Overlap(read.left, read.right, area.left, area.right) *
                          (Overlap(read.top, read.bottom, area.top, area.bottom) > 0 ? 1 : 0);
    std::vector<char> text39(size_t(width / 10 + 3));
    std::vector<char> text128(size_t(2 * width + 3));
    GW_ReadCode39(&read, text39.data());
    GW_ReadCode128(&read, text128.data());
    ChangeImageAndCheckRows(image, in);
    GW_DestroyArea();
    return 0;
}
