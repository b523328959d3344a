#include "Annotate.h"

#include <algorithm>

#include "DVImageProcessor.h"
#include "Errors.h"
#include "Image.h"

namespace gwtool {

namespace {

// A 5 x 7 font for the characters from blank (0x20) to underscore (0x5F),
// column by column, bit 0 the top row.
constexpr uint8_t kFont[64][5] = {
    {0x00, 0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x5F, 0x00, 0x00}, {0x00, 0x07, 0x00, 0x07, 0x00},
    {0x14, 0x7F, 0x14, 0x7F, 0x14}, {0x24, 0x2A, 0x7F, 0x2A, 0x12}, {0x23, 0x13, 0x08, 0x64, 0x62},
    {0x36, 0x49, 0x55, 0x22, 0x50}, {0x00, 0x05, 0x03, 0x00, 0x00}, {0x00, 0x1C, 0x22, 0x41, 0x00},
    {0x00, 0x41, 0x22, 0x1C, 0x00}, {0x08, 0x2A, 0x1C, 0x2A, 0x08}, {0x08, 0x08, 0x3E, 0x08, 0x08},
    {0x00, 0x50, 0x30, 0x00, 0x00}, {0x08, 0x08, 0x08, 0x08, 0x08}, {0x00, 0x60, 0x60, 0x00, 0x00},
    {0x20, 0x10, 0x08, 0x04, 0x02}, {0x3E, 0x51, 0x49, 0x45, 0x3E}, {0x00, 0x42, 0x7F, 0x40, 0x00},
    {0x42, 0x61, 0x51, 0x49, 0x46}, {0x21, 0x41, 0x45, 0x4B, 0x31}, {0x18, 0x14, 0x12, 0x7F, 0x10},
    {0x27, 0x45, 0x45, 0x45, 0x39}, {0x3C, 0x4A, 0x49, 0x49, 0x30}, {0x01, 0x71, 0x09, 0x05, 0x03},
    {0x36, 0x49, 0x49, 0x49, 0x36}, {0x06, 0x49, 0x49, 0x29, 0x1E}, {0x00, 0x36, 0x36, 0x00, 0x00},
    {0x00, 0x56, 0x36, 0x00, 0x00}, {0x00, 0x08, 0x14, 0x22, 0x41}, {0x14, 0x14, 0x14, 0x14, 0x14},
    {0x41, 0x22, 0x14, 0x08, 0x00}, {0x02, 0x01, 0x51, 0x09, 0x06}, {0x32, 0x49, 0x79, 0x41, 0x3E},
    {0x7E, 0x11, 0x11, 0x11, 0x7E}, {0x7F, 0x49, 0x49, 0x49, 0x36}, {0x3E, 0x41, 0x41, 0x41, 0x22},
    {0x7F, 0x41, 0x41, 0x22, 0x1C}, {0x7F, 0x49, 0x49, 0x49, 0x41}, {0x7F, 0x09, 0x09, 0x01, 0x01},
    {0x3E, 0x41, 0x41, 0x51, 0x32}, {0x7F, 0x08, 0x08, 0x08, 0x7F}, {0x00, 0x41, 0x7F, 0x41, 0x00},
    {0x20, 0x40, 0x41, 0x3F, 0x01}, {0x7F, 0x08, 0x14, 0x22, 0x41}, {0x7F, 0x40, 0x40, 0x40, 0x40},
    {0x7F, 0x02, 0x04, 0x02, 0x7F}, {0x7F, 0x04, 0x08, 0x10, 0x7F}, {0x3E, 0x41, 0x41, 0x41, 0x3E},
    {0x7F, 0x09, 0x09, 0x09, 0x06}, {0x3E, 0x41, 0x51, 0x21, 0x5E}, {0x7F, 0x09, 0x19, 0x29, 0x46},
    {0x46, 0x49, 0x49, 0x49, 0x31}, {0x01, 0x01, 0x7F, 0x01, 0x01}, {0x3F, 0x40, 0x40, 0x40, 0x3F},
    {0x1F, 0x20, 0x40, 0x20, 0x1F}, {0x7F, 0x20, 0x18, 0x20, 0x7F}, {0x63, 0x14, 0x08, 0x14, 0x63},
    {0x03, 0x04, 0x78, 0x04, 0x03}, {0x61, 0x51, 0x49, 0x45, 0x43}, {0x00, 0x00, 0x7F, 0x41, 0x41},
    {0x02, 0x04, 0x08, 0x10, 0x20}, {0x41, 0x41, 0x7F, 0x00, 0x00}, {0x04, 0x02, 0x01, 0x02, 0x04},
    {0x40, 0x40, 0x40, 0x40, 0x40},
};
static_assert(sizeof(kFont) == 64 * 5);

constexpr Colour kLineColours[] = {
    {230, 25, 75},  {60, 180, 75},  {0, 130, 200}, {245, 130, 48}, {145, 30, 180},
    {70, 200, 200}, {240, 50, 230}, {128, 128, 0}, {0, 0, 128},    {170, 110, 40},
};

}  // namespace

Colour LineColour(int tag) {
    if (tag <= 0) return {128, 128, 128};
    return kLineColours[(tag - 1) % std::size(kLineColours)];
}

std::array<uint8_t, 7> GlyphRows(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    std::array<uint8_t, 7> rows{};
    if (c < 0x20 || c > 0x5F) {
        rows.fill(0x1F);
        return rows;
    }
    const uint8_t* columns = kFont[c - 0x20];
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 5; ++x)
            if (columns[x] & (1u << y)) rows[y] |= static_cast<uint8_t>(0x10u >> x);
    return rows;
}

