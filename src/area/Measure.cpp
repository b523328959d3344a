// Area measurements straight from the image: ink per column and row band,
// the similarity of two such distributions, and the document's rectangle
// inside a dark border. They read rows into a buffer of their own and change
// neither the image nor the area's rows.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "api/Calls.h"
#include "area/Area.h"
#include "area/InkScan.h"

namespace {

constexpr int32_t kBands = 20;
constexpr int32_t kBins = 2 * kBands;
// A column or row is document when it holds more than this many pixels that
// are not ink.
constexpr int64_t kDarkMargin = 10;

// Calls found(x, y) for every ink pixel of the area (area-relative x, y), one
// image row at a time.
template <bool Bits, class Found>
void ForEachAreaInk(AREAINFO& area, Found&& found) {
    std::vector<uint8_t> row(area.rowBytes);
    const uint8_t limit = gw::InkLimit(area);
    for (int32_t y = 0; y < area.height; ++y) {
        gw::LoadRow(area, area.top + y, row.data());
        gw::ForEachInk<Bits>(row.data(), area.left, area.width, limit,
                             [&](int32_t x) { found(x, y); });
    }
}

template <class Found>
void ForEachAreaInk(AREAINFO& area, Found&& found) {
    if (gw::BitAccessors()) {
        ForEachAreaInk<true>(area, found);
    } else {
        ForEachAreaInk<false>(area, found);
    }
}

}  // namespace

namespace gw {

int32_t GetPixelDistrubution(int32_t* bins) {
    AREAINFO* area = gw::CurrentArea();
    if (area == nullptr || bins == nullptr) return 0;
    std::fill(bins, bins + kBins, 0);
    if (area->width < kBands || area->height < kBands) return 0;

    // Bands are width / 20 columns and height / 20 rows; the remainder
    // counts in the last band.
    const int32_t columnBand = area->width / kBands;
    const int32_t rowBand = area->height / kBands;
    uint32_t counts[kBins] = {};
    ForEachAreaInk(*area, [&](int32_t x, int32_t y) {
        ++counts[std::min(x / columnBand, kBands - 1)];
        ++counts[kBands + std::min(y / rowBand, kBands - 1)];
    });
    for (int32_t i = 0; i < kBins; ++i) bins[i] = static_cast<int32_t>(counts[i]);
    return 1;
}

int32_t ComparePixelDistrubution(const int32_t* a, const int32_t* b) {
    if (a == nullptr || b == nullptr) return 0;
    // The outer band of each half takes no part.
    int64_t difference = 0;
    int64_t maxima = 0;
    for (int32_t i = 1; i < kBins - 1; ++i) {
        if (i == kBands - 1 || i == kBands) continue;
        difference += std::llabs(int64_t{a[i]} - b[i]);
        maxima += std::max(static_cast<uint32_t>(a[i]), static_cast<uint32_t>(b[i]));
    }
    if (maxima == 0) return 100;
    return static_cast<int32_t>(100 - (100 * difference) / maxima);
}

int32_t GetDocRect(RECT* out) {
    AREAINFO* area = gw::CurrentArea();
    if (area == nullptr || out == nullptr) return 0;
    std::vector<int64_t> columnInk(static_cast<size_t>(area->width), 0);
    std::vector<int64_t> rowInk(static_cast<size_t>(area->height), 0);
    ForEachAreaInk(*area, [&](int32_t x, int32_t y) {
        ++columnInk[x];
        ++rowInk[y];
    });

    const int64_t height = area->height;
    const int64_t width = area->width;
    for (int32_t x = 0; x < area->width; ++x) {
        if (columnInk[x] + kDarkMargin < height) {
            out->left = area->left + x;
            break;
        }
    }
    for (int32_t x = area->width - 1; x >= 1; --x) {
        if (columnInk[x] + kDarkMargin < height) {
            out->right = area->left + x;
            break;
        }
    }
    for (int32_t y = 0; y < area->height; ++y) {
        if (rowInk[y] + kDarkMargin < width) {
            out->top = y;
            break;
        }
    }
    for (int32_t y = area->height - 1; y >= 1; --y) {
        if (rowInk[y] + kDarkMargin < width) {
            out->bottom = y;
            break;
        }
    }
    return 1;
}

}  // namespace gw
