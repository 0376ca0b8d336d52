"""Exceptions of quarn_tools: ordinary ``ValueError`` subclasses that say where."""

from __future__ import annotations

from typing import Optional


def _line_and_column(text: str, offset: int) -> tuple[int, int, str]:
    """Line and column (both from 1, columns in characters) of a UTF-8 byte
    offset into ``text``, and the text of that line."""
    before = text.encode("utf-8")[:offset].decode("utf-8", errors="ignore")
    line = before.count("\n") + 1
    line_start = before.rfind("\n") + 1
    column = len(before) - line_start + 1
    line_end = text.find("\n", line_start)
    line_text = text[line_start : line_end if line_end != -1 else len(text)]
    return line, column, line_text


class DefinitionError(ValueError):
    """A definition the parser rejects. ``line`` and ``column`` (from 1) point
    at the token where parsing stopped; the message shows that line."""

    def __init__(self, message: str, definition: str, offset: int) -> None:
        self.reason = message
        self.offset = offset
        self.line, self.column, self.line_text = _line_and_column(definition, offset)
        caret = " " * (self.column - 1) + "^"
        super().__init__(
            f"{message}\n  at line {self.line}, column {self.column}:\n"
            f"    {self.line_text}\n    {caret}"
        )

    def __reduce__(self):  # type: ignore[no-untyped-def]
        return (_rebuild, (type(self), self.args, self.__dict__))


class BuildError(ValueError):
    """A definition that parses but cannot be built: a token regex that cannot
    be compiled, an unknown target mode or a size limit. ``mode`` and
    ``clause`` (its position in the mode, from 1) name the clause at fault, and
    ``line`` / ``column`` (from 1) where it starts; a mode too large as a whole
    has no clause and points at its ``mode`` keyword. All are None for a limit
    of the whole scanner."""

    def __init__(
        self,
        message: str,
        definition: str,
        mode: Optional[str] = None,
        clause: Optional[int] = None,
        pattern: Optional[str] = None,
        offset: Optional[int] = None,
    ) -> None:
        self.reason = message
        self.mode = mode
        self.clause = clause
        self.pattern = pattern
        self.line: Optional[int] = None
        self.column: Optional[int] = None
        where = ""
        if offset is not None:
            self.line, self.column, line_text = _line_and_column(definition, offset)
            what = f"clause {clause} of mode {mode}" if clause is not None else f"mode {mode}"
            caret = " " * (self.column - 1) + "^"
            where = (
                f"\n  in {what}, at line {self.line}, column {self.column}:\n"
                f"    {line_text}\n    {caret}"
            )
        super().__init__(message + where)

    def __reduce__(self):  # type: ignore[no-untyped-def]
        return (_rebuild, (type(self), self.args, self.__dict__))


class InvalidUtf8Error(ValueError):
    """Input bytes that are not UTF-8; ``offset`` is the byte offset of the
    first bad sequence, counted from the start of the input."""

    def __init__(self, message: str, offset: int) -> None:
        self.offset = offset
        super().__init__(message)

    def __reduce__(self):  # type: ignore[no-untyped-def]
        return (_rebuild, (type(self), self.args, self.__dict__))


def _rebuild(cls: type, args: tuple, state: dict) -> BaseException:  # type: ignore[type-arg]
    error: BaseException = Exception.__new__(cls)
    error.args = args
    error.__dict__.update(state)
    return error
