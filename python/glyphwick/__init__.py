"""Glyphwick: reads printed text lines of document images in milliseconds.

Every reader takes an image as a path (str or os.PathLike), the bytes of an
encoded file (BMP, JPEG, GIF, TIFF, PNG, JPEG 2000, WSQ), a glyphwick.Image,
or a NumPy uint8 array: H x W grey or H x W x 3 RGB, with any strides. An
array is read in place (no copy in Python); the library copies its grey
levels once into its own image.

Threads: the library keeps process-wide state (the current area, the pattern
store), so one process-wide lock lets one thread at a time into it. Every
call releases the GIL while the library works, so other Python threads run
meanwhile, but readings do not run in parallel within one process: use
processes (glyphwick.batch with Dask) to use several cores.

Failures raise: FileNotFoundError for a missing file, ValueError and
TypeError for bad arguments, glyphwick.Error with the library's reason for
everything the library refuses (undecodable data, no such font, ...).
"""

from __future__ import annotations

import os
from typing import List, Optional, Sequence, Tuple, Union

from ._glyphwick import Error, Image, __version__
from ._glyphwick import _read_barcodes, _read_lines, _read_mrz
from ._types import (Barcode, Character, LinesResult, MrzCorrection, MrzField, MrzResult,
                     TextLine)

__all__ = ["Error", "Image", "Barcode", "Character", "TextLine", "LinesResult", "MrzField",
           "MrzCorrection", "MrzResult", "read_barcodes", "read_lines", "read_mrz", "__version__"]


def read_lines(image, rect: Optional[Tuple[int, int, int, int]] = None, font: Optional[str] = None,
               *, font_index: int = 0, patterns: Sequence[Union[str, os.PathLike]] = (),
               spaces: bool = False, spacing: int = 0, split: bool = False,
               min_size: Tuple[int, int] = (2, 10), max_size: Tuple[int, int] = (80, 80),
               fragments: Optional[Tuple[int, int, int, int]] = None, holes: int = 0,
               trim: bool = False, threshold: int = 0, all_lines: bool = False,
               punctuation: bool = True) -> LinesResult:
    """Reads the best text line of image, or every line with all_lines.

    image: a path, bytes of an encoded file, a glyphwick.Image or a NumPy
        uint8 array (H x W grey or H x W x 3 RGB, any strides).
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

    Returns a LinesResult. Raises ValueError for a rectangle outside the image
    or a negative size, glyphwick.Error for a missing font or pattern file or
    undecodable data. Runs with the GIL released, under the library lock.
    """
    raw = _read_lines(image, None if rect is None else tuple(rect), font, font_index,
                      [os.fspath(p) for p in patterns], spaces, spacing, split,
                      tuple(min_size), tuple(max_size),
                      None if fragments is None else tuple(fragments), holes, trim, threshold,
                      all_lines, punctuation)
    return LinesResult._from(raw)


def read_mrz(image, rect: Optional[Tuple[int, int, int, int]] = None, *,
             all_orientations: bool = True) -> MrzResult:
    """Finds and reads the machine-readable zone of a passport, ID card or visa.

    image: a path, bytes of an encoded file, a glyphwick.Image or a NumPy
        uint8 array (H x W grey or H x W x 3 RGB, any strides); the zone may
        stand anywhere, turned by a right angle and skewed.
    rect: (left, top, right, bottom), inclusive, to look in; the whole image
        when None.
    all_orientations: also look at the page turned by 90 and 270 degrees
        (it is always looked at upright and upside down).

    Returns an MrzResult; found is False when there is no zone. valid is True
    only when every check digit holds and every field fits its class; a
    character is corrected only where a check digit confirms it, and each
    correction is listed. Raises ValueError for a bad rectangle. Runs with
    the GIL released, under the library lock.
    """
    raw = _read_mrz(image, None if rect is None else tuple(rect), all_orientations)
    return MrzResult._from(raw)


def read_barcodes(image, symbologies: Sequence[str] = ("code39", "code128"), *,
                  full_ascii: bool = False, check_digit: bool = False, min_length: int = 1,
                  try_harder: bool = False) -> List[Barcode]:
    """Reads every Code 39 and Code 128 symbol anywhere in image, at any angle.

    image: a path, bytes of an encoded file, a glyphwick.Image or a NumPy
        uint8 array (H x W grey or H x W x 3 RGB, any strides); palette and
        1-bit images are read through their palette.
    symbologies: which to read, "code39" and/or "code128".
    full_ascii: Code 39 pairs such as "+A" stand for "a" (when every pair is
        valid); check_digit: Code 39 ends in a modulo-43 check character,
        which must hold and is left out of the text.
    min_length: fewest characters of text a result may have.
    try_harder: more scan directions and lines (slower).

    Returns a list of Barcode, one per symbol. A Code 39 symbol counts only
    with its start and stop characters and quiet zones; a Code 128 symbol only
    with its check value and stop pattern. Raises ValueError for an unknown
    symbology or a min_length below 1. Runs with the GIL released, under the
    library lock.
    """
    names = {s.lower().replace(" ", "") for s in symbologies}
    unknown = names - {"code39", "code128"}
    if unknown:
        raise ValueError(f"unknown symbology {sorted(unknown)[0]!r} (known: code39, code128)")
    raw = _read_barcodes(image, "code39" in names, "code128" in names, full_ascii, check_digit,
                         min_length, try_harder)
    return [Barcode._from(r) for r in raw]


def __getattr__(name: str):
    # glyphwick.batch pulls in Dask, so it is imported on first use.
    if name == "batch":
        import importlib
        return importlib.import_module(".batch", __name__)
    raise AttributeError(f"module 'glyphwick' has no attribute '{name}'")
