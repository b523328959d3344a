// The bars and spaces that one scan line crosses: grey levels sampled along
// the line, a threshold from the local contrast, edges at sub-pixel places.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gw::barcodes {

/// Alternating light and dark runs along a line, first to last.
struct Runs {
    std::vector<float> edges;  ///< place of each run's start; edges[0] = 0, one more than runs
    bool firstDark = false;    ///< the first run is dark (runs alternate from there)
    /// The profile was cut out of a longer line at its start (its end): the
    /// first (last) run is not the line's own end, so it counts as a quiet
    /// zone only by its width.
    bool cutStart = false, cutEnd = false;

    size_t Count() const { return edges.empty() ? 0 : edges.size() - 1; }
    float Width(size_t i) const { return edges[i + 1] - edges[i]; }
    bool Dark(size_t i) const { return ((i & 1) == 0) == firstDark; }
    /// The same runs read from the other end (places measured from there),
    /// into out.
    void Reversed(Runs& out) const;
    /// Every run's width, in order, into out.
    void Widths(std::vector<float>& out) const {
        out.resize(Count());
        for (size_t i = 0; i < out.size(); ++i) out[i] = Width(i);
    }
};

/// Buffers of the run finders, kept from line to line so that a line costs
/// no allocation once the longest has been split.
struct RunsWork {
    std::vector<uint8_t> lo, hi, paper, ink, open, next;
    std::vector<int> threshold, rightTop;
    std::vector<float> edges;
};

/// Splits a profile of grey levels into runs. Each level is compared with the
/// middle of the lowest and highest levels near it (within radius samples),
/// or with the level at towardPaper of the way from the lowest to the
/// highest when that is given (in 256ths; 128 is the middle);
/// where those differ by less than minContrast the threshold of the last
/// place with contrast holds, so a wide bar or a quiet zone keeps its colour.
/// Edges fall where the profile crosses the threshold, interpolated between
/// samples; with splitDips, a dip (or bump) deep enough inside a run, a
/// narrow element that blur kept from crossing, becomes a run of its own. A
/// profile without contrast anywhere gives one light run. work holds the
/// buffers, reused from call to call.
void FindRuns(const std::vector<uint8_t>& profile, int radius, int minContrast, Runs& runs,
              RunsWork& work, bool splitDips = true, int towardPaper = 128);

/// The alternating peaks and valleys of a profile, in order: a peak or
/// valley counts once the profile has come back from it by at least
/// hysteresis levels. Found once for both splits below.
void FindExtremes(const std::vector<uint8_t>& profile, int hysteresis,
                  std::vector<size_t>& extremes);

/// Splits a profile into runs at its alternating peaks and valleys (as found
/// by FindExtremes): the edge between a peak and the next valley (or a
/// valley and the next peak) is where the profile crosses their middle.
void FindRunsByExtrema(const std::vector<uint8_t>& profile, const std::vector<size_t>& extremes,
                       Runs& runs);

/// Splits a profile into runs by its ink: each valley between the peaks
/// (extremes as found by FindExtremes) is a bar as wide as the ink around it
/// (each level's distance below the highest level near it, over that and the
/// lowest near it; "near" and "around" within about radius samples), centred
/// on the ink. Narrow bars that blur leaves faint keep their width this way.
/// A profile without a valley gives one light run.
void FindRunsByInk(const std::vector<uint8_t>& profile, const std::vector<size_t>& extremes,
                   int radius, Runs& runs, RunsWork& work);

/// An unsharp mask along a profile: each level pushed away from the mean of
/// its neighbours (a Gaussian of 1.5 samples) by twice the difference,
/// clamped to 0-255, into out (the ends repeat their level). Blur that
/// leaves the narrow elements of a line as shallow swings leaves them whole
/// again.
void Sharpen(const std::vector<uint8_t>& profile, std::vector<uint8_t>& out);

}  // namespace gw::barcodes
