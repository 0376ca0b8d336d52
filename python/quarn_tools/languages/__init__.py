"""Ready lexers for common languages.

Each language is a definition file (``NAME.quarn``) with a file naming its token
types (``NAME.names``: one ``TYPE NAME`` pair a line). Token names are dotted;
the part before the first dot is the coarse class (keyword, name, number,
string, comment, operator, punctuation, whitespace, text, markup, error). Every
mode ends with a one-character catch-all clause (``error`` where the language
has invalid text), so the tokens of any input rebuild it exactly and valid input
produces no ``error`` token.
"""

import functools
import pathlib
from typing import Dict, List, NamedTuple

__all__ = ["Language", "get", "names"]

_DIRECTORY = pathlib.Path(__file__).resolve().parent


class Language(NamedTuple):
    name: str
    definition: str
    token_names: Dict[int, str]


def names() -> List[str]:
    """The names of the bundled languages, sorted."""
    return sorted(path.stem for path in _DIRECTORY.glob("*.quarn"))


@functools.lru_cache(maxsize=None)
def get(name: str) -> Language:
    """The bundled language `name`; raises KeyError for an unknown name."""
    definition_path = _DIRECTORY / f"{name}.quarn"
    if name not in names():
        raise KeyError(f"no bundled language {name!r}; known: {', '.join(names())}")
    token_names = {}
    names_path = _DIRECTORY / f"{name}.names"
    for number, line in enumerate(names_path.read_text(encoding="utf-8").splitlines(), 1):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        try:
            type_text, token_name = line.split()
            token_names[int(type_text)] = token_name
        except ValueError:
            raise ValueError(f"{names_path}:{number}: expected 'TYPE NAME', got {line!r}") from None
    return Language(name, definition_path.read_text(encoding="utf-8"), token_names)
