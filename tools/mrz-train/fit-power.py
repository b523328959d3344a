#!/usr/bin/python3
"""The power small print's cell probabilities are raised to (kSmallSharpen).

Usage: fit-power.py CELLS.txt [--small-only]

CELLS.txt is written by `mrz-pages classify CELLS.bin scores` on held-out
generated cells (never a real image): each row holds the cell's true class
and, last, the network's 37 probabilities. Each power of a grid (0.7 to 2.5
by 0.05) raises the probabilities, sums them to 1 again and scores the
cells' mean negative log-likelihood of their true class; the least one is
printed with the grid around it. With --small-only only the cells whose
zone the reader measured small are taken (the dump's .places file marks
them).
"""
import argparse

import numpy as np


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('cells')
    ap.add_argument('--small-only', action='store_true')
    a = ap.parse_args()
    rows = [l.split() for l in open(a.cells) if l.strip()]
    if not rows or len(rows[0]) < 41:
        raise SystemExit('fit-power: write the cells with `mrz-pages classify CELLS.bin scores`')
    if a.small_only:
        if len(rows[0]) < 46:
            raise SystemExit('fit-power: --small-only needs the cells\' places')
        rows = [r for r in rows if r[8] == '1']
    truth = np.array([int(r[0]) for r in rows])
    probs = np.array([[float(v) for v in r[-37:]] for r in rows], dtype=np.float64)
    probs = np.clip(probs, 1e-30, 1.0)
    best = None
    for power in np.arange(0.7, 2.5001, 0.05):
        q = probs ** power
        q /= q.sum(1, keepdims=True)
        nll = float(-np.log(q[np.arange(len(truth)), truth]).mean())
        print(f'power {power:.2f}: mean negative log-likelihood {nll:.6f}')
        if best is None or nll < best[1]:
            best = (power, nll)
    print(f'{len(truth)} cells; least at power {best[0]:.2f} ({best[1]:.6f})')


if __name__ == '__main__':
    main()
