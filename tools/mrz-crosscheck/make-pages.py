#!/usr/bin/python3
"""Pages with and without machine-readable zones, drawn apart from mrz-pages.

Usage: make-pages.py DIR COUNT SEED

mrz-pages draws the pages the cell classifier learns from and the reader's
numbers are chosen on; a reader can learn that generator's habits (its
rasteriser, its layouts, its resampling) as well as the zones. These pages
share none of its code: zones and documents of their own layout, glyphs
rasterised by ImageMagick (OCR-B, and Nimbus Mono PS, a face the network
never saw), warps, blur and JPEG by ImageMagick, textures drawn here. They
measure; no number of the reader is chosen on them.

A page holds one to three hard conditions (see CONDITIONS), or none (a
control page, "control"), or no zone at all ("nozone-..."). Writes
DIR/page-NNNN.{png,jpg} and DIR/truth.jsonl in the format
tools/mrz-train/score-pages.py reads. Needs ImageMagick, NumPy and the fonts
of scripts/install-deps (fonts-ocr-b, fonts-urw-base35, fonts-dejavu-core).
A seed makes the same files with the same ImageMagick (6.9.11 made the
seeds of docs/mrz.md; their PNG files then held time stamps, their pixels
the same); another version may draw them a little otherwise.
"""
import json
import math
import os
import random
import subprocess
import sys
import tempfile

import numpy as np

OCRB = '/usr/share/fonts/opentype/ocr-b/OCRB.otf'
MONO = '/usr/share/fonts/opentype/urw-base35/NimbusMonoPS-Regular.otf'
SANS = '/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf'

CONDITIONS = ['guilloche', 'hatching', 'rule', 'lookalike', 'small', 'blur', 'jpeg', 'photo',
              'bold', 'thin', 'blue', 'text-above', 'mono', 'tight']
NO_ZONE = ['nozone-receipt', 'nozone-table', 'nozone-form', 'nozone-text']
STATES = ['D<<', 'GBR', 'FRA', 'USA', 'CAN', 'AUS', 'NLD', 'ESP', 'ITA', 'POL', 'CHE', 'SWE',
          'NOR', 'JPN', 'CHN', 'IND', 'BRA', 'MEX', 'ZAF', 'UTO', 'IRL', 'AUT', 'BEL', 'FIN']
BASE_CAP = 32  # capital height (pixels) the document is drawn at


# --- Zone text -------------------------------------------------------------

def check_digit(text):
    total = 0
    for i, c in enumerate(text):
        v = int(c) if c.isdigit() else ord(c) - 55 if c.isalpha() else 0
        total += v * (7, 3, 1)[i % 3]
    return str(total % 10)


def name_part(rng):
    syllables = ['AN', 'BER', 'CO', 'DA', 'EL', 'FI', 'GO', 'HAN', 'IS', 'JO', 'KA', 'LU', 'MAR',
                 'NO', 'OS', 'PE', 'QUI', 'RO', 'SEN', 'TA', 'UL', 'VI', 'WEN', 'XI', 'YA', 'ZO']
    return ''.join(rng.choice(syllables) for _ in range(rng.randint(1, 4)))


def name_field(rng, width):
    surname = '<'.join(name_part(rng) for _ in range(rng.choice([1, 1, 2])))
    given = '<'.join(name_part(rng) for _ in range(rng.randint(1, 3)))
    return (surname + '<<' + given)[:width].ljust(width, '<')


def date(rng, lo, hi):
    return '%02d%02d%02d' % (rng.randint(lo, hi) % 100, rng.randint(1, 12), rng.randint(1, 28))


def document_number(rng, lookalike):
    alnum = 'ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789'
    if not lookalike:
        n = ''.join(rng.choice(alnum) for _ in range(rng.randint(6, 9)))
        return n.ljust(9, '<')
    # A run of look-alikes whose swaps the check digit may not see.
    pair = rng.choice(['0O', '1I', '8B', '5S', '2Z', '6G'])
    run = ''.join(rng.choice(pair) for _ in range(rng.randint(3, 5)))
    head = ''.join(rng.choice(alnum) for _ in range(rng.randint(1, 9 - len(run))))
    tail = ''.join(rng.choice('0123456789') for _ in range(9 - len(head) - len(run)))
    return head + run + tail


