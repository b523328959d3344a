// Pattern files: the fuzzed bytes are loaded as a pattern file, then a small
// fixed page is identified with every font that loaded, then the store is
// emptied. The file lives in memory (memfd) and is opened through /proc.
#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "DVImageProcessor.h"
#include "Glyphwick.h"

namespace {

volatile size_t g_sink = 0;

// A 48 x 24 grey page with a square, a bar, a ring and a speck.
void DrawPage(DVImageProcessor& image) {
    constexpr uint32_t kWidth = 48, kHeight = 24;
    image.Create(kWidth, kHeight, dv::PixelFormat8bppIndexed);
    image.SetDefaultPalette();
    std::vector<uint8_t> row(image.GetStride());
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; ++x) {
            const bool square = x >= 2 && x <= 9 && y >= 3 && y <= 14;
            const bool bar = x >= 13 && x <= 30 && y >= 6 && y <= 8;
            const bool ring = x >= 34 && x <= 44 && y >= 2 && y <= 20 &&
                              (x <= 35 || x >= 43 || y <= 3 || y >= 19);
            const bool speck = x == 20 && y == 18;
            row[x] = square || bar || ring || speck ? 0 : 255;
        }
        image.SetBytes(y, 0, row.data(), kWidth);
    }
}

void IdentifyWithFont(DVImageProcessor& image, int32_t fontIndex, const char* fontName) {
    const RECT rect = {0, 0, 47, 23};
    const AREAPARAMS settings = {2, 2, 40, 40, 0, 0, 0, 0, fontIndex, fontName, 0, 0, 0};
    if (GW_InitialiseArea(&image, &rect, &settings) == nullptr) return;
    GW_ProduceObjectList();
    GW_CleanObjects(0);
    GW_SetLineTags();
    if (GW_IdentifyObjects() != nullptr) {
        for (OBJECTINFO* o = GW_FindFirstObject(); o != nullptr; o = GW_FindNextObject()) {
            char* cells = nullptr;
            int32_t score = 0, tag = 0;
            GW_GetObjectIdentity(&cells, &score, &tag);
            // Reading the whole cell string lets the sanitizer check its end.
            if (cells != nullptr) g_sink = g_sink + std::strlen(cells) + size_t(score + tag);
        }
    }
    int32_t box[4] = {1, 2, 10, 15};
    FreeIdentityInfo(GW_IdentifyObject(box));
    std::vector<char> text(size_t(GW_GetNumberOfObjects()) + 2);
    GW_FilterBestLine(text.data(), int32_t(text.size()));
    GW_DestroyArea();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static DVImageProcessor* page = [] {
        auto* image = new DVImageProcessor;
        DrawPage(*image);
        return image;
    }();
    const int fd = memfd_create("patterns", 0);
    if (fd < 0) return 0;
    size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) break;
        written += size_t(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    GW_UnloadAllPatternFiles();
    GW_LoadPatternFile(path.c_str());
    close(fd);

    int32_t fonts = 0;
    GW_GetFontList(nullptr, &fonts);
    std::vector<char*> names(size_t(fonts) + 1);
    GW_GetFontList(names.data(), &fonts);
    if (fonts > 0) {
        // The first and the last font (a file opens up to 21; those between
        // take the same paths), and the first again by its name in lower case.
        IdentifyWithFont(*page, 0, nullptr);
        if (fonts > 1) IdentifyWithFont(*page, fonts - 1, nullptr);
        std::string name = names[0];
        for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
        IdentifyWithFont(*page, -1, name.c_str());
    }
    GW_UnloadAllPatternFiles();
    return 0;
}
