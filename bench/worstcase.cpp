// The worst-case table: each whole-image reader (ReadMrz, ReadBarcodes,
// ReadLines) at its default options over pathological texture (stripes of
// periods 2 to 32, vertical and diagonal; checkerboards; uniform and binary
// noise; a tile of noise repeated; the bundled sample's zone and barcodes
// tiled over the page) at several sizes. For every reader it prints each
// call's seconds, seconds per megapixel, whether it stopped, and its default
// budget (2 s + 0.25 s per megapixel); then the slowest time per megapixel
// per reader and per size, and every call over its budget by more than 10%.
//
// Usage: bench_worstcase [--full] [--sizes LIST] [--patterns SUBSTRING]
//          [--readers SUBSTRING]
//   sizes: comma-separated of small (0.02 MP), 2mp, 12mp, strip (20000 x 50)
//   and 337x49 (a narrow band of stripes, where a reader's fixed costs show:
//   its goal is 20 ms a call).
//   Without --full or --sizes: small and strip only, so that `make bench`
//   stays short; scripts/worst-case-table runs --full.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "DVImageProcessor.h"
#include "Glyphwick.h"
#include "GlyphwickBarcodes.h"
#include "GlyphwickGrey.h"
#include "GlyphwickLines.h"
#include "GlyphwickLoad.h"
#include "GlyphwickMrz.h"