Annotation::Annotation(DVImageProcessor& image) {
    DVImageProcessor copy;
    if (image.CopyTo(&copy, 0, nullptr) != 0 ||
        (copy.GetBitsPerPixel() != 24 && copy.ConvertTo24Bit() != 0)) {
        throw InputError("", "cannot make a colour copy of the image");
    }
    width_ = static_cast<int>(copy.GetWidth());
    height_ = static_cast<int>(copy.GetHeight());
    // The rows' own 4-byte aligned stride: the object's cached stride may
    // still be that of the image before its conversion to 24 bits.
    stride_ = (static_cast<uint32_t>(width_) * 3 + 3) & ~3u;
    pixels_.assign(static_cast<size_t>(stride_) * static_cast<size_t>(height_), 0);
    if (copy.GetBits(pixels_.data(), stride_) != 0) {
        throw InputError("", "cannot read the pixels of the image");
    }
}

void Annotation::Put(int x, int y, Colour c) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    uint8_t* p = pixels_.data() + static_cast<size_t>(y) * stride_ + static_cast<size_t>(x) * 3;
    p[0] = c.blue;
    p[1] = c.green;
    p[2] = c.red;
}

Colour Annotation::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return {0, 0, 0};
    const uint8_t* p =
        pixels_.data() + static_cast<size_t>(y) * stride_ + static_cast<size_t>(x) * 3;
    return {p[2], p[1], p[0]};
}

void Annotation::Frame(const Box& b, Colour colour, int thickness) {
    for (int t = 0; t < thickness; ++t) {
        const int l = b.left - t, r = b.right + t, top = b.top - t, bottom = b.bottom + t;
        for (int x = std::max(l, 0); x <= std::min(r, width_ - 1); ++x) {
            Put(x, top, colour);
            Put(x, bottom, colour);
        }
        for (int y = std::max(top, 0); y <= std::min(bottom, height_ - 1); ++y) {
            Put(l, y, colour);
            Put(r, y, colour);
        }
    }
}

void Annotation::Text(int x, int y, std::string_view text, Colour colour, int scale) {
    scale = std::max(scale, 1);
    for (char c : text) {
        const auto rows = GlyphRows(c);
        for (int gy = 0; gy < 7; ++gy)
            for (int gx = 0; gx < 5; ++gx)
                if (rows[gy] & (0x10u >> gx))
                    for (int dy = 0; dy < scale; ++dy)
                        for (int dx = 0; dx < scale; ++dx)
                            Put(x + gx * scale + dx, y + gy * scale + dy, colour);
        x += 6 * scale;
        if (x >= width_) break;
    }
}

void Annotation::Label(const Box& box, char c, Colour colour) {
    const int scale = std::clamp(box.Height() / 14, 1, 4);
    int y = box.top - 7 * scale - 2;
    if (y < 0) y = box.bottom + 2;
    Text(box.left, y, std::string_view(&c, 1), colour, scale);
}

void Annotation::Save(const std::string& path) {
    // SetBits reads packed rows of 3 * width bytes: at odd widths they are
    // shorter than the stride, so the rows are packed first.
    const size_t row = static_cast<size_t>(width_) * 3;
    std::vector<uint8_t> packed(row * static_cast<size_t>(height_));
    for (int y = 0; y < height_; ++y) {
        std::copy_n(pixels_.data() + static_cast<size_t>(y) * stride_, row,
                    packed.data() + static_cast<size_t>(y) * row);
    }
    DVImageProcessor out;
    if (out.Create(static_cast<uint32_t>(width_), static_cast<uint32_t>(height_),
                   dv::PixelFormat24bppRGB) != 0 ||
        out.SetBits(packed.data(), 0) != 0) {
        throw InputError(path, "cannot build the annotated image");
    }
    SaveImage(out, path);
}

}  // namespace gwtool
