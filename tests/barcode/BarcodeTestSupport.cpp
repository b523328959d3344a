#include "BarcodeTestSupport.h"
#include "GlyphwickLoad.h"
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

// A temporary folder, removed with its files when the test program ends.
const std::filesystem::path& TempFolder() {
    static const gwtest::TempFolder folder;
    return folder.Path();
}

}  // namespace

namespace {

// Writes data to a new file of the test folder and runs zint on it (with -i,
// so any byte goes) into a file of the same stem and the given type; returns
// the picture's path.
std::string Render(const std::string& options, const std::string& data, const std::string& type) {
    static int serial = 0;
    // Appended rather than "s" + text, which GCC 12 at -O3 warns about
    // (a -Wrestrict false positive).
    std::string name = "s";
    name += std::to_string(++serial);
    const std::string stem = (TempFolder() / name).string();
    std::ofstream(stem + ".txt", std::ios::binary) << data;
    Shell("zint " + options + " --filetype=" + type + " -i '" + stem + ".txt' -o '" + stem + "." +
          type + "'");
    return stem + "." + type;
}

}  // namespace

void Shell(const std::string& command) {
    EXPECT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0)
        << "failed (zint and ImageMagick come with scripts/install-deps): " << command;
}

Grey Zint(const std::string& options, const std::string& data) {
    DVImageProcessor picture;
    gw::LoadImageFile(Render(options, data, "bmp"), picture);
    Grey grey = gw::ToGrey(picture);
    EXPECT_GT(grey.width, 0u) << "no picture from zint " << options;
    return grey;
}

std::string ZintPng(const std::string& options, const std::string& data) {
    std::string quoted = "'";  // appended: see Render
    quoted += Render(options + " --notext", data, "png");
    quoted += "' ";
    return quoted;
}

std::unique_ptr<DVImageProcessor> Magick(const std::string& arguments, const std::string& format) {
    const std::string out = (TempFolder() / "magick.png").string();
    Shell("convert " + arguments + " " + format + "'" + out + "'");
    auto image = std::make_unique<DVImageProcessor>();
    EXPECT_EQ(image->LoadFromFile(out.c_str(), nullptr), 0u);
    return image;
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
