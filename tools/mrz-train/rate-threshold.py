#!/usr/bin/python3
"""The lowest character threshold whose wrong share is bounded, on held-out cells.

Usage: rate-threshold.py CELLS.txt [--rate 1e-4]

CELLS.txt is written by `mrz-pages classify CELLS.bin`: for each held-out
generated cell (never a real image) its true class, its page's condition,
the class the reader's network gives it and that class's probability. For
each threshold of a grid it prints the cells at or above it, the wrong ones
among them and the one-sided 95% upper bound of their wrong share
(Poisson), and names the lowest threshold whose bound is at most RATE.
Where calibrate.py asks for no wrong cell above the threshold (the rule of
the one threshold of a valid zone), this asks the bound alone: the rule of
the stricter threshold of zones in other faces, whose wrong cells reach
any probability (MrzLimits::kNarrowMinProbability).
"""
import argparse
import math

GRID = [0.99, 0.995, 0.998, 0.999, 0.9995, 0.9998, 0.9999, 0.99999]


def upper_bound(wrong, confidence=0.95):
    """The Poisson mean whose chance of at most `wrong` events is 1 - confidence."""
    lo, hi = 0.0, 10.0 + 10.0 * wrong
    for _ in range(200):
        mid = (lo + hi) / 2
        term, total = math.exp(-mid), 0.0
        for k in range(wrong + 1):
            total += term
            term *= mid / (k + 1)
        lo, hi = (mid, hi) if total > 1 - confidence else (lo, mid)
    return lo


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('cells')
    ap.add_argument('--rate', type=float, default=1e-4)
    a = ap.parse_args()
    rows = [l.split() for l in open(a.cells) if l.strip()]
    top = [float(r[3]) for r in rows]
    right = [r[0] == r[2] for r in rows]
    print(f"{len(rows)} cells, {right.count(False)} wrong")
    print(f"{'threshold':>9} {'cells':>8} {'wrong':>6} {'share':>9} {'bound':>9}")
    chosen = None
    for t in GRID:
        n = sum(1 for p in top if p >= t)
        w = sum(1 for p, ok in zip(top, right) if p >= t and not ok)
        bound = upper_bound(w) / max(n, 1)
        print(f"{t:9} {n:8d} {w:6d} {w / max(n, 1):9.2e} {bound:9.2e}")
        if chosen is None and bound <= a.rate:
            chosen = t
    print(f"lowest threshold of the grid bounding the wrong share by {a.rate}: {chosen}")
    return 0 if chosen is not None else 1


if __name__ == '__main__':
    raise SystemExit(main())
