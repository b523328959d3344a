// Barcode reading on an 8-bit page: Glyphwick's Code 128 and Code 39 readers
// beside zxing-cpp restricted to the same symbology, on the same pixels in the
// same run. The symbols come from zint (an independent generator) at several
// module widths and, for Code 128, upside down too; a rough copy of the page
// adds noise and specks. Each benchmark reads the whole set once per
// iteration; the read rates are printed first and the time ratios last. On a
// noisy machine, run with --benchmark_repetitions=7
// --benchmark_enable_random_interleaving=true: the ratios use the medians.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "DVImageProcessor.h"
#include "Glyphwick.h"
#include "BarcodeSets.h"
#include "GlyphwickBarcodes.h"
#include "area/Area.h"
#include "barcode/rect/Code128.h"
#include "barcode/Code128Text.h"

#ifdef GW_HAVE_ZXING
#define ZX_USE_UTF8
#include <ZXing/ReadBarcode.h>
#endif

namespace {

constexpr uint32_t kPageWidth = 2480, kPageHeight = 3508;  // A4 at 300 dpi
constexpr uint8_t kPaper = 235, kInk = 25;
// Paper around a symbol's region: zint's quiet zones and 16 pixels at the
// sides, 4 above and below. The reader averages its widths over 40 scan
// lines whether or not they cross the symbol, so a region much higher than
// the symbol dilutes 1-pixel modules.
constexpr int32_t kMargin = 16, kMarginV = 4;

struct Symbol {
    std::string data;
    RECT region;  // the symbol and a margin, on the page
};

struct Set {
    std::vector<Symbol> code128;
    std::vector<Symbol> code39;
};

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + size_t(i)];
    return v;
}

// zint's BMP output: 1 bit per pixel, bottom-up, two palette entries.
// Returns rows of dark (true) and light pixels.
std::vector<std::vector<bool>> ReadZintBmp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> f((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
    if (f.size() < 62 || f[0] != 'B' || Le(f, 28, 2) != 1) return {};
    const uint32_t offset = Le(f, 10, 4), width = Le(f, 18, 4), height = Le(f, 22, 4);
    const size_t stride = ((size_t{width} + 31) / 32) * 4;
    if (offset + stride * height > f.size()) return {};
    const size_t palette = 14 + Le(f, 14, 4);
    bool dark[2];
    for (int i = 0; i < 2; ++i)
        dark[i] = f[palette + 4 * size_t(i)] + f[palette + 4 * size_t(i) + 1] < 256;
    std::vector<std::vector<bool>> rows(height, std::vector<bool>(width));
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = &f[offset + stride * (height - 1 - y)];
        for (uint32_t x = 0; x < width; ++x) rows[y][x] = dark[(row[x / 8] >> (7 - x % 8)) & 1];
    }
    return rows;
}

class Page {
  public:
    Page() {
        image_.Create(kPageWidth, kPageHeight, dv::PixelFormat8bppIndexed);
        pixels_.assign(size_t{kPageWidth} * kPageHeight, kPaper);
    }
    // Renders data with zint and places it at the cursor; returns its region.
    bool Place(const std::string& options, const std::string& data, RECT& region) {
        const std::string file = folder_ + "/symbol.bmp";
        const std::string command = "zint " + options +
                                    " --notext --quietzones --filetype=bmp -o '" + file + "' -d '" +
                                    data + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return false;
        const auto rows = ReadZintBmp(file);
        if (rows.empty()) return false;
        const uint32_t w = uint32_t(rows[0].size()), h = uint32_t(rows.size());
        if (x_ + w + 2 * kMargin > kPageWidth) {
            x_ = 40;
            y_ += lineHeight_ + 2 * kMarginV + 40;
            lineHeight_ = 0;
        }
        if (y_ + h + 2 * kMarginV > kPageHeight) return false;
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                if (rows[y][x])
                    pixels_[size_t{y_ + kMarginV + y} * kPageWidth + x_ + kMargin + x] = kInk;
        region = {int32_t(x_), int32_t(y_), int32_t(x_ + w + 2 * kMargin - 1),
                  int32_t(y_ + h + 2 * kMarginV - 1)};
        x_ += w + 2 * kMargin + 40;
        lineHeight_ = std::max(lineHeight_, h);
        return true;
    }
    void Finish() {
        image_.SetBits(pixels_.data(), kPageWidth);
        // The rough page: grey noise everywhere that never crosses the
        // threshold, and a dark speck in one pixel of 4000, so that scan lines
        // differ in their bytes, and a few in their ink, as on a scanned print.
        std::mt19937 random(7);
        rough_.resize(pixels_.size());
        for (size_t i = 0; i < pixels_.size(); ++i) {
            const int noisy = random() % 4000 == 0 ? kInk : pixels_[i] + int(random() % 41) - 20;
            rough_[i] = uint8_t(std::clamp(noisy, 0, 255));
        }
        roughImage_.Create(kPageWidth, kPageHeight, dv::PixelFormat8bppIndexed);
        roughImage_.SetBits(rough_.data(), kPageWidth);
    }
    /// The clean page, or the rough one while the rough set is read.
    DVImageProcessor& Image() { return rough ? roughImage_ : image_; }
    const uint8_t* Pixels() const { return rough ? rough_.data() : pixels_.data(); }
    bool rough = false;
    ~Page() { std::filesystem::remove_all(folder_); }

