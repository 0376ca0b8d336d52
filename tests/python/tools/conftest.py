import pathlib
import sys

import pytest

# The companion package lives in the source tree; until it is installed with the
# module, import it from there.
_SOURCE = pathlib.Path(__file__).resolve().parents[3] / "python"
try:
    import quarn_tools  # noqa: F401
except ImportError:
    sys.path.insert(0, str(_SOURCE))


@pytest.fixture(scope="session")
def cluster():
    """A Dask scheduler on the loopback interface with two worker processes."""
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1,
                                  host="127.0.0.1", dashboard_address=":0") as cluster:
        yield cluster
