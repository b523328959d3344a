// The tool's helpers on their own: option values, rectangles, symbology
// names, annotation paths and saving, the progress bar, the palette.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "Annotate.h"
#include "BarcodeRead.h"
#include "Commands.h"
#include "DVImageProcessor.h"
#include "Errors.h"
#include "Image.h"
#include "Options.h"
#include "Progress.h"
#include "Reading.h"

namespace gwtool {
namespace {

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const InputError& e) {
        return e.Line();
    }
    return "(no error)";
}

TEST(Options, NumbersRectanglesAndTheirMessages) {
    EXPECT_EQ(ParseNumbers("--min", "2,10", 2, "W,H"), (std::vector<int>{2, 10}));
    EXPECT_EQ(ParseNumbers("--frag", "1,2,30,40", 4, "F"), (std::vector<int>{1, 2, 30, 40}));
    for (const char* bad : {"", "2", "2,", ",2", "2,3,4", "a,b", "2;3", "2,3x"}) {
        const std::string e = ErrorOf([&] { ParseNumbers("--min", bad, 2, "W,H"); });
        EXPECT_EQ(e, std::string("--min: expected W,H, got '") + bad + "'") << bad;
    }
    EXPECT_NE(ErrorOf([] { ParseNumbers("--max", "0,5", 2, "W,H", 1); }).find("below 1"),
              std::string::npos);
    const Box b = ParseRect("10,20,30,40");
    EXPECT_EQ(b.Width(), 21);
    EXPECT_EQ(b.Height(), 21);
    EXPECT_NE(ErrorOf([] { ParseRect("30,20,10,40"); }).find("--rect"), std::string::npos);
    EXPECT_NE(ErrorOf([] { ParseRect("-1,0,10,10"); }).find("below 0"), std::string::npos);
    // A rectangle that overlaps the image is read (outside parts are paper);
    // one that starts right of or below the last column or row is refused.
    EXPECT_EQ(ErrorOf([] { CheckInside({0, 0, 99, 49}, 100, 50, "f.png"); }), "(no error)");
    EXPECT_EQ(ErrorOf([] { CheckInside({99, 49, 500, 500}, 100, 50, "f.png"); }), "(no error)");
    EXPECT_EQ(ErrorOf([] {
                  CheckInside({100, 0, 120, 49}, 100, 50, "f.png");
              }),
              "f.png: rectangle 100,0,120,49 is outside the image (100 x 50)");
    EXPECT_NE(ErrorOf([] { CheckInside({0, 50, 10, 60}, 100, 50, "f.png"); }), "(no error)");
}

TEST(Barcode, SymbologyNamesInAnyCaseWithBlanksAndDashes) {
    gw::BarcodeOptions o;
    SetSymbologies("Code-39", o);
    EXPECT_TRUE(o.code39);
    EXPECT_FALSE(o.code128);
    SetSymbologies(" code128 , CODE39", o);
    EXPECT_TRUE(o.code39 && o.code128);
    EXPECT_EQ(ErrorOf([&] { SetSymbologies("code39,qr", o); }),
              "--symbologies: unknown symbology 'qr' (known: code39, code128)");
    EXPECT_NE(ErrorOf([&] { SetSymbologies(",", o); }), "(no error)");
}

TEST(Output, AnnotationPathsLatin1AndTheProgressBar) {
    EXPECT_EQ(AnnotationPath("out.png", 0, 1), "out.png");
    EXPECT_EQ(AnnotationPath("dir/out.png", 0, 3), "dir/out-1.png");
    EXPECT_EQ(AnnotationPath("dir/out.png", 2, 3), "dir/out-3.png");
    EXPECT_EQ(Latin1ToUtf8("A\xE9\x1D"), "A\xC3\xA9\x1D");
    EXPECT_EQ(Progress::Bar(0, 4, 8, "a.png"), "[........] 0/4 a.png");
    EXPECT_EQ(Progress::Bar(3, 4, 8, "a.png"), "[######..] 3/4 a.png");
    EXPECT_EQ(Progress::Bar(9, 4, 8, "a.png"), "[########] 4/4 a.png");
    const std::string longName(60, 'n');
    const std::string bar = Progress::Bar(1, 2, 4, longName);
    EXPECT_EQ(bar.size(), std::string("[##..] 1/2 ").size() + 40);
    EXPECT_EQ(bar.substr(11, 3), "...");
}

