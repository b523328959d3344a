"""read_lines and glyphwick.Image: every input form reads as the file.
(The tool's JSON: test_faces.py.)"""

import pathlib
import threading
import time

import numpy as np
import pytest

import glyphwick
from conftest import PASSPORT, SCAN


def summary(result):
    return [(l.text, l.score, l.pitch, l.box) for l in result.lines]


def test_every_input_form_reads_as_the_file():
    r = glyphwick.read_lines(str(PASSPORT), all_lines=True)
    expected = summary(r)
    assert len(expected) > 2
    for line in r.lines:
        assert len(line.characters) == len(line.text)

    # Arrays of every memory layout (the forms of input themselves:
    # test_inputs.py).
    grey = glyphwick.Image(PASSPORT).to_numpy()
    assert grey.shape == (1039, 1476) and grey.dtype == np.uint8
    padded = np.full((grey.shape[0], grey.shape[1] + 7), 255, np.uint8)
    padded[:, 3:-4] = grey
    bgr = np.ascontiguousarray(np.stack([grey] * 3, axis=2))
    forms = {
        "Image": glyphwick.Image(PASSPORT),
        "grey fortran": np.asfortranarray(grey),
        "grey view": padded[:, 3:-4],
        "grey flipped twice": grey[::-1, ::-1][::-1, ::-1],
        "rgb reversed channels": bgr[..., ::-1],
        "rgb planar": np.stack([grey] * 3).transpose(1, 2, 0),
        "rgb Image": glyphwick.Image.from_numpy(bgr),
    }
    for name, image in forms.items():
        assert summary(glyphwick.read_lines(image, all_lines=True)) == expected, name

    # A colour page: its RGB array, and the same through a BGR copy read
    # backwards, read as its file.
    rgb = glyphwick.Image(SCAN).to_numpy()
    scan = summary(glyphwick.read_lines(SCAN, all_lines=True))
    assert len(scan) > 2
    assert summary(glyphwick.read_lines(rgb, all_lines=True)) == scan
    assert summary(glyphwick.read_lines(rgb[..., ::-1].copy()[..., ::-1], all_lines=True)) == scan

    # The best line of a rectangle, and the result's plain form.
    best = glyphwick.read_lines(PASSPORT, rect=(80, 940, 1400, 990))
    assert best.text == "XK47192033UTO8403124F3107092ZE184226B<<<<<16"
    d = best.to_dict()
    assert d["lines"][0]["text"] == best.text and d["lines"][0]["pitch"] == 30


def test_bad_input_raises_with_the_reason(tmp_path):
    with pytest.raises(FileNotFoundError):
        glyphwick.read_lines(tmp_path / "missing.png")
    with pytest.raises(glyphwick.Error, match="unrecognised image format"):
        glyphwick.read_lines(b"not an image at all")
    cut = tmp_path / "cut.png"
    cut.write_bytes(PASSPORT.read_bytes()[:2000])
    with pytest.raises(glyphwick.Error, match="cut.png"):
        glyphwick.read_lines(cut)
    with pytest.raises(ValueError, match="H x W"):
        glyphwick.read_lines(np.zeros((20, 20, 2), np.uint8))
    with pytest.raises(ValueError, match="empty"):
        glyphwick.read_lines(np.zeros((0, 20), np.uint8))
    with pytest.raises(ValueError, match="does not overlap"):
        glyphwick.read_lines(PASSPORT, rect=(5000, 0, 5100, 10))
    with pytest.raises(ValueError, match="negative"):
        glyphwick.read_lines(PASSPORT, min_size=(-1, 10))
    with pytest.raises(glyphwick.Error, match="no such font 'NOSUCH'.*OCRB"):
        glyphwick.read_lines(PASSPORT, font="NOSUCH")
    with pytest.raises(glyphwick.Error, match="no such pattern file"):
        glyphwick.read_lines(PASSPORT, patterns=[tmp_path / "none.PAT"])
    with pytest.raises(IndexError):
        glyphwick.Image(PASSPORT).get_pixel(1476, 0)
    # Pattern files that do not load (a text file, a PNG) change nothing.
    before = glyphwick.read_lines(PASSPORT).to_dict()
    users = tmp_path / "users.txt"
    users.write_text("alice\nbob\n")
    for bad in (users, PASSPORT):
        with pytest.raises(glyphwick.Error, match="pattern file"):
            glyphwick.read_lines(PASSPORT, patterns=[bad])
    assert glyphwick.read_lines(PASSPORT).to_dict() == before
    # The library is still in order afterwards.
    assert glyphwick.read_lines(PASSPORT, rect=(80, 940, 1400, 990)).text.endswith("<<16")


