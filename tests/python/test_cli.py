"""The `quarn` command end to end, run as a separate process."""

import csv
import io
import json
import os
import pathlib
import shutil
import subprocess
import sys

import pytest

import quarn
import quarn_tools

ROOT = pathlib.Path(__file__).resolve().parents[2]
DEMO = ROOT / "examples" / "demo.quarn"
DEMO_INPUT = ROOT / "examples" / "demo_input.txt"

SHADOWED = 'S {\n  mode M {\n    token "[a-z]+" => 1;\n    token "if" => 2;\n  }\n}\n'
BROKEN = 'S {\n  mode M {\n    token "a" => ;\n  }\n}\n'
BAD_PATTERN = 'S {\n  mode M {\n    token "(" => 1;\n  }\n}\n'


def run(*args, stdin=None):
    return subprocess.run(
        [sys.executable, "-m", "quarn_tools.cli", *map(str, args)],
        input=stdin, capture_output=True, text=True, timeout=120)


@pytest.fixture
def write(tmp_path):
    def write(name, text):
        path = tmp_path / name
        path.write_text(text, encoding="utf-8")
        return path
    return write


def test_console_script_is_installed():
    search = os.path.dirname(sys.executable) + os.pathsep + os.environ.get("PATH", "")
    script = shutil.which("quarn", path=search)
    assert script is not None
    assert subprocess.run([script, "--help"], capture_output=True).returncode == 0


@pytest.mark.parametrize("command", ["check", "tokenize", "stats", "graph", "show"])
def test_every_subcommand_has_help(command):
    result = run(command, "--help")
    assert result.returncode == 0 and "usage: quarn " + command in result.stdout


def test_check_clean_and_strict(write):
    assert run("check", DEMO).returncode == 0
    path = write("s.quarn", SHADOWED)
    lenient, strict = run("check", path), run("check", path, "--strict")
    assert (lenient.returncode, strict.returncode) == (0, 1)
    assert f"{path}:4:5: warning: " in lenient.stdout and "shadowed-clause" in lenient.stdout
    assert 'witness: "if"' in lenient.stdout
    findings = json.loads(run("check", path, "--format", "json").stdout)
    assert [(f["code"], f["line"], f["witness"]) for f in findings] == [("shadowed-clause", 4, "if")]


@pytest.mark.parametrize("command", [["check"], ["tokenize"], ["stats"], ["graph"]])
def test_definition_error_is_located_with_a_caret(write, command):
    path = write("broken.quarn", BROKEN)
    result = run(*command, path, stdin="")
    assert result.returncode == 2
    assert f"{path}:3:18: error: expected integer literal" in result.stderr
    lines = result.stderr.splitlines()
    at = next(i for i, line in enumerate(lines) if ":3:18: error" in line)
    assert lines[at + 1].strip() == 'token "a" => ;'
    assert lines[at + 2].index("^") == lines[at + 1].index(";")
    assert "Traceback" not in result.stderr


def test_build_errors_and_missing_files_exit_2_without_traceback(write, tmp_path):
    bad = write("bad.quarn", BAD_PATTERN)
    for args in (["tokenize", bad], ["show", bad, DEMO_INPUT, "-o", tmp_path / "x.html"],
                 ["check", tmp_path / "missing.quarn"], ["tokenize", DEMO, tmp_path / "missing.txt"],
                 ["graph", DEMO, "--mode", "NOPE"], ["frobnicate"]):
        result = run(*args, stdin="")
        assert result.returncode == 2, args
        assert "Traceback" not in result.stderr and result.stderr.strip(), args
    assert f"{bad}:3:5: error: " in run("tokenize", bad, stdin="").stderr


def test_tokenize_formats_agree_with_the_scanner(write):
    text = DEMO_INPUT.read_text(encoding="utf-8")
    expected = [(m.token_type, m.start, m.end, m.text)
                for m in quarn_tools_scan(DEMO.read_text(encoding="utf-8"), text)]
    plain = run("tokenize", DEMO, DEMO_INPUT).stdout.splitlines()
    assert [(int(t), int(s), int(e), json.loads(x)) for t, s, e, x in
            (line.split("\t") for line in plain)] == expected
    records = [json.loads(line) for line in
               run("tokenize", DEMO, "-", "--format", "jsonl", "--positions", "--names", "1=comment",
                     stdin=text).stdout.splitlines()]
    assert [(r["type"], r["start"], r["end"], r["text"]) for r in records] == expected
    assert records[0]["name"] == "comment" and records[0]["start_line"] == 1
    rows = list(csv.reader(io.StringIO(run("tokenize", DEMO, DEMO_INPUT, "--format", "csv").stdout)))
    assert rows[0] == ["type", "start", "end", "text"]
    assert [(int(t), int(s), int(e), x) for t, s, e, x in rows[1:]] == expected


def quarn_tools_scan(definition, text):
    return quarn.Scanner(definition).find_matches(text)


