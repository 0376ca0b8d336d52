"""A Lark lexer driven by a quarn definition.

The definition's token names are the grammar's terminal names; the grammar
declares them (``%declare NUMBER STRING ...``), and names in the grammar's
``%ignore`` or in ``ignore`` are dropped. Use it with the LALR parser::

    parser = Lark(grammar, parser="lalr", lexer=quarn_tools.lark.lexer(definition, names))

Text at which no token starts, and a token whose type has no name, raise
``lark.exceptions.UnexpectedCharacters`` at that position.
"""

import gc
from itertools import compress, islice
from typing import Any, Iterable, Iterator, List, Mapping, Tuple

from lark.exceptions import UnexpectedCharacters
from lark.lexer import Lexer, Token

from .lexer import Lexer as _QuarnEngine

__all__ = ["lexer"]

_new_string = str.__new__


def lexer(definition: str, token_names: Mapping[int, str], ignore: Iterable[str] = ()) -> type:
    """A Lark custom lexer class for `definition`, whose tokens of type t become
    terminals named ``token_names[t]``."""
    names = dict(token_names)
    always_ignored = frozenset(ignore)
    engine = _QuarnEngine(definition)

    class QuarnLarkLexer(Lexer):
        def __init__(self, lexer_conf: Any) -> None:
            ignored = always_ignored | frozenset(lexer_conf.ignore)
            self.labels = {t: n for t, n in names.items() if n not in ignored}

        # A custom lexer is handed the text alone.
        def lex(self, data: str) -> Iterator[Token]:  # type: ignore[override]
            table = engine.scan(data, positions=True, offsets="chars")
            assert table.start_lines is not None and table.start_columns is not None
            assert table.end_lines is not None and table.end_columns is not None
            types, starts, ends = table.types.tolist(), table.starts.tolist(), table.ends.tolist()
            columns: List[Iterable[Any]] = [
                types, starts, ends, table.start_lines.tolist(), table.start_columns.tolist(),
                table.end_lines.tolist(), table.end_columns.tolist(), table.texts()]
            failure = _first_failure(data, types, starts, ends, names)
            if failure is not None:  # the tokens before it are still yielded
                columns = [islice(column, failure[0]) for column in columns]
            # Each kept type's terminal name, None for an ignored one: both the
            # names and the mask that drops ignored tokens.
            labels = list(map(self.labels.get, types))
            columns = [filter(None, labels), *(compress(c, labels) for c in columns[1:])]
            rows = zip(*columns)
            while True:
                batch = _tokens(islice(rows, _BATCH))
                if not batch:
                    break
                yield from batch
            if failure is not None:
                _fail(data, failure[1])

    return QuarnLarkLexer


_BATCH = 1 << 16


def _tokens(rows: Iterable[Tuple[Any, ...]]) -> List[Token]:
    """Tokens for rows of (name, start, end, line, column, end line, end
    column, text). Token's constructor is written in Python and costs more
    than the scan, so the fields are filled directly; and the collector is
    paused meanwhile, since every token is a new tracked object it would
    otherwise traverse again and again."""
    paused = gc.isenabled()
    gc.disable()
    try:
        tokens: List[Token] = []
        new, append = _new_string, tokens.append
        for name, start, end, line, column, end_line, end_column, value in rows:
            token = new(Token, value)
            token.type = name
            token.value = value
            token.start_pos = start
            token.line = line
            token.column = column
            token.end_line = end_line
            token.end_column = end_column
            token.end_pos = end
            append(token)
        return tokens
    finally:
        if paused:
            gc.enable()


def _first_failure(text: str, types: List[int], starts: List[int], ends: List[int],
                   names: Mapping[int, str]) -> Any:
    """(index of the first token not to yield, character offset to report), or
    None when the tokens cover the text and every type has a name."""
    if (starts[:1] in ([], [0]) and starts[1:] == ends[:-1]
            and (ends[-1:] or [0])[0] == len(text) and names.keys() >= set(types)):
        return None
    position = 0
    for index, (token_type, start, end) in enumerate(zip(types, starts, ends)):
        if start != position:
            return index, position
        if token_type not in names:
            return index, start
        position = end
    return len(types), position


def _fail(text: str, position: int) -> None:
    line = text.count("\n", 0, position) + 1
    column = position - (text.rfind("\n", 0, position) + 1) + 1
    raise UnexpectedCharacters(text, position, line, column)  # type: ignore[no-untyped-call]
