#!/usr/bin/python3
"""Writes the provenance of a trained cell classifier beside it.

Usage: provenance.py MODELDIR OUT.json --recipe TEXT

Records the model's size and SHA-256, the training's log (MODELDIR/log.txt
when present), the fixed seed, and the versions of the packages that made it:
the fonts the pages are drawn in, PyTorch, NumPy and the BLAS under them.
"""
import argparse
import hashlib
import json
import os
import subprocess

import numpy
import torch


def package_version(name):
    p = subprocess.run(['dpkg-query', '-W', '-f=${Version}', name], capture_output=True, text=True)
    return p.stdout.strip() or None


def blas_in_use():
    """The BLAS library the system's libblas.so.3 points to (Debian's
    alternatives choose it; the training's dense layers run on it)."""
    try:
        return os.path.realpath('/usr/lib/x86_64-linux-gnu/libblas.so.3').split('/')[-2]
    except OSError:
        return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('modeldir')
    ap.add_argument('out')
    ap.add_argument('--recipe', default='')
    a = ap.parse_args()
    data = open(os.path.join(a.modeldir, 'mrz-cells.onnx'), 'rb').read()
    import train  # the seed and the patch's size
    out = {
        'model': 'src/mrz/MrzModelData.inc (ONNX opset 11)',
        'model_bytes': len(data),
        'model_sha256': hashlib.sha256(data).hexdigest(),
        'network': open(os.path.join(a.modeldir, 'network.txt')).read().strip(),
        'input': f'{train.PATCH_H} x {train.PATCH_W} cell patches from the reader\'s cut, '
                 '0 paper to 255 ink',
        'seed': train.SEED,
        'recipe': a.recipe,
        'packages': {n: package_version(n) for n in
                     ('fonts-ocr-b', 'fonts-dejavu-core', 'fonts-dejavu-extra', 'fonts-liberation2',
                      'fonts-freefont-ttf', 'fonts-noto-mono', 'fonts-inconsolata', 'fonts-hack',
                      'fonts-opendin', 'fonts-roboto-unhinted', 'fonts-open-sans', 'fonts-b612',
                      'fonts-lato', 'fonts-urw-base35', 'fonts-cantarell', 'python3-torch',
                      'python3-numpy', 'libopenblas0-pthread', 'libopencv-dnn-dev',
                      'libfreetype6')},
        'blas': blas_in_use(),
        'torch': torch.__version__,
        'numpy': numpy.__version__,
    }
    log = os.path.join(a.modeldir, 'log.txt')
    if os.path.exists(log):
        out['training_log'] = open(log).read().splitlines()
    with open(a.out, 'w') as f:
        json.dump(out, f, indent=1)
        f.write('\n')


if __name__ == '__main__':
    main()
