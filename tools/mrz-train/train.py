#!/usr/bin/python3
"""Trains the zone reader's cell classifier and writes it as the library's model.

Usage: train.py TRAIN.bin HELDOUT.bin OUTDIR [--minutes M] [--threads T]

TRAIN.bin and HELDOUT.bin are cell records from `mrz-pages cells` (one byte of
class, one of the page's condition, then the 24 x 20 patch the reader's cut
gives the classifier: 255 full ink, 0 paper). The network is trained on
TRAIN.bin with a fixed seed; a temperature is then fitted on HELDOUT.bin so
that its probabilities mean what they say, and folded into the exported
network, whose output is the 37 probabilities in the zone's class order.

Writes OUTDIR/mrz-cells.onnx (ONNX opset 11), OUTDIR/MrzModelData.inc (the
same bytes as a C++ array the library compiles in), and OUTDIR/heldout.npz
(the calibrated probabilities and classes of the held-out cells, for
calibrate.py).
"""
import argparse
import os
import sys
import time

import numpy as np
import torch
import torch.nn as nn

PATCH_H, PATCH_W = 24, 20
RECORD = 2 + PATCH_H * PATCH_W
CLASSES = 37
SEED = 20261206


LOG = []


def log(text):
    """Prints a line of the training's log and keeps it for OUTDIR/log.txt."""
    print(text, flush=True)
    LOG.append(text)


def load(path):
    raw = np.fromfile(path, dtype=np.uint8)
    if raw.size % RECORD:
        log(f"{path}: a part record at the end is left out")
    raw = raw[:raw.size - raw.size % RECORD].reshape(-1, RECORD)
    return raw[:, 0].astype(np.int64), raw[:, 1].copy(), raw[:, 2:].reshape(-1, 1, PATCH_H, PATCH_W)


class CellNet(nn.Module):
    """Two small convolutions and one dense layer before the 37 outputs."""

    def __init__(self, c1=16, c2=32, dense=128):
        super().__init__()
        self.shape = (f'conv 3x3 {c1}, max-pool 2, conv 3x3 {c2}, max-pool 2, dense {dense}, '
                      f'{CLASSES} outputs; softmax at the fitted temperature')
        self.features = nn.Sequential(
            nn.Conv2d(1, c1, 3, padding=1), nn.ReLU(), nn.MaxPool2d(2),
            nn.Conv2d(c1, c2, 3, padding=1), nn.ReLU(), nn.MaxPool2d(2))
        self.classify = nn.Sequential(
            nn.Flatten(), nn.Linear(c2 * 6 * 5, dense), nn.ReLU(), nn.Linear(dense, CLASSES))

    def forward(self, x):
        return self.classify(self.features(x))


class Calibrated(nn.Module):
    """The network's probabilities at a fitted temperature, from 8-bit patches."""

    def __init__(self, net, temperature):
        super().__init__()
        self.net = net
        self.register_buffer('scale', torch.tensor([1.0 / (255.0 * 1.0)]))
        self.register_buffer('inv_t', torch.tensor([1.0 / temperature]))

    def forward(self, x):
        return torch.softmax(self.net(x * self.scale) * self.inv_t, dim=1)


def augment(x, gen, stretch=0.0):
    """Shifts each patch by up to a pixel each way and scales its ink; with
    stretch, also widens or narrows each by up to that share (and its height
    by half as much), so that a character's width alone (OCR-B's 0 is
    narrower than its O; print spreads) does not tell look-alikes apart."""
    n = x.shape[0]
    if stretch > 0:
        sx = 1.0 + stretch * (2 * torch.rand(n, generator=gen) - 1)
        sy = 1.0 + 0.5 * stretch * (2 * torch.rand(n, generator=gen) - 1)
        theta = torch.zeros(n, 2, 3)
        theta[:, 0, 0] = 1.0 / sx
        theta[:, 1, 1] = 1.0 / sy
        grid = torch.nn.functional.affine_grid(theta, list(x.shape), align_corners=False)
        x = torch.nn.functional.grid_sample(x, grid, align_corners=False)
    dy = torch.randint(-1, 2, (1,), generator=gen).item()
    dx = torch.randint(-1, 2, (1,), generator=gen).item()
    x = torch.roll(x, shifts=(dy, dx), dims=(2, 3))
    gain = 0.75 + 0.5 * torch.rand((n, 1, 1, 1), generator=gen)
    return (x * gain).clamp(0, 1)


