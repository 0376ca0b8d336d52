"""Two (or more) builds of the `quarn` extension side by side: CPU ns/token of
the Python result side (find_matches, find_matches plus reading token_type,
start, end and text of every token, find_matches_with_position), and
optionally callgrind instructions per token.

    python benchmarks/ab_python.py OLD_DIR NEW_DIR [--rounds 7] [--callgrind]

A build directory holds a `quarn.*.so`. All builds are loaded into one process
and every timed call alternates between them, so that the load of a shared
machine falls on each alike; the figure is the median over the rounds. The data
are the workloads made by `run.sh` (benchmarks/.work/data, or --data).
Instructions per token are the difference between a callgrind count of two
scans of a 1.5 MB slice and one, divided by its tokens, so that start-up and
construction cancel out; each build is counted in its own process."""

from __future__ import annotations

import argparse
import gc
import importlib.util
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
WORKLOADS = {"json": "json.quarn", "python": "python.quarn"}
MODES = ("find_matches", "find_matches + 4 reads", "find_matches_with_position")


def load(build: str):
    """The `quarn` module of one build directory, loaded beside any other."""
    (path,) = Path(build).glob("quarn.*.so")
    spec = importlib.util.spec_from_file_location("quarn", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def read_text(data: Path, workload: str, size: int) -> str:
    text = (data / f"{workload}.txt").read_text(encoding="utf-8")
    if size:
        # Whole lines, so that no token is cut.
        text = text[: text.index("\n", size) + 1]
    return text


def read_all(matches):
    for m in matches:
        m.token_type
        m.start
        m.end
        m.text


def calls(scanner, text):
    return {
        MODES[0]: lambda: scanner.find_matches(text),
        MODES[1]: lambda: read_all(scanner.find_matches(text)),
        MODES[2]: lambda: scanner.find_matches_with_position(text),
    }


def timed(run) -> float:
    # As in run.py: the collector off while timing, the result freed after.
    gc.collect()
    gc.disable()
    start = time.process_time()
    result = run()
    elapsed = time.process_time() - start
    gc.enable()
    del result
    return elapsed


def compare(builds: list[str], data: Path, workload: str, rounds: int) -> None:
    text = read_text(data, workload, 0)
    definition = (HERE / "definitions" / WORKLOADS[workload]).read_text()
    scanners = [load(build).Scanner(definition) for build in builds]
    tokens = len(scanners[0].find_matches(text))
    assert all(len(s.find_matches(text)) == tokens for s in scanners)
    runs = [calls(s, text) for s in scanners]
    samples = [{mode: [] for mode in MODES} for _ in builds]
    for round_ in range(rounds):
        for mode in MODES:
            order = range(len(builds)) if round_ % 2 == 0 else reversed(range(len(builds)))
            for i in order:
                samples[i][mode].append(timed(runs[i][mode]) * 1e9 / tokens)
    print(f"\n{workload}: CPU ns/token, medians of {rounds} alternated runs ({tokens:,} tokens)")
    print("| mode | " + " | ".join(Path(b).name for b in builds) + " | last/first |")
    print("|---|" + "---:|" * (len(builds) + 1))
    for mode in MODES:
        medians = [statistics.median(s[mode]) for s in samples]
        cells = " | ".join(f"{m:.1f}" for m in medians)
        print(f"| {mode} | {cells} | {medians[-1] / medians[0]:.3f} |")


def counted_scans(build: str, data: Path, workload: str, size: int, mode: str,
                  scans: int) -> None:
    """Under callgrind: `scans` calls of one mode; prints the token count."""
    text = read_text(data, workload, size)
    scanner = load(build).Scanner((HERE / "definitions" / WORKLOADS[workload]).read_text())
    run = calls(scanner, text)[mode]
    for _ in range(scans):
        run()
    print(len(scanner.find_matches(text)))


def instructions(build: str, args, workload: str, scans: int, mode: str) -> tuple[int, int]:
    with tempfile.TemporaryDirectory() as tmp:
        out_file = os.path.join(tmp, "callgrind.out")
        run = subprocess.run(
            ["valgrind", "--tool=callgrind", f"--callgrind-out-file={out_file}",
             sys.executable, __file__, build, "--data", str(args.data), "--workload", workload,
             "--size", str(args.size), "--counted", mode, "--scans", str(scans)],
            check=True, capture_output=True, text=True,
        )
        total = re.search(r"^(?:summary|totals): (\d+)", Path(out_file).read_text(), re.M)
        return int(total.group(1)), int(run.stdout)


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("builds", nargs="+")
    parser.add_argument("--data", type=Path, default=HERE / ".work" / "data")
    parser.add_argument("--workload", action="append", choices=sorted(WORKLOADS))
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--callgrind", action="store_true")
    parser.add_argument("--size", type=int, default=1_500_000)
    parser.add_argument("--counted", choices=MODES, help=argparse.SUPPRESS)
    parser.add_argument("--scans", type=int, default=1, help=argparse.SUPPRESS)
    args = parser.parse_args()
    workloads = args.workload or ["json"]
    builds = [str(Path(b).resolve()) for b in args.builds]
    if args.counted:
        counted_scans(builds[0], args.data, workloads[0], args.size, args.counted, args.scans)
        return
    for workload in workloads:
        if args.rounds:
            compare(builds, args.data, workload, args.rounds)
        if args.callgrind:
            print(f"\n{workload}: callgrind instructions/token ({args.size / 1e6:.1f} MB slice)")
            print("| build | " + " | ".join(MODES) + " |\n|---|---:|---:|---:|")
            for build in builds:
                cells = []
                for mode in MODES:
                    once, tokens = instructions(build, args, workload, 1, mode)
                    twice, _ = instructions(build, args, workload, 2, mode)
                    cells.append(f"{(twice - once) / tokens:.0f}")
                print(f"| {Path(build).name} | " + " | ".join(cells) + " |")


if __name__ == "__main__":
    main()
