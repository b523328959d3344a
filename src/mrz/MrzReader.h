// Reading a zone from its upright image: lines, cells, classes, grammar.
// The entry point (ReadMrz) turns each candidate place of the page upright
// and hands it here; the page maker's cell dump (`mrz-pages cells`) too.
#pragma once

#include <array>
#include <chrono>
#include <ctime>
#include <vector>

#include <opencv2/core.hpp>

#include "DVImageCodecs.h"
#include "GlyphwickGrey.h"

#include "mrz/MrzCut.h"
#include "mrz/MrzFind.h"
#include "mrz/MrzGrammar.h"
#include "mrz/MrzLimits.h"
#include "shared/Deadline.h"

namespace gw::mrz {

/// The processor time of the calling thread, as a std::chrono clock: what a
/// single-threaded reading costs, whatever else the machine runs.
struct ThreadClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<ThreadClock>;
    static constexpr bool is_steady = true;
    static time_point now() noexcept {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return time_point(duration(rep(ts.tv_sec) * 1000000000 + ts.tv_nsec));
    }
};

/// Milliseconds of ThreadClock since t.
inline double MsSince(ThreadClock::time_point t) {
    return std::chrono::duration<double, std::milli>(ThreadClock::now() - t).count();
}

/// Processor time spent in each stage of a reading, in milliseconds, the
/// number of places in which a zone was read, and the number of cells the
/// network classified (a count of work that does not move with the
/// machine's load, as the times do).
struct StageTimes {
    double find = 0, normalise = 0, segment = 0, classify = 0, decode = 0;
    int zonesRead = 0;
    long cellsClassified = 0;
};

/// A zone read from an upright image.
struct UprightReading {
    MrzResult result;
    std::vector<LineBand> lines;
    std::vector<CutLine> cuts;
    float quality = -1;           ///< higher better: valid zones above all
    float mean = 0;               ///< mean classifier score of the characters chosen
    float lowest = 0;             ///< their lowest
    bool sure = false;            ///< valid but for check digits that fail (see Decode)
    bool printed = false;         ///< no unsure character under a check that fails
    bool throughTexture = false;  ///< read in a pass through texture
    bool cut = false;             ///< a line set was cut at a zone's length (found or not)
    bool narrow = false;          ///< cut in a narrower face's shape (MrzLimits::kMinShape)
    bool small = false;           ///< small print (MrzLimits::kSmallHeight), its cells sharpened
    float limit = 0;              ///< the probability its characters had to reach
    /// A zone of 36-character lines begun with P or V whose ink runs into
    /// the last columns of the place's image (RunsPastView): the finder's box
    /// ended short, and the zone may be one of 44. Never valid as read.
    bool pastView = false;
};

/// Pitch of OCR-B print over its capital height, as the cut measures them.
inline constexpr float kPitchPerHeight = 0.96f;

/// The upright image of a candidate read one way along its axis (at
/// kWorkHeight, squared up where its lines draw together), and the map from
/// its pixels back to the page's.
struct Upright {
    cv::Mat grey;
    cv::Mat dark;                             ///< DarkOf(grey), for its flips (may be empty)
    cv::Mat ink;                              ///< InkOf(grey)
    std::vector<std::vector<LineBand>> sets;  ///< FindLineSets(ink)
    cv::Matx33f toPage;
    float scale = 0;  ///< its pixels per pixel of the page (0 when not known)
    cv::Point2f dir;
    cv::Size page;  ///< the page's size (empty when not known)
};

/// What bounds and measures a reading of upright places: the host's limits,
/// the stage times to add to, the deadline asked between line sets, and the
/// line sets the whole call may still try (each tried takes one; none is
/// tried once they are used up). Any pointer may be null.
struct UprightSearch {
    DecodeLimits limits;
    StageTimes* times = nullptr;
    Deadline* deadline = nullptr;
    int* setsLeft = nullptr;
    int setsPerPlace = MrzLimits::kSetsPerCandidate;  ///< line sets of the image tried, at most
};

/// Reads the zone of upright image u, whose capitals stand about
/// kWorkHeight pixels high. Tries its line sets and the line lengths that
/// fit, and keeps the best reading (a valid one ends the search, and so do
/// the deadline running out and the sets left, between line sets). With
/// throughTexture (a zone the finder saw through texture), the cells leave
/// out lines lighter than the print (LineLevels). A zone whose capitals
/// stand under MrzLimits::kSmallHeight on the page (by u.scale, when known)
/// is small print, its cells' probabilities sharpened (SharpenSmall). Each
/// zone is held to the search's limits or, read through texture, in a
/// narrower face or in small print, to the strictest threshold of its kinds
/// (MrzLimits::kTextureMinProbability, kNarrowMinProbability,
/// kSmallMinProbability).
UprightReading ReadUpright(const Upright& u, bool throughTexture, const UprightSearch& search);

/// The 3-byte pixels of a loaded image as a colour image over them (no
/// copy), as ReadPage takes them beside the grey; empty for any other kind
/// of pixels.
inline cv::Mat ColourPixels(const dv::Bitmap* bitmap) {
    if (bitmap == nullptr || bitmap->GetPixelFormat() != dv::PixelFormat24bppRGB) return {};
    return cv::Mat(int(bitmap->GetHeight()), int(bitmap->GetWidth()), CV_8UC3,
                   const_cast<uint8_t*>(bitmap->Pixels()), size_t(bitmap->GetStride()));
}

