// The mrz command's thin face over the library's reader: the library's
// result carried into the tool's types (format, fields, corrections, boxes
// inside the image), and a rectangle outside the image refused.
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

TEST(MrzFace, CarriesTheLibraryReadingIntoTheToolsTypes) {
    auto image = LoadImage(Sample("td3-passport.png")).image;
    const MrzResult r = ReadMrz(*image, {}, "td3-passport.png");
    ASSERT_TRUE(r.reading);
    EXPECT_EQ(r.reading->format, MrzFormat::TD3);
    EXPECT_STREQ(MrzFormatName(r.reading->format), "TD3");
    EXPECT_TRUE(r.reading->valid);
    ASSERT_EQ(r.reading->lines.size(), 2u);
    EXPECT_EQ(r.reading->lines[1], "XK47192033UTO8403124F3107092ZE184226B<<<<<16");
    bool checked = false;
    for (const MrzField& f : r.reading->fields)
        if (f.name == "birth_date") checked = f.checked && f.valid && f.check == '4';
    EXPECT_TRUE(checked);
    // Boxes lie in the image, the first line above the second, one object a character.
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_LT(r.lines[0].bottom, r.lines[1].bottom);
    for (const TextLine& l : r.lines) {
        EXPECT_GE(l.left, 0);
        EXPECT_LT(l.right, static_cast<int>(image->GetWidth()));
    }
    EXPECT_EQ(r.objects.size(), 88u);
    EXPECT_FALSE(r.upsideDown);
    EXPECT_NE(r.json.find("\"orientation\":0"), std::string::npos);
}

TEST(MrzFace, ReadsTheRectangleInsideTheImageAndFindsNothingInBlankPaper) {
    auto image = LoadImage(Sample("td3-passport.png")).image;
    MrzSettings s;
    s.rect =
        Box{static_cast<int>(image->GetWidth()), 0, static_cast<int>(image->GetWidth()) + 9, 10};
    EXPECT_THROW(ReadMrz(*image, s, "x.png"), InputError);
    // A rectangle reaching past the image reads the part inside.
    s.rect = Box{-50, 800, static_cast<int>(image->GetWidth()) + 50, 1100};
    const MrzResult past = ReadMrz(*image, s, "x.png");
    ASSERT_TRUE(past.reading);
    EXPECT_TRUE(past.reading->valid);
    s.rect = Box{0, 0, 40, 40};  // a corner of plain paper
    EXPECT_FALSE(ReadMrz(*image, s, "x.png").reading);
    EXPECT_EQ(MrzFormatFromName("MRV-B"), MrzFormat::MRVB);
}

}  // namespace
}  // namespace gwtool
