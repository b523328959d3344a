// Subband layout and wavelet synthesis on frames of many sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "WsqInternal.h"

namespace {

using gw::wsq::Status;

// 9/7 synthesis filters as a transform table of the usual files defines them.
gw::wsq::TransformTable UsualFilters() {
    gw::wsq::TransformTable t;
    t.defined = true;
    const float hiHalf[] = {0.852698573f, -0.377402819f, -0.110624399f, 0.023849464f, 0.037828452f};
    const float loHalf[] = {0.788485632f, 0.418092319f, -0.040689422f, -0.064538885f};
    t.hi.resize(9);
    t.lo.resize(7);
    for (int k = 0; k < 5; ++k)
        t.hi[static_cast<size_t>(4 + k)] = t.hi[static_cast<size_t>(4 - k)] = hiHalf[k];
    for (int k = 0; k < 4; ++k)
        t.lo[static_cast<size_t>(3 + k)] = t.lo[static_cast<size_t>(3 - k)] = loHalf[k];
    return t;
}

// The 64 subband slots (60 coded, 4 never coded) cover every pixel once.
TEST(WsqTransform, SubbandsTileTheFrame) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> side(1, 700);
    std::vector<std::pair<int, int>> sizes = {{1, 1},     {17, 13},   {53, 33},
                                              {203, 181}, {256, 256}, {500, 500}};
    for (int i = 0; i < 60; ++i) sizes.emplace_back(side(rng), side(rng));
    for (auto [w, h] : sizes) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const gw::wsq::Geometry g = gw::wsq::BuildGeometry(w, h);
        std::vector<int> cover(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
        for (const gw::wsq::Region& r : g.subband) {
            ASSERT_TRUE(r.x >= 0 && r.y >= 0 && r.w >= 0 && r.h >= 0 && r.x + r.w <= w &&
                        r.y + r.h <= h);
            for (int y = r.y; y < r.y + r.h; ++y) {
                for (int x = r.x; x < r.x + r.w; ++x) ++cover[static_cast<size_t>(y) * w + x];
            }
        }
        for (int c : cover) ASSERT_EQ(c, 1);
        EXPECT_EQ(g.node[0].w, w);
        EXPECT_EQ(g.node[0].h, h);
    }
}

// Lines of one sample cannot be synthesized; from four samples on, every read
// stays inside the line; two and three samples read past it, as the reference
// decoder does.
TEST(WsqTransform, LinePlansStayInsideFromFourSamples) {
    const gw::wsq::TransformTable t = UsualFilters();
    gw::wsq::LinePlan plan;
    for (bool invert : {false, true}) {
        EXPECT_EQ(gw::wsq::BuildLinePlan(1, invert, t, &plan), Status::FrameTooSmall);
        for (int n : {2, 3}) {
            ASSERT_EQ(gw::wsq::BuildLinePlan(n, invert, t, &plan), Status::Ok);
            EXPECT_TRUE(plan.minOffset < 0 || plan.maxOffset >= n) << n;
        }
        for (int n = 4; n <= 600; ++n) {
            ASSERT_EQ(gw::wsq::BuildLinePlan(n, invert, t, &plan), Status::Ok) << n;
            ASSERT_EQ(plan.first.size(), static_cast<size_t>(n) + 1);
            ASSERT_GE(plan.minOffset, 0) << n;
            ASSERT_LT(plan.maxOffset, n) << n;
        }
    }
}

// The vectorised path (rows filtered as columns of transposed strips) gives
// the same floats as the scalar path in the reference's memory layout.
TEST(WsqTransform, FastPathEqualsReferenceLayout) {
    const gw::wsq::TransformTable t = UsualFilters();
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> side(49, 420), value(-300, 300);
    std::vector<std::pair<int, int>> sizes = {{49, 49}, {64, 64}, {203, 181}, {256, 17 * 16}};
    for (int i = 0; i < 25; ++i) sizes.emplace_back(side(rng), side(rng));
    for (auto [w, h] : sizes) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const gw::wsq::Geometry g = gw::wsq::BuildGeometry(w, h);
        gw::wsq::Synthesis fast;
        ASSERT_EQ(gw::wsq::PlanSynthesis(g, t, w, h, &fast), Status::Ok);
        ASSERT_TRUE(fast.rowsInLine);
        gw::wsq::Synthesis reference = fast;
        reference.rowsInLine = false;

        std::vector<float> a(static_cast<size_t>(w) * static_cast<size_t>(h));
        for (float& v : a) v = static_cast<float>(value(rng)) * 0.37f;
        std::vector<float> b = a, scratch;
        gw::wsq::Reconstruct(g, fast, w, h, a.data(), &scratch);
        gw::wsq::Reconstruct(g, reference, w, h, b.data(), &scratch);
        ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0);
    }
}

}  // namespace
