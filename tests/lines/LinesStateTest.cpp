// What a line reading leaves behind: pattern files that do not load change
// nothing, the budget stops a reading, every box lies inside its image.
// (Readings on several threads beside a host of the GW_ exports:
// tests/threads.)
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "DVImageProcessor.h"
#include "DevSet.h"
#include "Glyphwick.h"
#include "GlyphwickLines.h"
#include "TextRender.h"
#include "lines/LinesSupport.h"

using namespace gw;
using linetest::ImageOf;
using linetest::Render;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> Texts(const LinesResult& r) {
    std::vector<std::string> out;
    for (const TextLine& l : r.lines) out.push_back(l.text);
    return out;
}

void ExpectBoxesInside(const LinesResult& r, int width, int height) {
    auto inside = [&](const std::array<int, 4>& b) {
        return 0 <= b[0] && b[0] <= b[2] && b[2] < width && 0 <= b[1] && b[1] <= b[3] &&
               b[3] < height;
    };
    for (const LineObject& o : r.objects) EXPECT_TRUE(inside(o.box)) << o.box[0] << "," << o.box[2];
    for (const TextLine& l : r.lines) {
        EXPECT_TRUE(inside(l.box))
            << l.box[0] << "," << l.box[1] << "," << l.box[2] << "," << l.box[3];
        for (const LineObject& c : l.characters) EXPECT_TRUE(inside(c.box));
    }
}

class LinesState : public ::testing::Test {
  protected:
    void SetUp() override {
        GW_UnloadAllPatternFiles();
        ASSERT_EQ(GW_LoadPatternFile(GW_PATTERN_FILE), 1);
        if (!render::TextRenderer(accuracy::kOcrBPath).Valid()) GTEST_SKIP() << "no OCR-B font";
        dir_ = fs::temp_directory_path() / ("glyphwick-lines-" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::string& contents) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << contents;
        return path;
    }

    fs::path dir_;
};

}  // namespace

// A list of users is not a pattern file, nor is a PNG, nor a file that opens
// fonts but holds no patterns: each is refused without quoting the file, and
// the next plain reading reads as before, by name too. A good file given to
// one reading serves that reading only.
TEST_F(LinesState, PatternFilesThatDoNotLoadChangeNothing) {
    const auto image = ImageOf(Render("K9XQ 4711"));
    LineOptions all;
    all.allLines = true;
    const LinesResult before = ReadLines(*image, all);
    ASSERT_EQ(before.status, kLinesOk) << before.error;
    ASSERT_EQ(before.font, "OCRB");
    ASSERT_FALSE(before.lines.empty());
    int32_t fontsBefore = 0;
    GW_GetFontList(nullptr, &fontsBefore);

    std::string users;  // more lines than a file may open fonts
    for (int i = 0; i < 30; ++i)
        users += "user" + std::to_string(i) + ":x:100" + std::to_string(i) +
                 ":100:Secret Person:/home/u:/bin/sh\n";
    std::string shortUsers = "root:x:0:0:root:/root:/bin/bash\ndaemon:x:1:1::/:/bin/false\n";
    std::string png;
    {
        DVImageProcessor tiny;
        ASSERT_EQ(tiny.Create(8, 8, dv::PixelFormat8bppIndexed), 0u);
        const std::string path = (dir_ / "tiny.png").string();
        ASSERT_EQ(tiny.SaveToFile(path.c_str(), 5, nullptr), 0u);
        std::ifstream in(path, std::ios::binary);
        png.assign(std::istreambuf_iterator<char>(in), {});
        ASSERT_EQ(png.substr(1, 3), "PNG");
    }
    const std::string files[] = {Write("passwd", users), Write("group", shortUsers),
                                 Write("picture.png", png)};
    for (const std::string& file : files) {
        LineOptions o = all;
        o.patternFiles = {file};
        const LinesResult bad = ReadLines(*image, o);
        EXPECT_EQ(bad.status, kLinesBadPatterns) << file;
        EXPECT_TRUE(bad.lines.empty());
        EXPECT_NE(bad.error.find(file), std::string::npos) << bad.error;
        EXPECT_EQ(bad.error.find("root"), std::string::npos) << bad.error;
        EXPECT_EQ(bad.error.find("Secret"), std::string::npos) << bad.error;
        EXPECT_EQ(bad.error.find("PNG"), std::string::npos) << bad.error;

        const LinesResult after = ReadLines(*image, all);
        EXPECT_EQ(after.font, "OCRB");
        EXPECT_EQ(Texts(after), Texts(before));
        LineOptions named = all;
        named.font = "ocrb";
        EXPECT_EQ(Texts(ReadLines(*image, named)), Texts(before)) << file;
    }
    // The process's fonts are untouched too.
    int32_t count = 0;
    GW_GetFontList(nullptr, &count);
    EXPECT_EQ(count, fontsBefore);

    // The shipped file under another font name: that reading uses it, the
    // next plain one the store's fonts again.
    std::ifstream shipped(GW_PATTERN_FILE, std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(shipped), {});
    const size_t at = text.find("\nOCRB");
    ASSERT_NE(at, std::string::npos);
    text.replace(at + 1, 4, "MINE");
    LineOptions mine = all;
    mine.patternFiles = {Write("mine.PAT", text)};
    const LinesResult own = ReadLines(*image, mine);
    ASSERT_EQ(own.status, kLinesOk) << own.error;
    EXPECT_EQ(own.font, "MINE");
    EXPECT_EQ(Texts(own), Texts(before));
    EXPECT_EQ(ReadLines(*image, all).font, "OCRB");
}

