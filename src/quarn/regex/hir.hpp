// The high-level intermediate representation (HIR) of one regular expression:
// the tree the regex front end produces and the automaton construction walks.
// All flags are resolved; node kinds, construction rules and renderings follow
// the dialect reference (regex-dialect.md sections 14.1 to 14.4).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarn::regex {

// Inclusive range. For a Unicode class the bounds are scalar values; for a byte
// class they are byte values 0x00..0xFF.
struct ClassRange {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    friend bool operator==(const ClassRange&, const ClassRange&) = default;
};

// A character class in canonical form: ranges sorted, non-overlapping and
// non-adjacent. An empty byte class is the canonical never-matching class.
struct Class {
    bool is_bytes = false;
    std::vector<ClassRange> ranges;
    friend bool operator==(const Class&, const Class&) = default;
};

enum class LookKind : std::uint8_t {
    Start,
    End,
    StartLF,
    EndLF,
    StartCRLF,
    EndCRLF,
    WordAscii,
    WordAsciiNegate,
    WordUnicode,
    WordUnicodeNegate,
    WordStartAscii,
    WordEndAscii,
    WordStartUnicode,
    WordEndUnicode,
    WordStartHalfAscii,
    WordEndHalfAscii,
    WordStartHalfUnicode,
    WordEndHalfUnicode,
};

enum class HirKind : std::uint8_t {
    Empty,
    Literal,
    Class,
    Look,
    Repetition,
    Capture,
    Concat,
    Alternation,
};

// One HIR node. Only the fields of its kind are meaningful; the others keep
// their defaults so that the defaulted equality is structural equality.
struct Hir {
    HirKind kind = HirKind::Empty;
    std::string literal;              // Literal: UTF-8 bytes of one or more characters
    Class cls;                        // Class
    LookKind look = LookKind::Start;  // Look
    std::uint32_t min = 0;            // Repetition
    std::optional<std::uint32_t> max;
    bool greedy = true;
    std::uint32_t capture_index = 0;  // Capture (from 1)
    std::optional<std::string> capture_name;
    std::vector<Hir> subs;  // Repetition and Capture: one; Concat and Alternation: two or more

    friend bool operator==(const Hir&, const Hir&) = default;

    // Raw node constructors: they build exactly the node asked for. The
    // simplifying constructors of the dialect (literal runs merged, classes of
    // one character turned into literals, ...) live in the translator.
    static Hir empty() { return Hir{}; }
    static Hir make_literal(std::string bytes) {
        Hir h;
        h.kind = HirKind::Literal;
        h.literal = std::move(bytes);
        return h;
    }
    static Hir make_class(Class c) {
        Hir h;
        h.kind = HirKind::Class;
        h.cls = std::move(c);
        return h;
    }
    static Hir make_look(LookKind k) {
        Hir h;
        h.kind = HirKind::Look;
        h.look = k;
        return h;
    }
};

// Name of a look kind as the debug form shows it ("Start", "WordUnicode", ...).
const char* look_kind_name(LookKind kind);

// Structural debug rendering, e.g. `Look(Start)`, `Literal("abc")`,
// `Class({'a'..='z'})`, `Repetition(Repetition { min: 0, max: None, greedy: true, sub: ... })`.
std::string debug_string(const Hir& hir);

// The printed regex form of a node (a valid pattern), e.g. `a*?`, `(?:ab)`.
std::string print_regex(const Hir& hir);

}  // namespace quarn::regex
