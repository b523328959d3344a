#include "TextRender.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>

#include "DVImageProcessor.h"

namespace gw::render {

uint64_t Random::Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1Dull;
}

double Random::Uniform() {
    return double(Next() >> 11) * (1.0 / 9007199254740992.0);
}

double Random::Normal() {
    const double u1 = std::max(Uniform(), 1e-300);
    const double u2 = Uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
}

struct TextRenderer::Impl {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    long capUnits = 0;  // height of "H" in font units

    ~Impl() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
};

TextRenderer::TextRenderer(const std::string& fontPath) : impl_(std::make_unique<Impl>()) {
    if (FT_Init_FreeType(&impl_->library) != 0) return;
    if (FT_New_Face(impl_->library, fontPath.c_str(), 0, &impl_->face) != 0) {
        impl_->face = nullptr;
        return;
    }
    if (FT_Load_Char(impl_->face, 'H', FT_LOAD_NO_SCALE) == 0) {
        FT_BBox box;
        FT_Outline_Get_CBox(&impl_->face->glyph->outline, &box);
        impl_->capUnits = box.yMax - box.yMin;
    }
}

TextRenderer::~TextRenderer() = default;

bool TextRenderer::Valid() const {
    return impl_->face && impl_->capUnits > 0;
}

std::string TextRenderer::FamilyName() const {
    return Valid() && impl_->face->family_name ? impl_->face->family_name : "";
}

namespace {

// Separable Gaussian blur of a coverage canvas.
void Blur(std::vector<float>& canvas, int w, int h, double sigma) {
    const int radius = int(std::ceil(sigma * 3.0));
    std::vector<float> kernel(size_t(2 * radius + 1));
    float sum = 0;
    for (int i = -radius; i <= radius; ++i) {
        kernel[size_t(i + radius)] = float(std::exp(-0.5 * i * i / (sigma * sigma)));
        sum += kernel[size_t(i + radius)];
    }
    for (float& k : kernel) k /= sum;
    std::vector<float> tmp(canvas.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float acc = 0;
            for (int i = -radius; i <= radius; ++i) {
                const int xx = std::clamp(x + i, 0, w - 1);
                acc += kernel[size_t(i + radius)] * canvas[size_t(y) * size_t(w) + size_t(xx)];
            }
            tmp[size_t(y) * size_t(w) + size_t(x)] = acc;
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float acc = 0;
            for (int i = -radius; i <= radius; ++i) {
                const int yy = std::clamp(y + i, 0, h - 1);
                acc += kernel[size_t(i + radius)] * tmp[size_t(yy) * size_t(w) + size_t(x)];
            }
            canvas[size_t(y) * size_t(w) + size_t(x)] = acc;
        }
    }
}

}  // namespace

int TextRenderer::EmboldenRoom(double embolden) {
    return int(std::ceil(std::fabs(embolden))) + 2;
}

