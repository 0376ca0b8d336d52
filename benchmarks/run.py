"""quarn against the lexers Python users run today. Start it with
`bash benchmarks/run.sh` (which prepares the environment); by hand:

    python benchmarks/run.py prepare --work DIR      # write the workloads
    python benchmarks/run.py bench --work DIR [--cpp FILE] [--out BENCHMARKS.md]

`--quick` shrinks every workload to validate the set-up in seconds.
"""

from __future__ import annotations

import argparse
import gc
import json
import os
import platform
import re
import statistics
import sys
import time
from dataclasses import dataclass
from datetime import datetime, timezone
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import definition_file  # noqa: E402
import peers  # noqa: E402
import workloads  # noqa: E402

FULL_SIZES = {"json": 20 * workloads.MB, "python": 20 * workloads.MB, "large": 200_000, "pathological": (5_000, 20_000)}
QUICK_SIZES = {"json": 200_000, "python": 200_000, "large": 20_000, "pathological": (500, 2_000)}
# Pygments runs on a prefix: at well under 1 MB/s on Python source the whole
# workload would take minutes per run. Reported as MB/s of that prefix.
PYGMENTS_PREFIX = 2 * workloads.MB


def keywords() -> list[str]:
    return [t.pattern for t in definition_file.load("large")[0].tokens if 100 <= t.token_type < 300]


def prepare(work: Path, quick: bool) -> None:
    sizes = QUICK_SIZES if quick else FULL_SIZES
    work.mkdir(parents=True, exist_ok=True)
    texts = {
        "json": workloads.json_text(sizes["json"]),
        "python": workloads.python_text(sizes["python"]),
        "large": workloads.large_text(sizes["large"], keywords()),
    }
    for n in sizes["pathological"]:
        texts[f"pathological-{n}"] = workloads.pathological_text(n)
    for name, text in texts.items():
        # newline="": carriage returns reach every peer (and the C++ side) as they are
        with open(work / f"{name}.txt", "w", encoding="utf-8", newline="") as f:
            f.write(text)
        print(f"  {name}: {len(text.encode()) / 1e6:.2f} MB")


def read_workloads(work: Path) -> dict[str, str]:
    texts = {}
    for path in sorted(work.glob("*.txt")):
        with open(path, encoding="utf-8", newline="") as f:
            texts[path.stem] = f.read()
    return texts


@dataclass
class Row:
    workload: str
    peer: str
    tokens: int | None
    mb: float
    seconds: float
    note: str = ""
    checksum: str = ""
    ratio_basis: str = "tokens"  # "tokens", "bytes" or "" (no ratio)

    @property
    def tokens_per_s(self) -> float | None:
        return None if self.tokens is None or self.seconds == 0 else self.tokens / self.seconds

    @property
    def mb_per_s(self) -> float:
        return self.mb / self.seconds if self.seconds else 0.0

    @property
    def ns_per_token(self) -> float | None:
        return None if not self.tokens else self.seconds / self.tokens * 1e9


def timed(fn, repeats: int):
    """Median CPU time of `repeats` calls, and the first call's result. CPU
    time of this process, not wall time: the machine is shared, and other
    processes' load would otherwise land in the figures. The collector is off
    while timing (every peer builds millions of objects)."""
    times, first = [], None
    for i in range(repeats):
        gc.collect()
        gc.disable()
        start = time.process_time()
        result = fn()
        elapsed = time.process_time() - start
        gc.enable()
        times.append(elapsed)
        if i == 0:
            first = result
        del result
    return statistics.median(times), first


class SlotToken:
    __slots__ = ("token_type", "start", "end", "text")

    def __init__(self, token_type, start, end, text):
        self.token_type = token_type
        self.start = start
        self.end = end
        self.text = text


def read_tuples(tokens) -> None:
    for token in tokens:
        token[0]
        token[1]
        token[2]
        token[3]


def read_matches(matches) -> None:
    for m in matches:
        m.token_type
        m.start
        m.end
        m.text


