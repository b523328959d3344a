// The shared scan: run extraction, the 40-line plan, reference counts,
// clearing, merging, the row refresh and the beep per run boundary.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "barcode/BarcodeTestSupport.h"
#include "area/Area.h"
#include "barcode/rect/ScanPlan.h"

namespace {

using bartest::Page;

struct AreaOn {
    explicit AreaOn(Page& page, RECT rect) {
        const AREAPARAMS params = bartest::Params();
        area = GW_InitialiseArea(&page.image, &rect, &params);
        EXPECT_NE(area, nullptr);
        if (area != nullptr) gw::LoadWorkRows(*area);
    }
    ~AreaOn() { GW_DestroyArea(); }
    AREAINFO* area = nullptr;
};

// The widths of one line as the scan counts them.
size_t Widths(const AREAINFO& area, int32_t left, int32_t right, int32_t y) {
    return size_t(gw::CountRuns(area, left, right, y));
}

gw::LineCounts Counts(const std::vector<std::pair<int, int32_t>>& linesAndCounts) {
    gw::LineCounts counts{};
    for (auto [k, count] : linesAndCounts) counts[size_t(k - 1)] = count;
    return counts;
}

TEST(Runs, EdgesOfALine) {
    for (bool oneBit : {false, true}) {
        Page page(60, 5, oneBit);
        page.Runs({3, 2, 4, 1, 5}, 10, 0, 4);  // bars at 10-12, 15-18, 20-24
        AreaOn on(page, bartest::Whole(page));
        const AREAINFO& area = *on.area;
        // Paper before the first bar is not recorded; the last bar is, and
        // the paper after it, in progress at the right end, is not.
        EXPECT_EQ(Widths(area, 0, 59, 2), 5u);
        // A bar touching the right column is the run in progress: dropped.
        EXPECT_EQ(Widths(area, 0, 24, 2), 4u);
        // Starting inside a bar records its visible part.
        EXPECT_EQ(Widths(area, 16, 59, 2), 3u);
        EXPECT_EQ(Widths(area, 17, 59, 2), 3u);
        // left > right reads nothing; a row outside the area reads nothing.
        EXPECT_EQ(gw::CountRuns(area, 30, 29, 2), 0);
        EXPECT_EQ(gw::CountRuns(area, 0, 59, 5), 0);
        EXPECT_EQ(gw::CountRuns(area, 0, 59, -1), 0);
    }
}

TEST(Runs, ThresholdDecidesInkOnBytes) {
    Page page(30, 3, false);
    const uint8_t dark = 100, light = 200;
    for (uint32_t x = 5; x < 10; ++x) page.image.SetBytes(1, x, &dark, 1);
    for (uint32_t x = 12; x < 14; ++x) page.image.SetBytes(1, x, &light, 1);
    const RECT whole = bartest::Whole(page);
    // Ink is a byte below the low byte of the threshold (0 means 128).
    const std::pair<uint32_t, size_t> cases[] = {{0, 1},     {100, 0},   {150, 1},  {201, 3},
                                                 {0x1C9, 3}, {0x164, 0}, {0x100, 0}};
    for (const auto& [threshold, expected] : cases) {
        AREAPARAMS params = bartest::Params();
        params.threshold = threshold;
        AREAINFO* area = GW_InitialiseArea(&page.image, &whole, &params);
        ASSERT_NE(area, nullptr);
        gw::LoadWorkRows(*area);
        EXPECT_EQ(Widths(*area, 0, 29, 1), expected) << threshold;
        GW_DestroyArea();
    }
}

TEST(Runs, MatchPixelByPixelReading) {
    // Random rows of short runs, read from random columns to random ends,
    // against a reading of one pixel at a time through the area's accessor.
    std::mt19937 random(5);
    for (bool oneBit : {false, true}) {
        Page page(300, 8, oneBit);
        for (uint32_t y = 0; y < 8; ++y) {
            bool ink = random() % 2 == 0;
            for (uint32_t x = 0; x < 300;) {
                const uint32_t run = 1 + random() % (y + 2);
                for (uint32_t k = 0; k < run && x < 300; ++k, ++x) page.Set(x, y, ink);
                ink = !ink;
            }
        }
        AreaOn on(page, bartest::Whole(page));
        bartest::SignalLog log;
        for (int trial = 0; trial < 200; ++trial) {
            const int32_t y = int32_t(random() % 8);
            const int32_t left = int32_t(random() % 300);
            const int32_t right = left + int32_t(random() % uint32_t(300 - left));
            size_t expected = 0;
            uint64_t changes = 0;
            bool previous = false;
            int32_t start = -1;
            for (int32_t x = left; x <= right; ++x) {
                const bool ink = gw::IsInk(on.area->workRows, y, x) != 0;
                if (ink == previous && start >= 0) continue;
                if (start < 0 && !ink) continue;
                if (start >= 0) ++expected;
                start = x;
                previous = ink;
                ++changes;
            }
            log.beeps = 0;
            ASSERT_EQ(Widths(*on.area, left, right, y), expected)
                << left << ".." << right << " row " << y;
            ASSERT_EQ(log.beeps, changes);
        }
    }
}

TEST(ScanPlan, LinesAreSpacedByAFortyFirstOfTheHeight) {
    // 83 rows: step (82 - 0) / 41 = 2, lines on rows 2, 4, ..., 80. Every
    // row r gets r % 7 + 1 bars of 1 pixel 1 apart (2 * (r % 7 + 1) - 1 widths), so
    // counts show which rows were read.
    Page page(40, 83, false);
    for (uint32_t r = 0; r < 83; ++r) {
        std::vector<uint32_t> runs;
        for (uint32_t b = 0; b <= r % 7; ++b) runs.insert(runs.end(), {1, 1});
        page.Runs(runs, 2, r, r);
    }
    AreaOn on(page, bartest::Whole(page));
    gw::ScanPlan plan = gw::ScanRectangle(*on.area, RECT{0, 0, 39, 82});
    for (int k = 1; k <= 40; ++k)
        EXPECT_EQ(plan.counts[size_t(k - 1)], int32_t((2 * k) % 7 + 1) * 2 - 1) << "line " << k;
    // bottom - top of 40 or less: step 0, every line reads row top, and all
    // 40 add its widths.
    plan = gw::ScanRectangle(*on.area, RECT{0, 10, 39, 50});
    for (const int32_t count : plan.counts) EXPECT_EQ(count, (10 % 7 + 1) * 2 - 1);
    EXPECT_EQ(gw::MergeSums(plan, 7), gw::MergedWidths(7, 40));
}

TEST(ReferenceCount, Code39TakesTheMostFrequentOfElevenOrMore) {
    // 29 on lines 1-10, 31 on lines 11-20, 10 or fewer on the rest: 29,
    // met first among equally frequent counts.
    std::vector<std::pair<int, int32_t>> lines;
    for (int k = 1; k <= 40; ++k) lines.push_back({k, k <= 10 ? 29 : k <= 20 ? 31 : k % 11});
    EXPECT_EQ(gw::MostFrequentCount(Counts(lines)), 29);
    // One more line of 31 beats it.
    lines[21] = {22, 31};
    EXPECT_EQ(gw::MostFrequentCount(Counts(lines)), 31);
    // Counts of 10 never count, however many lines have them.
    std::vector<std::pair<int, int32_t>> tens;
    for (int k = 1; k <= 40; ++k) tens.push_back({k, k == 40 ? 11 : 10});
    EXPECT_EQ(gw::MostFrequentCount(Counts(tens)), 11);
    tens.back() = {40, 10};
    EXPECT_EQ(gw::MostFrequentCount(Counts(tens)), 0);
    // Code 128 takes line 21 whatever it holds.
    EXPECT_EQ(gw::Line21Count(Counts({{21, 3}, {1, 40}, {2, 40}})), 3);
}

TEST(ReferenceCount, OnlyAgreeingLinesAreMerged) {
    // 83 rows: line k on row 2k. Lines with k % 4 == 0 hold 13 widths of 4
    // and are left out; the 30 others 11 widths of 4, except line 1, whose
    // first two widths are 24 and 23.
    Page page(120, 83, false);
    for (int k = 1; k <= 40; ++k) {
        std::vector<uint32_t> runs(k % 4 == 0 ? 13 : 11, 4);
        if (k == 1) runs[0] = 24, runs[1] = 23;
        page.Runs(runs, 5, uint32_t(2 * k), uint32_t(2 * k));
    }
    AreaOn on(page, bartest::Whole(page));
    gw::ScanPlan plan = gw::ScanRectangle(*on.area, bartest::Whole(page));
    EXPECT_EQ(plan.counts[3], 13);
    EXPECT_EQ(gw::MostFrequentCount(plan.counts), 11);
    gw::MergedWidths sums(11, 120);
    sums[0] = 140, sums[1] = 139;
    EXPECT_EQ(gw::MergeSums(plan, 11), sums);
    // Means divide by 40, not by the 30 kept (120 / 40 is 3, not 4), and a
    // remainder of 20 rounds up, 19 down.
    gw::MergedWidths means(11, 3);
    means[0] = 4;
    EXPECT_EQ(gw::MergeMeans(plan, 11), means);
    // Line 21 missing the barcode: every line that crossed it is left out.
    for (uint32_t x = 0; x < 120; ++x) page.Set(x, 42, false);
    plan = gw::ScanRectangle(*on.area, bartest::Whole(page));
    EXPECT_EQ(gw::Line21Count(plan.counts), 0);
    EXPECT_TRUE(gw::MergeMeans(plan, 0).empty());
}

}  // namespace
