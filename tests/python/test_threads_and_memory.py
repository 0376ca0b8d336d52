import gc
import sys
import threading

import pytest

import quarn
from conftest import EXAMPLE, WORDS, stream

UNSENDABLE = "quarn::Scanner is unsendable, but sent to another thread"


def run_in_thread(function):
    outcome = {}

    def target():
        try:
            outcome["value"] = function()
        except BaseException as e:  # the panic exception derives from BaseException
            outcome["error"] = e

    thread = threading.Thread(target=target)
    thread.start()
    thread.join()
    return outcome


@pytest.mark.parametrize("method", ["find_matches", "find_matches_with_position"])
def test_scanner_is_confined_to_its_thread(words, method):
    outcome = run_in_thread(lambda: getattr(words, method)("abc"))
    error = outcome["error"]
    assert type(error) is quarn.PanicException
    assert str(error) == UNSENDABLE
    # Still usable on its own thread.
    assert stream(getattr(words, method)("abc")) == [(1, 0, 3, "abc")]


def test_a_scanner_from_an_ended_thread_is_refused_in_every_later_thread():
    # The OS gives an ended thread's ident to the next thread it starts.
    for _ in range(40):
        scanner = run_in_thread(lambda: quarn.Scanner('D { mode M { token "a" => 1; } }'))["value"]
        error = run_in_thread(lambda: scanner.find_matches("a"))["error"]
        assert type(error) is quarn.PanicException


def test_argument_errors_come_before_the_thread_check(words):
    outcome = run_in_thread(lambda: words.find_matches(42))
    assert type(outcome["error"]) is TypeError


def test_scanner_built_in_a_thread_works_there_and_may_die_anywhere():
    def build_and_scan():
        scanner = quarn.Scanner(WORDS)
        return scanner, scanner.find_matches("ab 12")

    outcome = run_in_thread(build_and_scan)
    scanner, matches = outcome["value"]
    # Token matches move freely between threads.
    assert stream(matches) == [(1, 0, 2, "ab"), (2, 3, 5, "12")]
    with pytest.raises(quarn.PanicException, match="unsendable"):
        scanner.find_matches("ab")
    del scanner  # released on a foreign thread: no crash, no leak


def test_no_reference_leaks(words):
    text = "abc 123\n" * 50
    definition = WORDS
    gc.collect()
    before = (
        sys.getrefcount(text),
        sys.getrefcount(definition),
        sys.getrefcount(quarn.TokenMatch),
        sys.getrefcount(quarn.Scanner),
        sys.getrefcount(words),
    )

    def exercise():
        words.find_matches(text)
        words.find_matches_with_position(input=text)
        for m in words.find_matches(text)[:3]:
            (m.token_type, m.start, m.end, m.text, m.start_line, m.end_column)
        quarn.Scanner(definition).find_matches(text)
        with pytest.raises(TypeError):
            words.find_matches(1)
        with pytest.raises(ValueError):
            quarn.Scanner(definition[:-3])

    for _ in range(200):
        exercise()
    gc.collect()
    after = (
        sys.getrefcount(text),
        sys.getrefcount(definition),
        sys.getrefcount(quarn.TokenMatch),
        sys.getrefcount(quarn.Scanner),
        sys.getrefcount(words),
    )
    assert after == before


def rss_bytes():
    with open("/proc/self/statm") as statm:
        pages = int(statm.read().split()[1])
    import resource

    return pages * resource.getpagesize()


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc")
def test_memory_stays_flat_over_many_constructions():
    def churn(count):
        for _ in range(count):
            scanner = quarn.Scanner(EXAMPLE)
            scanner.find_matches('x "open string')  # leave a pushed mode behind
            del scanner

    churn(300)  # warm up allocator pools
    before = rss_bytes()
    churn(3000)
    growth = rss_bytes() - before
    # Each scanner's tables take tens of kilobytes; keeping them would add
    # far more than this over 3000 constructions.
    assert growth < 4 * 1024 * 1024, growth


def test_failed_constructions_leave_nothing_behind():
    def churn(count):
        for _ in range(count):
            with pytest.raises(quarn.PanicException):
                quarn.Scanner('S { mode M { token "[a-z]+" => 1; on 1 push NOPE; } }')
            with pytest.raises(quarn.PanicException):
                quarn.Scanner('S { mode M { token "[a-z]+(" => 1; } }')

    churn(200)
    before = rss_bytes()
    churn(2000)
    assert rss_bytes() - before < 4 * 1024 * 1024


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc")
def test_exhausted_memory_is_a_memory_error_not_a_crash():
    # Run apart: the address-space limit must not reach the test process.
    script = (
        "import resource, quarn\n"
        "s = quarn.Scanner('S { mode M { token \"a\" => 1; } }')\n"
        "text = 'a' * 5_000_000\n"
        "size = next(int(l.split()[1]) for l in open('/proc/self/status') if l.startswith('VmSize'))\n"
        "limit = size * 1024 + 64 * 1024 * 1024\n"
        "resource.setrlimit(resource.RLIMIT_AS, (limit, limit))\n"
        "for method in (s.find_matches, s.find_matches_with_position):\n"
        "    try:\n"
        "        method(text)\n"
        "        print('scanned')\n"
        "    except MemoryError:\n"
        "        print('MemoryError')\n"
        "print(len(s.find_matches('a' * 1000)))\n"
    )
    import subprocess

    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["MemoryError", "MemoryError", "1000"]
