"""The ``quarn`` command: check, tokenize, stats, graph and show.

Exit status: 0 success; 1 findings with ``check --strict``; 2 a usage error,
an unreadable file or a definition that does not build. A user's mistake
never ends in a traceback.
"""

from __future__ import annotations

import argparse
import csv
import importlib
import itertools
import json
import os
import shutil
import subprocess
import sys
from pathlib import Path
from typing import IO, Any, Iterator, NamedTuple, Optional, Sequence

import quarn

from . import html_view
from .checker import Diagnostic, check, graph_dot, statistics
from .errors import DefinitionError, InvalidUtf8Error
from .lexer import Lexer

EXIT_OK = 0
EXIT_FINDINGS = 1
EXIT_ERROR = 2

# Inputs at least this large show their progress when standard error is a terminal.
_PROGRESS_BYTES = 16 << 20


class UserError(Exception):
    """A mistake of the user: reported as one message, exit status 2."""


class _Definition(NamedTuple):
    path: str
    text: str


def _read_text(path: str, what: str) -> str:
    try:
        if path == "-":
            return sys.stdin.read()
        return Path(path).read_text(encoding="utf-8")
    except FileNotFoundError:
        raise UserError(f"{path}: no such {what}") from None
    except UnicodeDecodeError as error:
        raise UserError(f"{path}: not UTF-8 text (byte {error.start})") from None
    except OSError as error:
        raise UserError(f"{path}: {error.strerror or error}") from None


def _load_definition(path: str) -> _Definition:
    return _Definition(path, _read_text(path, "definition file"))


def _located(path: str, line: int, column: int, severity: str, message: str, source: str) -> str:
    lines = source.split("\n")
    text = lines[line - 1] if 0 < line <= len(lines) else ""
    caret = "".join(c if c == "\t" else " " for c in text[: column - 1]) + "^"
    return f"{path}:{line}:{column}: {severity}: {message}\n    {text}\n    {caret}"


def _print_diagnostic(definition: _Definition, d: Diagnostic, out: IO[str]) -> None:
    print(
        _located(definition.path, d.line, d.column, d.severity, f"{d.message} [{d.code}]",
                 definition.text),
        file=out,
    )
    if d.witness is not None:
        print(f"    witness: {json.dumps(d.witness, ensure_ascii=False)}", file=out)


def _report_build_errors(definition: _Definition, fallback: str) -> int:
    """Prints why a definition does not build, located where possible."""
    errors = [d for d in check(definition.text) if d.severity == "error"]
    for d in errors:
        _print_diagnostic(definition, d, sys.stderr)
    if not errors:
        print(f"{definition.path}: error: {fallback}", file=sys.stderr)
    return EXIT_ERROR


def _build_scanner(definition: _Definition) -> Optional[quarn.Scanner]:
    try:
        return quarn.Scanner(definition.text)
    except (ValueError, quarn.PanicException) as error:
        _report_build_errors(definition, str(error))
        return None


def _parse_names(spec: Optional[str]) -> dict[int, str]:
    """``--names``: a JSON object file, a file of ``TYPE NAME`` lines, or
    ``TYPE=NAME,...`` inline."""
    if not spec:
        return {}
    if os.path.exists(spec):
        text = _read_text(spec, "names file")
        try:
            loaded = json.loads(text)
            if isinstance(loaded, dict):
                return {int(k): str(v) for k, v in loaded.items()}
        except ValueError:
            pass
        pairs = [line.split(None, 1) for line in text.splitlines() if line.strip()]
    else:
        pairs = [item.split("=", 1) for item in spec.split(",") if item.strip()]
    try:
        return {int(k): v.strip() for k, v in pairs}
    except ValueError:
        raise UserError(f"--names: expected TYPE=NAME pairs or a file of them, got {spec!r}") from None


# ---- check ----------------------------------------------------------------


