// Reading the machine-readable zone of a page: glyphwick's zone reading beside
// Tesseract (Debian's tesseract-ocr, English model, page segmentation mode 6,
// one uniform block of text) on the same region of the same pages, in the same
// run. Reports the time per page of each, their ratio, and the accuracy of
// each: the share of the zone's characters read right (edit distance).
#include <benchmark/benchmark.h>

#include <tesseract/baseapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DVImageProcessor.h"
#include "Glyphwick.h"
#include "Image.h"
#include "MrzRead.h"
#include "Reading.h"

namespace {

namespace fs = std::filesystem;

struct Page {
    std::string name;
    std::unique_ptr<DVImageProcessor> image;  // 8-bit grey
    gwtool::Box region;                       // the zone with a margin
    std::vector<std::string> truth;           // the zone's lines as printed
    std::vector<uint8_t> pixels;              // the region's rows for Tesseract
};

std::vector<Page> pages;
std::unique_ptr<tesseract::TessBaseAPI> tess;

// The zone lines of each sample, from samples.json (a small, fixed file).
std::map<std::string, std::vector<std::string>> Truth() {
    std::ifstream f(std::string(GW_SOURCE_DIR) + "/samples/samples.json");
    std::stringstream s;
    s << f.rdbuf();
    const std::string text = s.str();
    std::map<std::string, std::vector<std::string>> out;
    for (const char* name : {"td3-passport.png", "td1-card.png", "td3-scan.jpg"}) {
        size_t at = text.find(std::string("\"") + name + "\"");
        at = text.find("\"mrz\"", at);
        const size_t end = text.find(']', at);
        for (size_t q = text.find('"', text.find('[', at)); q < end;
             q = text.find('"', text.find('"', q + 1) + 1)) {
            const size_t close = text.find('"', q + 1);
            out[name].push_back(text.substr(q + 1, close - q - 1));
        }
    }
    return out;
}

size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = up;
        }
    }
    return row[b.size()];
}

// The share of the zone's characters read right: the lines joined, blanks
// left out (Tesseract puts them between characters spaced apart).
double Accuracy(const std::vector<std::string>& truth, const std::string& read) {
    std::string want, got;
    for (const std::string& l : truth) want += l;
    for (char c : read)
        if (c != ' ' && c != '\n') got += c;
    const double d = static_cast<double>(EditDistance(want, got));
    return std::max(0.0, 1.0 - d / static_cast<double>(want.size()));
}

bool SetUp() {
    const fs::path shipped = fs::path(GW_SOURCE_DIR) / "patterns" / "libglyphwick.PAT";
    std::string patterns = shipped.string();
    if (!fs::exists(shipped)) {
        patterns = (fs::temp_directory_path() / "mrz-bench-ocrb.PAT").string();
        const std::string make =
            std::string(GW_SOURCE_DIR) + "/tests/tool/make-test-patterns " + patterns;
        if (std::system(make.c_str()) != 0) return false;
    }
    gwtool::LoadPatterns({patterns});
    const auto truth = Truth();
    for (const auto& [name, lines] : truth) {
        Page p;
        p.name = name;
        const std::string path = std::string(GW_SOURCE_DIR) + "/samples/" + name;
        p.image = gwtool::LoadImage(path);
        gwtool::MakeReadable(*p.image, path);
        p.truth = lines;
        // The region: the zone found on the whole page, with a margin of half
        // a line; both readers get exactly this region.
        const gwtool::MrzResult r = gwtool::ReadMrz(*p.image, {}, path);
        if (!r.reading || r.lines.empty()) return false;
        const int w = static_cast<int>(p.image->GetWidth());
        const int h = static_cast<int>(p.image->GetHeight());
        const int margin = (r.lines[0].bottom - r.lines[0].top) / 2 + 10;
        p.region = {std::max(0, r.lines.front().left - margin),
                    std::max(0, r.lines.front().top - margin),
                    std::min(w - 1, r.lines.back().right + margin),
                    std::min(h - 1, r.lines.back().bottom + margin)};
        p.pixels.resize(static_cast<size_t>(p.region.Width()) * p.region.Height());
        for (int y = 0; y < p.region.Height(); ++y) {
            p.image->GetBytes(static_cast<uint32_t>(p.region.top + y),
                              static_cast<uint32_t>(p.region.left),
                              p.pixels.data() + static_cast<size_t>(y) * p.region.Width(),
                              static_cast<uint32_t>(p.region.Width()));
        }
        pages.push_back(std::move(p));
    }
    tess = std::make_unique<tesseract::TessBaseAPI>();
    if (tess->Init(nullptr, "eng") != 0) return false;
    tess->SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
    tess->SetVariable("user_defined_dpi", "300");
    return true;
}

void BM_GlyphwickMrz(benchmark::State& state) {
    double accuracy = 0;
    size_t valid = 0;
    for (auto _ : state) {
        accuracy = 0;
        valid = 0;
        for (Page& p : pages) {
            gwtool::MrzSettings s;
            s.rect = p.region;
            const gwtool::MrzResult r = gwtool::ReadMrz(*p.image, s, p.name);
            std::string text;
            if (r.reading) {
                for (const std::string& l : r.reading->lines) text += l + "\n";
                valid += r.reading->valid;
            }
            accuracy += Accuracy(p.truth, text);
            benchmark::DoNotOptimize(text.data());
        }
    }
    state.counters["pages"] = static_cast<double>(pages.size());
    state.counters["accuracy"] = accuracy / static_cast<double>(pages.size());
    state.counters["valid_zones"] = static_cast<double>(valid);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * pages.size()));
}

void BM_TesseractPsm6(benchmark::State& state) {
    double accuracy = 0;
    for (auto _ : state) {
        accuracy = 0;
        for (Page& p : pages) {
            tess->SetImage(p.pixels.data(), p.region.Width(), p.region.Height(), 1,
                           p.region.Width());
            std::unique_ptr<char[]> text(tess->GetUTF8Text());
            accuracy += Accuracy(p.truth, text ? text.get() : "");
        }
    }
    state.counters["pages"] = static_cast<double>(pages.size());
    state.counters["accuracy"] = accuracy / static_cast<double>(pages.size());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * pages.size()));
}

BENCHMARK(BM_GlyphwickMrz)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TesseractPsm6)->Unit(benchmark::kMillisecond);

// Keeps the time per iteration of each benchmark to report their ratio.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            times[r.benchmark_name()] = r.GetAdjustedRealTime();
            accuracy[r.benchmark_name()] =
                r.counters.count("accuracy") ? r.counters.at("accuracy").value : 0;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times, accuracy;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!SetUp()) {
        std::fprintf(stderr, "mrz_bench: the samples or Tesseract could not be set up\n");
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double g = reporter.times["BM_GlyphwickMrz"];
    const double t = reporter.times["BM_TesseractPsm6"];
    if (g > 0 && t > 0) {
        std::printf(
            "time per page: glyphwick %.2f ms, tesseract %.2f ms; tesseract / glyphwick = %.1fx\n",
            g / pages.size(), t / pages.size(), t / g);
        std::printf("accuracy: glyphwick %.4f, tesseract %.4f\n",
                    reporter.accuracy["BM_GlyphwickMrz"], reporter.accuracy["BM_TesseractPsm6"]);
    }
    tess->End();
    benchmark::Shutdown();
    return 0;
}
