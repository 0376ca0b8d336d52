from pathlib import Path

import pytest

import quarn

PREFIX = "Failed to parse scanner definition: "


def one_mode(body):
    return "S { mode M { " + body + " } }"


def test_definition_keyword_and_positional():
    text = one_mode('token "a" => 1;')
    for scanner in (quarn.Scanner(text), quarn.Scanner(definition=text)):
        assert [m.token_type for m in scanner.find_matches("aa")] == [1, 1]


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: quarn.Scanner(), "missing 1 required positional argument: 'definition'"),
        (lambda: quarn.Scanner("a", "b"), "takes 1 positional argument but 2 were given"),
        (lambda: quarn.Scanner(text="a"), "unexpected keyword argument 'text'"),
        (lambda: quarn.Scanner("a", definition="b"), "multiple values for argument 'definition'"),
        (lambda: quarn.Scanner(42), "argument 'definition' must be str, not int"),
        (lambda: quarn.Scanner(b"S { mode M {} }"), "argument 'definition' must be str, not bytes"),
    ],
)
def test_argument_errors(call, message):
    with pytest.raises(TypeError, match=message):
        call()


@pytest.mark.parametrize(
    "definition, message",
    [
        ("", "expected identifier `scanner_name`"),
        ("S { }", "expected identifier `mode`"),
        ("S", "unexpected end of input, expected curly braces"),
        (one_mode('token "a" => 1'), "unexpected end of input, expected ';'"),
        (one_mode('token "a" => 1 on 1 pop;'), "expected ';'"),
        (one_mode('token "a" => 4294967296;'), "number too large to fit in target type"),
        ("S { mode M { } } x", "unexpected token"),
        ('S { mode M { token "a" => 1; } ', "cannot parse string into token stream"),
    ],
)
def test_definition_errors_are_value_errors(definition, message):
    with pytest.raises(ValueError) as info:
        quarn.Scanner(definition)
    assert str(info.value) == PREFIX + message


def test_lookahead_regex_error_is_a_definition_error():
    with pytest.raises(ValueError) as info:
        quarn.Scanner(one_mode('token "a" followed by "(" => 1;'))
    assert str(info.value).startswith(
        PREFIX + "Failed to create positive lookahead: Failed to create NFA from regex pattern: "
    )
    with pytest.raises(ValueError) as info:
        quarn.Scanner(one_mode('token "a" not followed by "(" => 1;'))
    assert str(info.value).startswith(PREFIX + "Failed to create negative lookahead: ")


@pytest.mark.parametrize(
    "definition, message",
    [
        (one_mode('token "a" => 1; on 1 push NOPE;'), "Scanner mode 'NOPE' not found"),
        (one_mode("on 1 enter Missing;"), "Scanner mode 'Missing' not found"),
    ],
)
def test_unknown_mode_panics(definition, message):
    with pytest.raises(quarn.PanicException) as info:
        quarn.Scanner(definition)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "pattern",
    [
        "(",  # unclosed group
        r"\b",  # word boundary: unsupported
        "a+?",  # non-greedy repetition: unsupported
    ],
)
def test_rejected_token_pattern_panics(pattern):
    with pytest.raises(quarn.PanicException) as info:
        quarn.Scanner(one_mode("token r#\"" + pattern + "\"# => 1;"))
    assert str(info.value).startswith("Failed to build NFA for pattern: ")


def test_state_explosion_panics_instead_of_exhausting_memory():
    with pytest.raises(quarn.PanicException) as info:
        quarn.Scanner(one_mode('token "(a|b)*a(a|b){24}" => 1;'))
    assert str(info.value).startswith("Failed to convert NFA to DFA: ")


def test_panic_is_not_an_ordinary_exception_and_the_interpreter_goes_on():
    caught = None
    try:
        try:
            quarn.Scanner(one_mode("on 1 push NOPE;"))
        except Exception:  # must not catch the panic
            pytest.fail("PanicException was caught as Exception")
    except BaseException as e:  # noqa: B036
        caught = e
    assert type(caught) is quarn.PanicException
    assert quarn.Scanner(one_mode('token "a" => 1;')).find_matches("a")[0].text == "a"


def test_scanner_without_token_clauses_matches_nothing():
    scanner = quarn.Scanner("S { mode M { } }")
    assert scanner.find_matches("anything at all") == []
    assert scanner.find_matches_with_position("x\ny") == []


def test_independent_scanners_from_one_text():
    text = 'S { mode M { token "q" => 1; on 1 push Q; } mode Q { token "q" => 2; } }'
    first, second = quarn.Scanner(text), quarn.Scanner(text)
    assert [m.token_type for m in first.find_matches("qq")] == [1, 2]
    assert [m.token_type for m in second.find_matches("qq")] == [1, 2]


ROOT = Path(__file__).resolve().parents[2]
BUNDLED = sorted(
    [*ROOT.glob("examples/**/*.quarn"), *ROOT.glob("benchmarks/definitions/*.quarn"),
     *ROOT.glob("python/quarn_tools/languages/*.quarn")]
)


def test_bundled_definitions_build_within_the_bounds():
    assert len(BUNDLED) >= 15
    for path in BUNDLED:
        quarn.Scanner(path.read_text())


def test_many_modes_of_wide_classes_are_refused_before_building():
    modes = " ".join(f'mode M{i} {{ token r"(?i)\\w{{1,3000}}" => {i}; }}' for i in range(120))
    with pytest.raises(quarn.PanicException) as info:
        quarn.Scanner("D { " + modes + " }")
    assert str(info.value).startswith(
        "Failed to build NFA for pattern: NfaTooLargeError { scanner_label_ranges: ")