def bench(work: Path, repeats: int, cpp: Path | None, out: Path | None) -> None:
    import quarn
    import regex

    texts = read_workloads(work)
    rows: list[Row] = []
    checks: dict[str, dict[str, str]] = {}

    def mb(text: str) -> float:
        return len(text.encode()) / 1e6

    def add(row: Row) -> None:
        rows.append(row)
        rate = f"{row.mb_per_s:8.2f} MB/s"
        per = f"{row.ns_per_token:9.0f} ns/token" if row.ns_per_token else ""
        print(f"  {row.workload:<18} {row.peer:<34} {row.seconds:10.4g} s {rate} {per} {row.checksum}", flush=True)

    def scan_rows(workload: str, definition: str, text: str, pygments: bool) -> dict[str, int]:
        spec = peers.SPECS[definition]
        basis = "tokens" if definition != "pathological" else "bytes"  # (c) finds no token
        size = mb(text)
        sums = checks.setdefault(workload, {})
        counts = {}
        for label, engine in (("stdlib re idiom", re), ("regex module idiom", regex)):
            idiom = peers.Idiom(spec, engine.compile)
            seconds, tokens = timed(lambda: idiom.scan(text), repeats)
            count, digest = peers.digest(idiom.stream(tokens))
            del tokens
            sums[label] = digest
            counts[label] = count
            add(Row(workload, label, count, size, seconds, checksum=digest, ratio_basis=basis))
        scanner = quarn.Scanner(definition_file.read_text(definition))
        for label, method in (
            ("quarn find_matches", scanner.find_matches),
            ("quarn find_matches_with_position", scanner.find_matches_with_position),
        ):
            seconds, matches = timed(lambda: method(text), repeats)
            count, digest = peers.digest(peers.quarn_stream(matches))
            del matches
            sums[label] = digest
            add(Row(workload, label, count, size, seconds, checksum=digest, ratio_basis=basis))
        # TokenMatch keeps native fields and makes the int and str objects when a
        # property is read; the idiom's tuples already hold them. This row pays both.
        label = "quarn find_matches + reading type, text"
        seconds, stream = timed(
            lambda: [(m.token_type, m.text) for m in scanner.find_matches(text)], repeats
        )
        count, digest = peers.digest(([t for t, _ in stream], [x for _, x in stream]))
        del stream
        sums[label] = digest
        add(Row(workload, label, count, size, seconds, checksum=digest, ratio_basis=basis))
        if basis == "tokens":
            # Every field of every token read, on both sides: the idiom's tuple
            # items against TokenMatch's properties.
            idiom = peers.Idiom(spec, re.compile)
            seconds, _ = timed(lambda: read_tuples(idiom.scan(text)), repeats)
            add(Row(workload, "stdlib re idiom + reading its 4 fields", count, size, seconds, ratio_basis=basis))
            seconds, _ = timed(lambda: read_matches(scanner.find_matches(text)), repeats)
            add(Row(workload, "quarn find_matches + reading token_type, start, end, text", count, size, seconds,
                    ratio_basis=basis))
        if pygments:
            lexer = peers.pygments_lexer(definition)
            prefix = text.encode()[:PYGMENTS_PREFIX].decode("utf-8", "ignore")
            seconds, tokens = timed(lambda: list(lexer.get_tokens_unprocessed(prefix)), repeats)
            add(
                Row(workload, f"Pygments {type(lexer).__name__}", len(tokens), mb(prefix), seconds,
                    note=f"own token granularity; first {mb(prefix):.1f} MB", ratio_basis="bytes")
            )
            del tokens
        return counts

    def floor_rows(workload: str, text: str, n: int) -> None:
        import quarn_bench_floor

        token_bytes = max(1, round(len(text.encode()) / max(n, 1)))
        seconds, objs = timed(lambda: quarn_bench_floor.build(text, n, token_bytes), repeats)
        assert len(objs) == n and objs[-1].end - objs[-1].start <= token_bytes
        del objs
        add(Row(workload, "floor: C type, N objects", n, 0.0, seconds,
                note=f"4 fields, text decoded from {token_bytes}-byte UTF-8 slices", ratio_basis=""))
        seconds, _ = timed(lambda: [SlotToken(k & 7, k, k + 1, "tok") for k in range(n)], repeats)
        add(Row(workload, "floor: __slots__ class, N objects", n, 0.0, seconds, note="4 fields", ratio_basis=""))

    def construction_rows(workload: str, definition: str, runs: int) -> None:
        text = definition_file.read_text(definition)
        seconds, _ = timed(lambda: quarn.Scanner(text), runs)
        add(Row(workload, "quarn Scanner(definition)", None, 0.0, seconds, ratio_basis=""))
        for label, engine in (("re.compile master pattern", re), ("regex.compile master pattern", regex)):
            patterns = peers.master_patterns(peers.SPECS[definition])[0]

            def compile_all():
                engine.purge()  # both engines cache compiled patterns
                return [engine.compile(p) for p in patterns]

            seconds, _ = timed(compile_all, runs)
            add(Row(workload, label, None, 0.0, seconds, ratio_basis=""))

    print("scanning", flush=True)
    counts = scan_rows("(a) JSON", "json", texts["json"], True)
    floor_rows("(a) JSON", texts["json"], counts["stdlib re idiom"])
    counts = scan_rows("(b) Python", "python", texts["python"], True)
    floor_rows("(b) Python", texts["python"], counts["stdlib re idiom"])
    pathological = sorted((k for k in texts if k.startswith("pathological-")), key=lambda k: int(k.split("-")[1]))
    for key in pathological:
        scan_rows(f"(c) a*b, n={int(key.split('-')[1]):,}", "pathological", texts[key], False)
    scan_rows("(d) large", "large", texts["large"], False)
    print("construction", flush=True)
    construction_rows("(a) JSON", "json", max(repeats, 9))
    construction_rows("(b) Python", "python", max(repeats, 9))
    construction_rows("(d) large", "large", max(repeats, 5))

    cpp_rows = read_cpp(cpp) if cpp and cpp.exists() else []
    report = render(rows, cpp_rows, checks, repeats)
    print(report)
    if out:
        out.write_text(report, encoding="utf-8")


