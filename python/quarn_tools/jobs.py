"""Tokenizing many files in parallel: local worker processes or an existing
Dask cluster, with progress, a summary, and every file accounted for.

Files are grouped into batches of about ``batch_bytes``; each batch is one
task, scanned from Arrow buffers without a Python object per token. The
output is Parquet: one file written by the calling process when ``output``
ends in ``.parquet``, otherwise a directory of part files (``part-00000.parquet``,
...) written by the workers themselves, which is what scales: the caller
then only receives counts."""

from __future__ import annotations

import concurrent.futures
import glob
import multiprocessing
import os
import time
from dataclasses import dataclass, field
from typing import IO, Any, Callable, Dict, Iterable, List, Optional, Sequence, Set, Tuple, Union

from ._corpus import FileFailure, empty_files_table, files_table, parquet_options, read_batches
from .lexer import Lexer, _pyarrow

__all__ = ["FileFailure", "Progress", "Summary", "expand_inputs", "terminal_progress",
           "tokenize_files"]

DEFAULT_BATCH_BYTES = 8 << 20


@dataclass
class Progress:
    """Where a job stands; passed to the ``progress`` callback after each batch."""

    files: int
    total_files: int
    bytes: int
    total_bytes: int
    tokens: int
    seconds: float

    @property
    def tokens_per_second(self) -> float:
        return self.tokens / self.seconds if self.seconds > 0 else 0.0

    def __str__(self) -> str:
        return (f"{self.files}/{self.total_files} files, {self.bytes / 1e6:.1f}/"
                f"{self.total_bytes / 1e6:.1f} MB, {self.tokens_per_second / 1e6:.2f} M tokens/s")


@dataclass
class Summary:
    """What a job did. ``failures`` lists every file left out, with the reason
    (and the byte offset of the first bad sequence for a file not UTF-8)."""

    files: int
    bytes: int
    tokens: int
    seconds: float
    output: str
    failures: List[FileFailure] = field(default_factory=list)

    def __str__(self) -> str:
        rate = self.bytes / self.seconds / 1e6 if self.seconds > 0 else 0.0
        tokens = self.tokens / self.seconds / 1e6 if self.seconds > 0 else 0.0
        skipped = f"; {len(self.failures)} files skipped" if self.failures else ""
        return (f"tokenized {self.files} files ({self.bytes / 1e6:.1f} MB, {self.tokens} tokens)"
                f" in {self.seconds:.2f} s: {rate:.1f} MB/s, {tokens:.2f} M tokens/s{skipped}"
                f" -> {self.output}")


def expand_inputs(inputs: Union[str, "os.PathLike[str]", Iterable[Union[str, "os.PathLike[str]"]]]
                  ) -> List[str]:
    """Files named by paths, directories (every file below, recursively) and
    glob patterns (``**`` recurses), in sorted order without repeats. A name
    or pattern that matches nothing is kept, so that the job reports it as
    missing rather than count nothing."""
    if isinstance(inputs, (str, os.PathLike)):
        inputs = [inputs]
    found: Dict[str, None] = {}
    for entry in inputs:
        name = os.fspath(entry)
        if os.path.isdir(name):
            matches = [os.path.join(root, f) for root, _, files in os.walk(name) for f in files]
        elif glob.has_magic(name):
            matches = [m for m in glob.glob(name, recursive=True) if os.path.isfile(m)] or [name]
        else:
            matches = [name]
        for match in sorted(matches):
            found.setdefault(match, None)
    return list(found)


@dataclass
class _BatchResult:
    index: int
    table: Any  # None when the worker wrote its part itself
    files: int
    bytes: int
    tokens: int
    failures: List[FileFailure]


def _run_batch(lexer: Lexer, index: int, paths: Sequence[str], positions: bool, text: bool,
               fail: bool, part: Optional[str]) -> _BatchResult:
    result = files_table(lexer, paths, positions=positions, text=text, fail=fail)
    table = result.table
    if part is not None:
        _write_atomically(table, part)
        table = None
    return _BatchResult(index, table, result.files, result.bytes, result.table.num_rows,
                        result.failures)


