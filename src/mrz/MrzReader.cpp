#include "mrz/MrzReader.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "mrz/MrzClassify.h"

namespace gw::mrz {

namespace {

// The line lengths to try for a set of lines: 30 for three; for two, the
// length the pitch suggests first, and the other one when it is not clear.
std::vector<int> Lengths(const cv::Mat& ink, const std::vector<LineBand>& lines) {
    if (lines.size() == 3) return {30};
    float left = 0, right = 0;
    if (!InkExtent(ink, lines[0], left, right)) return {44, 36};
    const float height = lines[0].Height();
    auto miss = [&](int n) {
        const float pitch = (right - left) / (float(n) - 0.35f);
        return std::abs(pitch / height / kPitchPerHeight - 1.0f);
    };
    const float m44 = miss(44), m36 = miss(36);
    std::vector<int> out = m44 <= m36 ? std::vector<int>{44, 36} : std::vector<int>{36, 44};
    if (std::min(m44, m36) < 0.06f && std::max(m44, m36) > 0.12f) out.pop_back();
    return out;
}

// The mean top probability of cells (0 when there are none).
float MeanTop(const std::vector<Scores>& cells) {
    float sum = 0;
    for (const Scores& s : cells) sum += *std::max_element(s.begin(), s.end());
    return cells.empty() ? 0.0f : sum / float(cells.size());
}

// Classifies every cell of a cut line into cells; returns their mean top
// probability.
float ClassifyLine(const CutLine& line, std::vector<Scores>& cells) {
    cells = ClassifyCells(line.cells.data(), line.cells.size());
    return MeanTop(cells);
}

// The mean top probability over a line's cells below which the line is not
// zone print (text of another kind, or a cut out of step).
constexpr float kMinLineMean = 0.6f;

// Classifies every cell of a zone in one pass of the network; returns the
// mean top probability over its cells, or -1 when a line reads poorly (no
// zone in this print).
float ClassifyZone(const std::vector<CutLine>& cuts, std::vector<std::vector<Scores>>& cells,
                   std::vector<float>& means) {
    cells.assign(cuts.size(), {});
    means.assign(cuts.size(), 0);
    std::vector<Patch> all;
    for (const CutLine& c : cuts) all.insert(all.end(), c.cells.begin(), c.cells.end());
    const std::vector<Scores> scores = ClassifyCells(all.data(), all.size());
    float sum = 0;
    size_t at = 0;
    for (size_t i = 0; i < cuts.size(); ++i) {
        cells[i].assign(scores.begin() + long(at),
                        scores.begin() + long(at + cuts[i].cells.size()));
        at += cuts[i].cells.size();
        means[i] = MeanTop(cells[i]);
        if (means[i] < kMinLineMean) return -1;
        sum += means[i];
    }
    return cuts.empty() ? -1 : sum / float(cuts.size());
}

// Whether every character of a reading reaches the calibrated probability a
// valid zone needs.
bool EveryCharacterSure(const MrzResult& result) {
    for (const auto& line : result.characters)
        for (const MrzCharacter& c : line)
            if (c.confidence < kMinCharProbability) return false;
    return true;
}

}  // namespace

float Quality(const MrzResult& r) {
    if (!r.found) return -1;
    // Chance agreements of check digits weigh less than a confident reading.
    float q = r.valid ? 1000.0f : 0.0f;
    for (const MrzField& f : r.fields) q += (f.hasCheck && f.checkValid ? 4.0f : 0.0f);
    float sum = 0;
    size_t n = 0;
    for (const auto& line : r.characters)
        for (const MrzCharacter& c : line) sum += c.confidence, ++n;
    return q + (n ? 100.0f * sum / float(n) : 0.0f);
}

UprightReading ReadUpright(const cv::Mat& grey, const cv::Mat& ink,
                           const std::vector<std::vector<LineBand>>& sets,
                           const DecodeLimits& limits, StageTimes* times) {
    UprightReading best;
    auto t = ThreadClock::now();
    size_t tried = 0;
    for (const auto& lines : sets) {
        if (++tried > 3) break;
        t = ThreadClock::now();
        const std::vector<int> lengths = Lengths(ink, lines);
        if (times) times->segment += MsSince(t);
        for (int length : lengths) {
            t = ThreadClock::now();
            std::vector<CutLine> cuts(lines.size());
            bool cut = true;
            for (size_t i = 0; i < lines.size() && cut; ++i)
                cut = CutLineCells(grey, ink, lines[i], length, cuts[i]);
            if (!cut) {
                if (times) times->segment += MsSince(t);
                continue;
            }
            // The lines share one pitch and start: the best fitted line's.
            size_t fit = 0;
            for (size_t i = 1; i < cuts.size(); ++i)
                if (cuts[i].fit < cuts[fit].fit) fit = i;
            const std::vector<CutLine> own = cuts;
            for (size_t i = 0; i < lines.size(); ++i)
                if (i != fit)
                    CutLineCells(grey, ink, lines[i], length, cuts[i], cuts[fit].pitch,
                                 cuts[fit].left, cuts[fit].growth);
            if (times) times->segment += MsSince(t);
            t = ThreadClock::now();
            std::vector<std::vector<Scores>> cells;
            std::vector<float> means;
            const float mean = ClassifyZone(cuts, cells, means);
            if (mean < 0) {
                if (times) times->classify += MsSince(t);
                continue;
            }
            // A line that reads clearly worse than the best fitted one may
            // stand apart from it (a slanted card's last line): its own cut
            // is tried too.
            for (size_t i = 0; i < lines.size(); ++i) {
                if (i == fit || means[i] >= means[fit] - 0.04f) continue;
                std::vector<Scores> alone;
                if (ClassifyLine(own[i], alone) > means[i])
                    cells[i] = std::move(alone), cuts[i] = own[i];
            }
            if (times) times->classify += MsSince(t);
            t = ThreadClock::now();
            UprightReading r;
            Decode(cells, limits, r.result);
            // A valid zone's every character reaches the calibrated probability.
            if (r.result.valid && !EveryCharacterSure(r.result)) r.result.valid = false;
            r.quality = Quality(r.result);
            if (times) times->decode += MsSince(t);
            if (r.quality > best.quality) {
                r.lines = lines;
                r.cuts = std::move(cuts);
                best = std::move(r);
            }
            if (best.result.valid) return best;
        }
    }
    return best;
}

}  // namespace gw::mrz