  private:
    DVImageProcessor image_, roughImage_;
    std::vector<uint8_t> pixels_, rough_;
    std::string folder_ = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "gw-bench-XXXXXX").string();
        return mkdtemp(pattern.data()) != nullptr ? pattern : std::string(".");
    }();
    uint32_t x_ = 40, y_ = 40, lineHeight_ = 0;
};

Page& ThePage() {
    static Page page;
    return page;
}

const Set& TheSet() {
    static const Set set = [] {
        Set s;
        Page& page = ThePage();
        const std::vector<std::string> texts128 = {"Hello-128",   "0123456789", "AB123456cd",
                                                   "SHIPMENT 42", "x",          "9780201379624"};
        const std::vector<std::string> texts39 = {"AB7",        "CODE-39", "HELLO WORLD",
                                                  "0123456789", "$/+%.",   "PASSPORT 12"};
        // Each text ends in a letter of its scale, so that no two symbols of
        // the page are alike (zxing-cpp's whole-image reader cannot take two
        // symbols of the same text).
        const std::vector<std::string> scales{"0.5", "1", "1.5", "2"};
        for (size_t k = 0; k < scales.size(); ++k) {
            const std::string scale = scales[k], suffix(1, char('A' + k));
            for (const std::string& text : texts128) {
                RECT r;
                if (page.Place("-b 20 --scale=" + scale, text + suffix, r))
                    s.code128.push_back({text + suffix, r});
            }
            RECT r;
            if (page.Place("-b 20 --rotate=180 --scale=" + scale, "Upside 128" + suffix, r))
                s.code128.push_back({"Upside 128" + suffix, r});
            for (const std::string& text : texts39) {
                if (page.Place("-b 8 --scale=" + scale, text + suffix, r))
                    s.code39.push_back({text + suffix, r});
            }
        }
        page.Finish();
        return s;
    }();
    return set;
}

bool GlyphwickCode128(const Symbol& symbol, bool check) {
    const AREAPARAMS params{};
    if (GW_InitialiseArea(&ThePage().Image(), &symbol.region, &params) == nullptr) return false;
    bool ok;
    if (check) {
        const gw::Code128Reading reading = gw::ReadCode128(*gw::CurrentArea(), symbol.region);
        ok = reading.result == 0 && gw::Code128ValuesToText(reading.values).text == symbol.data;
    } else {
        char text[4096];
        ok = GW_ReadCode128(&symbol.region, text) == 0;
    }
    GW_DestroyArea();
    return ok;
}

bool GlyphwickCode39(const Symbol& symbol, bool check) {
    const AREAPARAMS params{};
    if (GW_InitialiseArea(&ThePage().Image(), &symbol.region, &params) == nullptr) return false;
    char text[4096];
    const bool ok = GW_ReadCode39(&symbol.region, text) == 0 && (!check || symbol.data == text);
    GW_DestroyArea();
    return ok;
}

