// Loading and saving an A4 page at 300 dpi (2480 x 3508, 24-bit) through the
// image object, beside libpng and libjpeg called directly on the same file in
// the same run. Prints the ratio of each pair at the end (goal: at most 1.15).
#include <benchmark/benchmark.h>

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "DVImageProcessor.h"

namespace {

constexpr uint32_t kWidth = 2480, kHeight = 3508;

// A page: white paper, lines of dark "words", a coloured logo block and a
// grey photo area, so that both codecs see document-like content.
std::unique_ptr<DVImageProcessor> MakePage() {
    auto page = std::make_unique<DVImageProcessor>();
    page->Create(kWidth, kHeight, dv::PixelFormat24bppRGB);
    page->SetResolution(300, 300);
    dv::Bitmap* bm = page->GetBitmap();
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    for (uint32_t y = 0; y < kHeight; ++y) {
        uint8_t* row = bm->Pixels() + size_t(y) * bm->GetStride();
        const bool textLine = (y / 40) % 2 == 1 && y > 300 && y < 3300;
        for (uint32_t x = 0; x < kWidth; ++x) {
            uint8_t v = 250;
            if (textLine && x > 200 && x < 2280 && ((x / 14) % 9) != 0 && (next() >> 28) < 9)
                v = 30;
            uint8_t* p = row + 3 * size_t(x);
            p[0] = p[1] = p[2] = v;
            if (y < 250 && x < 600) p[0] = uint8_t(x / 3), p[1] = 80, p[2] = uint8_t(y);
            if (y > 2600 && y < 3200 && x > 1300 && x < 2200)
                p[0] = p[1] = p[2] = uint8_t((x + y) / 8);
        }
    }
    return page;
}

struct Files {
    std::filesystem::path dir;
    std::string png, jpeg, outPng, outJpeg;
    std::unique_ptr<DVImageProcessor> page;
};

Files& Shared() {
    static Files f = [] {
        Files files;
        files.dir = std::filesystem::temp_directory_path() / "gw-codecs-bench";
        std::filesystem::create_directories(files.dir);
        files.png = (files.dir / "page.png").string();
        files.jpeg = (files.dir / "page.jpg").string();
        files.outPng = (files.dir / "out.png").string();
        files.outJpeg = (files.dir / "out.jpg").string();
        files.page = MakePage();
        files.page->SaveToFile(files.png.c_str(), 5, nullptr);
        files.page->SaveToFile(files.jpeg.c_str(), 2, nullptr);
        return files;
    }();
    return f;
}

// ---- The peers: the libraries called directly ----

bool LibpngLoad(const std::string& path, std::vector<uint8_t>& pixels) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    png_set_bgr(png);
    png_read_update_info(png, info);
    const size_t stride = (png_get_rowbytes(png, info) + 3) & ~size_t{3};
    const uint32_t height = png_get_image_height(png, info);
    pixels.resize(stride * height);
    for (uint32_t y = 0; y < height; ++y) png_read_row(png, pixels.data() + y * stride, nullptr);
    png_read_end(png, info);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return true;
}

bool LibjpegLoad(const std::string& path, std::vector<uint8_t>& pixels) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    jpeg_decompress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_decompress(&c);
    jpeg_stdio_src(&c, f);
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&c);
    const size_t stride = (size_t(c.output_width) * 3 + 3) & ~size_t{3};
    pixels.resize(stride * c.output_height);
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = pixels.data() + c.output_scanline * stride;
        jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    std::fclose(f);
    return true;
}

bool LibpngSave(const std::string& path, const dv::Bitmap* bm) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, bm->GetWidth(), bm->GetHeight(), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    for (uint32_t y = 0; y < bm->GetHeight(); ++y) {
        png_write_row(png, bm->Pixels() + size_t(y) * bm->GetStride());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return true;
}

bool LibjpegSave(const std::string& path, const dv::Bitmap* bm) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = bm->GetWidth();
    c.image_height = bm->GetHeight();
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 75, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row =
            const_cast<uint8_t*>(bm->Pixels()) + size_t(c.next_scanline) * bm->GetStride();
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
    return true;
}

// ---- Benchmarks ----

void LoadPng_Glyphwick(benchmark::State& state) {
    Files& f = Shared();
    for (auto _ : state) {
        DVImageProcessor image;
        if (image.LoadFromFile(f.png.c_str(), nullptr) != 0) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(image.GetBitmap());
    }
}
void LoadPng_Libpng(benchmark::State& state) {
    Files& f = Shared();
    for (auto _ : state) {
        std::vector<uint8_t> pixels;
        if (!LibpngLoad(f.png, pixels)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(pixels.data());
    }
}
void LoadJpeg_Glyphwick(benchmark::State& state) {
    Files& f = Shared();
    for (auto _ : state) {
        DVImageProcessor image;
        if (image.LoadFromFile(f.jpeg.c_str(), nullptr) != 0) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(image.GetBitmap());
    }
}
void LoadJpeg_Libjpeg(benchmark::State& state) {
    Files& f = Shared();
    for (auto _ : state) {
        std::vector<uint8_t> pixels;
        if (!LibjpegLoad(f.jpeg, pixels)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(pixels.data());
    }
}
void SavePng_Glyphwick(benchmark::State& state) {
    Files& f = Shared();
    for (auto _ : state) {
        if (f.page->SaveToFile(f.outPng.c_str(), 5, nullptr) != 0)
            state.SkipWithError("save failed");
    }
}
void SavePng_Libpng(benchmark::State& state) {
    Files& f = Shared();
    for (auto _ : state) {
        if (!LibpngSave(f.outPng, f.page->GetBitmap())) state.SkipWithError("save failed");
    }
}
void SaveJpeg_Glyphwick(benchmark::State& state) {
    Files& f = Shared();
    for (auto _ : state) {
        if (f.page->SaveToFile(f.outJpeg.c_str(), 2, nullptr) != 0)
            state.SkipWithError("save failed");
    }
}
void SaveJpeg_Libjpeg(benchmark::State& state) {
    Files& f = Shared();
    for (auto _ : state) {
        if (!LibjpegSave(f.outJpeg, f.page->GetBitmap())) state.SkipWithError("save failed");
    }
}

BENCHMARK(LoadPng_Glyphwick)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadPng_Libpng)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadJpeg_Glyphwick)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadJpeg_Libjpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(SavePng_Glyphwick)->Unit(benchmark::kMillisecond);
BENCHMARK(SavePng_Libpng)->Unit(benchmark::kMillisecond);
BENCHMARK(SaveJpeg_Glyphwick)->Unit(benchmark::kMillisecond);
BENCHMARK(SaveJpeg_Libjpeg)->Unit(benchmark::kMillisecond);

// Prints as usual and keeps each benchmark's time for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Iteration) times[r.benchmark_name()] = r.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const char* pairs[][2] = {{"LoadPng_Glyphwick", "LoadPng_Libpng"},
                              {"LoadJpeg_Glyphwick", "LoadJpeg_Libjpeg"},
                              {"SavePng_Glyphwick", "SavePng_Libpng"},
                              {"SaveJpeg_Glyphwick", "SaveJpeg_Libjpeg"}};
    std::printf("\nratio to the library called directly (goal <= 1.15):\n");
    for (const auto& p : pairs) {
        const auto a = reporter.times.find(p[0]), b = reporter.times.find(p[1]);
        if (a != reporter.times.end() && b != reporter.times.end() && b->second > 0) {
            std::printf("  %-20s %.3f\n", p[0], a->second / b->second);
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(Shared().dir, ec);
    benchmark::Shutdown();
    return 0;
}
