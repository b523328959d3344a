// Identification: cell codes, grid normalisation, scoring, ratio admission,
// the five tries and the three identification exports.
#include <random>
#include <string>

#include "RecognitionTestSupport.h"
#include "recognition/Identify.h"
#include "recognition/Score.h"

namespace {

using rectest::Add;
using rectest::Load;
using rectest::Page;
using rectest::Pattern;

class IdentifyTest : public rectest::RecognitionTest {};

const std::string kSolid5 = "XXXXX XXXXX XXXXX XXXXX XXXXX";

TEST_F(IdentifyTest, CellCodes) {
    Page page(40, 12);
    ASSERT_NE(rectest::AreaOver(page), nullptr);
    page.Ink(0, 0);            // 1 of 3 is "1"
    page.Ink(10, 0);           // 1 of 5 is "0"
    page.Block(20, 0, 21, 0);  // 2 of 5 is "1"
    page.Block(30, 0, 32, 1);  // all of 6 is "X"
    page.Block(0, 10, 3, 11);  // the area's last two rows
    rectest::LoadRows();
    const AREAINFO& area = *gw::CurrentArea();
    EXPECT_EQ(gw::ClassifyCell(area, 0, 0, 3, 1), '1');
    EXPECT_EQ(gw::ClassifyCell(area, 10, 0, 5, 1), '0');
    EXPECT_EQ(gw::ClassifyCell(area, 20, 0, 5, 1), '1');
    EXPECT_EQ(gw::ClassifyCell(area, 30, 0, 3, 2), 'X');
    EXPECT_EQ(gw::ClassifyCell(area, 5, 5, 4, 4), '-');
    EXPECT_EQ(gw::ClassifyCell(area, 30, 0, 0, 2), '-');  // no width
    EXPECT_EQ(gw::ClassifyCell(area, 30, 0, 3, 0), '-');  // no height
    // Pixels below the area are never ink: 8 of 16 is "1", not "X".
    EXPECT_EQ(gw::ClassifyCell(area, 0, 10, 4, 4), '1');
    EXPECT_EQ(gw::ClassifyCell(area, -4, -4, 8, 8), '0');  // 1 of 64
}

TEST_F(IdentifyTest, FastFormsAgreeWithThePlainOnes) {
    // Scoring: the font's tables give CompareCells' score for every pattern,
    // including patterns shorter than the grid and codes that earn nothing,
    // for fonts of one to several groups of lanes and grids long enough that
    // the byte sums are widened several times.
    std::mt19937 random(7);
    const char patternCodes[] = "-01X/?a";
    for (int round = 0; round < 60; ++round) {
        const int32_t cells = 1 + static_cast<int32_t>(random() % 300);
        std::string object(static_cast<size_t>(cells), '-');
        std::vector<uint8_t> codes(static_cast<size_t>(cells));
        for (int32_t i = 0; i < cells; ++i) {
            codes[i] = static_cast<uint8_t>(random() % 4);
            object[i] = gw::kObjectCodes[codes[i]];
        }
        gw::PatternFont font;
        font.gridWidth = cells;
        font.gridHeight = 1;
        font.patterns.resize(1 + random() % 80);
        for (gw::CharPattern& pattern : font.patterns) {
            const size_t length = random() % 3 == 0 ? random() % (cells + 1) : size_t(cells);
            for (size_t i = 0; i < length; ++i) pattern.cells += patternCodes[random() % 7];
        }
        gw::PrepareFont(font);
        std::vector<int32_t> scores(font.patterns.size());
        rectest::ScorePatterns(font, codes.data(), scores.data());
        for (size_t p = 0; p < font.patterns.size(); ++p) {
            ASSERT_EQ(scores[p], gw::CompareCells(object.c_str(), font.patterns[p].cells))
                << object << " / " << font.patterns[p].cells;
        }
        // Sums found from another object's by the cells that differ (a few,
        // or so many that they are summed afresh) are the full sums.
        const size_t stride = gw::PatternStride(font.patterns.size());
        std::vector<uint16_t> baseSums(stride), sums(stride), resummed(stride);
        gw::SumPatterns(font, codes.data(), baseSums.data());
        std::vector<uint8_t> other = codes;
        const int32_t changes = random() % 2 == 0 ? cells / 8 : cells;
        for (int32_t k = 0; k < changes; ++k) other[random() % cells] = random() % 4;
        gw::SumPatterns(font, other.data(), sums.data());
        gw::ResumPatterns(font, codes.data(), baseSums.data(), other.data(), resummed.data());
        ASSERT_EQ(resummed, sums) << "changes " << changes << " of " << cells;
        // The best admitted pattern: the first of the highest score.
        std::vector<uint8_t> admitted(stride, 0);
        for (size_t p = 0; p < font.patterns.size(); ++p) admitted[p] = random() % 3 != 0;
        admitted[random() % font.patterns.size()] = 1;
        size_t expected = stride;
        for (size_t p = 0; p < font.patterns.size(); ++p) {
            if (admitted[p] != 0 && (expected == stride || scores[p] > scores[expected]))
                expected = p;
        }
        int32_t best = 0;
        EXPECT_EQ(gw::BestAdmitted(font, baseSums.data(), admitted.data(), &best), expected);
        EXPECT_EQ(best, scores[expected]);
    }
    EXPECT_EQ(gw::CompareCells("-0X1", "-0X"), 4 * (1 + 1 + 1));
    EXPECT_EQ(gw::CompareCells("X", "-"), -40);
    // The largest grid at the best and the worst score per cell.
    gw::PatternFont largest;
    largest.gridWidth = gw::kMaxGridCells;
    largest.gridHeight = 1;
    largest.patterns.resize(2);
    largest.patterns[0].cells.assign(gw::kMaxGridCells, '?');
    largest.patterns[1].cells.assign(gw::kMaxGridCells, '-');
    gw::PrepareFont(largest);
    const std::vector<uint8_t> inked(gw::kMaxGridCells, 3);
    int32_t extremes[2] = {};
    rectest::ScorePatterns(largest, inked.data(), extremes);
    EXPECT_EQ(extremes[0], 4 * gw::kMaxGridCells);
    EXPECT_EQ(extremes[1], -40 * gw::kMaxGridCells);
    // From the highest sum to one 11 points a changed cell lower, and back.
    std::vector<uint8_t> emptier = inked;
    for (size_t i = 0; i < emptier.size(); i += 9) emptier[i] = 0;
    std::vector<uint16_t> high(16), low(16), resummed(16);
    gw::SumPatterns(largest, inked.data(), high.data());
    gw::SumPatterns(largest, emptier.data(), low.data());
    gw::ResumPatterns(largest, inked.data(), high.data(), emptier.data(), resummed.data());
    EXPECT_EQ(resummed, low);
    gw::ResumPatterns(largest, emptier.data(), low.data(), inked.data(), resummed.data());
    EXPECT_EQ(resummed, high);

    // Cell strings: the matcher's cells are NormaliseToGrid's, for any box
    // on any grid, inside, across and outside the area.
    ASSERT_EQ(Load("F MATRIX_SIZE=1x1 " + Pattern('q', "?")), 1);
    gw::PatternFont& font = *gw::Store().fonts[0];
    font.patterns[0].low = {INT32_MIN, 0};
    font.patterns[0].high = {INT32_MAX, 0};
    Page page(48, 30);
    // Grey levels about the threshold (128): 127 is ink, 128 is not.
    const uint8_t greys[] = {0, 100, 127, 128, 129, 200};
    for (int i = 0; i < 600; ++i) page.Ink(random() % 48, random() % 30, greys[random() % 6]);
    ASSERT_NE(rectest::AreaOver(page), nullptr);
    rectest::LoadRows();
    for (int round = 0; round < 300; ++round) {
        font.gridWidth = 1 + static_cast<int32_t>(random() % 12);
        font.gridHeight = 1 + static_cast<int32_t>(random() % 12);
        const int64_t left = static_cast<int64_t>(random() % 60) - 6;
        const int64_t top = static_cast<int64_t>(random() % 40) - 5;
        const gw::Box box = {left, top, left + static_cast<int64_t>(random() % 40) - 2,
                             top + static_cast<int64_t>(random() % 36) - 2};
        // Counted directly, and from the sums of the box for each of its tries.
        gw::FontMatcher direct(*gw::CurrentArea(), font);
        gw::FontMatcher summed(*gw::CurrentArea(), font);
        summed.Begin(box);
        for (int32_t t = 0; t < gw::kTries; ++t) {
            const gw::Box tried = gw::TryOf(box, t);
            const std::string expected =
                gw::NormaliseToGrid(*gw::CurrentArea(), tried, font.gridWidth, font.gridHeight);
            for (gw::FontMatcher* matcher : {&direct, &summed}) {
                std::vector<uint8_t> codes(static_cast<size_t>(matcher->Cells()));
                int32_t score = INT32_MIN;
                char character = 0;
                EXPECT_TRUE(matcher->Match(tried, score, character, codes.data()));
                std::string cells;
                for (uint8_t code : codes) cells += gw::kObjectCodes[code];
                EXPECT_EQ(cells, expected);
                EXPECT_EQ(character, 'q');
                // "?" on the first cell; the cells past the pattern earn 0.
                EXPECT_EQ(score, 4);
            }
        }
    }
}

TEST_F(IdentifyTest, AcceptanceThreshold) {
    // On a solid 5 x 5 box, 20 cells "X" and 5 that earn nothing score 80,
    // which is accepted; 19 and 6 score 76, which gives "?".
    ASSERT_EQ(Load("EIGHTY " + Pattern('A', "XXXXX XXXXX XXXXX XXXXX aaaaa") + "SEVENTYSIX " +
                   Pattern('B', "XXXXX XXXXX XXXXX XXXXa aaaaa")),
              1);
    Page page(20, 20);
    page.Block(2, 2, 6, 6);
    AREAPARAMS params = rectest::OpenParams();
    params.fontName = "eighty";
    ASSERT_NE(rectest::AreaOver(page, params), nullptr);
    rectest::LoadRows();
    Add(2, 2, 6, 6);
    EXPECT_STREQ(GW_IdentifyObjects(), "EIGHTY");
    char* cells = nullptr;
    int32_t score = 0;
    int32_t tag = -1;
    ASSERT_NE(GW_FindFirstObject(), nullptr);
    EXPECT_EQ(GW_GetObjectIdentity(&cells, &score, &tag), 'A');
    EXPECT_EQ(score, 80);
    EXPECT_STREQ(cells, "XXXXXXXXXXXXXXXXXXXXXXXXX");
    EXPECT_EQ(tag, 0);

    params.fontName = "SeventySix";
    ASSERT_NE(rectest::AreaOver(page, params), nullptr);
    rectest::LoadRows();
    Add(2, 2, 6, 6);
    EXPECT_STREQ(GW_IdentifyObjects(), "SEVENTYSIX");
    ASSERT_NE(GW_FindFirstObject(), nullptr);
    EXPECT_EQ(GW_GetObjectIdentity(nullptr, &score, nullptr), '?');
    EXPECT_EQ(score, 76);
}

TEST_F(IdentifyTest, IdentifyOneRectangle) {
    // The pattern admits ratio 1.00 only: the unchanged 5 x 5 box; every try
    // that moves an edge changes the ratio and finds no pattern.
    ASSERT_EQ(Load("SQUARE " + Pattern('S', kSolid5, "1.00", "1.00")), 1);
    Page page(20, 20);
    page.Block(2, 2, 6, 6);
    ASSERT_NE(rectest::AreaOver(page), nullptr);
    rectest::LoadRows();
    int32_t rect[4] = {2, 2, 6, 6};
    IDENTITYINFO* info = GW_IdentifyObject(rect);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(rect[0], 2);
    EXPECT_EQ(rect[3], 6);
    EXPECT_EQ(info->count, 5);
    EXPECT_EQ(info->gridWidth, 5);
    EXPECT_EQ(info->gridHeight, 5);
    EXPECT_EQ(info->reserved, 0);
    EXPECT_EQ(info->character, 'S');
    EXPECT_EQ(info->score, 100);
    EXPECT_STREQ(info->candidates[0].cells, "XXXXXXXXXXXXXXXXXXXXXXXXX");
    EXPECT_EQ(info->candidates[0].reserved1, nullptr);
    for (int t = 1; t < 5; ++t) {
        EXPECT_EQ(info->candidates[t].score, -1) << t;
        EXPECT_EQ(info->candidates[t].character, 0) << t;
        EXPECT_STREQ(info->candidates[t].cells, "") << t;
    }
    FreeIdentityInfo(info);

    // Below 78 the record's character is "?"; with no pattern at all the
    // score stays -1. No object is touched.
    int32_t wide[4] = {0, 0, 19, 5};
    info = GW_IdentifyObject(wide);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->score, -1);
    EXPECT_EQ(info->character, '?');
    FreeIdentityInfo(info);
    EXPECT_EQ(GW_GetNumberOfObjects(), 0);
    EXPECT_EQ(GW_IdentifyObject(nullptr), nullptr);
    FreeIdentityInfo(nullptr);

    // Without a matching font nothing is identified.
    GW_UnloadAllPatternFiles();
    EXPECT_EQ(GW_IdentifyObject(rect), nullptr);
    auto* object = Add(2, 2, 6, 6);
    EXPECT_EQ(GW_IdentifyObjects(), nullptr);
    EXPECT_EQ(object->cellString, nullptr);
}

}  // namespace
