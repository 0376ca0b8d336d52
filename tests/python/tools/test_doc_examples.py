"""Every ```python block in README.md and docs/ runs, and the ```text block that
directly follows one is the output it must print."""

import contextlib
import io
import pathlib
import re

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[3]
DOCUMENTS = [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]
FENCE = re.compile(r"^```(\w*)[ \t]*\n(.*?)^```[ \t]*$", re.M | re.S)


def examples(path):
    """(line, code, expected output or None) for each Python block, in order."""
    text = path.read_text(encoding="utf-8")
    blocks = [(m.group(1), m.group(2), m.start(), m.end()) for m in FENCE.finditer(text)]
    for i, (lang, body, start, _end) in enumerate(blocks):
        if lang != "python":
            continue
        expected = None
        if i + 1 < len(blocks):
            next_lang, next_body, next_start, _ = blocks[i + 1]
            if next_lang == "text" and not text[blocks[i][3]:next_start].strip():
                expected = next_body
        yield text.count("\n", 0, start) + 1, body, expected


@pytest.mark.parametrize("path", DOCUMENTS, ids=lambda p: p.name)
def test_examples_run_and_print_what_is_shown(path):
    namespace = {"__name__": "__doc_example__"}
    for line, code, expected in examples(path):
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            exec(compile(code, f"{path.name}:{line}", "exec"), namespace)
        if expected is not None:
            shown = [row.rstrip() for row in expected.rstrip("\n").split("\n")]
            printed = [row.rstrip() for row in out.getvalue().rstrip("\n").split("\n")]
            assert printed == shown, f"{path.name}, example at line {line}"
