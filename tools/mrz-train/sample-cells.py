#!/usr/bin/python3
"""Draws the tests' sample of held-out cells.

Usage: sample-cells.py HELDOUT.bin OUT.bin [COUNT]

A seeded random COUNT (default 1200) of the cell records of HELDOUT.bin, in
their file order, for tests/data/mrz-heldout-cells.bin.
"""
import sys

import numpy as np

RECORD = 2 + 24 * 20


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    raw = np.fromfile(sys.argv[1], dtype=np.uint8)
    raw = raw[:raw.size - raw.size % RECORD].reshape(-1, RECORD)
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 1200
    pick = np.sort(np.random.default_rng(202).choice(len(raw), size=count, replace=False))
    raw[pick].tofile(sys.argv[2])
    return 0


if __name__ == '__main__':
    sys.exit(main())
