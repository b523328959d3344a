// The line reading of the sample passport page through gw::ReadLines: the
// C++ side of the Python binding's overhead (bench/python_bench.py runs this
// program and the same calls from Python). Run from the source folder, or
// set GW_SOURCE_DIR: it reads samples/td3-passport.png with the fonts of
// patterns/libglyphwick.PAT.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "DVImageProcessor.h"
#include "Glyphwick.h"
#include "GlyphwickGrey.h"
#include "GlyphwickLines.h"

namespace {

std::string Source(const std::string& name) {
    const char* dir = std::getenv("GW_SOURCE_DIR");
    return (dir != nullptr ? std::string(dir) + "/" : std::string()) + name;
}

// The machine-readable zone's lower line, as bench/python_bench.py reads it.
constexpr std::array<int, 4> kZoneLine{80, 940, 1400, 990};

struct Page {
    Page() {
        GW_UnloadAllPatternFiles();
        loaded = GW_LoadPatternFile(Source("patterns/libglyphwick.PAT").c_str()) == 1 &&
                 image.LoadFromFile(path.c_str(), nullptr) == 0;
        grey = gw::ToGrey(image);
    }
    std::string path = Source("samples/td3-passport.png");
    DVImageProcessor image;
    bool loaded = false;
    // The page's grey levels in a raster of its own, as a NumPy array holds them.
    gw::GreyImage grey;
    gw::PixelRows Rows() const {
        return {grey.pixels.data(), grey.width, grey.height, ptrdiff_t(grey.width), 1, 1, 1};
    }
};

Page& ThePage() {
    static Page page;
    return page;
}

// The whole page from its file: decoding and the best line.
void BM_FileWholePage(benchmark::State& state) {
    Page& page = ThePage();
    if (!page.loaded)
        return state.SkipWithError("no sample or patterns; run from the source folder");
    for (auto _ : state) {
        DVImageProcessor image;
        image.LoadFromFile(page.path.c_str(), nullptr);
        benchmark::DoNotOptimize(gw::ReadLines(image));
    }
}
BENCHMARK(BM_FileWholePage)->Unit(benchmark::kMillisecond);

// The page already loaded: the best line of the whole page.
void BM_ImageWholePage(benchmark::State& state) {
    Page& page = ThePage();
    if (!page.loaded)
        return state.SkipWithError("no sample or patterns; run from the source folder");
    for (auto _ : state) benchmark::DoNotOptimize(gw::ReadLines(page.image));
}
BENCHMARK(BM_ImageWholePage)->Unit(benchmark::kMillisecond);

// The page already loaded: one zone line.
void BM_ImageZoneLine(benchmark::State& state) {
    Page& page = ThePage();
    if (!page.loaded)
        return state.SkipWithError("no sample or patterns; run from the source folder");
    gw::LineOptions o;
    o.rect = kZoneLine;
    for (auto _ : state) benchmark::DoNotOptimize(gw::ReadLines(page.image, o));
}
BENCHMARK(BM_ImageZoneLine)->Unit(benchmark::kMillisecond);

// A grey raster read in place: the whole page, and one zone line.
void BM_RowsWholePage(benchmark::State& state) {
    Page& page = ThePage();
    if (!page.loaded)
        return state.SkipWithError("no sample or patterns; run from the source folder");
    for (auto _ : state) benchmark::DoNotOptimize(gw::ReadLines(page.Rows()));
}
BENCHMARK(BM_RowsWholePage)->Unit(benchmark::kMillisecond);

void BM_RowsZoneLine(benchmark::State& state) {
    Page& page = ThePage();
    if (!page.loaded)
        return state.SkipWithError("no sample or patterns; run from the source folder");
    gw::LineOptions o;
    o.rect = kZoneLine;
    for (auto _ : state) benchmark::DoNotOptimize(gw::ReadLines(page.Rows(), o));
}
BENCHMARK(BM_RowsZoneLine)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
