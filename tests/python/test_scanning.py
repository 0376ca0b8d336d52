import random
import re

import pytest

import quarn
from conftest import EXAMPLE, WORDS, stream

EXAMPLE_INPUT = 'foo 12. -x "hi there" bar->'


def test_example_tokens(example):
    assert stream(example.find_matches(EXAMPLE_INPUT)) == [
        (1, 0, 3, "foo"),
        (2, 3, 4, " "),
        (3, 4, 6, "12"),  # the dot is only looked at; no token starts there
        (2, 7, 8, " "),
        (4, 8, 9, "-"),
        (1, 9, 10, "x"),
        (2, 10, 11, " "),
        (5, 11, 12, '"'),
        (6, 12, 20, "hi there"),
        (5, 20, 21, '"'),
        (2, 21, 22, " "),
        (1, 22, 25, "bar"),  # then '-' is followed by '>' and '>' starts no token
    ]


def test_lookahead_decides_whether_a_token_counts(example):
    assert stream(example.find_matches("12 ")) == [(2, 2, 3, " ")]
    assert stream(example.find_matches("1.5")) == [(3, 0, 1, "1")]
    assert stream(example.find_matches("-")) == [(4, 0, 1, "-")]  # at the end of the input
    assert example.find_matches("->") == []


@pytest.mark.parametrize("method", ["find_matches", "find_matches_with_position"])
def test_empty_and_unmatched_input(words, method):
    assert getattr(words, method)("") == []
    assert getattr(words, method)("!@# ?? ÄÖÜ") == []


def test_without_positions_the_four_fields_are_none(words):
    matches = words.find_matches("ab\ncd")
    assert len(matches) == 3
    for m in matches:
        assert (m.start_line, m.start_column, m.end_line, m.end_column) == (None,) * 4


def test_positions_and_line_feeds(words):
    got = [
        (m.token_type, m.start, m.end, m.start_line, m.start_column, m.end_line, m.end_column)
        for m in words.find_matches_with_position("ab\ncd 12\n")
    ]
    assert got == [
        (1, 0, 2, 1, 1, 1, 3),
        (3, 2, 3, 1, 3, 2, 1),  # a token ending in a line feed ends on the next line
        (1, 3, 5, 2, 1, 2, 3),
        (2, 6, 8, 2, 4, 2, 6),
        (3, 8, 9, 2, 6, 3, 1),
    ]
    # A carriage return is an ordinary character: it takes a column of its line.
    crlf = words.find_matches_with_position("a\r\nb")
    assert [(m.text, m.start_line, m.start_column) for m in crlf] == [
        ("a", 1, 1), ("\n", 1, 3), ("b", 2, 1),
    ]


def test_offsets_are_utf8_bytes_and_columns_are_characters(example, words):
    m = words.find_matches("\u00e9ab")[0]
    assert (m.start, m.end, m.text) == (2, 4, "ab")
    m = words.find_matches_with_position("\u00e9ab")[0]
    assert (m.start_column, m.end_column) == (2, 4)
    # Inside the string mode: a four-byte character counts as one column.
    got = example.find_matches_with_position('"\U0001F600x\u20ac"')
    assert [(m.token_type, m.start, m.end, m.text, m.start_column, m.end_column) for m in got] == [
        (5, 0, 1, '"', 1, 2),
        (6, 1, 9, "\U0001F600x\u20ac", 2, 5),
        (5, 9, 10, '"', 5, 6),
    ]


def test_input_by_keyword_and_argument_errors(words):
    for method in (words.find_matches, words.find_matches_with_position):
        assert stream(method(input="ab")) == stream(method("ab"))
        with pytest.raises(TypeError, match="missing 1 required positional argument: 'input'"):
            method()
        with pytest.raises(TypeError, match="argument 'input' must be str, not int"):
            method(42)
        with pytest.raises(TypeError, match="argument 'input' must be str, not int"):
            method(input=42)
        with pytest.raises(TypeError, match="takes 1 positional argument but 2 were given"):
            method("a", "b")
        with pytest.raises(TypeError, match="unexpected keyword argument 'text'"):
            method(text="a")
        with pytest.raises(TypeError, match="multiple values for argument 'input'"):
            method("a", input="b")
    with pytest.raises(TypeError):
        quarn.Scanner.find_matches(42, "ab")


