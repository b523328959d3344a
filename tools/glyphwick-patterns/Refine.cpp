#include "Refine.h"

#include <algorithm>
#include <climits>
#include <map>
#include <utility>

#include "Points.h"
#include "recognition/Identify.h"

namespace gw::patterns {
namespace {

constexpr size_t kTryCount = size_t(gw::kTries);
constexpr int32_t kRefused = INT32_MIN / 4;  // a try that a pattern's ratio range refuses

// A rendering should be read right by this many score units (10 cell
// points: enough slack for the sub-pixel phases the renderings do not cover;
// 24 to 60 all do well on held-out lines, 40 best on the development set);
// one that falls short adds the shortfall to the loss, at most kLossCap, so
// that a hopeless rendering does not steer the others.
constexpr int32_t kMargin = 40;
constexpr int32_t kLossCap = 120;
// Renderings of other characters whose own score is this far above the
// refined patterns' cannot be taken by a change and are left out.
constexpr int32_t kReach = 160;
constexpr int kSweeps = 4;

// Every rendering of the font with its five tries, and the score of every
// pattern against every try.
struct Table {
    size_t cells = 0;
    size_t patterns = 0;
    std::vector<char> truth;      // per rendering
    std::vector<int32_t> ratios;  // per rendering and try, in hundredths
    std::vector<uint8_t> codes;   // per rendering, try and cell: object code index
    std::vector<int32_t> scores;  // per rendering, try and pattern
    std::vector<int32_t> tops;    // per rendering and pattern: best over the tries
    size_t Renderings() const { return truth.size(); }
    int32_t& Score(size_t k, size_t t, size_t p) {
        return scores[(k * kTryCount + t) * patterns + p];
    }
    int32_t Score(size_t k, size_t t, size_t p) const {
        return scores[(k * kTryCount + t) * patterns + p];
    }
    const uint8_t* Codes(size_t k, size_t t) const { return &codes[(k * kTryCount + t) * cells]; }
    int32_t Top(size_t k, size_t p) const { return tops[k * patterns + p]; }
};

// Best score of one pattern over the tries of one rendering, each try's
// score changed by delta when given.
int32_t TopOf(const Table& table, size_t k, size_t p, const int* delta = nullptr) {
    int32_t top = kRefused;
    for (size_t t = 0; t < kTryCount; ++t) {
        const int32_t s = table.Score(k, t, p);
        if (s != kRefused) top = std::max(top, s + (delta ? delta[t] : 0));
    }
    return top;
}

void AddTry(Table& table, const std::string& cells, int32_t ratio) {
    table.ratios.push_back(ratio);
    for (size_t i = 0; i < table.cells; ++i) {
        table.codes.push_back(uint8_t(ObjectIndex(i < cells.size() ? cells[i] : '-')));
    }
}

void ScorePattern(Table& table, const Pattern& p, size_t index) {
    for (size_t k = 0; k < table.Renderings(); ++k) {
        for (size_t t = 0; t < kTryCount; ++t) {
            const int32_t ratio = table.ratios[k * kTryCount + t];
            int32_t sum = kRefused;
            if (ratio >= p.low && ratio <= p.high) {
                sum = 0;
                const uint8_t* codes = table.Codes(k, t);
                for (size_t i = 0; i < table.cells; ++i) {
                    const int code = PatternIndex(p.cells[i]);
                    if (code >= 0) sum += kPoints[code][codes[i]] * kPointScale;
                }
            }
            table.Score(k, t, index) = sum;
        }
        table.tops[k * table.patterns + index] = TopOf(table, k, index);
    }
}

Table MakeTable(const BuildSettings& s, const std::vector<std::vector<Observation>>& observations,
                const std::vector<Pattern>& patterns) {
    Table table;
    table.cells = size_t(s.gridWidth) * size_t(s.gridHeight);
    table.patterns = patterns.size();
    for (size_t c = 0; c < observations.size() && c < s.characters.size(); ++c) {
        for (const Observation& o : observations[c]) {
            table.truth.push_back(s.characters[c]);
            AddTry(table, o.cells, o.ratioWhole * 100 + o.ratioHundredths);
            for (size_t t = 0; t + 1 < kTryCount; ++t) {
                AddTry(table, o.trimmedCells[t], o.trimmedRatios[t]);
            }
        }
    }
    table.scores.assign(table.Renderings() * kTryCount * table.patterns, kRefused);
    table.tops.assign(table.Renderings() * table.patterns, kRefused);
    for (size_t p = 0; p < patterns.size(); ++p) ScorePattern(table, patterns[p], p);
    return table;
}

// What identification reads for a rendering: the first strictly best
// (try, pattern), "?" below the acceptance threshold.
char ReadAs(const Table& table, const std::vector<Pattern>& patterns, size_t k) {
    int32_t best = -40 * int32_t(table.cells);
    char read = 0;
    for (size_t t = 0; t < kTryCount; ++t) {
        for (size_t p = 0; p < table.patterns; ++p) {
            if (table.Score(k, t, p) > best) {
                best = table.Score(k, t, p);
                read = patterns[p].character;
            }
        }
    }
    return best >= gw::kAcceptance ? read : '?';
}

// The pairs of characters read as each other, most often confused first.
std::vector<std::pair<char, char>> ConfusedPairs(const Table& table,
                                                 const std::vector<Pattern>& patterns,
                                                 size_t* misread) {
    std::map<std::pair<char, char>, size_t> counts;
    *misread = 0;
    for (size_t k = 0; k < table.Renderings(); ++k) {
        const char read = ReadAs(table, patterns, k);
        if (read == table.truth[k]) continue;
        ++*misread;
        if (read != '?') counts[std::minmax(read, table.truth[k])]++;
    }
    std::vector<std::pair<size_t, std::pair<char, char>>> sorted;
    for (const auto& [pair, n] : counts) sorted.push_back({n, pair});
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::pair<char, char>> pairs;
    for (const auto& entry : sorted) pairs.push_back(entry.second);
    return pairs;
}

int32_t Loss(int32_t own, int32_t rival) {
    // Right when own beats every rival and reaches acceptance (scores are
    // multiples of 4, so 4 is the smallest winning lead).
    const int64_t lead =
        std::min<int64_t>(int64_t(own) - rival, int64_t(own) - (gw::kAcceptance - 4));
    return int32_t(std::clamp<int64_t>(kMargin - lead, 0, kLossCap));
}

// One rendering as one refined pattern sees it: the best own and rival
// scores of every other pattern, and whether the pattern is its own.
struct Seen {
    size_t k;
    int32_t own, rival;
    bool isOwn;
};

// The renderings that pattern r can change the reading of, with the best
// scores of all other patterns: those of the refined characters, and those
// of others that r comes within reach of.
std::vector<Seen> SeenBy(const Table& table, const std::vector<Pattern>& patterns, size_t r,
                         const std::pair<char, char>& pair) {
    std::vector<Seen> seen;
    for (size_t k = 0; k < table.Renderings(); ++k) {
        const int32_t mine = table.Top(k, r);
        if (mine == kRefused) continue;
        Seen s{k, kRefused, kRefused, patterns[r].character == table.truth[k]};
        for (size_t p = 0; p < table.patterns; ++p) {
            if (p == r) continue;
            int32_t& slot = patterns[p].character == table.truth[k] ? s.own : s.rival;
            slot = std::max(slot, table.Top(k, p));
        }
        const bool refined = table.truth[k] == pair.first || table.truth[k] == pair.second;
        if (refined || int64_t(mine) + kReach >= s.own) seen.push_back(s);
    }
    return seen;
}

// Total loss over the renderings when pattern r's cell i has code `code`
// instead of `current`.
int64_t LossWith(const Table& table, const std::vector<Seen>& seen, size_t r, size_t i, int current,
                 int code) {
    int64_t total = 0;
    for (const Seen& s : seen) {
        int delta[kTryCount];
        for (size_t t = 0; t < kTryCount; ++t) {
            const int object = table.Codes(s.k, t)[i];
            delta[t] = (kPoints[code][object] - kPoints[current][object]) * kPointScale;
        }
        const int32_t mine = TopOf(table, s.k, r, delta);
        total +=
            s.isOwn ? Loss(std::max(s.own, mine), s.rival) : Loss(s.own, std::max(s.rival, mine));
    }
    return total;
}

void SetCell(Table& table, Pattern& p, size_t r, size_t i, int code) {
    const int current = PatternIndex(p.cells[i]);
    for (size_t k = 0; k < table.Renderings(); ++k) {
        for (size_t t = 0; t < kTryCount; ++t) {
            int32_t& s = table.Score(k, t, r);
            if (s == kRefused) continue;
            const int object = table.Codes(k, t)[i];
            s += (kPoints[code][object] - kPoints[current][object]) * kPointScale;
        }
        table.tops[k * table.patterns + r] = TopOf(table, k, r);
    }
    p.cells[i] = kPatternCodes[code];
}

// Coordinate descent over the cells of the pair's patterns: each cell takes
// the code of least loss, keeping its own on a tie.
void RefinePair(Table& table, std::vector<Pattern>& patterns, const std::pair<char, char>& pair) {
    for (int sweep = 0; sweep < kSweeps; ++sweep) {
        bool changed = false;
        for (size_t r = 0; r < patterns.size(); ++r) {
            if (patterns[r].character != pair.first && patterns[r].character != pair.second)
                continue;
            const std::vector<Seen> seen = SeenBy(table, patterns, r, pair);
            for (size_t i = 0; i < table.cells; ++i) {
                const int current = PatternIndex(patterns[r].cells[i]);
                int best = current;
                int64_t bestLoss = LossWith(table, seen, r, i, current, current);
                for (int code = 0; code < 6; ++code) {
                    if (code == current) continue;
                    const int64_t loss = LossWith(table, seen, r, i, current, code);
                    if (loss < bestLoss) {
                        bestLoss = loss;
                        best = code;
                    }
                }
                if (best != current) {
                    SetCell(table, patterns[r], r, i, best);
                    changed = true;
                }
            }
        }
        if (!changed) break;
    }
}

bool FitsGrid(const std::vector<Pattern>& patterns, size_t cells) {
    for (const Pattern& p : patterns) {
        if (p.cells.size() != cells) return false;
        if (p.cells.find_first_not_of("-X01/?") != std::string::npos) return false;
    }
    return true;
}

}  // namespace

RefineSummary RefinePatterns(const BuildSettings& settings,
                             const std::vector<std::vector<Observation>>& observations,
                             std::vector<Pattern>& patterns) {
    RefineSummary summary;
    const size_t cells = size_t(settings.gridWidth) * size_t(settings.gridHeight);
    if (settings.refineRounds <= 0 || patterns.empty() || !FitsGrid(patterns, cells)) {
        return summary;
    }
    Table table = MakeTable(settings, observations, patterns);
    summary.renderings = table.Renderings();
    std::vector<std::pair<char, char>> pairs =
        ConfusedPairs(table, patterns, &summary.misreadBefore);
    summary.misreadAfter = summary.misreadBefore;
    for (int round = 0; round < settings.refineRounds && !pairs.empty(); ++round) {
        for (const auto& pair : pairs) RefinePair(table, patterns, pair);
        pairs = ConfusedPairs(table, patterns, &summary.misreadAfter);
    }
    return summary;
}

}  // namespace gw::patterns