def _write_atomically(table: Any, path: str) -> None:
    parquet: Any = __import__("pyarrow.parquet").parquet
    temporary = f"{path}.{os.getpid()}.tmp"
    parquet.write_table(table, temporary, **parquet_options(table.schema))
    os.replace(temporary, path)


def tokenize_files(lexer: Lexer, paths_or_globs: Union[str, Iterable[str]], *,
                   output: str, jobs: Optional[int] = None, scheduler: Optional[str] = None,
                   on_error: str = "skip", progress: Optional[Callable[[Progress], None]] = None,
                   positions: bool = False, text: bool = False,
                   batch_bytes: int = DEFAULT_BATCH_BYTES) -> Summary:
    """Tokenizes files into Parquet at `output` (columns ``file``, ``type``,
    ``name``, ``start``, ``end``, then positions and ``text`` when asked for)
    and returns a Summary.

    ``jobs`` local worker processes (default: one per core; 1 scans in this
    process), or the Dask cluster at ``scheduler`` (``tcp://host:port``;
    needs the ``dask`` extra; every worker must see the files and, for a
    directory output, `output`). With ``on_error="skip"`` a file that cannot
    be read or is not UTF-8 is left out and listed in ``Summary.failures``;
    with ``"fail"`` it stops the job (InvalidUtf8Error or OSError naming it)
    and nothing is left at `output`."""
    if on_error not in ("skip", "fail"):
        raise ValueError(f"on_error must be 'skip' or 'fail', not {on_error!r}")
    if jobs is None:
        jobs = os.cpu_count() or 1
    if jobs < 1:
        raise ValueError("jobs must be at least 1")
    started = time.perf_counter()
    paths = expand_inputs(paths_or_globs)
    batches = read_batches(paths, batch_bytes)
    total_bytes = sum(_size(p) for p in paths)
    single_file = output.endswith(".parquet") and not os.path.isdir(output)
    fail = on_error == "fail"
    sink = _Sink(output, single_file, lexer, positions, text)

    def task(index: int) -> Tuple[Any, ...]:
        return (lexer, index, batches[index], positions, text, fail, sink.part(index))

    done = _Counts()
    ok = False
    try:
        for result in _results(task, len(batches), jobs, scheduler):
            sink.take(result)
            done.add(result)
            if progress is not None:
                progress(Progress(done.files + len(done.failures), len(paths), done.bytes,
                                  total_bytes, done.tokens, time.perf_counter() - started))
        ok = True
    finally:
        sink.close(ok)
    return Summary(done.files, done.bytes, done.tokens, time.perf_counter() - started, output,
                   sorted(done.failures, key=lambda f: f.path))


def _size(path: str) -> int:
    try:
        return os.path.getsize(path)
    except OSError:
        return 0


class _Counts:
    def __init__(self) -> None:
        self.files = self.bytes = self.tokens = 0
        self.failures: List[FileFailure] = []

    def add(self, result: _BatchResult) -> None:
        self.files += result.files
        self.bytes += result.bytes
        self.tokens += result.tokens
        self.failures.extend(result.failures)


