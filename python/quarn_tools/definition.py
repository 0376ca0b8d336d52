"""Compose scanner definitions in Python.

A :class:`Definition` holds modes; a mode holds token clauses, each a
:func:`token` with a pattern, a token name and optionally a lookahead and a
transition. Clauses are plain values, so one list of them can be added to
several modes. Token names become token types (numbered in order of first use,
or fixed by an ``int``), and :meth:`Definition.text` writes definition text in
which every pattern is a raw string with as many ``#`` as it needs::

    from quarn_tools.definition import Definition, token

    blanks = [token(r"\\s+", "space"), token(r"//[^\\n]*", "comment")]
    d = Definition("Example")
    d.mode("CODE", blanks, token(r"\\w+", "word"), token('"', "quote", push="STRING"))
    d.mode("STRING", token(r'[^"]+', "text"), token('"', "quote", pop=True))
    scanner = d.scanner()
"""

from __future__ import annotations

import re
from dataclasses import dataclass
from typing import TYPE_CHECKING, Dict, Iterable, List, Optional, Tuple, Union

if TYPE_CHECKING:
    import quarn

__all__ = ["Definition", "Mode", "Token", "token", "literal", "raw_string"]

# Words the definition language refuses as names (it would need `r#` before them).
RESERVED = frozenset(
    "_ abstract as async await become box break const continue crate do dyn else enum extern "
    "false final fn for if impl in let loop macro match mod move mut override priv pub ref "
    "return Self self static struct super trait true try type typeof unsafe unsized use "
    "virtual where while yield".split())
_MAX_TOKEN_TYPE = 2**32 - 1
_MAX_RAW_HASHES = 255
_REGEX_META = frozenset("\\.+*?()|[]{}^$#&-~")

TokenName = Union[str, int]


def raw_string(text: str) -> str:
    """`text` as a raw string literal of the definition language: r"..." or
    r#"..."# with the fewest ``#`` that no quote in `text` can end early."""
    hashes = 0
    while '"' + "#" * hashes in text:
        hashes += 1
        if hashes > _MAX_RAW_HASHES:
            raise ValueError("a pattern needs more than 255 '#' to be quoted")
    return "r" + "#" * hashes + '"' + text + '"' + "#" * hashes


def literal(text: str) -> str:
    """A regex matching exactly `text` (the dialect has no \\Q...\\E)."""
    return "".join("\\" + c if c in _REGEX_META else c for c in text)


@dataclass(frozen=True)
class Token:
    """One token clause. Build it with :func:`token`."""

    pattern: str
    name: TokenName
    followed_by: Optional[str] = None
    not_followed_by: Optional[str] = None
    enter: Optional[str] = None
    push: Optional[str] = None
    pop: bool = False

    def transition(self) -> Optional[Tuple[str, Optional[str]]]:
        if self.enter is not None:
            return ("enter", self.enter)
        if self.push is not None:
            return ("push", self.push)
        return ("pop", None) if self.pop else None


def token(pattern: str, name: TokenName, *, followed_by: Optional[str] = None,
          not_followed_by: Optional[str] = None, enter: Optional[str] = None,
          push: Optional[str] = None, pop: bool = False) -> Token:
    """A token clause: `pattern` (a regex) reports `name`; at most one lookahead
    and at most one transition, taken in the mode the clause stands in."""
    if not isinstance(pattern, str):
        raise TypeError(f"pattern must be a str, not {type(pattern).__name__}")
    if followed_by is not None and not_followed_by is not None:
        raise ValueError("a clause takes one lookahead: followed_by or not_followed_by")
    if sum((enter is not None, push is not None, bool(pop))) > 1:
        raise ValueError("a clause takes one transition: enter, push or pop")
    if isinstance(name, bool) or not isinstance(name, (str, int)):
        raise TypeError(f"token name must be a str or an int, not {type(name).__name__}")
    if isinstance(name, int) and not 0 <= name <= _MAX_TOKEN_TYPE:
        raise ValueError(f"token type {name} is outside 0..{_MAX_TOKEN_TYPE}")
    for target in (enter, push):
        if target is not None:
            _check_name(target, "mode")
    return Token(pattern, name, followed_by, not_followed_by, enter, push, bool(pop))


Clauses = Union[Token, Iterable[Token]]


