"""Tokenizing with Dask: a column of a Dask DataFrame, or a Dask Bag of texts
or of file paths, into a Dask DataFrame of tokens, and Parquet datasets of it.

Needs the ``dask`` extra (``pip install quarn[dask]``). The lexer travels to
the workers as its definition and names; each worker process compiles it once
and reuses it for every task (see ``Lexer.__reduce__``).

The token frames have the columns ``document``, ``type``, ``name`` (a
categorical of the lexer's names), ``start``, ``end`` (byte offsets into the
document), then ``start_line``, ``start_column``, ``end_line``,
``end_column`` with ``positions`` and ``text`` with ``text``."""

from __future__ import annotations

import glob
import importlib
import os
from typing import Any, List, Optional, Sequence, Tuple

from ._corpus import document_table, files_table, parquet_options
from .lexer import Lexer, _pyarrow

__all__ = ["tokenize_column", "tokenize_bag", "to_parquet"]


def _module(name: str) -> Any:
    return importlib.import_module(name)


def tokenize_column(frame: Any, column: str, lexer: Lexer, *, positions: bool = False,
                    text: bool = False) -> Any:
    """The tokens of the texts in `frame[column]`; ``document`` is each
    text's index label. Null texts have no tokens."""
    series = frame[column]
    meta = _column_partition(series._meta, lexer, positions, text)
    return series.map_partitions(_column_partition, lexer, positions, text, meta=meta,
                                 enforce_metadata=False)


def _column_partition(series: Any, lexer: Lexer, positions: bool, text: bool) -> Any:
    pyarrow = _pyarrow()
    texts = pyarrow.array(series, type=pyarrow.large_string(), from_pandas=True)
    ids = pyarrow.array(series.index)
    table = document_table(lexer, texts, ids, positions=positions, text=text)
    return table.to_pandas()


def tokenize_bag(bag: Any, lexer: Lexer, *, files: bool = False, positions: bool = False,
                 text: bool = False) -> Any:
    """The tokens of a Bag of texts (``document`` is the text's position in
    the bag, which costs one counting pass over it) or, with `files`, of
    UTF-8 file paths (``document`` is the path; a file that is not UTF-8
    fails the job with InvalidUtf8Error naming it and the byte offset)."""
    dask = _module("dask")
    dd = _module("dask.dataframe")
    parts = bag.to_delayed()
    if files:
        meta = _files_partition([], lexer, positions, text)
        tasks = [dask.delayed(_files_partition)(part, lexer, positions, text) for part in parts]
    else:
        counts = dask.compute(*[dask.delayed(len)(part) for part in parts])
        bases = [sum(counts[:i]) for i in range(len(counts))]
        meta = _texts_partition([], 0, lexer, positions, text)
        tasks = [dask.delayed(_texts_partition)(part, base, lexer, positions, text)
                 for part, base in zip(parts, bases)]
    if not tasks:
        return dd.from_pandas(meta, npartitions=1)
    return dd.from_delayed(tasks, meta=meta, verify_meta=False)


def _texts_partition(texts: Sequence[Optional[str]], base: int, lexer: Lexer,
                     positions: bool, text: bool) -> Any:
    pyarrow = _pyarrow()
    array = pyarrow.array(list(texts), type=pyarrow.large_string())
    ids = pyarrow.array(range(base, base + len(array)), pyarrow.int64())
    return document_table(lexer, array, ids, positions=positions, text=text).to_pandas()


def _files_partition(paths: Sequence[str], lexer: Lexer, positions: bool, text: bool) -> Any:
    result = files_table(lexer, [os.fspath(p) for p in paths], positions=positions, text=text,
                         fail=True)
    table = result.table
    pyarrow = _pyarrow()
    # A plain string column: partitions with different files must agree on it.
    documents = table.column("file").cast(pyarrow.string())
    table = table.set_column(0, "document", documents)
    return table.to_pandas()


def to_parquet(tokens: Any, path: str) -> List[Tuple[str, int]]:
    """Computes `tokens` into a Parquet dataset at the directory `path`, one
    file per partition (``part-00000.parquet``, ...), and returns each file
    with its row count.

    Each part is written under a temporary name and renamed into place, so
    that a task Dask runs again after losing a worker replaces its own part
    instead of adding one, and no reader sees half a file. Parts left by an
    earlier run are removed: the directory holds exactly this run's output.
    The directory must be reachable by every worker under `path`."""
    dask = _module("dask")
    os.makedirs(path, exist_ok=True)
    _remove_parts(path)
    writes = [dask.delayed(_write_part)(part, os.path.join(path, f"part-{i:05d}.parquet"))
              for i, part in enumerate(tokens.to_delayed())]
    written = list(dask.compute(*writes))
    # A worker killed while writing leaves its temporary file behind.
    for leftover in glob.glob(os.path.join(glob.escape(path), "*.tmp")):
        os.remove(leftover)
    return written


def _remove_parts(path: str) -> None:
    for pattern in ("part-*.parquet", "*.tmp"):
        for stale in glob.glob(os.path.join(glob.escape(path), pattern)):
            os.remove(stale)


def _write_part(frame: Any, path: str) -> Tuple[str, int]:
    pyarrow = _pyarrow()
    parquet = _module("pyarrow.parquet")
    table = pyarrow.Table.from_pandas(frame, preserve_index=False)
    temporary = f"{path}.{os.getpid()}.tmp"
    parquet.write_table(table, temporary, **parquet_options(table.schema))
    os.replace(temporary, path)
    return path, table.num_rows