def test_lone_surrogates_raise_the_encoding_error(words):
    for method in (words.find_matches, words.find_matches_with_position):
        with pytest.raises(UnicodeEncodeError):
            method("ab\ud800cd")


def test_mode_state_carries_over_between_calls(example):
    # The first input ends inside a string: the next call starts in the string mode.
    assert [m.token_type for m in example.find_matches('say "hi')] == [1, 2, 5, 6]
    assert stream(example.find_matches('there" x')) == [
        (6, 0, 5, "there"),
        (5, 5, 6, '"'),
        (2, 6, 7, " "),
        (1, 7, 8, "x"),
    ]
    # The other method shares the same state.
    example.find_matches('"')
    assert [m.token_type for m in example.find_matches_with_position("a b")] == [6]


def test_push_pop_and_enter_through_python():
    scanner = quarn.Scanner(r'''
        S {
            mode A { token "<" => 1; token ">" => 2; token "a" => 10; on 1 push B; on 2 pop; }
            mode B { token "<" => 1; token ">" => 2; token "!" => 3; token "a" => 20;
                     on 1 push B; on 2 pop; on 3 enter C; }
            mode C { token ">" => 2; token "a" => 30; on 2 pop; }
        }
    ''')
    types = [m.token_type for m in scanner.find_matches("a<a<a>a>a>a<!a>a")]
    # A >push B >push B >pop B >pop A (pop on the empty stack: stays A) ...
    # then push B, enter C (stack still [A]), pop back to A.
    assert types == [10, 1, 20, 1, 20, 2, 20, 2, 10, 2, 10, 1, 3, 30, 2, 10]


def test_both_methods_agree_on_generated_text():
    rng = random.Random(7)
    alphabet = "abcxyz0123456789 \n\t\r.-\u00e9\u4e2d\U0001F600"
    text = "".join(rng.choice(alphabet) for _ in range(20000))
    plain = quarn.Scanner(WORDS).find_matches(text)
    with_positions = quarn.Scanner(WORDS).find_matches_with_position(text)
    assert stream(plain) == stream(with_positions)

    # Reference: the classes are disjoint, so leftmost-first equals longest match.
    encoded_offset = [0]
    for ch in text:
        encoded_offset.append(encoded_offset[-1] + len(ch.encode()))
    expected = []
    line, line_start = 1, 0
    for found in re.finditer(r"[a-z]+|[0-9]+|\n", text):
        kind = 3 if found.group() == "\n" else (1 if found.group()[0].isalpha() else 2)
        start, end = found.span()
        line = text.count("\n", 0, start) + 1
        line_start = text.rfind("\n", 0, start) + 1
        expected.append((
            kind, encoded_offset[start], encoded_offset[end], found.group(),
            line, start - line_start + 1,
        ))
    got = [
        (m.token_type, m.start, m.end, m.text, m.start_line, m.start_column)
        for m in with_positions
    ]
    assert got == expected


def test_token_values_survive_reuse_of_released_matches():
    # Short and long, ASCII and non-ASCII texts at offsets beyond the small
    # ints; matches of one scan are released and their memory reused by the next.
    scanner = quarn.Scanner(r'''
        Mixed { mode M { token r"[a-z\u00e9\u4e2d]+" => 1; token r"[0-9]+" => 2; } }
    ''')
    rng = random.Random(15)
    for round in range(3):
        words = [
            "".join(rng.choice("abz\u00e9\u4e2d" if round % 2 else "abz") for _ in range(rng.randint(1, 40)))
            for _ in range(3000)
        ]
        text = " ".join(words)
        encoded = text.encode()
        matches = scanner.find_matches(text)
        assert [m.text for m in matches] == words
        for m in matches:
            assert type(m.text) is str and m.token_type == 1
            assert encoded[m.start:m.end].decode() == m.text
        assert matches[-1].end == len(encoded)
        del matches
