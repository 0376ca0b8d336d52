"""quarn_tools rows: columnar scans, lazy tokens, threads and file streaming
on the JSON workload, against the stdlib re idiom measured in the same run.

    python benchmarks/tools_bench.py [--mb 20] [--file-mb 1024] [--out FILE]

Times are wall-clock medians (threads run in parallel, so CPU time would hide
their gain); run on an otherwise idle machine."""

from __future__ import annotations

import argparse
import gc
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import definition_file  # noqa: E402
import peers  # noqa: E402
import workloads  # noqa: E402

import quarn_tools  # noqa: E402


def timed(fn, repeats):
    times, first = [], None
    for i in range(repeats):
        gc.collect()
        gc.disable()
        start = time.perf_counter()
        result = fn()
        times.append(time.perf_counter() - start)
        gc.enable()
        if i == 0:
            first = result
        del result
    return statistics.median(times), first


def idiom_and_read(idiom, text):
    n = 0
    for kind, token_text, start, end in idiom.scan(text):
        n += 1
    return n


def tokens_and_read(lexer, text):
    n = 0
    for token in lexer.tokens(text):
        token.type, token.start, token.end, token.text
        n += 1
    return n


# Streams a file and reports tokens and peak RSS; run in a child process so
# that its peak is its own. VmHWM, not ru_maxrss: Linux carries ru_maxrss
# over an exec, so the child would report the parent's peak.
FILE_CHILD = r'''
import sys, time
import quarn_tools
lexer = quarn_tools.Lexer(open(sys.argv[1], encoding="utf-8").read())
start = time.perf_counter()
tokens = 0
for batch in lexer.scan_file(sys.argv[2], chunk_size=1 << 20):
    tokens += len(batch)
elapsed = time.perf_counter() - start
peak = next(line for line in open("/proc/self/status") if line.startswith("VmHWM:"))
print(tokens, elapsed, int(peak.split()[1]) * 1024)
'''


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--mb", type=int, default=20)
    parser.add_argument("--file-mb", type=int, default=1024)
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--out", type=Path)
    args = parser.parse_args()

    text = workloads.json_text(args.mb * workloads.MB)
    definition = definition_file.read_text("json")
    mb = len(text.encode()) / workloads.MB
    lexer = quarn_tools.Lexer(definition)
    idiom = peers.Idiom(peers.SPECS["json"], re.compile)
    rows = []

    def add(label, seconds, tokens, note=""):
        rows.append((label, seconds, tokens, note))

    seconds, tokens = timed(lambda: idiom_and_read(idiom, text), args.repeats)
    add("stdlib re idiom + reading type, start, end, text", seconds, tokens)
    seconds, table = timed(lambda: lexer.scan(text), args.repeats)
    n = len(table)
    add("quarn_tools scan", seconds, n, f"{table.nbytes / n:.1f} bytes/token")
    seconds, positioned = timed(lambda: lexer.scan(text, positions=True), args.repeats)
    add("quarn_tools scan, positions", seconds, n, f"{positioned.nbytes / n:.1f} bytes/token")
    del positioned
    seconds, _ = timed(lambda: lexer.scan(text, offsets="chars"), args.repeats)
    add("quarn_tools scan, offsets=chars", seconds, n)
    seconds, count = timed(lambda: tokens_and_read(lexer, text), args.repeats)
    add("quarn_tools tokens + reading type, start, end, text", seconds, count)
    seconds, texts = timed(lambda: table.texts(), args.repeats)
    add("quarn_tools scan(...).texts()", seconds, n, "after the scan")
    del texts, table

    lines = text.split("\n")
    per = max(1, len(lines) // 2000)
    documents = ["\n".join(lines[i:i + per]) for i in range(0, len(lines), per)]
    one, t1 = timed(lambda: lexer.scan_many(documents, threads=1), args.repeats)
    two, t2 = timed(lambda: lexer.scan_many(documents, threads=2), args.repeats)
    add("quarn_tools scan_many, 1 thread", one, len(t1), f"{len(documents)} documents")
    add("quarn_tools scan_many, 2 threads", two, len(t2), f"{one / two:.2f}x one thread")
    del t1, t2

    with tempfile.TemporaryDirectory() as work:
        definition_path = Path(work) / "json.def"
        definition_path.write_text(definition)
        data_path = Path(work) / "big.json"
        piece = text.encode()
        repeat = max(1, args.file_mb * workloads.MB // len(piece))
        with open(data_path, "wb") as f:
            for _ in range(repeat):
                f.write(piece)
                f.write(b"\n")
        file_mb = data_path.stat().st_size / workloads.MB
        out = subprocess.run([sys.executable, "-c", FILE_CHILD, str(definition_path),
                              str(data_path)], capture_output=True, text=True, check=True)
        tokens, seconds, rss = out.stdout.split()
        rows.append((f"quarn_tools scan_file, {file_mb:,.0f} MB file", float(seconds), int(tokens),
                     f"peak RSS {int(rss) / workloads.MB:.0f} MB; chunks of 1 MB", file_mb))

    base = rows[0]
    lines_out = [
        f"quarn_tools on (a) JSON, {mb:.1f} MB, {n:,} tokens; wall-clock medians of "
        f"{args.repeats}, Python {sys.version.split()[0]}, {os.cpu_count()} cores. "
        "Made by `python benchmarks/tools_bench.py`.",
        "",
        "| row | tokens | median s | MB/s | ns/token | x stdlib idiom (ns/token) | note |",
        "|---|---:|---:|---:|---:|---:|---|",
    ]
    base_ns = base[1] / base[2] * 1e9
    for row in rows:
        label, seconds, tokens, note = row[:4]
        size = row[4] if len(row) > 4 else mb
        ns = seconds / tokens * 1e9
        lines_out.append(f"| {label} | {tokens:,} | {seconds:.4g} | {size / seconds:,.1f} | "
                         f"{ns:,.1f} | {base_ns / ns:.2f} | {note} |")
    report = "\n".join(lines_out) + "\n"
    print(report)
    if args.out:
        args.out.write_text(report)


if __name__ == "__main__":
    main()
