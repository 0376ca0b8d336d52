"""The adapters reuse a scanner only when its mode state is back at the start:
scans through the shared helper equal scans by fresh scanners, also after
inputs that end inside a pushed or entered mode."""

import random

import quarn
from quarn_tools import _scan, languages

SNIPPETS = ['"abc', "f'{x", "`a${b", "/* open", "x = 1\n", "[1, {", "$$ select", "}", "'''",
            "# c\n", "\\", "a /b/ c", "{{ }} }", "[a]\nk = v", "<!-- -->", "*em* `c"]


def test_reused_scanners_scan_like_fresh_ones():
    rng = random.Random(5)
    for name in languages.names():
        definition = languages.get(name).definition
        for _ in range(8):
            text = "".join(rng.choice(SNIPPETS) for _ in range(rng.randint(0, 6)))
            fresh = quarn.Scanner(definition).find_matches(text)
            shared = _scan.scan(definition, text)
            assert [(m.token_type, m.start, m.end) for m in shared] == [
                (m.token_type, m.start, m.end) for m in fresh], (name, text)


def test_transitions_are_read_from_the_text():
    definition = r'''
        /* a /* nested */ comment with on 1 push B; */
        X {
            mode A { token r#"on 2 pop; "# => 0x1_0; on 0x10 push r#B; on 3u8 enter A; }
            mode r#B { token "\"}" => 2; on 2 pop; on 2 enter A; }
            mode A { }
        }'''
    assert _scan._transitions(definition) == [
        {16: ("push", 1), 3: ("enter", 0)}, {2: ("enter", 0)}, {}]
