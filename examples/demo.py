"""Scans a file with a quarn definition and prints one line per token.

    python examples/demo.py                      # the bundled configuration example
    python examples/demo.py DEFINITION INPUT     # any definition and input file

Columns: start line:column, end line:column, byte span, token type (and its
name for the bundled example) and the token text.
"""

import pathlib
import sys

import quarn

HERE = pathlib.Path(__file__).resolve().parent
DEMO_NAMES = {
    1: "comment", 2: "key", 3: "word", 4: "number", 5: "equals", 6: "open",
    7: "close", 8: "quote", 9: "newline", 10: "string", 11: "escape",
}


def main(argv):
    if len(argv) == 3:
        definition_path, input_path = map(pathlib.Path, argv[1:])
        names = {}
    elif len(argv) == 1:
        definition_path, input_path = HERE / "demo.quarn", HERE / "demo_input.txt"
        names = DEMO_NAMES
    else:
        print(__doc__, file=sys.stderr)
        return 2

    try:
        scanner = quarn.Scanner(definition_path.read_text(encoding="utf-8"))
    except ValueError as error:  # the definition does not parse
        print(f"{definition_path}: {error}", file=sys.stderr)
        return 1
    text = input_path.read_text(encoding="utf-8")

    print(f"{'start':>7} {'end':>7}  {'bytes':>9}  {'type':<12} text")
    for m in scanner.find_matches_with_position(text):
        kind = f"{m.token_type} {names.get(m.token_type, '')}".rstrip()
        start = f"{m.start_line}:{m.start_column}"
        end = f"{m.end_line}:{m.end_column}"
        print(f"{start:>7} {end:>7}  {m.start:>4}-{m.end:<4}  {kind:<12} {m.text!r}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
