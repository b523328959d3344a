// The library's zone reader: the public entry (its checks of the arguments
// and the page's grey) and the result's JSON; the search (mrz::ReadPage) is
// in MrzReader.cpp.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>

#include <opencv2/imgproc.hpp>

#include "DVImageProcessor.h"
#include "GlyphwickGrey.h"
#include "GlyphwickLock.h"
#include "GlyphwickMrz.h"
#include "mrz/MrzCut.h"
#include "mrz/MrzFind.h"
#include "mrz/MrzReader.h"

namespace gw {

MrzResult ReadMrz(const DVImageProcessor& image, const MrzOptions& options) {
    auto lock = LockLibrary();
    MrzResult out;
    GreyImage grey = ToGrey(image, mrz::kPageGrey);
    if (grey.Empty()) {
        out.error = "image has no bitmap";
        return out;
    }
    // Parts of the rectangle outside the image are paper: the part inside is
    // read, and a rectangle with no part inside is refused.
    MrzOptions clipped = options;
    if (options.right >= options.left) {
        clipped.left = std::max(options.left, 0), clipped.top = std::max(options.top, 0);
        clipped.right = std::min(options.right, int(grey.width) - 1);
        clipped.bottom = std::min(options.bottom, int(grey.height) - 1);
        if (options.bottom < options.top || clipped.right < clipped.left ||
            clipped.bottom < clipped.top) {
            out.error = "the rectangle does not overlap the image";
            return out;
        }
    }
    const cv::Mat page(int(grey.height), int(grey.width), CV_8U, grey.pixels.data());
    // OpenCV reports what it cannot do by exceptions; none may leave the
    // library (the C export would end the process).
    try {
        return mrz::ReadPage(page, clipped, nullptr);
    } catch (const cv::Exception& e) {
        out.error = std::string("the image could not be processed: ") + e.what();
        return out;
    }
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

namespace {

std::string Quote(const std::string& s) {
    std::string out(1, '"');
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\', out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string Number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3g", v);
    return buf;
}

std::string Bool(bool b) {
    return b ? "true" : "false";
}

}  // namespace

std::string MrzResultToJson(const MrzResult& r) {
    std::ostringstream j;
    j << "{\"found\":" << Bool(r.found) << ",\"format\":" << Quote(r.format)
      << ",\"valid\":" << Bool(r.valid) << ",\"lines\":[";
    for (size_t i = 0; i < r.lines.size(); ++i) j << (i ? "," : "") << Quote(r.lines[i]);
    j << "],\"orientation\":" << r.orientation << ",\"skew\":" << Number(r.skew)
      << ",\"character_height\":" << r.characterHeight << ",\"corners\":[";
    for (size_t i = 0; i < r.corners.size(); ++i)
        j << (i ? "," : "") << "[" << Number(r.corners[i].first) << ","
          << Number(r.corners[i].second) << "]";
    j << "],\"fields\":{";
    for (size_t i = 0; i < r.fields.size(); ++i) {
        const MrzField& f = r.fields[i];
        j << (i ? "," : "") << Quote(f.name) << ":{\"raw\":" << Quote(f.raw)
          << ",\"value\":" << Quote(f.value);
        if (f.hasCheck)
            j << ",\"check\":" << Quote(std::string(1, f.check))
              << ",\"valid\":" << Bool(f.checkValid);
        j << ",\"class_valid\":" << Bool(f.classValid) << "}";
    }
    j << "},\"corrections\":[";
    for (size_t i = 0; i < r.corrections.size(); ++i) {
        const MrzCorrection& c = r.corrections[i];
        j << (i ? "," : "") << "{\"line\":" << c.line + 1 << ",\"column\":" << c.column + 1
          << ",\"from\":" << Quote(std::string(1, c.from))
          << ",\"to\":" << Quote(std::string(1, c.to)) << ",\"field\":" << Quote(c.field) << "}";
    }
    j << "],\"confidence\":[";
    for (size_t l = 0; l < r.characters.size(); ++l) {
        j << (l ? ",[" : "[");
        for (size_t c = 0; c < r.characters[l].size(); ++c)
            j << (c ? "," : "") << Number(r.characters[l][c].confidence);
        j << "]";
    }
    j << "],\"candidates\":[";
    for (size_t l = 0; l < r.characters.size(); ++l) {
        j << (l ? ",[" : "[");
        for (size_t c = 0; c < r.characters[l].size(); ++c) {
            j << (c ? ",[" : "[");
            const auto& cands = r.characters[l][c].candidates;
            for (size_t k = 0; k < cands.size(); ++k)
                j << (k ? "," : "") << "[" << Quote(std::string(1, cands[k].first)) << ","
                  << Number(cands[k].second) << "]";
            j << "]";
        }
        j << "]";
    }
    j << "]";
    if (!r.error.empty()) j << ",\"error\":" << Quote(r.error);
    j << "}";
    return j.str();
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
