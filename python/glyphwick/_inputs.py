"""The image argument of every reader, as its peers take it.

Paths, buffers (bytes, bytearray, memoryview, any object with the buffer
protocol), streams (objects with read()) and glyphwick.Image go to the library
as they are; PIL images and NumPy arrays of other shapes and dtypes are turned
here into the uint8 grey (H x W) or RGB (H x W x 3) arrays the library reads
in place.
"""

from __future__ import annotations

import sys
from typing import Any, Optional, Tuple

_CHANNELS = ("rgb", "bgr")


def _numpy():
    import numpy
    return numpy


def _over_white(rgb, alpha):
    """Colour laid over white paper by its alpha (uint8 arrays)."""
    np = _numpy()
    a = alpha.astype(np.uint16)[..., None]
    return ((rgb.astype(np.uint16) * a + 255 * (255 - a) + 127) // 255).astype(np.uint8)


def _from_pil(image):
    """A PIL image of any mode as a grey or RGB array (alpha over white;
    1-bit white where PIL's pixel is 1)."""
    np = _numpy()
    mode = image.mode
    if mode in ("1", "L"):
        return np.asarray(image.convert("L"))
    if mode in ("I", "I;16", "I;16B", "I;16L", "F"):
        return np.asarray(image.convert("L"))
    if mode in ("LA", "La", "PA", "RGBA", "RGBa") or (mode == "P" and "transparency" in image.info):
        rgba = np.asarray(image.convert("RGBA"))
        return _over_white(rgba[..., :3], rgba[..., 3])
    return np.asarray(image.convert("RGB"))


def _from_array(a, channels: str):
    """A NumPy array as a grey or RGB uint8 array, channels in RGB order."""
    np = _numpy()
    if a.dtype == np.bool_:
        a = a.astype(np.uint8) * 255  # 1-bit: True is white paper, as in PIL's mode "1"
    elif a.dtype != np.uint8:
        raise ValueError(f"the array must be uint8 or bool, not {a.dtype}")
    if a.ndim == 3 and a.shape[2] == 1:
        a = a[..., 0]
    if a.ndim == 2:
        return a
    if a.ndim != 3 or a.shape[2] not in (3, 4):
        raise ValueError("the array must be H x W (grey), H x W x 1, H x W x 3 (RGB) or "
                         f"H x W x 4 (RGBA), not {' x '.join(str(n) for n in a.shape)}")
    if channels == "bgr":
        a = a[..., [2, 1, 0] + ([3] if a.shape[2] == 4 else [])]
    if a.shape[2] == 4:
        return _over_white(a[..., :3], a[..., 3])
    return a


def prepare(image: Any, channels: str = "rgb") -> Any:
    """The argument as the library's binding takes it."""
    if channels not in _CHANNELS:
        raise ValueError(f"channels must be 'rgb' or 'bgr', not {channels!r}")
    pil = sys.modules.get("PIL.Image")
    if pil is not None and isinstance(image, pil.Image):
        return _from_pil(image)
    np = sys.modules.get("numpy")
    if np is not None and isinstance(image, np.ndarray):
        return _from_array(image, channels)
    return image


def rect_of(rect: Optional[Any]) -> Optional[Tuple[int, int, int, int]]:
    """(left, top, right, bottom) as four whole numbers, or a ValueError in words."""
    if rect is None:
        return None
    try:
        values = tuple(rect)
    except TypeError:
        raise ValueError(f"rect must be (left, top, right, bottom), not {rect!r}") from None
    if len(values) != 4 or not all(isinstance(v, int) or hasattr(v, "__index__") for v in values):
        raise ValueError(f"rect must be four whole numbers (left, top, right, bottom), "
                         f"not {rect!r}")
    left, top, right, bottom = (int(v) for v in values)
    if right < left or bottom < top:
        raise ValueError(f"rect {rect!r} is inverted: right must not be left of left, "
                         "nor bottom above top")
    return left, top, right, bottom
