"""Arrow token tables for whole documents and files: the unit of work of the
parallel jobs (quarn_tools.jobs, quarn_tools.dask and the Spark recipe)."""

from __future__ import annotations

import array
import os
from dataclasses import dataclass, field
from typing import Any, Dict, List, Optional, Sequence, Tuple

from .errors import InvalidUtf8Error
from .lexer import Lexer, _pyarrow


# Arrays are built from buffers here rather than with pyarrow.array, which
# imports pandas when it is installed: seconds of start-up for every worker.

def int_array(pyarrow: Any, values: Sequence[int], code: str) -> Any:
    """An Arrow array of `values`; `code` is the array module's type code
    (``I`` for uint32, ``i`` for int32, ``q`` for int64)."""
    kinds = {"I": pyarrow.uint32(), "i": pyarrow.int32(), "q": pyarrow.int64()}
    data = array.array(code, values)
    return pyarrow.Array.from_buffers(kinds[code], len(data), [None, pyarrow.py_buffer(data)])


def string_array(pyarrow: Any, strings: Sequence[str]) -> Any:
    encoded = [s.encode("utf-8", "backslashreplace") for s in strings]
    offsets = [0]
    for item in encoded:
        offsets.append(offsets[-1] + len(item))
    return pyarrow.Array.from_buffers(
        pyarrow.large_string(), len(encoded),
        [None, pyarrow.py_buffer(array.array("q", offsets)), pyarrow.py_buffer(b"".join(encoded))])


def name_column(pyarrow: Any, lexer: Lexer, types: Any) -> Any:
    """Each type's name from the lexer's names, dictionary-encoded (null for
    types without a name), so that no string is made per token."""
    names = lexer.names
    keys = sorted(names)
    indices = pyarrow.compute.index_in(types, value_set=int_array(pyarrow, keys, "I"))
    return pyarrow.DictionaryArray.from_arrays(
        indices, string_array(pyarrow, [names[k] for k in keys]).cast(pyarrow.string()))


def document_table(lexer: Lexer, texts: Any, ids: Any, *, id_name: str = "document",
                   encode_ids: bool = False, positions: bool = False,
                   text: bool = False) -> Any:
    """The tokens of the string array `texts` as a table: the id of the
    token's document (from `ids`, one per text; with `encode_ids` as a
    dictionary column, so that long ids are not repeated per token), type,
    name, start, end, then the positions and the text when asked for."""
    pyarrow = _pyarrow()
    flat = lexer.scan_arrow(texts, flat=True, positions=positions, text=text, threads=1)
    documents = flat.column("document").combine_chunks()
    if encode_ids:
        document_ids = pyarrow.DictionaryArray.from_arrays(documents.cast(pyarrow.int32()), ids)
    else:
        document_ids = ids.take(documents)
    types = flat.column("type").combine_chunks()
    rest = flat.drop_columns(["document", "type"])
    return pyarrow.Table.from_arrays(
        [document_ids, types, name_column(pyarrow, lexer, types), *rest.columns],
        names=[id_name, "type", "name", *rest.column_names])


@dataclass
class FileFailure:
    """A file that could not be tokenized: unreadable, or not UTF-8 (then
    ``offset`` is the byte offset of the first bad sequence)."""

    path: str
    reason: str
    offset: Optional[int] = None

    def __str__(self) -> str:
        where = f" at byte {self.offset}" if self.offset is not None else ""
        return f"{self.path}: {self.reason}{where}"


@dataclass
class FilesResult:
    """One batch of files: their tokens, and what was skipped."""

    table: Any
    files: int = 0
    bytes: int = 0
    failures: List[FileFailure] = field(default_factory=list)


def files_table(lexer: Lexer, paths: Sequence[str], *, positions: bool = False,
                text: bool = False, fail: bool = False) -> FilesResult:
    """The tokens of the files `paths`, with a dictionary-encoded ``file``
    column. Files that cannot be read or are not UTF-8 are left out and
    listed in ``failures`` (or, with `fail`, raise)."""
    pyarrow = _pyarrow()
    contents: List[bytes] = []
    present: List[bool] = []
    failed: Dict[int, FileFailure] = {}
    for i, path in enumerate(paths):
        try:
            with open(path, "rb") as handle:
                contents.append(handle.read())
            present.append(True)
        except OSError as error:
            if fail:
                raise
            failed[i] = FileFailure(os.fspath(path), error.strerror or str(error))
            contents.append(b"")
            present.append(False)
    lengths = [len(data) for data in contents]
    offsets = [0]
    for length in lengths:
        offsets.append(offsets[-1] + length)
    offsets_buffer = pyarrow.py_buffer(array.array("q", offsets))
    data_buffer = pyarrow.py_buffer(b"".join(contents))
    del contents
    names = string_array(pyarrow, [os.fspath(p) for p in paths]).cast(pyarrow.string())
    while True:
        bits = bytearray((len(paths) + 7) // 8)
        for i, ok in enumerate(present):
            if ok:
                bits[i // 8] |= 1 << (i % 8)
        texts = pyarrow.Array.from_buffers(
            pyarrow.large_string(), len(paths),
            [pyarrow.py_buffer(bytes(bits)), offsets_buffer, data_buffer])
        try:
            table = document_table(lexer, texts, names, id_name="file", encode_ids=True,
                                   positions=positions, text=text)
            break
        except InvalidUtf8Error as error:
            bad = error.document
            assert bad is not None
            if fail:
                raise InvalidUtf8Error(f"{paths[bad]}: not UTF-8 at byte {error.offset}",
                                       error.offset, bad) from None
            # Validation precedes the scan, so another try costs only the
            # validation of the files before this one.
            present[bad] = False
            failed[bad] = FileFailure(os.fspath(paths[bad]), "not UTF-8", error.offset)
    return FilesResult(table, files=sum(present),
                       bytes=sum(length for length, ok in zip(lengths, present) if ok),
                       failures=[failed[i] for i in sorted(failed)])


def empty_files_table(lexer: Lexer, *, positions: bool = False, text: bool = False) -> Any:
    """A table with no tokens and the columns files_table gives."""
    return files_table(lexer, [], positions=positions, text=text).table


_DELTA_COLUMNS = ("start", "end", "start_line", "start_column", "end_line", "end_column")


def parquet_options(schema: Any) -> Dict[str, Any]:
    """Parquet writer settings for token tables: offsets and positions grow
    steadily, so delta encoding stores them in a few bits each (a third of
    the size of dictionary encoding, and faster to write); file, name and
    type have few distinct values, and only their statistics help readers
    skip row groups (the others' cost a third of the writing time)."""
    names = set(schema.names)
    keys = [c for c in ("file", "document", "name", "type") if c in names]
    return {
        "compression": "zstd",
        "use_dictionary": keys,
        "write_statistics": keys,
        "column_encoding": {c: "DELTA_BINARY_PACKED" for c in _DELTA_COLUMNS if c in names},
    }


def read_batches(paths: Sequence[str], target_bytes: int) -> List[Tuple[str, ...]]:
    """Consecutive runs of `paths` of about `target_bytes` each (by size on
    disk), so that tasks are neither tiny nor huge."""
    batches: List[Tuple[str, ...]] = []
    current: List[str] = []
    size = 0
    for i, path in enumerate(paths):
        try:
            length = os.path.getsize(path)
        except OSError:
            length = 0
        if current and size + length > target_bytes:
            batches.append(tuple(current))
            current, size = [], 0
        current.append(path)
        size += length
    if current:
        batches.append(tuple(current))
    return batches
