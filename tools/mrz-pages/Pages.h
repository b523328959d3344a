// Rendering document pages with a zone, and the degradations a user's
// photos and scans show.
#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "TextRender.h"
#include "Zones.h"

namespace mrzpages {

/// The zone rendered upright on white paper, capitals capHeight high.
cv::Mat RenderZone(const gw::render::TextRenderer& font, const Zone& zone,
                   const gw::render::Variation& v);

/// One generated page: the colour image, what was done to it and the truth.
struct Page {
    cv::Mat bgr;
    std::string degradation;  ///< the main degradation: clean, skew, turned, ...
    int rotation = 0;         ///< degrees clockwise to turn the page to read the zone
    double charHeight = 0;    ///< capital height in the page, pixels
    int quality = 95;         ///< JPEG quality to save with
};

/// A page of seed's degradation (one of Degradations()) holding zone.
Page MakePage(const gw::render::TextRenderer& font, const Zone& zone, uint64_t seed,
              const std::string& degradation);

/// The degradations the maker applies, one per page in turn.
const std::vector<std::string>& Degradations();

/// Writes bgr as a JPEG file of the given quality; false on failure.
bool WriteJpeg(const std::string& path, const cv::Mat& bgr, int quality);

}  // namespace mrzpages
