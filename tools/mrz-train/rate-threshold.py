#!/usr/bin/python3
"""The lowest character threshold whose wrong share is bounded, on held-out cells.

Usage: rate-threshold.py CELLS.txt [--rate 1e-4]

CELLS.txt is written by `mrz-pages classify CELLS.bin`: for each held-out
generated cell (never a real image) its true class, its page's condition,
the class the reader's network gives it and that class's probability. For
each threshold of a grid it prints the cells at or above it, the wrong ones
among them and the one-sided 95% upper bound of their wrong share
(Poisson), and names the lowest threshold whose bound is at most RATE.
It is calibrate.py's rule (the one threshold of a valid zone, chosen on
training's held-out cells), applied to any other cells: fresh seeds that
check it, or one condition's cells (MrzLimits::kNarrowMinProbability).

With --as-read the cells are taken as the reader takes them at their places
(the last two columns, which `classify` writes when the dump has its
.places file): the character the place's class admits and its probability
given that class, the quantity the reader holds to the threshold. A 0 read
as O in a name, where no digit may stand, is then an O, as the reader reads
it.
"""
import argparse

import numpy as np

from calibrate import grid_threshold


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('cells')
    ap.add_argument('--rate', type=float, default=1e-4)
    ap.add_argument('--as-read', action='store_true',
                    help='the character taken at each place and its probability there')
    a = ap.parse_args()
    rows = [l.split() for l in open(a.cells) if l.strip()]
    read, p = (4, 5) if a.as_read else (2, 3)
    if a.as_read and any(len(r) < 8 for r in rows):
        raise SystemExit('rate-threshold: --as-read needs the cells\' places (CELLS.bin.places)')
    top = np.array([float(r[p]) for r in rows])
    right = np.array([r[0] == r[read] for r in rows])
    print(f"{len(rows)} cells, {int((~right).sum())} wrong")
    print(f"{'threshold':>9} {'cells':>8} {'wrong':>6} {'share':>9} {'bound':>9}")
    table, chosen = grid_threshold(top, right, a.rate)
    for t, n, w, bound in table:
        print(f"{t:9} {n:8d} {w:6d} {w / max(n, 1):9.2e} {bound:9.2e}")
    print(f"lowest threshold of the grid bounding the wrong share by {a.rate}: "
          f"{chosen[0] if chosen else None}")
    return 0 if chosen is not None else 1


if __name__ == '__main__':
    raise SystemExit(main())