class _Sink:
    """The output: one Parquet file written here in batch order (under a
    temporary name until the job succeeds), or a directory of parts the
    workers write, cleared of an earlier run's parts first."""

    def __init__(self, output: str, single_file: bool, lexer: Lexer, positions: bool,
                 text: bool) -> None:
        self.output = output
        self.single_file = single_file
        self.writer: Any = None
        self.waiting: Dict[int, Any] = {}
        self.next = 0
        self.columns = (lexer, positions, text)
        if single_file:
            self.temporary = f"{output}.{os.getpid()}.tmp"
        else:
            os.makedirs(output, exist_ok=True)
            for stale in glob.glob(os.path.join(glob.escape(output), "part-*.parquet")):
                os.remove(stale)

    def part(self, index: int) -> Optional[str]:
        return None if self.single_file else os.path.join(self.output, f"part-{index:05d}.parquet")

    def take(self, result: _BatchResult) -> None:
        if not self.single_file:
            return
        # Results arrive in any order; the file keeps the order of the inputs.
        self.waiting[result.index] = result.table
        while self.next in self.waiting:
            self._write(self.waiting.pop(self.next))
            self.next += 1

    def _write(self, table: Any) -> None:
        if self.writer is None:
            parquet: Any = __import__("pyarrow.parquet").parquet
            self.writer = parquet.ParquetWriter(self.temporary, table.schema,
                                                **parquet_options(table.schema))
        if table.num_rows:
            self.writer.write_table(table)

    def close(self, ok: bool) -> None:
        if not self.single_file:
            for leftover in glob.glob(os.path.join(glob.escape(self.output), "*.tmp")):
                os.remove(leftover)
            return
        if ok and self.writer is None:
            lexer, positions, text = self.columns
            self._write(empty_files_table(lexer, positions=positions, text=text))
        if self.writer is not None:
            self.writer.close()
        if ok:
            os.replace(self.temporary, self.output)
        elif os.path.exists(self.temporary):
            os.remove(self.temporary)


def _results(task: Callable[[int], Tuple[Any, ...]], count: int, jobs: int,
             scheduler: Optional[str]) -> Iterable[_BatchResult]:
    """Runs the batches, at most a few per worker in flight so that results
    waiting to be written stay bounded, and yields them as they finish."""
    if scheduler is not None:
        yield from _on_dask(task, count, scheduler)
        return
    if jobs == 1:
        for index in range(count):
            yield _run_batch(*task(index))
        return
    context = _worker_context()
    with concurrent.futures.ProcessPoolExecutor(jobs, mp_context=context) as pool:
        pending: Set[Any] = set()
        submitted = 0
        window = 2 * jobs
        try:
            while submitted < count or pending:
                while submitted < count and len(pending) < window:
                    pending.add(pool.submit(_run_batch, *task(submitted)))
                    submitted += 1
                finished, pending = concurrent.futures.wait(
                    pending, return_when=concurrent.futures.FIRST_COMPLETED)
                for future in finished:
                    yield future.result()
        finally:
            # A failed or abandoned job does not wait for batches nobody will use.
            for future in pending:
                future.cancel()


def _worker_context() -> Any:
    """Workers forked from a server that has the scanning modules loaded:
    cheap to start, and safe although this process may run threads
    (fork alone is not). The server does not import the caller's main
    module, so scripts need no main guard."""
    if "forkserver" not in multiprocessing.get_all_start_methods():
        return multiprocessing.get_context("spawn")
    context = multiprocessing.get_context("forkserver")
    context.set_forkserver_preload(["quarn_tools.jobs", "pyarrow.parquet", "pyarrow.compute"])
    return context


def _on_dask(task: Callable[[int], Tuple[Any, ...]], count: int,
             scheduler: str) -> Iterable[_BatchResult]:
    distributed: Any = __import__("distributed")
    with distributed.Client(scheduler) as client:
        workers = max(1, sum(client.nthreads().values()))
        pending: Set[Any] = set()
        submitted = 0
        try:
            while submitted < count or pending:
                while submitted < count and len(pending) < 2 * workers:
                    # Each batch is its own task: a lost worker's batch runs again.
                    pending.add(client.submit(_run_batch, *task(submitted), pure=False))
                    submitted += 1
                done = distributed.wait(list(pending), return_when="FIRST_COMPLETED").done
                for future in done:
                    pending.discard(future)
                    yield future.result()
        finally:
            if pending:
                client.cancel(list(pending))


def terminal_progress(stream: IO[str]) -> Callable[[Progress], None]:
    """A progress callback that keeps one status line up to date on `stream`
    (a terminal); end the job's output with a newline."""
    def show(progress: Progress) -> None:
        stream.write(f"\r{progress}")
        stream.flush()
    return show
