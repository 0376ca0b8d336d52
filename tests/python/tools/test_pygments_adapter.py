"""The Pygments adapter: every character comes out in order, skipped text as the
chosen token type, names map to Pygments types, and formatters work."""

import pytest

pygments = pytest.importorskip("pygments")
from pygments import highlight  # noqa: E402
from pygments.formatters import HtmlFormatter, NullFormatter  # noqa: E402
from pygments.lexers import get_lexer_by_name  # noqa: E402
from pygments.token import Error, Keyword, Literal, Name, Text  # noqa: E402

from quarn_tools import languages  # noqa: E402
from quarn_tools.pygments import LANGUAGE_LEXERS, QuarnLexer, token_type_for  # noqa: E402

WORDS = r'X { mode M { token r"[a-zé]+" => 1; token r"[0-9]+" => 2; } }'


@pytest.mark.parametrize("skipped", [Error, Text])
def test_every_character_is_yielded_with_character_offsets(skipped):
    lexer = QuarnLexer(definition=WORDS, token_names={1: "name", 2: "number"}, skipped=skipped)
    text = "☺ éa, 12!\nz"
    tokens = list(lexer.get_tokens_unprocessed(text))
    assert "".join(value for _, _, value in tokens) == text
    assert all(text[i:i + len(v)] == v for i, _, v in tokens)
    assert [(t, v) for _, t, v in tokens] == [
        (skipped, "☺ "), (Name, "éa"), (skipped, ", "), (Literal.Number, "12"),
        (skipped, "!\n"), (Name, "z")]


def test_token_names_map_to_pygments_types():
    assert token_type_for("keyword.constant") is Keyword.Constant
    assert token_type_for("string.interpolation") is Literal.String.Interpol
    assert token_type_for("number.datetime") is Literal.Date
    assert token_type_for("nonsense") is pygments.token.Token.Other
    explicit = QuarnLexer(definition=WORDS, token_types={1: Keyword})
    assert list(explicit.get_tokens_unprocessed("ab"))[0][1] is Keyword


def test_bundled_languages_work_with_formatters_and_stay_faithful():
    source = "def f(x):\n    return f'{x!r:>{4}}' + \"é\"  # note\n"
    lexer = LANGUAGE_LEXERS["python"]()
    assert highlight(source, lexer, NullFormatter()) == source
    html = highlight(source, lexer, HtmlFormatter())
    assert '<span class="k">def</span>' in html and '<span class="c">' in html
    for name in languages.names():
        lexer = LANGUAGE_LEXERS[name]()
        assert lexer.aliases == [f"quarn-{name}"]
        text = "x = 'a' # é\n[y] /* z */ 1.5\n"
        assert "".join(v for _, _, v in lexer.get_tokens_unprocessed(text)) == text


def test_registered_as_plugins_once_installed():
    try:
        lexer = get_lexer_by_name("quarn-javascript")
    except pygments.util.ClassNotFound:
        pytest.skip("quarn is not installed with its Pygments entry points")
    assert lexer.definition == languages.get("javascript").definition


def test_every_bundled_language_has_a_plugin_entry_point():
    import pathlib
    import re

    pyproject = (pathlib.Path(__file__).resolve().parents[3] / "pyproject.toml").read_text()
    section = pyproject.split('[project.entry-points."pygments.lexers"]')[1].split("\n[")[0]
    entries = dict(re.findall(r'^quarn-(\w+) = "quarn_tools\.pygments:(\w+)"', section, re.M))
    assert sorted(entries) == languages.names()
    import quarn_tools.pygments as adapter
    assert all(getattr(adapter, cls).aliases == [f"quarn-{name}"] for name, cls in entries.items())
