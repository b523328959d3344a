// The renderer's fixed pitch: characters of a face of varying widths set in
// cells of one width, each in the middle of its cell.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TextRender.h"

using namespace gw;

namespace {

// The ink-weighted centre, in x, of each run of inked columns.
std::vector<double> GlyphCentres(const render::GreyImage& image) {
    std::vector<double> centres;
    double mass = 0, moment = 0;
    for (int x = 0; x < image.width; ++x) {
        double column = 0;
        for (int y = 0; y < image.height; ++y) column += 255 - image.At(x, y);
        if (column > 0) {
            mass += column, moment += column * x;
        } else if (mass > 0) {
            centres.push_back(moment / mass);
            mass = moment = 0;
        }
    }
    return centres;
}

}  // namespace

TEST(TextRender, AFixedPitchCentresEveryGlyphInItsCell) {
    const char* path = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
    render::TextRenderer face(path);
    if (!face.Valid()) GTEST_SKIP() << "no font " << path;
    render::Variation v;
    v.capHeight = 30;
    // I and W differ most in width, and a narrow glyph after a wide one shows
    // whether each is centred in its own cell or placed by its advance.
    const std::string text = "IWIMI";
    for (double pitch : {33.0, 37.5}) {
        v.pitch = pitch;
        const render::GreyImage line = face.RenderLine(text, v);
        const std::vector<double> centres = GlyphCentres(line);
        ASSERT_EQ(centres.size(), text.size()) << pitch;
        for (size_t i = 1; i < centres.size(); ++i)
            EXPECT_NEAR(centres[i] - centres[i - 1], pitch, 1.5) << pitch << " at " << i;
    }
    // The face's own advances leave the narrow I much nearer the W.
    v.pitch = 0;
    const std::vector<double> own = GlyphCentres(face.RenderLine(text, v));
    ASSERT_EQ(own.size(), text.size());
    EXPECT_LT(own[1] - own[0], 28.0);
}
