"""The Lark adapter: JSON parsed through it equals json.loads on real files,
a small expression language evaluates like Python, and text without a token is
reported where it stands."""

import json
import random

import pytest

lark = pytest.importorskip("lark")
from lark import Lark, Transformer  # noqa: E402
from lark.exceptions import UnexpectedCharacters  # noqa: E402

from quarn_tools.definition import Definition, token  # noqa: E402
from quarn_tools.lark import lexer  # noqa: E402

from .language_samples import sample_texts  # noqa: E402

JSON_GRAMMAR = r"""
?value: object | array | STRING | NUMBER | TRUE | FALSE | NULL
array: _LSQB [value (_COMMA value)*] _RSQB
object: _LBRACE [pair (_COMMA pair)*] _RBRACE
pair: STRING _COLON value
%declare STRING NUMBER TRUE FALSE NULL _LSQB _RSQB _LBRACE _RBRACE _COMMA _COLON WS
%ignore WS
"""


def json_definition():
    d = Definition("Json")
    d.mode("VALUE",
           token(r"[ \t\r\n]+", "WS"),
           token(r'"([^"\\\x00-\x1F]|\\["\\/bfnrt]|\\u[0-9A-Fa-f]{4})*"', "STRING"),
           token(r"-?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?", "NUMBER"),
           [token(word, word.upper()) for word in ("true", "false", "null")],
           [token("\\" + c, n) for c, n in zip("[]{},:", ("_LSQB", "_RSQB", "_LBRACE", "_RBRACE",
                                                          "_COMMA", "_COLON"))])
    return d


class ToPython(Transformer):
    def STRING(self, t): return json.loads(t)
    def NUMBER(self, t): return json.loads(t)
    def TRUE(self, _): return True
    def FALSE(self, _): return False
    def NULL(self, _): return None
    def array(self, items): return [] if items == [None] else list(items)
    def object(self, pairs): return {} if pairs == [None] else dict(pairs)
    def pair(self, kv): return tuple(kv)


@pytest.fixture(scope="module")
def json_parser():
    d = json_definition()
    parser = Lark(JSON_GRAMMAR, start="value", parser="lalr", lexer=lexer(d.text(), d.token_names))
    return lambda text: ToPython().transform(parser.parse(text))


def test_json_files_parse_like_json_loads(json_parser):
    samples = sample_texts("json", max_files=10, max_bytes=300_000)
    if not samples:
        pytest.skip("no JSON files on this machine")
    for path, text in samples:
        assert json_parser(text) == json.loads(text), path


def test_positions_and_errors(json_parser):
    d = json_definition()
    plain = Lark(JSON_GRAMMAR, start="value", parser="lalr", lexer=lexer(d.text(), d.token_names))
    tree = plain.parse('{"é": [1,\n true]}')
    tokens = list(tree.scan_values(lambda v: isinstance(v, lark.Token)))
    assert [(t.type, t.start_pos, t.line, t.column, t.end_pos) for t in tokens] == [
        ("STRING", 1, 1, 2, 4), ("NUMBER", 7, 1, 8, 8), ("TRUE", 11, 2, 2, 15)]
    with pytest.raises(UnexpectedCharacters) as caught:
        json_parser('[1,\n  @]')
    assert (caught.value.pos_in_stream, caught.value.line, caught.value.column) == (6, 2, 3)


EXPRESSIONS = r"""
?sum: product | sum PLUS product -> add | sum MINUS product -> sub
?product: atom | product STAR atom -> mul
?atom: NUMBER -> number | MINUS atom -> neg | _LPAR sum _RPAR
%declare NUMBER PLUS MINUS STAR _LPAR _RPAR
"""


class Evaluate(Transformer):
    def number(self, n): return int(n[0])
    def add(self, v): return v[0] + v[2]
    def sub(self, v): return v[0] - v[2]
    def mul(self, v): return v[0] * v[2]
    def neg(self, v): return -v[1]


def test_expression_language_evaluates_like_python():
    d = Definition("Calc")
    d.mode("M", token(r"[0-9]+", "NUMBER"), token(r"\+", "PLUS"), token("-", "MINUS"),
           token(r"\*", "STAR"), token(r"\(", "_LPAR"), token(r"\)", "_RPAR"),
           token(r"\s+", "BLANK"), token(r"#[^\n]*", "COMMENT"))
    parser = Lark(EXPRESSIONS, start="sum", parser="lalr",
                  lexer=lexer(d.text(), d.token_names, ignore={"BLANK", "COMMENT"}),
                  transformer=Evaluate())
    rng = random.Random(14)

    def expression(depth):
        if depth == 0 or rng.random() < 0.3:
            return str(rng.randint(0, 99))
        kind = rng.choice(["+", "-", "*", "()", "neg"])
        if kind == "()":
            return f"( {expression(depth - 1)} )"
        if kind == "neg":
            return f"-{expression(depth - 1)}"
        return f"{expression(depth - 1)} {kind} {expression(depth - 1)}"

    for _ in range(200):
        source = expression(5)
        assert parser.parse(source + "  # done") == eval(source), source
