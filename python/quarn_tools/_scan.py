"""The scan the adapters build on: tokens with character offsets.

Kept apart so that the adapters do not depend on how a scan is run. A scanner
keeps its mode between calls, so every call builds one from the definition and
thus starts in the first mode.
"""

from typing import Iterator, List, Tuple

import quarn


def scan(definition: str, text: str, with_positions: bool = False) -> List["quarn.TokenMatch"]:
    scanner = quarn.Scanner(definition)
    if with_positions:
        return scanner.find_matches_with_position(text)
    return scanner.find_matches(text)


def char_offsets(text: str, matches) -> Iterator[Tuple[int, "quarn.TokenMatch"]]:
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
