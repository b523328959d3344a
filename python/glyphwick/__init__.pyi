"""Type stubs of the glyphwick package."""

import os
from typing import List, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

from . import batch as batch
from ._types import Barcode as Barcode, Character as Character, LinesResult as LinesResult, TextLine as TextLine
from ._types import MrzCorrection as MrzCorrection, MrzField as MrzField, MrzResult as MrzResult

__version__: str

ImageSource = Union[str, os.PathLike, bytes, bytearray, memoryview, "Image", npt.NDArray[np.uint8]]

class Error(RuntimeError):
    """A failure the library reports; the message names the reason."""

class Image:
    """An image as the library holds it: 1-bit, 8-bit grey or 24-bit colour."""

    def __init__(self, source: Union[str, os.PathLike, bytes, bytearray, memoryview,
                                     npt.NDArray[np.uint8]]) -> None: ...
    @staticmethod
    def from_numpy(array: npt.NDArray[np.uint8]) -> "Image":
        """A copy of a uint8 array: H x W gives 8-bit grey, H x W x 3 (RGB) 24-bit."""
    def to_numpy(self) -> npt.NDArray[np.uint8]:
        """A copy: H x W x 3 RGB for colour, else H x W grey through the palette."""
    @property
    def width(self) -> int: ...
    @property
    def height(self) -> int: ...
    @property
    def bits_per_pixel(self) -> int: ...
    @property
    def mode(self) -> str:
        """'1' (1-bit), 'L' (8-bit) or 'RGB' (24-bit)."""
    @property
    def resolution(self) -> Tuple[float, float]:
        """Dots per inch, (horizontal, vertical)."""
    @resolution.setter
    def resolution(self, value: Tuple[float, float]) -> None: ...
    def get_pixel(self, x: int, y: int) -> Tuple[int, int, int]:
        """The colour of pixel (x, y) as (red, green, blue); IndexError outside."""
    def set_pixel(self, x: int, y: int, rgb: Tuple[int, int, int]) -> None:
        """Writes pixel (x, y); indexed images take its grey level."""
    def convert(self, mode: str) -> "Image":
        """A converted copy: 'L' 8-bit grey, '1' 1-bit, 'RGB' 24-bit."""
    def copy(self) -> "Image": ...
    def save(self, path: Union[str, os.PathLike]) -> None:
        """Saves in the format the extension names (.bmp .jpg .gif .tif .png)."""

def read_lines(image: ImageSource, rect: Optional[Tuple[int, int, int, int]] = None,
               font: Optional[str] = None, *, font_index: int = 0,
               patterns: Sequence[Union[str, os.PathLike]] = (), spaces: bool = False,
               spacing: int = 0, split: bool = False, min_size: Tuple[int, int] = (2, 10),
               max_size: Tuple[int, int] = (80, 80),
               fragments: Optional[Tuple[int, int, int, int]] = None, holes: int = 0,
               trim: bool = False, threshold: int = 0, all_lines: bool = False,
               punctuation: bool = True) -> LinesResult:
    """Reads the best text line of image, or every line in reading order with
    all_lines. Runs with the GIL released under the library's process-wide
    lock. Raises ValueError, TypeError, FileNotFoundError or glyphwick.Error."""

def read_barcodes(image: ImageSource, symbologies: Sequence[str] = ("code39", "code128"), *,
                  full_ascii: bool = False, check_digit: bool = False, min_length: int = 1,
                  try_harder: bool = False) -> List[Barcode]:
    """Reads every Code 39 and Code 128 symbol anywhere in image, at any
    angle: text, symbol values or characters, corners, orientation, checks.
    Runs with the GIL released under the library's process-wide lock. Raises
    ValueError, TypeError, FileNotFoundError or glyphwick.Error."""

def read_mrz(image: ImageSource, rect: Optional[Tuple[int, int, int, int]] = None, *,
             all_orientations: bool = True) -> MrzResult:
    """Finds and reads the machine-readable zone (TD1, TD2, TD3, MRV-A,
    MRV-B): lines, fields, check digits, confirmed corrections, corners,
    orientation. valid only when every check holds and every field fits its
    class. Runs with the GIL released under the library's process-wide lock.
    Raises ValueError, TypeError, FileNotFoundError or glyphwick.Error."""
