// Helpers of the recognition tests: pattern files written by the tests, a
// page image to draw on, areas over it, and objects placed directly in the
// current area's list.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "DVImageProcessor.h"
#include "Glyphwick.h"
#include "area/Area.h"

namespace rectest {

/// A pattern file with the given text, removed when it goes.
class PatternFile {
  public:
    explicit PatternFile(const std::string& text) {
        static int serial = 0;
        path_ = testing::TempDir() + "recognition_" + std::to_string(::getpid()) + "_" +
                std::to_string(serial++) + ".PAT";
        std::ofstream(path_, std::ios::binary) << text;
    }
    ~PatternFile() { std::remove(path_.c_str()); }
    PatternFile(const PatternFile&) = delete;
    PatternFile& operator=(const PatternFile&) = delete;
    const char* Path() const { return path_.c_str(); }

  private:
    std::string path_;
};

/// Loads text as a pattern file; returns GW_LoadPatternFile's result.
inline int32_t Load(const std::string& text) {
    PatternFile file(text);
    return GW_LoadPatternFile(file.Path());
}

/// The names of the loaded fonts, in store order.
inline std::vector<std::string> FontNames() {
    int32_t count = 0;
    GW_GetFontList(nullptr, &count);
    std::vector<char*> names(static_cast<size_t>(count));
    GW_GetFontList(names.data(), &count);
    return std::vector<std::string>(names.begin(), names.end());
}

/// An 8-bit page, white; Ink paints black pixels into the image.
struct Page {
    DVImageProcessor image;
    uint32_t width;
    uint32_t height;

    Page(uint32_t w, uint32_t h) : width(w), height(h) {
        image.Create(w, h, dv::PixelFormat8bppIndexed);
        std::vector<uint8_t> row(image.GetStride(), 0xFF);
        for (uint32_t y = 0; y < h; ++y) image.SetBytes(y, 0, row.data(), image.GetStride());
    }
    void Ink(int32_t x, int32_t y, uint8_t value = 0) {
        image.SetBytes(static_cast<uint32_t>(y), static_cast<uint32_t>(x), &value, 1);
    }
    void Block(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
        for (int32_t y = y0; y <= y1; ++y)
            for (int32_t x = x0; x <= x1; ++x) Ink(x, y);
    }
    uint8_t At(int32_t x, int32_t y) {
        uint8_t value = 0;
        image.GetBytes(static_cast<uint32_t>(y), static_cast<uint32_t>(x), &value, 1);
        return value;
    }
};

/// Settings that keep every object and group nothing.
inline AREAPARAMS OpenParams() {
    AREAPARAMS p{};
    p.maxObjectWidth = 100000;
    p.maxObjectHeight = 100000;
    return p;
}

/// Makes an area over the whole page.
inline AREAINFO* AreaOver(Page& page, const AREAPARAMS& params = OpenParams()) {
    const RECT r = {0, 0, int32_t(page.width) - 1, int32_t(page.height) - 1};
    return GW_InitialiseArea(&page.image, &r, &params);
}

/// The current area's list.
inline ObjectList& List() {
    return *gw::CurrentArea()->objects;
}

/// Appends an object with the given box to the current area's list.
inline ObjectList::OBJECTINFO* Add(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    const int32_t rect[4] = {left, top, right, bottom};
    return List().Append(rect, 0, 0);
}

/// Makes the area's working rows the image's rows (as after a clean).
inline void LoadRows() {
    gw::LoadWorkRows(*gw::CurrentArea());
}

/// Destroys the area and empties the pattern store around every test.
class RecognitionTest : public testing::Test {
  protected:
    void SetUp() override { GW_UnloadAllPatternFiles(); }
    void TearDown() override {
        GW_DestroyArea();
        GW_UnloadAllPatternFiles();
    }
};

/// One pattern block: character, ratios and rows.
inline std::string Pattern(char c, const std::string& rows, const char* low = "0.00",
                           const char* high = "9.99") {
    return std::string(1, c) + " " + low + " " + high + " " + rows + "\n";
}

}  // namespace rectest
