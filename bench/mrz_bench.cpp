// Reading machine-readable zones: accuracy and time per image over the real
// images (../shared/realworld/mrz beside the source tree) and over a set made
// by `mrz-pages make DIR COUNT SEED` named by GW_MRZ_PAGES=DIR. For each set:
// per image (real set) or per degradation and capital height (generated set)
// found, exact, valid and valid-but-wrong counts; the median and 90th
// percentile time per image with the stage breakdown (find, normalise,
// segment, classify, decode), single-threaded and as the thread's processor
// time (so that other work on the machine does not count), and its ratio to
// loading the image; the same for the pages without a zone and for the zones
// read exactly whose printed checks hold or fail (with GW_MRZ_PER_IMAGE set,
// a line per image of the generated set too). Then a 12-megapixel photo
// of the TD3 sample, and a Google Benchmark of one sample page.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>
#include <regex>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "DVImageProcessor.h"
#include "GlyphwickGrey.h"
#include "GlyphwickMrz.h"
#include "mrz/MrzReader.h"

namespace {

namespace fs = std::filesystem;
using Clock = gw::mrz::ThreadClock;

struct Truth {
    std::string file, degradation;
    std::vector<std::string> lines;
    int rotation = 0;
    double charHeight = 0;
};

std::vector<Truth> ReadTruth(const fs::path& path) {
    std::vector<Truth> out;
    std::ifstream in(path);
    std::string line;
    const std::regex file("\"file\": \"([^\"]+)\""), lines("\"lines\": \\[([^\\]]*)\\]"),
        item("\"([^\"]*)\""), deg("\"degradation\": \"([^\"]+)\""),
        height("\"char_height\": ([0-9.]+)"), rot("\"rotation\": ([0-9]+)");
    while (std::getline(in, line)) {
        std::smatch m;
        Truth t;
        if (!std::regex_search(line, m, file)) continue;
        t.file = m[1];
        if (std::regex_search(line, m, lines)) {
            const std::string l = m[1];
            for (auto i = std::sregex_iterator(l.begin(), l.end(), item);
                 i != std::sregex_iterator(); ++i)
                t.lines.push_back((*i)[1]);
        }
        if (std::regex_search(line, m, deg)) t.degradation = m[1];
        if (std::regex_search(line, m, height)) t.charHeight = std::stod(m[1]);
        if (std::regex_search(line, m, rot)) t.rotation = std::stoi(m[1]);
        out.push_back(t);
    }
    return out;
}

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

double Quantile(std::vector<double> v, double q) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(q * double(v.size())))];
}

struct Tally {
    int n = 0, found = 0, exact = 0, valid = 0, wrongValid = 0;
    std::vector<double> ms;
    void Add(bool f, bool e, bool v, double t) {
        ++n, found += f, exact += e, valid += v, wrongValid += v && !e;
        ms.push_back(t);
    }
    void Print(const std::string& name) const {
        std::printf(
            "  %-15s %4d  found %4d  exact %4d  valid %4d  valid-but-wrong %d  "
            "ms median %5.1f p90 %5.1f\n",
            name.c_str(), n, found, exact, valid, wrongValid, Quantile(ms, 0.5), Quantile(ms, 0.9));
    }
};

