"""Companion tools for quarn: bulk and streaming scans, a definition checker,
the ``quarn`` command, ready lexers and adapters.

The extension module ``quarn`` keeps its small fixed interface; everything
beyond it lives here. Optional dependencies (NumPy, pyarrow, pandas, Dask,
Pygments, Lark) are imported only by the features that need them.
"""

from .errors import BuildError, DefinitionError, InvalidUtf8Error
from .lexer import Lexer, LexerState, PositionedToken, Token, TokenTable

__all__: list[str] = [
    "BuildError",
    "DefinitionError",
    "InvalidUtf8Error",
    "Lexer",
    "LexerState",
    "PositionedToken",
    "Token",
    "TokenTable",
]
