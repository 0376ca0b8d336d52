"""The bundled lexers on real files: nothing skipped, tokens rebuild the input
with the right positions, and Pygments agrees on coarse classes."""

import pytest

import quarn
from quarn_tools import languages

from .language_samples import SOURCES, agreement, sample_texts

AGREEMENT = 0.97


def test_every_language_has_samples_configured_and_names_for_all_types():
    assert sorted(SOURCES) == languages.names()
    for name in languages.names():
        language = languages.get(name)
        scanner = quarn.Scanner(language.definition)
        used = {m.token_type for m in scanner.find_matches("x = 1 # ' \" \n")}
        assert used <= set(language.token_names), name


def test_unknown_language_is_a_key_error():
    with pytest.raises(KeyError, match="no bundled language 'cobol'"):
        languages.get("cobol")


def check_positions(text, matches):
    """Tokens are contiguous, cover the input, and carry the right lines and columns."""
    data = text.encode("utf-8")
    position, line, column = 0, 1, 1
    for m in matches:
        assert m.start == position
        assert data[m.start:m.end].decode("utf-8") == m.text
        assert (m.start_line, m.start_column) == (line, column)
        newlines = m.text.count("\n")
        line += newlines
        column = len(m.text) - m.text.rfind("\n") if newlines else column + len(m.text)
        assert (m.end_line, m.end_column) == (line, column)
        position = m.end
    assert position == len(data)


@pytest.mark.parametrize("name", languages.names())
def test_real_files(name):
    samples = sample_texts(name)
    if not samples:
        pytest.skip(f"no {name} files on this machine")
    language = languages.get(name)
    for path, text in samples:
        scanner = quarn.Scanner(language.definition)
        matches = scanner.find_matches_with_position(text)
        check_positions(text, matches)
        errors = [(m.start_line, m.start_column, m.text) for m in matches
                  if language.token_names[m.token_type] == "error"]
        assert not errors, f"{path}: {errors[:5]}"
    if SOURCES[name][0] is not None:
        pytest.importorskip("pygments")
        share, characters, worst = agreement(name, samples)
        assert share >= AGREEMENT, f"{name}: {share:.4f} of {characters}; {worst}"
