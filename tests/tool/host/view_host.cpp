// A host program of Glyphwick's C++ readers: loads a file the way the tool
// does (a camera JPEG turned upright by its Exif tag), reads its zone, then
// copies the pixels into a buffer of its own in OpenCV's BGR order and reads
// that in place through gw::ImageView. Prints both zones' lines and whether
// they agree. Usage: view_host IMAGE
#include <cstdio>
#include <vector>

#include "DVImageProcessor.h"
#include "GlyphwickImageView.h"
#include "GlyphwickLines.h"
#include "GlyphwickLoad.h"
#include "GlyphwickMrz.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    DVImageProcessor image;
    const gw::LoadInfo info = gw::LoadImageFile(argv[1], image);
    if (info.status != gw::kLoaded) {
        std::fprintf(stderr, "%s: %s\n", argv[1], info.reason.c_str());
        return 2;
    }
    const gw::MrzResult loaded = gw::ReadMrz(image);
    // The caller's own buffer: BGR rows with 8 bytes of padding each.
    const int w = int(image.GetWidth()), h = int(image.GetHeight());
    const int stride = 3 * w + 8;
    std::vector<uint8_t> bgr(size_t(stride) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t argb = 0;
            image.GetPixel(uint32_t(x), uint32_t(y), &argb);
            uint8_t* p = bgr.data() + size_t(y) * size_t(stride) + size_t(x) * 3;
            p[0] = uint8_t(argb), p[1] = uint8_t(argb >> 8), p[2] = uint8_t(argb >> 16);
        }
    const gw::ImageView view(bgr.data(), w, h, gw::PixelFormat::BGR24, stride);
    const gw::MrzResult viewed = gw::ReadMrz(view);
    for (const std::string& line : viewed.lines) std::printf("%s\n", line.c_str());
    std::printf("exif %d, %s, view %s the loaded image, lines %zu\n", info.exifOrientation,
                viewed.valid ? "valid" : "NOT VALID",
                viewed.lines == loaded.lines && viewed.valid == loaded.valid ? "agrees with"
                                                                             : "differs from",
                gw::ReadLines(view).lines.size());
    return viewed.valid ? 0 : 1;
}
