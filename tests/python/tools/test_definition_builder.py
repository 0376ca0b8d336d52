"""The definition builder against hand-written definitions: random clause sets
written by the builder (raw strings) and by hand (plain strings with escapes)
scan alike, and what the definition language would misread is refused."""

import random

import pytest

import quarn
from quarn_tools.definition import Definition, literal, raw_string, token

# Valid patterns that stress quoting: quotes followed by hashes, backslashes,
# line breaks, comment-like text and non-ASCII characters.
PATTERNS = ['"', '"#', '"##b', 'a"#', r'\\', r'\\"#', "#", "'", r"[^\"\\]+", "\n", r"\n",
            "é+", r"\x{263A}", "(?x) a b # spaced\n", r"\{\}", literal('}{"#.'), "x+", "[ab]+",
            r"//[^\n]*", "/\\*", "(?s).", "b|ab"]
LOOKAHEADS = ['"', "a", r"\\", "x|#", "\n"]
ALPHABET = ['a', 'b', '"', '#', '\\', "'", '\n', 'é', '☺', '{', '}', 'x', '/', '*', ' ', '.']


def plain_string(text):
    """`text` as a plain definition string literal, escaped by hand."""
    escaped = (text.replace("\\", "\\\\").replace('"', '\\"')
               .replace("\n", "\\n").replace("\t", "\\t").replace("\r", "\\r"))
    return f'"{escaped}"'


def random_definition(rng):
    """A builder definition and the same definition written by hand."""
    modes = ["M0", "M1", "M2"][:rng.randint(1, 3)]
    shared = [token(rng.choice(PATTERNS), f"shared{i}") for i in range(rng.randint(0, 2))]
    builder = Definition("Random")
    hand = ["Random {"]
    for mode in modes:
        clauses = []
        for i in range(rng.randint(1, 5)):
            kind = rng.random()
            extra = {}
            if kind < 0.2:
                extra["followed_by"] = rng.choice(LOOKAHEADS)
            elif kind < 0.35:
                extra["not_followed_by"] = rng.choice(LOOKAHEADS)
            move = rng.random()
            name = rng.choice([f"n{i}", f"{mode}_{i}", rng.randint(0, 40)])
            if move < 0.15:
                extra["push"] = rng.choice(modes)
            elif move < 0.25:
                extra["enter"] = rng.choice(modes)
            elif move < 0.35:
                extra["pop"] = True
            clauses.append(token(rng.choice(PATTERNS), name, **extra))
        if shared and rng.random() < 0.7:
            clauses[rng.randint(0, len(clauses)):0] = shared
        builder.mode(mode, clauses)
    try:
        types = builder.token_types
        builder.text()
    except ValueError:
        return None  # two transitions for one type in one mode: refused, tested below
    for mode in builder.modes:
        hand.append(f"mode {mode.name} {{")
        moves = {}
        for c in mode.clauses:
            lookahead = ""
            if c.followed_by is not None:
                lookahead = f" followed by {plain_string(c.followed_by)}"
            if c.not_followed_by is not None:
                lookahead = f" not followed by {plain_string(c.not_followed_by)}"
            hand.append(f"token {plain_string(c.pattern)}{lookahead} => {types[c.name]};")
            if c.transition():
                moves[types[c.name]] = c.transition()
        for t, (kind, target) in moves.items():
            hand.append(f"on {t} {kind} {target or ''};")
        hand.append("}")
    hand.append("}")
    return builder, "\n".join(hand)


def test_random_definitions_scan_like_hand_written_ones():
    rng = random.Random(20261209)
    checked = 0
    while checked < 120:
        pair = random_definition(rng)
        if pair is None:
            continue
        builder, hand = pair
        built, written = builder.scanner(), quarn.Scanner(hand)
        for _ in range(3):
            text = "".join(rng.choice(ALPHABET) for _ in range(rng.randint(0, 40)))
            ours = [(m.token_type, m.start, m.end) for m in built.find_matches(text)]
            theirs = [(m.token_type, m.start, m.end) for m in written.find_matches(text)]
            assert ours == theirs, (builder.text(), text)
        checked += 1


def test_shared_clauses_names_and_types():
    blanks = [token(r"\s+", "space"), token(r"#[^\n]*", "comment")]
    d = Definition("Shared")
    d.mode("CODE", blanks, token(r"\w+", "word"), token('"', "quote", push="STRING"),
           token("!", 7))
    d.mode("STRING", token(r'[^"]+', "text"), token('"', "quote", pop=True), blanks)
    assert d.token_names == {1: "space", 2: "comment", 3: "word", 4: "quote", 5: "text"}
    scanner = d.scanner()
    got = [(d.token_names.get(m.token_type, m.token_type), m.text)
           for m in scanner.find_matches('a "b # c" ! # d')]
    assert got == [("word", "a"), ("space", " "), ("quote", '"'), ("text", "b # c"),
                   ("quote", '"'), ("space", " "), (7, "!"), ("space", " "), ("comment", "# d")]


def test_quoting_and_literals():
    assert raw_string("a") == 'r"a"'
    assert raw_string('say "hi"#') == 'r##"say "hi"#"##'
    text = '+.*?"#(a)[b]{c}^$|\\&-~'
    d = Definition("L")
    d.mode("M", token(literal(text), 1))
    assert [m.text for m in d.scanner().find_matches("x" + text + text)] == [text, text]


@pytest.mark.parametrize("build, message", [
    (lambda d: None, "has no mode"),
    (lambda d: d.mode("M", token("a", "a", push="NOWHERE")), "does not exist"),
    (lambda d: d.mode("M", token("a", "t", pop=True), token("b", "t", push="M")), "two transitions"),
])
def test_definitions_the_scanner_would_misread_are_refused(build, message):
    d = Definition("Bad")
    build(d)
    with pytest.raises(ValueError, match=message):
        d.text()


def test_bad_clauses_and_names():
    with pytest.raises(ValueError, match="reserved"):
        Definition("X").mode("type")
    with pytest.raises(ValueError, match="not an identifier"):
        Definition("X").mode("two words")
    with pytest.raises(ValueError, match="one lookahead"):
        token("a", 1, followed_by="b", not_followed_by="c")
    with pytest.raises(ValueError, match="one transition"):
        token("a", 1, push="A", pop=True)
    with pytest.raises(ValueError, match="outside"):
        token("a", 2**32)
    with pytest.raises(ValueError, match="255"):
        raw_string('"' + "#" * 255)
