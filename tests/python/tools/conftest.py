import pytest


@pytest.fixture(scope="session")
def cluster():
    """A Dask scheduler on the loopback interface with two worker processes."""
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1,
                                  host="127.0.0.1", dashboard_address=":0") as cluster:
        yield cluster
