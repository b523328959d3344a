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
    bool hasZone = true;      ///< false for the pages that hold no zone
    bool mirrored = false;    ///< the picture is flipped left to right
};

/// A page of seed's degradation (one of Degradations() or HardConditions())
/// holding zone, or, for the "nozone-" conditions, other print where the zone
/// would stand. face draws the zone of the "mono" condition (a plain
/// monospace face) and of the "sans" condition (a face of varying widths,
/// set at a fixed pitch); OCR-B draws every other.
Page MakePage(const gw::render::TextRenderer& font, const Zone& zone, uint64_t seed,
              const std::string& degradation, const gw::render::TextRenderer* face = nullptr);

/// The degradations the maker applies, one per page in turn.
const std::vector<std::string>& Degradations();

/// The hard conditions, each named: security backgrounds (guilloche light
/// and mid grey, hatching), a printed rule near the zone, look-alike runs in
/// the document number, 6-9 px blurred capitals, bold, thin and dark-blue
/// ink, other text just above, a monospace face, a sans-serif face at a
/// fixed pitch, a photo on clutter at any angle, a picture cropped tight
/// round the zone, a document photographed from afar (small in a large
/// picture), a mirrored picture, and three kinds of page without a zone.
const std::vector<std::string>& HardConditions();

/// Conditions outside "all", each a set of its own: "tiny" (5-6 px capitals,
/// often grey, as in a thumbnail) and "accent" (one to three letters of the
/// names printed as national capitals: a squeezed letter under a tilde, two
/// dots or an acute; the truth keeps the base letter), "curved" (a page
/// that does not lie flat: its rows bent by 0.3-1.2 capital heights from
/// one side or from the middle), and three of phone photos: "glare" (light
/// off a laminate washing part of the zone out), "shadow" (a hand's or a
/// phone's across the zone) and "motion" (the camera moved).
const std::vector<std::string>& ExtraConditions();

/// Whether pages of condition hold a zone.
bool HasZone(const std::string& condition);

/// The conditions of conditions: one condition, or several joined by '+'.
std::vector<std::string> Conditions(const std::string& conditions);

/// Whether conditions (one condition, or several joined by '+', as the
/// "combo" pages are made) holds the condition name.
bool HasCondition(const std::string& conditions, const std::string& name);

/// Encodes bgr as a JPEG file of the given quality into out; false on failure.
bool EncodeJpeg(const cv::Mat& bgr, int quality, std::vector<uint8_t>& out);

/// Writes bgr as a JPEG file of the given quality; false on failure.
bool WriteJpeg(const std::string& path, const cv::Mat& bgr, int quality);

}  // namespace mrzpages
