"""The definition checker: findings about a scanner definition, proved on its
automata, each with the shortest text that shows it where one exists."""

from __future__ import annotations

from dataclasses import dataclass
from typing import Any, Literal, Optional

from . import _analysis

__all__ = ["Diagnostic", "DefinitionError", "check", "statistics", "graph_dot"]

Severity = Literal["error", "warning", "note"]


@dataclass(frozen=True)
class Diagnostic:
    """One finding. ``line`` and ``column`` count from 1 (columns in
    characters); ``clause`` is the clause's number in its mode, from 1;
    ``witness`` is a text that shows the finding when the mode scans it."""

    severity: Severity
    code: str
    message: str
    line: int
    column: int
    mode: str
    clause: Optional[int]
    witness: Optional[str]


class DefinitionError(ValueError):
    """A definition that does not parse, with where it fails."""

    def __init__(self, message: str, line: int, column: int, source_line: str = "") -> None:
        super().__init__(message)
        self.message = message
        self.line = line
        self.column = column
        self.source_line = source_line

    def __str__(self) -> str:
        return f"line {self.line}, column {self.column}: {self.message}"


def _source_line(definition: str, line: int) -> str:
    lines = definition.split("\n")
    return lines[line - 1] if 0 < line <= len(lines) else ""


def check(definition: str) -> list[Diagnostic]:
    """Every finding about ``definition``, in the order of the text. A
    definition that does not parse gives one ``error`` finding."""
    return [Diagnostic(*fields) for fields in _analysis.check(definition)]


def _build_error(definition: str, error: ValueError) -> DefinitionError:
    message, line, column = error.args
    return DefinitionError(message, line, column, _source_line(definition, line))


def statistics(definition: str) -> dict[str, Any]:
    """Sizes and build times of the automata, per mode. Raises
    DefinitionError when the definition does not parse."""
    try:
        return _analysis.statistics(definition)  # type: ignore[no-any-return]
    except ValueError as error:
        raise _build_error(definition, error) from None


def graph_dot(definition: str, mode: Optional[str] = None) -> str:
    """Graphviz DOT text of a mode's automaton (the first mode by default)
    and its lookaheads. Raises DefinitionError when the definition does not
    parse and KeyError for an unknown mode."""
    try:
        return _analysis.graph(definition, mode)  # type: ignore[no-any-return]
    except ValueError as error:
        raise _build_error(definition, error) from None
