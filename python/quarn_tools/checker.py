"""The definition checker: findings about a scanner definition, proved on its
automata, each with the shortest text that shows it where one exists."""

from __future__ import annotations

from dataclasses import dataclass
from typing import Any, Literal, Optional

from . import _analysis
from .errors import DefinitionError

__all__ = ["Diagnostic", "check", "statistics", "graph_dot"]

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


def check(definition: str) -> list[Diagnostic]:
    """Every finding about ``definition``, in the order of the text. A
    definition that does not parse gives one ``error`` finding."""
    return [Diagnostic(*fields) for fields in _analysis.check(definition)]


def _build_error(definition: str, error: ValueError) -> DefinitionError:
    message, offset = error.args
    return DefinitionError(message, definition, offset)


def statistics(definition: str) -> dict[str, Any]:
    """Sizes and build times of the automata, per mode. Raises
    DefinitionError when the definition does not parse."""
    try:
        return _analysis.statistics(definition)
    except ValueError as error:
        raise _build_error(definition, error) from None


def graph_dot(definition: str, mode: Optional[str] = None) -> str:
    """Graphviz DOT text of a mode's automaton (the first mode by default)
    and its lookaheads. Raises DefinitionError when the definition does not
    parse and KeyError for an unknown mode."""
    try:
        return _analysis.graph(definition, mode)
    except ValueError as error:
        raise _build_error(definition, error) from None
