// The library's zone reader: finding the candidate places, turning each
// upright at the working height, reading it, and reporting where it stood.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>

#include <opencv2/imgproc.hpp>

#include "DVImageProcessor.h"
#include "GlyphwickGrey.h"
#include "GlyphwickMrz.h"
#include "mrz/MrzCut.h"
#include "mrz/MrzFind.h"
#include "mrz/MrzReader.h"

namespace gw {

namespace mrz {

namespace {

// The upright image of a candidate read one way along its axis, and the map
// from its pixels back to the page's.
struct Upright {
    cv::Mat grey;
    cv::Mat ink;                              // InkOf(grey)
    std::vector<std::vector<LineBand>> sets;  // FindLineSets(ink)
    cv::Matx33f toPage;
    float scale;
    cv::Point2f dir;
};

Upright TurnUpright(const cv::Mat& page, const ZoneCandidate& z, float sign) {
    Upright u;
    u.dir = sign * z.axis;
    const cv::Point2f n(-u.dir.y, u.dir.x);
    u.scale = kWorkHeight / std::max(1.0f, z.lineHeight);
    const float margin = z.lines >= 2 ? 1.5f : 3.0f;
    const int w = int((z.length + 2 * z.lineHeight) * u.scale);
    const int h = int((z.height + 2 * margin * z.lineHeight) * u.scale);
    const cv::Point2f origin = z.center - (w / 2.0f / u.scale) * u.dir - (h / 2.0f / u.scale) * n;
    u.toPage = cv::Matx33f(u.dir.x / u.scale, n.x / u.scale, origin.x, u.dir.y / u.scale,
                           n.y / u.scale, origin.y, 0, 0, 1);
    const int flags = (u.scale > 2 ? cv::INTER_CUBIC : cv::INTER_LINEAR) | cv::WARP_INVERSE_MAP;
    cv::warpAffine(page, u.grey, u.toPage.get_minor<2, 3>(0, 0),
                   cv::Size(std::max(w, 8), std::max(h, 8)), flags, cv::BORDER_REPLICATE);
    // A zone seen at a slant is drawn again from the page, squared up.
    u.ink = InkOf(u.grey);
    u.sets = FindLineSets(u.ink);
    cv::Matx33f keystone;
    if (Keystone(u.ink, u.sets, keystone)) {
        u.toPage = u.toPage * keystone.inv();
        cv::warpPerspective(page, u.grey, u.toPage, u.grey.size(), flags, cv::BORDER_REPLICATE);
        u.ink = InkOf(u.grey);
        u.sets = FindLineSets(u.ink);
    }
    return u;
}

std::pair<float, float> ToPage(const cv::Matx33f& m, float x, float y) {
    const float d = m(2, 0) * x + m(2, 1) * y + m(2, 2);
    return {(m(0, 0) * x + m(0, 1) * y + m(0, 2)) / d, (m(1, 0) * x + m(1, 1) * y + m(1, 2)) / d};
}

// Where the reading stood on the page: its corners, orientation and skew.
void Place(const Upright& u, const UprightReading& r, cv::Point2f offset, MrzResult& out) {
    const LineBand& first = r.lines.front();
    const LineBand& last = r.lines.back();
    const CutLine& c0 = r.cuts.front();
    const int n = int(c0.cells.size());
    const float x0 = c0.Edge(0, n), x1 = c0.Edge(n, n);
    const float pts[4][2] = {{x0, first.At(x0) - first.up},
                             {x1, first.At(x1) - first.up},
                             {x1, last.At(x1) + last.down},
                             {x0, last.At(x0) + last.down}};
    for (int i = 0; i < 4; ++i) {
        auto p = ToPage(u.toPage, pts[i][0], pts[i][1]);
        out.corners[i] = {p.first + offset.x, p.second + offset.y};
    }
    // The page is turned clockwise by minus the reading direction's angle.
    const double angle = std::atan2(u.dir.y, u.dir.x) * 180.0 / M_PI;
    double turn = std::fmod(-angle + 720.0, 360.0);
    const int orientation = int(std::lround(turn / 90.0)) % 4 * 90;
    double skew = turn - orientation;
    if (skew > 180) skew -= 360;
    out.orientation = orientation;
    out.skew = float(skew);
    out.characterHeight = int(std::lround(first.Height() / u.scale));
}

// The mean and the lowest confidence of a reading's characters.
std::pair<float, float> Confidence(const MrzResult& r) {
    float sum = 0, lowest = 1;
    size_t n = 0;
    for (const auto& line : r.characters)
        for (const MrzCharacter& c : line)
            sum += c.confidence, ++n, lowest = std::min(lowest, c.confidence);
    return {n > 0 ? sum / float(n) : 0.0f, n > 0 ? lowest : 0.0f};
}

bool AllChecksAgree(const MrzResult& r) {
    return std::all_of(r.fields.begin(), r.fields.end(),
                       [](const MrzField& f) { return !f.hasCheck || f.checkValid; });
}

}  // namespace

MrzResult ReadPage(const cv::Mat& page, const MrzOptions& options, StageTimes* times) {
    MrzResult best;
    float bestQuality = -1;
    DecodeLimits limits;
    limits.minConfidence = options.minConfidence;
    cv::Mat grey = page;
    cv::Point2f offset(0, 0);
    if (options.right >= options.left) {
        const cv::Rect r(options.left, options.top, options.right - options.left + 1,
                         options.bottom - options.top + 1);
        grey = page(r);
        offset = cv::Point2f(float(r.x), float(r.y));
    }
    // Lines across the page first, then up and down, then tilted further than
    // the first passes reach; a valid zone, or a confident reading with a
    // check that agrees, ends the search.
    struct Pass {
        bool turned;
        float tilt;
    };
    static constexpr Pass kPasses[] = {{false, 0}, {true, 0}, {false, 30}, {false, -30}};
    int sinceConfident = -1;
    for (const Pass& pass : kPasses) {
        if (pass.turned && !options.tryAllOrientations) continue;
        auto t = ThreadClock::now();
        const auto candidates = FindZones(grey, 6, pass.turned, pass.tilt);
        if (times) times->find += MsSince(t);
        for (const ZoneCandidate& z : candidates) {
            for (float sign : {1.0f, -1.0f}) {
                t = ThreadClock::now();
                const Upright u = TurnUpright(grey, z, pass.turned ? -sign : sign);
                if (times) times->normalise += MsSince(t);
                UprightReading r = ReadUpright(u.grey, u.ink, u.sets, limits, times);
                // Zone print read the right way up reads with a clearly higher
                // mean than the other way round, or than other print; read with
                // no poor character too, no other place or cut would read better.
                const auto [mean, lowest] = Confidence(r.result);
                const bool upright = r.result.found && mean >= 0.85f;
                const bool confident = upright && lowest >= 0.7f;
                if (r.quality > bestQuality) {
                    bestQuality = r.quality;
                    best = std::move(r.result);
                    Place(u, r, offset, best);
                }
                if (best.valid || (confident && AllChecksAgree(best))) return best;
                // Once a confident reading is in hand, a few other places or
                // cuts may still read with more checks agreeing, not many.
                if (confident && sinceConfident < 0) sinceConfident = 0;
                if (sinceConfident >= 0 && ++sinceConfident > 4) return best;
                if (upright) break;
            }
        }
    }
    return best;
}

}  // namespace mrz

namespace {

// Reads the grey page: the rectangle clipped to it, OpenCV's exceptions
// turned into an error, and the report worked out.
MrzResult ReadGreyPage(const cv::Mat& page, const MrzOptions& options) {
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
        out = mrz::ReadPage(page, clipped, nullptr);
    } catch (const cv::Exception& e) {
        out = MrzResult();
        out.error = std::string("the image could not be processed: ") + e.what();
        return out;
    }
    MrzReport(out, options);
    return out;
}

// The lightest channel of a colour pixel laid over white paper by its alpha.
inline uint8_t Lightest(uint8_t a, uint8_t b, uint8_t c, uint8_t alpha) {
    const int v = std::max({a, b, c});
    return uint8_t((v * alpha + 255 * (255 - alpha) + 127) / 255);
}

}  // namespace

MrzResult ReadMrz(const DVImageProcessor& image, const MrzOptions& options) {
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
    cv::Mat page(h, w, CV_8U);
    const int bpp = BytesPerPixel(image.format);
    const bool alpha = image.format == PixelFormat::RGBA32 || image.format == PixelFormat::BGRA32;
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = image.data + ptrdiff_t(y) * image.stride;
        uint8_t* out = page.ptr<uint8_t>(y);
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = row + ptrdiff_t(x) * bpp;
            out[x] = bpp == 1 ? p[0] : Lightest(p[0], p[1], p[2], alpha ? p[3] : 255);
        }
    }
    return ReadGreyPage(page, options);
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
