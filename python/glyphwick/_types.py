"""The result classes of the readers: small frozen objects with to_dict().

The characters of a line and the objects of a reading are kept as the plain
tuples the library gave and made into Character objects when asked for, so
that a call pays only for what it uses.
"""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import Any, Dict, List, NamedTuple, Optional, Tuple

Box = Tuple[int, int, int, int]


class Character(NamedTuple):
    """One object as identified: box (left, top, right, bottom, inclusive),
    its character ("?" unread, " " a blank made by spacing), score and line
    tag."""

    box: Box
    char: str
    score: int
    tag: int

    def to_dict(self) -> Dict[str, Any]:
        """The fields as a plain dict."""
        return self._asdict()


@dataclass(frozen=True)
class TextLine:
    """One line: its text, tag, mean score, pitch (median distance between
    left edges, or the spacing pitch), bounding box, and its characters, one
    per character of the text."""

    text: str
    tag: int
    score: int
    pitch: float
    box: Box
    _characters: tuple = field(default=(), repr=False)

    @property
    def characters(self) -> List[Character]:
        return [Character(*c) for c in self._characters]

    def to_dict(self) -> Dict[str, Any]:
        """The fields as plain dicts, lists and tuples (ready for JSON)."""
        return {"text": self.text, "tag": self.tag, "score": self.score, "pitch": self.pitch,
                "box": self.box, "characters": [c.to_dict() for c in self.characters]}


@dataclass(frozen=True)
class LinesResult:
    """What read_lines found: the best line (or every line in reading order),
    every object kept after cleaning, and the font identified with."""

    lines: List[TextLine]
    font: str
    _objects: tuple = field(default=(), repr=False)

    @property
    def objects(self) -> List[Character]:
        return [Character(*o) for o in self._objects]

    @property
    def text(self) -> str:
        """The lines' texts joined by newlines."""
        return "\n".join(line.text for line in self.lines)

    def to_dict(self) -> Dict[str, Any]:
        """The fields as plain dicts, lists and tuples (ready for JSON)."""
        return {"lines": [l.to_dict() for l in self.lines], "font": self.font,
                "objects": [o.to_dict() for o in self.objects]}

    @classmethod
    def _from(cls, raw) -> "LinesResult":
        lines, objects, font = raw
        return cls([TextLine(*l) for l in lines], font, objects)


Point = Tuple[float, float]


@dataclass(frozen=True)
class Barcode:
    """One symbol found by read_barcodes: its symbology ("code39" or
    "code128"), its text (Code 128 code sets, shifts and FNC4 resolved; Code
    39 full ASCII when asked for), the Code 128 symbol values (start, data,
    check) or the Code 39 characters as printed, whether a leading FNC1 marks
    GS1 data, the Code 32 reading of a Code 39 symbol that is one (else ""),
    the four corners in image pixels, the orientation in degrees, whether
    the symbol's checks held, and how many scan lines read it."""

    symbology: str
    text: str
    values: Tuple[int, ...]
    characters: str
    gs1: bool
    code32: str
    corners: Tuple[Point, Point, Point, Point]
    orientation: int
    checks_ok: bool
    lines: int

    def to_dict(self) -> Dict[str, Any]:
        """The fields as plain dicts, lists and tuples (ready for JSON)."""
        d = {k: getattr(self, k) for k in self.__dataclass_fields__}
        d["values"] = list(self.values)
        d["corners"] = [list(c) for c in self.corners]
        return d

    @classmethod
    def _from(cls, raw) -> "Barcode":
        (symbology, text, values, characters, gs1, code32, corners, orientation, checks,
         lines) = raw
        return cls(symbology, text, tuple(values), characters, gs1, code32, tuple(corners),
                   orientation, checks, lines)


@dataclass(frozen=True)
class MrzField:
    """One field of a zone: its name ("document_number", "birth_date", ...),
    the characters as they stand, the value (fillers as blanks, trimmed),
    whether it has a check digit, that digit as read, whether it agrees, and
    whether every character fits the field's class."""

    name: str
    raw: str
    value: str
    has_check: bool
    check: str
    check_valid: bool
    class_valid: bool

    def to_dict(self) -> Dict[str, Any]:
        return {k: getattr(self, k) for k in self.__dataclass_fields__}


class MrzCorrection(NamedTuple):
    """A character a check digit corrected: line and column (from 0), the
    character read and the one reported, and its field."""

    line: int
    column: int
    read: str
    corrected: str
    field: str

    def to_dict(self) -> Dict[str, Any]:
        return self._asdict()


@dataclass(frozen=True)
class MrzResult:
    """What read_mrz found: whether a zone was found, its format ("TD1",
    "TD2", "TD3", "MRV-A", "MRV-B"), its lines, whether every check digit
    held and every field fits its class (valid), the fields, the corrections,
    the zone's four corners in the image, the orientation (degrees clockwise
    the image was turned to read it), the remaining skew and the capitals'
    height in pixels. characters gives each character's confidence and
    ranked candidates."""

    found: bool
    format: str
    lines: List[str]
    valid: bool
    fields: List[MrzField]
    corrections: List[MrzCorrection]
    _characters: list = field(default_factory=list, repr=False)
    corners: Tuple[Point, Point, Point, Point] = ((0.0, 0.0),) * 4
    orientation: int = 0
    skew: float = 0.0
    character_height: int = 0

    @property
    def characters(self) -> List[List[Tuple[str, float, List[Tuple[str, float]]]]]:
        """Per line, per character: (character, confidence, [(candidate, score), ...])."""
        return [[(c, conf, list(cands)) for c, conf, cands in line] for line in self._characters]

    def field(self, name: str) -> Optional[MrzField]:
        """The field of that name, or None."""
        return next((f for f in self.fields if f.name == name), None)

    def to_dict(self) -> Dict[str, Any]:
        """The fields as plain dicts, lists and tuples (ready for JSON)."""
        return {"found": self.found, "format": self.format, "lines": list(self.lines),
                "valid": self.valid, "fields": [f.to_dict() for f in self.fields],
                "corrections": [c.to_dict() for c in self.corrections],
                "corners": [list(c) for c in self.corners], "orientation": self.orientation,
                "skew": self.skew, "character_height": self.character_height}

    @classmethod
    def _from(cls, raw) -> "MrzResult":
        (found, fmt, lines, valid, fields, corrections, characters, corners, orientation, skew,
         height) = raw
        return cls(found, fmt, list(lines), valid, [MrzField(*f) for f in fields],
                   [MrzCorrection(*c) for c in corrections], characters, tuple(corners),
                   orientation, skew, height)
