#!/usr/bin/python3
"""Draws the tests' sample of held-out cells.

Usage: sample-cells.py HELDOUT.bin OUT.bin [COUNT] [HELDOUT.npz]

A seeded random COUNT (default 1200) of the cell records of HELDOUT.bin, in
their file order, for tests/data/mrz-heldout-cells.bin. With HELDOUT.npz
(train.py's probabilities of the same cells), every other cell the network
misreads follows them: misread cells are a few in 10,000, and the test shows
where the threshold leaves them as the library runs the network, while the
random COUNT alone show that the probabilities are calibrated.
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
    pick = np.random.default_rng(202).choice(len(raw), size=count, replace=False)
    if len(sys.argv) > 4:
        d = np.load(sys.argv[4])
        if len(d['cls']) != len(raw):
            print("sample-cells.py: the probabilities are not of these cells", file=sys.stderr)
            return 2
        misread = np.setdiff1d(np.flatnonzero(d['probs'].argmax(1) != d['cls']), pick)
        pick = np.concatenate([np.sort(pick), misread])
    else:
        pick = np.sort(pick)
    raw[pick].tofile(sys.argv[2])
    return 0


if __name__ == '__main__':
    sys.exit(main())
