"""Real files for the bundled languages, and their comparison with Pygments on
coarse token classes. Used by the language tests and by
benchmarks/tools_adapters.py."""

import glob
import pathlib
import sysconfig
import zipfile

ROOT = pathlib.Path(__file__).resolve().parents[3]
STDLIB = pathlib.Path(sysconfig.get_paths()["stdlib"])

# language: (Pygments lexer alias or None, file patterns)
SOURCES = {
    "json": ("json", ["/usr/share/cmake-*/Templates/MSBuild/FlagTables/*.json",
                      str(STDLIB / "site-packages/**/*.json")]),
    "python": ("python", [str(STDLIB / "*.py"), str(STDLIB / "json/*.py"),
                          str(STDLIB / "email/*.py")]),
    "javascript": ("javascript", ["/usr/share/javascript/jquery/jquery.js",
                                  "/usr/share/javascript/underscore/underscore.js",
                                  "/usr/share/javascript/jquery-ui/ui/**/*.js",
                                  "/usr/share/javascript/sphinxdoc/1.0/[!j]*.js"]),
    "java": ("java", ["zip:/usr/lib/jvm/*/lib/src.zip:java.base/java/util/"]),
    "c": ("c", ["/usr/include/*.h"]),
    "cpp": ("cpp", ["/usr/include/gtest/*.h", "/usr/include/c++/*/bits/stl_*.h"]),
    "sql": ("postgresql", ["/usr/share/postgresql/*/extension/*.sql"]),
    "css": ("css", ["/usr/share/javascript/jquery-ui/themes/base/*[!n].css"]),
    "toml": ("toml", [str(STDLIB / "test/test_tomllib/data/valid/**/*.toml"),
                      str(STDLIB / "site-packages/**/*.toml"), "/usr/share/doc/*/examples/*.toml",
                      str(ROOT / "pyproject.toml")]),
    "ini": ("ini", [str(STDLIB / "test/configdata/cfgparser.*"), str(STDLIB / "**/*.ini"),
                    str(STDLIB / "turtledemo/turtle.cfg")]),
    "markdown": ("markdown", ["/usr/share/doc/*/*.md", str(ROOT / "README.md")]),
    "log": (None, ["/var/log/dpkg.log", "/var/log/alternatives.log",
                   "/var/log/apt/history.log"]),
}


def sample_texts(language, max_files=30, max_bytes=200_000):
    """(name, text) of real files for `language`, a bounded, deterministic sample."""
    texts, total = [], 0
    for pattern in SOURCES[language][1]:
        for name, read in _candidates(pattern):
            if len(texts) >= max_files or total >= max_bytes:
                return texts
            try:
                text = read().decode("utf-8")
            except (OSError, UnicodeDecodeError):
                continue
            if total + len(text) > max_bytes:
                continue
            texts.append((name, text))
            total += len(text)
    return texts


def _candidates(pattern):
    if pattern.startswith("zip:"):
        archive_pattern, prefix = pattern[4:].rsplit(":", 1)
        for archive in [p for p in sorted(glob.glob(archive_pattern)) if pathlib.Path(p).is_file()][:1]:
            with zipfile.ZipFile(archive) as archive_file:
                members = sorted(n for n in archive_file.namelist()
                                 if n.startswith(prefix) and n.endswith(".java"))
                for member in members:
                    yield member, (lambda m=member: archive_file.read(m))
        return
    for path in sorted(glob.glob(pattern, recursive=True)):
        if pathlib.Path(path).is_file():
            yield path, pathlib.Path(path).read_bytes


def coarse_of_name(token_name):
    head = token_name.split(".")[0]
    if token_name.startswith("keyword") or token_name.startswith("operator.word"):
        return "keyword"
    return {"punctuation": "operator"}.get(head, head)


def coarse_of_pygments(token_type, value):
    from pygments import token as t

    if token_type in t.Operator.Word:
        return "keyword"
    for family, coarse in ((t.Keyword, "keyword"), (t.Name, "name"), (t.Number, "number"),
                           (t.Literal.Date, "number"), (t.String, "string"),
                           (t.Comment, "comment"), (t.Operator, "operator"),
                           (t.Punctuation, "operator"), (t.Error, "error"),
                           (t.Generic, "markup")):
        if token_type in family:
            return coarse
    if not value.strip():
        return "whitespace"
    return "text"


def character_classes_ours(language, tokens):
    """One coarse class per character, from (type, text) pairs."""
    classes = []
    for token_type, text in tokens:
        classes.extend([coarse_of_name(language.token_names[token_type])] * len(text))
    return classes


def character_classes_pygments(alias, text):
    from pygments.lexers import get_lexer_by_name

    lexer = get_lexer_by_name(alias, stripnl=False, ensurenl=False, tabsize=0)
    classes = []
    for _, token_type, value in lexer.get_tokens_unprocessed(text):
        classes.extend([coarse_of_pygments(token_type, value)] * len(value))
    return classes


# Token names whose characters the comparison leaves out: Pygments lexes the
# body of a fenced Markdown block with the lexer of the fence's language.
NOT_COMPARED = {"markdown": {"string.code"}}


def agreement(name, samples):
    """Share of characters on which the bundled lexer and Pygments agree, and the
    most frequent (ours, Pygments') disagreements."""
    import collections

    import quarn

    from quarn_tools import languages

    language = languages.get(name)
    alias = SOURCES[name][0]
    same = total = 0
    confusion = collections.Counter()
    scanner = quarn.Scanner(language.definition)
    for _, text in samples:
        tokens = [(m.token_type, m.text) for m in scanner.find_matches(text)]
        ours = character_classes_ours(language, tokens)
        skipped = NOT_COMPARED.get(name, set())
        compared = [language.token_names[t] not in skipped
                    for t, token_text in tokens for _ in token_text]
        theirs = character_classes_pygments(alias, text)
        for a, b, counted in zip(ours, theirs, compared):
            if not counted:
                continue
            total += 1
            if a == b:
                same += 1
            else:
                confusion[a, b] += 1
    return same / max(total, 1), total, confusion.most_common(6)


if __name__ == "__main__":
    from quarn_tools import languages

    for name in languages.names():
        samples = sample_texts(name)
        if SOURCES[name][0] is None or not samples:
            print(f"{name:12} {len(samples)} files, no comparison")
            continue
        share, characters, worst = agreement(name, samples)
        print(f"{name:12} {len(samples):3} files {characters:8} chars  {100 * share:6.2f} %  {worst}")
