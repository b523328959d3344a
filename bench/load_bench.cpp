// Loading a 12-megapixel camera picture (4032 x 3024, Exif orientation 6, as
// a phone held upright saves it) through gw::LoadImageMemory, beside
// libjpeg-turbo and libpng decoding the same bytes in the same run, and the
// reduced-scale loads beside the full ones. Prints the ratios at the end
// (goals: the turned JPEG and the PNG at most 1.2 times the library's own
// decode; a load at 1/4 at most a third of the full load). Ratios are of CPU
// time: on a shared machine wall time mostly measures the neighbours.
#include <benchmark/benchmark.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "DVImageProcessor.h"
#include "GlyphwickLoad.h"
#include "platform/PixelTurn.h"

namespace {

constexpr uint32_t kWidth = 4032, kHeight = 3024;

// A photo-like picture: smooth light and shade, a textured surface, a label
// with dark print; saved with its Exif orientation 6.
struct Files {
    std::vector<uint8_t> jpeg, png;
    Files() {
        DVImageProcessor photo;
        photo.Create(kWidth, kHeight, dv::PixelFormat24bppRGB);
        dv::Bitmap* bm = photo.GetBitmap();
        std::mt19937 random(5);
        for (uint32_t y = 0; y < kHeight; ++y) {
            uint8_t* row = bm->Pixels() + size_t(y) * bm->GetStride();
            for (uint32_t x = 0; x < kWidth; ++x) {
                const int shade = int(120 + 60 * std::sin(x * 0.0015) * std::cos(y * 0.002));
                const int grain = int(random() % 13) - 6;
                int v = shade + grain;
                const bool label = x > 1200 && x < 2800 && y > 900 && y < 2100;
                if (label) v = 225 + grain;
                if (label && (y / 24) % 3 == 0 && (x / 9) % 7 != 0) v = 40;
                uint8_t* p = row + 3 * size_t(x);
                p[0] = uint8_t(std::clamp(v - 10, 0, 255));
                p[1] = uint8_t(std::clamp(v, 0, 255));
                p[2] = uint8_t(std::clamp(v + 15, 0, 255));
            }
        }
        uint16_t six = 6;
        dv::PropertyItem item{0x0112, 2, 3, &six};
        bm->SetPropertyItem(&item);
        jpeg = Save(photo, 2);
        png = Save(photo, 5);
    }
    static std::vector<uint8_t> Save(DVImageProcessor& image, uint32_t type) {
        dv::IStream* stream = nullptr;
        dv::CreateMemoryStream(&stream);
        uint32_t size = 0;
        image.SaveToStream(stream, &size, type, true, nullptr);
        std::vector<uint8_t> bytes(size);
        uint32_t got = 0;
        stream->Read(bytes.data(), size, &got);
        stream->Release();
        return bytes;
    }
};

Files& Shared() {
    static Files files;
    return files;
}

// libjpeg-turbo's decode into rows of blue, green, red.
bool LibjpegDecode(const std::vector<uint8_t>& data, std::vector<uint8_t>& pixels,
                   unsigned scale = 1) {
    jpeg_decompress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_EXT_BGR;
    c.scale_num = 1;
    c.scale_denom = scale;
    jpeg_start_decompress(&c);
    const size_t stride = size_t(c.output_width) * 3;
    pixels.resize(stride * c.output_height);
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = pixels.data() + stride * c.output_scanline;
        jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    return true;
}

bool LibpngDecode(const std::vector<uint8_t>& data, std::vector<uint8_t>& pixels) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data.data(), data.size())) return false;
    image.format = PNG_FORMAT_BGR;
    pixels.resize(PNG_IMAGE_SIZE(image));
    const bool ok = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

void Load(benchmark::State& state, const std::vector<uint8_t>& bytes, uint32_t scale, bool turn) {
    gw::LoadOptions options;
    options.scale = scale;
    options.applyExifOrientation = turn;
    for (auto _ : state) {
        DVImageProcessor image;
        const gw::LoadInfo info = gw::LoadImageMemory(bytes.data(), bytes.size(), image, options);
        if (info.status != gw::kLoaded) state.SkipWithError(info.reason.c_str());
        benchmark::DoNotOptimize(image.GetBitmap());
    }
}