def zone(rng, lookalike):
    """A zone's format and lines, its check digits right."""
    kind = rng.choice(['TD1', 'TD2', 'TD3', 'TD3', 'MRV-A', 'MRV-B'])
    state, nat = rng.choice(STATES), rng.choice(STATES)
    num = document_number(rng, lookalike)
    birth, expiry = date(rng, 1940, 2010), date(rng, 2020, 2036)
    sex = rng.choice('MF<')
    nd, bd, ed = num + check_digit(num), birth + check_digit(birth), expiry + check_digit(expiry)
    if kind == 'TD1':
        opt = ''.join(rng.choice('0123456789<') for _ in range(rng.choice([0, 0, 6]))).ljust(15, '<')
        opt2 = '<' * 11
        l1 = rng.choice(['I<', 'ID', 'AC']) + state + nd + opt
        l2 = bd + sex + ed + nat + opt2
        l2 += check_digit(l1[5:30] + l2[0:7] + l2[8:15] + l2[18:29])
        return kind, [l1, l2, name_field(rng, 30)]
    if kind == 'TD3':
        personal = ''.join(rng.choice('0123456789') for _ in range(rng.choice([0, 8]))).ljust(14, '<')
        pd = personal + (check_digit(personal) if personal.strip('<') else '<')
        l1 = 'P<' + state + name_field(rng, 39)
        l2 = nd + nat + bd + sex + ed + pd
        return kind, [l1, l2 + check_digit(l2[0:10] + l2[13:20] + l2[21:43])]
    if kind == 'TD2':
        l1 = rng.choice(['I<', 'IP', 'A<']) + state + name_field(rng, 31)
        l2 = nd + nat + bd + sex + ed + '<' * 7
        return kind, [l1, l2 + check_digit(l2[0:10] + l2[13:20] + l2[21:35])]
    width = 44 if kind == 'MRV-A' else 36
    l1 = 'V<' + state + name_field(rng, width - 5)
    l2 = (nd + nat + bd + sex + ed).ljust(width, '<')
    return kind, [l1, l2]


def break_a_check(rng, lines):
    """The zone printed with one wrong check digit (the birth date's)."""
    at = {30: (1, 6), 36: (1, 19), 44: (1, 19)}[len(lines[0])]
    row = list(lines[at[0]])
    row[at[1]] = str((int(row[at[1]]) + rng.randint(1, 9)) % 10)
    lines[at[0]] = ''.join(row)
    return lines


# --- Drawing ---------------------------------------------------------------

def magick(args, rgb=False):
    """Runs convert with args (the image to standard output) and returns it."""
    out = subprocess.run(['convert'] + args + ['-depth', '8', 'ppm:-' if rgb else 'pgm:-'],
                         capture_output=True, check=True).stdout
    parts = out.split(maxsplit=4)
    w, h = int(parts[1]), int(parts[2])
    pixels = np.frombuffer(parts[4][: w * h * (3 if rgb else 1)], np.uint8)
    return pixels.reshape((h, w, 3) if rgb else (h, w)).copy()


_cap_ratio = {}


def cap_ratio(font):
    """Capital height over point size of font, as ImageMagick draws it."""
    if font not in _cap_ratio:
        g = magick(['-background', 'white', '-fill', 'black', '-font', font, '-pointsize', '200',
                    'label:H'])
        rows = np.where((g < 128).any(axis=1))[0]
        _cap_ratio[font] = (rows[-1] - rows[0] + 1) / 200.0
    return _cap_ratio[font]


def text_line(text, font, cap, stroke=0.0):
    """Ink (255) of text at capital height cap: a float array."""
    args = ['-background', 'white', '-fill', 'black', '-font', font,
            '-pointsize', '%.2f' % (cap / cap_ratio(font))]
    if stroke > 0:
        args += ['-stroke', 'black', '-strokewidth', '%.2f' % stroke]
    g = magick(args + ['label:' + text])
    return 255.0 - g.astype(np.float32)


def lay(doc, ink, x, y, colour):
    """Lays ink (0-255 float) at (x, y) of the RGB float doc in colour."""
    h, w = ink.shape
    y0, x0 = max(0, y), max(0, x)
    y1, x1 = min(doc.shape[0], y + h), min(doc.shape[1], x + w)
    if y1 <= y0 or x1 <= x0:
        return
    a = ink[y0 - y:y1 - y, x0 - x:x1 - x, None] / 255.0
    region = doc[y0:y1, x0:x1]
    region[:] = np.minimum(region, region * (1 - a) + np.array(colour, np.float32) * a)


