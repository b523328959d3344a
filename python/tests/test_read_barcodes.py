"""read_barcodes: every input form reads the same symbols, and bad input.
(The tool's JSON: test_faces.py.)"""

import numpy as np
import pytest

import glyphwick
from conftest import PASSPORT


def summary(results):
    return sorted((b.symbology, b.text, tuple(tuple(round(v, 1) for v in c) for c in b.corners))
                  for b in results)


def test_every_input_form_reads_the_same_symbols():
    found = glyphwick.read_barcodes(PASSPORT)
    assert {(b.symbology, b.text) for b in found} == {("code128", "UTO-XK4719203"),
                                                      ("code39", "P-XK4719203")}
    code128 = next(b for b in found if b.symbology == "code128")
    assert code128.checks_ok and code128.values[0] in (103, 104, 105) and code128.characters == ""
    expected = summary(found)
    grey = glyphwick.Image(PASSPORT).to_numpy()
    padded = np.full((grey.shape[0], grey.shape[1] + 5), 255, np.uint8)
    padded[:, 2:-3] = grey
    forms = {
        "str": str(PASSPORT),
        "grey fortran": np.asfortranarray(grey),
        "grey view": padded[:, 2:-3],
        "rgb reversed channels": np.dstack([grey] * 3)[..., ::-1],
        "1-bit Image": glyphwick.Image(PASSPORT).convert("1"),
    }
    for name, image in forms.items():
        assert summary(glyphwick.read_barcodes(image)) == expected, name
    only39 = glyphwick.read_barcodes(grey, symbologies=["code39"])
    assert [b.symbology for b in only39] == ["code39"]
    assert {b.text for b in glyphwick.read_barcodes(grey[::-1, ::-1])} == {b.text for b in found}


def test_bad_arguments_raise():
    with pytest.raises(ValueError, match="min_length"):
        glyphwick.read_barcodes(PASSPORT, min_length=0)
    with pytest.raises(FileNotFoundError):
        glyphwick.read_barcodes("no/such/file.png")
    with pytest.raises(ValueError):
        glyphwick.read_barcodes(np.zeros((4, 4, 2), np.uint8))


def test_a_budget_too_short_stops_the_reading_and_says_so():
    full = glyphwick.read_barcodes(PASSPORT)
    assert not full.stopped and full.stop_reason == ""
    cut = glyphwick.read_barcodes(PASSPORT, timeout=1e-6)
    assert cut.stopped and cut.stop_reason
    assert len(cut) <= len(full)
    assert cut.to_dict()["stopped"] and cut.to_dict()["barcodes"] == [b.to_dict() for b in cut]
