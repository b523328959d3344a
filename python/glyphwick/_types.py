"""The result classes of the readers: small frozen dataclasses with to_dict()."""

from __future__ import annotations

import dataclasses
from dataclasses import dataclass, field
from typing import Any, Dict, List, Tuple

Box = Tuple[int, int, int, int]


class _ToDict:
    def to_dict(self) -> Dict[str, Any]:
        """The fields as plain dicts, lists and tuples (ready for JSON)."""
        return dataclasses.asdict(self)


@dataclass(frozen=True)
class Character(_ToDict):
    """One object as identified: box (left, top, right, bottom, inclusive),
    its character ("?" unread, " " a blank made by spacing), score (0-100)
    and line tag."""

    box: Box
    char: str
    score: int
    tag: int

    @classmethod
    def _from(cls, d: Dict[str, Any]) -> "Character":
        return cls(tuple(d["box"]), d["char"], d["score"], d["tag"])


@dataclass(frozen=True)
class TextLine(_ToDict):
    """One line: its text, tag, mean score, pitch (median distance between
    left edges, or the spacing pitch), bounding box and its characters, one
    per character of the text."""

    text: str
    tag: int
    score: int
    pitch: float
    box: Box
    characters: List[Character] = field(default_factory=list)

    @classmethod
    def _from(cls, d: Dict[str, Any]) -> "TextLine":
        return cls(d["text"], d["tag"], d["score"], d["pitch"], tuple(d["box"]),
                   [Character._from(c) for c in d["characters"]])


@dataclass(frozen=True)
class LinesResult(_ToDict):
    """What read_lines found: the best line (or every line in reading order),
    every object kept after cleaning, and the font identified with."""

    lines: List[TextLine]
    objects: List[Character]
    font: str

    @property
    def text(self) -> str:
        """The lines' texts joined by newlines."""
        return "\n".join(line.text for line in self.lines)

    @classmethod
    def _from(cls, d: Dict[str, Any]) -> "LinesResult":
        return cls([TextLine._from(x) for x in d["lines"]],
                   [Character._from(c) for c in d["objects"]], d["font"])
