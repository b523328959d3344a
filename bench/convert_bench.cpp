// Pixel-format conversions of an A4 page at 300 dpi (2480 x 3508), each beside
// a plain loop that does the same arithmetic over the same bytes into a
// buffer allocated once: ConvertToGrey from 24-bit, ConvertTo1Bit from 8-bit.
// The conversions also make (and later free) the new bitmap; the ratio
// conversion / plain loop is printed at the end. The plain 1-bit loop packs
// whole bytes as the library does (a loop that steps x by 8 is not
// vectorised by GCC and would flatter the library).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "DVImageProcessor.h"

namespace {

constexpr uint32_t kWidth = 2480;
constexpr uint32_t kHeight = 3508;

// A page-like raster: light paper with noise and darker strokes.
dv::Bitmap* MakePage(int32_t format) {
    dv::Bitmap* page = dv::Bitmap::Create(kWidth, kHeight, format);
    uint32_t state = 12345;
    const size_t bytes = size_t{page->GetStride()} * kHeight;
    uint8_t* p = page->Pixels();
    for (size_t i = 0; i < bytes; ++i) {
        state = state * 1664525u + 1013904223u;
        const uint32_t noise = state >> 24;
        p[i] = uint8_t((state >> 8) % 7 == 0 ? noise / 3 : 160 + noise % 96);
    }
    return page;
}

dv::Bitmap* Page24() {
    static dv::Bitmap* page = MakePage(dv::PixelFormat24bppRGB);
    return page;
}
dv::Bitmap* Page8() {
    static dv::Bitmap* page = MakePage(dv::PixelFormat8bppIndexed);
    return page;
}

void ConvertToGrey24(benchmark::State& state) {
    DVImageProcessor image;
    for (auto _ : state) {
        image.Attach(Page24(), false);
        if (image.ConvertToGrey(0.3f, 0.59f, 0.11f) != 0) state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(image.GetBitmap()->Pixels());
    }
}

void PlainGrey24(benchmark::State& state) {
    const dv::Bitmap* page = Page24();
    const uint32_t srcStride = page->GetStride();
    const uint32_t dstStride = (kWidth + 3) & ~3u;
    std::vector<uint8_t> out(size_t{dstStride} * kHeight);
    for (auto _ : state) {
        for (uint32_t y = 0; y < kHeight; ++y) {
            const uint8_t* s = page->Pixels() + size_t{y} * srcStride;
            uint8_t* d = out.data() + size_t{y} * dstStride;
            for (uint32_t x = 0; x < kWidth; ++x, s += 3) {
                const float grey = (float(s[2]) * 0.3f + float(s[1]) * 0.59f) + float(s[0]) * 0.11f;
                d[x] = uint8_t(int32_t(grey));
            }
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}

// The same sums from per-channel product tables, as the library forms them:
// the overhead of the conversion itself, apart from how the sum is formed.
void TableGrey24(benchmark::State& state) {
    const dv::Bitmap* page = Page24();
    const uint32_t srcStride = page->GetStride();
    const uint32_t dstStride = (kWidth + 3) & ~3u;
    std::vector<uint8_t> out(size_t{dstStride} * kHeight);
    float red[256], green[256], blue[256];
    for (uint32_t i = 0; i < 256; ++i) {
        red[i] = float(i) * 0.3f;
        green[i] = float(i) * 0.59f;
        blue[i] = float(i) * 0.11f;
    }
    for (auto _ : state) {
        for (uint32_t y = 0; y < kHeight; ++y) {
            const uint8_t* s = page->Pixels() + size_t{y} * srcStride;
            uint8_t* d = out.data() + size_t{y} * dstStride;
            for (uint32_t x = 0; x < kWidth; ++x, s += 3) {
                d[x] = uint8_t(int32_t((red[s[2]] + green[s[1]]) + blue[s[0]]));
            }
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}

void ConvertTo1Bit8(benchmark::State& state) {
    DVImageProcessor image;
    for (auto _ : state) {
        image.Attach(Page8(), false);
        if (image.ConvertTo1Bit() != 0) state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(image.GetBitmap()->Pixels());
    }
}

void PlainThreshold8(benchmark::State& state) {
    const dv::Bitmap* page = Page8();
    const uint32_t srcStride = page->GetStride();
    const uint32_t dstStride = ((kWidth + 7) / 8 + 3) & ~3u;
    std::vector<uint8_t> out(size_t{dstStride} * kHeight);
    for (auto _ : state) {
        for (uint32_t y = 0; y < kHeight; ++y) {
            const uint8_t* s = page->Pixels() + size_t{y} * srcStride;
            uint8_t* d = out.data() + size_t{y} * dstStride;
            for (uint32_t b = 0; b < kWidth / 8; ++b) {  // the width is a multiple of 8
                uint32_t bits = 0;
                for (uint32_t i = 0; i < 8; ++i) bits = (bits << 1) | uint32_t(s[b * 8 + i] > 128);
                d[b] = uint8_t(bits);
            }
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(ConvertToGrey24)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainGrey24)->Unit(benchmark::kMillisecond);
BENCHMARK(TableGrey24)->Unit(benchmark::kMillisecond);
BENCHMARK(ConvertTo1Bit8)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainThreshold8)->Unit(benchmark::kMillisecond);

// Prints as usual and keeps the least CPU time of each benchmark for the
// ratios (CPU time, because the wall clock of a shared machine is noisy).
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const std::string name = run.run_name.function_name;
            const double t = run.GetAdjustedCPUTime();
            if (!best_.count(name) || t < best_[name]) best_[name] = t;
        }
    }
    void PrintRatio(const char* what, const char* library, const char* plain) {
        if (!best_.count(library) || !best_.count(plain)) return;
        std::printf("%-40s %.2fx\n", what, best_[library] / best_[plain]);
    }

  private:
    std::map<std::string, double> best_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Page24();  // made before any timing starts
    Page8();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nratio to the plain loop (goal: within 1.3x)\n");
    reporter.PrintRatio("ConvertToGrey from 24-bit", "ConvertToGrey24", "PlainGrey24");
    reporter.PrintRatio("ConvertToGrey, to a table-sum loop", "ConvertToGrey24", "TableGrey24");
    reporter.PrintRatio("ConvertTo1Bit from 8-bit", "ConvertTo1Bit8", "PlainThreshold8");
    benchmark::Shutdown();
    delete Page24();
    delete Page8();
    return 0;
}
