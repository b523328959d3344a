// Identification of a line of 44 objects (a passport machine-readable line)
// against a font of 40 patterns on a 10 x 14 grid, against one walk over the
// same objects' pixels in the same process.
//
// The glyphs are 10 x 14 bitmaps of a stem and bars, drawn 2 or 3 times
// enlarged (20 x 28 or 30 x 42 pixels, about 300 and 400 dpi for a
// passport's line) with bar ends moved by a pixel at random, extracted and
// cleaned as a host would. The counter x_walk is the processor time of
// GW_IdentifyObjects over that of counting the ink of every pixel of the
// objects' boxes once through the area's rows, run in the same iterations;
// ns_per_object and walk_ns_per_object are the two times per object.
#include <benchmark/benchmark.h>

#include <ctime>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "DVImageProcessor.h"
#include "Glyphwick.h"
#include "area/Area.h"

namespace {

constexpr int kGridW = 10;
constexpr int kGridH = 14;
constexpr int kPatterns = 40;
constexpr int kObjects = 44;

using Glyph = std::vector<std::string>;  // kGridH rows of kGridW "#" or "."

// Distinct connected glyphs that fill their box: a full stem on the left
// and bars of 2 rows from it, the first reaching the right edge.
std::vector<Glyph> Glyphs() {
    std::mt19937 random(44);
    std::set<Glyph> seen;
    std::vector<Glyph> glyphs;
    while (static_cast<int>(glyphs.size()) < kPatterns) {
        Glyph g(kGridH, std::string(kGridW, '.'));
        for (int pair = 0; pair < kGridH / 2; ++pair) {
            const int lengths[] = {1, 4, 7, kGridW};
            const int length = pair == 0 ? kGridW : lengths[random() % 4];
            for (int r = 2 * pair; r < 2 * pair + 2; ++r)
                for (int c = 0; c < length; ++c) g[r][c] = '#';
        }
        if (seen.insert(g).second) glyphs.push_back(g);
    }
    return glyphs;
}

std::string FontText(const std::vector<Glyph>& glyphs) {
    std::string text = "BENCH MATRIX_SIZE=10x14\n";
    for (int i = 0; i < kPatterns; ++i) {
        text += std::string(1, static_cast<char>('0' + i)) + " 0.20 1.20";
        for (const std::string& row : glyphs[i]) {
            text += ' ';
            for (char c : row) text += c == '#' ? 'X' : '-';
        }
        text += '\n';
    }
    return text;
}

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + 1e-9 * double(now.tv_nsec);
}

// Counts the ink of every pixel of every object's box once.
int64_t WalkPixels(const AREAINFO& area) {
    int64_t ink = 0;
    const uint8_t limit = gw::InkLimit(area);
    for (const gw::Object* o = area.objects->head.next; o != nullptr; o = o->next) {
        for (int32_t y = o->top; y <= o->bottom; ++y) {
            const uint8_t* row = area.workRows[y - area.top];
            for (int32_t x = o->left; x <= o->right; ++x) ink += row[x] < limit;
        }
    }
    return ink;
}

void BM_IdentifyLine(benchmark::State& state) {
    const int scale = static_cast<int>(state.range(0));
    const std::vector<Glyph> glyphs = Glyphs();
    const std::string path = "recognition_bench.PAT";
    if (FILE* file = std::fopen(path.c_str(), "w")) {
        std::fputs(FontText(glyphs).c_str(), file);
        std::fclose(file);
    }
    GW_UnloadAllPatternFiles();
    if (GW_LoadPatternFile(path.c_str()) != 1) state.SkipWithError("pattern file not loaded");
    std::remove(path.c_str());

    const int pitch = (kGridW + 3) * scale;
    const int width = 20 + kObjects * pitch;
    const int height = 20 + kGridH * scale;
    DVImageProcessor image;
    image.Create(width, height, dv::PixelFormat8bppIndexed);
    std::vector<uint8_t> pixels(size_t(image.GetStride()) * height, 235);
    // Printing is never exact: every bar of every object ends up to one
    // pixel early or late, so that no object matches its pattern exactly.
    std::mt19937 random(7);
    for (int i = 0; i < kObjects; ++i) {
        const Glyph& g = glyphs[i % kPatterns];
        for (int y = 0; y < kGridH * scale; ++y) {
            const int jitter = y % scale == 0 ? int(random() % 3) - 1 : 0;
            for (int x = 0; x < kGridW * scale; ++x) {
                const bool ink = g[y / scale][x / scale] == '#';
                // The stem stays whole, so that every object stays one piece.
                const bool moved = x < scale || (x < kGridW * scale - 1 &&
                                                 g[y / scale][(x - jitter) / scale] == '#');
                if (jitter == 0 ? ink : moved)
                    pixels[size_t(10 + y) * image.GetStride() + 10 + i * pitch + x] = 30;
            }
        }
    }
    image.SetBits(pixels.data(), image.GetStride());

    AREAPARAMS settings{};
    settings.minObjectWidth = 2;
    settings.minObjectHeight = 2;
    settings.maxObjectWidth = 100;
    settings.maxObjectHeight = 100;
    settings.fontName = "bench";
    const RECT rect = {0, 0, width - 1, height - 1};
    GW_InitialiseArea(&image, &rect, &settings);
    GW_ProduceObjectList();
    GW_CleanObjects(0);
    if (GW_GetNumberOfObjects() != kObjects) {
        state.SkipWithError(("objects: " + std::to_string(GW_GetNumberOfObjects())).c_str());
        return;
    }
    const AREAINFO& area = *gw::CurrentArea();

    // The thread clock is a system call of a few microseconds on a virtual
    // machine, as long as several walks: each timed stretch repeats its work
    // so that the clock's cost stays near 2% of it.
    constexpr int kWalks = 32;
    constexpr int kIdentifications = 2;
    double seconds = 0, walkSeconds = 0;
    int64_t ink = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const double walkStart = ThreadSeconds();
        for (int r = 0; r < kWalks; ++r) {
            ink += WalkPixels(area);
            benchmark::DoNotOptimize(ink);
        }
        walkSeconds += (ThreadSeconds() - walkStart) / kWalks;
        state.ResumeTiming();
        const double start = ThreadSeconds();
        for (int r = 0; r < kIdentifications; ++r) benchmark::DoNotOptimize(GW_IdentifyObjects());
        seconds += (ThreadSeconds() - start) / kIdentifications;
    }
    // Every object must be read as its own glyph.
    int correct = 0, i = 0;
    for (const OBJECTINFO* o = GW_FindFirstObject(); o != nullptr; o = GW_FindNextObject(), ++i)
        correct += GW_GetObjectIdentity(nullptr, nullptr, nullptr) == '0' + i % kPatterns;
    state.counters["correct"] = correct;
    state.counters["pixels_per_object"] = double(kGridW * kGridH * scale * scale);
    state.counters["ns_per_object"] = 1e9 * seconds / double(state.iterations() * kObjects);
    state.counters["walk_ns_per_object"] =
        1e9 * walkSeconds / double(state.iterations() * kObjects);
    state.counters["x_walk"] = seconds / walkSeconds;
    GW_DestroyArea();
    GW_UnloadAllPatternFiles();
}
BENCHMARK(BM_IdentifyLine)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
