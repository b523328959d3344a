#include "BarcodeTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace bartest {

namespace {

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + size_t(i)];
    return v;
}

// A temporary folder, removed with its files when the test program ends.
const std::filesystem::path& TempFolder() {
    static const gwtest::TempFolder folder;
    return folder.Path();
}

}  // namespace

Grey ReadBmp(const std::vector<uint8_t>& file) {
    Grey grey;
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') return grey;
    const uint32_t offset = Le(file, 10, 4);
    const uint32_t header = Le(file, 14, 4);
    const int32_t width = int32_t(Le(file, 18, 4));
    const int32_t rawHeight = int32_t(Le(file, 22, 4));
    const uint32_t bpp = Le(file, 28, 2);
    if (Le(file, 30, 4) != 0 || width <= 0 || rawHeight == 0) return grey;
    if (bpp != 1 && bpp != 8 && bpp != 24) return grey;
    const uint32_t height = uint32_t(rawHeight < 0 ? -rawHeight : rawHeight);
    const size_t stride = ((size_t(width) * bpp + 31) / 32) * 4;
    if (offset + stride * height > file.size()) return grey;
    std::vector<uint8_t> palette(256, 0);
    if (bpp != 24) {
        uint32_t colours = Le(file, 46, 4);
        if (colours == 0) colours = 1u << bpp;
        for (uint32_t i = 0; i < colours && i < 256; ++i) {
            const size_t at = 14 + header + 4 * i;
            if (at + 3 > offset) break;
            palette[i] = uint8_t((file[at] + file[at + 1] + file[at + 2]) / 3);
        }
    }
    grey.width = uint32_t(width);
    grey.height = height;
    grey.pixels.resize(size_t{grey.width} * height);
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t fileRow = rawHeight > 0 ? height - 1 - y : y;  // bottom-up unless negative
        const uint8_t* row = &file[offset + stride * fileRow];
        for (uint32_t x = 0; x < grey.width; ++x) {
            uint8_t v;
            if (bpp == 1) {
                v = palette[(row[x / 8] >> (7 - x % 8)) & 1];
            } else if (bpp == 8) {
                v = palette[row[x]];
            } else {
                v = uint8_t((row[3 * x] + row[3 * x + 1] + row[3 * x + 2]) / 3);
            }
            grey.pixels[size_t{y} * grey.width + x] = v;
        }
    }
    return grey;
}

Grey Zint(const std::string& options, const std::string& data) {
    static int serial = 0;
    const std::filesystem::path folder = TempFolder();
    EXPECT_FALSE(folder.empty()) << "no temporary folder";
    if (folder.empty()) return {};
    // Appended rather than "s" + text, which GCC 12 at -O3 warns about
    // (a -Wrestrict false positive).
    std::string name = "s";
    name += std::to_string(++serial);
    const std::string stem = (folder / name).string();
    {
        std::ofstream input(stem + ".txt", std::ios::binary);
        input << data;
    }
    const std::string command = "zint " + options + " --filetype=bmp -i '" + stem + ".txt' -o '" +
                                stem + ".bmp' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_EQ(status, 0) << "zint failed (is it installed? scripts/install-deps): " << command;
    std::ifstream in(stem + ".bmp", std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    Grey grey = ReadBmp(file);
    EXPECT_GT(grey.width, 0u) << "no picture from: " << command;
    return grey;
}

void Page::Put(const Grey& grey, uint32_t x0, uint32_t y0, uint8_t ink, uint8_t paper) {
    for (uint32_t y = 0; y < grey.height && y0 + y < height; ++y) {
        for (uint32_t x = 0; x < grey.width && x0 + x < width; ++x) {
            const bool dark = grey.At(x, y) < 128;
            uint8_t& byte = bytes[size_t{y0 + y} * stride + (bits ? (x0 + x) / 8 : x0 + x)];
            if (bits) {
                const auto mask = uint8_t(0x80u >> ((x0 + x) % 8));
                byte = dark ? uint8_t(byte | mask) : uint8_t(byte & ~mask);
            } else {
                byte = dark ? ink : paper;
            }
        }
    }
    Push();
}

void Page::Runs(const std::vector<uint32_t>& widths, uint32_t x0, uint32_t y0, uint32_t y1) {
    for (uint32_t y = y0; y <= y1; ++y) {
        uint32_t x = x0;
        for (size_t i = 0; i < widths.size(); ++i) {
            for (uint32_t k = 0; k < widths[i]; ++k) Set(x + k, y, i % 2 == 0);
            x += widths[i];
        }
    }
}

std::vector<uint32_t> ModuleRuns(const std::vector<std::string>& patterns, uint32_t module,
                                 bool reversed) {
    std::vector<uint32_t> runs;
    for (const std::string& pattern : patterns)
        for (char c : pattern) runs.push_back(uint32_t(c - '0') * module);
    if (reversed) std::reverse(runs.begin(), runs.end());
    return runs;
}

AREAPARAMS Params() {
    AREAPARAMS p{};
    p.maxObjectWidth = 100000;
    p.maxObjectHeight = 100000;
    return p;
}

RECT Whole(const Page& page) {
    return RECT{0, 0, int32_t(page.width) - 1, int32_t(page.height) - 1};
}

SignalLog::SignalLog() : previous_(dv::SetSignalObserver(this)) {}

SignalLog::~SignalLog() {
    dv::SetSignalObserver(previous_);
}

void SignalLog::OnBeep(uint32_t frequency, uint32_t duration) {
    ++beeps;
    if (frequency != 1 || duration != 1) otherBeep = true;
}

void SignalLog::OnMessage(const char* text, const char* caption, uint32_t type) {
    texts.emplace_back(text);
    captions.emplace_back(caption);
    types.push_back(type);
}

}  // namespace bartest
