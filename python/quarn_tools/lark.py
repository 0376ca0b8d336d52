"""A Lark lexer driven by a quarn definition.

The definition's token names are the grammar's terminal names; the grammar
declares them (``%declare NUMBER STRING ...``), and names in the grammar's
``%ignore`` or in ``ignore`` are dropped. Use it with the LALR parser::

    parser = Lark(grammar, parser="lalr", lexer=quarn_tools.lark.lexer(definition, names))

Text at which no token starts, and a token whose type has no name, raise
``lark.exceptions.UnexpectedCharacters`` at that position.
"""

from typing import Any, Iterable, Iterator, List, Mapping

from lark.exceptions import UnexpectedCharacters
from lark.lexer import Lexer, Token

from ._scan import scan

__all__ = ["lexer"]

_new_string = str.__new__


def lexer(definition: str, token_names: Mapping[int, str], ignore: Iterable[str] = ()) -> type:
    """A Lark custom lexer class for `definition`, whose tokens of type t become
    terminals named ``token_names[t]``."""
    names = dict(token_names)
    always_ignored = frozenset(ignore)

    class QuarnLarkLexer(Lexer):
        def __init__(self, lexer_conf: Any) -> None:
            ignored = always_ignored | frozenset(lexer_conf.ignore)
            self.ignored_types = frozenset(t for t, n in names.items() if n in ignored)

        # A custom lexer is handed the text alone.
        def lex(self, data: str) -> Iterator[Token]:  # type: ignore[override]
            ignored_types = self.ignored_types
            ascii_text = data.isascii()
            line_starts = None if ascii_text else _line_starts(data)
            byte_position = 0
            for m in scan(definition, data, with_positions=True):
                token_type = m.token_type
                if m.start != byte_position or token_type not in names:
                    _fail(data, m.start if m.start == byte_position else byte_position)
                byte_position = m.end
                if token_type in ignored_types:
                    continue
                value = m.text
                line, column = m.start_line or 1, m.start_column or 1  # scanned with positions
                start = m.start if line_starts is None else line_starts[line - 1] + column - 1
                # Token's constructor is written in Python and costs more than the
                # scan; fill the same fields directly.
                token = _new_string(Token, value)
                token.type = names[token_type]
                token.value = value
                token.start_pos = start
                token.line = line
                token.column = column
                token.end_line = m.end_line
                token.end_column = m.end_column
                token.end_pos = start + len(value)
                yield token
            if byte_position != (len(data) if ascii_text else len(data.encode("utf-8"))):
                _fail(data, byte_position)

    return QuarnLarkLexer


def _line_starts(text: str) -> List[int]:
    """The character offset at which each line starts."""
    starts = [0]
    position = text.find("\n")
    while position >= 0:
        starts.append(position + 1)
        position = text.find("\n", position + 1)
    return starts


def _fail(text: str, byte_position: int) -> None:
    position = len(text.encode("utf-8")[:byte_position].decode("utf-8"))
    line = text.count("\n", 0, position) + 1
    column = position - (text.rfind("\n", 0, position) + 1) + 1
    raise UnexpectedCharacters(text, position, line, column)  # type: ignore[no-untyped-call]
