// The reading pipeline: a small 1- or 8-bit image, a rectangle and the area's
// settings come from the input, then the whole reading runs as a host would
// call it: produce, clean, tag, identify, split, identify again, the lines'
// texts, the best line with spaces, join, and the measurements.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "Glyphwick.h"

namespace {

volatile size_t g_sink = 0;

// A small font that matches blocks, bars and rings, so that identification
// and the line texts have characters to work with.
constexpr char kPatterns[] =
    "FUZZ MATRIX_SIZE=5x5\n"
    "B 0.20 5.00 XXXXX XXXXX XXXXX XXXXX XXXXX\n"
    "O 0.20 5.00 XXXXX X---X X---X X---X XXXXX\n"
    "I 0.05 0.60 --X-- --X-- --X-- --X-- --X--\n"
    "- 2.00 20.0 ----- ----- XXXXX ----- -----\n"
    "L 0.20 5.00 X---- X---- X---- X---- XXXXX\n"
    "SECOND MATRIX_SIZE=3x4\n"
    "T 0.10 9.00 XXX -X- -X- -X-\n";

void LoadFont() {
    GW_UnloadAllPatternFiles();  // only this font, whatever loaded at start
    const int fd = memfd_create("fuzz-font", 0);
    if (fd < 0) return;
    if (write(fd, kPatterns, sizeof(kPatterns) - 1) == ssize_t(sizeof(kPatterns) - 1)) {
        const std::string path = "/proc/self/fd/" + std::to_string(fd);
        GW_LoadPatternFile(path.c_str());
    }
    close(fd);
}

AREAPARAMS Settings(fuzz::Input& in) {
    AREAPARAMS s{};
    s.minObjectWidth = in.Loose(0, 8);
    s.minObjectHeight = in.Loose(0, 8);
    s.maxObjectWidth = in.Loose(-1, 80);
    s.maxObjectHeight = in.Loose(-1, 80);
    s.fragMinWidth = in.Loose(0, 8);
    s.fragMinHeight = in.Loose(0, 8);
    s.fragMaxWidth = in.Loose(0, 20);
    s.fragMaxHeight = in.Loose(0, 20);
    s.fontIndex = in.Loose(-1, 2);
    s.fontName = nullptr;
    s.maxHoleSize = in.Loose(-1, 40);
    s.options = in.Byte();
    s.threshold = in.Byte() < 16 ? in.U32() : in.Byte();
    return s;
}

// Reads every line's texts and score with buffers of the documented sizes.
void ReadLines(fuzz::Input& in) {
    std::vector<char> text;
    for (int32_t tag = GW_GetPotentialLine(in.Loose(-1, 1)); tag != 0;
         tag = GW_GetPotentialLine(tag)) {
        const size_t objects = size_t(GW_GetNumberOfObjects());
        text.assign(objects + 1, 'x');
        GW_GetLineIdentity(tag, text.data());
        const int32_t textSize = in.Range(-1, 300);
        text.assign(std::max<size_t>(objects + 1, size_t(std::max(textSize, 0))), 'x');
        GW_GetLineIdentityWithSpacing(tag, text.data(), textSize, in.Loose(0, 40));
        g_sink = g_sink + size_t(GW_GetLineScore(tag));
        if (in.Byte() & 1) GW_IgnoreLineTag(tag + in.Range(-1, 1));
    }
}

void WalkObjects(fuzz::Input& in) {
    for (OBJECTINFO* o = GW_FindFirstObject(); o != nullptr; o = GW_FindNextObject()) {
        char* cells = nullptr;
        int32_t score = 0, tag = 0;
        GW_GetObjectIdentity(&cells, &score, &tag);
        if (cells != nullptr) g_sink = g_sink + std::strlen(cells);
        const uint8_t what = in.Byte();
        if (what == 1) GW_IgnoreObject();
        if (what == 2) {
            const int32_t dx = in.Loose(-4, 4);
            GW_MoveObject(dx, in.Loose(-4, 4));
        }
        if (what == 3) {
            int32_t box[4] = {o->left, o->top, o->right, o->bottom};
            FreeIdentityInfo(GW_IdentifyObject(box));
        }
    }
}

void Measure(fuzz::Input& in) {
    int32_t a[40], b[40];
    GW_GetPixelDistrubution(a);
    GW_GetPixelDistrubution(b);
    g_sink = g_sink + size_t(GW_ComparePixelDistrubution(a, b));
    RECT doc{};
    GW_GetDocRect(&doc);
    int32_t bounds[4];
    GW_ObjectListBounds(bounds);
    int32_t box[4] = {in.Loose(-2, 70), in.Loose(-2, 70), in.Loose(-2, 70), in.Loose(-2, 70)};
    FreeIdentityInfo(GW_IdentifyObject(box));
}

// The image stays the host's while the area lives, and a host may change
// it: rotate it (width and height swap), change its format, or empty it.
void ChangeImage(DVImageProcessor& image, uint8_t change) {
    switch (change) {
        case 1:
            image.RotateFlip(1);
            break;
        case 2:
            image.ConvertTo24Bit();
            break;
        case 3:
            image.ConvertTo1Bit();
            break;
        case 4:
            image.Destroy();
            break;
        default:
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool loaded = (LoadFont(), true);
    (void)loaded;
    fuzz::Input in(data, size);
    const bool oneBit = in.Byte() & 1;
    const uint32_t width = uint32_t(in.Range(1, 64));
    const uint32_t height = uint32_t(in.Range(1, 64));
    const RECT rect = {in.Range(-1, 70), in.Range(-1, 70), in.Range(-1, 70), in.Range(-1, 70)};
    const AREAPARAMS settings = Settings(in);
    DVImageProcessor image;
    const int32_t format = oneBit ? dv::PixelFormat1bppIndexed : dv::PixelFormat8bppIndexed;
    if (!fuzz::FillImage(image, in, width, height, format)) return 0;
    AREAINFO* area = GW_InitialiseArea(&image, &rect, &settings);
    if (area == nullptr) return 0;

    GW_ProduceObjectList();
    // Change 5: a second area over a page of the other depth is initialised
    // and the first made current again, so that the pixel accessors are the
    // other depth's (a host may switch areas so).
    const uint8_t change = in.Byte();
    DVImageProcessor otherPage;
    AREAINFO* second = nullptr;
    if (change == 5) {
        GW_SetDefaultArea(nullptr);
        const RECT small = {0, 0, 15, 15};
        if (fuzz::FillImage(otherPage, in, 16, 16,
                            oneBit ? dv::PixelFormat8bppIndexed : dv::PixelFormat1bppIndexed))
            second = GW_InitialiseArea(&otherPage, &small, &settings);
        GW_SetDefaultArea(area);
    } else {
        ChangeImage(image, change);
    }
    GW_CleanObjects(in.Byte() & 1);
    GW_SetLineTags();
    const int32_t fewest = in.Loose(0, 3);
    GW_FilterLineTags(fewest, in.Loose(0, 40));
    GW_IdentifyObjects();
    for (int32_t tag = GW_GetPotentialLine(0); tag != 0; tag = GW_GetPotentialLine(tag))
        GW_SplitJoinedObjectsInLine(tag);
    GW_IdentifyObjects();
    WalkObjects(in);
    ReadLines(in);
    const int32_t textSize = in.Range(-1, 300);
    std::vector<char> best(
        std::max<size_t>(size_t(GW_GetNumberOfObjects()) + 1, size_t(std::max(textSize, 0))));
    GW_FilterBestLineWithSpaces(best.data(), textSize);
    GW_ResetIgnoredObjects();
    GW_RemoveIgnoredObjects(in.Byte() & 1);
    GW_JoinBrokenObjects(in.Loose(0, 12));
    Measure(in);
    GW_DestroyArea();
    if (second != nullptr) {
        GW_SetDefaultArea(second);
        GW_DestroyArea();
    }
    return 0;
}