/// The quality of a decoded zone: valid zones first, then by the checks that
/// agree as read (a correction's agreement counts nothing), then by the mean
/// classifier score of its characters.
float Quality(const MrzResult& r, float meanScore);

}  // namespace gw::mrz

namespace gw {
struct MrzOptions;
namespace mrz {

/// How a page's colours become the grey the zone is found and read in: zones
/// are printed in black, so coloured guilloche, stamps and marks read as paper.
inline constexpr GreyMode kPageGrey = GreyMode::Lightest;

/// One pass of the zone finder over a page (FindZones): lines across the
/// page, or up and down it when turned, tilted by tilt degrees, in the first
/// look or the look through texture (LookThroughTexture).
struct FinderPass {
    bool turned;
    float tilt;
    bool throughTexture;
};

/// The finder's passes, in the order the reader tries them. Lines across
/// the page first, then up and down, then tilted further than the first
/// passes reach, either way; last, across and up and down again through a
/// look that leaves fine texture out (a zone printed over guilloche or
/// hatching binds with it into one blob in the first look). A pass sees
/// lines within 20 degrees of its direction: the straight ones 0 and 90
/// degrees, the tilted ones 30 and -30 from each, so that together they see
/// a zone at any angle.
inline constexpr FinderPass kFinderPasses[] = {
    {false, 0, false}, {true, 0, false},   {false, 30, false}, {false, -30, false},
    {true, 30, false}, {true, -30, false}, {false, 0, true},   {true, 0, true}};

/// How a candidate is turned upright: the room before and after its length
/// and above and below its lines (line heights), and the shear of its rows
/// (pixel (x, y) drawn from x + shear * (y - the middle row)) that stands
/// print seen at a slant upright.
struct Turning {
    float ends = 1.0f;
    float rows = 0.0f;  ///< beside the usual room above and below
    float shear = 0.0f;
    float scale = 1.0f;  ///< times the candidate's line height's scale
    /// More room past the end of the candidate's lines along the axis (line
    /// heights; below 0, before their start): a zone read short of the
    /// image's end may run on there.
    float past = 0.0f;
    /// As a place is first turned.
    bool Plain() const {
        return ends == 1.0f && rows == 0 && shear == 0 && scale == 1.0f && past == 0;
    }
};

/// Turns candidate z of page (grey: 8 bits, one channel) upright, read along
/// sign times its axis, as turning says; its ink as InkOf makes it,
/// throughTexture for a candidate of the look through texture.
Upright TurnUpright(const cv::Mat& page, const ZoneCandidate& z, float sign,
                    bool throughTexture = false, const Turning& turning = {});

/// Whether u is worth turning again, and how (again): with
/// MrzLimits::kWideEnds of room at its ends where a line of its first set
/// has ink within MrzLimits::kEndsNear line heights of either end of its
/// image (the finder's band ended short of the zone's ends); with
/// MrzLimits::kWideRows more above and below where print runs into its
/// first or last rows (a line the finder's box left out); stood upright
/// where its print leans by MrzLimits::kMinSlant or more; scaled where its
/// lines stand more than MrzLimits::kRescaleBeyond off the height a zone's
/// lines take at kWorkHeight (MrzLimits::kBandPerWork; the candidate's line
/// height was measured over a band that is no line of the zone).
bool TurnAgain(const Upright& u, Turning& again);

/// The place of u read the other way along its axis: u's grey turned half
/// round, its ink and line sets found again (throughTexture as for u), its
/// map to the page turned with it. What TurnUpright gives for the other
/// sign, but for the sampling grid, which stands a working pixel over, with
/// no sampling of the page.
Upright TurnAround(const Upright& u, bool throughTexture = false);

/// The place of u as a mirrored picture shows it: u's grey flipped left to
/// right (a front camera's picture), its ink and line sets found again, its
/// map to the page flipped with it.
Upright Mirrored(const Upright& u, bool throughTexture = false);

/// Candidate z of pass turned upright as the reader first reads it: along
/// its axis (against it in a turned pass), and drawn again from the middle
/// channel of colour (the page's 3-byte pixels, or empty) when its ink stands
/// out there by kMiddleContrastGain more than in grey, a zone in coloured
/// ink. middle holds that channel, made from colour when first needed;
/// turning as for TurnUpright.
Upright TurnPlace(const cv::Mat& grey, const cv::Mat& colour, cv::Mat& middle,
                  const ZoneCandidate& z, const FinderPass& pass, const Turning& turning = {});

/// How much more the ink of u stands out from its paper in the middle
/// channel of colour than in the lightest (u's grey), colour being the
/// page's 3-byte pixels (any order of channels): the difference of the two
/// contrasts, each the paper's median level less the ink's, over every
/// fourth pixel of every fourth row of u.ink, taken at its place on the page. Grey levels; 0 with
/// too little ink or paper to tell.
int MiddleContrastGain(const cv::Mat& colour, const Upright& u);

/// Finds and reads the zone of a grey page (the work of ReadMrz, without the
/// lock and the checks of its arguments), adding each stage's time to times.
/// Honours options.budget: when it runs out (or is cancelled) the best
/// reading so far is returned with stopped set and the reason. colour, when
/// not empty, holds the page's 3-byte pixels that grey was made from (as
/// their lightest channel): a zone whose ink is coloured
/// (MrzLimits::kMiddleContrastGain) is read from their middle channel.
MrzResult ReadPage(const cv::Mat& grey, const MrzOptions& options, StageTimes* times,
                   const cv::Mat& colour = cv::Mat());

}  // namespace mrz
}  // namespace gw