#ifdef GW_HAVE_ZXING
ZXing::DecodeHints Hints(ZXing::BarcodeFormat format, bool fast) {
    ZXing::DecodeHints hints;
    hints.setFormats(format);
    // Fast: no harder search, rotation or downscaling, and a fixed threshold
    // (the page is clean, and Glyphwick's threshold is fixed too).
    if (fast)
        hints.setTryHarder(false).setTryRotate(false).setTryDownscale(false).setBinarizer(
            ZXing::Binarizer::FixedThreshold);
    return hints;
}

bool ZXingRead(const Symbol& symbol, const ZXing::DecodeHints& hints, bool check) {
    const RECT& r = symbol.region;
    const ZXing::ImageView view(ThePage().Pixels() + size_t(r.top) * kPageWidth + size_t(r.left),
                                r.right - r.left + 1, r.bottom - r.top + 1, ZXing::ImageFormat::Lum,
                                int(kPageWidth));
    const ZXing::Result result = ZXing::ReadBarcode(view, hints);
    return result.isValid() && (!check || result.text() == symbol.data);
}
#endif

template <class Read>
double ReadRate(const std::vector<Symbol>& symbols, Read read) {
    int ok = 0;
    for (const Symbol& s : symbols) ok += read(s, true) ? 1 : 0;
    return symbols.empty() ? 0.0 : double(ok) / double(symbols.size());
}

template <class Read>
void ReadAll(benchmark::State& state, const std::vector<Symbol>& symbols, Read read) {
    int ok = 0;
    for (auto _ : state)
        for (const Symbol& s : symbols) ok += read(s, false) ? 1 : 0;
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(symbols.size()));
    state.counters["read"] = double(ok) / double(state.iterations() * symbols.size());
}

void BM_Glyphwick_Code128(benchmark::State& state) {
    ReadAll(state, TheSet().code128, GlyphwickCode128);
}
void BM_Glyphwick_Code39(benchmark::State& state) {
    ReadAll(state, TheSet().code39, GlyphwickCode39);
}
BENCHMARK(BM_Glyphwick_Code128)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Glyphwick_Code39)->Unit(benchmark::kMicrosecond);

// Runs a benchmark on the rough page.
struct RoughPage {
    RoughPage() { ThePage().rough = true; }
    ~RoughPage() { ThePage().rough = false; }
};
void BM_Glyphwick_Code128_rough(benchmark::State& state) {
    const RoughPage rough;
    BM_Glyphwick_Code128(state);
}
void BM_Glyphwick_Code39_rough(benchmark::State& state) {
    const RoughPage rough;
    BM_Glyphwick_Code39(state);
}
BENCHMARK(BM_Glyphwick_Code128_rough)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Glyphwick_Code39_rough)->Unit(benchmark::kMicrosecond);

// Each region copied into an image of its own (a host that crops the zone
// first): the area's rows are then the region's width, not the page's.
struct Crops {
    std::vector<std::unique_ptr<DVImageProcessor>> images;
    std::vector<RECT> rects;
};

const Crops& CropsOf(const std::vector<Symbol>& symbols) {
    static std::map<const std::vector<Symbol>*, Crops> made;
    Crops& crops = made[&symbols];
    if (!crops.images.empty()) return crops;
    for (const Symbol& s : symbols) {
        const RECT& r = s.region;
        const uint32_t w = uint32_t(r.right - r.left + 1), h = uint32_t(r.bottom - r.top + 1);
        auto image = std::make_unique<DVImageProcessor>();
        image->Create(w, h, dv::PixelFormat8bppIndexed);
        for (uint32_t y = 0; y < h; ++y)
            image->SetBytes(
                y, 0, ThePage().Pixels() + size_t(r.top + int32_t(y)) * kPageWidth + r.left, w);
        crops.images.push_back(std::move(image));
        crops.rects.push_back({0, 0, int32_t(w) - 1, int32_t(h) - 1});
    }
    return crops;
}

