// Object extraction and cleaning of a whole printed page, against a memcpy of
// the page's bytes in the same process.
//
// The page is A4 at 300 dpi (2480 x 3508, 8-bit): lines of synthetic glyphs
// drawn from strokes 4 pixels thick, about 10% ink, with light grey paper
// noise and scattered specks. The counter x_memcpy is the processor time of
// GW_ProduceObjectList + GW_CleanObjects(0) over that of a memcpy of the page
// run in the same iterations.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "DVImageProcessor.h"
#include "Glyphwick.h"

namespace {

constexpr int kWidth = 2480;
constexpr int kHeight = 3508;

struct TextPage {
    std::vector<uint8_t> pixels;
    DVImageProcessor image;
    double inkShare = 0;

    TextPage() : pixels(size_t{kWidth} * kHeight, 255) {
        std::mt19937 random(2026);
        // Light grey paper.
        for (uint8_t& p : pixels) p = uint8_t(235 + random() % 21);
        // 64 glyphs of 2 to 4 strokes between points of a 5 x 7 grid.
        struct Stroke {
            int x0, y0, x1, y1;
        };
        std::vector<std::vector<Stroke>> glyphs(64);
        for (auto& glyph : glyphs) {
            const int strokes = 2 + random() % 3;
            for (int s = 0; s < strokes; ++s) {
                glyph.push_back(
                    {int(random() % 5), int(random() % 7), int(random() % 5), int(random() % 7)});
            }
        }
        const int cellW = 30, cellH = 42, pitch = 56, margin = 150;
        for (int top = margin; top + cellH < kHeight - margin; top += pitch) {
            for (int left = margin; left + cellW < kWidth - margin; left += cellW) {
                if (random() % 7 == 0) continue;  // a blank between words
                for (const Stroke& s : glyphs[random() % glyphs.size()]) {
                    DrawStroke(left + 3 + s.x0 * 5, top + 3 + s.y0 * 6, left + 3 + s.x1 * 5,
                               top + 3 + s.y1 * 6);
                }
            }
        }
        for (int i = 0; i < 4000; ++i) pixels[random() % pixels.size()] = uint8_t(random() % 100);
        inkShare =
            double(std::count_if(pixels.begin(), pixels.end(), [](uint8_t p) { return p < 128; })) /
            double(pixels.size());
        image.Create(kWidth, kHeight, dv::PixelFormat8bppIndexed);
        image.SetBits(pixels.data(), 0);
    }

    // A stroke 4 pixels thick: a 4 x 4 pen stepped along the segment.
    void DrawStroke(int x0, int y0, int x1, int y1) {
        const int steps = std::max({std::abs(x1 - x0), std::abs(y1 - y0), 1});
        for (int i = 0; i <= steps; ++i) {
            const int x = x0 + (x1 - x0) * i / steps, y = y0 + (y1 - y0) * i / steps;
            for (int dy = 0; dy < 4; ++dy)
                for (int dx = 0; dx < 4; ++dx)
                    pixels[size_t(y + dy) * kWidth + x + dx] = uint8_t(20 + dy);
        }
    }
};

// Processor time of this thread in seconds: the machine may be shared, and
// time spent waiting for a processor belongs to neither side.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + 1e-9 * double(now.tv_nsec);
}

TextPage& Page() {
    static TextPage page;
    return page;
}

AREAPARAMS TextSettings() {
    AREAPARAMS p{};
    p.minObjectWidth = 2;
    p.minObjectHeight = 6;
    p.maxObjectWidth = 60;
    p.maxObjectHeight = 60;
    return p;
}

void BM_MemcpyPage(benchmark::State& state) {
    const std::vector<uint8_t>& source = Page().pixels;
    std::vector<uint8_t> copy(source.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), source.data(), source.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(source.size()));
}
BENCHMARK(BM_MemcpyPage)->Unit(benchmark::kMillisecond);

void BM_ProduceAndCleanPage(benchmark::State& state) {
    TextPage& page = Page();
    const RECT whole = {0, 0, kWidth - 1, kHeight - 1};
    const AREAPARAMS settings = TextSettings();
    std::vector<uint8_t> copy(page.pixels.size());
    int32_t objects = 0;
    double seconds = 0, memcpySeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // The baseline, run between the measured calls under the same conditions.
        const double copyStart = ThreadSeconds();
        std::memcpy(copy.data(), page.pixels.data(), copy.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
        memcpySeconds += ThreadSeconds() - copyStart;
        GW_InitialiseArea(&page.image, &whole, &settings);
        state.ResumeTiming();
        const double start = ThreadSeconds();
        GW_ProduceObjectList();
        GW_CleanObjects(0);
        seconds += ThreadSeconds() - start;
        state.PauseTiming();
        objects = GW_GetNumberOfObjects();
        GW_DestroyArea();
        state.ResumeTiming();
    }
    state.counters["objects"] = objects;
    state.counters["ink_percent"] = 100 * page.inkShare;
    state.counters["x_memcpy"] = seconds / memcpySeconds;
}
BENCHMARK(BM_ProduceAndCleanPage)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
