// The whole-image readers on four threads at once, beside a host of the GW_
// exports on the main thread: every call gives what the same call gives on
// one thread. Built with ThreadSanitizer by `make tsan`, this is the race
// test of the readers; in `make test` it checks their results under load.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "DVImageProcessor.h"
#include "Glyphwick.h"
#include "GlyphwickBarcodes.h"
#include "GlyphwickLines.h"
#include "GlyphwickLoad.h"
#include "GlyphwickLock.h"
#include "GlyphwickMrz.h"

namespace {

const std::string kPassport = std::string(GW_SOURCE_DIR) + "/samples/td3-passport.png";
const std::string kCard = std::string(GW_SOURCE_DIR) + "/samples/td1-card.png";
const std::string kScan = std::string(GW_SOURCE_DIR) + "/samples/td3-scan.jpg";

// What one round of calls gives, in a form to compare.
struct Round {
    std::vector<uint32_t> sizes;  // width, height of each load
    std::vector<std::string> texts;
    bool operator==(const Round&) const = default;
};

std::vector<uint8_t> Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Readings without a time limit: under ThreadSanitizer and four threads a
// call runs many times slower than its default budget expects, and a reading
// stopped by time would differ from one that was not.
Round ReadAll(const std::vector<uint8_t>& jpeg) {
    Round r;
    gw::MrzOptions zone;
    zone.budget.seconds = -1;
    gw::BarcodeOptions bars;
    bars.budget.seconds = -1;
    gw::LineOptions o;
    o.allLines = true;
    o.budget.seconds = -1;
    DVImageProcessor passport, card, scan;
    for (auto [image, info] :
         {std::pair{&passport, gw::LoadImageFile(kPassport, passport)},
          std::pair{&card, gw::LoadImageFile(kCard, card)},
          std::pair{&scan, gw::LoadImageMemory(jpeg.data(), jpeg.size(), scan)}}) {
        r.sizes.push_back(info.status == gw::kLoaded ? image->GetWidth() : 0);
        r.sizes.push_back(info.status == gw::kLoaded ? image->GetHeight() : 0);
    }
    for (const DVImageProcessor* image : {&passport, &card}) {
        const gw::MrzResult mrz = gw::ReadMrz(*image, zone);
        for (const std::string& line : mrz.lines) r.texts.push_back(line);
        for (const gw::BarcodeResult& b : gw::ReadBarcodes(*image, bars)) r.texts.push_back(b.text);
        const gw::LinesResult lines = gw::ReadLines(*image, o);
        r.texts.push_back(lines.font);
        for (const gw::TextLine& l : lines.lines) r.texts.push_back(l.text);
    }
    return r;
}

}  // namespace

TEST(Threads, FourReadersBesideTheExportsReadAsOne) {
    // Linked statically, the test has no pattern file beside it.
    const std::string patterns = std::string(GW_SOURCE_DIR) + "/patterns/libglyphwick.PAT";
    GW_UnloadAllPatternFiles();
    ASSERT_EQ(GW_LoadPatternFile(patterns.c_str()), 1);
    const std::vector<uint8_t> jpeg = Bytes(kScan);
    ASSERT_FALSE(jpeg.empty());
    const Round one = ReadAll(jpeg);
    ASSERT_EQ(std::count(one.texts.begin(), one.texts.end(), "OCRB"), 2) << "lines read";
    ASSERT_EQ(one.sizes.size(), 6u);
    for (uint32_t s : one.sizes) ASSERT_GT(s, 0u);
    ASSERT_GT(one.texts.size(), 4u);  // zones, barcodes and lines were read

    constexpr int kThreads = 4, kRounds = 2;
    std::atomic<int> wrong{0}, finished{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i)
                if (const Round r = ReadAll(jpeg); !(r == one)) {
                    ++wrong;
                    for (size_t k = 0; k < std::max(r.texts.size(), one.texts.size()); ++k) {
                        const std::string got = k < r.texts.size() ? r.texts[k] : "(none)";
                        const std::string want = k < one.texts.size() ? one.texts[k] : "(none)";
                        if (got != want)
                            ADD_FAILURE() << "text " << k << ": " << got << " not " << want;
                    }
                }
            ++finished;
        });
    // The host: an area of its own on the exports, under the library lock,
    // with the pattern file loaded again between its readings.
    DVImageProcessor host;
    ASSERT_EQ(gw::LoadImageFile(kPassport, host).status, gw::kLoaded);
    int hostRounds = 0;
    while (finished < kThreads || hostRounds < 2) {
        const auto lock = gw::LockLibrary();
        const RECT rect{0, 0, int32_t(host.GetWidth()) - 1, int32_t(host.GetHeight()) - 1};
        AREAPARAMS params{};
        params.minObjectWidth = 2, params.minObjectHeight = 10;
        params.maxObjectWidth = params.maxObjectHeight = 80;
        ASSERT_NE(GW_InitialiseArea(&host, &rect, &params), nullptr);
        GW_ProduceObjectList();
        EXPECT_GT(GW_GetNumberOfObjects(), 50);
        GW_DestroyArea();
        // Loading again adds fonts after the first and publishes them;
        // readings take the store as it stands when they start.
        EXPECT_EQ(GW_LoadPatternFile(patterns.c_str()), 1);
        ++hostRounds;
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
}
