"""The object-creation floor extension the benchmark compiles for itself."""

from __future__ import annotations

import importlib.util
import shutil
import subprocess
import sysconfig
from pathlib import Path

import pytest

SOURCE = Path(__file__).resolve().parents[2] / "benchmarks" / "floor" / "floor.c"


@pytest.fixture(scope="module")
def floor(tmp_path_factory):
    compiler = shutil.which("cc")
    include = sysconfig.get_paths()["include"]
    if compiler is None or not Path(include, "Python.h").exists():
        pytest.skip("needs a C compiler and the Python headers")
    target = tmp_path_factory.mktemp("floor") / ("quarn_bench_floor" + sysconfig.get_config_var("EXT_SUFFIX"))
    subprocess.run(
        [compiler, "-O2", "-Wall", "-Wextra", "-Werror", "-shared", "-fPIC", f"-I{include}", str(SOURCE), "-o", str(target)],
        check=True,
    )
    spec = importlib.util.spec_from_file_location("quarn_bench_floor", target)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def test_tokens_are_utf8_slices_cut_at_character_starts(floor):
    text = "a😀é中b" * 50  # 1-, 4-, 2-, 3-byte characters
    encoded = text.encode()
    tokens = floor.build(text, 200, 3)
    assert len(tokens) == 200
    for k, token in enumerate(tokens):
        assert token.token_type == k & 7
        assert 0 <= token.start <= token.end <= len(encoded)
        # a slice that starts or ends inside a character would not decode to the text
        assert encoded[token.start : token.end].decode() == token.text
    # the walk wraps around instead of running off the end
    assert max(t.end for t in tokens) <= len(encoded)


def test_rejects_impossible_requests(floor):
    assert floor.build("abc", 0, 1) == []
    for n, token_bytes in ((-1, 1), (1, 0), (1, 3)):
        with pytest.raises(ValueError):
            floor.build("abc", n, token_bytes)
    with pytest.raises(TypeError):
        floor.build(b"abc", 1, 1)
