import gc
import shutil
import subprocess
import sys

import pytest

import quarn

TOKEN_MATCH_DOC = (
    "Represents a single token match.\n\nProperties:\n"
    "- token_type (int): The numeric type of the matched token.\n"
    "- start (int): Starting byte offset in the input string.\n"
    "- end (int): Ending byte offset in the input string.\n"
    "- text (str): The actual matched text.\n"
    "- start_line (Optional[int]): Starting line number (if tracked).\n"
    "- start_column (Optional[int]): Starting column number (if tracked).\n"
    "- end_line (Optional[int]): Ending line number (if tracked).\n"
    "- end_column (Optional[int]): Ending column number (if tracked)."
)
PROPERTIES = [
    "token_type", "start", "end", "text",
    "start_line", "start_column", "end_line", "end_column",
]


def test_module_attributes():
    assert quarn.__all__ == ["Scanner", "TokenMatch"]
    assert quarn.__doc__ == ""
    assert not hasattr(quarn, "__version__")
    assert quarn.Scanner.__module__ == "quarn"
    assert quarn.TokenMatch.__module__ == "quarn"
    public = {name for name in dir(quarn) if not name.startswith("_")}
    assert public == {"Scanner", "TokenMatch", "PanicException"}


def test_panic_exception_class():
    panic = quarn.PanicException
    assert panic.__module__ == "pyo3_runtime"
    assert panic.__name__ == panic.__qualname__ == "PanicException"
    assert panic.__bases__ == (BaseException,)
    assert not issubclass(panic, Exception)
    assert "PanicException" not in quarn.__all__


def test_scanner_docs_and_signatures():
    assert quarn.Scanner.__text_signature__ == "(definition)"
    assert quarn.Scanner.__doc__ == (
        "A scanner engine built from a quarn definition.\n\n"
        "Use `Scanner(definition)` to create a new instance."
    )
    fm = quarn.Scanner.find_matches
    assert fm.__text_signature__ == "($self, input)"
    assert fm.__doc__ == (
        "Finds all matches in the input string.\n\n"
        "Args:\n    input (str): The text to scan.\n\n"
        "Returns:\n    List[TokenMatch]: A list of matched tokens."
    )
    fmp = quarn.Scanner.find_matches_with_position
    assert fmp.__text_signature__ == "($self, input)"
    assert fmp.__doc__ == (
        "Finds all matches in the input string, including line and column information.\n\n"
        "Args:\n    input (str): The text to scan.\n\n"
        "Returns:\n    List[TokenMatch]: A list of matched tokens with line/column data."
    )
    own = [k for k in vars(quarn.Scanner) if not k.startswith("__")]
    assert own == ["find_matches", "find_matches_with_position"]


def test_token_match_class_shape():
    tm = quarn.TokenMatch
    assert tm.__doc__ == TOKEN_MATCH_DOC
    assert tm.__text_signature__ is None
    assert [k for k in vars(tm) if not k.startswith("__")] == PROPERTIES
    for name in PROPERTIES:
        assert vars(tm)[name].__doc__ is None
    with pytest.raises(TypeError):
        quarn.TokenMatch()
    with pytest.raises(TypeError):
        quarn.TokenMatch.__new__(quarn.TokenMatch)


def test_classes_cannot_be_subclassed_or_modified():
    for cls in (quarn.Scanner, quarn.TokenMatch):
        with pytest.raises(TypeError):
            type("Sub", (cls,), {})
        if sys.version_info >= (3, 10):  # immutable heap types
            with pytest.raises(TypeError):
                cls.extra = 1


def test_token_match_values_are_read_only(words):
    m = words.find_matches("abc")[0]
    for name in PROPERTIES:
        with pytest.raises(AttributeError):
            setattr(m, name, 0)
        with pytest.raises(AttributeError):
            delattr(m, name)
    with pytest.raises(AttributeError):
        m.other = 1
    assert m.start == 0


def test_token_match_is_a_plain_value(words):
    m = words.find_matches("abc")[0]
    assert not gc.is_tracked(m)
    assert not gc.is_tracked(words)
    assert m.text == "abc"
    assert m.text is not m.text  # a new str on each access
    assert repr(m).startswith("<quarn.TokenMatch object at ")
    assert m != words.find_matches("abc")[0]  # identity comparison only


def test_only_the_initialiser_is_exported():
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm is not available")
    out = subprocess.run(
        [nm, "-D", "--defined-only", quarn.__file__],
        check=True, capture_output=True, text=True,
    ).stdout
    symbols = {line.split()[-1] for line in out.splitlines() if line.strip()}
    assert symbols == {"PyInit_quarn"}