def test_stats_and_graph(tmp_path):
    stats = run("stats", DEMO)
    assert stats.returncode == 0 and "MAIN" in stats.stdout and "STRING" in stats.stdout
    dot = run("graph", DEMO, "--mode", "STRING")
    assert dot.returncode == 0 and dot.stdout.startswith('digraph "Config / STRING"')
    svg = tmp_path / "g.svg"
    result = run("graph", DEMO, "-o", svg)
    if shutil.which("dot") is None:
        assert result.returncode == 2 and "graphviz" in result.stderr.lower()
    else:
        assert result.returncode == 0 and svg.read_text().lstrip().startswith("<?xml")


def chromium():
    return shutil.which("chromium") or shutil.which("chromium-browser")


def test_show_page_renders_with_colour(tmp_path):
    page = tmp_path / "tokens.html"
    result = run("show", DEMO, DEMO_INPUT, "-o", page, "--names", "1=comment,2=key")
    assert result.returncode == 0, result.stderr
    html = page.read_text(encoding="utf-8")
    assert "http" not in html.split("<body>")[0]  # nothing loaded from elsewhere
    assert 'title="type 1 (comment), bytes 0-12, 1:1-1:13"' in html
    browser = chromium()
    if browser is None:
        pytest.skip("chromium is not installed (scripts/setup.sh installs it)")
    shot = tmp_path / "shot.png"
    subprocess.run([browser, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                    f"--screenshot={shot}", "--window-size=900,700", page.as_uri()],
                   capture_output=True, timeout=120)
    assert shot.exists(), "chromium wrote no screenshot"
    colours = png_colours(shot.read_bytes())
    # Text on white, and the token backgrounds: many distinct colours.
    assert len(colours) > 20


def png_colours(data):
    """The distinct RGB colours of a PNG (8-bit RGB or RGBA, not interlaced)."""
    import struct
    import zlib
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, chunks, header = 8, [], None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            chunks.append(body)
        pos += 12 + length
    width, height, depth, colour_type = header[:4]
    assert depth == 8 and colour_type in (2, 6)
    channels = 3 if colour_type == 2 else 4
    raw = zlib.decompress(b"".join(chunks))
    stride = width * channels
    previous = bytearray(stride)
    colours = set()
    for y in range(height):
        row_start = y * (stride + 1)
        kind, row = raw[row_start], bytearray(raw[row_start + 1:row_start + 1 + stride])
        for i in range(stride):
            left = row[i - channels] if i >= channels else 0
            up, up_left = previous[i], previous[i - channels] if i >= channels else 0
            if kind == 1:
                row[i] = (row[i] + left) & 255
            elif kind == 2:
                row[i] = (row[i] + up) & 255
            elif kind == 3:
                row[i] = (row[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - up_left
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - up_left)
                row[i] = (row[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else up_left)) & 255
        for x in range(0, stride, channels * 4):
            colours.add(bytes(row[x:x + 3]))
        previous = row
    return colours


def test_tokenize_streams_200_mb_in_bounded_memory(tmp_path):
    # Long comments keep the token count, and so the run time, modest.
    line = "[server]\nhost = \"exa\\\"mple.org\"  # " + "a comment " * 200 + "\nport = 8080\n"
    big = tmp_path / "big.txt"
    with open(big, "w", encoding="utf-8") as out:
        block = line * 10000
        while out.tell() < 200 << 20:
            out.write(block)
    script = (
        "import resource, subprocess, sys;"
        f"p = subprocess.run([sys.executable, '-m', 'quarn_tools.cli', 'tokenize', {str(DEMO)!r},"
        f" {str(big)!r}, '--format', 'csv'], stdout=subprocess.DEVNULL);"
        "print(p.returncode, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)")
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=1200)
    code, peak_kb = map(int, result.stdout.split())
    assert code == 0
    assert peak_kb < 200 * 1024, f"peak RSS {peak_kb} kB"


@pytest.mark.parametrize("output", ["tokens.parquet", "parts"])
def test_tokenize_jobs_write_parquet_and_report_skipped_files(tmp_path, output):
    pq = pytest.importorskip("pyarrow.parquet")
    text = DEMO_INPUT.read_text(encoding="utf-8")
    good = tmp_path / "good.txt"
    good.write_text(text, encoding="utf-8")
    bad = tmp_path / "bad.txt"
    bad.write_bytes(b"key = 1\n\xff\n")
    out = tmp_path / output
    result = run("tokenize", DEMO, good, bad, "--jobs", "2", "-o", out, "--names", "1=comment")
    assert result.returncode == 1, result.stderr
    assert f"{bad}" in result.stderr and "at byte 8" in result.stderr
    assert "tokenized 1 files" in result.stderr and "1 files skipped" in result.stderr
    table = pq.read_table(out).to_pylist()
    expected = [(m.token_type, m.start, m.end, m.text)
                for m in quarn_tools_scan(DEMO.read_text(encoding="utf-8"), text)]
    assert sorted((r["type"], r["start"], r["end"], r["text"]) for r in table) == sorted(expected)
    assert {r["file"] for r in table} == {str(good)}

    failed = run("tokenize", DEMO, good, bad, "--jobs", "1", "--on-error", "fail",
                 "-o", tmp_path / "again.parquet")
    assert failed.returncode == 2 and "Traceback" not in failed.stderr
    assert not (tmp_path / "again.parquet").exists()
    assert run("tokenize", DEMO, good, "--jobs", "1").returncode == 2  # no -o
