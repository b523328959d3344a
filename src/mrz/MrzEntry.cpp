// The library's zone reader: the public entry (its checks of the arguments
// and the page's grey) and the result's JSON; the search (mrz::ReadPage) is
// in MrzReader.cpp.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>

#include <opencv2/imgproc.hpp>

#include "DVImageCodecs.h"
#include "DVImageProcessor.h"
#include "GlyphwickGrey.h"
#include "GlyphwickMrz.h"
#include "image/Grey.h"
#include "mrz/MrzCut.h"
#include "mrz/MrzFind.h"
#include "mrz/MrzReader.h"

namespace gw {

namespace {

// Runs work on the calling thread alone. OpenCV spreads its loops over a
// pool of its own, but a host reading many pages already keeps every core
// busy, and the pool's waking and spinning cost more than the loops of one
// zone save (on a 2-core machine two threads read 1.4 times as many pages
// as one with the pool, 1.9 times without). OpenCV runs the loops nested
// in one of its own loops serially, so the work runs as a loop of one.
template <typename Work>
void OnCallingThread(Work&& work) {
    cv::parallel_for_(cv::Range(0, 1), [&](const cv::Range&) { work(); });
}

// Reads the grey page: the rectangle clipped to it, OpenCV's exceptions
// turned into an error, and the report worked out.
MrzResult ReadGreyPage(const cv::Mat& page, const MrzOptions& options,
                       const cv::Mat& colour = cv::Mat()) {
    MrzResult out;
    // Parts of the rectangle outside the image are paper: the part inside is
    // read, and a rectangle with no part inside is refused.
    MrzOptions clipped = options;
    if (options.right >= options.left) {
        clipped.left = std::max(options.left, 0), clipped.top = std::max(options.top, 0);
        clipped.right = std::min(options.right, page.cols - 1);
        clipped.bottom = std::min(options.bottom, page.rows - 1);
        if (options.bottom < options.top || clipped.right < clipped.left ||
            clipped.bottom < clipped.top) {
            out.error = "the rectangle does not overlap the image";
            return out;
        }
    }
    // OpenCV reports what it cannot do by exceptions; none may leave the
    // library (the C export would end the process).
    try {
        OnCallingThread([&] { out = mrz::ReadPage(page, clipped, nullptr, colour); });
    } catch (const cv::Exception& e) {
        out = MrzResult();
        out.error = std::string("the image could not be processed: ") + e.what();
        return out;
    }
    // A zone's corners are fitted to its lines and may reach past a page
    // cut close round it; a result's box always lies inside its image.
    for (auto& [x, y] : out.corners) {
        x = std::isfinite(x) ? std::clamp(x, 0.0f, float(page.cols)) : 0.0f;
        y = std::isfinite(y) ? std::clamp(y, 0.0f, float(page.rows)) : 0.0f;
    }
    MrzReport(out, options);
    return out;
}

// The grey page of a colour image, h x w, kept by the thread for its next
// call up to kKeptPageBytes: made afresh, the 12 MB of a phone photo were
// zeroed and faulted in anew each call, a fifth of its reading.
cv::Mat KeptPage(int h, int w) {
    constexpr size_t kKeptPageBytes = size_t{16} << 20;
    thread_local cv::Mat kept;
    if (size_t(h) * size_t(w) > kKeptPageBytes) {
        kept.release();
        return cv::Mat(h, w, CV_8U);
    }
    kept.create(h, w, CV_8U);
    return kept;
}

// The lightest channel of a colour pixel laid over white paper by its alpha.
inline uint8_t Lightest(uint8_t a, uint8_t b, uint8_t c, uint8_t alpha) {
    const int v = std::max({a, b, c});
    return uint8_t((v * alpha + 255 * (255 - alpha) + 127) / 255);
}

}  // namespace

MrzResult ReadMrz(const DVImageProcessor& image, const MrzOptions& options) {
    // A colour raster is read as a view of its pixels (its grey made once,
    // in the thread's kept page); a palette image through its palette.
    const dv::Bitmap* bitmap = image.GetBitmap();
    if (bitmap != nullptr && bitmap->GetPixelFormat() == dv::PixelFormat24bppRGB &&
        bitmap->GetWidth() > 0 && bitmap->GetHeight() > 0)
        return ReadMrz(
            ImageView(bitmap->Pixels(), int(bitmap->GetWidth()), int(bitmap->GetHeight()),
                      PixelFormat::BGR24, ptrdiff_t(bitmap->GetStride())),
            options);
    GreyImage grey = ToGrey(image, mrz::kPageGrey);
    if (grey.Empty()) {
        MrzResult out;
        out.error = "image has no bitmap";
        return out;
    }
    const cv::Mat page(int(grey.height), int(grey.width), CV_8U, grey.pixels.data());
    return ReadGreyPage(page, options);
}

MrzResult ReadMrz(const ImageView& image, const MrzOptions& options) {
    if (!image.valid() || BytesPerPixel(image.format) == 0) {
        MrzResult out;
        out.error = "the image view has no pixels";
        return out;
    }
    const int w = image.width, h = image.height;
    // A grey view with rows going down is read in place; any other is turned
    // into grey levels once, as a colour image would be.
    if (image.format == PixelFormat::Grey8 && image.stride >= w) {
        const cv::Mat page(h, w, CV_8U, const_cast<uint8_t*>(image.data), size_t(image.stride));
        return ReadGreyPage(page, options);
    }
    cv::Mat page = KeptPage(h, w);
    const int bpp = BytesPerPixel(image.format);
    // Pixels of three bytes in rows going down stay at hand for a zone
    // printed in coloured ink (MrzLimits::kMiddleContrastGain).
    const cv::Mat colour =
        bpp == 3 && image.stride >= ptrdiff_t(3) * w
            ? cv::Mat(h, w, CV_8UC3, const_cast<uint8_t*>(image.data), size_t(image.stride))
            : cv::Mat();
    const bool alpha = image.format == PixelFormat::RGBA32 || image.format == PixelFormat::BGRA32;
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = image.data + ptrdiff_t(y) * image.stride;
        uint8_t* out = page.ptr<uint8_t>(y);
        if (bpp == 3) {  // the common camera frame: no alpha to lay over paper
            LightestOfThree(row, out, size_t(w));
            continue;
        }
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = row + ptrdiff_t(x) * bpp;
            out[x] = bpp == 1 ? p[0] : Lightest(p[0], p[1], p[2], alpha ? p[3] : 255);
        }
    }
    return ReadGreyPage(page, options, colour);
}

int MrzCheckDigit(const std::string& text) {
    static constexpr int kWeights[3] = {7, 3, 1};
    int sum = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const int v = mrz::CharValue(text[i]);
        if (v < 0) return -1;
        sum += v * kWeights[i % 3];
    }
    return sum % 10;
}

}  // namespace gw

extern "C" int GW_ReadMrzText(const DVImageProcessor* image, char* buffer, int size) {
    if (image == nullptr) return -1;
    const std::string json = gw::MrzResultToJson(gw::ReadMrz(*image));
    if (buffer != nullptr && size > 0) {
        const size_t n = std::min(json.size(), size_t(size - 1));
        std::memcpy(buffer, json.data(), n);
        buffer[n] = '\0';
    }
    return int(json.size());
}
