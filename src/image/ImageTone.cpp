// Histograms, colour count and tone operations of the image object: each runs
// one pixel operation over a locked rectangle.
#include <algorithm>
#include <cstring>
#include <vector>

#include "DVImageProcessor.h"
#include "image/Grey.h"

namespace {

constexpr int32_t k1Bit = dv::PixelFormat1bppIndexed;
constexpr int32_t k8Bit = dv::PixelFormat8bppIndexed;
constexpr int32_t k24Bit = dv::PixelFormat24bppRGB;

inline uint32_t Grey(const uint8_t* bgr) {
    return uint32_t(gw::GreyLevelWeighted(bgr[2], bgr[1], bgr[0], gw::kWeightRed, gw::kWeightGreen,
                                          gw::kWeightBlue));
}

inline uint8_t* Row(DVPixelView* view, uint32_t y) {
    return view->pixels + size_t{y} * view->stride;
}

// ---- Histogram ----

struct HistogramArgument {
    uint32_t* bins;
    uint32_t count;
    uint32_t channel;  // 0 grey, 1 red, 2 green, 3 blue; any other value counts 0
};

uint32_t HistogramOperation(DVPixelView* view, uint32_t*, void* argument) {
    if (uint32_t code = DVImageProcessor::CheckView(view, DVCheckData)) return code;
    if (!argument) return DVErrOperationArgument;
    if (view->format == k1Bit) return DVErrArgument;
    const auto* a = static_cast<const HistogramArgument*>(argument);
    if (!a->bins) return DVErrBuffer;
    std::fill(a->bins, a->bins + a->count, 0u);

    // Values are bytes or grey levels of at most 255: count into 256 local
    // bins, then hand over those below the caller's bin count.
    uint32_t local[256] = {};
    for (uint32_t y = 0; y < view->height; ++y) {
        const uint8_t* p = Row(view, y);
        if (view->format == k8Bit) {
            for (uint32_t x = 0; x < view->width; ++x) ++local[p[x]];
            continue;
        }
        for (uint32_t x = 0; x < view->width; ++x, p += 3) {
            switch (a->channel) {
                case 0:
                    ++local[Grey(p) & 0xFF];
                    break;
                case 1:
                    ++local[p[2]];
                    break;
                case 2:
                    ++local[p[1]];
                    break;
                case 3:
                    ++local[p[0]];
                    break;
                default:
                    ++local[0];
                    break;
            }
        }
    }
    std::copy(local, local + std::min(a->count, 256u), a->bins);
    return DVOk;
}

// ---- Colour count ----

struct ColourCountArgument {
    uint32_t* count;
    std::vector<uint64_t>* seen;  // one bit per 24-bit colour, for 24-bit images
};

constexpr size_t kColourWords = (size_t{1} << 24) / 64;

uint32_t ColourCountOperation(DVPixelView* view, uint32_t*, void* argument) {
    if (uint32_t code = DVImageProcessor::CheckView(view, DVCheckIndexed)) return code;
    const auto* a = static_cast<const ColourCountArgument*>(argument);
    if (!a || !a->count) return DVErrOperationArgument;

    uint32_t distinct = 0;
    if (view->format == k24Bit) {
        if (!a->seen || a->seen->size() < kColourWords) return DVErrBuffer;
        uint64_t* seen = a->seen->data();
        for (uint32_t y = 0; y < view->height; ++y) {
            const uint8_t* p = Row(view, y);
            for (uint32_t x = 0; x < view->width; ++x, p += 3) {
                const uint32_t key = (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
                const uint64_t bit = uint64_t{1} << (key & 63);
                distinct += (seen[key >> 6] & bit) == 0;
                seen[key >> 6] |= bit;
            }
        }
    } else {
        // A 1-bit or 8-bit key is fixed by the pixel's bit or byte alone.
        bool seen[256] = {};
        for (uint32_t y = 0; y < view->height; ++y) {
            const uint8_t* p = Row(view, y);
            for (uint32_t x = 0; x < view->width; ++x) {
                seen[view->format == k8Bit ? p[x] : (p[x >> 3] >> (7 - (x & 7))) & 1] = true;
            }
        }
        distinct = uint32_t(std::count(seen, seen + 256, true));
    }
    *a->count = distinct;
    return DVOk;
}

// ---- Thresholds ----

struct ThresholdArgument {
    uint32_t mode;  // 1 band, any other value level
    uint32_t level;
    uint32_t low;
    uint32_t high;
};

uint32_t ThresholdOperation(DVPixelView* view, uint32_t* changes, void* argument) {
    if (uint32_t code = DVImageProcessor::CheckView(view, DVCheckIndexed)) return code;
    if (!argument) return DVErrOperationArgument;
    if (view->format == k1Bit) return DVErrArgument;
    const auto* a = static_cast<const ThresholdArgument*>(argument);

    // Black or white for every level a pixel can have.
    uint8_t table[256];
    for (uint32_t v = 0; v < 256; ++v) {
        const bool black = a->mode == 1 ? (v < a->low || v > a->high) : v < a->level;
        table[v] = black ? 0 : 255;
    }
    for (uint32_t y = 0; y < view->height; ++y) {
        uint8_t* p = Row(view, y);
        if (view->format == k8Bit) {
            for (uint32_t x = 0; x < view->width; ++x) p[x] = table[p[x]];
            continue;
        }
        for (uint32_t x = 0; x < view->width; ++x, p += 3) {
            p[0] = p[1] = p[2] = table[Grey(p) & 0xFF];
        }
    }
    *changes |= kChangedPixels;
    return DVOk;
}

uint32_t InvertOperation(DVPixelView* view, uint32_t* changes, void*) {
    if (uint32_t code = DVImageProcessor::CheckView(view, DVCheckPixels)) return code;
    for (uint32_t i = 0; i < view->size; ++i) view->pixels[i] = uint8_t(~view->pixels[i]);
    *changes |= kChangedPixels;
    return DVOk;
}

// ---- Convolution ----

struct ConvolveArgument {
    const int32_t* kernel;
    uint32_t width;
    uint32_t height;
    std::vector<uint8_t>* copy;  // scratch for the whole view
};

// Filters the inner bytes of a view; the width in pixels counts bytes. Sums
// are taken in wrapping 32-bit arithmetic over an untouched copy.
uint32_t ConvolveOperation(DVPixelView* view, uint32_t* changes, void* argument) {
    if (uint32_t code = DVImageProcessor::CheckView(view, DVCheckData)) return code;
    if (!argument) return DVErrOperationArgument;
    if (view->format == k1Bit) return DVErrArgument;
    const auto* a = static_cast<const ConvolveArgument*>(argument);
    if (!a->kernel || !a->copy || a->copy->size() < view->size) return DVErrBuffer;
    *changes |= kChangedPixels;

    const int64_t hw = a->width / 2, hh = a->height / 2;
    const int64_t width = view->width, height = view->height;
    if (hh >= height - hh || hw >= width - hw) return DVOk;

    const size_t taps = size_t{a->width} * a->height;
    uint32_t total = 0;
    for (size_t k = 0; k < taps; ++k) total += uint32_t(a->kernel[k]);
    const int32_t divisor = int32_t(total);
    if (divisor == 0) return DVOk;  // no defined result: leave the image as it is

    const uint8_t* copy = a->copy->data();
    std::memcpy(a->copy->data(), view->pixels, view->size);
    for (int64_t y = hh; y < height - hh; ++y) {
        uint8_t* out = Row(view, uint32_t(y));
        for (int64_t x = hw; x < width - hw; ++x) {
            uint32_t acc = 0;
            const int32_t* weight = a->kernel;
            for (uint32_t j = 0; j < a->height; ++j) {
                const uint8_t* in = copy + size_t(y - hh + j) * view->stride + size_t(x - hw);
                for (uint32_t i = 0; i < a->width; ++i)
                    acc += uint32_t(in[i]) * uint32_t(*weight++);
            }
            // -2^31 / -1 does not fit in 32 bits: divide in 64.
            const int64_t value = int64_t(int32_t(acc)) / divisor;
            out[x] = value < 0 ? 0 : value > 255 ? 255 : uint8_t(value);
        }
    }
    return DVOk;
}

}  // namespace

uint32_t DVImageProcessor::GetHistogram(uint32_t* bins, uint32_t binCount, uint32_t channel,
                                        const dv::Rect* rect) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    if (bitmap->GetPixelFormat() == k1Bit) return Record(DVErrArgument);
    if (!bins) return DVErrArgument;
    HistogramArgument argument{bins, binCount, channel};
    return Record(ApplyToImage(bitmap, rect, dv::ImageLockModeRead, bitmap->GetPixelFormat(),
                               HistogramOperation, &argument));
}