template <bool Code128>
void BM_GlyphwickCropped(benchmark::State& state) {
    const std::vector<Symbol>& symbols = Code128 ? TheSet().code128 : TheSet().code39;
    const Crops& crops = CropsOf(symbols);
    const AREAPARAMS params{};
    char text[4096];
    int ok = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < symbols.size(); ++i) {
            GW_InitialiseArea(crops.images[i].get(), &crops.rects[i], &params);
            const int32_t result = Code128 ? GW_ReadCode128(&crops.rects[i], text)
                                           : GW_ReadCode39(&crops.rects[i], text);
            ok += result == 0 ? 1 : 0;
            GW_DestroyArea();
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(symbols.size()));
    state.counters["read"] = double(ok) / double(state.iterations() * symbols.size());
}
BENCHMARK(BM_GlyphwickCropped<true>)
    ->Name("BM_Glyphwick_Code128_cropped")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GlyphwickCropped<false>)
    ->Name("BM_Glyphwick_Code39_cropped")
    ->Unit(benchmark::kMicrosecond);

// The readers alone: one area per region made beforehand and made current in
// turn (the reader's row refresh is timed, the area's creation is not).
template <bool Code128>
void BM_GlyphwickReaderOnly(benchmark::State& state) {
    const std::vector<Symbol>& symbols = Code128 ? TheSet().code128 : TheSet().code39;
    const AREAPARAMS params{};
    std::vector<AREAINFO*> areas;
    for (const Symbol& s : symbols) {
        areas.push_back(GW_InitialiseArea(&ThePage().Image(), &s.region, &params));
        GW_SetDefaultArea(nullptr);  // set aside: the next creation keeps it
    }
    char text[4096];
    int ok = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < symbols.size(); ++i) {
            GW_SetDefaultArea(areas[i]);
            const int32_t result = Code128 ? GW_ReadCode128(&symbols[i].region, text)
                                           : GW_ReadCode39(&symbols[i].region, text);
            ok += result == 0 ? 1 : 0;
        }
    }
    for (AREAINFO* area : areas) {
        GW_SetDefaultArea(area);
        GW_DestroyArea();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(symbols.size()));
    state.counters["read"] = double(ok) / double(state.iterations() * symbols.size());
}
BENCHMARK(BM_GlyphwickReaderOnly<true>)
    ->Name("BM_Glyphwick_Code128_reader")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GlyphwickReaderOnly<false>)
    ->Name("BM_Glyphwick_Code39_reader")
    ->Unit(benchmark::kMicrosecond);

// The floor of a read on the page: a memcpy of the rows that the reader must
// refresh (the region's rows, page wide, from column 0).
template <bool Code128>
void BM_RowCopy(benchmark::State& state) {
    const std::vector<Symbol>& symbols = Code128 ? TheSet().code128 : TheSet().code39;
    std::vector<uint8_t> rows;
    for (auto _ : state) {
        for (const Symbol& s : symbols) {
            const size_t bytes = size_t(s.region.bottom - s.region.top + 1) * kPageWidth;
            rows.resize(bytes);
            std::memcpy(rows.data(), ThePage().Pixels() + size_t(s.region.top) * kPageWidth, bytes);
            benchmark::DoNotOptimize(rows.data());
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(symbols.size()));
}
BENCHMARK(BM_RowCopy<true>)->Name("BM_RowCopy_Code128")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RowCopy<false>)->Name("BM_RowCopy_Code39")->Unit(benchmark::kMicrosecond);

#ifdef GW_HAVE_ZXING
template <bool Fast>
void BM_ZXing_Code128(benchmark::State& state) {
    const auto hints = Hints(ZXing::BarcodeFormat::Code128, Fast);
    ReadAll(state, TheSet().code128,
            [&](const Symbol& s, bool check) { return ZXingRead(s, hints, check); });
}
template <bool Fast>
void BM_ZXing_Code39(benchmark::State& state) {
    const auto hints = Hints(ZXing::BarcodeFormat::Code39, Fast);
    ReadAll(state, TheSet().code39,
            [&](const Symbol& s, bool check) { return ZXingRead(s, hints, check); });
}
// Default hints, and the fast ones.
BENCHMARK(BM_ZXing_Code128<false>)->Name("BM_ZXing_Code128")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZXing_Code128<true>)->Name("BM_ZXing_Code128_fast")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZXing_Code39<false>)->Name("BM_ZXing_Code39")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZXing_Code39<true>)->Name("BM_ZXing_Code39_fast")->Unit(benchmark::kMicrosecond);
void BM_ZXing_Code128_rough(benchmark::State& state) {
    const RoughPage rough;
    BM_ZXing_Code128<false>(state);
}
void BM_ZXing_Code39_rough(benchmark::State& state) {
    const RoughPage rough;
    BM_ZXing_Code39<false>(state);
}
BENCHMARK(BM_ZXing_Code128_rough)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZXing_Code39_rough)->Unit(benchmark::kMicrosecond);
#endif

