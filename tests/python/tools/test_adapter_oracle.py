"""The adapters against fresh scanners: on texts that end inside pushed or
entered modes (so a shared engine must not carry state over), and with
non-ASCII text and skipped stretches, the Pygments adapter yields exactly the
scanner's tokens at character offsets with the gaps between them, and the Lark
adapter yields them with the scanner's positions."""

import random

import pytest

import quarn
from quarn_tools import languages

pytest.importorskip("pygments")
pytest.importorskip("lark")
from lark.exceptions import UnexpectedCharacters  # noqa: E402
from pygments.token import Error  # noqa: E402

from quarn_tools.lark import lexer as lark_lexer  # noqa: E402
from quarn_tools.pygments import LANGUAGE_LEXERS, token_type_for  # noqa: E402

SNIPPETS = ['"abc', "f'{x", "`a${b", "/* open", "x = 1\n", "[1, {", "$$ select", "}", "'''",
            "# c\n", "\\", "a /b/ c", "{{ }} }", "[a]\nk = v", "<!-- -->", "*em* `c", "é☺", "\x01"]


def expected_pieces(definition, text):
    """(char offset, token type or None for skipped text, text) from a fresh scanner."""
    data, pieces, position = text.encode("utf-8"), [], 0
    for m in quarn.Scanner(definition).find_matches(text):
        start = len(data[:m.start].decode("utf-8"))
        if start != position:
            pieces.append((position, None, text[position:start]))
        pieces.append((start, m.token_type, m.text))
        position = start + len(m.text)
    if position != len(text):
        pieces.append((position, None, text[position:]))
    return pieces


def test_pygments_adapter_yields_a_fresh_scanners_tokens_and_gaps():
    rng = random.Random(5)
    for name in languages.names():
        bundled = languages.get(name)
        adapter = LANGUAGE_LEXERS[name]()
        for _ in range(8):
            text = "".join(rng.choice(SNIPPETS) for _ in range(rng.randint(0, 6)))
            expected = [(at, Error if kind is None else token_type_for(bundled.token_names.get(kind)),
                         value) for at, kind, value in expected_pieces(bundled.definition, text)]
            assert list(adapter.get_tokens_unprocessed(text)) == expected, (name, text)


# Quoted text is scanned in a pushed mode; type 6 has no terminal name.
QUOTED = r'''Q {
    mode MAIN { token r"[a-zé]+" => 1; token r"\s+" => 2; token r#"""# => 3; token r"\?" => 6;
                on 3 push STR; }
    mode STR { token r#"[^"\\]+"# => 4; token r#"""# => 5; on 5 pop; }
}'''
NAMES = {1: "WORD", 2: "WS", 3: "OPEN", 4: "CHARS", 5: "CLOSE"}


def test_lark_adapter_yields_a_fresh_scanners_tokens_up_to_the_first_fault():
    lex = lark_lexer(QUOTED, NAMES, ignore={"WS"})(type("Conf", (), {"ignore": ()})()).lex
    rng = random.Random(7)
    for _ in range(300):
        text = "".join(rng.choice(['ab', ' ', '"', 'x y', 'é\n', '?', '\\', '1', '"q"'])
                       for _ in range(rng.randint(0, 8)))
        expected, fault, position = [], None, 0
        data = text.encode("utf-8")
        for m in quarn.Scanner(QUOTED).find_matches_with_position(text):
            start = len(data[:m.start].decode("utf-8"))
            if start != position or m.token_type not in NAMES:
                fault = position if start != position else start
                break
            position = start + len(m.text)
            if m.token_type != 2:
                expected.append((NAMES[m.token_type], m.text, start, position, m.start_line,
                                 m.start_column, m.end_line, m.end_column))
        if fault is None and position != len(text):
            fault = position
        got = []
        try:
            for t in lex(text):
                got.append((t.type, t.value, t.start_pos, t.end_pos, t.line, t.column,
                            t.end_line, t.end_column))
                assert t == t.value
        except UnexpectedCharacters as error:
            assert error.pos_in_stream == fault, text
        else:
            assert fault is None, text
        assert got == expected, text
