// Helpers of the recognition tests: pattern files written by the tests, a
// page image to draw on, areas over it, and objects placed directly in the
// current area's list.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "DVImageProcessor.h"
#include "Glyphwick.h"
#include "area/Area.h"
#include "support/Page.h"
#include "support/TestSupport.h"
#include "recognition/Score.h"

namespace rectest {

/// Loads text as a pattern file; returns GW_LoadPatternFile's result.
inline int32_t Load(const std::string& text) {
    const gwtest::TempFolder folder;
    const std::string path = folder.Path("fonts.PAT");
    std::ofstream(path, std::ios::binary) << text;
    return GW_LoadPatternFile(path.c_str());
}

using gwtest::AreaOver;
using gwtest::FontNames;
using gwtest::OpenParams;
using gwtest::Page;

/// The current area's list.
inline ObjectList& List() {
    return *gw::CurrentArea()->objects;
}

/// Appends an object with the given box to the current area's list.
inline gw::Object* Add(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    const int32_t rect[4] = {left, top, right, bottom};
    return List().Append(rect, 0, 0);
}

/// Makes the area's working rows the image's rows (as after a clean).
inline void LoadRows() {
    gw::LoadWorkRows(*gw::CurrentArea());
}

/// Destroys the area and empties the pattern store around every test.
class RecognitionTest : public testing::Test {
  protected:
    void SetUp() override { GW_UnloadAllPatternFiles(); }
    void TearDown() override {
        GW_DestroyArea();
        GW_UnloadAllPatternFiles();
    }
};

/// The same with an area over a blank 8 x 8 page, for objects placed in its
/// list directly.
class ObjectListTest : public RecognitionTest {
  protected:
    void SetUp() override {
        RecognitionTest::SetUp();
        NewArea();
    }
    /// Replaces the area with a fresh one with an empty list.
    void NewArea() {
        GW_DestroyArea();
        ASSERT_NE(AreaOver(page_), nullptr);
    }
    Page page_{8, 8};
};

/// One pattern block: character, ratios and rows.
inline std::string Pattern(char c, const std::string& rows, const char* low = "0.00",
                           const char* high = "9.99") {
    return std::string(1, c) + " " + low + " " + high + " " + rows + "\n";
}

/// The scores of cell codes against every pattern of the font from the fast
/// sums: 4 points a biased point, less the bias of 10 a cell.
inline void ScorePatterns(const gw::PatternFont& font, const uint8_t* codes, int32_t* scores) {
    std::vector<uint16_t> sums(gw::PatternStride(font.patterns.size()));
    gw::SumPatterns(font, codes, sums.data());
    for (size_t p = 0; p < font.patterns.size(); ++p)
        scores[p] = 4 * (sums[p] - 10 * font.preparedCells);
}

}  // namespace rectest