class Mode:
    """The clauses of one mode, in order (earlier clauses win ties)."""

    def __init__(self, name: str) -> None:
        self.name = name
        self.clauses: List[Token] = []

    def add(self, *clauses: Clauses) -> "Mode":
        """Appends clauses; each argument is a clause or an iterable of them."""
        for item in clauses:
            if isinstance(item, Token):
                self.clauses.append(item)
            else:
                for clause in item:
                    if not isinstance(clause, Token):
                        raise TypeError(f"expected token clauses, got {type(clause).__name__}")
                    self.clauses.append(clause)
        return self


class Definition:
    """A scanner definition under construction. The first mode is the start mode."""

    def __init__(self, name: str = "Scanner") -> None:
        _check_name(name, "scanner")
        self.name = name
        self.modes: List[Mode] = []

    def mode(self, name: str, *clauses: Clauses) -> Mode:
        """Adds a mode (or returns the one of that name) and appends `clauses` to it."""
        _check_name(name, "mode")
        for mode in self.modes:
            if mode.name == name:
                return mode.add(*clauses)
        mode = Mode(name)
        self.modes.append(mode)
        return mode.add(*clauses)

    @property
    def token_types(self) -> Dict[TokenName, int]:
        """Token name to token type: ints stand for themselves, strings are
        numbered from 1 in order of first use, skipping types given as ints."""
        taken = {c.name for m in self.modes for c in m.clauses if isinstance(c.name, int)}
        types: Dict[TokenName, int] = {number: number for number in taken}
        following = 1
        for mode in self.modes:
            for clause in mode.clauses:
                if clause.name in types:
                    continue
                while following in taken:
                    following += 1
                if following > _MAX_TOKEN_TYPE:
                    raise ValueError("more token names than token types")
                types[clause.name] = following
                taken.add(following)
        return types

    @property
    def token_names(self) -> Dict[int, str]:
        """Token type to name, for the names given as strings."""
        return {t: n for n, t in self.token_types.items() if isinstance(n, str)}

    def text(self) -> str:
        """The definition text. Raises ValueError for a definition the scanner
        would misread: no mode, a transition into a missing mode, or clauses of
        one type in one mode that ask for different transitions."""
        if not self.modes:
            raise ValueError(f"definition {self.name!r} has no mode")
        names = {mode.name for mode in self.modes}
        types = self.token_types
        lines = [f"{self.name} {{"]
        for mode in self.modes:
            lines.append(f"    mode {mode.name} {{")
            transitions: Dict[int, Tuple[str, Optional[str]]] = {}
            for clause in mode.clauses:
                lines.append(f"        {_clause_text(clause, types[clause.name])}")
                transition = clause.transition()
                if transition is None:
                    continue
                if transition[1] is not None and transition[1] not in names:
                    raise ValueError(f"mode {mode.name!r}: token {clause.name!r} leads to "
                                     f"mode {transition[1]!r}, which does not exist")
                earlier = transitions.setdefault(types[clause.name], transition)
                if earlier != transition:
                    raise ValueError(f"mode {mode.name!r}: token {clause.name!r} has two "
                                     f"transitions, {_describe(earlier)} and {_describe(transition)}")
            for token_type, (kind, target) in transitions.items():
                lines.append(f"        on {token_type} {kind}{'' if target is None else ' ' + target};")
            lines.append("    }")
        lines.append("}")
        return "\n".join(lines) + "\n"

    def scanner(self) -> "quarn.Scanner":
        """A new quarn.Scanner for this definition."""
        import quarn

        return quarn.Scanner(self.text())


def _clause_text(clause: Token, token_type: int) -> str:
    lookahead = ""
    if clause.followed_by is not None:
        lookahead = f" followed by {raw_string(clause.followed_by)}"
    elif clause.not_followed_by is not None:
        lookahead = f" not followed by {raw_string(clause.not_followed_by)}"
    return f"token {raw_string(clause.pattern)}{lookahead} => {token_type};"


def _describe(transition: Tuple[str, Optional[str]]) -> str:
    kind, target = transition
    return kind if target is None else f"{kind} {target}"


_IDENTIFIER = re.compile(r"[^\W\d]\w*")


def _check_name(name: str, what: str) -> None:
    if not isinstance(name, str) or not _IDENTIFIER.fullmatch(name) or not name.isidentifier():
        raise ValueError(f"{what} name {name!r} is not an identifier")
    if name in RESERVED:
        raise ValueError(f"{what} name {name!r} is a reserved word of the definition language")
