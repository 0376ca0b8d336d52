"""quarn_tools.Lexer against quarn.Scanner, and its scans against each other."""

import enum
import io
import pickle
import threading

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quarn
from quarn_tools import (BuildError, DefinitionError, InvalidUtf8Error, Lexer, LexerState,
                         PositionedToken, Token)

from .strategies import definitions, texts

NESTED = r'''
N {
    mode OUT {
        token "[a-z]+" => 1;
        token "\\s+" => 2;
        token "<" => 3;
        on 3 push IN;
    }
    mode IN {
        token "[0-9]+" followed by ">" => 4;
        token "[0-9]+" => 5;
        token ">" => 6;
        token "<" => 3;
        on 3 push IN;
        on 6 pop;
    }
}
'''


def reference(definition, text):
    """quarn.Scanner's tokens as PositionedToken tuples with byte offsets."""
    matches = quarn.Scanner(definition).find_matches_with_position(text)
    return [(m.token_type, m.start, m.end, m.text, m.start_line, m.start_column, m.end_line,
             m.end_column) for m in matches]


def char_offsets(text):
    """Byte offset -> character offset, for every character boundary."""
    table, at = {0: 0}, 0
    for i, ch in enumerate(text):
        at += len(ch.encode())
        table[at] = i + 1
    return table


@settings(max_examples=150, deadline=None)
@given(definitions(), texts)
def test_tokens_scan_and_find_matches_agree(definition, text):
    lexer = Lexer(definition)
    expected = reference(definition, text)
    assert [tuple(t) for t in lexer.tokens(text, positions=True)] == expected
    # Tokens unpacked as they come (the iterator refills a released one in
    # place) and tokens kept by the caller, which must not change.
    unpacked = [(kind, start, end, body) for kind, start, end, body in lexer.tokens(text)]
    kept = list(lexer.tokens(text))
    assert unpacked == [tuple(t) for t in kept] == [e[:4] for e in expected]
    table = lexer.scan(text, positions=True)
    assert [tuple(t) for t in table] == expected
    assert table.texts() == [e[3] for e in expected]
    # Character offsets slice the str itself.
    chars = char_offsets(text)
    by_chars = lexer.scan(text, offsets="chars")
    assert [(t.start, t.end) for t in by_chars] == [(chars[e[1]], chars[e[2]]) for e in expected]
    assert [text[t.start:t.end] for t in by_chars] == [e[3] for e in expected]
    assert [tuple(t) for t in lexer.tokens(text, offsets="chars")] == [tuple(t) for t in by_chars]


@settings(max_examples=100, deadline=None)
@given(definitions(), texts, st.integers(1, 8), st.booleans())
def test_scan_file_in_pieces_equals_the_whole_scan(definition, text, chunk_size, positions):
    lexer = Lexer(definition)
    expected = [tuple(t) for t in lexer.scan(text, positions=positions)]
    data = io.BytesIO(text.encode())
    batches = list(lexer.scan_file(data, chunk_size=chunk_size, positions=positions))
    assert [tuple(t) for batch in batches for t in batch] == expected
    assert all(len(batch) for batch in batches)


@settings(max_examples=60, deadline=None)
@given(definitions(), st.lists(texts, max_size=6))
def test_state_carries_modes_and_counters_across_calls(definition, parts):
    """Scanning parts one after another with a state equals scanning them
    apart with the mode handed on; positions continue across the parts."""
    lexer = Lexer(definition)
    state = LexerState()
    scanner = quarn.Scanner(definition)  # keeps its mode between calls, too
    line, column = 1, 1
    for part in parts:
        got = [tuple(t) for t in lexer.tokens(part, positions=True, state=state)]
        matches = scanner.find_matches_with_position(part)
        rebased = []
        for m in matches:
            def at(l, c):
                return (line, column + c - 1) if l == 1 else (line + l - 1, c)
            rebased.append((m.token_type, m.start, m.end, m.text,
                            *at(m.start_line, m.start_column), *at(m.end_line, m.end_column)))
        assert got == rebased
        if "\n" in part:
            line, column = line + part.count("\n"), len(part) - part.rfind("\n")
        else:
            column += len(part)
        assert (state.line, state.column) == (line, column)
    assert state.offset == sum(len(p.encode()) for p in parts)
    assert state.char_offset == sum(len(p) for p in parts)


