"""read_barcodes: every input form against the C++ reading, and bad input."""

import json
import os
import subprocess

import numpy as np
import pytest

import glyphwick
from conftest import PASSPORT


def summary(results):
    return sorted((b.symbology, b.text, tuple(tuple(round(v, 1) for v in c) for c in b.corners))
                  for b in results)


def test_every_input_form_reads_as_the_cpp_api():
    tool = os.environ.get("GW_TOOL")
    if not tool:
        pytest.skip("GW_TOOL is not set")
    cpp = set()
    for kind in ("code39", "code128"):
        out = subprocess.run([tool, "barcode", str(PASSPORT), "--type", kind, "--json"],
                             check=True, capture_output=True, text=True).stdout
        for item in json.loads(out)[0]["barcodes"]:
            cpp.add((kind, item["text"]))
    found = glyphwick.read_barcodes(PASSPORT)
    assert {(b.symbology, b.text) for b in found} == cpp
    assert {"code39", "code128"} == {b.symbology for b in found}
    expected = summary(found)
    code128 = next(b for b in found if b.symbology == "code128")
    assert code128.checks_ok and code128.values[0] in (103, 104, 105) and code128.characters == ""
    assert code128.to_dict()["values"] == list(code128.values)

    grey = glyphwick.Image(PASSPORT).to_numpy()
    padded = np.full((grey.shape[0], grey.shape[1] + 5), 255, np.uint8)
    padded[:, 2:-3] = grey
    forms = {
        "bytes": PASSPORT.read_bytes(),
        "str": str(PASSPORT),
        "grey": grey,
        "grey fortran": np.asfortranarray(grey),
        "grey view": padded[:, 2:-3],
        "rgb": np.dstack([grey] * 3),
        "rgb reversed channels": np.dstack([grey] * 3)[..., ::-1],
        "1-bit Image": glyphwick.Image(PASSPORT).convert("1"),
    }
    for name, image in forms.items():
        assert summary(glyphwick.read_barcodes(image)) == expected, name

    only39 = glyphwick.read_barcodes(grey, symbologies=["code39"])
    assert [b.symbology for b in only39] == ["code39"]
    # A page turned upside down reads the same texts.
    assert {b.text for b in glyphwick.read_barcodes(grey[::-1, ::-1])} == {b.text for b in found}


def test_bad_arguments_raise():
    with pytest.raises(ValueError, match="symbology"):
        glyphwick.read_barcodes(PASSPORT, symbologies=["qr"])
    with pytest.raises(ValueError, match="min_length"):
        glyphwick.read_barcodes(PASSPORT, min_length=0)
    with pytest.raises(FileNotFoundError):
        glyphwick.read_barcodes("no/such/file.png")
    with pytest.raises(glyphwick.Error):
        glyphwick.read_barcodes(b"not an image at all")
    with pytest.raises(ValueError):
        glyphwick.read_barcodes(np.zeros((4, 4, 2), np.uint8))