def test_image_loads_converts_saves_and_gives_pixels(tmp_path):
    scan = glyphwick.Image(SCAN)
    assert scan.mode == "RGB" and scan.bits_per_pixel == 24
    rgb = scan.to_numpy()
    assert rgb.shape == (scan.height, scan.width, 3)
    y, x = 100, 200
    assert scan.get_pixel(x, y) == tuple(int(v) for v in rgb[y, x])
    # NumPy round trip, and a copy that is independent of its source.
    again = glyphwick.Image.from_numpy(rgb)
    assert np.array_equal(again.to_numpy(), rgb)
    copy = again.copy()
    copy.set_pixel(x, y, (1, 2, 3))
    assert copy.get_pixel(x, y) == (1, 2, 3) and again.get_pixel(x, y) != (1, 2, 3)
    # Conversions: grey by the weights 0.3, 0.59, 0.11; 1-bit only black and white.
    grey = scan.convert("L")
    assert grey.mode == "L"
    r, g, b = (int(v) for v in rgb[y, x])
    assert abs(int(grey.to_numpy()[y, x]) - (0.3 * r + 0.59 * g + 0.11 * b)) <= 1
    assert set(np.unique(scan.convert("1").to_numpy())) <= {0, 255}
    with pytest.raises(ValueError):
        scan.convert("CMYK")
    # Saved and loaded back, pixels and resolution kept.
    out = tmp_path / "grey.png"
    grey.resolution = (200.0, 200.0)
    grey.save(out)
    back = glyphwick.Image(out)
    assert np.array_equal(back.to_numpy(), grey.to_numpy())
    assert back.resolution == pytest.approx((200.0, 200.0), abs=0.5)
    with pytest.raises(ValueError, match="unknown format"):
        grey.save(tmp_path / "grey.xyz")


def test_threads_read_at_once_safely():
    rect = (80, 890, 1400, 990)
    expected = summary(glyphwick.read_lines(PASSPORT, rect=rect, all_lines=True))
    grey = glyphwick.Image(PASSPORT).to_numpy()
    sources = [PASSPORT, PASSPORT.read_bytes(), grey, np.stack([grey] * 3, axis=2)]
    failures = []

    def work(source):
        for _ in range(5):
            got = summary(glyphwick.read_lines(source, rect=rect, all_lines=True))
            if got != expected:
                failures.append(got)

    threads = [threading.Thread(target=work, args=(s,)) for s in sources]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not failures

    # The GIL is free while the library works: this thread wakes from a
    # sleep while another is still inside one long call of the library.
    done = threading.Event()

    def long_call():
        glyphwick._glyphwick._cpp_loop(grey, None, 60)
        done.set()

    worker = threading.Thread(target=long_call)
    worker.start()
    time.sleep(0.02)
    assert not done.is_set()
    worker.join()


def test_a_jpeg_cut_short_reads_its_top_with_a_warning(tmp_path):
    data = SCAN.read_bytes()
    cut = tmp_path / "cut.jpg"
    cut.write_bytes(data[:len(data) * 9 // 10])
    with pytest.warns(UserWarning, match="cut.jpg: the JPEG data ends early"):
        best = glyphwick.read_lines(cut)
    assert best.text.startswith("P<UTOHALVORSEN")  # the zone's first line, above the cut
