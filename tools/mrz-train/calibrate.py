#!/usr/bin/python3
"""The reliability table and the character threshold of the cell classifier.

Usage: calibrate.py HELDOUT.npz OUT.json [--rate 1e-4]

HELDOUT.npz is written by train.py: the calibrated probabilities of held-out
generated cells (never real images) and their true classes. Prints, and writes
to OUT.json, the reliability table (bands of the top probability against the
observed share of right readings) and the threshold: the lowest of a grid of
round probabilities (GRID) such that the one-sided 95% upper bound (Poisson)
of the wrong share of the held-out cells reaching it is at most RATE. The
bound counts the wrong cells above it, so a single confident misread does
not set the threshold, and too few cells cannot meet it. Fails when no
point of the grid does. The threshold of characters no check digit covers
(MrzLimits::kUncheckedMinProbability) is the lowest point of the grid
above which no held-out cell is wrong at all and whose bound meets RATE. rate-threshold.py applies the same rule to other
cells.
"""
import argparse
import json
import math

import numpy as np

BANDS = [0.0, 0.5, 0.7, 0.8, 0.9, 0.95, 0.99, 0.999, 0.9999, 1.0000001]
CONFIDENCE = 0.95
GRID = [0.9, 0.95, 0.98, 0.99, 0.995, 0.998, 0.999, 0.9995, 0.9998, 0.9999, 0.99999]


def upper_bound(wrong, confidence=CONFIDENCE):
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


def grid_threshold(top, right, rate):
    """(threshold, cells reaching it, wrong among them, bound) for each point of
    GRID in turn, and the lowest point whose bound is at most rate (or None)."""
    rows, chosen = [], None
    for t in GRID:
        reach = top >= t
        n, w = int(reach.sum()), int((reach & ~right).sum())
        bound = upper_bound(w) / max(n, 1)
        rows.append((t, n, w, bound))
        if chosen is None and bound <= rate:
            chosen = (t, n, w, bound)
    return rows, chosen


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('heldout')
    ap.add_argument('out')
    ap.add_argument('--rate', type=float, default=1e-4)
    a = ap.parse_args()
    d = np.load(a.heldout)
    probs, cls = d['probs'], d['cls']
    top = probs.max(1)
    right = probs.argmax(1) == cls
    table = []
    print(f"{'band':>17} {'cells':>8} {'mean p':>8} {'right':>8}")
    for lo, hi in zip(BANDS[:-1], BANDS[1:]):
        m = (top >= lo) & (top < hi)
        n = int(m.sum())
        row = {'from': lo, 'to': min(hi, 1.0), 'cells': n,
               'mean_probability': float(top[m].mean()) if n else None,
               'observed_right': float(right[m].mean()) if n else None}
        table.append(row)
        if n:
            print(f"[{lo:.4f}, {min(hi, 1.0):.4f}) {n:8d} {row['mean_probability']:8.5f} "
                  f"{row['observed_right']:8.5f}")
    rows, chosen = grid_threshold(top, right, a.rate)
    for t, n, w, bound in rows:
        print(f"at {t}: {n} cells, {w} wrong, bound {bound:.2e}")
    if chosen is None:
        raise SystemExit(f"calibrate.py: no threshold of the grid bounds the wrong share by {a.rate}")
    threshold, kept, errors, bound = chosen
    unchecked = next((r for r in rows if r[0] >= threshold and r[2] == 0 and r[3] <= a.rate), None)
    if unchecked is None:
        raise SystemExit("calibrate.py: no threshold of the grid has no wrong held-out cell")
    ece = sum(r['cells'] * abs(r['mean_probability'] - r['observed_right'])
              for r in table if r['cells']) / len(top)
    result = {
        'heldout_cells': int(len(top)),
        'heldout_errors': int((~right).sum()),
        'temperature': float(d['temperature']),
        'expected_calibration_error': float(ece),
        'rate': a.rate,
        'confidence': CONFIDENCE,
        'threshold': threshold,
        'cells_above_threshold': kept,
        'errors_above_threshold': errors,
        'bound_above_threshold': bound,
        'unchecked_threshold': unchecked[0],
        'cells_above_unchecked_threshold': unchecked[1],
        'bound_above_unchecked_threshold': unchecked[3],
        'reliability': table,
    }
    print(f"held-out cells {len(top)}, errors {result['heldout_errors']}, ECE {ece:.5f}")
    print(f"threshold {threshold}: {kept} cells reach it ({kept / len(top):.4f}), "
          f"{errors} of them wrong, bound {bound:.2e}")
    print(f"unchecked threshold {unchecked[0]}: {unchecked[1]} cells reach it, none wrong, "
          f"bound {unchecked[3]:.2e}")
    with open(a.out, 'w') as f:
        json.dump(result, f, indent=1)
        f.write('\n')
    # The table as docs/mrz-model.md shows it.
    print('\n| top probability | cells | mean probability | observed right |')
    print('|---|---|---|---|')
    for r in table:
        if r['cells']:
            print(f"| {r['from']:.4f} to {r['to']:.4f} | {r['cells']} | "
                  f"{r['mean_probability']:.5f} | {r['observed_right']:.5f} |")


if __name__ == '__main__':
    main()