void BM_Jpeg_Glyphwick(benchmark::State& s) {
    Load(s, Shared().jpeg, 1, true);
}
void BM_Jpeg_GlyphwickUnturned(benchmark::State& s) {
    Load(s, Shared().jpeg, 1, false);
}
void BM_Jpeg_GlyphwickQuarter(benchmark::State& s) {
    Load(s, Shared().jpeg, 4, true);
}
void BM_Jpeg_Libjpeg(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<uint8_t> pixels;
        LibjpegDecode(Shared().jpeg, pixels);
        benchmark::DoNotOptimize(pixels.data());
    }
}
// The libraries' decodes into a buffer reused from the last iteration: no
// fresh memory to fault in, which on a virtual machine is much of the cost
// of a first decode (the loader maps large pixel memory in huge pages).
void BM_Jpeg_LibjpegWarm(benchmark::State& state) {
    std::vector<uint8_t> pixels;
    for (auto _ : state) {
        LibjpegDecode(Shared().jpeg, pixels);
        benchmark::DoNotOptimize(pixels.data());
    }
}
// libjpeg-turbo's own decode at 1/4 (its DCT scaling): what the loader's
// reduced load cannot go below.
void BM_Jpeg_LibjpegQuarterWarm(benchmark::State& state) {
    std::vector<uint8_t> pixels;
    for (auto _ : state) {
        LibjpegDecode(Shared().jpeg, pixels, 4);
        benchmark::DoNotOptimize(pixels.data());
    }
}
void BM_Png_LibpngWarm(benchmark::State& state) {
    std::vector<uint8_t> pixels;
    for (auto _ : state) {
        if (!LibpngDecode(Shared().png, pixels)) state.SkipWithError("libpng failed");
        benchmark::DoNotOptimize(pixels.data());
    }
}
void BM_Png_Glyphwick(benchmark::State& s) {
    Load(s, Shared().png, 1, true);
}
void BM_Png_GlyphwickQuarter(benchmark::State& s) {
    Load(s, Shared().png, 4, true);
}
void BM_Png_Libpng(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<uint8_t> pixels;
        if (!LibpngDecode(Shared().png, pixels)) state.SkipWithError("libpng failed");
        benchmark::DoNotOptimize(pixels.data());
    }
}
// The turn alone: a quarter turn (orientation 6) of a 4032 x 3024 picture of
// 3-byte pixels, handed over in strips of 64 rows as the decoders hand them,
// into a buffer written before (so that no page is new).
void BM_TurnStrips(benchmark::State& state) {
    constexpr uint32_t kRows = 64;
    const size_t stride = size_t(kWidth) * 3, nstride = size_t(kHeight) * 3;
    std::vector<uint8_t> strip(stride * kRows + 8);
    for (size_t i = 0; i < strip.size(); ++i) strip[i] = uint8_t(i * 7 + (i >> 9));
    std::vector<uint8_t> turned(nstride * kWidth);
    for (auto _ : state) {
        for (uint32_t y0 = 0; y0 < kHeight; y0 += kRows)
            gw::TurnStrip(1, 3, strip.data(), stride, kWidth, kHeight, y0,
                          std::min(kRows, kHeight - y0), turned.data(), nstride);
        benchmark::DoNotOptimize(turned.data());
    }
}
BENCHMARK(BM_TurnStrips)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_Jpeg_Libjpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg_LibjpegWarm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg_Glyphwick)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg_GlyphwickUnturned)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg_GlyphwickQuarter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jpeg_LibjpegQuarterWarm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Png_Libpng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Png_LibpngWarm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Png_Glyphwick)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Png_GlyphwickQuarter)->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.aggregate_name.empty() || run.aggregate_name == "median")
                times_[run.run_name.function_name] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Ratio(const char* what, const char* a, const char* b, double goal) const {
        const auto x = times_.find(a), y = times_.find(b);
        if (x == times_.end() || y == times_.end()) return;
        const double r = x->second / y->second;
        std::printf("%-44s %.2f (goal at most %.2f)%s\n", what, r, goal,
                    r <= goal ? "" : "  MISSED");
    }

  private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Shared();
    std::printf("camera picture %u x %u, Exif orientation 6: JPEG %zu bytes, PNG %zu bytes\n",
                kWidth, kHeight, Shared().jpeg.size(), Shared().png.size());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.Ratio("JPEG turned / libjpeg-turbo decode", "BM_Jpeg_Glyphwick", "BM_Jpeg_Libjpeg",
                   1.2);
    reporter.Ratio("JPEG turned / libjpeg-turbo into a warm buffer", "BM_Jpeg_Glyphwick",
                   "BM_Jpeg_LibjpegWarm", 1.2);
    reporter.Ratio("JPEG unturned / libjpeg-turbo decode", "BM_Jpeg_GlyphwickUnturned",
                   "BM_Jpeg_Libjpeg", 1.2);
    reporter.Ratio("JPEG at 1/4 / full load", "BM_Jpeg_GlyphwickQuarter", "BM_Jpeg_Glyphwick",
                   1.0 / 3);
    reporter.Ratio("libjpeg-turbo at 1/4 / the full turned load", "BM_Jpeg_LibjpegQuarterWarm",
                   "BM_Jpeg_Glyphwick", 1.0 / 3);
    reporter.Ratio("PNG / libpng decode", "BM_Png_Glyphwick", "BM_Png_Libpng", 1.2);
    reporter.Ratio("PNG / libpng into a warm buffer", "BM_Png_Glyphwick", "BM_Png_LibpngWarm", 1.2);
    reporter.Ratio("PNG at 1/4 / full load", "BM_Png_GlyphwickQuarter", "BM_Png_Glyphwick",
                   1.0 / 3);
    benchmark::Shutdown();
    return 0;
}