def read_cpp(path: Path) -> list[dict]:
    data = json.loads(path.read_text())
    return [b for b in data.get("benchmarks", []) if b.get("aggregate_name", "median") == "median"]


def cpu_model() -> str:
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def fmt(value: float | None, digits: int = 0) -> str:
    if value is None:
        return ""
    return f"{value:,.{digits}f}"


def render(rows: list[Row], cpp_rows: list[dict], checks: dict[str, dict[str, str]], repeats: int) -> str:
    baseline = {r.workload: r for r in rows if r.peer == "stdlib re idiom"}
    lines = [
        "# Benchmarks",
        "",
        f"Run {datetime.now(timezone.utc):%Y-%m-%d %H:%M} UTC on {cpu_model()} ({os.cpu_count()} cores), "
        f"Python {platform.python_version()}. Times are CPU seconds of the measuring process (the machine "
        f"is shared), medians of {repeats} runs (construction: 5-9); all ratios come from this run. "
        "Made by `bash benchmarks/run.sh`.",
        "",
        "| workload | peer | tokens | MB | median s | tokens/s | MB/s | ns/token | x stdlib idiom | checksum | note |",
        "|---|---|---:|---:|---:|---:|---:|---:|---:|---|---|",
    ]
    for r in rows:
        base = baseline.get(r.workload)
        ratio = ""
        if base and r.ratio_basis == "tokens" and r.tokens_per_s and base.tokens_per_s:
            ratio = f"{r.tokens_per_s / base.tokens_per_s:.2f}"
        elif base and r.ratio_basis == "bytes" and base.mb_per_s:
            ratio = f"{r.mb_per_s / base.mb_per_s:.2f} (MB/s)"
        lines.append(
            f"| {r.workload} | {r.peer} | {fmt(r.tokens)} | {fmt(r.mb or None, 2 if r.mb >= 1 else 3)} | {r.seconds:.4g} | "
            f"{fmt(r.tokens_per_s)} | {fmt(r.mb_per_s or None, 2)} | {fmt(r.ns_per_token)} | {ratio} | "
            f"{r.checksum} | {r.note} |"
        )
    lines += ["", "## Token streams", ""]
    for workload, sums in checks.items():
        distinct = set(sums.values())
        verdict = "all equal" if len(distinct) == 1 else "DIFFER: " + ", ".join(f"{k} {v}" for k, v in sums.items())
        lines.append(f"- {workload}: {verdict}")
    if cpp_rows:
        lines += ["", "## C++ scan loop (Google Benchmark, no Python; CPU time, medians)", "",
                  "| benchmark | median CPU time | MB/s | tokens | checksum |", "|---|---:|---:|---:|---|"]
        for b in cpp_rows:
            rate = b.get("bytes_per_second")
            lines.append(
                f"| {b['run_name']} | {b['cpu_time']:.3f} {b['time_unit']} | {fmt(rate / 1e6 if rate else None, 1)} | "
                f"{fmt(b.get('tokens'))} | {fmt(b.get('checksum'))} |"
            )
    lines += ["", "## Goals", ""] + goals(rows, cpp_rows)
    return "\n".join(lines) + "\n"


