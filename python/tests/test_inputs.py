"""Inputs as the package's peers take them, errors in words, the zone
report, and the type stub against the runtime."""

import array
import ast
import io
import pathlib

import numpy as np
import pytest

import glyphwick
from conftest import PASSPORT, SCAN, SOURCE

PIL = pytest.importorskip("PIL.Image")


def zone(image, **kw):
    r = glyphwick.read_mrz(image, **kw)
    return r.to_dict()


def test_every_form_of_the_page_reads_the_same_zone():
    expected = zone(PASSPORT)
    assert expected["valid"]
    grey = glyphwick.Image(PASSPORT).to_numpy()
    data = PASSPORT.read_bytes()
    pil = PIL.open(PASSPORT)
    rgba = np.dstack([grey] * 3 + [np.full_like(grey, 255)])
    forms = {
        "bytearray": bytearray(data),
        "memoryview": memoryview(data),
        "array.array": array.array("B", data),
        "stream": io.BytesIO(data),
        "open file": open(PASSPORT, "rb"),
        "PIL L": pil,
        "PIL RGB": pil.convert("RGB"),
        "PIL RGBA": pil.convert("RGBA"),
        "PIL 1-bit of grey": pil.convert("L"),
        "grey": grey,
        "H x W x 1": grey[..., None],
        "RGB": np.dstack([grey] * 3),
        "RGBA": rgba,
        "BGR": np.dstack([grey] * 3)[..., ::-1],
    }
    for name, image in forms.items():
        assert zone(image) == expected, name
    forms["open file"].close()
    # OpenCV's order: a red-tinted page given as BGR reads as its RGB form.
    tinted = np.dstack([grey, grey // 2, grey // 2])
    assert zone(tinted[..., ::-1], channels="bgr") == zone(tinted)
    # Transparent pixels are white paper: a fully transparent page is blank.
    clear = rgba.copy()
    clear[..., 3] = 0
    assert not glyphwick.read_mrz(clear).found
    # bool is 1-bit: True white, as PIL's mode "1".
    ink = grey > 128
    assert glyphwick.read_mrz(ink).lines == glyphwick.read_mrz(PIL.fromarray(ink)).lines


def test_pages_and_the_exif_switch(tmp_path):
    tiff = tmp_path / "two.tif"
    blank = PIL.new("L", (400, 300), 255)
    blank.save(tiff, save_all=True, append_images=[PIL.open(PASSPORT)])
    assert not glyphwick.read_mrz(tiff).found
    assert glyphwick.read_mrz(tiff, page=2).valid
    with pytest.raises(glyphwick.Error, match="page"):
        glyphwick.read_mrz(tiff, page=3)
    with pytest.raises(ValueError, match="page counts from 1"):
        glyphwick.read_mrz(tiff, page=0)
    # A camera picture stored on its side with Exif orientation 6 (turn 90
    # clockwise): upright with the switch on, as stored with it off.
    jpeg = tmp_path / "side.jpg"
    exif = PIL.Exif()
    exif[0x0112] = 6
    PIL.open(PASSPORT).convert("RGB").transpose(PIL.Transpose.ROTATE_90).save(
        jpeg, quality=95, exif=exif.tobytes())
    assert glyphwick.read_mrz(jpeg, all_orientations=False).valid
    assert glyphwick.read_mrz(jpeg, exif=False).orientation in (90, 270)


def test_errors_say_what_is_wrong():
    with pytest.raises(ValueError, match="four whole numbers"):
        glyphwick.read_mrz(PASSPORT, rect=(1, 2, 3))
    with pytest.raises(ValueError, match="rect must be"):
        glyphwick.read_lines(PASSPORT, rect=5)
    with pytest.raises(ValueError, match="inverted"):
        glyphwick.read_lines(PASSPORT, rect=(9, 0, 3, 4))
    with pytest.raises(ValueError, match="unknown symbology 'qr'"):
        glyphwick.read_barcodes(PASSPORT, symbologies="code39,qr")
    assert {b.symbology for b in glyphwick.read_barcodes(PASSPORT, symbologies="code128")} == \
        {"code128"}
    with pytest.raises(ValueError, match="channels"):
        glyphwick.read_mrz(PASSPORT, channels="rbg")
    with pytest.raises(ValueError, match="uint8 or bool, not float32"):
        glyphwick.read_mrz(np.zeros((8, 8), np.float32))
    with pytest.raises(TypeError, match="binary mode"):
        glyphwick.read_mrz(io.StringIO("text"))
    # A uint8 dtype carrying metadata is still uint8.
    tagged = np.zeros((40, 40), dtype=np.dtype(np.uint8, metadata={"unit": "level"}))
    assert not glyphwick.read_mrz(tagged).found
    # Above the pixel limit: the loader's words, from a view that costs no memory.
    huge = np.lib.stride_tricks.as_strided(np.zeros(1, np.uint8), (20000, 20000), (0, 0))
    with pytest.raises(glyphwick.Error, match="more pixels than the library takes"):
        glyphwick.read_lines(huge)


def test_a_zone_a_host_can_act_on():
    r = glyphwick.read_mrz(SCAN, today="2031-07-10")
    assert r.valid and r.checks_ok and r.score == 100 and r.reasons == []
    assert (r.surname, r.given_names) == ("HALVORSEN", "MARIT ELISE")
    assert (r.birth_date, r.expiry_date, r.expired) == ("1984-03-12", "2031-07-09", True)
    assert r.optional_data == "ZE184226B"
    assert [(c.field, c.read, c.computed, c.holds) for c in r.checks][0] == \
        ("document_number", "3", "3", True)
    assert all(f.valid for f in r.fields)
    grey = glyphwick.Image(PASSPORT).to_numpy().copy()
    ok = glyphwick.read_mrz(grey)
    box = ok.corners
    x0, y1 = int(box[3][0]), int(box[3][1])
    # Blot out the first character of the second line: the zone is not
    # valid, and the reasons say why in words (the place left unsure, or the
    # check digit that covers it failing).
    grey[y1 - 40:y1 - 5, x0:x0 + 25] = 255
    bad = glyphwick.read_mrz(grey)
    assert bad.found and not bad.valid
    assert any(r.startswith("line 2 column 1 unsure: ") or
               r == "check digit of document_number fails" for r in bad.reasons), bad.reasons


def _stub_classes():
    stub = pathlib.Path(glyphwick.__file__).with_name("__init__.pyi")
    tree = ast.parse(stub.read_text())
    classes = {}
    for node in tree.body:
        if isinstance(node, ast.ClassDef):
            names = set()
            for item in node.body:
                if isinstance(item, (ast.FunctionDef, ast.AnnAssign)):
                    name = item.name if isinstance(item, ast.FunctionDef) else item.target.id
                    if not name.startswith("_"):
                        names.add(name)
            classes[node.name] = names
    functions = {n.name: [a.arg for a in n.args.args + n.args.kwonlyargs]
                 for n in tree.body if isinstance(n, ast.FunctionDef)}
    return classes, functions


def test_the_stub_matches_the_runtime():
    import inspect
    classes, functions = _stub_classes()
    assert set(glyphwick.__all__) - {"__version__"} <= set(classes) | set(functions)
    for name, members in classes.items():
        if name == "Error":
            continue  # an exception's own members are Python's
        cls = getattr(glyphwick, name)
        # A list of results: its own members, on an instance, beyond a list's.
        listed = issubclass(cls, list)
        runtime = {m for m in dir(cls() if listed else cls) if not m.startswith("_")}
        assert members == runtime - (set(dir(list)) if listed else set()), name
    for name, args in functions.items():
        if name.startswith("_"):
            continue
        assert args == list(inspect.signature(getattr(glyphwick, name)).parameters), name
    # One version: the project's.
    cmake = (SOURCE / "CMakeLists.txt").read_text()
    assert f"VERSION {glyphwick.__version__} " in cmake


def test_a_python_of_another_version_is_told_which_one_the_module_is_for(tmp_path):
    import shutil
    import subprocess
    import sys
    package = pathlib.Path(glyphwick.__file__).parent
    copy = tmp_path / "glyphwick"
    shutil.copytree(package, copy, ignore=shutil.ignore_patterns("__pycache__"))
    (built,) = copy.glob("_glyphwick.cpython-*.so")
    built.rename(copy / "_glyphwick.cpython-399-x86_64-linux-gnu.so")
    run = subprocess.run([sys.executable, "-c", "import glyphwick"], cwd=tmp_path,
                         capture_output=True, text=True)
    assert run.returncode != 0
    running = f"{sys.version_info.major}.{sys.version_info.minor}"
    assert f"built for Python 3.99, not for this Python {running}" in run.stderr, run.stderr
