// A host program of Glyphwick: reads the best text line of an image, or of a
// rectangle of it, through the library's exports.
// Usage: host IMAGE [LEFT TOP RIGHT BOTTOM [PATTERN-FILE]]
#include <cstdio>
#include <cstdlib>

#include "DVImageProcessor.h"
#include "Glyphwick.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    DVImageProcessor image;
    if (image.LoadFromFile(argv[1], nullptr) != 0) return 2;
    if (image.GetBitsPerPixel() == 24) image.ConvertToGrey(0.3f, 0.59f, 0.11f);
    RECT rect{0, 0, int32_t(image.GetWidth()) - 1, int32_t(image.GetHeight()) - 1};
    if (argc >= 6) rect = {atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5])};
    if (argc >= 7) {  // a pattern file of the host's own instead of the default one
        GW_UnloadAllPatternFiles();
        if (GW_LoadPatternFile(argv[6]) != 1) return 2;
    }
    AREAPARAMS settings{};  // objects of 2 x 10 to 80 x 80 pixels, font index 0
    settings.minObjectWidth = 2, settings.minObjectHeight = 10;
    settings.maxObjectWidth = 80, settings.maxObjectHeight = 80;
    if (GW_InitialiseArea(&image, &rect, &settings) == nullptr) return 2;
    GW_ProduceObjectList();
    GW_CleanObjects(0);
    GW_SetLineTags();
    GW_IdentifyObjects();
    char text[256];
    const int tag = GW_FilterBestLine(text, sizeof text);
    std::printf("%s\nline %d, score %d\n", text, tag, GW_GetLineScore(tag));
    GW_DestroyArea();
    return tag != 0 ? 0 : 1;
}
