import pathlib
import sys

# The companion package lives in the source tree; until it is installed with the
# module, import it from there.
_SOURCE = pathlib.Path(__file__).resolve().parents[3] / "python"
try:
    import quarn_tools  # noqa: F401
except ImportError:
    sys.path.insert(0, str(_SOURCE))
