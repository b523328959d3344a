// Finding the zone on a page: the page's ink is bound into text lines by a
// horizontal closing (and a vertical one through the transposed page), and
// two or three long, parallel, equal lines one above the other make a zone.
#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace gw::mrz {

/// A place where a zone may stand, in the pixels of the page it was found on.
struct ZoneCandidate {
    cv::Point2f center;
    cv::Point2f axis;      ///< unit vector along the lines (either way round)
    float length = 0;      ///< along the lines
    float height = 0;      ///< across the lines, from the first line's top to the last's bottom
    float lineHeight = 0;  ///< of one line's band
    int lines = 0;         ///< lines bound together (1 when a single line was seen)
    float rank = 0;        ///< higher first
};

/// OpenCV's closing of binary ink (0 or 255) by a row of k pixels (2 <= k <
/// 64; morphologyEx with MORPH_CLOSE, a 1 x k rectangle and its default
/// anchor and borders), then its opening by a column of three pixels (ink
/// stays where it belongs to a vertical run of three or more), into dst: the
/// same pixels, made 64 at a time on rows of bits, in about half OpenCV's
/// time. dst may be a part of a larger image, of ink's size.
void CloseAndOpen(const cv::Mat& ink, int k, cv::Mat& dst);

/// The same for each of widths ks (increasing), into dst (as many): each
/// closing's dilation made from the last's, as the finder makes its four.
void CloseAndOpen(const cv::Mat& ink, const std::vector<int>& ks, std::vector<cv::Mat>& dst);

/// Whether ink whose bounding box is of that size may bound a band of text
/// the finder takes for a line at least minLength long (finder pixels): a
/// band at least 7 times as long as high, its length within about 20
/// degrees of x. The finder traces the contours of those parts only.
bool MayMakeBand(cv::Size box, float minLength);

/// cv::resize(grey, out, size, 0, 0, INTER_AREA) of an 8-bit image to a
/// smaller size, to the same pixels: where the scale is not whole, OpenCV's
/// sums in its own order by the finder's loops, twice as fast.
void ResizeArea(const cv::Mat& grey, cv::Mat& out, cv::Size size);

/// cv::transpose of an 8-bit image (dst another image), to the same pixels.
void Transpose(const cv::Mat& src, cv::Mat& dst);

/// cv::warpAffine(src, dst, forward, size, INTER_NEAREST) of an 8-bit image
/// by a 2 x 3 map of doubles (paper, 0, past src's edges; dst another
/// image), to the same pixels.
void TurnNearest(const cv::Mat& src, const cv::Mat& forward, cv::Size size, cv::Mat& dst);

/// The outer boundaries of the ink of framed (a binary image inside a frame
/// of one paper pixel; the search marks it up), at any depth, in the pixels
/// inside the frame, into contours[0, returned count): the contours without
/// a parent of OpenCV's findContours with RETR_CCOMP and CHAIN_APPROX_SIMPLE,
/// in the same order. It searches a frame made once and a store the thread
/// keeps, where the C++ form copies the image into a new frame and makes a
/// new store each time: on a small page those pages, faulted in for each of
/// the sixteen searches of a call, cost more than the search. With ink (a
/// box inside the frame, in the same pixels, that holds all the ink), only
/// that box and the paper round it are searched, and need be up to date.
size_t OuterContours(cv::Mat& framed, std::vector<std::vector<cv::Point>>& contours,
                     const cv::Rect& ink = {});

/// A page as the finder looks at it: its ink (white) at the finder's scale.
struct FinderPage {
    cv::Mat ink;
    float scale = 0;  ///< finder pixels per page pixel
    /// The same for the tilted passes, which never enlarge the page: where
    /// it differs from ink, made by the first tilted pass (a page the first
    /// passes read needs none) from grey, the page looked at, which is not
    /// copied and must outlive the search.
    mutable cv::Mat tiltedInk;
    mutable float tiltedScale = 0;
    cv::Mat grey;
    /// Which shrink of grey ink was made from (0 none): a look through
    /// texture at the same size shrinks grey again only when the thread no
    /// longer holds it.
    uint64_t shrunk = 0;
    /// tiltedInk turned by a tilt, and the map back from its pixels: kept
    /// by FindZones, so that the passes across and up and down at one tilt
    /// turn the page once. A page is searched by one thread at a time.
    struct Turned {
        float tilt = 0;
        cv::Mat ink;
        cv::Matx23f back;
    };
    mutable std::vector<Turned> turned;
    /// The least length of a band of lines, as a share of ink's longer side.
    float minBandShare = 0.18f;
    /// Whether the passes follow bands that lean past their reach (by 20 to
    /// 45 degrees), and those leaning by 10 degrees or more that bind into
    /// no candidate, looking at each alone, turned along it: set by
    /// LookCloser, whose look has no tilted passes.
    bool followLeaning = false;
};

/// The finder's look at a grey page (8-bit, dark ink on light paper): made
/// once, searched by every pass. Empty when the page is too small to hold
/// a zone.
FinderPage LookAt(const cv::Mat& grey);

/// A closer look at a large grey page (8-bit, dark ink on light paper): up
/// to twice LookAt's size (kCloserSide on the longer side), never enlarged,
/// asking bands as long in its pixels as LookAt asks in its own; for
/// a zone that stands small in the picture (a card photographed on a desk),
/// whose capitals LookAt shrinks below what a band holds. Empty for a page
/// whose longer side is under 1,200 pixels, which it would look at less
/// than 1.5 times closer than LookAt.
FinderPage LookCloser(const cv::Mat& grey);

/// A second look at a grey page, for zones printed over fine texture: only
/// ink clearly darker than its surroundings and a few pixels thick, so that
/// the lines of guilloche or hatching under a zone do not bind with it.
/// Costs about as much as LookAt.
FinderPage LookThroughTexture(const cv::Mat& grey);

/// The same, for a page look is LookAt's look at: where both shrink the
/// page to one size, the shrink is made once.
FinderPage LookThroughTexture(const cv::Mat& grey, const FinderPage& look);

/// The zone candidates of a page the finder has looked at, best first, at
/// most maxCount: of lines that run across the page (within about 20
/// degrees), or with turned of lines that run up and down it; with a tilt
/// (degrees, counter-clockwise), of lines within about 20 degrees of that
/// direction instead. A look that follows leaning bands
/// (FinderPage::followLeaning) finds zones up to 45 degrees from the
/// direction too. In the page's pixels.
std::vector<ZoneCandidate> FindZones(const FinderPage& page, size_t maxCount, bool turned,
                                     float tilt = 0);

/// The zone candidates of a grey page (8-bit, dark ink on light paper), best
/// first, at most maxCount: of lines that run across the page (within about
/// 20 degrees), or with turned of lines that run up and down it; with a tilt
/// (degrees, counter-clockwise), of lines within about 20 degrees of that
/// direction instead.
std::vector<ZoneCandidate> FindZones(const cv::Mat& grey, size_t maxCount, bool turned,
                                     float tilt = 0);

}  // namespace gw::mrz
