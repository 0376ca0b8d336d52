"""Lexers over quarn's engine: columnar scans, lazy tokens, files of any size,
many documents on several threads, and a resumable state."""

from __future__ import annotations

import enum
import importlib
import os
from types import MappingProxyType
from dataclasses import dataclass, field
from typing import (
    IO,
    Literal,
    Any,
    BinaryIO,
    Dict,
    Iterable,
    Iterator,
    List,
    Mapping,
    NamedTuple,
    Optional,
    Sequence,
    Tuple,
    Type,
    Union,
    cast,
    overload,
)

from . import _native
from .errors import BuildError, DefinitionError, InvalidUtf8Error

__all__ = ["Lexer", "LexerState", "Token", "PositionedToken", "TokenTable"]

Names = Union[Mapping[int, str], Type[enum.IntEnum], None]

# Column order of the native tables.
_TYPES, _STARTS, _ENDS, _START_LINES, _START_COLUMNS, _END_LINES, _END_COLUMNS, _DOCUMENTS = range(8)
_POSITION_COLUMNS = ("start_line", "start_column", "end_line", "end_column")


_NO_NAMES: Mapping[int, str] = MappingProxyType({})


def _names_of(token: object) -> Mapping[int, str]:
    # A Lexer gives its token classes the attribute: a class attribute of a
    # named tuple would be taken for a field.
    names: Mapping[int, str] = getattr(type(token), "_names", _NO_NAMES)
    return names


_named_classes: Dict[Tuple[type, Tuple[Tuple[int, str], ...]], type] = {}


def _named_class(base: type, names: Mapping[int, str]) -> type:
    """The subclass of ``base`` whose tokens take their ``.name`` from
    ``names``; one per base and mapping, so unpickled tokens share it."""
    key = (base, tuple(sorted(names.items())))
    named = _named_classes.get(key)
    if named is None:
        named = type(base.__name__, (base,),
                     {"__slots__": (), "_names": MappingProxyType(dict(names))})
        _named_classes[key] = named
    return named


def _rebuild_token(base: type, names: Dict[int, str], values: Tuple[Any, ...]) -> Any:
    return _named_class(base, names)(*values)


def _reduce_token(token: Any, base: type) -> Tuple[Any, ...]:
    names = _names_of(token)
    if not names:
        return (base, tuple(token))
    return (_rebuild_token, (base, dict(names), tuple(token)))


class Token(NamedTuple):
    """A token: its type, its offsets (``[start, end)``) and its text."""

    type: int
    start: int
    end: int
    text: str

    @property
    def name(self) -> Optional[str]:
        """The type's name from the lexer's ``names``, or None."""
        return _names_of(self).get(self.type)

    def __reduce__(self) -> Tuple[Any, ...]:
        return _reduce_token(self, Token)


class PositionedToken(NamedTuple):
    """A token with the line and column (from 1) of its first character and
    of the position just past its last."""

    type: int
    start: int
    end: int
    text: str
    start_line: int
    start_column: int
    end_line: int
    end_column: int

    @property
    def name(self) -> Optional[str]:
        """The type's name from the lexer's ``names``, or None."""
        return _names_of(self).get(self.type)

    def __reduce__(self) -> Tuple[Any, ...]:
        return _reduce_token(self, PositionedToken)


@dataclass
class LexerState:
    """Where a scan stands between calls: the mode (an index into
    ``Lexer.modes``), the modes saved by ``push``, the offsets consumed so far
    (bytes and characters) and the line and column of the next character.

    Pass one to a call to continue from it; the call leaves it where the scan
    ended. Picklable, so a long job can stop and resume."""

    mode: int = 0
    stack: Tuple[int, ...] = ()
    offset: int = 0
    char_offset: int = 0
    line: int = 1
    column: int = 1

    def _as_tuple(self) -> Tuple[int, Tuple[int, ...], int, int, int, int]:
        return (self.mode, tuple(self.stack), self.offset, self.char_offset, self.line, self.column)

    def _update(self, native: Tuple[int, Tuple[int, ...], int, int, int, int]) -> None:
        self.mode, self.stack, self.offset, self.char_offset, self.line, self.column = native