def _cmd_check(args: argparse.Namespace) -> int:
    definition = _load_definition(args.definition)
    diagnostics = check(definition.text)
    if args.format == "json":
        json.dump([d.__dict__ for d in diagnostics], sys.stdout, indent=2, ensure_ascii=False)
        print()
    else:
        for d in diagnostics:
            _print_diagnostic(definition, d, sys.stderr if d.severity == "error" else sys.stdout)
        counts = {s: sum(d.severity == s for d in diagnostics) for s in ("error", "warning", "note")}
        summary = ", ".join(f"{n} {s}{'s' if n != 1 else ''}" for s, n in counts.items())
        print(f"{definition.path}: {summary}", file=sys.stderr)
    if any(d.severity == "error" for d in diagnostics):
        return EXIT_ERROR
    if args.strict and any(d.severity == "warning" for d in diagnostics):
        return EXIT_FINDINGS
    return EXIT_OK


# ---- tokenize -------------------------------------------------------------


class Row(NamedTuple):
    type: int
    start: int
    end: int
    text: str
    start_line: Optional[int] = None
    start_column: Optional[int] = None
    end_line: Optional[int] = None
    end_column: Optional[int] = None


def _rows(lexer: Lexer, source: str, positions: bool) -> Iterator[Row]:
    """The tokens of one input, each input from the first mode, read in
    chunks so that memory stays bounded whatever the input's size."""
    try:
        file = sys.stdin.buffer if source == "-" else open(source, "rb")
    except FileNotFoundError:
        raise UserError(f"{source}: no such input file") from None
    except OSError as error:
        raise UserError(f"{source}: {error.strerror or error}") from None
    size = os.fstat(file.fileno()).st_size if source != "-" else 0
    progress = sys.stderr.isatty() and size >= _PROGRESS_BYTES
    try:
        for table in lexer.scan_file(file, positions=positions):
            columns: list[list[Any]] = [table.types.tolist(), table.starts.tolist(),
                                        table.ends.tolist(), table.texts()]
            if positions:
                columns += [column.tolist() for column in (table.start_lines, table.start_columns,
                                                           table.end_lines, table.end_columns)
                            if column is not None]
            yield from itertools.starmap(Row, zip(*columns))
            if progress and len(table):
                done = min(100, 100 * int(table.ends[len(table) - 1]) // size)
                print(f"\r{source}: {done}%", end="", file=sys.stderr, flush=True)
    except ValueError as error:  # invalid UTF-8, with its offset
        raise UserError(f"{source}: {error}") from None
    finally:
        if progress:
            print(file=sys.stderr)
        if file is not sys.stdin.buffer:
            file.close()


def _columns(positions: bool, names: dict[int, str], many: bool) -> list[str]:
    columns = (["file"] if many else []) + ["type"] + (["name"] if names else []) + ["start", "end"]
    if positions:
        columns += ["start_line", "start_column", "end_line", "end_column"]
    return columns + ["text"]


def _record(row: Row, source: str, positions: bool, names: dict[int, str], many: bool) -> list[Any]:
    record: list[Any] = ([source] if many else []) + [row.type]
    if names:
        record.append(names.get(row.type, ""))
    record += [row.start, row.end]
    if positions:
        record += [row.start_line, row.start_column, row.end_line, row.end_column]
    return record + [row.text]


def _cmd_tokenize(args: argparse.Namespace) -> int:
    definition = _load_definition(args.definition)
    names = _parse_names(args.names)
    if _build_scanner(definition) is None:  # reports why, located
        return EXIT_ERROR
    if args.jobs is not None or args.scheduler is not None:
        return _tokenize_in_parallel(args, definition, names)
    if args.on_error is not None:
        raise UserError("--on-error applies to parallel jobs (--jobs N or --scheduler ADDRESS)")
    lexer = Lexer(definition.text)
    sources = args.inputs or ["-"]
    many = len(sources) > 1
    columns = _columns(args.positions, names, many)

    def records() -> Iterator[list[Any]]:
        for source in sources:
            for row in _rows(lexer, source, args.positions):
                yield _record(row, source, args.positions, names, many)

    if args.format == "parquet":
        return _write_parquet(records(), columns, args.output)
    out: IO[str] = open(args.output, "w", encoding="utf-8", newline="") if args.output else sys.stdout
    try:
        if args.format == "jsonl":
            for record in records():
                out.write(json.dumps(dict(zip(columns, record)), ensure_ascii=False) + "\n")
        elif args.format == "csv":
            writer = csv.writer(out)
            writer.writerow(columns)
            writer.writerows(records())
        else:
            for record in records():
                *fields, text = record
                out.write("\t".join(map(str, fields)) + "\t" + json.dumps(text, ensure_ascii=False) + "\n")
    finally:
        if out is not sys.stdout:
            out.close()
    return EXIT_OK


def _tokenize_in_parallel(args: argparse.Namespace, definition: _Definition,
                          names: dict[int, str]) -> int:
    """Parquet at -o OUT (one file for OUT.parquet, else a folder of parts)
    through quarn_tools.jobs; failures and the summary go to standard error."""
    from .jobs import terminal_progress, tokenize_files

    if not args.output:
        raise UserError("--jobs and --scheduler write Parquet: give -o OUT.parquet or -o FOLDER")
    if args.format not in ("text", "parquet"):
        raise UserError("--jobs and --scheduler write Parquet only (--format parquet)")
    if not args.inputs or "-" in args.inputs:
        raise UserError("--jobs and --scheduler read files, not standard input")
    if args.jobs is not None and args.jobs < 1:
        raise UserError("--jobs must be at least 1")
    lexer = Lexer(definition.text, names=names or None)
    progress = terminal_progress(sys.stderr) if sys.stderr.isatty() else None
    try:
        summary = tokenize_files(lexer, args.inputs, output=args.output, jobs=args.jobs,
                                 scheduler=args.scheduler, on_error=args.on_error or "skip",
                                 progress=progress, positions=args.positions, text=True)
    except ImportError as error:
        raise UserError(f"--scheduler needs the dask extra: pip install 'quarn[dask]' ({error})"
                        ) from None
    except (InvalidUtf8Error, OSError) as error:
        raise UserError(str(error)) from None
    finally:
        if progress is not None:
            print(file=sys.stderr)
    for failure in summary.failures:
        print(f"quarn: skipped {failure}", file=sys.stderr)
    print(summary, file=sys.stderr)
    return EXIT_FINDINGS if summary.failures else EXIT_OK


def _write_parquet(records: Iterator[list[Any]], columns: list[str], output: Optional[str]) -> int:
    if not output:
        raise UserError("--format parquet needs an output file (-o FILE)")
    try:
        pa = importlib.import_module("pyarrow")  # untyped optional dependency
        pq = importlib.import_module("pyarrow.parquet")
    except ImportError:
        raise UserError("--format parquet needs pyarrow: pip install 'quarn[arrow]'") from None
    writer = None
    batch: list[list[Any]] = []

    def flush() -> None:
        nonlocal writer
        table = pa.table({name: [r[i] for r in batch] for i, name in enumerate(columns)})
        if writer is None:
            writer = pq.ParquetWriter(output, table.schema)
        writer.write_table(table)
        batch.clear()

    for record in records:
        batch.append(record)
        if len(batch) >= 65536:
            flush()
    if batch or writer is None:
        flush()
    assert writer is not None
    writer.close()
    return EXIT_OK


# ---- stats ----------------------------------------------------------------


def _cmd_stats(args: argparse.Namespace) -> int:
    definition = _load_definition(args.definition)
    try:
        stats = statistics(definition.text)
    except DefinitionError as error:
        print(_located(definition.path, error.line, error.column, "error", error.reason,
                       definition.text), file=sys.stderr)
        return EXIT_ERROR
    if args.format == "json":
        json.dump(stats, sys.stdout, indent=2)
        print()
        return EXIT_OK
    print(f"scanner {stats['name']}: {len(stats['modes'])} modes, "
          f"{stats['interval_groups']} interval groups; parse {stats['parse_ms']:.2f} ms, "
          f"character classes {stats['classes_ms']:.2f} ms")
    header = ("mode", "clauses", "NFA", "DFA", "minimized", "groups", "table bytes",
              "NFA ms", "DFA ms", "min ms", "table ms")
    rows = [header]
    for m in stats["modes"]:
        rows.append((m["name"], m["clauses"], m["nfa_states"], m["dfa_states"], m["minimized_states"],
                     m["interval_groups"], m["table_bytes"], f"{m['nfa_ms']:.2f}", f"{m['dfa_ms']:.2f}",
                     f"{m['minimize_ms']:.2f}", f"{m['table_ms']:.2f}"))
    widths = [max(len(str(r[i])) for r in rows) for i in range(len(header))]
    for r in rows:
        print("  ".join(str(v).ljust(w) if i == 0 else str(v).rjust(w)
                        for i, (v, w) in enumerate(zip(r, widths))))
    for m in stats["modes"]:
        if m["error"]:
            print(f"{definition.path}: error: mode {m['name']} cannot be built: {m['error']}",
                  file=sys.stderr)
    return EXIT_ERROR if any(m["error"] for m in stats["modes"]) else EXIT_OK


# ---- graph ----------------------------------------------------------------


def _cmd_graph(args: argparse.Namespace) -> int:
    definition = _load_definition(args.definition)
    try:
        dot = graph_dot(definition.text, args.mode)
    except DefinitionError as error:
        print(_located(definition.path, error.line, error.column, "error", error.reason,
                       definition.text), file=sys.stderr)
        return EXIT_ERROR
    except KeyError:
        raise UserError(f"{definition.path}: no mode named {args.mode!r}") from None
    except RuntimeError as error:
        return _report_build_errors(definition, str(error))
    output = args.output
    if not output or output == "-":
        sys.stdout.write(dot)
        return EXIT_OK
    suffix = Path(output).suffix.lower()
    if suffix in ("", ".dot", ".gv"):
        Path(output).write_text(dot, encoding="utf-8")
        return EXIT_OK
    if suffix not in (".svg", ".png", ".pdf"):
        raise UserError(f"{output}: unknown picture type {suffix!r}; use .dot, .svg, .png or .pdf")
    dot_program = shutil.which("dot")
    if dot_program is None:
        raise UserError(
            f"{output}: drawing {suffix} needs Graphviz's `dot`, which is not installed "
            "(Debian: apt-get install graphviz); -o FILE.dot writes the graph without it"
        )
    result = subprocess.run([dot_program, f"-T{suffix[1:]}", "-o", output], input=dot.encode(),
                            capture_output=True)
    if result.returncode != 0:
        raise UserError(f"dot failed: {result.stderr.decode(errors='replace').strip()}")
    return EXIT_OK


# ---- show -----------------------------------------------------------------


def _cmd_show(args: argparse.Namespace) -> int:
    definition = _load_definition(args.definition)
    names = _parse_names(args.names)
    scanner = _build_scanner(definition)
    if scanner is None:
        return EXIT_ERROR
    text = _read_text(args.input, "input file")
    tokens = (
        html_view.ShownToken(m.token_type, m.start, m.end, m.start_line or 0,
                             m.start_column or 0, m.end_line or 0, m.end_column or 0)
        for m in scanner.find_matches_with_position(text)
    )
    page = html_view.render(f"{Path(args.input).name} — {Path(definition.path).name}", text, tokens, names)
    try:
        Path(args.output).write_text(page, encoding="utf-8")
    except OSError as error:
        raise UserError(f"{args.output}: {error.strerror or error}") from None
    return EXIT_OK


# ---- command line ---------------------------------------------------------


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="quarn",
        description="Check, run and picture quarn scanner definitions.",
        epilog="Exit status: 0 success, 1 warnings with `check --strict`, "
        "2 usage errors, unreadable files and definitions that do not build.",
    )
    commands = parser.add_subparsers(dest="command", metavar="COMMAND", required=True)

    p = commands.add_parser(
        "check", help="report shadowed clauses, lookaheads and mode problems",
        description="Report what the automata prove about a definition: clauses that never "
        "produce a token, empty matches, clauses decided only by their order (notes), "
        "lookaheads that always or never hold, unreachable or duplicate modes, pops on an empty "
        "stack, push cycles without a pop and transitions that never fire. Each finding names "
        "a shortest witness text where one exists.")
    p.add_argument("definition", metavar="DEF", help="the definition file")
    p.add_argument("--strict", action="store_true", help="exit 1 when there are warnings")
    p.add_argument("--format", choices=("text", "json"), default="text")
    p.set_defaults(run=_cmd_check)

    p = commands.add_parser(
        "tokenize", help="scan files and print their tokens",
        description="Scan each FILE (standard input for - or none) from the first mode and "
        "write one record per token: type, optional name, byte span, optional line:column "
        "range and text.")
    p.add_argument("definition", metavar="DEF")
    p.add_argument("inputs", metavar="FILE", nargs="*", help="input files; - for standard input")
    p.add_argument("--positions", action="store_true", help="add line and column of each token")
    p.add_argument("--format", choices=("text", "jsonl", "csv", "parquet"), default="text")
    p.add_argument("--names", metavar="NAMES",
                   help="token type names: TYPE=NAME,... or a JSON object / 'TYPE NAME' lines file")
    p.add_argument("-o", "--output", metavar="OUT",
                   help="output file (standard output by default); with --jobs or --scheduler "
                   "OUT.parquet is one file, any other name a folder of Parquet parts")
    p.add_argument("--jobs", metavar="N", type=int,
                   help="tokenize the files on N local processes into Parquet at -o OUT")
    p.add_argument("--scheduler", metavar="ADDRESS",
                   help="tokenize on the Dask cluster at ADDRESS (tcp://host:port) into Parquet")
    p.add_argument("--on-error", choices=("skip", "fail"),
                   help="with --jobs or --scheduler: leave out (and list) files that cannot be "
                   "read or are not UTF-8, exiting 1 (skip, the default), or stop (fail)")
    p.set_defaults(run=_cmd_tokenize)

    p = commands.add_parser("stats", help="sizes and build times of the automata",
                            description="Per mode: clauses, NFA, DFA and minimized states, "
                            "interval groups, table bytes and the time of each build stage.")
    p.add_argument("definition", metavar="DEF")
    p.add_argument("--format", choices=("text", "json"), default="text")
    p.set_defaults(run=_cmd_stats)

    p = commands.add_parser("graph", help="draw a mode's automaton (Graphviz)",
                            description="Write a mode's minimized automaton and its lookaheads "
                            "as Graphviz DOT; .svg, .png and .pdf outputs are drawn with `dot`.")
    p.add_argument("definition", metavar="DEF")
    p.add_argument("--mode", metavar="M", help="the mode to draw (the first by default)")
    p.add_argument("-o", "--output", metavar="OUT", help="out.dot, out.svg, out.png or out.pdf")
    p.set_defaults(run=_cmd_graph)

    p = commands.add_parser("show", help="an HTML page of a text coloured by token type",
                            description="Write a self-contained HTML page of FILE with each "
                            "token coloured by its type, a legend, and the type, name, byte span "
                            "and position of each token on hover.")
    p.add_argument("definition", metavar="DEF")
    p.add_argument("input", metavar="FILE")
    p.add_argument("-o", "--output", metavar="OUT", required=True, help="the HTML file to write")
    p.add_argument("--names", metavar="NAMES", help="token type names, as for tokenize")
    p.set_defaults(run=_cmd_show)
    return parser


def main(argv: Optional[Sequence[str]] = None) -> int:
    args = _parser().parse_args(argv)
    try:
        return int(args.run(args))
    except UserError as error:
        print(f"quarn: error: {error}", file=sys.stderr)
        return EXIT_ERROR
    except BrokenPipeError:
        # The reader went away (`quarn tokenize ... | head`): not an error.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return EXIT_OK
    except KeyboardInterrupt:
        return 130


if __name__ == "__main__":
    sys.exit(main())
