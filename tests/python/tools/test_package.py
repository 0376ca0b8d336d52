"""The package imports without its optional dependencies and type-checks."""

import importlib.util
import pathlib
import subprocess
import sys
import textwrap

import pytest


def test_imports_and_scans_without_optional_dependencies():
    script = textwrap.dedent('''
        import sys
        class Block:
            def find_spec(self, name, path=None, target=None):
                if name.split(".")[0] in {"numpy", "pyarrow", "pandas", "dask"}:
                    raise ImportError("blocked: " + name)
        sys.meta_path.insert(0, Block())
        import quarn_tools
        table = quarn_tools.Lexer('S { mode A { token "[a-z]+" => 1; } }').scan("ab cd")
        assert table.texts() == ["ab", "cd"] and list(table.starts) == [0, 3]
        try:
            table.to_arrow()
        except ImportError:
            print("ok")
    ''')
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    assert result.stdout.strip() == "ok", result.stderr


def test_type_checker_accepts_typical_use(tmp_path):
    if importlib.util.find_spec("mypy") is None:
        pytest.skip("mypy is not installed")
    program = tmp_path / "use.py"
    program.write_text(textwrap.dedent('''
        from quarn_tools import Lexer, LexerState, PositionedToken, Token, TokenTable
        lexer = Lexer('S { mode A { token "[a-z]+" => 1; } }', names={1: "word"})
        state = LexerState()
        first: Token = next(lexer.tokens("ab", state=state))
        where: PositionedToken = next(lexer.tokens("ab", positions=True))
        table: TokenTable = lexer.scan("ab", positions=True, offsets="chars")
        size: int = len(table) + first.start + where.end_line + state.line
        name: "str | None" = first.name
        for batch in lexer.scan_file("input.txt", chunk_size=1 << 16):
            size += len(batch.texts())
    '''))
    wrong = tmp_path / "wrong.py"
    wrong.write_text('from quarn_tools import Lexer\nLexer("x").scan(b"bytes")\n')
    mypy = [sys.executable, "-m", "mypy", "--strict", "--no-incremental"]
    # The package's sources (with the extension's stub): checking it where it is
    # installed would make mypy take all of site-packages for sources.
    package = pathlib.Path(__file__).resolve().parents[3] / "python" / "quarn_tools"
    ok = subprocess.run(mypy + [str(program), str(package)], capture_output=True, text=True)
    assert ok.returncode == 0, ok.stdout
    bad = subprocess.run(mypy + [str(wrong)], capture_output=True, text=True)
    assert bad.returncode == 1 and "arg-type" in bad.stdout
