"""Ctrl-C stops a long call, and a call that raises leaves the scanner's mode
state as it was. Ctrl-C runs in a child interpreter that receives SIGINT."""

import signal
import subprocess
import sys
import textwrap
import time

import pytest

import quarn



# Every start reads up to 30 characters and fails: seconds of scanning.
SLOW_SCAN = 'D { mode M { token r"a{1,30}b" => 1; } }'
SLOW_TEXT = "'a' * 50_000_000"
# Close to the bounds (one wide class repeated, then subset constructions until
# the step bound refuses them): most of a second.
SLOW_BUILD = ("'D { mode W { token r\"(?i)\\\\w{1,3000}\" => 1; } ' + ' '.join("
              "f'mode M{i} {{ token r\"[a-z]{{1,3000}}\" => {i}; }}' for i in range(20)) + ' }'")

CHILD = """
import quarn, time
{setup}
def timed():
    t = time.perf_counter()
    try:
        {call}
        return "finished", time.perf_counter() - t
    except BaseException as e:
        return type(e).__name__, time.perf_counter() - t
{measure}
print("go", uninterrupted, flush=True)
outcome, seconds = timed()
print(outcome, seconds, uninterrupted, flush=True)
"""


def interrupted_call(setup: str, call: str, measure_first: bool) -> tuple[str, float, float]:
    """Runs `call` in a child, sends SIGINT 0.2 s after it starts (or after a
    quarter of the uninterrupted duration, when measured and shorter); returns
    the outcome, its duration and (if measured) the uninterrupted duration."""
    measure = "uninterrupted = timed()[1]" if measure_first else "uninterrupted = 0"
    code = textwrap.dedent(CHILD).format(setup=setup, call=call, measure=measure)
    child = subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.PIPE, text=True)
    try:
        go, measured = child.stdout.readline().split()
        assert go == "go"
        time.sleep(min(0.2, float(measured) / 4) if measure_first else 0.2)
        child.send_signal(signal.SIGINT)
        out, _ = child.communicate(timeout=120)
    finally:
        child.kill()
    outcome, seconds, uninterrupted = out.split()
    return outcome, float(seconds), float(uninterrupted)


def test_ctrl_c_stops_a_long_scan():
    outcome, seconds, _ = interrupted_call(f"s = quarn.Scanner({SLOW_SCAN!r}); text = {SLOW_TEXT}",
                                           "s.find_matches(text)", measure_first=False)
    # The whole scan takes several seconds.
    assert outcome == "KeyboardInterrupt"
    assert seconds < 3


def test_ctrl_c_stops_a_long_construction():
    outcome, seconds, uninterrupted = interrupted_call(f"d = {SLOW_BUILD}", "quarn.Scanner(d)", measure_first=True)
    # Bounded by the construction's step limit: well under a second on a fast machine.
    assert uninterrupted > 0.05
    assert outcome == "KeyboardInterrupt"
    assert seconds < uninterrupted / 2


# "y" pushes B, where "a" is a token; in A it is not, so scanning "a" shows the mode.
PUSHED = 'D { mode A { token "y" => 1; on 1 push B; } mode B { token r"a{1,30}b" => 2; token "a" => 3; } }'


def test_an_interrupted_scan_leaves_the_mode_state_as_it_was():
    class Stop(Exception):
        pass

    def stop(signum, frame):
        raise Stop

    scanner = quarn.Scanner(PUSHED)
    previous = signal.signal(signal.SIGALRM, stop)
    try:
        signal.setitimer(signal.ITIMER_REAL, 0.05)
        with pytest.raises(Stop):
            scanner.find_matches("y" + "a" * 20_000_000)  # seconds, in B
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    assert scanner.find_matches("a") == []  # still in A
    # A scan that succeeds keeps its mode switches.
    assert [t.token_type for t in scanner.find_matches("ya")] == [1, 3]
    assert [t.token_type for t in scanner.find_matches("a")] == [3]


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc")
def test_a_memory_error_leaves_the_mode_state_as_it_was():
    script = textwrap.dedent(f"""
        import resource, quarn
        s = quarn.Scanner({PUSHED!r})
        text = 'y' + 'a' * 5_000_000
        size = next(int(l.split()[1]) for l in open('/proc/self/status') if l.startswith('VmSize'))
        limit = size * 1024 + 64 * 1024 * 1024
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
        try:
            s.find_matches(text)
        except MemoryError:
            print('MemoryError')
        print(len(s.find_matches('a')))
    """)
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["MemoryError", "0"]