def logits_of(net, x, batch=4096):
    out = []
    with torch.no_grad():
        for i in range(0, x.shape[0], batch):
            out.append(net(x[i:i + batch]))
    return torch.cat(out)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('train')
    ap.add_argument('heldout')
    ap.add_argument('outdir')
    ap.add_argument('--minutes', type=float, default=40.0)
    ap.add_argument('--threads', type=int, default=2)
    ap.add_argument("--epochs", type=int, default=6)
    ap.add_argument('--lr', type=float, default=3e-3, help='peak learning rate')
    ap.add_argument('--stretch', type=float, default=0.0,
                    help='widths varied by up to this share (0: none)')
    ap.add_argument('--init', help='start from the weights of this exported model')
    ap.add_argument('--channels', default='16,32',
                    help='channels of the two convolutions (the cost of a pass grows with both)')
    ap.add_argument('--dense', type=int, default=128, help='width of the dense layer')
    a = ap.parse_args()
    torch.set_num_threads(a.threads)
    torch.manual_seed(SEED)
    np.random.seed(SEED)
    gen = torch.Generator().manual_seed(SEED)

    y, _, x = load(a.train)
    hy, hcond, hx = load(a.heldout)
    x = torch.from_numpy(x).float() / 255.0
    y = torch.from_numpy(y)
    hxf = torch.from_numpy(hx).float() / 255.0
    hyt = torch.from_numpy(hy)
    log(f"train cells {len(y)}, held-out cells {len(hy)}")

    c1, c2 = (int(c) for c in a.channels.split(','))
    net = CellNet(c1, c2, a.dense)
    log(f"network: {net.shape}")
    if a.init:
        import onnx
        from onnx import numpy_helper
        weights = {i.name: numpy_helper.to_array(i) for i in onnx.load(a.init).graph.initializer}
        net.load_state_dict({k[len('net.'):]: torch.from_numpy(v.copy())
                             for k, v in weights.items() if k.startswith('net.')})
        log(f"started from {os.path.basename(a.init)}")
    opt = torch.optim.Adam(net.parameters(), lr=2e-3)
    steps_per_epoch = (len(y) + 255) // 256
    sched = torch.optim.lr_scheduler.OneCycleLR(opt, max_lr=a.lr, epochs=a.epochs,
                                                steps_per_epoch=steps_per_epoch)
    loss_fn = nn.CrossEntropyLoss()
    start = time.time()
    for epoch in range(a.epochs):
        net.train()
        order = torch.randperm(len(y), generator=gen)
        total = 0.0
        for s in range(steps_per_epoch):
            idx = order[s * 256:(s + 1) * 256]
            opt.zero_grad()
            loss = loss_fn(net(augment(x[idx], gen, a.stretch)), y[idx])
            loss.backward()
            opt.step()
            sched.step()
            total += loss.item() * len(idx)
        net.eval()
        err = (logits_of(net, hxf).argmax(1) != hyt).float().mean().item()
        log(f"epoch {epoch + 1}: loss {total / len(y):.4f}, held-out error {err:.5f}, "
            f"{time.time() - start:.0f} s")
        if time.time() - start > a.minutes * 60:
            log("time budget reached: training stopped early")
            break

    # Temperature scaling on the held-out cells: the one scale of the logits
    # that minimises their negative log-likelihood, found on a grid of log T
    # (steps of 0.005 from 1/4 to 4). A gradient method stops at once when
    # nearly every cell is sure and the gradient is tiny.
    net.eval()
    hl = logits_of(net, hxf)
    with torch.no_grad():
        grid = torch.arange(-1.386, 1.387, 0.005)
        nll = torch.stack([loss_fn(hl / float(torch.exp(g)), hyt) for g in grid])
    temperature = float(torch.exp(grid[int(nll.argmin())]))
    log(f"temperature {temperature:.4f}")

    model = Calibrated(net, temperature).eval()
    os.makedirs(a.outdir, exist_ok=True)
    onnx_path = os.path.join(a.outdir, 'mrz-cells.onnx')
    dummy = torch.zeros(1, 1, PATCH_H, PATCH_W)
    torch.onnx.export(model, dummy, onnx_path, opset_version=11, input_names=['cells'],
                      output_names=['probabilities'],
                      dynamic_axes={'cells': {0: 'n'}, 'probabilities': {0: 'n'}})
    with torch.no_grad():
        probs = logits_of(model, torch.from_numpy(hx).float())
    np.savez_compressed(os.path.join(a.outdir, 'heldout.npz'), probs=probs.numpy(), cls=hy,
                        cond=hcond, temperature=temperature)
    data = open(onnx_path, 'rb').read()
    with open(os.path.join(a.outdir, 'MrzModelData.inc'), 'w') as f:
        f.write('// Generated by tools/mrz-train/train.py: the cell classifier as ONNX bytes.\n')
        f.write(f'constexpr unsigned kModelSize = {len(data)};\n')
        f.write('alignas(16) constexpr unsigned char kModelBytes[kModelSize] = {\n')
        for i in range(0, len(data), 24):
            f.write('    ' + ','.join(str(b) for b in data[i:i + 24]) + ',\n')
        f.write('};\n')
    err = (probs.argmax(1).numpy() != hy).mean()
    where = os.path.join(os.path.basename(os.path.normpath(a.outdir)), 'mrz-cells.onnx')
    log(f"wrote {where} ({len(data)} bytes); held-out error {err:.5f}")
    with open(os.path.join(a.outdir, 'network.txt'), 'w') as f:
        f.write(net.shape + '\n')
    with open(os.path.join(a.outdir, 'log.txt'), 'w') as f:
        f.write('\n'.join(LOG) + '\n')


if __name__ == '__main__':
    main()
