// Subband layout of a WSQ frame and the one-dimensional synthesis plans.
//
// The frame is split into 20 synthesis steps (nodes) and 64 subband slots, of
// which 60 are coded. Odd lengths are split as the reference codec splits them:
// the first part is usually the longer one, except where the layout mirrors it.
//
// A synthesis plan lists, for every output sample of a line, the input samples
// and filter taps in the order in which the reference adds them up: upsampled
// lowpass taps first (assigned, then accumulated), then highpass taps, each
// walking away from a start sample with symmetric extension at both ends. The
// start samples move left before they move right, and whether an end sample
// is repeated depends on the parity of the line. Reproducing that order exactly
// is what makes the float sums, and so the pixels, equal the reference's.
#include <utility>

#include "WsqInternal.h"

namespace gw::wsq {
namespace {

// Splits len in two; an odd length gives the extra sample to the first part
// unless secondLonger.
void Halve(int len, bool secondLonger, int* first, int* second) {
    if (len % 2 == 0) {
        *first = *second = len / 2;
    } else if (secondLonger) {
        *first = (len - 1) / 2;
        *second = *first + 1;
    } else {
        *first = (len + 1) / 2;
        *second = *first - 1;
    }
}

// Node `parent` covers r; its quadrants become nodes child.. child+3 (the
// fourth only when withFourth).
void SplitNode(Geometry* g, int parent, int child, Region r, bool xSecondLonger, bool ySecondLonger,
               bool withFourth) {
    int fx, sx, fy, sy;
    Halve(r.w, xSecondLonger, &fx, &sx);
    Halve(r.h, ySecondLonger, &fy, &sy);
    g->node[parent] = r;
    g->node[child] = {r.x, r.y, fx, fy};
    g->node[child + 1] = {r.x + fx, r.y, sx, fy};
    g->node[child + 2] = {r.x, r.y + fy, fx, sy};
    if (withFourth) g->node[child + 3] = {r.x + fx, r.y + fy, sx, sy};
}

// Four subbands at p..p+3 from splitting a w x h area at (x, y) with the given
// splits of its width (a | b) and height (c | d).
void PutFour(Geometry* g, int p, int x, int y, int a, int b, int c, int d) {
    g->subband[p] = {x, y, a, c};
    g->subband[p + 1] = {x + a, y, b, c};
    g->subband[p + 2] = {x, y + c, a, d};
    g->subband[p + 3] = {x + a, y + c, b, d};
}

// Sixteen subbands at p..p+15 from a node split twice each way; the second
// half of each first-level split is itself split with its longer part last.
void SplitSixteen(Geometry* g, int p, const Region& r, bool rowsSecondLonger,
                  bool colsSecondLonger) {
    int tx, t2x, ty, t2y;
    Halve(r.w, colsSecondLonger, &tx, &t2x);
    Halve(r.h, rowsSecondLonger, &ty, &t2y);
    int ax, bx, cx, dx, ay, by, cy, dy;
    Halve(tx, false, &ax, &bx);
    Halve(t2x, true, &cx, &dx);
    Halve(ty, false, &ay, &by);
    Halve(t2y, true, &cy, &dy);
    PutFour(g, p, r.x, r.y, ax, bx, ay, by);
    PutFour(g, p + 4, r.x + tx, r.y, cx, dx, ay, by);
    PutFour(g, p + 8, r.x, r.y + ty, ax, bx, cy, dy);
    PutFour(g, p + 12, r.x + tx, r.y + ty, cx, dx, cy, dy);
}

// Where a walk over one half of a line stands: position, direction, and
// whether each end sample is still to be repeated once on reflection.
struct Walk {
    int pos;
    int step;
    int last;
    bool repeatLeft;
    bool repeatRight;

    void Next() {
        if (pos == 0) {
            step = repeatLeft ? 0 : 1;
            repeatLeft = false;
        }
        if (pos == last) {
            step = repeatRight ? 0 : -1;
            repeatRight = false;
        }
        pos += step;
    }
    // The start sample of successive outputs reflects at the left end only.
    void NextStart() {
        if (pos == 0) {
            step = repeatLeft ? 0 : 1;
            repeatLeft = false;
        }
        pos += step;
    }
};

// Groups of terms, one per output sample, as flat arrays.
struct Groups {
    std::vector<uint32_t> end;
    std::vector<int32_t> offset;
    std::vector<float> coef;