class TokenTable:
    """The tokens of a scan as columns. ``types`` (uint32), ``starts`` and
    ``ends`` (int64) and, with positions, ``start_lines``, ``start_columns``,
    ``end_lines`` and ``end_columns`` are read-only memoryviews over the
    engine's arrays: ``numpy.asarray`` reads them without copying. A table of
    ``scan_many`` also has ``documents``."""

    __slots__ = ("_columns", "_source", "_base", "_chars", "_token", "_positioned",
                 "types", "starts", "ends", "start_lines", "start_columns",
                 "end_lines", "end_columns", "documents")

    def __init__(self, columns: _native.Columns,
                 source: Any, base: int,
                 chars: bool, token: Type[Token], positioned: Type[PositionedToken]) -> None:
        self._columns = columns
        self._source = source
        self._base = base
        self._chars = chars
        self._token = token
        self._positioned = positioned
        def view(column: int) -> memoryview:
            return memoryview(columns.buffer(column))

        self.types: memoryview = view(_TYPES)
        self.starts: memoryview = view(_STARTS)
        self.ends: memoryview = view(_ENDS)
        positions = columns.positions
        self.start_lines: Optional[memoryview] = view(_START_LINES) if positions else None
        self.start_columns: Optional[memoryview] = view(_START_COLUMNS) if positions else None
        self.end_lines: Optional[memoryview] = view(_END_LINES) if positions else None
        self.end_columns: Optional[memoryview] = view(_END_COLUMNS) if positions else None
        documents = view(_DOCUMENTS)
        self.documents: Optional[memoryview] = documents if len(documents) or not len(self.types) else None
        if len(self.types) == 0 and not isinstance(source, (list, tuple)):
            self.documents = None

    @property
    def positions(self) -> bool:
        """Whether the position columns are filled."""
        return bool(self._columns.positions)

    @property
    def nbytes(self) -> int:
        """Bytes held by the columns."""
        return int(self._columns.nbytes)

    def __len__(self) -> int:
        return len(self.types)

    def __iter__(self) -> Iterator[Union[Token, PositionedToken]]:
        texts = self.texts()
        for i, text in enumerate(texts):
            yield self._make(i, text)

    def __getitem__(self, index: int) -> Union[Token, PositionedToken]:
        n = len(self)
        if index < 0:
            index += n
        if not 0 <= index < n:
            raise IndexError("token index out of range")
        return self._make(index, self._text(index))

    def __repr__(self) -> str:
        return f"<TokenTable: {len(self)} tokens{', positions' if self.positions else ''}>"

    def _make(self, i: int, text: str) -> Union[Token, PositionedToken]:
        head = (int(self.types[i]), int(self.starts[i]), int(self.ends[i]), text)
        if self.start_lines is None:
            return self._token(*head)
        assert self.start_columns is not None and self.end_lines is not None
        assert self.end_columns is not None
        return self._positioned(*head, int(self.start_lines[i]), int(self.start_columns[i]),
                                int(self.end_lines[i]), int(self.end_columns[i]))

    def _documents(self) -> Any:
        """The documents of a scan of many, as a list (an Arrow column is
        turned into one the first time texts are asked for)."""
        source = self._source
        if self.documents is not None and not isinstance(source, (list, tuple, str, bytes)):
            source = self._source = source.to_pylist()
        return source

    def _text(self, i: int) -> str:
        source = self._documents()
        if isinstance(source, (list, tuple)):
            assert self.documents is not None
            source = source[self.documents[i]]
        start, end = int(self.starts[i]) - self._base, int(self.ends[i]) - self._base
        if isinstance(source, str) and self._chars:
            return source[start:end]
        data = source.encode("utf-8") if isinstance(source, str) else source
        if not isinstance(data, bytes):
            raise ValueError("this table keeps no text")
        return data[start:end].decode("utf-8")

    def texts(self) -> List[str]:
        """The text of every token, in order."""
        source = self._documents()
        if not isinstance(source, (str, bytes, list, tuple)):
            raise ValueError("this table keeps no text")
        return self._columns.texts(source, self._base, self._chars)

    def to_numpy(self) -> Dict[str, Any]:
        """The columns as NumPy arrays sharing the table's memory."""
        numpy: Any = importlib.import_module("numpy")
        return {name: numpy.asarray(column) for name, column in self._named_columns()}

    def to_arrow(self) -> Any:
        """The columns as a ``pyarrow.Table`` sharing the table's memory."""
        # Untyped optional dependency: imported by name so that neither its
        # absence nor its missing stubs concern the type checker.
        pyarrow: Any = importlib.import_module("pyarrow")
        arrays = []
        names = []
        for name, column in self._named_columns():
            kind = pyarrow.uint32() if column.format == "I" else pyarrow.int64()
            buffer = pyarrow.py_buffer(column)
            arrays.append(pyarrow.Array.from_buffers(kind, len(column), [None, buffer]))
            names.append(name)
        return pyarrow.Table.from_arrays(arrays, names=names)

    def to_pandas(self) -> Any:
        """The columns as a ``pandas.DataFrame``."""
        return self.to_arrow().to_pandas()

    def _named_columns(self) -> List[Tuple[str, memoryview]]:
        named = [("type", self.types), ("start", self.starts), ("end", self.ends)]
        for name, column in zip(_POSITION_COLUMNS, (self.start_lines, self.start_columns,
                                                    self.end_lines, self.end_columns)):
            if column is not None:
                named.append((name, column))
        if self.documents is not None:
            named.append(("document", self.documents))
        return named


