"""The lexers Python users run today, set up to produce quarn's token streams.

The stdlib idiom is one master pattern of named groups run with `finditer`
(or, with modes, `search` from the current position and a mode stack). A
backtracking engine takes the first alternative that matches where quarn takes
the longest match, so the alternatives are reordered here until both agree:
longer literals first, a keyword refuses to end inside a word, a token that
starts like another (a string prefix like a name, `.5` like an operator) comes
first. Lookahead clauses become `(?=...)` / `(?!...)`.

As in the tokenizer recipe of Python's documentation, a leading SKIP group eats
runs of blanks at which no token starts (quarn skips them one at a time);
without it a backtracking engine tries every alternative at every blank.
"""

from __future__ import annotations

import hashlib
from array import array
import re
from dataclasses import dataclass, field
from typing import Callable

import definition_file

# Constructs of quarn's dialect that Python's engines spell differently. The
# replacements agree on every character the workloads contain.
_TRANSLATIONS = [
    (r"[\p{XID_Start}_]", r"[^\W\d]"),
    (r"\p{XID_Continue}", r"\w"),
]


def translate(pattern: str) -> str:
    for ours, theirs in _TRANSLATIONS:
        pattern = pattern.replace(ours, theirs)
    return pattern


@dataclass(frozen=True)
class IdiomSpec:
    """How one definition becomes a master pattern per mode."""

    definition: str
    # token types in the order their alternatives appear, per mode; types not
    # listed keep their definition order after the listed ones
    order: dict[str, list[int]]
    # types whose match must not stop inside a word (keywords)
    whole_word: frozenset[int] = frozenset()
    # per mode: blanks to skip, none of which can start a token there
    skip: dict[str, str] = field(default_factory=dict)


def _large_keywords() -> frozenset[int]:
    return frozenset(t.token_type for t in definition_file.load("large")[0].tokens if 100 <= t.token_type < 300)


SPECS = {
    "json": IdiomSpec("json", {"VALUE": [7, 8, 1, 2, 3, 4, 5, 6, 9, 10, 11]}, skip={"VALUE": r"[ \t\n\r]+"}),
    "python": IdiomSpec("python", {"CODE": [4, 5, 1, 2, 3, 6, 7, 8]}, frozenset({1}), {"CODE": r"[ \t\f\r]+"}),
    "pathological": IdiomSpec("pathological", {"MAIN": [1]}),
    "large": IdiomSpec(
        "large",
        {
            "CODE": sorted(_large_keywords()) + [2, 1, 5, 4, 3, 6, 7, 13, 8],
            "STRING": [11, 12, 10, 8],
        },
        _large_keywords(),
        {"CODE": r"[ \t\n\r]+"},
    ),
}


SKIP = "SKIP"


def master_patterns(spec: IdiomSpec) -> tuple[list[str], list[dict[str, tuple[str, int | None]]], dict[str, int]]:
    """Per mode: the master pattern text and the transitions keyed by group name;
    plus the token type of every group name."""
    modes = definition_file.load(spec.definition)
    index = {m.name: i for i, m in enumerate(modes)}
    patterns, transitions, types = [], [], {}
    for mode in modes:
        rank = {t: i for i, t in enumerate(spec.order.get(mode.name, []))}
        ordered = sorted(enumerate(mode.tokens), key=lambda p: (rank.get(p[1].token_type, len(rank)), p[0]))
        alternatives, names_by_type = [], {}
        if mode.name in spec.skip:
            alternatives.append(f"(?P<{SKIP}>{spec.skip[mode.name]})")
        for position, token in ordered:
            name = f"T{token.token_type}_{position}"
            body = translate(token.pattern)
            if token.token_type in spec.whole_word:
                body = f"(?:{body})(?!\\w)"
            if token.lookahead is not None:
                body = f"(?:{body})(?{'!' if token.negative else '='}{translate(token.lookahead)})"
            alternatives.append(f"(?P<{name}>{body})")
            names_by_type.setdefault(token.token_type, []).append(name)
            types[name] = token.token_type
        patterns.append("|".join(alternatives))
        table = {}
        for token_type, (kind, target) in mode.transitions.items():
            for name in names_by_type.get(token_type, []):
                table[name] = (kind, None if target is None else index[target])
        transitions.append(table)
    return patterns, transitions, types


class Idiom:
    """A compiled master-pattern lexer. `scan` returns (group name, text, start,
    end) tuples; `types` maps group names to quarn token types."""

    def __init__(self, spec: IdiomSpec, compile: Callable = re.compile):
        texts, self.transitions, self.types = master_patterns(spec)
        self.pattern_texts = texts
        self.patterns = [compile(t) for t in texts]
        self.scan = self._scan_one_mode if len(texts) == 1 else self._scan_modes

    def _scan_one_mode(self, text: str) -> list[tuple[str, str, int, int]]:
        return [
            (kind, m.group(), m.start(), m.end())
            for m in self.patterns[0].finditer(text)
            if (kind := m.lastgroup) != SKIP
        ]

    def _scan_modes(self, text: str) -> list[tuple[str, str, int, int]]:
        searches = [p.search for p in self.patterns]
        transitions = self.transitions
        tokens = []
        append = tokens.append
        mode, stack, pos = 0, [], 0
        search, switches = searches[0], transitions[0]
        while (m := search(text, pos)) is not None:
            kind = m.lastgroup
            pos = m.end()
            if kind == SKIP:
                continue
            append((kind, m.group(), m.start(), pos))
            switch = switches.get(kind)
            if switch is not None:
                action, target = switch
                if action == "push":
                    stack.append(mode)
                    mode = target
                elif action == "enter":
                    mode = target
                elif stack:
                    mode = stack.pop()
                search, switches = searches[mode], transitions[mode]
        return tokens

    def stream(self, tokens: list[tuple[str, str, int, int]]) -> tuple[list[int], list[str]]:
        types = self.types
        return [types[t[0]] for t in tokens], [t[1] for t in tokens]


def quarn_stream(matches) -> tuple[list[int], list[str]]:
    return [m.token_type for m in matches], [m.text for m in matches]


def pairs(stream: tuple[list[int], list[str]]) -> list[tuple[int, str]]:
    return list(zip(*stream))


def digest(stream: tuple[list[int], list[str]]) -> tuple[int, str]:
    """Token count and a short hash of the (type, text) sequence. Byte offsets
    (quarn) and str indices (re) differ for non-ASCII input, so they are left out."""
    types, texts = stream
    h = hashlib.blake2b(digest_size=8)
    h.update(array("Q", types).tobytes())
    h.update(array("Q", map(len, texts)).tobytes())
    h.update("".join(texts).encode("utf-8", "surrogatepass"))
    return len(types), h.hexdigest()


def pygments_lexer(workload: str):
    """Pygments' own lexer for a workload, or None where it has none."""
    from pygments.lexers import JsonLexer, PythonLexer

    return {"json": JsonLexer, "python": PythonLexer}.get(workload, lambda: None)()
