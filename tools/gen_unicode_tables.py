#!/usr/bin/env python3
"""Generate src/quarn/unicode/unicode_tables.cpp from the Unicode Character Database.

Usage:
    python3 tools/gen_unicode_tables.py [--ucd DIR]           write the tables
    python3 tools/gen_unicode_tables.py [--ucd DIR] --check   compare with the committed file

Sets hold scalar values: surrogates D800-DFFF are never members, and a range that runs
from below them to above them (only the category C does) stands for the scalar values in
between. Name keys are stored already loosely matched (the same rule as loose_match in
unicode.cpp) and sorted by byte value, so the C++ side can binary-search them.
"""

import argparse
import re
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
OUTPUT = REPO / "src" / "quarn" / "unicode" / "unicode_tables.cpp"
DEFAULT_UCD = Path("/usr/share/unicode")
MAX_CODE_POINT = 0x10FFFF
SURROGATES = (0xD800, 0xDFFF)

# The supported binary properties and the file each one comes from.
PROPLIST = "PropList.txt"
DERIVED_CORE = "DerivedCoreProperties.txt"
EMOJI = "emoji/emoji-data.txt"
UNICODE_DATA = "UnicodeData.txt"
BINARY_PROPERTIES = {
    "ASCII_Hex_Digit": PROPLIST,
    "Alphabetic": DERIVED_CORE,
    "Bidi_Control": PROPLIST,
    "Bidi_Mirrored": UNICODE_DATA,
    "Case_Ignorable": DERIVED_CORE,
    "Cased": DERIVED_CORE,
    "Changes_When_Casefolded": DERIVED_CORE,
    "Changes_When_Casemapped": DERIVED_CORE,
    "Changes_When_Lowercased": DERIVED_CORE,
    "Changes_When_Titlecased": DERIVED_CORE,
    "Changes_When_Uppercased": DERIVED_CORE,
    "Dash": PROPLIST,
    "Default_Ignorable_Code_Point": DERIVED_CORE,
    "Deprecated": PROPLIST,
    "Diacritic": PROPLIST,
    "Emoji": EMOJI,
    "Emoji_Component": EMOJI,
    "Emoji_Modifier": EMOJI,
    "Emoji_Modifier_Base": EMOJI,
    "Emoji_Presentation": EMOJI,
    "Extended_Pictographic": EMOJI,
    "Extender": PROPLIST,
    "Grapheme_Base": DERIVED_CORE,
    "Grapheme_Extend": DERIVED_CORE,
    "Grapheme_Link": DERIVED_CORE,
    "Hex_Digit": PROPLIST,
    "Hyphen": PROPLIST,
    "IDS_Binary_Operator": PROPLIST,
    "IDS_Trinary_Operator": PROPLIST,
    "ID_Continue": DERIVED_CORE,
    "ID_Start": DERIVED_CORE,
    "Ideographic": PROPLIST,
    "Join_Control": PROPLIST,
    "Logical_Order_Exception": PROPLIST,
    "Lowercase": DERIVED_CORE,
    "Math": DERIVED_CORE,
    "Noncharacter_Code_Point": PROPLIST,
    "Other_Alphabetic": PROPLIST,
    "Other_Default_Ignorable_Code_Point": PROPLIST,
    "Other_Grapheme_Extend": PROPLIST,
    "Other_ID_Continue": PROPLIST,
    "Other_ID_Start": PROPLIST,
    "Other_Lowercase": PROPLIST,
    "Other_Math": PROPLIST,
    "Other_Uppercase": PROPLIST,
    "Pattern_Syntax": PROPLIST,
    "Pattern_White_Space": PROPLIST,
    "Prepended_Concatenation_Mark": PROPLIST,
    "Quotation_Mark": PROPLIST,
    "Radical": PROPLIST,
    "Regional_Indicator": PROPLIST,
    "Sentence_Terminal": PROPLIST,
    "Soft_Dotted": PROPLIST,
    "Terminal_Punctuation": PROPLIST,
    "Unified_Ideograph": PROPLIST,
    "Uppercase": DERIVED_CORE,
    "Variation_Selector": PROPLIST,
    "White_Space": PROPLIST,
    "XID_Continue": DERIVED_CORE,
    "XID_Start": DERIVED_CORE,
}

