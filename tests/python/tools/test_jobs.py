"""quarn_tools.jobs: local processes and a Dask scheduler give the tokens of
a plain scan per file, and every file is either tokenized or reported."""

import os

import pytest

from quarn_tools import InvalidUtf8Error, Lexer
from quarn_tools.jobs import tokenize_files

pq = pytest.importorskip("pyarrow.parquet")

DEFINITION = r'S { mode A { token "[a-zé]+" => 1; token "[0-9]+" => 2; token "\\s+" => 3; } }'
NAMES = {1: "word", 2: "number"}


@pytest.fixture
def corpus(tmp_path):
    """Nested files, one not UTF-8 at byte 5; returns (root, {path: text})."""
    root = tmp_path / "corpus"
    texts = {}
    for i in range(23):
        folder = root / f"d{i % 3}" / ("deep" if i % 2 else "")
        folder.mkdir(parents=True, exist_ok=True)
        path = folder / f"f{i:02d}.txt"
        texts[str(path)] = f"é{i} abc {i * 31}\n" * (i % 5)
        path.write_text(texts[str(path)], encoding="utf-8")
    (root / "d0" / "bad.txt").write_bytes(b"abcd \xff\xfe 12")
    return root, texts


def expected_rows(lexer, texts):
    rows = []
    for path in sorted(texts):
        for t in lexer.scan(texts[path], positions=True):
            rows.append((path, t.type, NAMES.get(t.type), t.start, t.end, t.start_line,
                         t.start_column, t.end_line, t.end_column))
    return rows


def rows_of(table):
    columns = ["file", "type", "name", "start", "end", "start_line", "start_column",
               "end_line", "end_column"]
    data = table.select(columns).to_pydict()
    return list(zip(*(data[c] for c in columns)))


@pytest.mark.parametrize("jobs", [1, 2])
def test_local_processes_scan_every_file_and_report_the_bad_one(corpus, tmp_path, jobs):
    root, texts = corpus
    lexer = Lexer(DEFINITION, names=NAMES)
    seen = []
    out = str(tmp_path / "tokens.parquet")
    missing = str(tmp_path / "missing.txt")
    unmatched = str(tmp_path / "nothing*.txt")
    summary = tokenize_files(lexer, [str(root), missing, unmatched], output=out, jobs=jobs,
                             positions=True, batch_bytes=64, progress=seen.append)
    assert rows_of(pq.read_table(out)) == expected_rows(lexer, texts)
    assert (summary.files, summary.bytes) == (len(texts), sum(len(t.encode())
                                                               for t in texts.values()))
    assert summary.tokens == len(expected_rows(lexer, texts))
    assert [(f.path, f.offset) for f in summary.failures] == [
        (str(root / "d0" / "bad.txt"), 5), (missing, None), (unmatched, None)]
    assert seen[-1].files == seen[-1].total_files == len(texts) + 3


def test_failing_on_a_bad_file_leaves_no_output(corpus, tmp_path):
    root, _ = corpus
    out = tmp_path / "tokens.parquet"
    with pytest.raises(InvalidUtf8Error, match="bad.txt") as caught:
        tokenize_files(Lexer(DEFINITION), str(root / "**" / "*.txt"), output=str(out), jobs=2,
                       on_error="fail", batch_bytes=64)
    assert caught.value.offset == 5
    assert os.listdir(tmp_path) == ["corpus"]


def test_a_dask_scheduler_writes_parts_that_replace_an_earlier_run(corpus, tmp_path, cluster):
    root, texts = corpus
    lexer = Lexer(DEFINITION, names=NAMES)
    out = tmp_path / "parts"
    out.mkdir()
    (out / "part-00077.parquet").write_bytes(b"stale")
    summary = tokenize_files(lexer, str(root), output=str(out), scheduler=cluster.scheduler_address,
                             positions=True, batch_bytes=64)
    assert rows_of(pq.read_table(str(out))) == expected_rows(lexer, texts)
    assert summary.files == len(texts) and len(summary.failures) == 1
    assert all(name.startswith("part-") and name.endswith(".parquet")
               for name in os.listdir(out))
