// The whole-image barcode readers side by side on the same decoded grey
// pixels, one call each per image: Glyphwick's gw::ReadBarcodes over a view
// and zxing-cpp's ReadBarcodes (try harder, the same symbology). Per folder of
// the real sample, on its 12-megapixel photos, on a generated A4 page with
// one small symbol, and on pages without symbols (time per megapixel), it
// prints the read rate, wrong reads and in-call time of both. Each call is
// timed three times in processor time of the thread and the fastest counts,
// which keeps the machine's other load out of the figures as far as one run
// can.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "BarcodeSets.h"
#include "barcode/Tables.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
    std::string group;
    const uint8_t* pixels;
    int width, height;
    std::vector<std::string> wants;  // every text the picture holds
    bool code39;
};

struct Tally {
    int results = 0, zxResults = 0;  // results each reader reported
    int n = 0, gwRight = 0, gwWrong = 0, zxRight = 0, zxWrong = 0;
    double gwSeconds = 0, zxSeconds = 0, megapixels = 0;
};

// Processor time of the calling thread, in seconds: both readers run on the
// calling thread, and on a shared machine wall time mostly measures the
// neighbours.
double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}

template <class Call>
double Fastest(Call call) {
    double best = 1e30;
    for (int k = 0; k < 3; ++k) {
        const double t0 = ThreadSeconds();
        call();
        best = std::min(best, ThreadSeconds() - t0);
    }
    return best;
}

void Measure(const Sample& s, Tally& t) {
    gw::BarcodeOptions options;
    options.code39 = s.code39;
    options.code128 = !s.code39;
    options.code39FullAscii = true;
    const gw::ImageView view(s.pixels, s.width, s.height, gw::PixelFormat::Grey8);
    std::vector<gw::BarcodeResult> got;
    t.gwSeconds += Fastest([&] { got = gw::ReadBarcodes(view, options); });
    t.results += int(got.size());
    sets::Reading g;
    std::vector<std::string> codes32;
    for (const gw::BarcodeResult& r : got) g.texts.push_back(r.text), codes32.push_back(r.code32);
    sets::Score(g, s.wants, codes32);
    ++t.n;
    t.megapixels += double(s.width) * s.height / 1e6;
    t.gwRight += g.right, t.gwWrong += !g.right && g.wrong;
#ifdef GW_HAVE_ZXING
    const ZXing::ImageView zview(s.pixels, s.width, s.height, ZXing::ImageFormat::Lum);
    ZXing::DecodeHints hints;
    hints.setFormats(s.code39 ? ZXing::BarcodeFormat::Code39 : ZXing::BarcodeFormat::Code128);
    hints.setTryHarder(true).setTryDownscale(false).setTryCode39ExtendedMode(true);
    ZXing::Results zx;
    t.zxSeconds += Fastest([&] { zx = ZXing::ReadBarcodes(zview, hints); });
    sets::Reading x;
    for (const ZXing::Result& z : zx)
        if (z.isValid()) x.texts.push_back(z.text());
    t.zxResults += int(x.texts.size());
    sets::Score(x, s.wants, std::vector<std::string>(x.texts.size()));
    t.zxRight += x.right, t.zxWrong += !x.right && x.wrong;
#endif
}

// A4 at 300 dpi: grey paper, lines of "text" (short dark dashes), and one
// Code 128 symbol of 2-pixel modules, 80 pixels high, near the bottom right.
std::vector<uint8_t> MakePage(int width, int height, std::string& text) {
    std::mt19937 random(7);
    std::vector<uint8_t> page(size_t(width) * height, 228);
    for (int y = 300; y + 40 < height - 600; y += 60)
        for (int x = 200; x + 40 < width - 200;) {
            const int w = 10 + int(random() % 30);
            for (int yy = y; yy < y + 30; ++yy)
                for (int xx = x; xx < x + w; ++xx)
                    if (random() % 4 != 0) page[size_t(yy) * width + xx] = 40;
            x += w + 12 + int(random() % 6 == 0 ? 30 : 0);
        }
    text = "GW-4711-A4";
    std::vector<int> values{gw::kCode128StartB};
    for (char c : text) values.push_back(c - 32);
    long sum = values[0];
    for (size_t k = 1; k < values.size(); ++k) sum += long(k) * values[k];
    values.push_back(int(sum % 103));
    values.push_back(gw::barcodes::kCode128Stop);
    const int module = 2, top = height - 400, x0 = width - 700;
    int x = x0;
    for (int v : values) {
        bool bar = true;
        for (char m : gw::Code128Table[size_t(v)]) {
            const int w = (m - '0') * module;
            if (bar)
                for (int yy = top; yy < top + 80; ++yy)
                    for (int xx = x; xx < x + w; ++xx) page[size_t(yy) * width + xx] = 30;
            x += w, bar = !bar;
        }
    }
    return page;
}