def texture(doc, top, bottom, hatching, depth, rng):
    """Guilloche (waves) or hatching (slanted strokes) over rows [top, bottom)."""
    h, w = doc.shape[:2]
    top, bottom = max(0, top), min(h, bottom)
    ys, xs = np.mgrid[top:bottom, 0:w].astype(np.float32)
    if hatching:
        angle = rng.uniform(0.2, 1.4)
        spacing = rng.uniform(5, 14)
        t = np.mod(xs * np.cos(angle) + ys * np.sin(angle), spacing)
        on = (t < rng.uniform(1.0, 3.0)).astype(np.float32)
    else:
        on = np.zeros_like(xs)
        for _ in range(rng.randint(2, 4)):
            f, g, a = rng.uniform(0.02, 0.08), rng.uniform(0.01, 0.05), rng.uniform(6, 40)
            wave = np.sin(f * xs + a * np.sin(g * ys + rng.uniform(0, 6)) / 10 + ys * 0.3)
            on = np.maximum(on, (np.abs(wave) < rng.uniform(0.06, 0.2)).astype(np.float32))
    doc[top:bottom] -= (on * depth)[:, :, None]


def document(rng, lines, font, conds):
    """The document (RGB float) with its zone, at BASE_CAP capitals, and the
    box of the zone's ink (left, top, right, bottom)."""
    stroke = rng.uniform(1.5, 3.0) if 'bold' in conds else 0.0
    inks = [text_line(l, font, BASE_CAP, stroke) for l in lines]
    if 'thin' in conds:
        for i, ink in enumerate(inks):
            inks[i] = np.minimum(ink, np.roll(ink, 1, 0))
            inks[i] = np.minimum(inks[i], np.roll(inks[i], 1, 1))
    step = int(BASE_CAP * rng.uniform(1.75, 2.2))
    zw = max(i.shape[1] for i in inks)
    zh = step * (len(lines) - 1) + inks[-1].shape[0]
    w = int(zw * rng.uniform(1.06, 1.2))
    h = int(zh * (rng.uniform(2.6, 3.4) if len(lines) == 3 else rng.uniform(3.6, 4.6)))
    paper = np.array([rng.uniform(200, 250)] * 3, np.float32) * np.array(
        [rng.uniform(0.9, 1.0), rng.uniform(0.93, 1.0), rng.uniform(0.88, 1.0)], np.float32)
    doc = np.ones((h, w, 3), np.float32) * paper
    zx, zy = int((w - zw) * rng.uniform(0.3, 0.6)), h - zh - int(BASE_CAP * rng.uniform(0.8, 1.6))
    # A photo block and face text.
    pw = int(w * rng.uniform(0.2, 0.3))
    doc[int(h * 0.08):zy - BASE_CAP, int(w * 0.04):int(w * 0.04) + pw] *= rng.uniform(0.3, 0.7)
    y = int(h * 0.08)
    while y < zy - 2.5 * BASE_CAP:
        cap = rng.uniform(10, 26)
        words = ' '.join(name_part(rng).capitalize() for _ in range(rng.randint(1, 4)))
        ink = text_line(words, SANS, cap)
        lay(doc, ink, int(w * 0.04) + pw + int(w * 0.04), y, (40, 40, 60))
        y += ink.shape[0] + int(rng.uniform(4, 20))
    if 'guilloche' in conds or 'hatching' in conds:
        texture(doc, zy - BASE_CAP, h, 'hatching' in conds, rng.uniform(30, 110), rng)
    if 'rule' in conds:
        gap, thick = int(rng.uniform(0.15, 0.6) * BASE_CAP), int(rng.uniform(1, 5))
        ry = zy + int(0.1 * BASE_CAP) - gap - thick if rng.random() < 0.6 else zy + zh + gap
        doc[max(0, ry):ry + thick] = rng.uniform(0, 100)
    if 'text-above' in conds:
        words = ' '.join(name_part(rng) for _ in range(rng.randint(2, 6)))
        ink = text_line(words, OCRB, BASE_CAP * rng.uniform(0.7, 1.0))
        lay(doc, ink, zx + int(rng.uniform(0, 0.3) * zw), zy - int(ink.shape[0] * rng.uniform(1.2, 1.6)),
            (20, 20, 20))
    colour = (rng.uniform(20, 50), rng.uniform(30, 70), rng.uniform(100, 150)) if 'blue' in conds \
        else (rng.uniform(0, 50),) * 3
    box = [w, h, 0, 0]  # the zone's ink: left, top, right, bottom
    for i, ink in enumerate(inks):
        lay(doc, ink, zx, zy + i * step, colour)
        rows, cols = np.where((ink > 128).any(axis=1))[0], np.where((ink > 128).any(axis=0))[0]
        box = [min(box[0], zx + cols[0]), min(box[1], zy + i * step + rows[0]),
               max(box[2], zx + cols[-1] + 1), max(box[3], zy + i * step + rows[-1] + 1)]
    return doc, box