def test_scan_file_resumes_from_a_pickled_state(tmp_path):
    lexer = Lexer(NESTED)
    text = "ab <1<22> 3> cd <4>\n" * 200
    path = tmp_path / "input.txt"
    path.write_text(text)
    expected = [tuple(t) for t in lexer.scan(text, positions=True)]
    state = LexerState()
    got = []
    for batch in lexer.scan_file(path, chunk_size=7, positions=True, state=state):
        got.extend(tuple(t) for t in batch)
        if len(got) > 300:
            break
    resumed = pickle.loads(pickle.dumps(state))
    assert got[: len(got)] and resumed.offset > 0
    # Tokens before the state's offset are the ones to keep.
    kept = [t for t in got if t[2] <= resumed.offset]
    for batch in lexer.scan_file(str(path), chunk_size=64, positions=True, state=resumed):
        kept.extend(tuple(t) for t in batch)
    assert kept == expected
    assert resumed.offset == len(text.encode()) and resumed.mode == 0 and resumed.stack == ()


def test_invalid_utf8_in_a_file_names_its_offset():
    lexer = Lexer(NESTED)
    data = "abc é ".encode() * 100 + b"\xe2\x82" + b" more"
    for chunk_size in (1, 3, 1000):
        with pytest.raises(InvalidUtf8Error) as caught:
            for _ in lexer.scan_file(io.BytesIO(data), chunk_size=chunk_size):
                pass
        assert caught.value.offset == 700
        assert "700" in str(caught.value)
    with pytest.raises(InvalidUtf8Error) as caught:
        list(lexer.scan_file(io.BytesIO(b"abc\xf0\x9f"), chunk_size=2))
    assert caught.value.offset == 3


def test_scan_many_equals_one_scan_per_document():
    lexer = Lexer(NESTED)
    documents = [f"w{i} <{i}> x" * (i % 7) for i in range(300)]
    for threads in (1, 2, 4):
        table = lexer.scan_many(documents, threads=threads, positions=True)
        got = list(zip(table.documents, (tuple(t) for t in table)))
        expected = [(d, tuple(t)) for d, text in enumerate(documents)
                    for t in lexer.scan(text, positions=True)]
        assert got == expected


def test_scan_many_reads_arrow_string_columns_in_place():
    pa = pytest.importorskip("pyarrow")
    lexer = Lexer(NESTED)
    documents = [f"wé{i} <{i}> x😀" * (i % 5) for i in range(60)]
    expected = lexer.scan_many(documents, threads=2, positions=True)
    expected_rows = list(zip(expected.documents, (tuple(t) for t in expected)))
    sliced = pa.array(["zz <9>"] * 3 + documents + ["tail"])[3:3 + len(documents)]
    for column in (sliced, pa.array(documents, pa.large_string()),
                   pa.chunked_array([documents[:25], documents[25:]])):
        table = lexer.scan_many(column, threads=2, positions=True)
        assert list(zip(table.documents, (tuple(t) for t in table))) == expected_rows
        assert table.texts() == expected.texts()
    with pytest.raises(TypeError):
        lexer.scan_many(pa.array(["a", None]))
    offsets = pa.py_buffer(b"\0\0\0\0\x01\0\0\0\x03\0\0\0")
    bad = pa.Array.from_buffers(pa.string(), 2, [None, offsets, pa.py_buffer(b"ab\xff")])
    with pytest.raises(InvalidUtf8Error) as caught:
        lexer.scan_many(bad)
    assert caught.value.offset == 1 and "document 1" in str(caught.value)


