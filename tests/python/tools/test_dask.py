"""quarn_tools.dask on a real scheduler with two worker processes: results
equal a single-process scan, also when a worker process dies mid-job."""

import os
import signal

import pytest

from quarn_tools import Lexer

dd = pytest.importorskip("dask.dataframe")
db = pytest.importorskip("dask.bag")
distributed = pytest.importorskip("distributed")
pd = pytest.importorskip("pandas")
pq = pytest.importorskip("pyarrow.parquet")

from quarn_tools.dask import to_parquet, tokenize_bag, tokenize_column  # noqa: E402

DEFINITION = r'''
D {
    mode CODE {
        token "[A-Za-z_][A-Za-z0-9_]*" => 1;
        token "[0-9]+" => 2;
        token "\"" => 3;
        token r#"[^\sA-Za-z0-9_"]"# => 4;
        on 3 push STRING;
    }
    mode STRING {
        token r#"[^"]+"# => 5;
        token "\"" => 3;
        on 3 pop;
    }
}
'''
NAMES = {1: "name", 2: "number", 3: "quote", 4: "punct", 5: "string"}
TEXTS = [f'x{i} = "é {i}"\nprint(x{i} + {i * 7})\n' * (i % 4) for i in range(40)] + [None, ""]


@pytest.fixture(scope="module")
def client(cluster):
    with distributed.Client(cluster, timeout="20s") as client:
        yield client


@pytest.fixture
def lexer():
    return Lexer(DEFINITION, names=NAMES)


def expected_rows(lexer, documents, positions=True):
    """(document, type, name, start, end, positions..., text) by a plain scan."""
    rows = []
    for key, doc in documents:
        for t in lexer.scan(doc or "", positions=positions):
            rows.append((key, t.type, NAMES[t.type], t.start, t.end, t.start_line,
                         t.start_column, t.end_line, t.end_column, doc.encode()[t.start:t.end]
                         .decode()))
    return rows


def rows_of(frame):
    frame = frame.astype({"name": str})
    columns = ["document", "type", "name", "start", "end", "start_line", "start_column",
               "end_line", "end_column", "text"]
    return [tuple(row) for row in frame[columns].itertuples(index=False)]


def kill_first_time(marker):
    """A map step that kills its own worker process the first time it runs."""
    def step(item):
        if not os.path.exists(marker):
            open(marker, "w").close()
            os.kill(os.getpid(), signal.SIGKILL)
        return item
    return step


def test_frame_column_and_bags_equal_a_plain_scan(client, lexer, tmp_path):
    frame = pd.DataFrame({"code": TEXTS}, index=[f"doc{i:03d}" for i in range(len(TEXTS))])
    tokens = tokenize_column(dd.from_pandas(frame, npartitions=5), "code", lexer,
                             positions=True, text=True)
    expected = expected_rows(lexer, list(zip(frame.index, TEXTS)))
    assert rows_of(tokens.compute()) == expected

    bag = tokenize_bag(db.from_sequence(TEXTS, npartitions=4), lexer, positions=True, text=True)
    assert rows_of(bag.compute()) == expected_rows(lexer, list(enumerate(TEXTS)))

    paths = []
    for i, doc in enumerate(TEXTS[:12]):
        paths.append(str(tmp_path / f"f{i}.py"))
        with open(paths[-1], "w", encoding="utf-8") as handle:
            handle.write(doc or "")
    files = tokenize_bag(db.from_sequence(paths, npartitions=3), lexer, files=True,
                         positions=True, text=True)
    assert rows_of(files.compute()) == expected_rows(lexer, list(zip(paths, TEXTS)))


def test_each_worker_process_builds_the_lexer_once(client, lexer):
    seen = db.from_sequence(range(12), npartitions=12).map(
        lambda _, lexer: (os.getpid(), id(lexer)), lexer=lexer).compute()
    by_process = {}
    for pid, identity in seen:
        by_process.setdefault(pid, set()).add(identity)
    assert all(len(identities) == 1 for identities in by_process.values())


def test_a_killed_worker_leaves_the_parquet_job_complete_and_unduplicated(client, lexer,
                                                                          tmp_path):
    out = str(tmp_path / "tokens")
    os.makedirs(out)
    stale = os.path.join(out, "part-00099.parquet")
    open(stale, "w").close()
    bag = db.from_sequence(TEXTS, npartitions=6).map(kill_first_time(str(tmp_path / "killed")))
    written = to_parquet(tokenize_bag(bag, lexer, positions=True, text=True), out)
    assert os.path.exists(tmp_path / "killed")
    assert sorted(os.listdir(out)) == [f"part-{i:05d}.parquet" for i in range(6)]
    assert [rows for _, rows in written] == [pq.read_table(p).num_rows for p, _ in written]
    table = pq.read_table(out).to_pandas()
    assert rows_of(table) == expected_rows(lexer, list(enumerate(TEXTS)))
