"""The quarn_tools adapters against the lexers they stand in for, in one run:

- Pygments: the bundled JavaScript and Python lexers through the Pygments adapter
  against Pygments' own lexers, on the same files (every token read);
- Lark: lexing a few MB of JSON with the quarn lexer against Lark's own basic
  lexer for the same terminals, and the whole LALR parse with each.

CPU seconds, medians of --repeat runs. Run it with quarn, pygments and lark
installed:  python benchmarks/tools_adapters.py [--megabytes 4] [--repeat 3]
"""

import argparse
import glob
import json
import random
import statistics
import sys
import sysconfig
import time

from lark import Lark
from pygments.lexers import get_lexer_by_name

from quarn_tools.lark import lexer as quarn_lark_lexer
from quarn_tools.pygments import LANGUAGE_LEXERS


def cpu_median(function, repeat):
    times = []
    for _ in range(repeat):
        start = time.process_time()
        function()
        times.append(time.process_time() - start)
    return statistics.median(times)


def read_files(patterns, limit):
    texts, total = [], 0
    for pattern in patterns:
        for path in sorted(glob.glob(pattern)):
            if total >= limit:
                return texts
            with open(path, encoding="utf-8", errors="strict") as f:
                try:
                    text = f.read()
                except UnicodeDecodeError:
                    continue
            texts.append(text)
            total += len(text)
    return texts


def pygments_rows(repeat):
    stdlib = sysconfig.get_paths()["stdlib"]
    workloads = {
        "javascript": ("javascript", ["/usr/share/javascript/jquery/jquery.js",
                                      "/usr/share/javascript/underscore/underscore.js",
                                      "/usr/share/javascript/jquery-ui/ui/**/*.js"]),
        "python": ("python", [stdlib + "/*.py"]),
    }
    for name, (alias, patterns) in workloads.items():
        texts = read_files(patterns, 1_000_000)
        theirs = get_lexer_by_name(alias)
        ours = LANGUAGE_LEXERS[name]()

        def run(lexer):
            for text in texts:
                for _ in lexer.get_tokens_unprocessed(text):
                    pass

        megabytes = sum(map(len, texts)) / 1e6
        base = cpu_median(lambda: run(theirs), repeat)
        quick = cpu_median(lambda: run(ours), repeat)
        yield (f"Pygments {name}, {len(texts)} files, {megabytes:.2f} MB",
               base, quick)


JSON_TERMINALS = r"""
STRING: /"([^"\\\x00-\x1F]|\\["\\\/bfnrt]|\\u[0-9A-Fa-f]{4})*"/
NUMBER: /-?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?/
TRUE: "true"
FALSE: "false"
NULL: "null"
_LSQB: "["
_RSQB: "]"
_LBRACE: "{"
_RBRACE: "}"
_COMMA: ","
_COLON: ":"
WS: /[ \t\r\n]+/
"""
JSON_RULES = r"""
?value: object | array | STRING | NUMBER | TRUE | FALSE | NULL
array: _LSQB [value (_COMMA value)*] _RSQB
object: _LBRACE [pair (_COMMA pair)*] _RBRACE
pair: STRING _COLON value
%ignore WS
"""
JSON_DEFINITION = r"""
Json {
    mode VALUE {
        token r"[ \t\r\n]+" => 1;
        token r#""([^"\\\x00-\x1F]|\\["\\/bfnrt]|\\u[0-9A-Fa-f]{4})*""# => 2;
        token r"-?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?" => 3;
        token "true" => 4; token "false" => 5; token "null" => 6;
        token r"\[" => 7; token r"\]" => 8; token r"\{" => 9; token r"\}" => 10;
        token "," => 11; token ":" => 12;
    }
}
"""
JSON_NAMES = dict(enumerate("WS STRING NUMBER TRUE FALSE NULL _LSQB _RSQB _LBRACE _RBRACE "
                            "_COMMA _COLON".split(), 1))


def generated_json(megabytes):
    rng = random.Random(7)
    words = ["alpha", "beta", "gamma", "délta", "epsilon \"quoted\"", "zeta\\n", "ηθ"]

    def value(depth):
        kind = rng.random()
        if depth > 3 or kind < 0.5:
            return rng.choice([rng.randint(-10**6, 10**6), rng.random() * 1e3, True, False,
                               None, rng.choice(words)])
        if kind < 0.75:
            return [value(depth + 1) for _ in range(rng.randint(0, 6))]
        return {rng.choice(words) + str(i): value(depth + 1) for i in range(rng.randint(0, 6))}

    parts, size = [], 0
    while size < megabytes * 1e6:
        part = json.dumps(value(0), ensure_ascii=False, indent=1)
        parts.append(part)
        size += len(part)
    return "[" + ",\n".join(parts) + "]"


def lark_rows(megabytes, repeat):
    text = generated_json(megabytes)
    own = Lark(JSON_RULES + JSON_TERMINALS, start="value", parser="lalr", lexer="basic")
    ours = Lark(JSON_RULES + "%declare " + " ".join(JSON_NAMES.values()), start="value",
                parser="lalr", lexer=quarn_lark_lexer(JSON_DEFINITION, JSON_NAMES))
    assert [(t.type, t) for t in own.lex(text) if t.type != "WS"] == [
        (t.type, t) for t in ours.parser.lexer.lexer.lex(text)], "token streams differ"
    label = f"{len(text) / 1e6:.1f} MB JSON"
    yield (f"Lark lexing, {label}", cpu_median(lambda: list(own.lex(text)), repeat),
           cpu_median(lambda: list(ours.parser.lexer.lexer.lex(text)), repeat))
    yield (f"Lark LALR parse, {label}", cpu_median(lambda: own.parse(text), repeat),
           cpu_median(lambda: ours.parse(text), repeat))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--megabytes", type=float, default=4.0)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    print("| workload | peer s | quarn adapter s | ratio |")
    print("|---|---:|---:|---:|")
    rows = list(pygments_rows(args.repeat)) + list(lark_rows(args.megabytes, args.repeat))
    for label, base, quick in rows:
        print(f"| {label} | {base:.3f} | {quick:.3f} | {base / quick:.1f}x |")
    sys.stdout.flush()


if __name__ == "__main__":
    main()
