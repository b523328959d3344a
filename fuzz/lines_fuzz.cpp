// The line reader over a raster the caller owns (PixelRows), read in place
// with every kind of step: rows flipped (negative row step), transposed
// (pixel and row steps swapped), padded (row step past the width), grey or
// three channels in either order. The options come from the input; the
// fonts come from the shipped pattern file, named in the options (a target
// linked statically has no default pattern file beside it). Every result
// must keep the reader's promises: boxes inside the image with left <= right
// and top <= bottom, one object per character, a line's box around its
// characters. Seeds (fuzz/corpus/lines/) hold rendered text and the diagonal
// pattern that once gave an inverted box.
#include <array>
#include <cstdint>
#include <vector>

#include "FuzzInput.h"
#include "GlyphwickLines.h"

namespace {

bool Inside(const std::array<int, 4>& b, int width, int height) {
    return 0 <= b[0] && b[0] <= b[2] && b[2] < width && 0 <= b[1] && b[1] <= b[3] && b[3] < height;
}

void Check(const gw::LinesResult& r, int width, int height) {
    if (r.status != gw::kLinesOk) {
        if (r.error.empty() || !r.lines.empty()) __builtin_trap();
        return;
    }
    for (const gw::LineObject& o : r.objects)
        if (!Inside(o.box, width, height)) __builtin_trap();
    for (const gw::TextLine& l : r.lines) {
        if (!Inside(l.box, width, height)) __builtin_trap();
        for (const gw::LineObject& c : l.characters) {
            if (!Inside(c.box, width, height)) __builtin_trap();
            if (c.character == ' ') continue;
            if (c.box[0] < l.box[0] || c.box[2] > l.box[2] || c.box[1] < l.box[1] ||
                c.box[3] > l.box[3])
                __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t layout = in.Byte();
    const uint8_t flags = in.Byte();
    const int width = in.Range(1, 160), height = in.Range(1, 96);
    const int channels = (layout & 1) != 0 ? 3 : 1;
    const bool flipped = (layout & 2) != 0, transposed = (layout & 4) != 0;
    const bool bgr = (layout & 8) != 0;
    const int padding = (layout >> 4) & 7;
    gw::LineOptions o;
    o.patternFiles = {GW_PATTERN_FILE};
    o.trim = (flags & 1) != 0;
    o.split = (flags & 2) != 0;
    o.allLines = (flags & 4) != 0;
    o.spaces = (flags & 8) != 0;
    o.punctuation = (flags & 16) == 0;
    o.holes = (flags & 32) != 0 ? in.Range(0, 200) : 0;
    if ((flags & 64) != 0) {
        o.minWidth = in.Range(0, 12), o.minHeight = in.Range(0, 30);
        o.maxWidth = in.Range(0, 120), o.maxHeight = in.Range(0, 120);
        o.threshold = unsigned(in.Range(0, 255));
        o.spacing = in.Range(0, 3) == 3 ? in.Range(1, 40) : 0;
    }
    if ((flags & 128) != 0) {
        const int l = in.Range(-8, width), t = in.Range(-8, height);
        o.rect = std::array<int, 4>{l, t, l + in.Range(0, width + 8), t + in.Range(0, height + 8)};
    }
    // The stored raster: `stored` rows of `across` pixels (the image
    // transposed when asked), each row padded; the pixels themselves are the
    // rest of the input, repeated.
    const int across = transposed ? height : width, down = transposed ? width : height;
    const ptrdiff_t pixelBytes = channels, rowBytes = ptrdiff_t(across) * channels + padding;
    const std::vector<uint8_t> seed = in.Bytes(in.Left());
    std::vector<uint8_t> store(size_t(rowBytes) * size_t(down), 0xFF);
    for (size_t i = 0; i < store.size() && !seed.empty(); ++i) store[i] = seed[i % seed.size()];
    gw::PixelRows p;
    p.width = uint32_t(width), p.height = uint32_t(height), p.channels = uint32_t(channels);
    p.channelStep = bgr ? -1 : 1;
    const uint8_t* origin = store.data() + (bgr ? channels - 1 : 0);
    ptrdiff_t alongX = pixelBytes, alongY = rowBytes;
    if (transposed) std::swap(alongX, alongY);
    if (flipped) {
        origin += (height - 1) * alongY;
        alongY = -alongY;
    }
    p.pixels = origin, p.pixelStep = alongX, p.rowStep = alongY;
    Check(gw::ReadLines(p, o), width, height);
    return 0;
}
