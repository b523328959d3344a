"""read_mrz: the binding's fields, a page upside down, blank paper and bad
input. (Every right angle: tests/mrz; every input form and the tool's JSON:
test_inputs.py and test_faces.py.)"""

import numpy as np
import pytest

import glyphwick
from conftest import PASSPORT, SCAN


def test_fields_characters_and_a_page_upside_down():
    r = glyphwick.read_mrz(PASSPORT)
    assert r.found and r.valid and r.format == "TD3"
    assert r.field("birth_date").value == "840312" and r.field("birth_date").check_valid
    assert len(r.characters) == 2 and len(r.characters[1]) == 44
    first = r.characters[1][0]
    assert first.value == "X" and 0 < first.confidence <= 1 and first.candidates[0][0] == "X"
    flipped = glyphwick.read_mrz(glyphwick.Image(PASSPORT).to_numpy()[::-1, ::-1])
    assert flipped.lines == r.lines and flipped.orientation == 180
    assert glyphwick.read_mrz(SCAN).valid
    assert not glyphwick.read_mrz(np.full((200, 300), 255, np.uint8)).found


def test_bad_arguments_raise():
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
