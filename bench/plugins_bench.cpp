// The outside decoders through the image object. A 2480 x 3508 grey JPEG 2000
// page (A4 at 300 dpi, written here with OpenJPEG's encoder) is loaded with
// LoadFromFile beside OpenJPEG's own decode of the same file; the largest WSQ
// reference vector is loaded with LoadFromFile beside DVWSQLib.dll called
// directly. The ratios and the WSQ rate are printed at the end.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <openjpeg.h>
#include <unistd.h>

#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "../tests/plugins/J2kEncoder.h"
#include "DVImageProcessor.h"
#include "platform/Modules.h"

namespace {

namespace fs = std::filesystem;
constexpr uint32_t kWidth = 2480, kHeight = 3508;

// Mean CPU time of this thread per iteration of each benchmark, for the
// ratios (everything measured runs on one thread; CPU time keeps other load on
// a shared machine out of the ratios).
std::map<std::string, double>& Seconds() {
    static std::map<std::string, double> seconds;
    return seconds;
}

// Times the loop body and records its mean.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

template <typename Body>
void Timed(benchmark::State& state, const char* name, Body body) {
    const double start = ThreadSeconds();
    for (auto _ : state) body();
    const double total = ThreadSeconds() - start;
    if (state.iterations() > 0) Seconds()[name] = total / double(state.iterations());
}

// A printed page: light paper with a little noise and lines of dark glyph-like
// strokes, the kind of image a document reader scans.
gwtest::J2kImage MakePage() {
    gwtest::J2kImage page;
    page.width = kWidth;
    page.height = kHeight;
    std::vector<int32_t> plane(size_t(kWidth) * kHeight);
    uint32_t state = 12345;
    for (uint32_t y = 0; y < kHeight; ++y) {
        const bool textRow = y >= 200 && y < kHeight - 200 && (y % 64) >= 20 && (y % 64) < 52;
        for (uint32_t x = 0; x < kWidth; ++x) {
            state = state * 1664525u + 1013904223u;
            int32_t v = 235 + int32_t(state >> 28);
            if (textRow && x >= 180 && x < kWidth - 180) {
                const uint32_t glyph = (x / 22) * 2654435761u ^ (y / 64) * 40503u;
                const uint32_t cx = x % 22, cy = y % 64 - 20;
                if (glyph % 7 != 0 &&
                    ((glyph >> 3) % 5 == cx / 4 || cy == (glyph >> 7) % 32 || (cx >= 2 && cx <= 4)))
                    v = 20 + int32_t(state >> 27);
            }
            plane[size_t(y) * kWidth + x] = v;
        }
    }
    page.planes.push_back(std::move(plane));
    return page;
}

const std::string& PageFile() {
    static const std::string path = [] {
        const auto bytes = gwtest::EncodeJ2k(MakePage(), true, 20.0f);
        const fs::path file =
            fs::temp_directory_path() / ("gw_plugins_bench_" + std::to_string(getpid()) + ".jp2");
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        std::fprintf(stderr, "JPEG 2000 page: %ux%u grey, 9-7 wavelet at 20:1, %zu bytes\n", kWidth,
                     kHeight, bytes.size());
        return file.string();
    }();
    return path;
}

void Quiet(const char*, void*) {}

// OpenJPEG alone: open the file, read the headers, decode every tile.
bool OpenJpegDecode(const std::string& path) {
    opj_stream_t* stream = opj_stream_create_default_file_stream(path.c_str(), OPJ_TRUE);
    opj_codec_t* codec = opj_create_decompress(OPJ_CODEC_JP2);
    opj_set_error_handler(codec, Quiet, nullptr);
    opj_set_warning_handler(codec, Quiet, nullptr);
    opj_set_info_handler(codec, Quiet, nullptr);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    opj_image_t* image = nullptr;
    const bool ok = opj_setup_decoder(codec, &parameters) &&
                    opj_read_header(stream, codec, &image) && opj_decode(codec, stream, image) &&
                    opj_end_decompress(codec, stream);
    benchmark::DoNotOptimize(image);
    opj_image_destroy(image);
    opj_destroy_codec(codec);
    opj_stream_destroy(stream);
    return ok;
}

void BM_OpenJpegDecodesPage(benchmark::State& state) {
    const std::string& path = PageFile();
    Timed(state, "openjpeg", [&] {
        if (!OpenJpegDecode(path)) state.SkipWithError("OpenJPEG failed");
    });
}
BENCHMARK(BM_OpenJpegDecodesPage)->Unit(benchmark::kMillisecond);

void BM_LoadFromFileJpeg2kPage(benchmark::State& state) {
    const std::string& path = PageFile();
    DVImageProcessor image;
    if (image.LoadFromFile(path.c_str(), nullptr) != 0 || image.GetWidth() != kWidth) {
        state.SkipWithError("LoadFromFile failed (is OpenJPEG_32.dll beside the program?)");
        return;
    }
    Timed(state, "load_j2k", [&] {
        if (image.LoadFromFile(path.c_str(), nullptr) != 0) state.SkipWithError("load failed");
    });
}
BENCHMARK(BM_LoadFromFileJpeg2kPage)->Unit(benchmark::kMillisecond);

// The largest WSQ reference vector of the test data.
const fs::path& WsqFile() {
    static const fs::path largest = [] {
        const fs::path folder = fs::path(__FILE__).parent_path() / "../tests/data/wsq";
        fs::path best;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            if (entry.path().extension() == ".wsq" &&
                (best.empty() || entry.file_size() > fs::file_size(best)))
                best = entry.path();
        }
        return best;
    }();
    return largest;
}

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void BM_WsqPluginAlone(benchmark::State& state) {
    const std::vector<uint8_t> data = ReadAll(WsqFile());
    const std::string program = dv::HostProgramPath();
    void* module = dlopen((program.substr(0, program.rfind('/') + 1) + "DVWSQLib.dll").c_str(),
                          RTLD_NOW | RTLD_LOCAL);
    using Size = int32_t (*)(const uint8_t*, uint32_t, int32_t*);
    using Convert = int32_t (*)(const uint8_t*, uint32_t, uint8_t*, int32_t);
    const auto size = module ? Size(dlsym(module, "GetWSQBufferSize")) : nullptr;
    const auto convert = module ? Convert(dlsym(module, "ConvertWSQBufferToBMPBuffer")) : nullptr;
    if (data.empty() || !size || !convert) {
        state.SkipWithError("no WSQ vector or no DVWSQLib.dll beside the program");
        return;
    }
    Timed(state, "wsq_plugin", [&] {
        int32_t bmpSize = 0;
        size(data.data(), uint32_t(data.size()), &bmpSize);
        std::vector<uint8_t> bmp(size_t(std::max(bmpSize, 0)));
        if (convert(data.data(), uint32_t(data.size()), bmp.data(), bmpSize) != 0)
            state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(bmp.data());
    });
    dlclose(module);
}
BENCHMARK(BM_WsqPluginAlone)->Unit(benchmark::kMicrosecond);