    // Terms of taps tap, tap+2, ... walking from start over the half that
    // begins at base.
    void Add(const Walk& start, int base, const std::vector<float>& taps, int tap) {
        Walk w = start;
        for (int i = tap; i < static_cast<int>(taps.size()); i += 2) {
            if (i != tap) w.Next();
            offset.push_back(base + w.pos);
            coef.push_back(taps[static_cast<size_t>(i)]);
        }
        end.push_back(static_cast<uint32_t>(offset.size()));
    }
    void Reserve(int n, int taps) {
        end.reserve(static_cast<size_t>(n));
        offset.reserve(static_cast<size_t>(n) * static_cast<size_t>(taps / 2 + 1));
        coef.reserve(static_cast<size_t>(n) * static_cast<size_t>(taps / 2 + 1));
    }
    size_t Count() const { return end.size(); }
    uint32_t Begin(size_t k) const { return k == 0 ? 0 : end[k - 1]; }
};

}  // namespace

Geometry BuildGeometry(int width, int height) {
    Geometry g;
    SplitNode(&g, 0, 1, {0, 0, width, height}, false, false, false);
    const Region& q = g.node[1];
    const int lenx = (q.w + 1) / 2, lenx2 = q.w / 2;
    const int leny = (q.h + 1) / 2, leny2 = q.h / 2;
    SplitNode(&g, 4, 6, {lenx, 0, lenx2, leny}, true, false, true);
    SplitNode(&g, 5, 10, {0, leny, lenx, leny2}, false, true, true);
    SplitNode(&g, 14, 15, {0, 0, lenx, leny}, false, false, true);
    g.node[19] = {0, 0, (g.node[15].w + 1) / 2, (g.node[15].h + 1) / 2};

    for (int n : {2, 4, 7, 9, 11, 13, 16, 18}) g.invertRows[static_cast<size_t>(n)] = true;
    for (int n : {3, 5, 8, 9, 12, 13, 17, 18}) g.invertCols[static_cast<size_t>(n)] = true;

    // Later groups overwrite slots of earlier ones: 48..50 and 3 are replaced.
    SplitSixteen(&g, 3, g.node[14], false, false);
    SplitSixteen(&g, 19, g.node[4], false, true);
    SplitSixteen(&g, 48, g.node[0], false, false);
    SplitSixteen(&g, 35, g.node[5], true, false);
    const Region& top = g.node[19];
    int a, b, c, d;
    Halve(top.w, false, &a, &b);
    Halve(top.h, false, &c, &d);
    PutFour(&g, 0, top.x, top.y, a, b, c, d);
    return g;
}

int64_t CodedCoefficients(const Geometry& g, const QuantTable& q) {
    int64_t n = 0;
    for (size_t s = 0; s < kSubbands; ++s) {
        if (q.q[s] != 0.0f) n += int64_t{g.subband[s].w} * g.subband[s].h;
    }
    return n;
}

Status BuildLinePlan(int n, bool invert, const TransformTable& t, LinePlan* plan) {
    if (n == 1) return Status::FrameTooSmall;
    const int loTaps = static_cast<int>(t.lo.size());
    const int hiTaps = static_cast<int>(t.hi.size());
    const bool oddLine = n % 2 != 0;
    const int loLen = (n + 1) / 2;
    const int hiLen = n / 2;
    const int loBase = invert ? hiLen : 0;
    const int hiBase = invert ? 0 : loLen;

    Walk lo{(loTaps - 1) / 4, -1, loLen - 1, false, !oddLine};
    Walk hi{(hiTaps + 1) / 4 - 1, -1, hiLen - 1, true, oddLine};
    const int loFirst = ((loTaps - 1) / 2) % 2;
    const int hiFirst = ((hiTaps + 1) / 2) % 2;

    Groups los, his;
    los.Reserve(n, loTaps);
    his.Reserve(n, hiTaps);
    // A highpass group adds to an output whose lowpass group is already there.
    auto addHi = [&](int tap) {
        if (his.Count() >= los.Count()) return false;
        his.Add(hi, hiBase, t.hi, tap);
        return true;
    };
    for (int pair = 0; pair < hiLen; ++pair) {
        for (int tap = pair == 0 ? loFirst : 1; tap >= 0; --tap) los.Add(lo, loBase, t.lo, tap);
        lo.NextStart();
        for (int tap = pair == 0 ? hiFirst : 1; tap >= 0; --tap) {
            if (!addHi(tap)) return Status::FrameTooSmall;
        }
        hi.NextStart();
    }
    const int loLast = oddLine ? (loFirst != 0 ? 1 : 0) : (loFirst != 0 ? 2 : 1);
    const int hiLast = oddLine ? (hiFirst != 0 ? 1 : 0) : (hiFirst != 0 ? 2 : 1);
    for (int tap = 1; tap >= loLast; --tap) los.Add(lo, loBase, t.lo, tap);
    for (int tap = 1; tap >= hiLast; --tap) {
        if (!addHi(tap)) return Status::FrameTooSmall;
    }
    if (los.Count() != static_cast<size_t>(n)) return Status::FrameTooSmall;

    plan->first.assign(1, 0);
    plan->first.reserve(static_cast<size_t>(n) + 1);
    plan->offset.clear();
    plan->offset.reserve(los.offset.size() + his.offset.size());
    plan->coef.clear();
    plan->coef.reserve(los.offset.size() + his.offset.size());
    auto append = [plan](const Groups& g, size_t k) {
        for (uint32_t i = g.Begin(k); i < g.end[k]; ++i) {
            plan->offset.push_back(g.offset[i]);
            plan->coef.push_back(g.coef[i]);
        }
    };
    for (size_t k = 0; k < los.Count(); ++k) {
        append(los, k);
        if (k < his.Count()) append(his, k);
        plan->first.push_back(static_cast<uint32_t>(plan->offset.size()));
    }
    plan->minOffset = plan->maxOffset = 0;
    for (int32_t o : plan->offset) {
        plan->minOffset = o < plan->minOffset ? o : plan->minOffset;
        plan->maxOffset = o > plan->maxOffset ? o : plan->maxOffset;
    }
    return Status::Ok;
}

Status PlanSynthesis(const Geometry& g, const TransformTable& t, int width, int height,
                     Synthesis* out) {
    out->plans.clear();
    out->rowsInLine = true;
    std::vector<std::pair<int, bool>> keys;  // (length, invert) of each plan
    auto planOf = [&](int n, bool invert, int* index) {
        for (size_t i = 0; i < keys.size(); ++i) {
            if (keys[i] == std::make_pair(n, invert)) {
                *index = static_cast<int>(i);
                return Status::Ok;
            }
        }
        out->plans.emplace_back();
        keys.emplace_back(n, invert);
        *index = static_cast<int>(keys.size() - 1);
        return BuildLinePlan(n, invert, t, &out->plans.back());
    };
    for (size_t k = 0; k < kNodes; ++k) {
        const Region& r = g.node[k];
        out->cols[k] = out->rows[k] = -1;
        if (r.w == 0 || r.h == 0) continue;
        if (Status s = planOf(r.h, g.invertCols[k], &out->cols[k]); s != Status::Ok) return s;
        if (Status s = planOf(r.w, g.invertRows[k], &out->rows[k]); s != Status::Ok) return s;
        const LinePlan& cols = out->plans[static_cast<size_t>(out->cols[k])];
        const LinePlan& rows = out->plans[static_cast<size_t>(out->rows[k])];
        // Column reads stay in the column of the coefficient plane.
        if (r.y + cols.minOffset < 0 || r.y + cols.maxOffset >= height) {
            return Status::FrameTooSmall;
        }
        // Row reads run on through the scratch plane from the start of the row.
        const int64_t lastRow = int64_t{r.h - 1} * width;
        if (rows.minOffset < 0 || lastRow + rows.maxOffset >= int64_t{width} * height) {
            return Status::FrameTooSmall;
        }
        if (rows.maxOffset >= r.w) out->rowsInLine = false;
    }
    return Status::Ok;
}

}  // namespace gw::wsq