// A cancelled reading stops before it reads anything; a budget used up at
// once does too; both say why. Without a limit the reading is whole.
TEST_F(LinesState, BudgetAndCancellationStopTheReading) {
    const auto image = ImageOf(Render("AB12 CD34"));
    LineOptions o;
    const LinesResult whole = ReadLines(*image, o);
    ASSERT_EQ(whole.status, kLinesOk);
    EXPECT_FALSE(whole.stopped);
    EXPECT_TRUE(whole.stopReason.empty());
    ASSERT_EQ(whole.lines.size(), 1u);

    std::atomic<bool> cancel{true};
    o.budget.cancel = &cancel;
    const LinesResult cancelled = ReadLines(*image, o);
    EXPECT_EQ(cancelled.status, kLinesOk);
    EXPECT_TRUE(cancelled.stopped);
    EXPECT_EQ(cancelled.stopReason, "cancelled");
    EXPECT_TRUE(cancelled.lines.empty());

    cancel = false;
    o.budget.seconds = 1e-9;
    const LinesResult late = ReadLines(*image, o);
    EXPECT_TRUE(late.stopped);
    EXPECT_NE(late.stopReason.find("time budget"), std::string::npos) << late.stopReason;
    EXPECT_TRUE(late.lines.empty());

    o.budget.seconds = -1;  // no limit
    const LinesResult unlimited = ReadLines(*image, o);
    EXPECT_FALSE(unlimited.stopped);
    EXPECT_EQ(Texts(unlimited), Texts(whole));
}

// A 14 x 48 raster of diagonal stripes, read with trimming and splitting,
// gave an object box trimmed to nothing (left past right, outside the image)
// as a line of its own. Every box of every option lies inside the image.
TEST_F(LinesState, EveryBoxLiesInsideTheImage) {
    constexpr int kWidth = 14, kHeight = 48;
    std::vector<uint8_t> pixels(kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) pixels[y * kWidth + x] = (x + y) % 7 < 2 ? 0 : 255;
    for (int flip = 0; flip < 2; ++flip) {
        for (int option = 0; option < 8; ++option) {
            PixelRows p{pixels.data(), kWidth, kHeight, kWidth, 1, 1, 1};
            if (flip == 1) p.pixels += (kHeight - 1) * kWidth, p.rowStep = -kWidth;
            LineOptions o;
            o.allLines = true;
            o.minWidth = o.minHeight = 1;
            o.trim = (option & 1) != 0;
            o.holes = (option & 2) != 0 ? 50 : 0;
            o.split = (option & 4) != 0;
            const LinesResult r = ReadLines(p, o);
            ASSERT_EQ(r.status, kLinesOk) << r.error;
            SCOPED_TRACE("flip " + std::to_string(flip) + " option " + std::to_string(option));
            EXPECT_FALSE(r.objects.empty());
            ExpectBoxesInside(r, kWidth, kHeight);
        }
    }
}
