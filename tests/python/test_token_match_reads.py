"""TokenMatch attribute reads: the shortcut taken for attribute names written in
code must give exactly what the class's descriptors give, and every other
lookup must behave as the generic one."""

import sys

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quarn

from test_module_shape import PROPERTIES

# Runs of anything but blanks, and runs of blanks: every character is in a token.
RUNS = r'''
Runs { mode M { token r"[^ \n]+" => 1; token r"[ \n]+" => 70000; } }
'''


def fresh(name):
    """An equal name that is not the interned string that code uses."""
    return "".join(list(name))


def check_reads(m, text):
    encoded = text.encode()
    for name in PROPERTIES:
        generic = vars(quarn.TokenMatch)[name].__get__(m)
        for value in (getattr(m, name), getattr(m, fresh(name))):
            assert type(value) is type(generic) and value == generic, name
    assert m.token_type == vars(quarn.TokenMatch)["token_type"].__get__(m)
    assert m.start == vars(quarn.TokenMatch)["start"].__get__(m)
    assert m.end == vars(quarn.TokenMatch)["end"].__get__(m)
    # `text` is the decoded slice in the same representation, a new str
    # except where the interpreter shares one-character strings.
    expected = encoded[m.start:m.end].decode()
    assert m.text == expected and type(m.text) is str
    assert sys.getsizeof(m.text) == sys.getsizeof(expected)
    assert (m.text is m.text) == (len(expected) == 1 and ord(expected) < 256)


@settings(max_examples=150, deadline=None)
@given(
    st.text(alphabet=st.sampled_from("ab Z\n~\u00e9\u00ff\u0100\u4e2d\U0001F600"), max_size=300),
    st.integers(min_value=0, max_value=400),
    st.booleans(),
)
def test_shortcut_reads_equal_the_descriptors(text, offset, positions):
    # The padding moves tokens past the small ints and varies how close the
    # last token ends to the end of the input.
    text = " " * offset + text
    scanner = quarn.Scanner(RUNS)
    scan = scanner.find_matches_with_position if positions else scanner.find_matches
    matches = scan(text)
    assert "".join(m.text for m in matches) == text
    for m in matches:
        check_reads(m, text)
        assert (m.start_line is None) is not positions


def test_tokens_of_every_length_up_to_the_end_of_the_input():
    # Lengths across the object sizes, with the input ending at the token or
    # further on.
    scanner = quarn.Scanner(RUNS)
    for length in range(1, 70):
        for tail in ("x", "\u00e9", "\u4e2d"):
            for after in ("", " " * 40):
                text = "a" * 300 + " " + tail * length + after
                for m in scanner.find_matches(text) + scanner.find_matches_with_position(text):
                    check_reads(m, text)


def test_other_attribute_lookups_behave_as_before(words):
    m = words.find_matches("abc")[0]
    tm = quarn.TokenMatch
    assert "__getattribute__" not in vars(tm)
    assert tm.__getattribute__ is object.__getattribute__
    assert m.__class__ is tm and m.__doc__ == tm.__doc__
    assert set(PROPERTIES) <= set(dir(m))
    assert object.__getattribute__(m, "start") == getattr(m, "start") == 0
    assert getattr(m, "missing", 5) == 5 and not hasattr(m, "Start")
    for name in ("missing", fresh("missing"), "start_"):
        with pytest.raises(AttributeError) as caught:
            getattr(m, name)
        assert str(caught.value) == f"'quarn.TokenMatch' object has no attribute '{name}'"
        if sys.version_info >= (3, 10):
            assert caught.value.name == name and caught.value.obj is m
    with pytest.raises(TypeError):
        getattr(m, 3)
    for change in (lambda: setattr(m, "start", 1), lambda: delattr(m, "text")):
        with pytest.raises(AttributeError, match="^attribute '(start|text)' of "
                           "'quarn.TokenMatch' objects is not writable$"):
            change()
    assert m.start == 0 and m.text == "abc"