void BM_LoadFromFileWsq(benchmark::State& state) {
    const std::string path = WsqFile().string();
    DVImageProcessor image;
    if (path.empty() || image.LoadFromFile(path.c_str(), nullptr) != 0) {
        state.SkipWithError("LoadFromFile failed (is DVWSQLib.dll beside the program?)");
        return;
    }
    Timed(state, "load_wsq", [&] {
        if (image.LoadFromFile(path.c_str(), nullptr) != 0) state.SkipWithError("load failed");
    });
    const double pixels = double(image.GetWidth()) * image.GetHeight();
    state.counters["MP/s"] =
        benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    Seconds()["wsq_pixels"] = pixels;
}
BENCHMARK(BM_LoadFromFileWsq)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    auto& s = Seconds();
    if (s.count("openjpeg") && s.count("load_j2k"))
        std::printf("JPEG 2000 page: LoadFromFile / OpenJPEG alone = %.3f (goal <= 1.2)\n",
                    s["load_j2k"] / s["openjpeg"]);
    if (s.count("wsq_plugin") && s.count("load_wsq")) {
        std::printf("WSQ %s: LoadFromFile %.1f MP/s (goal >= 50); / plug-in alone = %.3f\n",
                    WsqFile().filename().c_str(), s["wsq_pixels"] / s["load_wsq"] / 1e6,
                    s["load_wsq"] / s["wsq_plugin"]);
    }
    std::error_code ignored;
    if (s.count("openjpeg") || s.count("load_j2k")) fs::remove(PageFile(), ignored);
    return 0;
}
