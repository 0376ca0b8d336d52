import pytest

import quarn

# Identifiers, whitespace, numbers that need a following dot, a minus not
# followed by '>', and double-quoted strings scanned in their own mode.
EXAMPLE = r'''
Example {
    mode INITIAL {
        token "[a-zA-Z_][a-zA-Z0-9_]*" => 1;
        token "\\s+" => 2;
        token r"\d+" followed by r"\." => 3;
        token "-" not followed by ">" => 4;
        token "\"" => 5;
        on 5 push STRING;
    }
    mode STRING {
        token r#"[^"\\]+"# => 6;
        token "\"" => 5;
        on 5 pop;
    }
}
'''

WORDS = r'''
Words {
    mode M {
        token "[a-z]+" => 1;
        token "[0-9]+" => 2;
        token "\n" => 3;
    }
}
'''


@pytest.fixture
def example():
    return quarn.Scanner(EXAMPLE)


@pytest.fixture
def words():
    return quarn.Scanner(WORDS)


def stream(matches):
    """(token_type, start, end, text) of each match."""
    return [(m.token_type, m.start, m.end, m.text) for m in matches]
