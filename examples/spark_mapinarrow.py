"""Tokenizing a text column of a Spark DataFrame with quarn, through
``mapInArrow``: Spark hands each Python worker Arrow record batches, the
lexer scans their string buffers directly, and the tokens go back as Arrow
batches, with no Python object per document or token.

    spark-submit examples/spark_mapinarrow.py DEFINITION INPUT.parquet OUTPUT \
        [--text-column text] [--id-column id]

or, from code::

    from spark_mapinarrow import tokenize_column
    tokens = tokenize_column(frame, Lexer(definition, names={1: "name"}), "text", "id")

Every executor needs quarn installed (with pyarrow, which Spark's Arrow
support requires anyway). The lexer travels to the executors pickled as its
definition; a Python worker compiles it once and reuses it while Spark
reuses the worker (``spark.python.worker.reuse``, on by default).

The result has one row per token: the document's id, ``type``, ``name``
(null for types without one), ``start`` and ``end`` (byte offsets into the
document's UTF-8), and the positions with ``positions=True``. Spark has no
unsigned integers, so ``type`` is a long. A null text has no tokens; text
that is not valid UTF-8 fails the task with InvalidUtf8Error.
"""

from __future__ import annotations

import argparse
from typing import Any, Iterator

import pyarrow as pa
import pyarrow.compute as pc

from quarn_tools import Lexer

POSITION_COLUMNS = ("start_line", "start_column", "end_line", "end_column")


def token_schema(id_type: str, positions: bool = False) -> str:
    """The result's schema in Spark's DDL form; `id_type` is the id column's
    Spark type (``long``, ``string``, ...)."""
    columns = [f"document {id_type}", "type long", "name string", "start long", "end long"]
    columns += [f"{name} long" for name in POSITION_COLUMNS if positions]
    return ", ".join(columns)


def scan_batches(batches: Iterator[pa.RecordBatch], lexer: Lexer, text_column: str,
                 id_column: str, positions: bool = False) -> Iterator[pa.RecordBatch]:
    """The function mapInArrow runs: the tokens of each batch of documents."""
    names = lexer.names
    keys = pa.array(sorted(names), pa.uint32())
    labels = pa.array([names[key] for key in sorted(names)], pa.string())
    for batch in batches:
        tokens = lexer.scan_arrow(batch.column(text_column), flat=True, positions=positions)
        types = tokens.column("type").combine_chunks()
        columns = {
            "document": batch.column(id_column).take(tokens.column("document")),
            "type": types.cast(pa.int64()),
            "name": labels.take(pc.index_in(types, value_set=keys)),
            "start": tokens.column("start"),
            "end": tokens.column("end"),
        }
        for name in POSITION_COLUMNS if positions else ():
            columns[name] = tokens.column(name)
        yield from pa.Table.from_pydict(columns).to_batches()


def tokenize_column(frame: Any, lexer: Lexer, text_column: str, id_column: str, *,
                    positions: bool = False) -> Any:
    """A Spark DataFrame of the tokens of `frame[text_column]`, each row
    naming its document by `frame[id_column]`."""
    id_type = frame.schema[id_column].dataType.simpleString()

    def scan(batches: Iterator[pa.RecordBatch]) -> Iterator[pa.RecordBatch]:
        return scan_batches(batches, lexer, text_column, id_column, positions)

    return frame.select(id_column, text_column).mapInArrow(scan, token_schema(id_type, positions))


def main() -> None:
    from pyspark.sql import SparkSession

    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("definition", help="the quarn definition file")
    parser.add_argument("input", help="Parquet input with an id and a text column")
    parser.add_argument("output", help="Parquet output directory")
    parser.add_argument("--text-column", default="text")
    parser.add_argument("--id-column", default="id")
    parser.add_argument("--positions", action="store_true")
    args = parser.parse_args()
    with open(args.definition, encoding="utf-8") as handle:
        lexer = Lexer(handle.read())
    spark = SparkSession.builder.appName("quarn tokenize").getOrCreate()
    frame = spark.read.parquet(args.input)
    tokenize_column(frame, lexer, args.text_column, args.id_column,
                    positions=args.positions).write.mode("overwrite").parquet(args.output)
    spark.stop()


if __name__ == "__main__":
    main()
