"""A Lark lexer driven by a quarn definition.

The definition's token names are the grammar's terminal names; the grammar
declares them (``%declare NUMBER STRING ...``), and names in the grammar's
``%ignore`` or in ``ignore`` are dropped. Use it with the LALR parser::

    parser = Lark(grammar, parser="lalr", lexer=quarn_tools.lark.lexer(definition, names))

Text at which no token starts, and a token whose type has no name, raise
``lark.exceptions.UnexpectedCharacters`` at that position.
"""

from typing import Iterable, Iterator, Mapping

from lark.exceptions import UnexpectedCharacters
from lark.lexer import Lexer, Token

from ._scan import char_offsets, scan

__all__ = ["lexer"]

_new_string = str.__new__


def lexer(definition: str, token_names: Mapping[int, str], ignore: Iterable[str] = ()) -> type:
    """A Lark custom lexer class for `definition`, whose tokens of type t become
    terminals named ``token_names[t]``."""
    names = dict(token_names)
    always_ignored = frozenset(ignore)

    class QuarnLarkLexer(Lexer):
        def __init__(self, lexer_conf) -> None:
            self.ignored = always_ignored | frozenset(lexer_conf.ignore)

        def lex(self, data: str) -> Iterator[Token]:
            ignored = self.ignored
            position = 0
            for start, m in char_offsets(data, scan(definition, data, with_positions=True)):
                name = names.get(m.token_type)
                if start != position or name is None:
                    at = position if start != position else start
                    line, column = _line_column(data, at)
                    raise UnexpectedCharacters(data, at, line, column)
                value = m.text
                position = start + len(value)
                if name in ignored:
                    continue
                # Token's constructor is written in Python and costs more than the
                # scan; fill the same fields directly.
                token = _new_string(Token, value)
                token.type = name
                token.value = value
                token.start_pos = start
                token.line = m.start_line
                token.column = m.start_column
                token.end_line = m.end_line
                token.end_column = m.end_column
                token.end_pos = position
                yield token
            if position != len(data):
                line, column = _line_column(data, position)
                raise UnexpectedCharacters(data, position, line, column)

    return QuarnLarkLexer


def _line_column(text: str, position: int):
    line = text.count("\n", 0, position) + 1
    return line, position - (text.rfind("\n", 0, position) + 1) + 1