void Evaluate(const fs::path& dir, bool perImage) {
    const auto truth = ReadTruth(dir / "truth.jsonl");
    if (truth.empty()) return;
    std::printf("== %s: %zu images\n", dir.filename().c_str(), truth.size());
    std::vector<double> total, small, load, find, normalise, segment, classify, decode;
    // Cells through the network: the classifier's work, which moves with
    // the search and not with the machine's load.
    std::vector<double> cells, noneCells;
    // The same stages on the pages without a zone, which search every pass.
    std::vector<double> noneFind, noneNormalise, noneSegment, noneClassify;
    Tally all, withoutZone, checksHold, checksFail;
    std::map<std::string, Tally> byKind, byHeight;
    for (const Truth& t : truth) {
        DVImageProcessor image;
        const auto t0 = Clock::now();
        if (image.LoadFromFile((dir / t.file).c_str(), nullptr) != 0) continue;
        const auto t1 = Clock::now();
        gw::mrz::StageTimes st;
        const gw::GreyImage grey = gw::ToGrey(image, gw::mrz::kPageGrey);
        const cv::Mat page(int(grey.height), int(grey.width), CV_8U,
                           const_cast<uint8_t*>(grey.pixels.data()));
        const auto t2 = Clock::now();
        // Colour pixels beside the grey, as ReadMrz hands them on.
        const cv::Mat colour = gw::mrz::ColourPixels(image.GetBitmap());
        const gw::MrzResult r = gw::mrz::ReadPage(page, {}, &st, colour);
        const auto t3 = Clock::now();
        const bool exact = r.lines == t.lines;
        load.push_back(Ms(t0, t1));
        total.push_back(Ms(t1, t3));
        if (uint64_t(image.GetWidth()) * image.GetHeight() <= 2000000) small.push_back(Ms(t1, t3));
        find.push_back(st.find);
        normalise.push_back(st.normalise + Ms(t1, t2));
        segment.push_back(st.segment);
        classify.push_back(st.classify);
        decode.push_back(st.decode);
        cells.push_back(double(st.cellsClassified));
        all.Add(r.found, exact, r.valid, total.back());
        if (!t.degradation.empty())
            byKind[t.degradation].Add(r.found, exact, r.valid, total.back());
        // Pages without a zone, and zones read exactly whose printed checks
        // hold or fail (the latter should stop as early as the former).
        if (t.lines.empty()) {
            withoutZone.Add(r.found, exact, r.valid, total.back());
            noneFind.push_back(find.back()), noneNormalise.push_back(normalise.back());
            noneSegment.push_back(segment.back()), noneClassify.push_back(classify.back());
            noneCells.push_back(cells.back());
        }
        if (exact && !t.lines.empty()) {
            const bool hold = std::all_of(r.fields.begin(), r.fields.end(), [](const auto& f) {
                return !f.hasCheck || f.checkValid;
            });
            (hold ? checksHold : checksFail).Add(r.found, exact, r.valid, total.back());
        }
        if (t.charHeight > 0) {
            char bin[32];
            const int h = int(t.charHeight);
            std::snprintf(bin, sizeof bin, "h %02d-%02d px", h / 2 * 2, h / 2 * 2 + 1);
            byHeight[bin].Add(r.found, exact, r.valid, total.back());
        }
        if (!perImage && r.valid && !exact) {
            std::printf("  valid but wrong: %s (%s)\n", t.file.c_str(), t.degradation.c_str());
            for (size_t l = 0; l < r.lines.size() && l < t.lines.size(); ++l)
                std::printf("    read %s\n    true %s\n", r.lines[l].c_str(), t.lines[l].c_str());
        }
        if (perImage)
            std::printf(
                "  %-20s found %-3s %-5s orient %3d valid %-3s exact %-3s %6.1f ms (find %.1f, "
                "normalise %.1f, segment %.1f, classify %.1f)\n",
                t.file.c_str(), r.found ? "yes" : "no", r.format.c_str(), r.orientation,
                r.valid ? "yes" : "no", exact ? "YES" : "no", total.back(), find.back(),
                normalise.back(), segment.back(), classify.back());
    }
    all.Print("all");
    for (const auto& [k, v] : byKind) v.Print(k);
    for (const auto& [k, v] : byHeight) v.Print(k);
    if (withoutZone.n > 0) withoutZone.Print("without zone");
    if (checksHold.n > 0) checksHold.Print("checks hold");
    if (checksFail.n > 0) checksFail.Print("checks fail");
    std::printf("  time per image (ms): median %.1f, p90 %.1f; load median %.1f (ratio %.1f)\n",
                Quantile(total, 0.5), Quantile(total, 0.9), Quantile(load, 0.5),
                Quantile(total, 0.5) / std::max(1e-3, Quantile(load, 0.5)));
    std::printf("  images up to 2 megapixels: %zu, median %.1f ms, p90 %.1f ms\n", small.size(),
                Quantile(small, 0.5), Quantile(small, 0.9));
    std::printf(
        "  stage medians (ms): find %.1f, normalise %.1f, segment %.1f, classify %.1f, "
        "decode %.2f\n",
        Quantile(find, 0.5), Quantile(normalise, 0.5), Quantile(segment, 0.5),
        Quantile(classify, 0.5), Quantile(decode, 0.5));
    if (!noneFind.empty())
        std::printf(
            "  pages without a zone, stage medians (ms): find %.1f, normalise %.1f, segment "
            "%.1f, classify %.1f\n",
            Quantile(noneFind, 0.5), Quantile(noneNormalise, 0.5), Quantile(noneSegment, 0.5),
            Quantile(noneClassify, 0.5));
    const auto sum = [](const std::vector<double>& v) {
        return std::accumulate(v.begin(), v.end(), 0.0);
    };
    std::printf("  cells classified: %.0f, per image median %.0f, p90 %.0f\n", sum(cells),
                Quantile(cells, 0.5), Quantile(cells, 0.9));
    if (!noneCells.empty())
        std::printf("  pages without a zone, cells classified: %.0f, median %.0f, p90 %.0f\n",
                    sum(noneCells), Quantile(noneCells, 0.5), Quantile(noneCells, 0.9));
}