def goals(rows: list[Row], cpp_rows: list[dict]) -> list[str]:
    def find(workload_prefix: str, peer: str) -> Row | None:
        return next((r for r in rows if r.workload.startswith(workload_prefix) and r.peer == peer), None)

    out = []

    def ratio_goal(prefix: str, peer: str, want: float) -> None:
        row, base = find(prefix, peer), find(prefix, "stdlib re idiom")
        if row and base and row.tokens_per_s and base.tokens_per_s:
            got = row.tokens_per_s / base.tokens_per_s
            out.append(f"- {prefix} {peer} >= {want:g}x the stdlib idiom: {got:.2f}x "
                       f"({'met' if got >= want else 'missed'})")

    for prefix in ("(a)", "(b)"):
        ratio_goal(prefix, "quarn find_matches", 4)
        ratio_goal(prefix, "quarn find_matches_with_position", 3)
    ratio_goal("(d)", "quarn find_matches", 40)
    for prefix in ("(a)", "(b)"):
        row, base = find(prefix, "quarn find_matches + reading type, text"), find(prefix, "stdlib re idiom")
        if row and base and row.tokens_per_s and base.tokens_per_s:
            out.append(f"- {prefix} for reference, find_matches with every token's type and text read: "
                       f"{row.tokens_per_s / base.tokens_per_s:.2f}x the stdlib idiom")
    for prefix in ("(a)", "(b)"):
        row = find(prefix, "quarn find_matches + reading token_type, start, end, text")
        base = find(prefix, "stdlib re idiom + reading its 4 fields")
        if row and base and row.ns_per_token and base.ns_per_token:
            got = base.ns_per_token / row.ns_per_token
            out.append(f"- {prefix} find_matches with all four fields read: {row.ns_per_token:.0f} ns/token "
                       f"(<= 130: {'met' if row.ns_per_token <= 130 else 'missed'}), {got:.2f}x the idiom "
                       f"with its tuples read (>= 4.3: {'met' if got >= 4.3 else 'missed'})")
    row = find("(a)", "quarn find_matches")
    if row and row.ns_per_token:
        out.append(f"- (a) find_matches <= 55 ns/token: {row.ns_per_token:.0f} "
                   f"({'met' if row.ns_per_token <= 55 else 'missed'})")
    for prefix in ("(a)", "(b)"):
        row, floor = find(prefix, "quarn find_matches"), find(prefix, "floor: C type, N objects")
        if row and floor and row.ns_per_token and floor.ns_per_token:
            got = row.ns_per_token / floor.ns_per_token
            out.append(f"- {prefix} find_matches within 1.5x the C object floor per token: "
                       f"{row.ns_per_token:.0f} vs {floor.ns_per_token:.0f} ns = {got:.2f}x "
                       f"({'met' if got <= 1.5 else 'missed'})")
    for prefix, limit in (("(d)", 0.020), ("(a)", 0.002)):
        row = find(prefix, "quarn Scanner(definition)")
        if row:
            out.append(f"- {prefix} construction under {limit * 1e3:g} ms: {row.seconds * 1e3:.2f} ms "
                       f"({'met' if row.seconds < limit else 'missed'})")
    row, base = find("(d)", "quarn Scanner(definition)"), find("(d)", "re.compile master pattern")
    if row and base:
        got = row.seconds / base.seconds
        out.append(f"- (d) construction <= 1.5x re.compile of the master pattern: {got:.2f}x "
                   f"({'met' if got <= 1.5 else 'missed'})")
    c_rows = [r for r in rows if r.workload.startswith("(c)") and r.peer == "quarn find_matches"]
    if len(c_rows) == 2:
        growth = c_rows[1].seconds / c_rows[0].seconds
        out.append(f"- (c) growth from {c_rows[0].workload} to {c_rows[1].workload}: "
                   f"{growth:.1f}x time for {c_rows[1].mb / c_rows[0].mb:.0f}x input "
                   f"(<= 4.5x: {'met' if growth <= 4.5 else 'missed'})")
    scan = {b["run_name"]: b.get("bytes_per_second") for b in cpp_rows}
    ours, theirs = scan.get("scan/json/find_matches"), scan.get("scan/json/re2c")
    if ours and theirs:
        got = ours / theirs
        out.append(f"- (a) C++ scan loop >= 0.8x the re2c lexer's MB/s: {ours / 1e6:.0f} vs {theirs / 1e6:.0f} MB/s "
                   f"= {got:.2f} ({'met' if got >= 0.8 else 'missed'})")
    for name in ("json", "python"):
        plain, positions = scan.get(f"scan/{name}/find_matches"), scan.get(f"scan/{name}/find_matches_with_position")
        if plain and positions:
            got = plain / positions
            out.append(f"- C++ {name} with positions within 1.25x of without: {got:.2f}x "
                       f"({'met' if got <= 1.25 else 'missed'})")
    return out


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("command", choices=["prepare", "bench"])
    parser.add_argument("--work", type=Path, required=True, help="folder of the workload files")
    parser.add_argument("--quick", action="store_true", help="small workloads, to validate the set-up")
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--cpp", type=Path, help="Google Benchmark JSON output to include")
    parser.add_argument("--out", type=Path, help="write the report here (BENCHMARKS.md)")
    args = parser.parse_args()
    if args.command == "prepare":
        prepare(args.work, args.quick)
    else:
        bench(args.work, args.repeats, args.cpp, args.out)


if __name__ == "__main__":
    main()
