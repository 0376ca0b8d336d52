"""The scan the adapters build on.

A scanner keeps its mode and mode stack between calls, and building one costs
milliseconds, so each definition keeps one scanner: its transitions are read
from the definition text, each scan's token types are replayed through them,
and the scanner is reused only when the scan left it in the first mode with an
empty stack. Otherwise (or when the text cannot be read here) the next scan
builds a new one.
"""

import re
from typing import Dict, Iterable, Iterator, List, Optional, Tuple

import quarn

Transitions = List[Dict[int, Tuple[str, int]]]  # per mode: type -> (kind, target mode)

_cache: Dict[str, Tuple["quarn.Scanner", Optional[Transitions]]] = {}
_CACHE_SIZE = 32


def scan(definition: str, text: str, with_positions: bool = False) -> List["quarn.TokenMatch"]:
    """The tokens of `text`, scanned from the first mode."""
    cached = _cache.pop(definition, None)
    if cached is None:
        scanner, transitions = quarn.Scanner(definition), _transitions(definition)
    else:
        scanner, transitions = cached
    if with_positions:
        matches = scanner.find_matches_with_position(text)
    else:
        matches = scanner.find_matches(text)
    if transitions is not None and _ends_in_first_mode(transitions, matches):
        if len(_cache) >= _CACHE_SIZE:
            _cache.pop(next(iter(_cache)))
        _cache[definition] = (scanner, transitions)
    return matches


def _ends_in_first_mode(transitions: Transitions, matches: List["quarn.TokenMatch"]) -> bool:
    if not any(transitions):
        return True
    switching = set().union(*transitions)
    mode, stack = 0, []
    for m in matches:
        token_type = m.token_type
        if token_type not in switching:
            continue
        move = transitions[mode].get(token_type)
        if move is None:
            continue
        kind, target = move
        if kind == "enter":
            mode = target
        elif kind == "push":
            stack.append(mode)
            mode = target
        elif stack:
            mode = stack.pop()
    return mode == 0 and not stack


_LEXEME = re.compile(r"""
    (?P<space>\s+)
  | (?P<line_comment>//[^\n]*)
  | (?P<block_comment>/\*)
  | (?P<raw>r(?P<hashes>\#*)")
  | (?P<string>"(?:[^"\\]|\\.)*")
  | (?P<word>(?:r\#)?[^\W\d]\w*)
  | (?P<number>-?[0-9][0-9a-zA-Z_]*)
  | (?P<other>=>|.)
""", re.S | re.X)


def _transitions(definition: str) -> Optional[Transitions]:
    """Each mode's transitions, as the scanner applies them; None when the text
    holds something this reader does not follow."""
    words: List[str] = []
    position, end = 0, len(definition)
    if definition.startswith("\ufeff"):
        position = 1
    while position < end:
        match = _LEXEME.match(definition, position)
        if match is None:
            return None
        kind = match.lastgroup if match.lastgroup != "hashes" else "raw"
        if match.group("raw") is not None:
            closing = '"' + match.group("hashes")
            finish = definition.find(closing, match.end())
            if finish < 0:
                return None
            words.append('"')
            position = finish + len(closing)
            continue
        if kind == "block_comment":
            after = _after_block_comment(definition, match.end())
            if after is None:
                return None
            position = after
            continue
        if kind == "string":
            words.append('"')
        elif kind not in ("space", "line_comment"):
            words.append(match.group())
        position = match.end()
    return _read_modes(words)


def _after_block_comment(text: str, position: int) -> Optional[int]:
    depth = 1
    while depth:
        opening, closing = text.find("/*", position), text.find("*/", position)
        if closing < 0:
            return None
        if 0 <= opening < closing:
            depth, position = depth + 1, opening + 2
        else:
            depth, position = depth - 1, closing + 2
    return position


def _read_modes(words: List[str]) -> Optional[Transitions]:
    modes: List[Tuple[str, List[Tuple[int, str, Optional[str]]]]] = []
    i = 2  # scanner name and its brace
    try:
        while words[i] == "mode":
            name, moves = words[i + 1], []
            i += 3
            while words[i] != "}":
                if words[i] == "on":
                    token_type, kind = int(_integer(words[i + 1])), words[i + 2]
                    target = None if kind == "pop" else words[i + 3]
                    moves.append((token_type, kind, target))
                while words[i] != ";":
                    i += 1
                i += 1
            modes.append((name, moves))
            i += 1
    except (IndexError, ValueError):
        return None
    numbers: Dict[str, int] = {}
    for number, (name, _) in enumerate(modes):
        numbers.setdefault(name, number)
    transitions: Transitions = []
    for _, moves in modes:
        table: Dict[int, Tuple[str, int]] = {}
        for token_type, kind, target in moves:
            table[token_type] = (kind, numbers.get(target, 0) if target else 0)
        transitions.append(table)
    return transitions


def _integer(text: str) -> int:
    digits = text.replace("_", "")
    for prefix, base in (("0x", 16), ("0o", 8), ("0b", 2)):
        if digits.startswith(prefix):
            return int(_leading(r"[0-9a-fA-F]*", digits[2:]) or "x", base)
    return int(_leading(r"[0-9]*", digits))


def _leading(pattern: str, text: str) -> str:
    match = re.match(pattern, text)
    return match.group() if match else ""


def char_offsets(text: str, matches: Iterable["quarn.TokenMatch"]
                 ) -> Iterator[Tuple[int, "quarn.TokenMatch"]]:
    """(character offset, match) for each match; matches hold UTF-8 byte offsets."""
    if text.isascii():
        for m in matches:
            yield m.start, m
        return
    data = text.encode("utf-8")
    byte_position = char_position = 0
    for m in matches:
        if m.start != byte_position:
            char_position += len(data[byte_position:m.start].decode("utf-8"))
        yield char_position, m
        char_position += len(m.text)
        byte_position = m.end
