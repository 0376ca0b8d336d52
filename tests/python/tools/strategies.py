"""Random definitions and texts for the quarn_tools identity tests."""

from hypothesis import strategies as st

# Patterns and lookaheads reading one character, a bounded run, or up to the
# end of the text; over characters of one to four UTF-8 bytes.
PATTERNS = ["a", "a+", "ab*", "[ab]+", "é", "😀+", r"\n", " +", "a(b|é)*", "[^a]", ".",
            "b{2}", "[a ]*b", "(?s).*😀", r"é\n?"]
LOOKAHEADS = ["a", "b+a", "é", "(?s).*😀", " ", r"\n"]
PIECES = ["a", "b", " ", "\n", "é", "😀", "x", "\r"]


@st.composite
def definitions(draw):
    modes = draw(st.integers(1, 3))
    text = "S {"
    for m in range(modes):
        text += f" mode M{m} {{"
        for _ in range(draw(st.integers(1, 5))):
            text += f' token r#"{draw(st.sampled_from(PATTERNS))}"#'
            kind = draw(st.sampled_from(["", "followed by", "not followed by"]))
            if kind:
                text += f' {kind} r#"{draw(st.sampled_from(LOOKAHEADS))}"#'
            text += f" => {draw(st.integers(0, 3))};"
        for token_type in range(4):
            target = f"M{draw(st.integers(0, modes - 1))}"
            action = draw(st.sampled_from(["", f"enter {target}", f"push {target}", "pop"]))
            if action:
                text += f" on {token_type} {action};"
        text += " }"
    return text + " }"


texts = st.lists(st.sampled_from(PIECES), max_size=40).map("".join)