GROUPED_CATEGORIES = {
    "LC": ["Lu", "Ll", "Lt"],
    "L": ["Lu", "Ll", "Lt", "Lm", "Lo"],
    "M": ["Mn", "Mc", "Me"],
    "N": ["Nd", "Nl", "No"],
    "P": ["Pc", "Pd", "Ps", "Pe", "Pi", "Pf", "Po"],
    "S": ["Sm", "Sc", "Sk", "So"],
    "Z": ["Zs", "Zl", "Zp"],
    "C": ["Cc", "Cf", "Co", "Cn"],  # Cs has no table
}

# Property kinds as spelled in unicode_tables.hpp; every other property is Other.
ENUMERATED_KINDS = {
    "General_Category": "GeneralCategory",
    "Script": "Script",
    "Script_Extensions": "ScriptExtensions",
    "Age": "Age",
    "Grapheme_Cluster_Break": "GraphemeClusterBreak",
    "Word_Break": "WordBreak",
    "Sentence_Break": "SentenceBreak",
}


class GenerationError(Exception):
    pass


# ---------------------------------------------------------------- range sets


def normalize(ranges):
    """Sorted, merged ranges without surrogates.

    Ranges are merged when they overlap or touch in scalar-value order, where U+E000
    follows U+D7FF, so a set holding both sides of the surrogates has one range there.
    """
    merged = []
    for start, end in sorted(ranges):
        if merged and start <= merged[-1][1] + 1:
            merged[-1][1] = max(merged[-1][1], end)
        else:
            merged.append([start, end])
    result = []
    for start, end in merged:
        if end < SURROGATES[0] or start > SURROGATES[1]:
            result.append((start, end))
            continue
        if start < SURROGATES[0]:
            result.append((start, SURROGATES[0] - 1))
        if end > SURROGATES[1]:
            result.append((SURROGATES[1] + 1, end))
    joined = []
    for start, end in result:
        if joined and joined[-1][1] == SURROGATES[0] - 1 and start == SURROGATES[1] + 1:
            joined[-1] = (joined[-1][0], end)
        else:
            joined.append((start, end))
    return joined


def union(*sets):
    return normalize([r for s in sets for r in s])


def complement(ranges):
    result = []
    next_start = 0
    for start, end in normalize(ranges):
        if start > next_start:
            result.append((next_start, start - 1))
        next_start = end + 1
    if next_start <= MAX_CODE_POINT:
        result.append((next_start, MAX_CODE_POINT))
    return normalize(result)


def difference(ranges, removed):
    result = []
    removed = normalize(removed)
    index = 0
    for start, end in normalize(ranges):
        while index < len(removed) and removed[index][1] < start:
            index += 1
        cursor = start
        probe = index
        while probe < len(removed) and removed[probe][0] <= end:
            if removed[probe][0] > cursor:
                result.append((cursor, removed[probe][0] - 1))
            cursor = max(cursor, removed[probe][1] + 1)
            probe += 1
        if cursor <= end:
            result.append((cursor, end))
    return normalize(result)


# ---------------------------------------------------------------- reading the database


def data_lines(path):
    """Fields of every non-comment line, stripped."""
    with open(path, encoding="utf-8") as handle:
        for line in handle:
            line = line.split("#", 1)[0].strip()
            if line:
                yield [field.strip() for field in line.split(";")]


def parse_code_points(text):
    if ".." in text:
        first, last = text.split("..")
        return int(first, 16), int(last, 16)
    value = int(text, 16)
    return value, value


def read_property_file(path):
    """Ranges per value of a `code points ; value` file (lines with more fields are skipped)."""
    values = {}
    for fields in data_lines(path):
        if len(fields) != 2:
            continue
        values.setdefault(fields[1], []).append(parse_code_points(fields[0]))
    return {name: normalize(ranges) for name, ranges in values.items()}


def read_unicode_data(path):
    """General category ranges (two-letter) and the Bidi_Mirrored set."""
    categories = {}
    mirrored = []
    range_start = None
    for fields in data_lines(path):
        code_point = int(fields[0], 16)
        name, category = fields[1], fields[2]
        if name.endswith(", First>"):
            range_start = code_point
            continue
        start = code_point
        if name.endswith(", Last>"):
            start, range_start = range_start, None
        categories.setdefault(category, []).append((start, code_point))
        if fields[9] == "Y":
            mirrored.append((start, code_point))
    listed = [r for ranges in categories.values() for r in ranges]
    categories = {name: normalize(ranges) for name, ranges in categories.items()}
    categories["Cn"] = complement(listed)
    return categories, normalize(mirrored)


def read_aliases(path):
    """Property aliases: list of name lists, the long name second."""
    return [fields for fields in data_lines(path)]