// An 8-bit grey image of width x height whose pixel (x, y) has level
// (x + 3 * y) % 256, so that any shear or channel mix-up shows.
std::unique_ptr<DVImageProcessor> Gradient(uint32_t width, uint32_t height) {
    auto image = std::make_unique<DVImageProcessor>();
    EXPECT_EQ(image->Create(width, height, dv::PixelFormat8bppIndexed), 0u);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t v = (x + 3 * y) % 256, argb = 0xFF000000u | v * 0x010101u;
            EXPECT_EQ(image->SetPixel(x, y, &argb), 0u);
        }
    return image;
}

TEST(Annotation, SavedPixelForPixelAtOddAndEvenWidths) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("gw-annotation-" + std::to_string(getpid()) + ".png"))
                                 .string();
    const Colour red{220, 0, 0};
    const Box frame{10, 5, 40, 20};
    for (uint32_t width : {556u, 557u, 3u}) {
        SCOPED_TRACE(width);
        auto image = Gradient(width, 31);
        Annotation a(*image);
        a.Frame(frame, red);
        a.Save(path);
        Loaded back = LoadImage(path);
        ASSERT_EQ(back.image->GetWidth(), width);
        ASSERT_EQ(back.image->GetBitsPerPixel(), 24u);
        int wrong = 0;
        for (uint32_t y = 0; y < 31; ++y)
            for (uint32_t x = 0; x < width; ++x) {
                const int ix = int(x), iy = int(y);
                const bool edge = ((ix == frame.left || ix == frame.right) && iy >= frame.top &&
                                   iy <= frame.bottom) ||
                                  ((iy == frame.top || iy == frame.bottom) && ix >= frame.left &&
                                   ix <= frame.right);
                uint32_t want = 0xFF000000u | red.red << 16, got = 0;
                if (!edge) image->GetPixel(x, y, &want);
                back.image->GetPixel(x, y, &got);
                wrong += got != want;
            }
        EXPECT_EQ(wrong, 0);
    }
    std::filesystem::remove(path);
}

TEST(Image, ReadingSeesGreyThroughThePalette) {
    // An 8-bit image whose palette is the grey ramp reversed: index i is
    // level 255 - i. The readable image holds the levels, not the indexes.
    auto image = Gradient(9, 2);
    std::vector<uint32_t> reversed(256);
    for (uint32_t i = 0; i < 256; ++i) reversed[i] = 0xFF000000u | (255 - i) * 0x010101u;
    ASSERT_EQ(image->SetPalette(reversed.data(), 256), 0u);
    EXPECT_FALSE(HasPlainPalette(*image));
    MakeReadable(image, "x");
    ASSERT_TRUE(HasPlainPalette(*image));
    uint32_t argb = 0;
    image->GetPixel(4, 1, &argb);
    EXPECT_EQ(argb & 0xFF, 255u - 7u);
    // 1-bit: the readers take bit 1 as ink, so black then white is turned
    // into grey levels and white then black is kept.
    for (const bool blackFirst : {true, false}) {
        auto one = std::make_unique<DVImageProcessor>();
        ASSERT_EQ(one->Create(8, 1, dv::PixelFormat1bppIndexed), 0u);
        const uint32_t black = 0xFF000000u, white = 0xFFFFFFFFu;
        const uint32_t palette[2] = {blackFirst ? black : white, blackFirst ? white : black};
        ASSERT_EQ(one->SetPalette(palette, 2), 0u);
        MakeReadable(one, "x");
        EXPECT_EQ(one->GetBitsPerPixel(), blackFirst ? 8u : 1u);
        one->GetPixel(3, 0, &argb);  // index 0 everywhere
        EXPECT_EQ(argb & 0xFFFFFF, blackFirst ? 0u : 0xFFFFFFu);
    }
}

}  // namespace
}  // namespace gwtool