void Print(const std::string& name, const Tally& t) {
    std::printf("  %-22s %3d  glyphwick %3d right %d wrong %9.2f ms", name.c_str(), t.n, t.gwRight,
                t.gwWrong, 1e3 * t.gwSeconds);
#ifdef GW_HAVE_ZXING
    std::printf("   zxing-cpp %3d right %d wrong %9.2f ms   time ratio %.2f", t.zxRight, t.zxWrong,
                1e3 * t.zxSeconds, t.gwSeconds / std::max(1e-9, t.zxSeconds));
#endif
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    const char* folder = argc > 1 ? argv[1] : std::getenv("GW_BARCODE_REAL_SET");
    const std::vector<sets::Image> real = sets::Load(folder ? folder : GW_BARCODE_REAL_SET_DIR);
    std::map<std::string, Tally> tallies;
    std::printf("in-call time on the same grey pixels (fastest of 3 calls), summed per group\n");
    for (const sets::Image& i : real) {
        const Sample s{i.category,        i.grey.pixels.data(),
                       int(i.grey.width), int(i.grey.height),
                       i.wants,           i.code39};
        Tally one;
        Measure(s, one);
        for (const std::string& g :
             {i.category, std::string("(all)"),
              std::string(i.grey.width * i.grey.height >= 10000000 ? "12-MP photos" : "")}) {
            if (g.empty()) continue;
            Tally& t = tallies[g];
            t.n += one.n, t.gwRight += one.gwRight, t.gwWrong += one.gwWrong;
            t.zxRight += one.zxRight, t.zxWrong += one.zxWrong;
            t.gwSeconds += one.gwSeconds, t.zxSeconds += one.zxSeconds;
            t.megapixels += one.megapixels;
        }
        if (std::getenv("GW_BARCODE_DETAILS"))
            std::printf("    %-28s %5.1f ms %5.1f ms  %d and %d result(s) of %zu\n", i.name.c_str(),
                        1e3 * one.gwSeconds, 1e3 * one.zxSeconds, one.results, one.zxResults,
                        i.wants.size());
    }
    for (const auto& [name, t] : tallies) Print(name, t);

    std::string text;
    const int w = 2480, h = 3508;
    const std::vector<uint8_t> page = MakePage(w, h, text);
    Tally a4;
    Measure({"A4", page.data(), w, h, {text}, false}, a4);
    Print("A4 page, one symbol", a4);

    // Pages without symbols: blank paper and tiled noise, per megapixel.
    for (const bool noise : {false, true}) {
        const int side = 4000;
        std::vector<uint8_t> pixels(size_t(side) * side, 230);
        if (noise) {
            std::mt19937 random(3);
            std::vector<uint8_t> tile(64 * 64);
            for (uint8_t& v : tile) v = uint8_t(random());
            for (int y = 0; y < side; ++y)
                for (int x = 0; x < side; ++x)
                    pixels[size_t(y) * side + x] = tile[size_t(y % 64) * 64 + x % 64];
        }
        Tally t;
        Measure({"", pixels.data(), side, side, {"-"}, false}, t);
        std::printf("  %-22s glyphwick %.4f s/MP", noise ? "tiled noise 16 MP" : "blank 16 MP",
                    t.gwSeconds / t.megapixels);
#ifdef GW_HAVE_ZXING
        std::printf("   zxing-cpp %.4f s/MP", t.zxSeconds / t.megapixels);
#endif
        std::printf("\n");
    }
    // The worst case of the reader's budget: 8000 x 8000 pixels of a 64 x 64
    // noise tile, one call.
    {
        const int side = 8000;
        std::mt19937 random(3);
        std::vector<uint8_t> tile(64 * 64);
        for (uint8_t& v : tile) v = uint8_t(random());
        std::vector<uint8_t> pixels(size_t(side) * side);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                pixels[size_t(y) * side + x] = tile[size_t(y % 64) * 64 + x % 64];
        const gw::ImageView view(pixels.data(), side, side, gw::PixelFormat::Grey8);
        gw::BarcodeReport report;
        const auto t0 = Clock::now();
        const size_t found = gw::ReadBarcodes(view, {}, &report).size();
        const double s = std::chrono::duration<double>(Clock::now() - t0).count();
        std::printf("  tiled noise 8000 x 8000: %.2f s (%.4f s/MP), %zu results%s\n", s, s / 64,
                    found, report.stopped ? ", stopped" : "");
    }
    return 0;
}