def read_value_aliases(path):
    """Value aliases per property short name: list of name lists."""
    values = {}
    for fields in data_lines(path):
        values.setdefault(fields[0], []).append(fields[1:])
    return values


def read_case_folding(path):
    """Simple case folding: code point -> sorted list of the other members of its class."""
    targets = {}
    for fields in data_lines(path):
        if fields[1] in ("C", "S"):
            targets[int(fields[0], 16)] = int(fields[2], 16)
    classes = {}
    for source, target in targets.items():
        classes.setdefault(target, {target}).add(source)
    equivalents = {}
    for members in classes.values():
        for member in members:
            equivalents[member] = sorted(members - {member})
    return equivalents


def unicode_version(ucd):
    with open(ucd / DERIVED_CORE, encoding="utf-8") as handle:
        match = re.search(r"-(\d+\.\d+\.\d+)\.txt", handle.readline())
    if not match:
        raise GenerationError(f"cannot read the Unicode version from {ucd / DERIVED_CORE}")
    return match.group(1)


# ---------------------------------------------------------------- names


def loose_match(text):
    """Same rule as quarn::unicode::loose_match."""
    raw = text.encode("utf-8")
    dropped_is = len(raw) >= 2 and raw[:2].lower() == b"is"
    if dropped_is:
        raw = raw[2:]
    kept = bytearray()
    for byte in raw:
        if byte in b" _-" or byte > 0x7F:
            continue
        kept.append(byte + 32 if 0x41 <= byte <= 0x5A else byte)
    result = kept.decode("ascii")
    return "isc" if dropped_is and result == "c" else result


def index_names(entries, what):
    """Sorted (key, payload) pairs; every alias of an entry becomes a key."""
    keys = {}
    for names, payload in entries:
        for name in names:
            key = loose_match(name)
            if key in keys and keys[key] != payload:
                raise GenerationError(f"{what}: '{name}' collides with another name as '{key}'")
            keys[key] = payload
    return sorted(keys.items(), key=lambda item: item[0].encode("ascii"))


# ---------------------------------------------------------------- building


def identifier(prefix, name):
    return prefix + re.sub(r"[^A-Za-z0-9]", "_", name)