def no_zone(rng, kind):
    """A document without a zone, where one might be (RGB float)."""
    w, h = int(rng.uniform(1100, 1500)), int(rng.uniform(500, 800))
    doc = np.ones((h, w, 3), np.float32) * rng.uniform(200, 250)
    cap = BASE_CAP
    if kind == 'nozone-receipt':
        y = 20
        while y < h - 2 * cap:
            item = name_part(rng)[:12].ljust(14) + ('%d.%02d' % (rng.randint(1, 999), rng.randint(0, 99))).rjust(10)
            ink = text_line(item + ' ' + rng.choice(['A', 'B', '*', '<', '']), MONO, cap * 0.8)
            lay(doc, ink, 30, y, (30, 30, 30))
            y += int(ink.shape[0] * 1.25)
    elif kind == 'nozone-table':
        cols, rows = rng.randint(3, 6), rng.randint(3, 6)
        cw, rh = (w - 40) // cols, (h - 40) // rows
        for r in range(rows):
            for c in range(cols):
                x0, y0 = 20 + c * cw, 20 + r * rh
                doc[y0:y0 + 2, x0:x0 + cw] = 40
                doc[y0:y0 + rh, x0:x0 + 2] = 40
                cell = ''.join(rng.choice('<<<0123456789') for _ in range(max(1, cw // 30 - 1)))
                lay(doc, text_line(cell, OCRB, cap * 0.7), x0 + 6, y0 + 6, (20, 20, 20))
    elif kind == 'nozone-form':
        for b in range(3):
            x0, y0 = 20 + b * (w // 3), 30
            doc[y0:y0 + 80, x0:x0 + 3] = doc[y0:y0 + 80, x0 + w // 3 - 30:x0 + w // 3 - 27] = 30
            doc[y0:y0 + 3, x0:x0 + w // 3 - 27] = doc[y0 + 77:y0 + 80, x0:x0 + w // 3 - 27] = 30
            lay(doc, text_line(name_part(rng), SANS, 16), x0 + 8, y0 + 8, (30, 30, 30))
        x = int(w * rng.uniform(0.05, 0.3))
        while x < w * 0.9:
            bw = rng.randint(2, 8)
            if rng.random() < 0.5:
                doc[200:200 + rng.randint(60, 140), x:x + bw] = 10
            x += bw
        y = 380
        while y < h - 2 * cap:
            lay(doc, text_line(' '.join(name_part(rng) for _ in range(5)), OCRB, cap * 0.8), 30, y, (20,) * 3)
            y += int(cap * 1.9)
    else:
        y = int(h * 0.3)
        for _ in range(3):
            t = ''.join(rng.choice('ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789<<<<') for _ in range(rng.randint(30, 44)))
            ink = text_line(t, OCRB, cap)
            lay(doc, ink, 30, y, (20, 20, 20))
            y += int(cap * 1.95)
    return doc


def save_png(path, rgb):
    h, w = rgb.shape[:2]
    header = b'P6 %d %d 255\n' % (w, h)
    subprocess.run(['convert', 'ppm:-', path], input=header + rgb.tobytes(), check=True)


def finish(rng, doc, box, conds, cap, seed, path):
    """Scales the document to capitals of cap pixels, photographs or scans
    it as conds say, and writes it to path (PNG or JPEG by its name)."""
    rgb = np.clip(doc, 0, 255).astype(np.uint8)
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, 'doc.png')
        save_png(src, rgb)
        scale = cap / BASE_CAP
        h, w = rgb.shape[:2]
        sw, sh = w * scale, h * scale
        args = [src, '-resize', '%.4f%%' % (100 * scale)]
        if 'photo' in conds:
            # On a desk at any angle, in perspective, the light uneven.
            angle = math.radians(rng.uniform(-180, 180))
            jit = 0.07 * sw
            corners = [(0, 0), (sw, 0), (sw, sh), (0, sh)]
            moved = []
            for x, y in corners:
                x += rng.uniform(-jit, jit)
                y += rng.uniform(-jit, jit)
                moved.append((x * math.cos(angle) - y * math.sin(angle),
                              x * math.sin(angle) + y * math.cos(angle)))
            xs, ys = [p[0] for p in moved], [p[1] for p in moved]
            margin = rng.uniform(0.1, 0.6) * max(sw, sh)
            W, H = int(max(xs) - min(xs) + 2 * margin), int(max(ys) - min(ys) + 2 * margin)
            pairs = ' '.join('%.1f,%.1f %.1f,%.1f' % (c[0], c[1], m[0] - min(xs) + margin,
                                                      m[1] - min(ys) + margin)
                             for c, m in zip(corners, moved))
            args = ['-seed', str(seed), '-size', '%dx%d' % (W, H), 'plasma:', '(', src, '-resize',
                    '%.4f%%' % (100 * scale), '-alpha', 'set', '-virtual-pixel', 'transparent',
                    '-define', 'distort:viewport=%dx%d+0+0' % (W, H), '-distort', 'Perspective',
                    pairs, ')', '-compose', 'over', '-composite',
                    '(', '-size', '%dx%d' % (W, H), 'radial-gradient:white-gray%d' % rng.randint(40, 75),
                    ')', '-compose', 'multiply', '-composite']
        else:
            args += ['-background', 'gray%d' % rng.randint(20, 90), '-rotate',
                     '%.2f' % rng.uniform(-4, 4)]
        if 'tight' in conds:
            # Cut out close round the zone's ink, as an app sending only the zone does.
            x0, y0, x1, y1 = box
            pad = [int(rng.uniform(0, 0.3) * BASE_CAP) for _ in range(4)]
            args = [src, '-crop', '%dx%d+%d+%d' % (x1 - x0 + pad[0] + pad[1], y1 - y0 + pad[2] + pad[3],
                                                   x0 - pad[0], y0 - pad[2]),
                    '+repage', '-resize', '%.4f%%' % (100 * scale)]
        sigma = rng.uniform(0.9, 1.7) if 'blur' in conds else rng.uniform(0.0, 0.6)
        if sigma > 0.3:
            args += ['-gaussian-blur', '0x%.2f' % sigma]
        args += ['-attenuate', '%.2f' % rng.uniform(0.1, 0.6), '+noise', 'Gaussian']
        quality = rng.randint(25, 50) if 'jpeg' in conds else rng.randint(70, 92)
        # No time stamps in the PNG files: a seed makes the same bytes.
        subprocess.run(['convert', '-seed', str(seed)] + args +
                       ['-quality', str(quality), '-define', 'png:exclude-chunk=date,time', path],
                       check=True)


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    out, count, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, 'truth.jsonl'), 'w') as truth:
        for i in range(count):
            rng = random.Random(seed * 100003 + i)
            roll = rng.random()
            if roll < 0.15:
                conds = [rng.choice(NO_ZONE)] + rng.sample(['photo', 'blur', 'jpeg'], rng.randint(0, 1))
            elif roll < 0.30:
                conds = ['control']
            else:
                conds = rng.sample(CONDITIONS, rng.choice([1, 1, 2, 2, 3]))
                if 'tight' in conds and 'photo' in conds:
                    conds.remove('photo')
            cap = rng.uniform(6, 9) if 'small' in conds else rng.uniform(11, 28)
            name = 'page-%04d.%s' % (i, 'jpg' if 'jpeg' in conds or 'photo' in conds else 'png')
            row = {'file': name, 'degradation': '+'.join(conds), 'char_height': round(cap, 2),
                   'checks_fail': False}
            if conds[0].startswith('nozone'):
                doc, box = no_zone(rng, conds[0]), None
                row.update(format='none', lines=[])
            else:
                kind, lines = zone(rng, 'lookalike' in conds)
                if rng.random() < 0.05:
                    lines, row['checks_fail'] = break_a_check(rng, lines), True
                font = MONO if 'mono' in conds else OCRB
                doc, box = document(rng, lines, font, conds)
                row.update(format=kind, lines=lines)
            finish(rng, doc, box, conds, cap, seed * 1000 + i, os.path.join(out, name))
            truth.write(json.dumps(row) + '\n')
    return 0


if __name__ == '__main__':
    sys.exit(main())
