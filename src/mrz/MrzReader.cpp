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

// Classifies every cell of a cut line into cells; returns the mean best score.
float ClassifyLine(const CutLine& line, TemplateSet set, std::vector<Scores>& cells) {
    float sum = 0;
    cells.clear();
    for (const Patch& p : line.cells) {
        cells.push_back(Classify(p, set));
        sum += *std::max_element(cells.back().begin(), cells.back().end());
    }
    return line.cells.empty() ? 0.0f : sum / float(line.cells.size());
}

// Classifies every line of a zone; returns the mean best score over its
// cells, or -1 as soon as a line reads poorly (no zone in this print).
float ClassifyZone(const std::vector<CutLine>& cuts, TemplateSet set,
                   std::vector<std::vector<Scores>>& cells, std::vector<float>& means) {
    cells.assign(cuts.size(), {});
    means.assign(cuts.size(), 0);
    float sum = 0;
    for (size_t i = 0; i < cuts.size(); ++i) {
        means[i] = ClassifyLine(cuts[i], set, cells[i]);
        if (means[i] < 0.6f) return -1;
        sum += means[i];
    }
    return cuts.empty() ? -1 : sum / float(cuts.size());
}

// Whether every character of result that has a blind look-alike its place
// admits leads that look-alike clearly in cells (by clear), or else by gap
// when read against set too.
bool BlindPairsHold(const MrzResult& result, const std::vector<std::vector<Scores>>& cells,
                    const std::vector<CutLine>& cuts, TemplateSet set, float clear, float gap) {
    for (size_t l = 0; l < result.lines.size() && l < cuts.size(); ++l)
        for (size_t c = 0; c < result.lines[l].size() && c < cuts[l].cells.size(); ++c) {
            const char read = result.lines[l][c];
            const char alike = BlindLookAlike(read);
            if (alike == 0 || !Admits(result.format, l, c, alike)) continue;
            const size_t a = size_t(ClassOf(alike)), r = size_t(ClassOf(read));
            const Scores s = Classify(cuts[l].cells[c], set);
            // 0 and U, the pair misread most, need the wider lead.
            const float need = read == '0' || read == 'U' ? clear : clear - 0.01f;
            if (cells[l][c][r] - cells[l][c][a] < need && s[r] - s[a] < gap) return false;
        }
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
            // The zone in OCR-B; one that reads poorly in the monospace font too.
            std::vector<std::vector<Scores>> cells;
            std::vector<float> means;
            TemplateSet set = TemplateSet::OcrB;
            float mean = ClassifyZone(cuts, set, cells, means);
            if (mean < 0.85f) {
                std::vector<std::vector<Scores>> monoCells;
                std::vector<float> monoMeans;
                const float monoMean = ClassifyZone(cuts, TemplateSet::Mono, monoCells, monoMeans);
                if (monoMean > mean + 0.05f) {
                    cells = std::move(monoCells), means = std::move(monoMeans);
                    mean = monoMean, set = TemplateSet::Mono;
                }
            }
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
                if (ClassifyLine(own[i], set, alone) > means[i])
                    cells[i] = std::move(alone), cuts[i] = own[i];
            }
            if (times) times->classify += MsSince(t);
            t = ThreadClock::now();
            UprightReading r;
            Decode(cells, limits, r.result);
            r.quality = Quality(r.result);
            if (times) times->decode += MsSince(t);
            // OCR-B print the checks leave unconfirmed is read again with the
            // first templates, whose valid reading then stands instead.
            if (!r.result.valid && set == TemplateSet::OcrB) {
                t = ThreadClock::now();
                std::vector<std::vector<Scores>> firstCells;
                std::vector<float> firstMeans;
                const bool read =
                    ClassifyZone(cuts, TemplateSet::OcrBFirst, firstCells, firstMeans) >= 0;
                if (times) times->classify += MsSince(t);
                t = ThreadClock::now();
                UprightReading second;
                if (read) Decode(firstCells, limits, second.result);
                if (second.result.valid) {
                    second.quality = Quality(second.result);
                    r = std::move(second);
                    cells = std::move(firstCells);
                    set = TemplateSet::OcrBFirst;
                }
                if (times) times->decode += MsSince(t);
            }
            // Look-alikes no check digit tells apart must lead clearly, or be
            // confirmed by the other OCR-B set.
            if (r.result.valid && set != TemplateSet::Mono) {
                t = ThreadClock::now();
                const TemplateSet other =
                    set == TemplateSet::OcrB ? TemplateSet::OcrBFirst : TemplateSet::OcrB;
                if (!BlindPairsHold(r.result, cells, cuts, other, limits.blindClear,
                                    limits.blindBoth)) {
                    r.result.valid = false;
                    r.quality = Quality(r.result);
                }
                if (times) times->classify += MsSince(t);
            }
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
