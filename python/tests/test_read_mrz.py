"""read_mrz: every input form against the C++ reading, turned pages, bad input."""

import json
import os
import subprocess

import numpy as np
import pytest

import glyphwick
from conftest import PASSPORT, SCAN


def summary(r):
    return (r.found, r.format, tuple(r.lines), r.valid,
            tuple((f.name, f.raw, f.check_valid) for f in r.fields), r.orientation)


def test_every_input_form_reads_as_the_cpp_api():
    tool = os.environ.get("GW_TOOL")
    if not tool:
        pytest.skip("GW_TOOL is not set")
    cpp = json.loads(subprocess.run([tool, "mrz", str(PASSPORT), "--json"], check=True,
                                    capture_output=True, text=True).stdout)[0]
    r = glyphwick.read_mrz(PASSPORT)
    assert r.found and r.valid and r.format == cpp["format"] == "TD3"
    assert r.lines == cpp["lines"]
    assert r.field("birth_date").value == "840312" and r.field("birth_date").check_valid
    assert len(r.characters) == 2 and len(r.characters[1]) == 44
    first = r.characters[1][0]
    assert first.value == "X" and 0 < first.confidence <= 1 and first.candidates[0][0] == "X"
    assert r.to_dict()["lines"] == r.lines
    expected = summary(r)

    grey = glyphwick.Image(PASSPORT).to_numpy()
    forms = {
        "bytes": PASSPORT.read_bytes(),
        "grey": grey,
        "grey fortran": np.asfortranarray(grey),
        "rgb": np.dstack([grey] * 3),
        "Image": glyphwick.Image(PASSPORT),
    }
    for name, image in forms.items():
        assert summary(glyphwick.read_mrz(image)) == expected, name

    # Upside down and turned a quarter: the same lines, the turn reported.
    flipped = glyphwick.read_mrz(grey[::-1, ::-1])
    assert flipped.lines == r.lines and flipped.orientation == 180
    turned = glyphwick.read_mrz(np.rot90(grey))
    assert turned.lines == r.lines and turned.orientation in (90, 270)
    # A colour scan reads too; blank paper holds no zone.
    assert glyphwick.read_mrz(SCAN).valid
    assert not glyphwick.read_mrz(np.full((200, 300), 255, np.uint8)).found


def test_bad_arguments_raise():
    with pytest.raises(ValueError):
        glyphwick.read_mrz(PASSPORT, rect=(10, 10, 5, 5))
    with pytest.raises(ValueError, match="overlap"):
        glyphwick.read_mrz(PASSPORT, rect=(5000, 0, 5100, 10))
    # A rectangle reaching past the page reads the part inside.
    assert glyphwick.read_mrz(PASSPORT, rect=(-50, 800, 5000, 1100)).valid
    with pytest.raises(FileNotFoundError):
        glyphwick.read_mrz("no/such/file.png")
    with pytest.raises(glyphwick.Error, match="unrecognised"):
        glyphwick.read_mrz(b"not an image at all")
    with pytest.raises(TypeError):
        glyphwick.read_mrz(3.5)