class Tables:
    def __init__(self, ucd):
        self.ucd = ucd
        self.sets = {}  # C++ array name -> ranges, in output order
        self.by_content = {}  # ranges -> the array holding them

    def add_set(self, name, ranges):
        if not ranges:
            raise GenerationError(f"set {name} is empty")
        if name in self.sets:
            raise GenerationError(f"two sets are named {name}")
        # Identical sets (most scripts and their extensions) share one array.
        shared = self.by_content.setdefault(tuple(ranges), name)
        if shared == name:
            self.sets[name] = ranges
        return shared

    def build(self):
        ucd = self.ucd
        categories, mirrored = read_unicode_data(ucd / UNICODE_DATA)
        proplist = read_property_file(ucd / PROPLIST)
        derived_core = read_property_file(ucd / DERIVED_CORE)
        emoji = read_property_file(ucd / EMOJI)
        scripts = read_property_file(ucd / "Scripts.txt")
        ages = read_property_file(ucd / "DerivedAge.txt")
        breaks = {
            "GCB": read_property_file(ucd / "auxiliary/GraphemeBreakProperty.txt"),
            "WB": read_property_file(ucd / "auxiliary/WordBreakProperty.txt"),
            "SB": read_property_file(ucd / "auxiliary/SentenceBreakProperty.txt"),
        }
        property_aliases = read_aliases(ucd / "PropertyAliases.txt")
        value_aliases = read_value_aliases(ucd / "PropertyValueAliases.txt")
        self.folding = read_case_folding(ucd / "CaseFolding.txt")
        self.version = unicode_version(ucd)

        # General categories.
        for name, members in GROUPED_CATEGORIES.items():
            categories[name] = union(*(categories[m] for m in members))
        categories.pop("Cs", None)
        gc_sets = {name: self.add_set(identifier("gc_", name), categories[name])
                   for name in sorted(categories)}
        specials = {
            "Any": self.add_set("gc_Any", [(0, MAX_CODE_POINT)]),
            "ASCII": self.add_set("gc_ASCII", [(0, 0x7F)]),
            "Assigned": self.add_set("gc_Assigned", complement(categories["Cn"])),
        }
        gc_entries = [(names, gc_sets.get(names[0])) for names in value_aliases["gc"]]
        gc_entries += [([name], array) for name, array in specials.items()]
        self.gc_values = index_names(gc_entries, "gc values")

        # Binary properties.
        sources = {PROPLIST: proplist, DERIVED_CORE: derived_core, EMOJI: emoji}
        binary_sets = {}
        for name, source in BINARY_PROPERTIES.items():
            ranges = mirrored if source == UNICODE_DATA else sources[source][name]
            binary_sets[name] = self.add_set(identifier("bp_", name), ranges)

        # Scripts and their extensions.
        script_names = {names[0]: names for names in value_aliases["sc"]}
        long_name = {short: names[1] for short, names in script_names.items()}
        extended = {}
        for fields in data_lines(ucd / "ScriptExtensions.txt"):
            cps = parse_code_points(fields[0])
            for short in fields[1].split():
                extended.setdefault(long_name[short], []).append(cps)
        all_extended = [r for ranges in extended.values() for r in ranges]
        script_entries = []
        for short, names in script_names.items():
            script = scripts.get(names[1])
            if script is None:
                script_entries.append((names, ("", "")))
                continue
            extensions = union(difference(script, all_extended), extended.get(names[1], []))
            script_entries.append((names, (self.add_set(identifier("sc_", names[1]), script),
                                           self.add_set(identifier("scx_", names[1]), extensions))))
        for name in extended:
            if name not in scripts:
                raise GenerationError(f"script {name} has extensions but no code points")
        self.script_values = index_names(script_entries, "script values")

        # Age: one set per version (newly assigned code points); lookups take the union.
        versions = sorted(ages, key=lambda v: tuple(int(part) for part in v.split(".")))
        version_index = {v: i for i, v in enumerate(versions)}
        self.age_sets = [self.add_set(identifier("age_", v), ages[v]) for v in versions]
        self.age_values = index_names(
            [(names, version_index.get(names[0], -1)) for names in value_aliases["age"]],
            "age values")
        for version in versions:
            if not any(names[0] == version for names in value_aliases["age"]):
                raise GenerationError(f"age {version} has no alias line")

        # Break properties.
        self.break_values = {}
        for short, values in breaks.items():
            entries = []
            for names in value_aliases[short]:
                ranges = values.get(names[1])
                array = self.add_set(identifier(short.lower() + "_", names[1]), ranges) \
                    if ranges else ""
                entries.append((names, array))
            known = {names[1] for names in value_aliases[short]}
            for value in values:
                if value not in known:
                    raise GenerationError(f"{short} value {value} has no alias line")
            self.break_values[short] = index_names(entries, f"{short} values")

        # Properties.
        property_entries = []
        for names in property_aliases:
            long = names[1]
            if long in binary_sets:
                payload = ("Binary", binary_sets[long])
            else:
                payload = (ENUMERATED_KINDS.get(long, "Other"), "")
            property_entries.append((names, payload))
        self.property_names = index_names(property_entries, "property names")
        found = {payload[1] for _, payload in self.property_names if payload[0] == "Binary"}
        if len(found) != len(BINARY_PROPERTIES):
            raise GenerationError("a supported binary property is missing from the alias file")

        # Perl classes and the sets the definition tokenizer needs.
        self.add_set("perl_word", union(derived_core["Alphabetic"], proplist["Join_Control"],
                                        *(categories[c] for c in ("Nd", "Mn", "Mc", "Me", "Pc"))))
        self.named_sets = {
            "kPerlWord": "perl_word",
            "kPerlDigit": gc_sets["Nd"],
            "kPerlSpace": binary_sets["White_Space"],
            "kXidStart": binary_sets["XID_Start"],
            "kXidContinue": binary_sets["XID_Continue"],
            "kAlphabetic": binary_sets["Alphabetic"],
            "kNumeric": gc_sets["N"],
            "kWhiteSpace": binary_sets["White_Space"],
        }


# ---------------------------------------------------------------- writing


def span_of(array):
    return f"RangeSet({array})" if array else "RangeSet()"


