// WSQ decoding speed: the largest reference vector (256 x 256) decoded into a
// complete BMP file, beside a memcpy of the same number of output bytes run in
// the same process. Goal: at least 50 megapixels per second on one core.
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "WsqDecoder.h"

namespace {

std::vector<uint8_t> Vector() {
    std::ifstream in(std::string(GW_WSQ_DATA) + "/a_ridges_256x256.br075.wsq", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void BM_WsqDecodeToBmp(benchmark::State& state) {
    const std::vector<uint8_t> wsq = Vector();
    gw::wsq::FrameInfo info;
    if (gw::wsq::Inspect(wsq.data(), wsq.size(), &info) != gw::wsq::Status::Ok) {
        state.SkipWithError("vector not decodable");
        return;
    }
    std::vector<uint8_t> bmp(gw::wsq::BmpFileSize(info.width, info.height));
    for (auto _ : state) {
        const gw::wsq::Status s =
            gw::wsq::DecodeToBmp(wsq.data(), wsq.size(), bmp.data(), bmp.size());
        benchmark::DoNotOptimize(s);
        benchmark::ClobberMemory();
    }
    const double pixels = double(info.width) * info.height;
    state.counters["MP/s"] =
        benchmark::Counter(pixels * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_WsqDecodeToBmp);

// What the plug-in does for one image: the size query (which checks the whole
// stream), then the conversion.
void BM_WsqSizeQueryThenConvert(benchmark::State& state) {
    const std::vector<uint8_t> wsq = Vector();
    std::vector<uint8_t> bmp(gw::wsq::BmpFileSize(256, 256));
    for (auto _ : state) {
        gw::wsq::FrameInfo info;
        benchmark::DoNotOptimize(gw::wsq::Inspect(wsq.data(), wsq.size(), &info));
        benchmark::DoNotOptimize(
            gw::wsq::DecodeToBmp(wsq.data(), wsq.size(), bmp.data(), bmp.size()));
        benchmark::ClobberMemory();
    }
    state.counters["MP/s"] =
        benchmark::Counter(65536 * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_WsqSizeQueryThenConvert);

// Baseline: copying the BMP file's bytes once.
void BM_MemcpyOutput(benchmark::State& state) {
    const size_t bytes = gw::wsq::BmpFileSize(256, 256);
    std::vector<uint8_t> src(bytes, 0x5A), dst(bytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.counters["MP/s"] =
        benchmark::Counter(65536 * 1e-6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_MemcpyOutput);

}  // namespace

BENCHMARK_MAIN();