uint32_t DVImageProcessor::GetImageHistogram(uint32_t* bins, uint32_t binCount, uint32_t channel) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    const dv::Rect whole = GetFullRect();
    return GetHistogram(bins, binCount, channel, &whole);
}

uint32_t DVImageProcessor::CountColours(uint32_t* count) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    // The flag table is made before the pixels are locked, so that running out
    // of memory cannot leave the bitmap locked.
    std::vector<uint64_t> seen;
    if (bitmap->GetPixelFormat() == k24Bit) seen.assign(kColourWords, 0);
    ColourCountArgument argument{count, &seen};
    return Record(ApplyToImage(bitmap, nullptr, dv::ImageLockModeRead, bitmap->GetPixelFormat(),
                               ColourCountOperation, &argument));
}

uint32_t DVImageProcessor::ThresholdBand(uint32_t low, uint32_t high) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    if (bitmap->GetPixelFormat() == k1Bit) return Record(DVErrArgument);
    ThresholdArgument argument{1, 0, low, high};
    return Record(ApplyToImage(bitmap, nullptr, dv::ImageLockModeWrite, bitmap->GetPixelFormat(),
                               ThresholdOperation, &argument));
}

uint32_t DVImageProcessor::Threshold(uint32_t level) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    if (bitmap->GetPixelFormat() == k1Bit) return Record(DVErrArgument);
    ThresholdArgument argument{0, level, 0, 0};
    return Record(ApplyToImage(bitmap, nullptr, dv::ImageLockModeWrite, bitmap->GetPixelFormat(),
                               ThresholdOperation, &argument));
}

uint32_t DVImageProcessor::Invert() {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    return Record(ApplyToImage(bitmap, nullptr, dv::ImageLockModeWrite, bitmap->GetPixelFormat(),
                               InvertOperation, nullptr));
}

uint32_t DVImageProcessor::Convolve(const int32_t* kernel, uint32_t kernelWidth,
                                    uint32_t kernelHeight) {
    lastError = DVOk;
    if (!bitmap) return Record(DVErrNoImage);
    // Rows of a 1-bit image hold fewer bytes than pixels; filtering width
    // bytes would run past them.
    if (bitmap->GetPixelFormat() == k1Bit) return Record(DVErrArgument);
    // The copy is made before the pixels are locked (see CountColours).
    std::vector<uint8_t> copy(size_t{bitmap->GetStride()} * bitmap->GetHeight());
    ConvolveArgument argument{kernel, kernelWidth, kernelHeight, &copy};
    return Record(ApplyToImage(bitmap, nullptr, dv::ImageLockModeWrite, bitmap->GetPixelFormat(),
                               ConvolveOperation, &argument));
}