def _normalize_names(names: Names) -> Dict[int, str]:
    if names is None:
        return {}
    if isinstance(names, type) and issubclass(names, enum.Enum):
        return {int(member.value): member.name for member in names}
    return {int(k): str(v) for k, v in dict(names).items()}


_OFFSETS = ("bytes", "chars")
DEFAULT_CHUNK_SIZE = 1 << 20


class Lexer:
    """A scanner compiled once from a quarn definition. Immutable and safe to
    share between threads; pickles as its definition and names.

    Raises DefinitionError for a definition the parser rejects and BuildError
    for one that cannot be built."""

    def __init__(self, definition: str, *, names: Names = None) -> None:
        if not isinstance(definition, str):
            raise TypeError(f"definition must be str, not {type(definition).__name__}")
        self._definition = definition
        self._names_arg = names
        self._names = _normalize_names(names)
        try:
            self._scanner = _native.Scanner(definition)
        except _native.DefinitionFailure as failure:
            message, offset = failure.args
            raise DefinitionError(message, definition, offset) from None
        except _native.BuildFailure as failure:
            raise _build_error(failure.args, definition) from None
        self.modes: Tuple[str, ...] = self._scanner.mode_names()
        self._token = cast(Type[Token], _named_class(Token, self._names))
        self._positioned = cast(Type[PositionedToken], _named_class(PositionedToken, self._names))

    @property
    def definition(self) -> str:
        return self._definition

    @property
    def names(self) -> Dict[int, str]:
        return dict(self._names)

    def __reduce__(self) -> Tuple[Any, ...]:
        return (_rebuild_lexer, (self._definition, self._names_arg))

    def __repr__(self) -> str:
        return f"<Lexer with modes {', '.join(self.modes)}>"

    def _check_state(self, state: Optional[LexerState]) -> Optional[Tuple[Any, ...]]:
        if state is None:
            return None
        if not isinstance(state, LexerState):
            raise TypeError(f"state must be a LexerState, not {type(state).__name__}")
        n = len(self.modes)
        if not 0 <= state.mode < n or any(not 0 <= m < n for m in state.stack):
            raise ValueError(f"state refers to a mode this lexer does not have ({n} modes)")
        return state._as_tuple()

    @staticmethod
    def _chars(offsets: str) -> bool:
        if offsets not in _OFFSETS:
            raise ValueError(f"offsets must be 'bytes' or 'chars', not {offsets!r}")
        return offsets == "chars"

    @overload
    def tokens(self, text: str, *, positions: Literal[False] = ..., offsets: str = ...,
               state: Optional[LexerState] = ...) -> Iterator[Token]: ...
    @overload
    def tokens(self, text: str, *, positions: Literal[True], offsets: str = ...,
               state: Optional[LexerState] = ...) -> Iterator[PositionedToken]: ...
    @overload
    def tokens(self, text: str, *, positions: bool, offsets: str = ...,
               state: Optional[LexerState] = ...) -> Iterator[Union[Token, PositionedToken]]: ...

    def tokens(self, text: str, *, positions: bool = False, offsets: str = "bytes",
               state: Optional[LexerState] = None) -> Iterator[Any]:
        """The tokens of ``text`` one at a time, in constant memory."""
        native_state = self._check_state(state)
        iterator = self._scanner.tokens(text, positions, self._chars(offsets), native_state,
                                        self._token, self._positioned)
        if state is None:
            return iterator
        return _tracking(iterator, state)

    def scan(self, text: str, *, positions: bool = False, offsets: str = "bytes",
             state: Optional[LexerState] = None) -> TokenTable:
        """All tokens of ``text`` as columns. The interpreter lock is released
        while the engine scans."""
        native_state = self._check_state(state)
        chars = self._chars(offsets)
        columns, after = self._scanner.scan(text, positions, chars, native_state)
        if state is not None:
            state._update(after)
        return TokenTable(columns, text, 0, chars, self._token, self._positioned)

    def scan_many(self, texts: Union[Sequence[str], Any], *,
                  threads: Optional[int] = None, positions: bool = False,
                  offsets: str = "bytes") -> TokenTable:
        """The tokens of many documents, each scanned from the initial mode
        with offsets from its own start, on ``threads`` threads (default: one
        per core) without the interpreter lock. The table's ``documents``
        column gives each token's document index."""
        if threads is None:
            threads = os.cpu_count() or 1
        if threads < 1:
            raise ValueError("threads must be at least 1")
        chars = self._chars(offsets)
        if not isinstance(texts, (list, tuple)):
            buffers = _arrow_string_buffers(texts)
            if buffers is not None:
                try:
                    columns = self._scanner.scan_arrow(*buffers, positions, chars, threads)
                except _native.Utf8Failure as failure:
                    raise InvalidUtf8Error(*failure.args) from None
                return TokenTable(columns, texts, 0, chars, self._token, self._positioned)
            to_pylist = getattr(texts, "to_pylist", None)
            texts = to_pylist() if to_pylist is not None else list(texts)
        if any(text is None for text in texts):
            raise TypeError("texts must not contain None")
        columns = self._scanner.scan_many(texts, positions, chars, threads)
        return TokenTable(columns, list(texts), 0, chars, self._token, self._positioned)

    def scan_file(self, file: Union[str, "os.PathLike[str]", BinaryIO, IO[bytes]], *,
                  chunk_size: int = DEFAULT_CHUNK_SIZE, positions: bool = False,
                  offsets: str = "bytes", state: Optional[LexerState] = None
                  ) -> Iterator[TokenTable]:
        """The tokens of a UTF-8 file as a series of tables, read ``chunk_size``
        bytes at a time; together exactly the tokens of the whole text. Memory
        stays bounded unless one token or lookahead spans most of the file.

        Offsets count from the start of the input (from ``state.offset`` when
        a state is given: with a path, reading starts there). Invalid UTF-8
        raises InvalidUtf8Error naming its byte offset."""
        if chunk_size < 1:
            raise ValueError("chunk_size must be at least 1")
        native_state = self._check_state(state)
        chars = self._chars(offsets)
        return self._scan_file(file, chunk_size, positions, chars, native_state, state)

    def _scan_file(self, file: Any, chunk_size: int, positions: bool, chars: bool,
                   native_state: Optional[Tuple[Any, ...]],
                   state: Optional[LexerState]) -> Iterator[TokenTable]:
        stream = self._scanner.stream(positions, chars, native_state)
        opened = None
        if isinstance(file, (str, bytes, os.PathLike)):
            opened = file = open(file, "rb")
            if state is not None:
                file.seek(state.offset)
        try:
            while True:
                data = file.read(chunk_size)
                if not data:
                    break
                before = stream.state()
                table = self._batch(stream.feed(data), before, chars)
                if state is not None:
                    state._update(stream.state())
                if table is not None:
                    yield table
            before = stream.state()
            table = self._batch(stream.finish(), before, chars)
            if state is not None:
                state._update(stream.state())
            if table is not None:
                yield table
        except _native.Utf8Failure as failure:
            raise InvalidUtf8Error(*failure.args) from None
        finally:
            if opened is not None:
                opened.close()

    def _batch(self, step: Tuple[_native.Columns, bytes],
               before: Tuple[int, Tuple[int, ...], int, int, int, int],
               chars: bool) -> Optional[TokenTable]:
        """A table of the tokens of one step, which lie in the text it moved
        past; `before` is the stream's state when the step began."""
        columns, covered = step
        if len(columns) == 0:
            return None
        byte_offset, char_offset = before[2], before[3]
        if chars:
            return TokenTable(columns, covered.decode("utf-8"), char_offset, True, self._token,
                              self._positioned)
        return TokenTable(columns, covered, byte_offset, False, self._token, self._positioned)


