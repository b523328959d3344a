// The mrz command's thin face over the library's reader: the library's result
// as it stands, the boxes of the zone's lines and characters cut from its
// corners, and a rectangle outside the image refused.
#include <array>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "DVImageProcessor.h"
#include "Errors.h"
#include "Image.h"
#include "MrzRead.h"

namespace gwtool {
namespace {

std::string Sample(const std::string& name) {
    return std::string(GW_SOURCE_DIR) + "/samples/" + name;
}

void ExpectBox(const Box& b, int left, int top, int right, int bottom) {
    EXPECT_EQ(b.left, left);
    EXPECT_EQ(b.top, top);
    EXPECT_EQ(b.right, right);
    EXPECT_EQ(b.bottom, bottom);
}

// A two-line zone of four characters a line whose corners are given
// top-left, top-right, bottom-right, bottom-left as the zone reads.
gw::MrzResult Zone(std::array<std::pair<float, float>, 4> corners) {
    gw::MrzResult r;
    r.found = true;
    r.lines = {"AB12", "CD34"};
    r.characters.assign(2, std::vector<gw::MrzCharacter>(4));
    for (auto& line : r.characters)
        for (gw::MrzCharacter& c : line) c.confidence = 0.5f;
    r.characters[0][0].confidence = 0.876f;
    r.corners = corners;
    return r;
}

TEST(MrzFace, ReadsTheSampleAndBoxesEveryLineAndCharacterInsideTheImage) {
    auto image = LoadImage(Sample("td3-passport.png")).image;
    const gw::MrzResult r = ReadMrz(*image, {}, "td3-passport.png");
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.format, "TD3");
    EXPECT_TRUE(r.valid);
    EXPECT_EQ(r.orientation, 0);
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[1], "XK47192033UTO8403124F3107092ZE184226B<<<<<16");

    const std::vector<Box> lines = MrzLineBoxes(r);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_LT(lines[0].bottom, lines[1].top);
    for (const Box& l : lines) {
        EXPECT_GE(l.left, 0);
        EXPECT_GE(l.top, 0);
        EXPECT_LT(l.right, static_cast<int>(image->GetWidth()));
        EXPECT_LT(l.bottom, static_cast<int>(image->GetHeight()));
    }
    // One object a character, in its line's box, left to right, carrying the
    // character read and its line.
    const std::vector<ObjectReading> objects = MrzObjects(r);
    ASSERT_EQ(objects.size(), 88u);
    for (size_t i = 0; i < objects.size(); ++i) {
        SCOPED_TRACE(i);
        const ObjectReading& o = objects[i];
        const size_t line = i / 44, column = i % 44;
        EXPECT_EQ(o.tag, static_cast<int>(line) + 1);
        EXPECT_EQ(o.identity, r.lines[line][column]);
        const Box& l = lines[line];
        EXPECT_TRUE(o.box.left >= l.left && o.box.right <= l.right && o.box.top >= l.top &&
                    o.box.bottom <= l.bottom);
        if (column > 0) {
            EXPECT_LE(objects[i - 1].box.left, o.box.left);
        }
    }
}

TEST(MrzFace, CutsTheBoxesFromTheCornersAsTheZoneReads) {
    // Upright: the first line at the top, its first character at the left.
    // Lines stand 1.9 capital heights apart, so each takes about a third of
    // the zone's height.
    const gw::MrzResult upright = Zone({{{100, 200}, {540, 200}, {540, 300}, {100, 300}}});
    std::vector<Box> lines = MrzLineBoxes(upright);
    ASSERT_EQ(lines.size(), 2u);
    ExpectBox(lines[0], 100, 200, 540, 235);
    ExpectBox(lines[1], 100, 265, 540, 300);
    std::vector<ObjectReading> objects = MrzObjects(upright);
    ASSERT_EQ(objects.size(), 8u);
    ExpectBox(objects[0].box, 100, 200, 210, 235);
    ExpectBox(objects[7].box, 430, 265, 540, 300);
    EXPECT_EQ(objects[0].identity, 'A');
    EXPECT_EQ(objects[0].score, 88);
    EXPECT_EQ(objects[7].identity, '4');
    EXPECT_EQ(objects[7].tag, 2);
    EXPECT_EQ(objects[7].score, 50);

    // Read turned by 180 degrees: the first line lies at the image's bottom
    // and its first character at the image's right.
    const gw::MrzResult turned = Zone({{{540, 300}, {100, 300}, {100, 200}, {540, 200}}});
    lines = MrzLineBoxes(turned);
    ASSERT_EQ(lines.size(), 2u);
    ExpectBox(lines[0], 100, 265, 540, 300);
    ExpectBox(lines[1], 100, 200, 540, 235);
    objects = MrzObjects(turned);
    ASSERT_EQ(objects.size(), 8u);
    ExpectBox(objects[0].box, 430, 265, 540, 300);
    ExpectBox(objects[7].box, 100, 200, 210, 235);

    // Nothing found, nothing boxed, whatever the result holds.
    gw::MrzResult none = upright;
    none.found = false;
    EXPECT_TRUE(MrzLineBoxes(none).empty());
    EXPECT_TRUE(MrzObjects(none).empty());
}

}  // namespace
}  // namespace gwtool
