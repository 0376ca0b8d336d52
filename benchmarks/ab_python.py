"""Two builds of the `quarn` extension side by side: CPU ns/token of the Python
result side (find_matches, find_matches plus reading token_type, start, end and
text of every token, find_matches_with_position), each build imported in its
own child process, runs alternated between the builds so that the load of a
shared machine falls on both; optionally callgrind instructions per token.

    python benchmarks/ab_python.py OLD_DIR NEW_DIR [--rounds 5] [--callgrind]

A build directory holds a `quarn.*.so`; the data are the workloads made by
`run.sh` (benchmarks/.work/data, or --data). Instructions per token are the
difference between a callgrind count of two scans of a 1.5 MB slice and one,
divided by its tokens, so that start-up and construction cancel out."""

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

HERE = Path(__file__).resolve().parent
WORKLOADS = {"json": "json.quarn", "python": "python.quarn"}
MODES = ("find_matches", "find_matches + 4 reads", "find_matches_with_position")


def read_all(matches):
    for m in matches:
        m.token_type
        m.start
        m.end
        m.text


def child(build: str, data: Path, workload: str, repeats: int, scans: int, size: int,
          counted: str) -> None:
    sys.path.insert(0, build)
    import quarn

    assert Path(quarn.__file__).parent == Path(build), quarn.__file__
    text = (data / f"{workload}.txt").read_text(encoding="utf-8")
    if size:
        # Whole lines, so that no token is cut.
        text = text[: text.index("\n", size) + 1]
    scanner = quarn.Scanner((HERE / "definitions" / WORKLOADS[workload]).read_text())
    if scans:  # under callgrind: the count alone matters
        for _ in range(scans):
            if counted == MODES[2]:
                result = scanner.find_matches_with_position(text)
            else:
                result = scanner.find_matches(text)
            if counted == MODES[1]:
                read_all(result)
            tokens = len(result)
            del result
        print(tokens)
        return
    tokens = len(scanner.find_matches(text))
    runs = {
        MODES[0]: lambda: scanner.find_matches(text),
        MODES[1]: lambda: read_all(scanner.find_matches(text)),
        MODES[2]: lambda: scanner.find_matches_with_position(text),
    }
    for mode, run in runs.items():
        best = []
        for _ in range(repeats):
            # As in run.py: the collector off while timing, the result freed after.
            gc.collect()
            gc.disable()
            start = time.process_time()
            result = run()
            best.append(time.process_time() - start)
            gc.enable()
            del result
        print(f"{mode}\t{min(best) * 1e9 / tokens}")


def measure(build: str, args, workload: str) -> dict[str, float]:
    out = subprocess.run(
        [sys.executable, __file__, "--child", build, "--data", str(args.data), "--workload",
         workload, "--repeats", str(args.repeats)],
        check=True, capture_output=True, text=True,
    ).stdout
    return {mode: float(ns) for mode, ns in (line.split("\t") for line in out.splitlines())}


def instructions(build: str, args, workload: str, scans: int, mode: str) -> tuple[int, int]:
    with tempfile.TemporaryDirectory() as tmp:
        out_file = os.path.join(tmp, "callgrind.out")
        run = subprocess.run(
            ["valgrind", "--tool=callgrind", f"--callgrind-out-file={out_file}",
             sys.executable, __file__, "--child", build, "--data", str(args.data),
             "--workload", workload, "--scans", str(scans), "--size", str(args.size),
             "--counted", mode],
            check=True, capture_output=True, text=True,
        )
        total = re.search(r"^(?:summary|totals): (\d+)", Path(out_file).read_text(), re.M)
        return int(total.group(1)), int(run.stdout)


def report_times(workload: str, builds: list[str], samples, rounds: int) -> None:
    print(f"\n{workload}: CPU ns/token, median of {rounds} alternated runs")
    print("| mode | " + " | ".join(Path(b).name for b in builds) + " | last/first |")
    print("|---|" + "---|" * (len(builds) + 1))
    for mode in MODES:
        medians = [statistics.median(samples[b][mode]) for b in builds]
        cells = " | ".join(f"{m:.1f}" for m in medians)
        print(f"| {mode} | {cells} | {medians[-1] / medians[0]:.3f} |")


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("builds", nargs="*")
    parser.add_argument("--data", type=Path, default=HERE / ".work" / "data")
    parser.add_argument("--workload", action="append", choices=sorted(WORKLOADS))
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--repeats", type=int, default=1)
    parser.add_argument("--callgrind", action="store_true")
    parser.add_argument("--size", type=int, default=1_500_000)
    parser.add_argument("--child")
    parser.add_argument("--scans", type=int, default=0)
    parser.add_argument("--counted", choices=MODES, default=MODES[0])
    args = parser.parse_args()
    workloads = args.workload or ["json"]
    if args.child:
        child(args.child, args.data, workloads[0], args.repeats, args.scans, args.size,
              args.counted)
        return
    builds = [str(Path(b).resolve()) for b in args.builds]
    for workload in workloads:
        samples = {b: {m: [] for m in MODES} for b in builds}
        for round_ in range(args.rounds):
            # Alternate which build goes first as well.
            for build in builds if round_ % 2 == 0 else builds[::-1]:
                for mode, ns in measure(build, args, workload).items():
                    samples[build][mode].append(ns)
        if args.rounds:
            report_times(workload, builds, samples, args.rounds)
        if args.callgrind:
            print(f"\n{workload}: callgrind instructions/token ({args.size / 1e6:.1f} MB slice)")
            print("| build | " + " | ".join(MODES) + " |\n|---|---|---|---|")
            for build in builds:
                cells = []
                for mode in MODES:
                    once, tokens = instructions(build, args, workload, 1, mode)
                    twice, _ = instructions(build, args, workload, 2, mode)
                    cells.append(f"{(twice - once) / tokens:.0f}")
                print(f"| {Path(build).name} | " + " | ".join(cells) + " |")


if __name__ == "__main__":
    main()