def _tracking(iterator: Any, state: LexerState) -> Iterator[Any]:
    """Yields from the native iterator and keeps ``state`` where it stands."""
    try:
        yield from iterator
    finally:
        state._update(iterator.state())


def _arrow_string_buffers(texts: Any) -> Optional[Tuple[memoryview, memoryview, bool]]:
    """The offsets and data buffers of a pyarrow string array (or chunked
    array), to be read in place; None for anything else."""
    if not type(texts).__module__.startswith("pyarrow"):
        return None
    combine = getattr(texts, "combine_chunks", None)
    if combine is not None:
        texts = combine()
    kind = str(getattr(texts, "type", ""))
    if kind not in ("string", "large_string") or len(texts) == 0:
        return None
    if texts.null_count:
        raise TypeError("texts must not contain None")
    large = kind == "large_string"
    width = 8 if large else 4
    _, offsets, data = texts.buffers()
    first = texts.offset * width
    offsets_view = memoryview(offsets)[first:first + (len(texts) + 1) * width]
    return offsets_view, memoryview(data) if data is not None else memoryview(b""), large


def _rebuild_lexer(definition: str, names: Names) -> Lexer:
    return Lexer(definition, names=names)


def _build_error(args: Tuple[Any, ...], definition: str) -> BuildError:
    """BuildFailure carries (message, mode, clause, pattern, offset), or only
    the message for a violated invariant."""
    if len(args) != 5:
        return BuildError(str(args[0]), definition)
    message, mode, clause, pattern, offset = args
    return BuildError(message, definition, mode, None if clause is None else clause + 1,
                      pattern, offset)