// A 12-megapixel phone photo: the TD3 sample enlarged into a 4032 x 3024
// colour frame on light grey paper, read as a loaded camera picture is
// (ReadMrz on its pixels, grey made inside); the best and the median of ten
// calls, and whether it still reads valid at that size.
void EvaluatePhoto() {
    DVImageProcessor image;
    if (image.LoadFromFile((std::string(GW_SOURCE_DIR) + "/samples/td3-passport.png").c_str(),
                           nullptr) != 0)
        return;
    const gw::GreyImage grey = gw::ToGrey(image, gw::mrz::kPageGrey);
    const cv::Mat sample(int(grey.height), int(grey.width), CV_8U,
                         const_cast<uint8_t*>(grey.pixels.data()));
    const int w = 4032, h = 3024;
    const double scale = std::min(double(w) / sample.cols, double(h) / sample.rows);
    cv::Mat big, colour;
    cv::resize(sample, big, cv::Size(), scale, scale, cv::INTER_CUBIC);
    cv::Mat page(h, w, CV_8U, cv::Scalar(235));
    big.copyTo(page(cv::Rect((w - big.cols) / 2, (h - big.rows) / 2, big.cols, big.rows)));
    cv::cvtColor(page, colour, cv::COLOR_GRAY2BGR);
    const gw::ImageView view(colour.data, w, h, gw::PixelFormat::BGR24, ptrdiff_t(colour.step));
    std::vector<double> ms;
    bool valid = true;
    for (int i = 0; i < 10; ++i) {
        const auto t0 = Clock::now();
        valid = gw::ReadMrz(view).valid && valid;
        ms.push_back(Ms(t0, Clock::now()));
    }
    std::printf("== 12-megapixel photo (TD3 sample x %.2f): best %.1f ms, median %.1f ms, %s\n",
                scale, *std::min_element(ms.begin(), ms.end()), Quantile(ms, 0.5),
                valid ? "valid" : "NOT valid");
}

void BM_ReadMrzSample(benchmark::State& state) {
    DVImageProcessor image;
    image.LoadFromFile((std::string(GW_SOURCE_DIR) + "/samples/td3-passport.png").c_str(), nullptr);
    for (auto _ : state) benchmark::DoNotOptimize(gw::ReadMrz(image).valid);
}
BENCHMARK(BM_ReadMrzSample)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // One thread, as the time goal is stated.
    cv::setNumThreads(0);
    if (fs::exists(fs::path(GW_REALWORLD_MRZ) / "truth.jsonl")) Evaluate(GW_REALWORLD_MRZ, true);
    if (const char* pages = std::getenv("GW_MRZ_PAGES"))
        Evaluate(pages, std::getenv("GW_MRZ_PER_IMAGE") != nullptr);
    EvaluatePhoto();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
