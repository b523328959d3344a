// Helpers of the line reader's tests: rendered OCR-B text in an image object.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DVImageProcessor.h"
#include "DevSet.h"
#include "TextRender.h"

namespace gw::linetest {

// An 8-bit image of grey levels; with inverted true its palette runs from
// white at index 0 to black at 255, and the indexes are stored to match.
inline std::unique_ptr<DVImageProcessor> ImageOf(const render::GreyImage& g,
                                                 bool inverted = false) {
    auto image = std::make_unique<DVImageProcessor>();
    EXPECT_EQ(image->Create(uint32_t(g.width), uint32_t(g.height), dv::PixelFormat8bppIndexed), 0u);
    std::vector<uint8_t> rows(g.pixels);
    if (inverted) {
        std::vector<uint32_t> palette(256);
        for (uint32_t i = 0; i < 256; ++i) palette[i] = 0xFF000000u | (255 - i) * 0x010101u;
        image->SetPalette(palette.data(), 256);
        for (uint8_t& p : rows) p = uint8_t(255 - p);
    }
    image->SetBits(rows.data(), uint32_t(g.width));
    return image;
}

// One line of text in OCR-B at 28-pixel capitals.
inline render::GreyImage Render(const std::string& text) {
    const render::TextRenderer ocrb(accuracy::kOcrBPath);
    render::Variation v;
    v.capHeight = 28;
    return ocrb.RenderLine(text, v, 20);
}

}  // namespace gw::linetest