namespace {

using Clock = std::chrono::steady_clock;

// Seconds of processor time the process has used, all its threads: on a
// machine shared with other work it shows what a call cost when the wall
// clock also counts the waits for a core.
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

struct Size {
    const char* name;
    uint32_t width, height;
};
constexpr Size kSizes[] = {{"small", 163, 123},
                           {"2mp", 1633, 1225},
                           {"12mp", 4000, 3000},
                           {"strip", 20000, 50},
                           {"337x49", 337, 49}};

// A grey level for each pixel of a width x height page.
using Pattern = std::function<uint8_t(uint32_t x, uint32_t y)>;

struct Grey {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> pixels;
    uint8_t At(uint32_t x, uint32_t y) const { return pixels[size_t(y) * width + x]; }
};

// The sample page's grey levels, for tiles of its zone and barcodes.
Grey SamplePage() {
    Grey g;
    DVImageProcessor page;
    const std::string path = std::string(GW_SOURCE_DIR) + "/samples/td3-passport.png";
    if (gw::LoadImageFile(path, page).status != gw::kLoaded) return g;
    gw::GreyImage grey = gw::ToGrey(page);
    g.width = grey.width, g.height = grey.height, g.pixels = std::move(grey.pixels);
    return g;
}

// A tile [left, right) x [top, bottom) of source, in fractions of its size.
Pattern Tiled(const Grey& source, double left, double top, double right, double bottom) {
    const uint32_t x0 = uint32_t(left * source.width), y0 = uint32_t(top * source.height);
    const uint32_t w = std::max(1u, uint32_t((right - left) * source.width));
    const uint32_t h = std::max(1u, uint32_t((bottom - top) * source.height));
    return [&source, x0, y0, w, h](uint32_t x, uint32_t y) {
        return source.pixels.empty() ? uint8_t(255) : source.At(x0 + x % w, y0 + y % h);
    };
}

uint8_t Hash(uint32_t x, uint32_t y) {
    uint32_t v = x * 0x9E3779B1u ^ (y + 0x7F4A7C15u) * 0x85EBCA77u;
    v ^= v >> 15, v *= 0x2C1B3C6Du, v ^= v >> 12;
    return uint8_t(v >> 8);
}

std::vector<std::pair<std::string, Pattern>> Patterns(const Grey& sample) {
    std::vector<std::pair<std::string, Pattern>> out;
    for (uint32_t period : {2u, 4u, 8u, 12u, 16u, 32u}) {
        out.emplace_back("stripes-v" + std::to_string(period), [period](uint32_t x, uint32_t) {
            return uint8_t(x % period < period / 2 ? 0 : 255);
        });
        out.emplace_back("stripes-d" + std::to_string(period), [period](uint32_t x, uint32_t y) {
            return uint8_t((x + y) % period < period / 2 ? 0 : 255);
        });
    }
    for (uint32_t cell : {1u, 8u})
        out.emplace_back("checker" + std::to_string(cell), [cell](uint32_t x, uint32_t y) {
            return uint8_t((x / cell + y / cell) % 2 ? 0 : 255);
        });
    out.emplace_back("noise-uniform", [](uint32_t x, uint32_t y) { return Hash(x, y); });
    out.emplace_back("noise-binary",
                     [](uint32_t x, uint32_t y) { return uint8_t(Hash(x, y) < 128 ? 0 : 255); });
    out.emplace_back("noise-tiled", [](uint32_t x, uint32_t y) {
        return uint8_t(Hash(x % 64, y % 64) < 128 ? 0 : 255);
    });
    out.emplace_back("tiled-zones", Tiled(sample, 0.0, 0.80, 1.0, 1.0));
    out.emplace_back("tiled-bars", Tiled(sample, 0.0, 0.0, 1.0, 0.35));
    return out;
}

struct Row {
    std::string reader, pattern, size;
    double seconds = 0, cpu = 0, megapixels = 0, budget = 0;
    bool stopped = false;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> sizes = {"small", "strip"};
    std::string only, readers;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--full") == 0) {
            sizes = {"small", "2mp", "12mp", "strip", "337x49"};
        } else if (std::strcmp(argv[i], "--sizes") == 0 && i + 1 < argc) {
            sizes.clear();
            for (std::string list = argv[++i]; !list.empty();) {
                const size_t comma = list.find(',');
                sizes.push_back(list.substr(0, comma));
                list = comma == std::string::npos ? "" : list.substr(comma + 1);
            }
        } else if (std::strcmp(argv[i], "--readers") == 0 && i + 1 < argc) {
            readers = argv[++i];
        } else if (std::strcmp(argv[i], "--patterns") == 0 && i + 1 < argc) {
            only = argv[++i];
        }
    }
    // Linked statically, the program has no pattern file beside it.
    const std::string patterns = std::string(GW_SOURCE_DIR) + "/patterns/libglyphwick.PAT";
    if (GW_LoadPatternFile(patterns.c_str()) != 1) {
        std::fprintf(stderr, "cannot load %s\n", patterns.c_str());
        return 1;
    }
    const Grey sample = SamplePage();
    // Each reader reads the sample page first: what a process pays once (the
    // zone reader's network, a thread's first work images) is start-up,
    // measured by bench/startup_bench.cpp, not the cost of a page.
    {
        DVImageProcessor page;
        gw::LoadImageFile(std::string(GW_SOURCE_DIR) + "/samples/td3-passport.png", page);
        gw::ReadMrz(page);
        gw::ReadBarcodes(page);
        gw::ReadLines(page);
    }
    std::vector<Row> rows;
    std::printf("%-13s %-15s %-6s %9s %9s %9s %8s %s\n", "reader", "pattern", "size", "seconds",
                "cpu s", "s/MP", "budget", "stopped");
    for (const Size& size : kSizes) {
        if (std::find(sizes.begin(), sizes.end(), size.name) == sizes.end()) continue;
        for (const auto& [name, pattern] : Patterns(sample)) {
            if (!only.empty() && name.find(only) == std::string::npos) continue;
            DVImageProcessor image;
            if (image.Create(size.width, size.height, dv::PixelFormat8bppIndexed) != 0) return 1;
            image.SetDefaultPalette();
            std::vector<uint8_t> line(image.GetStride());
            for (uint32_t y = 0; y < size.height; ++y) {
                for (uint32_t x = 0; x < size.width; ++x) line[x] = pattern(x, y);
                image.SetBytes(y, 0, line.data(), uint32_t(line.size()));
            }
            const double mp = double(size.width) * size.height / 1e6;
            auto time = [&](const char* reader, const std::function<bool()>& call) {
                if (!readers.empty() && std::string(reader).find(readers) == std::string::npos)
                    return;
                const auto start = Clock::now();
                const double cpu = CpuSeconds();
                const bool stopped = call();
                Row r{reader,
                      name,
                      size.name,
                      std::chrono::duration<double>(Clock::now() - start).count(),
                      CpuSeconds() - cpu,
                      mp,
                      2.0 + 0.25 * mp,
                      stopped};
                std::printf("%-13s %-15s %-6s %9.3f %9.3f %9.3f %8.2f %s\n", reader, name.c_str(),
                            size.name, r.seconds, r.cpu, r.seconds / mp, r.budget,
                            stopped ? "stopped" : "");
                std::fflush(stdout);
                rows.push_back(r);
            };
            time("ReadMrz", [&] { return gw::ReadMrz(image).stopped; });
            // (The report form, which says whether the call stopped, is not
            // used: the time is what the table is about.)
            time("ReadBarcodes", [&] {
                gw::ReadBarcodes(image);
                return false;
            });
            time("ReadLines", [&] {
                gw::LineOptions o;
                o.allLines = true;
                return gw::ReadLines(image, o).stopped;
            });
        }
    }
    std::printf("\nslowest seconds per megapixel (goal: at most 0.25)\n");
    std::map<std::pair<std::string, std::string>, const Row*> worst;
    for (const Row& r : rows) {
        const Row*& w = worst[{r.reader, r.size}];
        if (w == nullptr || r.seconds / r.megapixels > w->seconds / w->megapixels) w = &r;
    }
    for (const auto& [key, r] : worst)
        std::printf("%-13s %-6s %9.3f s/MP  (%s, %.3f s, %.3f s cpu)\n", key.first.c_str(),
                    key.second.c_str(), r->seconds / r->megapixels, r->pattern.c_str(), r->seconds,
                    r->cpu);
    std::printf("\ncalls over their budget by more than 10%%\n");
    int over = 0;
    for (const Row& r : rows) {
        if (r.seconds <= 1.1 * r.budget) continue;
        ++over;
        std::printf("%-13s %-15s %-6s %9.3f s against %.2f s\n", r.reader.c_str(),
                    r.pattern.c_str(), r.size.c_str(), r.seconds, r.budget);
    }
    if (over == 0) std::printf("none\n");
    return 0;
}
