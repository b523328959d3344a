"""One result model: to_dict() is the tool's --json per file (without the
file's own keys) for every sample, for the zone, the barcodes and the lines.
(tests/tool/FacesTest.cpp holds the tool against the C exports.)"""

import json
import os
import subprocess

import pytest

import glyphwick
from conftest import SOURCE

SAMPLES = sorted(p for p in (SOURCE / "samples").iterdir() if p.suffix in (".png", ".jpg"))


def tool_json(*args):
    tool = os.environ.get("GW_TOOL")
    if not tool:
        pytest.skip("GW_TOOL is not set")
    run = subprocess.run([tool, *map(str, args), "--json", "--jobs", "1"],
                         capture_output=True, text=True)
    assert run.returncode in (0, 1), run.stderr  # read, or nothing found
    out = run.stdout
    entry = json.loads(out)[0]
    del entry["file"], entry["status"]
    return entry


@pytest.mark.parametrize("sample", SAMPLES, ids=lambda p: p.name)
def test_to_dict_is_the_tools_json(sample):
    assert glyphwick.read_mrz(sample).to_dict() == tool_json("mrz", sample)
    assert glyphwick.read_barcodes(sample).to_dict() == tool_json("barcode", sample)
    assert glyphwick.read_lines(sample).to_dict() == tool_json("read", sample)
    assert glyphwick.read_lines(sample, all_lines=True).to_dict() == \
        tool_json("read", sample, "--all-lines")
    # Full ASCII is on by default in every face; off when asked in both.
    assert glyphwick.read_barcodes(sample, full_ascii=False).to_dict() == \
        tool_json("barcode", sample, "--no-full-ascii")
