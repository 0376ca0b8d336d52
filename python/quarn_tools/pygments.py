"""A Pygments lexer over any quarn definition, and the bundled languages as
Pygments lexers (``pygmentize -l quarn-javascript``).

Token names map to Pygments token types by their dotted parts
(``string.escape`` is ``String.Escape``, ``comment.preproc`` is
``Comment.Preproc``); pass ``token_types`` to map them yourself. Every
character of the input is yielded: text at which no token starts comes out as
``skipped`` (``Error`` by default; ``Text`` for lenient highlighting).
"""

from functools import lru_cache
from itertools import repeat
from typing import Any, Dict, Iterator, List, Mapping, Optional, Tuple

from pygments.lexer import Lexer  # type: ignore[import-untyped]
from pygments.token import Error, Generic, Literal, Text, Token, _TokenType  # type: ignore[import-untyped]

from . import languages
from .lexer import Lexer as _QuarnEngine

__all__ = ["QuarnLexer", "token_type_for", "lexer_for_language", "LANGUAGE_LEXERS"]

_FAMILIES = {
    "keyword": Token.Keyword, "name": Token.Name, "number": Token.Literal.Number,
    "string": Token.Literal.String, "comment": Token.Comment, "operator": Token.Operator,
    "punctuation": Token.Punctuation, "whitespace": Token.Text.Whitespace, "error": Error,
    "text": Text, "markup": Generic,
}
# Parts whose Pygments names differ from the plain capitalised word.
_PARTS = {"interpolation": "Interpol", "emphasis": "Emph", "datetime": "Date",
          "preproc": "Preproc", "backtick": "Backtick"}


def token_type_for(name: Optional[str]) -> _TokenType:
    """The Pygments token type for a dotted token name (``Token.Other`` for an
    unknown family or no name)."""
    if not name:
        return Token.Other
    family, *parts = name.split(".")
    token_type = _FAMILIES.get(family)
    if token_type is None:
        return Token.Other
    if family == "number" and parts == ["datetime"]:
        return Literal.Date
    for part in parts:
        token_type = getattr(token_type, _PARTS.get(part, part.capitalize()))
    return token_type


class QuarnLexer(Lexer):  # type: ignore[misc]
    """Highlights with a quarn definition: ``QuarnLexer(definition=...,
    token_names={type: name})`` or ``token_types={type: pygments token type}``."""

    name = "quarn"
    aliases = ["quarn"]
    filenames: list[str] = []

    definition: str = ""
    token_names: Mapping[int, str] = {}

    def __init__(self, definition: Optional[str] = None,
                 token_names: Optional[Mapping[int, str]] = None,
                 token_types: Optional[Mapping[int, _TokenType]] = None,
                 skipped: _TokenType = Error, **options: Any) -> None:
        super().__init__(**options)
        if definition is not None:
            self.definition = definition
        if token_names is not None:
            self.token_names = token_names
        if not self.definition:
            raise ValueError("QuarnLexer needs a definition")
        self._types: Dict[int, _TokenType] = {
            t: token_type_for(n) for t, n in self.token_names.items()}
        if token_types is not None:
            self._types.update(token_types)
        self._skipped = skipped

    def get_tokens_unprocessed(self, text: str) -> Iterator[Tuple[int, _TokenType, str]]:
        table = _engine(self.definition).scan(text, offsets="chars")
        starts, ends = table.starts.tolist(), table.ends.tolist()
        kinds = map(self._types.get, table.types.tolist(), repeat(Token.Other))
        if (starts[:1] in ([], [0]) and starts[1:] == ends[:-1]
                and (ends[-1:] or [0])[0] == len(text)):
            # No skipped text: the whole stream is built without a Python loop.
            return zip(starts, kinds, table.texts())
        return self._with_skipped(text, starts, ends, kinds, table.texts())

    def _with_skipped(self, text: str, starts: List[int], ends: List[int],
                      kinds: Iterator[_TokenType], values: List[str]
                      ) -> Iterator[Tuple[int, _TokenType, str]]:
        skipped, position = self._skipped, 0
        for start, end, kind, value in zip(starts, ends, kinds, values):
            if start != position:
                yield position, skipped, text[position:start]
            yield start, kind, value
            position = end
        if position != len(text):
            yield position, skipped, text[position:]


# One engine per definition: building one costs milliseconds, and every scan
# starts from the first mode, so sharing is safe.
@lru_cache(maxsize=32)
def _engine(definition: str) -> _QuarnEngine:
    return _QuarnEngine(definition)


def lexer_for_language(language: str) -> type:
    """A QuarnLexer subclass for a bundled language, aliased ``quarn-<language>``."""
    bundled = languages.get(language)
    return type(f"Quarn{language.capitalize()}Lexer", (QuarnLexer,), {
        "name": f"quarn {language}",
        "aliases": [f"quarn-{language}"],
        "filenames": [],
        "definition": bundled.definition,
        "token_names": bundled.token_names,
        "__doc__": f"The bundled quarn lexer for {language}.",
    })


# One class per bundled language, importable by name for Pygments' plugin entry
# points: quarn_tools.pygments:JavascriptLexer and so on.
LANGUAGE_LEXERS = {name: lexer_for_language(name) for name in languages.names()}
for _language, _lexer in LANGUAGE_LEXERS.items():
    globals()[f"{_language.capitalize()}Lexer"] = _lexer
del _language, _lexer