def test_one_lexer_shared_by_threads():
    lexer = Lexer(NESTED)
    texts = [f"a{i} <1<{i}>> b " * 500 for i in range(8)]
    expected = [[tuple(t) for t in lexer.scan(t)] for t in texts]
    results = [None] * len(texts)

    def work(i):
        for _ in range(5):
            results[i] = [tuple(t) for t in lexer.scan(texts[i])]
            assert [tuple(t) for t in lexer.tokens(texts[i])] == results[i]

    threads = [threading.Thread(target=work, args=(i,)) for i in range(len(texts))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == expected


class Kind(enum.IntEnum):
    WORD = 1
    SPACE = 2


def test_pickling_and_names():
    lexer = pickle.loads(pickle.dumps(Lexer(NESTED, names=Kind)))
    tokens = list(lexer.tokens("ab <7>"))
    assert [t.name for t in tokens] == ["WORD", "SPACE", None, None, None]
    assert isinstance(tokens[0], Token) and tokens[0] == (1, 0, 2, "ab")
    positioned = lexer.scan("ab", positions=True)[0]
    assert isinstance(positioned, PositionedToken) and positioned.end_column == 3
    for token in (tokens[0], tokens[2], positioned):
        copy = pickle.loads(pickle.dumps(token))
        assert (copy, copy.name, type(copy).__mro__[1:]) == (token, token.name,
                                                              type(token).__mro__[1:])
    state = LexerState(mode=1, stack=(0, 1), offset=5, char_offset=4, line=2, column=3)
    assert pickle.loads(pickle.dumps(state)) == state


def test_numpy_reads_the_columns_in_place():
    numpy = pytest.importorskip("numpy")
    lexer = Lexer(NESTED)
    table = lexer.scan("ab <12> cd " * 1000, positions=True)
    starts = numpy.asarray(table.starts)
    assert starts.dtype == numpy.int64 and len(starts) == len(table)
    assert not starts.flags.writeable and not starts.flags.owndata
    address = starts.__array_interface__["data"][0]
    assert address == numpy.asarray(table.starts).__array_interface__["data"][0]
    assert numpy.asarray(table.types).dtype == numpy.uint32
    assert (numpy.asarray(table.ends) > starts).all()
    # The arrays keep the columns alive on their own.
    lines = numpy.asarray(table.start_lines)
    del table
    assert lines.sum() == len(lines)
    assert lexer.scan("ab cd").nbytes == 3 * 20


def test_definition_errors_point_at_the_offending_token():
    definition = 'S {\n  mode A {\n    token "a" => x;\n  }\n}'
    with pytest.raises(DefinitionError) as caught:
        Lexer(definition)
    error = caught.value
    assert (error.line, error.column) == (3, 18)
    assert isinstance(error, ValueError)
    assert '    token "a" => x;\n' in str(error) and str(error).endswith(" " * 21 + "^")
    with pytest.raises(ValueError) as original:
        quarn.Scanner(definition)
    assert error.reason == str(original.value)
    # A mode body that ends too soon: the caret is on its closing brace.
    with pytest.raises(DefinitionError) as caught:
        Lexer('S {\n  mode A {\n    token "a" =>\n  }\n}')
    assert (caught.value.line, caught.value.column) == (4, 3)


@pytest.mark.parametrize(
    "definition, mode, clause, line",
    [
        # A token regex that cannot be compiled.
        ('S {\n mode A {\n  token "a" => 1;\n  token "(b" => 2;\n } }', "A", 2, 4),
        # An unknown target mode.
        ('S { mode A { token "a" => 1;\n on 1 enter NOWHERE; } }', "A", 2, 2),
        # A pattern over the size limit of one regex.
        ('S { mode A { token "a" => 1; }\n mode B {\n on 1 pop; token "a{1000}{1000}" => 2; } }',
         "B", 2, 3),
        # A mode whose automaton is too large as a whole: the mode, no clause.
        ('S { mode A { token "a" => 1; }\n\n mode B { token "(a|b)*a(a|b){24}" => 1; } }',
         "B", None, 3),
    ],
)
def test_build_errors_name_the_clause_and_its_line(definition, mode, clause, line):
    with pytest.raises(BuildError) as caught:
        Lexer(definition)
    error = caught.value
    assert (error.mode, error.clause, error.line) == (mode, clause, line)
    assert definition.splitlines()[line - 1] in str(error)
    with pytest.raises(BaseException) as original:
        quarn.Scanner(definition)
    assert error.reason == str(original.value)
    copy = pickle.loads(pickle.dumps(error))
    assert (type(copy), str(copy), copy.line) == (BuildError, str(error), line)


def test_bad_arguments_are_refused():
    lexer = Lexer(NESTED)
    with pytest.raises(ValueError):
        lexer.scan("a", offsets="words")
    with pytest.raises(ValueError):
        lexer.scan("a", state=LexerState(mode=5))
    with pytest.raises(TypeError):
        lexer.scan(b"a")  # type: ignore[arg-type]
    with pytest.raises(UnicodeEncodeError):
        lexer.scan("\ud800")
