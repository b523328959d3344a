#!/usr/bin/python3
"""Scores `glyphwick mrz --json` on a folder of pages made by `mrz-pages make`.

Usage: score-pages.py GLYPHWICK DIR [--batch N] [--by-condition]

Reads DIR/truth.jsonl, runs the tool on the pages in batches, and prints per
condition (the truth's "degradation"; with --by-condition, per condition a
page holds among the "+"-joined ones, a page of two counted in both),
overall and by capital height: zones, exact, reported
valid, valid but wrong (a wrong text, or a zone printed with a wrong check
digit), and zones reported on pages that hold none. Exits 1 when any zone
is reported valid but wrong.
"""
import collections
import json
import os
import subprocess
import sys


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    tool, folder = sys.argv[1], sys.argv[2]
    batch = int(sys.argv[sys.argv.index('--batch') + 1]) if '--batch' in sys.argv else 40
    truth = [json.loads(l) for l in open(os.path.join(folder, 'truth.jsonl')) if l.strip()]
    got = {}
    for i in range(0, len(truth), batch):
        files = [os.path.join(folder, t['file']) for t in truth[i:i + batch]]
        p = subprocess.run([tool, 'mrz', '--json'] + files, capture_output=True, text=True)
        for r in json.loads(p.stdout):
            got[os.path.basename(r['file'])] = r
    rows = collections.OrderedDict()
    heights = collections.OrderedDict((h, collections.Counter()) for h in
                                      ('6-7 px', '8-9 px', '10-13 px', '14+ px'))
    total = collections.Counter()
    for t in truth:
        r = got.get(t['file'], {})
        has = t['format'] != 'none'
        ok = has and (r.get('lines') or []) == t['lines']
        valid = bool(r.get('valid'))
        names = t.get('degradation', '-')
        names = sorted(set(names.split('+'))) if '--by-condition' in sys.argv else [names]
        conds = tuple(rows.setdefault(n, collections.Counter()) for n in names)
        h = t.get('char_height', 20)
        band = heights['6-7 px' if h < 8 else '8-9 px' if h < 10 else '10-13 px' if h < 14
                       else '14+ px']
        for k in conds + (total,) + ((band,) if has else ()):
            k['pages'] += 1
            k['zones'] += has
            k['sound'] += has and not t.get('checks_fail')
            k['exact'] += ok
            k['valid'] += has and valid and ok and not t.get('checks_fail')
            # A zone printed with a wrong check digit is never valid.
            k['wrong_valid'] += valid and (not ok or bool(t.get('checks_fail')))
            k['false_found'] += (not has) and bool(r.get('found'))
    print(f"{'condition':16} {'pages':>5} {'zones':>5} {'exact':>5} {'valid':>5} "
          f"{'v-wrong':>7} {'no-zone found':>13}")
    for name, c in list(rows.items()) + [('all', total)] + list(heights.items()):
        print(f"{name:16} {c['pages']:5d} {c['zones']:5d} {c['exact']:5d} {c['valid']:5d} "
              f"{c['wrong_valid']:7d} {c['false_found']:13d}")
    z = max(1, total['zones'])
    print(f"exact {100 * total['exact'] / z:.1f}% of zones, valid {100 * total['valid'] / z:.1f}%, "
          f"valid but wrong {total['wrong_valid']}, zones on zone-less pages {total['false_found']}")
    if total['sound'] < total['zones']:
        print(f"zones printed with their checks right: {total['sound']}, "
              f"{100 * total['valid'] / max(1, total['sound']):.1f}% of them valid")
    return 1 if total['wrong_valid'] else 0


if __name__ == '__main__':
    sys.exit(main())
