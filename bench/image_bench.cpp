// Row reads and whole-page copies of an A4 300 dpi 8-bit page, each beside a
// memcpy of the same bytes in the same run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "DVImageProcessor.h"

namespace {

constexpr uint32_t kWidth = 2480, kHeight = 3508;

DVImageProcessor& Page() {
    static DVImageProcessor page = [] {
        DVImageProcessor p;
        p.Create(kWidth, kHeight, dv::PixelFormat8bppIndexed);
        std::vector<uint8_t> row(kWidth);
        for (uint32_t y = 0; y < kHeight; ++y) {
            for (uint32_t x = 0; x < kWidth; ++x) row[x] = uint8_t(x * 7 + y * 13);
            p.SetBytes(y, 0, row.data(), kWidth);
        }
        return p;
    }();
    return page;
}

void BM_GetBytesEveryRow(benchmark::State& state) {
    DVImageProcessor& page = Page();
    std::vector<uint8_t> row(page.GetStride());
    for (auto _ : state) {
        for (uint32_t y = 0; y < kHeight; ++y) page.GetBytes(y, 0, row.data(), page.GetStride());
        benchmark::DoNotOptimize(row.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * page.GetStride() * kHeight);
}
BENCHMARK(BM_GetBytesEveryRow)->Unit(benchmark::kMillisecond);

void BM_MemcpyEveryRow(benchmark::State& state) {
    DVImageProcessor& page = Page();
    const uint8_t* pixels = page.GetBitmap()->Pixels();
    std::vector<uint8_t> row(page.GetStride());
    for (auto _ : state) {
        for (uint32_t y = 0; y < kHeight; ++y) {
            std::memcpy(row.data(), pixels + size_t{y} * page.GetStride(), page.GetStride());
            benchmark::ClobberMemory();
        }
        benchmark::DoNotOptimize(row.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * page.GetStride() * kHeight);
}
BENCHMARK(BM_MemcpyEveryRow)->Unit(benchmark::kMillisecond);

void BM_CopyToPage(benchmark::State& state) {
    DVImageProcessor& page = Page();
    DVImageProcessor copy;
    for (auto _ : state) {
        page.CopyTo(&copy, 1, nullptr);
        benchmark::DoNotOptimize(copy.GetBitmap());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * page.GetStride() * kHeight);
}
BENCHMARK(BM_CopyToPage)->Unit(benchmark::kMillisecond);

// The baseline for CopyTo: memcpy of the page into a buffer that exists.
void BM_MemcpyPage(benchmark::State& state) {
    DVImageProcessor& page = Page();
    const size_t bytes = size_t{page.GetStride()} * kHeight;
    const uint8_t* pixels = page.GetBitmap()->Pixels();
    std::unique_ptr<uint8_t[]> out(new uint8_t[bytes]);
    for (auto _ : state) {
        std::memcpy(out.get(), pixels, bytes);
        benchmark::DoNotOptimize(out.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_MemcpyPage)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
