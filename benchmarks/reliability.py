"""Hostile inputs and misuse, each run in a fresh interpreter: wall time and peak
memory of scans that switch modes, of constructions near the bounds, the delay
between Ctrl-C and KeyboardInterrupt, and the mode state and thread checks.

    python benchmarks/reliability.py [--only NAME ...] [--timeout SECONDS]

Not part of the test command; prints a Markdown table. Each child runs under an
address-space limit (4 GB by default) so that a runaway construction fails with
MemoryError instead of taking the machine.
"""

from __future__ import annotations

import argparse
import os
import resource
import signal
import subprocess
import sys
import textwrap
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
LARGE = (ROOT / "benchmarks" / "definitions" / "large.quarn").read_text()

PING_PONG = """PingPong {
    mode A { token r"x[a-z]*!" => 1; token "x" => 2; on 2 enter B; }
    mode B { token r"x[a-z]*!" => 1; token "x" => 2; on 2 enter A; }
}"""


def scan_case(definition: str, text_expr: str) -> str:
    return textwrap.dedent(f"""
        import quarn, time
        s = quarn.Scanner({definition!r})
        text = {text_expr}
        t = time.perf_counter()
        n = len(s.find_matches(text))
        print(f"{{time.perf_counter() - t:.3f}} s scan, {{n}} tokens")
    """)


def build_case(definition_expr: str) -> str:
    return textwrap.dedent(f"""
        import quarn, time
        d = {definition_expr}
        t = time.perf_counter()
        try:
            quarn.Scanner(d)
            print(f"built in {{time.perf_counter() - t:.2f}} s")
        except BaseException as e:
            print(f"{{type(e).__name__}} after {{time.perf_counter() - t:.2f}} s: {{str(e)[:90]}}")
    """)


def interrupt_case(setup: str, call: str) -> str:
    # The parent sends SIGINT once the child prints "go"; the child reports how
    # long the call ran after that.
    return textwrap.dedent(f"""
        import quarn, sys, time
        {setup}
        print("go", flush=True)
        t = time.perf_counter()
        try:
            {call}
            print(f"finished after {{time.perf_counter() - t:.2f}} s, no interrupt")
        except KeyboardInterrupt:
            print(f"KeyboardInterrupt {{time.perf_counter() - t:.2f}} s after the call began")
    """)


CASES: dict[str, str] = {}
for n in (10_000, 40_000):
    CASES[f"modes ping-pong, 'x' * {n:,}"] = scan_case(PING_PONG, f"'x' * {n}")
for n in (20_000, 80_000):
    CASES[f"large.quarn, '/*\"\"' * {n // 4:,} ({n // 1000} KB)"] = scan_case(LARGE, f"'/*\"\"' * {n // 4}")
CASES["400,000 x \\w alternation (1.2 MB)"] = build_case(
    "'D { mode M { token r\"' + '|'.join([r'\\w'] * 400_000) + '\" => 1; } }'")
CASES["\\w repeated 5,000,000 times"] = build_case("'D { mode M { token r\"' + r'\\w' * 5_000_000 + '\" => 1; } }'")
CASES["10 MB literal"] = build_case("'D { mode M { token \"' + 'a' * 10_000_000 + '\" => 1; } }'")
MANY_MODES = "'D { ' + ' '.join(f'mode M{i} {{ token r\"(?i)\\\\w{{1,3000}}\" => {i}; }}' for i in range(120)) + ' }'"
CASES["120 modes of (?i)\\w{1,3000}"] = build_case(MANY_MODES)
# Every start reads up to 30 characters: a long scan even where scans are linear.
CASES["Ctrl-C during a scan (1 s in)"] = interrupt_case(
    "s = quarn.Scanner('D { mode M { token r\"a{1,30}b\" => 1; } }'); text = 'a' * 200_000_000",
    "s.find_matches(text)")
CASES["Ctrl-C during a construction (1 s in)"] = interrupt_case(f"d = {MANY_MODES}", "quarn.Scanner(d)")
CASES["mode state after an interrupted scan"] = textwrap.dedent("""
    import quarn, signal
    # "y" pushes B, where "a" is a token; in A it is not.
    s = quarn.Scanner('D { mode A { token "y" => 1; on 1 push B; } '
                      'mode B { token r"a{1,30}b" => 2; token "a" => 3; } }')
    signal.signal(signal.SIGALRM, signal.default_int_handler)
    signal.setitimer(signal.ITIMER_REAL, 0.3)
    try:
        s.find_matches("y" + "a" * 20_000_000)
    except KeyboardInterrupt:
        pass
    print("mode kept" if s.find_matches("a") == [] else "mode changed: the next scan starts in B")
""")
CASES["scanner from an ended thread, 40 tries"] = textwrap.dedent("""
    import quarn, threading
    accepted = 0
    for _ in range(40):
        box = []
        t = threading.Thread(target=lambda: box.append(quarn.Scanner('D { mode M { token "a" => 1; } }')))
        t.start(); t.join()
        def use():
            global accepted
            try:
                box[0].find_matches("a"); accepted += 1
            except BaseException:
                pass
        u = threading.Thread(target=use); u.start(); u.join()
    print(f"accepted {accepted} of 40")
""")


def run(name: str, code: str, timeout: float, memory_limit: int) -> tuple[str, float, float]:
    def limit():
        resource.setrlimit(resource.RLIMIT_AS, (memory_limit, memory_limit))

    proc = subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, preexec_fn=limit)
    start = time.perf_counter()
    if name.startswith("Ctrl-C"):
        assert proc.stdout.readline().strip() == "go"
        time.sleep(1.0)
        proc.send_signal(signal.SIGINT)
    output = ""
    status = None
    while status is None:
        pid, status_code, usage = os.wait4(proc.pid, os.WNOHANG)
        if pid:
            status = status_code
            break
        if time.perf_counter() - start > timeout:
            proc.kill()
            _, status, usage = os.wait4(proc.pid, 0)
            output = f"killed after {timeout:.0f} s"
            break
        time.sleep(0.02)
    seconds = time.perf_counter() - start
    rest = proc.stdout.read().strip().splitlines()
    output = output or (rest[-1] if rest else f"exit status {status}")
    return output, seconds, usage.ru_maxrss / 1024


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--only", nargs="*", default=None, help="substrings of case names")
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("--memory-gb", type=float, default=4)
    args = parser.parse_args()
    print("| Case | Result | Process wall time | Peak RSS |")
    print("|---|---|---|---|")
    for name, code in CASES.items():
        if args.only and not any(s in name for s in args.only):
            continue
        output, seconds, rss = run(name, code, args.timeout, int(args.memory_gb * 2**30))
        print(f"| {name} | {output} | {seconds:.2f} s | {rss:.0f} MB |", flush=True)


if __name__ == "__main__":
    main()
