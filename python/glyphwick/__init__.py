"""Glyphwick: reads printed text lines, machine-readable zones and barcodes
of document images.

Every reader takes an image as:
- a path (str or os.PathLike), the bytes of an encoded file (BMP, JPEG, GIF,
  TIFF, PNG, JPEG 2000, WSQ) as any buffer (bytes, bytearray, memoryview,
  mmap), or a stream with read() (an open binary file, io.BytesIO); page=
  picks a page of a multi-page TIFF and exif=False keeps a camera picture's
  stored pixels instead of turning it upright;
- a glyphwick.Image;
- a PIL image of any mode (alpha laid over white);
- a NumPy array: uint8 H x W grey, H x W x 1, H x W x 3 RGB, H x W x 4 RGBA
  (alpha over white), or bool (True white, as PIL's 1-bit); channels="bgr"
  for OpenCV's order. Grey and RGB arrays are read in place.

Colour pages: the zone reader (read_mrz) takes the lightest channel of each
colour pixel, so coloured print beside the black zone fades; a grey array
holds one channel already and is read as it is. A grey page gives the same
reading as a grey array, an RGB array and a file. read_lines and
read_barcodes weigh the channels into brightness.

Threads: every reader releases the GIL while the library works.

Failures raise: FileNotFoundError for a missing file, ValueError and
TypeError for bad arguments, glyphwick.Error with the library's reason for
everything the library refuses (undecodable data, an array above the pixel
limit, no such font, ...).
"""

from __future__ import annotations

import os
from typing import List, Optional, Sequence, Tuple, Union


def _import_module():
    try:
        from . import _glyphwick
        return _glyphwick
    except ImportError as e:
        # An extension built for another Python: name the one it was built for.
        import glob
        import sys
        here = os.path.dirname(os.path.abspath(__file__))
        built = sorted(os.path.basename(p) for p in glob.glob(os.path.join(here, "_glyphwick*.so")))
        # _glyphwick.cpython-311-x86_64-linux-gnu.so was built for 3.11.
        tags = [b.split(".")[1].split("-") for b in built if b.count(".") >= 2]
        versions = sorted(f"{t[1][0]}.{t[1][1:]}" for t in tags
                          if len(t) > 1 and t[0] == "cpython" and t[1].isdigit())
        running = f"{sys.version_info.major}.{sys.version_info.minor}"
        if versions and running not in versions:
            raise ImportError(f"glyphwick's extension module was built for Python "
                              f"{', '.join(versions)}, not for this Python {running}: rebuild "
                              f"it with this interpreter (pip install .)") from e
        raise


_glyphwick = _import_module()
from ._glyphwick import (Barcode, Character, Error, Image, LinesResult, MrzCharacter, MrzCheck,
                         MrzCorrection, MrzField, MrzResult, TextLine, __version__)
from . import _inputs

__all__ = ["Error", "Image", "Barcode", "Character", "TextLine", "LinesResult", "MrzField",
           "MrzCheck", "MrzCharacter", "MrzCorrection", "MrzResult", "Barcodes", "read_barcodes",
           "read_lines", "read_mrz", "__version__"]

#: Symbology names read_barcodes takes (any case, blanks and dashes ignored).
SYMBOLOGIES = ("code39", "code128")


def read_lines(image, rect: Optional[Tuple[int, int, int, int]] = None, font: Optional[str] = None,
               *, font_index: int = 0, patterns: Sequence[Union[str, os.PathLike]] = (),
               spaces: bool = False, spacing: int = 0, split: bool = False,
               min_size: Tuple[int, int] = (2, 10), max_size: Tuple[int, int] = (80, 80),
               fragments: Optional[Tuple[int, int, int, int]] = None, holes: int = 0,
               trim: bool = False, threshold: int = 0, all_lines: bool = False,
               punctuation: bool = True, channels: str = "rgb", page: int = 1,
               exif: bool = True, timeout: float = 0) -> LinesResult:
    """Reads the best text line of image, or every line with all_lines.

    image: any input the package takes (see the package's help).
    rect: (left, top, right, bottom), inclusive; the whole image when None.
    font: font name (any case) to identify with; else font_index (0: OCR-B
        in the default pattern file).
    patterns: pattern files loaded in place of the default fonts (they stay
        loaded for later calls).
    spaces: blanks where the line's own pitch calls for them; spacing: blanks
        by this pitch in pixels.
    split: cut over-wide (touching) objects and identify again.
    min_size, max_size: (width, height) of the objects kept; smaller
        punctuation (". , - '") beside a character is kept unless punctuation
        is False.
    fragments: (min_w, min_h, max_w, max_h) of fragments joined into one
        character; holes: fill enclosed holes up to this many pixels;
        trim: trim object boxes; threshold: grey level below which a pixel
        is ink (0: 128).
    all_lines: every line, in reading order (top to bottom, then left to right).
    channels: "bgr" for arrays in OpenCV's channel order.
    page, exif: the page of a multi-page file (from 1); exif=False keeps a
        camera picture's stored pixels.
    timeout: seconds the reading may take (0: the library's default, 2 s plus
        0.25 s per megapixel; negative: no limit); a stopped reading returns
        what it has, with stopped set.

    Returns a LinesResult. Raises ValueError for a rectangle outside the image
    or a negative size, glyphwick.Error for a missing font or pattern file or
    undecodable data. Runs with the GIL released.
    """
    raw = _glyphwick._read_lines(
        _inputs.prepare(image, channels), _inputs.rect_of(rect), font, font_index,
        [os.fspath(p) for p in patterns], spaces, spacing, split, tuple(min_size),
        tuple(max_size), None if fragments is None else tuple(fragments), holes, trim, threshold,
        all_lines, punctuation, page, exif, float(timeout))
    return raw