// The whole page at once: every symbol found and read, with no region given.
// The counter "read" is the share of the page's symbols whose text came out.
double PageShare(const std::vector<std::string>& texts) {
    std::multiset<std::string> want;
    for (const Symbol& s : TheSet().code128) want.insert(s.data);
    for (const Symbol& s : TheSet().code39) want.insert(s.data);
    const size_t all = want.size();
    for (const std::string& t : texts)
        if (auto it = want.find(t); it != want.end()) want.erase(it);
    return double(all - want.size()) / double(all);
}

std::vector<std::string> GlyphwickPage() {
    std::vector<std::string> texts;
    for (const gw::BarcodeResult& r : gw::ReadBarcodes(ThePage().Image())) texts.push_back(r.text);
    return texts;
}

void BM_Glyphwick_Page(benchmark::State& state) {
    std::vector<std::string> texts;
    for (auto _ : state) texts = GlyphwickPage();
    state.counters["read"] = PageShare(texts);
}
BENCHMARK(BM_Glyphwick_Page)->Unit(benchmark::kMillisecond);

#ifdef GW_HAVE_ZXING
std::vector<std::string> ZXingPage() {
    const ZXing::ImageView view(ThePage().Pixels(), int(kPageWidth), int(kPageHeight),
                                ZXing::ImageFormat::Lum);
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::Code128 | ZXing::BarcodeFormat::Code39);
    // Default hints (try harder, try rotated) but no downscaled pass: on this
    // page that pass trips an assertion of Debian's zxing-cpp 1.4.0
    // (Result::operator==, lineCount() == 1) and aborts.
    hints.setTryDownscale(false);
    std::vector<std::string> texts;
    for (const ZXing::Result& r : ZXing::ReadBarcodes(view, hints))
        if (r.isValid()) texts.push_back(r.text());
    return texts;
}

void BM_ZXing_Page(benchmark::State& state) {
    std::vector<std::string> texts;
    for (auto _ : state) texts = ZXingPage();
    state.counters["read"] = PageShare(texts);
}
BENCHMARK(BM_ZXing_Page)->Unit(benchmark::kMillisecond);
#endif

// The real photographs and scans, and the generated degraded set: each
// iteration reads every image once, one symbology per image.
const std::vector<sets::Image>& RealSet() {
    static const std::vector<sets::Image> set = [] {
        const char* folder = std::getenv("GW_BARCODE_REAL_SET");
        return sets::Load(folder != nullptr ? folder : GW_BARCODE_REAL_SET_DIR);
    }();
    return set;
}

const std::vector<sets::Image>& GeneratedSet() {
    static const std::vector<sets::Image> set = [] {
        const char* given = std::getenv("GW_BARCODE_GENERATED");
        const std::string folder = given != nullptr ? given : GW_BARCODE_GENERATED_DIR;
        if (!std::filesystem::exists(folder)) {
            std::printf("making the generated set in %s (a few minutes, once)\n", folder.c_str());
            const std::string command =
                std::string(GW_BARCODE_GENERATOR) + " '" + folder + "' --seed 18 --count 24";
            if (std::system(command.c_str()) != 0) std::printf("the generator failed\n");
        }
        return sets::Load(folder);
    }();
    return set;
}

template <class Read>
void ReadSet(benchmark::State& state, const std::vector<sets::Image>& images, Read read) {
    int right = 0;
    for (auto _ : state)
        for (const sets::Image& i : images) right += read(i).right ? 1 : 0;
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(images.size()));
    state.counters["read"] =
        images.empty() ? 0.0 : double(right) / double(state.iterations() * images.size());
}

