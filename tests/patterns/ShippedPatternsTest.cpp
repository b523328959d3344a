// The shipped pattern file and the builder that makes it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Builder.h"
#include "DevSet.h"
#include "Glyphwick.h"
#include "TextRender.h"
#include "support/Page.h"

using namespace gw;

namespace {

patterns::Observation Obs(const std::string& cells, int32_t hundredths = 60) {
    patterns::Observation o;
    o.cells = cells;
    o.ratioWhole = hundredths / 100;
    o.ratioHundredths = hundredths % 100;
    return o;
}

}  // namespace

TEST(ShippedPatterns, LoadsBothFontsInOrderAndReadsALineOfEach) {
    GW_UnloadAllPatternFiles();
    ASSERT_EQ(GW_LoadPatternFile(GW_PATTERN_FILE), 1);
    EXPECT_EQ(gwtest::FontNames(), (std::vector<std::string>{"OCRB", "OCRA"}));

    const std::pair<const char*, const char*> fonts[] = {{"OCRB", accuracy::kOcrBPath},
                                                         {"OCRA", accuracy::kOcrAPath}};
    for (const auto& [name, path] : fonts) {
        render::TextRenderer renderer(path);
        ASSERT_TRUE(renderer.Valid()) << path;
        for (int cap : {28, 32}) {
            render::Variation v;
            v.capHeight = cap;
            v.offsetX = 0.4;
            const std::string line = "P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<";
            EXPECT_EQ(accuracy::ReadImage(renderer.RenderLine(line, v), name, cap), line)
                << name << " at " << cap;
            const std::string text = "DATE OF BIRTH 12.04.1974";
            EXPECT_EQ(accuracy::ReadImage(renderer.RenderLine(text, v), name, cap), text)
                << name << " at " << cap;
        }
    }
    GW_UnloadAllPatternFiles();
}

TEST(PatternBuilder, CellCodesFollowTheExpectedPointsAndTellRivalsApart) {
    const auto blank = Obs("-"), full = Obs("X"), half = Obs("1"), light = Obs("0");
    // Unanimous cells get their own code; an even split of blank and full ink
    // gets "?", the only code that costs nothing.
    EXPECT_EQ(patterns::BestCells({&blank, &blank}, 1, 0.0), "-");
    EXPECT_EQ(patterns::BestCells({&full, &half}, 1, 0.0), "X");
    EXPECT_EQ(patterns::BestCells({&blank, &full}, 1, 0.0), "?");
    EXPECT_EQ(patterns::BestCells({&blank, &light}, 1, 0.0), "0");
    // Ten in eleven blank: "-" gives up 2/11 points, within a tolerance of 0.3.
    std::vector<const patterns::Observation*> mostly(10, &blank);
    mostly.push_back(&light);
    EXPECT_EQ(patterns::BestCells(mostly, 1, 0.0), "0");
    EXPECT_EQ(patterns::BestCells(mostly, 1, 0.3), "-");

    // Among codes that cost little, the one that earns a rival least: a rival
    // with ink in the cell makes "-" preferable to "0".
    std::vector<const patterns::Observation*> rival = {&full, &full};
    EXPECT_EQ(patterns::DiscriminativeCells(mostly, {&rival}, 1, 0.3), "-");
    std::vector<const patterns::Observation*> blankRival = {&blank};
    EXPECT_EQ(patterns::DiscriminativeCells({&blank, &full}, {&blankRival}, 1, 0.0), "?");

    EXPECT_EQ(patterns::Score("-X?", "-X1"), 12);
    EXPECT_EQ(patterns::Score("-", "X"), -40);
    EXPECT_EQ(patterns::RatioText(45), "0.45");
    EXPECT_EQ(patterns::RatioText(105), "1.05");
    EXPECT_EQ(patterns::RatioText(5000), "9.99");
}