GreyImage TextRenderer::RenderLine(const std::string& text, const Variation& v, int margin) const {
    GreyImage out;
    if (!Valid() || v.capHeight < 1) return out;
    FT_Face face = impl_->face;
    // Scale so that a capital letter is capHeight pixels high.
    const double ppem = double(v.capHeight) * face->units_per_EM / double(impl_->capUnits);
    FT_Set_Char_Size(face, 0, FT_F26Dot6(std::lround(ppem * 64.0)), 72, 72);
    const int ascent = int(std::ceil(double(face->size->metrics.ascender) / 64.0));
    const int descent = int(std::ceil(-double(face->size->metrics.descender) / 64.0));

    // First pass: the pen positions, to size the canvas.
    const long spacing = std::lround(v.extraSpacing * 64.0);
    const long pitch = std::lround(v.pitch * 64.0);  // 0: the face's own advances
    long pen = 0;
    for (char c : text) {
        if (FT_Load_Char(face, FT_ULong(uint8_t(c)), FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0)
            continue;
        pen += (pitch > 0 ? pitch : face->glyph->advance.x) + spacing;
    }
    const int extra = EmboldenRoom(v.embolden);
    out.width = int(std::max<long>(pen, 64) / 64) + 2 * margin + 2 * extra;
    out.height = ascent + descent + 2 * margin + 2 * extra;
    std::vector<float> canvas(size_t(out.width) * size_t(out.height), 0.0f);

    const int baseline = margin + extra + ascent;
    pen = std::lround((margin + extra + v.offsetX) * 64.0);
    for (char c : text) {
        if (FT_Load_Char(face, FT_ULong(uint8_t(c)), FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0)
            continue;
        FT_GlyphSlot slot = face->glyph;
        const long advance = (pitch > 0 ? pitch : slot->advance.x) + spacing;
        // At a fixed pitch the glyph stands in the middle of its cell.
        const long centre = pitch > 0 ? (pitch - slot->advance.x) / 2 : 0;
        if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
            if (v.embolden != 0.0) {
                FT_Outline_Embolden(&slot->outline, FT_Pos(std::lround(v.embolden * 64.0)));
                // Embolden grows the outline up and right; recentre it.
                FT_Outline_Translate(&slot->outline, FT_Pos(-std::lround(v.embolden * 32.0)),
                                     FT_Pos(-std::lround(v.embolden * 32.0)));
            }
            const long at = pen + centre;
            FT_Outline_Translate(&slot->outline, at & 63, FT_Pos(-std::lround(v.offsetY * 64.0)));
            if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0) {
                const FT_Bitmap& bm = slot->bitmap;
                const int x0 = int(at >> 6) + slot->bitmap_left;
                const int y0 = baseline - slot->bitmap_top;
                for (unsigned r = 0; r < bm.rows; ++r) {
                    for (unsigned col = 0; col < bm.width; ++col) {
                        const int x = x0 + int(col), y = y0 + int(r);
                        if (x < 0 || y < 0 || x >= out.width || y >= out.height) continue;
                        float& cell = canvas[size_t(y) * size_t(out.width) + size_t(x)];
                        cell = std::max(cell, bm.buffer[r * unsigned(bm.pitch) + col] / 255.0f);
                    }
                }
            }
        }
        pen += advance;
    }

    Random rng(v.seed);
    if (v.breakStrokes > 0.0) {
        // Thin vertical cuts through the ink: broken strokes.
        const int cuts = int(std::lround(v.breakStrokes * double(text.size())));
        for (int i = 0; i < cuts; ++i) {
            const int x = margin + int(rng.Uniform() * double(out.width - 2 * margin));
            for (int y = 0; y < out.height; ++y)
                canvas[size_t(y) * size_t(out.width) + size_t(x)] = 0.0f;
        }
    }
    if (v.blur > 0.0) Blur(canvas, out.width, out.height, v.blur);

    out.pixels.resize(canvas.size());
    for (size_t i = 0; i < canvas.size(); ++i) {
        double grey = 255.0 - 255.0 * v.inkLevel * double(canvas[i]);
        if (v.noise > 0.0) grey += v.noise * rng.Normal();
        out.pixels[i] = uint8_t(std::clamp(std::lround(grey), 0l, 255l));
    }
    return out;
}

GreyImage Rotate180(const GreyImage& image) {
    GreyImage out = image;
    std::reverse(out.pixels.begin(), out.pixels.end());
    return out;
}

bool ToImage(const GreyImage& grey, DVImageProcessor& out) {
    if (out.Create(uint32_t(grey.width), uint32_t(grey.height), dv::PixelFormat8bppIndexed) != 0)
        return false;
    for (int y = 0; y < grey.height; ++y) {
        out.SetBytes(uint32_t(y), 0, grey.pixels.data() + size_t(y) * size_t(grey.width),
                     uint32_t(grey.width));
    }
    return true;
}

}  // namespace gw::render
