"""The benchmark report: ratios on the right basis, goal verdicts, stream
verdicts, Google Benchmark output, and the definition reader the peers use."""

from __future__ import annotations

import json
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "benchmarks"))

import definition_file  # noqa: E402
import run  # noqa: E402
from run import Row  # noqa: E402


def rows() -> list[Row]:
    return [
        Row("(a) JSON", "stdlib re idiom", 1000, 2.0, 1.0),
        Row("(a) JSON", "quarn find_matches", 1000, 2.0, 0.2),
        Row("(a) JSON", "quarn find_matches_with_position", 1000, 2.0, 0.5),
        Row("(a) JSON", "quarn find_matches + reading type, text", 1000, 2.0, 0.4),
        Row("(a) JSON", "Pygments JsonLexer", 3000, 1.0, 1.0, ratio_basis="bytes"),
        Row("(a) JSON", "floor: C type, N objects", 1000, 0.0, 0.1, ratio_basis=""),
        Row("(c) a*b, n=5,000", "stdlib re idiom", 0, 0.005, 0.5, ratio_basis="bytes"),
        Row("(c) a*b, n=5,000", "quarn find_matches", 0, 0.005, 0.001, ratio_basis="bytes"),
        Row("(c) a*b, n=20,000", "stdlib re idiom", 0, 0.02, 8.0, ratio_basis="bytes"),
        Row("(c) a*b, n=20,000", "quarn find_matches", 0, 0.02, 0.004, ratio_basis="bytes"),
        Row("(d) large", "quarn Scanner(definition)", None, 0.0, 0.025, ratio_basis=""),
    ]


def table_line(report: str, workload: str, peer: str) -> list[str]:
    line = next(l for l in report.splitlines() if l.startswith(f"| {workload} | {peer} |"))
    return [cell.strip() for cell in line.strip("|").split("|")]


def test_ratios_use_tokens_or_bytes_as_the_row_says():
    report = run.render(rows(), [], {}, 3)
    ratio = 8  # column "x stdlib idiom"
    assert table_line(report, "(a) JSON", "quarn find_matches")[ratio] == "5.00"
    # Pygments counts its own tokens: compared by MB/s, 1 MB/s against 2 MB/s
    assert table_line(report, "(a) JSON", "Pygments JsonLexer")[ratio] == "0.50 (MB/s)"
    assert table_line(report, "(a) JSON", "floor: C type, N objects")[ratio] == ""
    # no tokens at all: bytes per second still compare
    assert table_line(report, "(c) a*b, n=5,000", "quarn find_matches")[ratio] == "500.00 (MB/s)"


def test_goal_verdicts():
    cpp = [
        {"run_name": "scan/json/find_matches", "bytes_per_second": 300e6},
        {"run_name": "scan/json/re2c", "bytes_per_second": 700e6},
    ]
    verdicts = run.goals(rows(), cpp)
    assert "- (a) quarn find_matches >= 4x the stdlib idiom: 5.00x (met)" in verdicts
    assert "- (a) quarn find_matches_with_position >= 3x the stdlib idiom: 2.00x (missed)" in verdicts
    assert any(v.startswith("- (a) find_matches within 1.5x") and "= 2.00x (missed)" in v for v in verdicts)
    assert "- (d) construction under 20 ms: 25.00 ms (missed)" in verdicts
    assert any(v.startswith("- (a) for reference") and v.endswith(": 2.50x the stdlib idiom") for v in verdicts)
    assert any(v.startswith("- (c) growth") and "4.0x time for 4x input" in v for v in verdicts)
    assert any("re2c" in v and "= 0.43 (missed)" in v for v in verdicts)


def test_stream_verdicts_name_every_checksum_when_they_differ():
    report = run.render([], [], {"(a) JSON": {"re": "aa", "quarn": "aa"}, "(b) Python": {"re": "aa", "quarn": "bb"}}, 3)
    assert "- (a) JSON: all equal" in report
    assert "- (b) Python: DIFFER: re aa, quarn bb" in report


def test_google_benchmark_medians_are_read(tmp_path):
    entry = {"run_name": "scan/json/re2c", "cpu_time": 1.5, "time_unit": "ms", "bytes_per_second": 7e8}
    data = {
        "benchmarks": [
            dict(entry, aggregate_name="mean", cpu_time=9.0),
            dict(entry, aggregate_name="median"),
            dict(entry, aggregate_name="stddev", cpu_time=0.1),
        ]
    }
    path = tmp_path / "cpp.json"
    path.write_text(json.dumps(data))
    medians = run.read_cpp(path)
    assert [b["cpu_time"] for b in medians] == [1.5]
    assert "| scan/json/re2c | 1.500 ms | 700.0 |" in run.render([], medians, {}, 3)


def test_definition_reader():
    modes = definition_file.parse(
        r'''Demo {
            mode A {
                token r#"a"b"# not followed by r"\d" => 7;
                token r"x" followed by r#"""# => 8;
                on 7 push B;
                on 8 enter B;
                on 8 pop;
            }
            mode B { }
        }'''
    )
    assert [m.name for m in modes] == ["A", "B"]
    assert modes[0].tokens == [
        definition_file.Token('a"b', 7, r"\d", negative=True),
        definition_file.Token("x", 8, '"', negative=False),
    ]
    # a later clause for the same token type replaces the earlier one
    assert modes[0].transitions == {7: ("push", "B"), 8: ("pop", None)}
    assert modes[1].tokens == [] and modes[1].transitions == {}
    with pytest.raises(ValueError):
        definition_file.parse('Demo { mode A { token "plain" => 1; } }')
