"""Benchmark inputs, made at run time and identical on every run.

Every generator takes a target size and returns a `str`; the same size gives the
same text. Sizes are in UTF-8 bytes, approximate: a generator stops at the first
whole unit (record, file, statement) that reaches the target.
"""

from __future__ import annotations

import json
import os
import random
import sysconfig

MB = 1_000_000

_WORDS = (
    "alpha beta gamma delta epsilon value count total index name label state mode "
    "token scanner buffer offset length width height colour status result item entry"
).split()
# Non-ASCII text of 2-, 3- and 4-byte UTF-8 characters: offsets in bytes and in
# characters must differ for the peers to be compared honestly.
_NON_ASCII = ["café", "naïve", "Grüße", "déjà vu", "Ελληνικά", "данные", "日本語", "中文字符", "🙂", "😀 ok"]
_ESCAPES = ['"', "\\", "\n", "\t", "/", "\u00e9", "\u0001", "\u2028"]


def _json_string(rng: random.Random) -> str:
    roll = rng.random()
    if roll < 0.55:
        return rng.choice(_WORDS)
    if roll < 0.75:
        return " ".join(rng.choice(_WORDS) for _ in range(rng.randint(2, 8)))
    if roll < 0.9:
        return rng.choice(_NON_ASCII) + " " + rng.choice(_WORDS)
    return rng.choice(_WORDS) + rng.choice(_ESCAPES) + rng.choice(_WORDS)


def _json_value(rng: random.Random, depth: int):
    roll = rng.random()
    if depth < 4 and roll < 0.18:
        return {_json_string(rng): _json_value(rng, depth + 1) for _ in range(rng.randint(1, 6))}
    if depth < 4 and roll < 0.28:
        return [_json_value(rng, depth + 1) for _ in range(rng.randint(0, 6))]
    if roll < 0.55:
        return _json_string(rng)
    if roll < 0.7:
        return rng.randint(-100_000, 1_000_000)
    if roll < 0.82:
        return round(rng.uniform(-1000, 1000), rng.randint(1, 6))
    if roll < 0.86:
        return rng.uniform(1e-30, 1e30)  # repr with an exponent
    return rng.choice([True, False, None])


def json_text(size: int) -> str:
    """A JSON array of nested records: objects, arrays, strings with escapes and
    non-ASCII text, integers, fractions, exponents and the three literals."""
    rng = random.Random(20261207)
    parts = ["[\n"]
    total = 2
    first = True
    while total < size:
        record = {
            "id": rng.randint(0, 10**9),
            "name": _json_string(rng),
            "tags": [_json_string(rng) for _ in range(rng.randint(0, 4))],
            "payload": _json_value(rng, 0),
            "active": rng.random() < 0.5,
            "score": round(rng.uniform(0, 100), 3),
            "parent": None,
        }
        chunk = ("" if first else ",\n") + json.dumps(record, ensure_ascii=False)
        first = False
        parts.append(chunk)
        total += len(chunk.encode())
    parts.append("\n]\n")
    return "".join(parts)


def python_stdlib_files() -> list[str]:
    """The standard library's .py files (site-packages excluded), in sorted order."""
    root = sysconfig.get_paths()["stdlib"]
    found = []
    for directory, subdirs, files in os.walk(root):
        subdirs[:] = sorted(d for d in subdirs if d not in ("site-packages", "__pycache__"))
        found.extend(os.path.join(directory, f) for f in files if f.endswith(".py"))
    return sorted(found)


def python_text(size: int) -> str:
    """Concatenated standard-library sources until `size` bytes; files that are
    not valid UTF-8 (a few encoding tests) are left out."""
    parts: list[str] = []
    total = 0
    for path in python_stdlib_files():
        with open(path, "rb") as f:
            raw = f.read()
        try:
            text = raw.decode("utf-8")
        except UnicodeDecodeError:
            continue
        parts.append(text if text.endswith("\n") else text + "\n")
        total += len(raw)
        if total >= size:
            break
    return "".join(parts)


def pathological_text(length: int) -> str:
    """A run of `a` with no `b`: every start position reads to the end before
    giving up, for a longest-match scanner and a backtracking one alike."""
    return "a" * length


_IDENTS = ["count", "total", "buffer", "offset", "größe", "πλάτος", "данные", "変数", "_tmp", "x1", "naïve_ß"]


def _large_statement(rng: random.Random, keywords: list[str]) -> str:
    def ident() -> str:
        base = rng.choice(_IDENTS)
        return base + (str(rng.randint(0, 99)) if rng.random() < 0.4 else "")

    def operand() -> str:
        roll = rng.random()
        if roll < 0.35:
            return ident()
        if roll < 0.5:
            return str(rng.randint(0, 100_000))
        if roll < 0.58:
            return f"{rng.randint(0, 999)}.{rng.randint(0, 999)}"
        if roll < 0.62:
            return f"0x{rng.randint(0, 0xFFFFFF):X}"
        if roll < 0.75:
            return f"{ident()}({ident()}, {rng.randint(0, 9)})"
        if roll < 0.88:
            body = rng.choice(_WORDS) + rng.choice(["\\n", "\\t", '\\"', "\\\\", "\\u{1F600}", "\\q", " ", "é"])
            return '"' + body + rng.choice(_WORDS) + '"'
        if roll < 0.92:
            return rng.choice(["'a'", "'\\n'", "'ß'"])
        return f"{rng.randint(0, 9)}..{rng.randint(10, 99)}"

    ops = ["+", "-", "*", "/", "%", "==", "!=", "<=", ">=", "&&", "||", "<<", ">>", "??", "**", "&", "|", "^"]
    assign = ["=", "+=", "-=", "*=", "/=", "<<=", ">>=", ">>>=", "**=", "|="]
    kind = rng.random()
    keyword = rng.choice(keywords)
    expression = operand() + "".join(f" {rng.choice(ops)} {operand()}" for _ in range(rng.randint(0, 3)))
    if kind < 0.3:
        return f"{keyword} {ident()} {rng.choice(assign)} {expression};"
    if kind < 0.5:
        return f"{keyword} ({expression}) {{ {ident()}.{ident()}({operand()}); }}"
    if kind < 0.65:
        return f"{ident()}::{ident()} -> {keyword} [{operand()}, {operand()}] => {expression};"
    if kind < 0.75:
        return f"// {keyword} {rng.choice(_WORDS)} {rng.choice(_NON_ASCII)}"
    if kind < 0.8:
        return f"/* {rng.choice(_WORDS)} * {rng.choice(_WORDS)}\n   {rng.choice(_NON_ASCII)} **/"
    return f"{keyword} {keyword}{rng.randint(0, 9)} {ident()}?.{ident()} ~{operand()} @{ident()} #{ident()};"


def large_text(size: int, keywords: list[str]) -> str:
    """Source text for the large definition: every keyword in use (and words that
    only start like one), calls, numbers, ranges, strings with escapes, comments."""
    rng = random.Random(150)
    lines: list[str] = []
    total = 0
    while total < size:
        line = "    " * rng.randint(0, 3) + _large_statement(rng, keywords) + "\n"
        lines.append(line)
        total += len(line.encode())
    return "".join(lines)
