"""Lexer.scan_arrow against one scan per document."""

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from quarn_tools import InvalidUtf8Error, Lexer

from .strategies import definitions, texts

pa = pytest.importorskip("pyarrow")

documents = st.lists(st.one_of(st.none(), texts), max_size=8)


def expected_lists(lexer, docs, positions):
    """Per document, the token dicts scan_arrow should give (None for null)."""
    result = []
    for doc in docs:
        if doc is None:
            result.append(None)
            continue
        table = lexer.scan(doc, positions=positions)
        data = doc.encode()
        rows = []
        for token in table:
            row = {"type": token.type, "start": token.start, "end": token.end}
            if positions:
                row.update(start_line=token.start_line, start_column=token.start_column,
                           end_line=token.end_line, end_column=token.end_column)
            row["text"] = data[token.start:token.end].decode()
            rows.append(row)
        result.append(rows)
    return result


@settings(max_examples=120, deadline=None)
@given(definitions(), documents, st.integers(0, 3), st.booleans(), st.booleans(),
       st.integers(1, 3))
def test_lists_and_flat_table_equal_one_scan_per_document(definition, docs, cut, large,
                                                          positions, threads):
    lexer = Lexer(definition)
    kind = pa.large_string() if large else pa.string()
    # A slice of a chunked array: offsets and validity do not start at zero.
    whole = pa.chunked_array([pa.array(["x\ny", None, "zz"][:cut], kind), pa.array(docs, kind)],
                             type=kind)
    array = whole.slice(cut)
    expected = expected_lists(lexer, docs, positions)

    lists = lexer.scan_arrow(array, positions=positions, text=True, threads=threads)
    assert lists.to_pylist() == expected
    assert lists.null_count == docs.count(None)
    plain = lexer.scan_arrow(array.combine_chunks(), positions=positions)
    assert plain.to_pylist() == [None if rows is None else
                                 [{k: v for k, v in row.items() if k != "text"} for row in rows]
                                 for rows in expected]

    flat = lexer.scan_arrow(array, positions=positions, text=True, flat=True, threads=threads)
    assert flat.to_pylist() == [dict(document=i, **row) for i, rows in enumerate(expected)
                                for row in rows or []]


def test_invalid_utf8_and_broken_offsets_are_reported_not_read():
    lexer = Lexer('S { mode A { token "[a-z]+" => 1; token " " => 2; } }')
    offsets = pa.py_buffer(pa.array([0, 2, 6], pa.int32()).buffers()[1])
    bad = pa.Array.from_buffers(pa.string(), 2, [None, offsets, pa.py_buffer(b"ab c\xffd")])
    with pytest.raises(InvalidUtf8Error) as caught:
        lexer.scan_arrow(pa.chunked_array([pa.array(["ok"]), bad]))
    assert (caught.value.document, caught.value.offset) == (2, 2)
    # The same bytes in a null document are never looked at.
    validity = pa.py_buffer(bytes([0b01]))
    masked = pa.Array.from_buffers(pa.string(), 2, [validity, offsets, pa.py_buffer(b"ab c\xffd")])
    assert lexer.scan_arrow(masked).to_pylist() == [[{"type": 1, "start": 0, "end": 2}], None]

    # pyarrow lets offsets that go backwards through unchecked.
    backwards = pa.py_buffer(pa.array([0, 4, 2], pa.int32()).buffers()[1])
    array = pa.Array.from_buffers(pa.string(), 2, [None, backwards, pa.py_buffer(b"ab cd")])
    with pytest.raises(ValueError, match="document 1"):
        lexer.scan_arrow(array)
    with pytest.raises(TypeError):
        lexer.scan_arrow(pa.array([b"ab"]))
    empty = lexer.scan_arrow(pa.chunked_array([], pa.string()), flat=True)
    assert empty.num_rows == 0 and empty.column_names == ["document", "type", "start", "end"]