def render(tables):
    out = []
    emit = out.append
    emit("// Generated by `python3 tools/gen_unicode_tables.py` from the Unicode Character Database")
    emit(f"// {tables.version}. Do not edit: regenerate, and `--check` verifies it is current.")
    emit("// clang-format off")
    emit('#include "quarn/unicode/unicode_tables.hpp"')
    emit("")
    emit("namespace quarn::unicode::tables {")
    emit("namespace {")
    emit("")
    for name, ranges in tables.sets.items():
        emit(f"constexpr Range {name}[] = {{")
        cells = [f"{{0x{start:X},0x{end:X}}}," for start, end in ranges]
        for row in range(0, len(cells), 8):
            emit("    " + "".join(cells[row:row + 8]))
        emit("};")
    emit("")

    emit("constexpr PropertyName property_names[] = {")
    for key, (kind, array) in tables.property_names:
        emit(f'    {{"{key}", PropertyKind::{kind}, {span_of(array)}}},')
    emit("};")

    def value_table(name, entries):
        emit(f"constexpr NamedSet {name}[] = {{")
        for key, array in entries:
            emit(f'    {{"{key}", {span_of(array)}}},')
        emit("};")

    value_table("general_category_values", tables.gc_values)
    emit("constexpr ScriptName script_values[] = {")
    for key, (script, extensions) in tables.script_values:
        emit(f'    {{"{key}", {span_of(script)}, {span_of(extensions)}}},')
    emit("};")
    emit("constexpr AgeName age_values[] = {")
    for key, index in tables.age_values:
        emit(f'    {{"{key}", {index}}},')
    emit("};")
    emit("constexpr RangeSet age_versions[] = {")
    for array in tables.age_sets:
        emit(f"    RangeSet({array}),")
    emit("};")
    value_table("grapheme_cluster_break_values", tables.break_values["GCB"])
    value_table("word_break_values", tables.break_values["WB"])
    value_table("sentence_break_values", tables.break_values["SB"])
    emit("")

    code_points = sorted(tables.folding)
    members = []
    offsets = []
    for code_point in code_points:
        offsets.append(len(members))
        members.extend(tables.folding[code_point])
    offsets.append(len(members))
    if len(members) > 0xFFFF:
        raise GenerationError("fold_members outgrew the 16-bit offsets")

    def number_table(name, cell_type, numbers, per_row):
        emit(f"constexpr {cell_type} {name}[] = {{")
        cells = [f"0x{n:X}," for n in numbers]
        for row in range(0, len(cells), per_row):
            emit("    " + "".join(cells[row:row + per_row]))
        emit("};")

    number_table("fold_code_points", "char32_t", code_points, 12)
    number_table("fold_offsets", "std::uint16_t", offsets, 16)
    number_table("fold_members", "char32_t", members, 12)
    emit("")
    emit("}  // namespace")
    emit("")
    for public, array in tables.named_sets.items():
        emit(f"constinit const RangeSet {public}({array});")
    emit("constinit const std::span<const PropertyName> kPropertyNames(property_names);")
    emit("constinit const std::span<const NamedSet> kGeneralCategoryValues(general_category_values);")
    emit("constinit const std::span<const ScriptName> kScriptValues(script_values);")
    emit("constinit const std::span<const AgeName> kAgeValues(age_values);")
    emit("constinit const std::span<const RangeSet> kAgeVersions(age_versions);")
    emit("constinit const std::span<const NamedSet> kGraphemeClusterBreakValues("
         "grapheme_cluster_break_values);")
    emit("constinit const std::span<const NamedSet> kWordBreakValues(word_break_values);")
    emit("constinit const std::span<const NamedSet> kSentenceBreakValues(sentence_break_values);")
    emit("constinit const std::span<const char32_t> kFoldCodePoints(fold_code_points);")
    emit("constinit const std::span<const std::uint16_t> kFoldOffsets(fold_offsets);")
    emit("constinit const std::span<const char32_t> kFoldMembers(fold_members);")
    emit("")
    emit("}  // namespace quarn::unicode::tables")
    return "\n".join(out) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ucd", type=Path, default=DEFAULT_UCD,
                        help="directory of the Unicode Character Database (default %(default)s)")
    parser.add_argument("--check", action="store_true",
                        help="compare with the committed tables instead of writing them")
    args = parser.parse_args()

    if not (args.ucd / UNICODE_DATA).is_file():
        if args.check:
            print(f"Unicode tables check skipped: no Unicode Character Database in {args.ucd}")
            return 0
        print(f"error: no Unicode Character Database in {args.ucd}", file=sys.stderr)
        return 2
    try:
        tables = Tables(args.ucd)
        tables.build()
        text = render(tables)
    except GenerationError as error:
        print(f"error: {error}", file=sys.stderr)
        return 2

    if args.check:
        committed = OUTPUT.read_text(encoding="utf-8") if OUTPUT.is_file() else None
        if committed != text:
            print(f"{OUTPUT.relative_to(REPO)} is out of date with the database in {args.ucd}; "
                  f"run python3 tools/gen_unicode_tables.py", file=sys.stderr)
            return 1
        print(f"{OUTPUT.relative_to(REPO)} matches the database in {args.ucd}")
        return 0
    OUTPUT.write_text(text, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
