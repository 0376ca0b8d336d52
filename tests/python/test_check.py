"""quarn_tools.check through Python: every finding's witness is confirmed by
scanning it with quarn.Scanner, and clean definitions stay clean."""

import pathlib

import pytest

import quarn
import quarn_tools

ROOT = pathlib.Path(__file__).resolve().parents[2]


def first_token(definition, text):
    matches = quarn.Scanner(definition).find_matches(text)
    return (matches[0].token_type, matches[0].text) if matches else None


@pytest.mark.parametrize(
    "body, code, winner_type",
    [
        ('token "[a-z]+" => 1; token "while" => 2;', "shadowed-clause", 1),
        ('token "[0-9]+" => 1; token "0|[1-9][0-9]*" => 2;', "shadowed-clause", 1),
        ('token "while" => 2; token "[a-z]+" => 1;', "order-decided", 2),
    ],
)
def test_witness_scans_as_the_finding_says(body, code, winner_type):
    definition = "S { mode M { %s } }" % body
    (finding,) = [d for d in quarn_tools.check(definition) if d.code == code]
    assert finding.clause == 2 and finding.mode == "M"
    assert first_token(definition, finding.witness) == (winner_type, finding.witness)


def test_fields_and_locations():
    definition = 'S {\n  mode M {\n    token "a*" => 1;\n    token "b" => 2;\n  }\n}'
    (finding,) = quarn_tools.check(definition)
    assert (finding.severity, finding.code, finding.line, finding.column) == (
        "warning", "empty-match", 3, 5)
    assert finding.clause == 1 and finding.witness is None


def test_definition_errors_are_error_findings_and_exceptions():
    broken = "S { mode M { token \"a\" => ; } }"
    (finding,) = quarn_tools.check(broken)
    assert finding.severity == "error" and finding.column == 27
    with pytest.raises(quarn_tools.DefinitionError) as raised:
        quarn_tools.statistics(broken)
    assert (raised.value.line, raised.value.column) == (1, 27)
    assert isinstance(raised.value, ValueError)
    with pytest.raises(KeyError):
        quarn_tools.graph_dot("S { mode M { token \"a\" => 1; } }", "NOPE")


@pytest.mark.parametrize(
    "path", sorted(ROOT.glob("examples/*.quarn")) + sorted(ROOT.glob("benchmarks/definitions/*.quarn")),
    ids=lambda p: p.name)
def test_bundled_definitions_have_no_warnings(path):
    findings = quarn_tools.check(path.read_text(encoding="utf-8"))
    assert [d for d in findings if d.severity != "note"] == []


def test_statistics_count_every_mode():
    stats = quarn_tools.statistics((ROOT / "examples/demo.quarn").read_text())
    assert [m["name"] for m in stats["modes"]] == ["MAIN", "STRING"]
    for mode in stats["modes"]:
        assert mode["minimized_states"] <= mode["dfa_states"] <= mode["nfa_states"]
        assert mode["table_bytes"] > 0 and mode["error"] is None