void BM_Glyphwick_RealSet(benchmark::State& state) {
    ReadSet(state, RealSet(), sets::Glyphwick);
}
void BM_Glyphwick_Generated(benchmark::State& state) {
    ReadSet(state, GeneratedSet(), sets::Glyphwick);
}
BENCHMARK(BM_Glyphwick_RealSet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Glyphwick_Generated)->Unit(benchmark::kMillisecond);
#ifdef GW_HAVE_ZXING
void BM_ZXing_RealSet(benchmark::State& state) {
    ReadSet(state, RealSet(), [](const sets::Image& i) { return sets::ZXing(i); });
}
void BM_ZXing_Generated(benchmark::State& state) {
    ReadSet(state, GeneratedSet(), [](const sets::Image& i) { return sets::ZXing(i); });
}
BENCHMARK(BM_ZXing_RealSet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZXing_Generated)->Unit(benchmark::kMillisecond);
#endif

// Keeps each run's time per iteration to print ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            // Single runs, or the median of repetitions.
            if (!run.aggregate_name.empty() && run.aggregate_name != "median") continue;
            times_[run.run_name.function_name] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios() const {
        for (const char* what : {"Page", "RealSet", "Generated"}) {
            const auto gw = times_.find(std::string("BM_Glyphwick_") + what);
            const auto zx = times_.find(std::string("BM_ZXing_") + what);
            if (gw != times_.end() && zx != times_.end())
                std::printf("%s, whole-image readers: zxing-cpp / Glyphwick CPU time = %.2f\n",
                            what, zx->second / gw->second);
        }
        for (const char* symbology : {"Code128", "Code39"}) {
            const auto roughGw = times_.find(std::string("BM_Glyphwick_") + symbology + "_rough");
            const auto roughZx = times_.find(std::string("BM_ZXing_") + symbology + "_rough");
            if (roughGw != times_.end() && roughZx != times_.end())
                std::printf("%s: zxing-cpp / Glyphwick CPU time on the rough page = %.2f\n",
                            symbology, roughZx->second / roughGw->second);
            for (const char* gwSuffix : {"", "_reader", "_cropped"}) {
                const auto gw = times_.find(std::string("BM_Glyphwick_") + symbology + gwSuffix);
                if (gw == times_.end()) continue;
                for (const char* suffix : {"", "_fast"}) {
                    const auto zx = times_.find(std::string("BM_ZXing_") + symbology + suffix);
                    if (zx == times_.end()) continue;
                    std::printf("%s: zxing-cpp%s / Glyphwick%s CPU time = %.2f\n", symbology,
                                suffix, gwSuffix, zx->second / gw->second);
                }
                const auto copy = times_.find(std::string("BM_RowCopy_") + symbology);
                if (copy != times_.end())
                    std::printf("%s: Glyphwick%s / memcpy of its rows CPU time = %.2f\n", symbology,
                                gwSuffix, gw->second / copy->second);
            }
        }
    }

  private:
    std::map<std::string, double> times_;
};

// Prints the read rates of both readers (zxing-cpp with default and fast
// hints) on the clean or the rough page.
template <class Read>
void PrintReadRates(bool code128, bool rough, const std::vector<Symbol>& symbols, Read glyphwick) {
    std::printf("read rate Code %s%s: Glyphwick %.3f", code128 ? "128" : "39",
                rough ? " (rough page)" : "", ReadRate(symbols, glyphwick));
#ifdef GW_HAVE_ZXING
    const auto format = code128 ? ZXing::BarcodeFormat::Code128 : ZXing::BarcodeFormat::Code39;
    for (const bool fast : {false, true}) {
        const auto hints = Hints(format, fast);
        std::printf(
            ", zxing-cpp%s %.3f", fast ? " fast" : "",
            ReadRate(symbols, [&](const Symbol& s, bool c) { return ZXingRead(s, hints, c); }));
    }
#endif
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const Set& set = TheSet();
    std::printf("zint set: %zu Code 128, %zu Code 39 symbols on an 8-bit page\n",
                set.code128.size(), set.code39.size());
    for (const bool rough : {false, true}) {
        ThePage().rough = rough;
        PrintReadRates(true, rough, set.code128, GlyphwickCode128);
        PrintReadRates(false, rough, set.code39, GlyphwickCode39);
    }
    ThePage().rough = false;
    const bool details = std::getenv("GW_BARCODE_DETAILS") != nullptr;
    sets::PrintRates("real set", RealSet(), details);
    sets::PrintRates("generated set", GeneratedSet(), details);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
