"""The Spark recipe in examples/ on a local Spark session, when pyspark and a
Java runtime are present."""

import importlib.util
import pathlib
import shutil
import sys

import pytest

from quarn_tools import Lexer

RECIPE = pathlib.Path(__file__).resolve().parents[3] / "examples" / "spark_mapinarrow.py"


@pytest.fixture(scope="module")
def spark():
    if importlib.util.find_spec("pyspark") is None:
        pytest.skip("pyspark is not installed")
    if shutil.which("java") is None:
        pytest.skip("no Java runtime on PATH")
    from pyspark.sql import SparkSession
    # The workers must run the interpreter that has quarn_tools.
    monkeypatch = pytest.MonkeyPatch()
    monkeypatch.setenv("PYSPARK_PYTHON", sys.executable)
    session = (SparkSession.builder.master("local[2]").appName("quarn-test")
               .config("spark.ui.enabled", "false")
               .config("spark.driver.bindAddress", "127.0.0.1")
               .config("spark.sql.shuffle.partitions", "2").getOrCreate())
    yield session
    session.stop()
    monkeypatch.undo()


def test_recipe_gives_the_tokens_of_a_plain_scan(spark):
    spec = importlib.util.spec_from_file_location("spark_mapinarrow", RECIPE)
    recipe = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(recipe)
    lexer = Lexer(r'S { mode A { token "[a-zé]+" => 1; token "[0-9]+" => 2; token " " => 3; } }',
                  names={1: "word", 2: "number"})
    texts = [f"é{i} ab {i * 7} " * (i % 4) for i in range(30)] + [None]
    frame = spark.createDataFrame(list(enumerate(texts)), "id long, text string").repartition(3)
    rows = recipe.tokenize_column(frame, lexer, "text", "id", positions=True).collect()
    got = sorted(tuple(row) for row in rows)
    expected = sorted((i, t.type, lexer.names.get(t.type), t.start, t.end, t.start_line,
                       t.start_column, t.end_line, t.end_column)
                      for i, text in enumerate(texts) for t in lexer.scan(text or "", positions=True))
    assert got == expected
