"""The benchmark peers must produce quarn's token streams, or their timings
compare different work. Checked against a longest-match reference built on the
`regex` module's POSIX mode, and against quarn itself when it is installed."""

from __future__ import annotations

import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "benchmarks"))

import definition_file  # noqa: E402
import peers  # noqa: E402
import workloads  # noqa: E402

regex = pytest.importorskip("regex")

# Inputs that separate longest match from first-alternative match.
TRICKY = {
    "json": '[-0.5e+10, 01, 1., -, "a\\u00e9\\"b", "\\x", tru, nul, 1e, true, {"k":null}] "open',
    "python": (
        "0x1F 0b101 0o17 0x 0_1 1_000.5e-3J .5 ... x.y 1.__class__ 1e 1ej rb'x' Rb\"y\" bar'z' "
        "f'''a''' \"\"\"\"\"\" \"\"\"a\"\"\"\" u\"\\\\\" 'it\\'s' \"\"\"say \"hi\\\"\"\"\" ifx if is isinstance "
        "import a->b **= //= := <<= != @ # comment\n'open\nλx = 1\n"
    ),
    "large": (
        "iffy if( foo( foo (1..5 1.5e3 1.5e 1.5e+ 0xFF 0x 1_000 größe(x) in int interface "
        '"a\\n\\u{1F600}\\u{}\\q" \'\\n\' \'ab\' /* a ** b */ /* open // c\n'
        "a >>>= b >>= c ... ..= .. ?. ?? :: -> => x@y #z ~w"
    ),
    "pathological": "aaab aab b aaa ab",
}


def oracle(name: str, text: str) -> list[tuple[int, str]]:
    """Longest match, ties to the earlier clause, lookahead on what follows,
    one character skipped where nothing matches, mode switches after tokens."""
    modes = definition_file.load(name)
    index = {m.name: i for i, m in enumerate(modes)}
    compiled = []
    for mode in modes:
        clauses = []
        for token in mode.tokens:
            posix = token.pattern
            if token.lookahead is not None:
                posix = f"(?:{posix})(?{'!' if token.negative else '='}{token.lookahead})"
            clauses.append((token.token_type, regex.compile(token.pattern), regex.compile(posix, regex.POSIX)))
        compiled.append(clauses)
    out, pos, mode, stack = [], 0, 0, []
    while pos < len(text):
        best_type, best_len = None, 0
        for token_type, quick, posix in compiled[mode]:
            if quick.match(text, pos) and (m := posix.match(text, pos)) and m.end() - pos > best_len:
                best_type, best_len = token_type, m.end() - pos
        if best_type is None:
            pos += 1
            continue
        out.append((best_type, text[pos : pos + best_len]))
        pos += best_len
        kind, target = modes[mode].transitions.get(best_type, (None, None))
        if kind == "push":
            stack.append(mode)
            mode = index[target]
        elif kind == "enter":
            mode = index[target]
        elif kind == "pop" and stack:
            mode = stack.pop()
    return out


def small_text(name: str) -> str:
    if name == "json":
        return workloads.json_text(20_000)
    if name == "python":
        return workloads.python_text(40_000)
    if name == "large":
        keywords = [t.pattern for t in definition_file.load("large")[0].tokens if 100 <= t.token_type < 300]
        return workloads.large_text(15_000, keywords)
    return workloads.pathological_text(300) + "b"


NAMES = ["json", "python", "large", "pathological"]


@pytest.mark.parametrize("name", NAMES)
@pytest.mark.parametrize("engine", ["re", "regex"])
def test_idiom_yields_the_longest_match_stream(name, engine):
    import re

    idiom = peers.Idiom(peers.SPECS[name], {"re": re, "regex": regex}[engine].compile)
    for text in (TRICKY[name], small_text(name)):
        assert peers.pairs(idiom.stream(idiom.scan(text))) == oracle(name, text)


def test_workloads_are_deterministic_and_sized():
    first = workloads.json_text(50_000)
    assert first == workloads.json_text(50_000)
    size = len(first.encode())
    assert 50_000 <= size < 60_000
    # byte offsets and str indices must differ, and escapes must be exercised
    assert size > len(first) and '\\"' in first and "\\u0001" in first
    python = workloads.python_text(100_000)
    assert python == workloads.python_text(100_000) and len(python.encode()) >= 100_000


@pytest.mark.parametrize("name", NAMES)
def test_quarn_agrees_with_the_idiom(name):
    quarn = pytest.importorskip("quarn")
    idiom = peers.Idiom(peers.SPECS[name])
    scanner = quarn.Scanner(definition_file.read_text(name))
    for text in (TRICKY[name], small_text(name)):
        tokens = idiom.scan(text)
        plain = scanner.find_matches(text)
        positioned = scanner.find_matches_with_position(text)
        expected = peers.pairs(idiom.stream(tokens))
        assert peers.pairs(peers.quarn_stream(plain)) == expected
        assert peers.pairs(peers.quarn_stream(positioned)) == expected
        # the same tokens located two ways: str indices (re) against byte
        # offsets and line/column (quarn)
        for (_, _, start, end), m in zip(tokens, positioned):
            assert (m.start, m.end) == (len(text[:start].encode()), len(text[:end].encode()))
            line = text.count("\n", 0, start) + 1
            assert (m.start_line, m.start_column) == (line, start - (text.rfind("\n", 0, start) + 1) + 1)