def read_mrz(image, rect: Optional[Tuple[int, int, int, int]] = None, *,
             all_orientations: bool = True, channels: str = "rgb", page: int = 1,
             exif: bool = True, timeout: float = 0, today: Optional[str] = None) -> MrzResult:
    """Finds and reads the machine-readable zone of a passport, ID card or visa.

    image: any input the package takes (see the package's help); the zone may
        stand anywhere, turned by a right angle and skewed.
    rect: (left, top, right, bottom), inclusive, to look in; the whole image
        when None.
    all_orientations: also look at the page turned by 90 and 270 degrees
        (it is always looked at upright and upside down).
    channels, page, exif, timeout: as for read_lines.
    today: "YYYY-MM-DD" to judge expired against (default: today, UTC).

    Returns an MrzResult; found is False when there is no zone. valid is True
    only when every check digit holds, every field fits its class and the
    dates are dates; reasons says in words what is wrong or doubtful; score
    is the share of check digits that hold (0 to 100). Raises ValueError for
    a bad rectangle. Runs with the GIL released.
    """
    return _glyphwick._read_mrz(_inputs.prepare(image, channels), _inputs.rect_of(rect),
                                all_orientations, page, exif, float(timeout), today or "")


class Barcodes(list):
    """The symbols read_barcodes read: a list of Barcode, top to bottom then
    left to right, with stopped (the budget ran out or the reading was
    cancelled; the symbols read before are kept) and stop_reason in words."""

    def __init__(self, barcodes=(), stopped: bool = False, stop_reason: str = ""):
        super().__init__(barcodes)
        self.stopped = stopped
        self.stop_reason = stop_reason

    def to_dict(self) -> dict:
        """The reading as the tool's --json writes it for one file (without
        the file's own keys): barcodes, stopped, stop_reason."""
        return {"barcodes": [b.to_dict() for b in self], "stopped": self.stopped,
                "stop_reason": self.stop_reason}


def read_barcodes(image, symbologies: Union[str, Sequence[str]] = SYMBOLOGIES, *,
                  full_ascii: bool = True, check_digit: bool = False, min_length: int = 1,
                  try_harder: bool = False, channels: str = "rgb", page: int = 1,
                  exif: bool = True, timeout: float = 0) -> Barcodes:
    """Reads every Code 39 and Code 128 symbol anywhere in image, at any angle.

    image: any input the package takes (see the package's help); palette and
        1-bit images are read through their palette.
    symbologies: which to read: "code39", "code128", both in a list, or a
        string of names separated by commas.
    full_ascii: Code 39 pairs such as "+A" stand for "a" (when every pair is
        valid); on by default in every face (tool, C++, Python).
    check_digit: Code 39 ends in a modulo-43 check character, which must hold
        and is left out of the text.
    min_length: fewest characters of text a result may have.
    try_harder: more scan directions and lines (slower).
    channels, page, exif, timeout: as for read_lines.

    Returns a Barcodes list, one Barcode per symbol, saying whether the
    budget stopped the reading. Raises ValueError for an
    unknown symbology or a min_length below 1. Runs with the GIL released.
    """
    if isinstance(symbologies, str):
        symbologies = symbologies.split(",")
    names = {s.lower().replace(" ", "").replace("-", "").replace("_", "") for s in symbologies}
    unknown = names - set(SYMBOLOGIES)
    if unknown:
        raise ValueError(f"unknown symbology {sorted(unknown)[0]!r} "
                         f"(known: {', '.join(SYMBOLOGIES)})")
    found, stopped, reason = _glyphwick._read_barcodes(
        _inputs.prepare(image, channels), "code39" in names, "code128" in names, full_ascii,
        check_digit, min_length, try_harder, page, exif, float(timeout))
    return Barcodes(found, stopped, reason)


def __getattr__(name: str):
    # glyphwick.batch pulls in Dask, so it is imported on first use.
    if name == "batch":
        import importlib
        return importlib.import_module(".batch", __name__)
    raise AttributeError(f"module 'glyphwick' has no attribute '{name}'")
