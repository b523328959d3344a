#!/usr/bin/python3
"""The reliability table and the character threshold of the cell classifier.

Usage: calibrate.py HELDOUT.npz OUT.json [--rate 1e-4]

(the threshold: the lowest above which no held-out cell is wrong, when
enough cells reach it to bound their wrong share by RATE with 95% confidence)

HELDOUT.npz is written by train.py: the calibrated probabilities of held-out
generated cells (never real images) and their true classes. Prints, and writes
to OUT.json, the reliability table (bands of the top probability against the
observed share of right readings) and the threshold: the lowest top
probability above that of every wrong held-out cell. Wrong cells are rare (a
few in 10,000), so a threshold chosen to let a few of them through is chosen
by those few; above the most confident wrong cell none is seen, and when at
least 3/RATE cells reach it, the one-sided 95% upper bound of their wrong
share (Poisson, none seen) is at most RATE. Fails when fewer reach it.
"""
import argparse
import json
import math

import numpy as np

BANDS = [0.0, 0.5, 0.7, 0.8, 0.9, 0.95, 0.99, 0.999, 0.9999, 1.0000001]
CONFIDENCE = 0.95


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
    # The lowest top probability above the most confident wrong cell.
    most_wrong = float(top[~right].max()) if (~right).any() else -1.0
    above = top[top > most_wrong]
    threshold, kept, errors = float(above.min()), int(above.size), 0
    # With none seen, the 95% upper bound of a Poisson mean is -ln(0.05).
    if -math.log(1 - CONFIDENCE) > a.rate * kept:
        raise SystemExit(f"calibrate.py: only {kept} cells reach {threshold}: too few to bound "
                         f"their wrong share by {a.rate}")
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
        'reliability': table,
    }
    print(f"held-out cells {len(top)}, errors {result['heldout_errors']}, ECE {ece:.5f}")
    print(f"threshold {threshold:.6f}: {kept} cells reach it ({kept / len(top):.4f}), "
          f"{errors} of them wrong")
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
