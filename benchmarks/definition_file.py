"""Reads the benchmark definitions (benchmarks/definitions/*.quarn) into plain
records, so the peers can be built from the same token table.

Only the subset the benchmark files use is understood: raw string literals
(r"..." and r#"..."#), decimal token types, optional lookahead, and
push/enter/pop transitions. Anything else raises ValueError.
"""

from __future__ import annotations

import re
from dataclasses import dataclass, field
from pathlib import Path

DEFINITIONS = Path(__file__).resolve().parent / "definitions"

_RAW = r'r(?P<{0}h>#*)"(?P<{0}>.*?)"(?P={0}h)'
_TOKEN = re.compile(
    r"token\s+" + _RAW.format("pattern")
    + r"(?:\s+(?P<negative>not\s+)?followed\s+by\s+" + _RAW.format("lookahead") + r")?"
    + r"\s*=>\s*(?P<type>\d+)\s*;"
)
_TRANSITION = re.compile(r"on\s+(?P<type>\d+)\s+(?:(?P<kind>push|enter)\s+(?P<target>\w+)|(?P<pop>pop))\s*;")
_MODE = re.compile(r"mode\s+(?P<name>\w+)\s*\{")


@dataclass(frozen=True)
class Token:
    pattern: str
    token_type: int
    lookahead: str | None = None
    negative: bool = False


@dataclass
class Mode:
    name: str
    tokens: list[Token] = field(default_factory=list)
    # token type -> ("push" | "enter", target mode name) or ("pop", None)
    transitions: dict[int, tuple[str, str | None]] = field(default_factory=dict)


def read_text(name: str) -> str:
    return (DEFINITIONS / f"{name}.quarn").read_text(encoding="utf-8")


def parse(text: str) -> list[Mode]:
    modes: list[Mode] = []
    pos = text.index("{") + 1
    while True:
        pos = _skip_space(text, pos)
        if text[pos] == "}":
            break
        m = _MODE.match(text, pos)
        if not m:
            raise ValueError(f"unsupported definition text at offset {pos}")
        mode = Mode(m.group("name"))
        modes.append(mode)
        pos = m.end()
        while True:
            pos = _skip_space(text, pos)
            if text[pos] == "}":
                pos += 1
                break
            if t := _TOKEN.match(text, pos):
                mode.tokens.append(
                    Token(t.group("pattern"), int(t.group("type")), t.group("lookahead"), bool(t.group("negative")))
                )
                pos = t.end()
            elif t := _TRANSITION.match(text, pos):
                kind = "pop" if t.group("pop") else t.group("kind")
                mode.transitions[int(t.group("type"))] = (kind, t.group("target"))
                pos = t.end()
            else:
                raise ValueError(f"unsupported clause at offset {pos}: {text[pos:pos + 40]!r}")
    return modes


def _skip_space(text: str, pos: int) -> int:
    while pos < len(text) and text[pos].isspace():
        pos += 1
    if pos >= len(text):
        raise ValueError("definition ends early")
    return pos


def load(name: str) -> list[Mode]:
    return parse(read_text(name))
