"""Companion tools for quarn: bulk and streaming scans, a definition checker,
the ``quarn`` command, ready lexers and adapters.

The extension module ``quarn`` keeps its small fixed interface; everything
beyond it lives here. Optional dependencies (NumPy, pyarrow, pandas, Dask,
Pygments, Lark) are imported only by the features that need them.
"""

from .checker import DefinitionError, Diagnostic, check, graph_dot, statistics

__all__: list[str] = ["DefinitionError", "Diagnostic", "check", "graph_dot", "statistics"]
