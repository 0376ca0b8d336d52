import ast
import importlib.util
import pathlib
import subprocess
import sys

import pytest

import quarn

STUB = pathlib.Path(__file__).resolve().parents[2] / "python" / "quarn.pyi"


def stub_classes():
    tree = ast.parse(STUB.read_text())
    classes = {}
    for node in tree.body:
        if isinstance(node, ast.ClassDef):
            classes[node.name] = [
                item.name for item in node.body if isinstance(item, ast.FunctionDef)
            ]
    return classes


def test_stub_describes_the_module():
    classes = stub_classes()
    assert set(classes) == {"Scanner", "TokenMatch", "PanicException"}
    scanner = [name for name in classes["Scanner"] if not name.startswith("__")]
    assert scanner == [k for k in vars(quarn.Scanner) if not k.startswith("__")]
    token_match = classes["TokenMatch"]
    assert token_match == [k for k in vars(quarn.TokenMatch) if not k.startswith("__")]


def test_type_checker_finds_the_installed_stub(tmp_path):
    if importlib.util.find_spec("mypy") is None:
        pytest.skip("mypy is not installed")
    if importlib.util.find_spec("quarn-stubs") is None and not any(
        (pathlib.Path(p) / "quarn-stubs" / "__init__.pyi").exists() for p in sys.path
    ):
        pytest.skip("quarn is not installed with its stubs")
    sample = tmp_path / "sample.py"
    sample.write_text(
        "import quarn\n"
        "m = quarn.Scanner('S { mode M { } }').find_matches_with_position('x')[0]\n"
        "reveal_type(m.start_line)\n"
        "bad: str = m.start\n"
    )
    result = subprocess.run(
        [sys.executable, "-m", "mypy", "--no-incremental", str(sample)],
        capture_output=True, text=True, cwd=tmp_path,
    )
    assert 'Revealed type is "int | None"' in result.stdout or (
        'Revealed type is "Union[int, None]"' in result.stdout
    ), result.stdout
    assert 'expression has type "int", variable has type "str"' in result.stdout
