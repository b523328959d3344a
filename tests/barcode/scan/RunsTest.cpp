// Splitting a line's grey levels into runs: the narrow elements that blur
// keeps from crossing the threshold, and a threshold nearer the paper.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "barcode/scan/Runs.h"

namespace {

using gw::barcodes::FindRuns;
using gw::barcodes::Runs;
using gw::barcodes::RunsWork;

constexpr uint8_t kPaper = 200, kInk = 40;

// Paper with two bars of 8 samples (20 to 27 and 45 to 52) and the given
// levels from sample 28 on, up to the second bar.
std::vector<uint8_t> Profile(const std::vector<uint8_t>& between) {
    std::vector<uint8_t> p(81, kPaper);
    for (int i = 20; i < 28; ++i) p[size_t(i)] = kInk;
    for (int i = 45; i < 53; ++i) p[size_t(i)] = kInk;
    for (size_t k = 0; k < between.size(); ++k) p[28 + k] = between[k];
    return p;
}

std::vector<uint8_t> Negated(std::vector<uint8_t> p) {
    for (uint8_t& v : p) v = uint8_t(255 - v);
    return p;
}

Runs Split(const std::vector<uint8_t>& p) {
    Runs runs;
    RunsWork work;
    FindRuns(p, 16, 20, runs, work);
    return runs;
}

TEST(BarcodeRuns, FaintNarrowElementBecomesItsOwnRun) {
    // A dip to 140 between the bars stays above the threshold (120), yet is
    // a bar: three runs more than the plain bars' five, the new dark one
    // centred on the dip. Negated, the same holds for a faint space in a bar.
    const std::vector<std::pair<std::vector<uint8_t>, float>> cases = {
        {{200, 200, 200, 200, 200, 200, 170, 140, 170}, 35.0f},  // mid-run
        {{200, 150, 200}, 29.0f},  // right after the bar: falls at the run's second sample
    };
    for (const auto& [between, centre] : cases) {
        for (const bool negate : {false, true}) {
            const std::vector<uint8_t> p = negate ? Negated(Profile(between)) : Profile(between);
            const Runs runs = Split(p);
            ASSERT_EQ(runs.Count(), 7u) << "centre " << centre << " negated " << negate;
            EXPECT_EQ(runs.Dark(3), !negate);
            EXPECT_NEAR((runs.edges[3] + runs.edges[4]) / 2, centre, 0.5f);
            EXPECT_GT(runs.Width(3), 0.2f);
            EXPECT_LT(runs.Width(3), 2.0f);
        }
    }
}

TEST(BarcodeRuns, ShouldersAndShallowDipsAreNoElement) {
    // Levels falling in steps towards the next bar, or rising from the last,
    // never rise again after falling: no dip. A dip 30 deep is less than a
    // quarter of the contrast around it (160). Either way the bars' five runs.
    const std::vector<std::vector<uint8_t>> cases = {
        {200, 200, 200, 200, 200, 200, 200, 190, 180, 170, 170, 170, 170, 170, 170, 170, 170},
        {170, 170, 170, 180, 190, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 200},
        {200, 200, 200, 200, 170, 170, 170, 170, 170, 200, 200, 200, 200, 200, 200, 200, 200},
    };
    for (size_t k = 0; k < cases.size(); ++k) {
        for (const bool negate : {false, true}) {
            const std::vector<uint8_t> p = negate ? Negated(Profile(cases[k])) : Profile(cases[k]);
            EXPECT_EQ(Split(p).Count(), 5u) << "case " << k << " negated " << negate;
        }
    }
}

TEST(BarcodeRuns, AThresholdNearerThePaperCrossesALightBar) {
    // A light bar (two samples at 150) between the bars: above the middle of
    // paper and ink (120), below the level 179/256 of the way up (154).
    // Without its dip split the middle threshold leaves it paper; the raised
    // one makes it a dark run centred on it, as wide as the threshold's
    // crossings (between its samples' centres and the samples beside).
    const std::vector<uint8_t> p = Profile({200, 200, 200, 200, 200, 200, 150, 150});
    Runs runs;
    RunsWork work;
    FindRuns(p, 16, 20, runs, work, false);
    EXPECT_EQ(runs.Count(), 5u);
    FindRuns(p, 16, 20, runs, work, false, 179);
    ASSERT_EQ(runs.Count(), 7u);
    EXPECT_TRUE(runs.Dark(3));
    EXPECT_NEAR((runs.edges[3] + runs.edges[4]) / 2, 34.5f, 0.5f);
    EXPECT_GT(runs.Width(3), 0.8f);
    EXPECT_LT(runs.Width(3), 2.0f);
}

}  // namespace
