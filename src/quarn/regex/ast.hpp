// Syntax tree of one pattern, kept in an arena: nodes refer to their children by
// index, so deep patterns are built, checked and freed without recursion.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "quarn/regex/parse.hpp"

namespace quarn::regex {

using AstId = std::uint32_t;

enum class AstKind : std::uint8_t {
    Empty,
    Flags,    // a flag directive such as `(?i)`
    Literal,  // one character
    Dot,
    Assertion,
    UnicodeClass,  // \p / \P
    PerlClass,     // \d \s \w and negations
    Bracketed,     // [...]; children: the set
    Repetition,    // children: the repeated node
    Group,         // children: the body
    Concat,        // two or more items
    Alternation,   // two or more branches
    SetRange,      // inside brackets; children: two Literal nodes
    SetAscii,      // [:name:]
    SetUnion,      // two or more items
    SetBinaryOp,   // children: left and right operand
};

enum class LiteralKind : std::uint8_t {
    Verbatim,
    Escaped,   // meta, superfluous or special escape
    HexByte,   // \xHH: a byte when Unicode mode is off
    HexOther,  // \uHHHH, \UHHHHHHHH and the braced forms: always a code point
};

enum class AssertionKind : std::uint8_t {
    StartLine,  // ^
    EndLine,    // $
    StartText,  // \A
    EndText,    // \z
    WordBoundary,
    NotWordBoundary,
    WordStart,
    WordEnd,
    WordStartHalf,
    WordEndHalf,
};

enum class PerlKind : std::uint8_t { Digit, Space, Word };

enum class AsciiKind : std::uint8_t {
    Alnum,
    Alpha,
    Ascii,
    Blank,
    Cntrl,
    Digit,
    Graph,
    Lower,
    Print,
    Punct,
    Space,
    Upper,
    Word,
    Xdigit,
};

enum class UnicodeClassForm : std::uint8_t { OneLetter, Named, NamedValue };

enum class SetOp : std::uint8_t { Intersection, Difference, SymmetricDifference };

// The flags named by one directive or group: `enable` and `disable` are masks
// of the Flag bits below.
struct FlagChanges {
    std::uint8_t enable = 0;
    std::uint8_t disable = 0;
};

enum Flag : std::uint8_t {
    kCaseInsensitive = 1,
    kMultiLine = 2,
    kDotMatchesNewLine = 4,
    kSwapGreed = 8,
    kUnicode = 16,
    kCrlf = 32,
    kIgnoreWhitespace = 64,
};

struct AstNode {
    AstKind kind = AstKind::Empty;
    Span span;
    bool negated = false;  // classes and ASCII classes; for \p the effective negation
    // Literal
    char32_t ch = 0;
    LiteralKind literal_kind = LiteralKind::Verbatim;
    // Assertion, PerlClass, SetAscii, UnicodeClass, SetBinaryOp
    AssertionKind assertion = AssertionKind::StartLine;
    PerlKind perl = PerlKind::Digit;
    AsciiKind ascii = AsciiKind::Alnum;
    UnicodeClassForm unicode_form = UnicodeClassForm::OneLetter;
    SetOp op = SetOp::Intersection;
    std::uint32_t name = 0;   // \p name or capture name: index into Ast::texts
    std::uint32_t value = 0;  // \p value: index into Ast::texts
    // Repetition
    std::uint32_t min = 0;
    std::optional<std::uint32_t> max;
    bool greedy = true;  // as written, before the swap flag
    // Group (capture_index 0: non-capturing) and Flags
    std::uint32_t capture_index = 0;
    bool has_name = false;
    FlagChanges flags;
    std::vector<AstId> children;
};

struct Ast {
    std::vector<AstNode> nodes;
    std::vector<std::string> texts;  // names and values, kept apart to keep nodes small
    AstId root = 0;

    std::uint32_t add_text(std::string text) {
        texts.push_back(std::move(text));
        return static_cast<std::uint32_t>(texts.size() - 1);
    }
    AstId add(AstNode node) {
        nodes.push_back(std::move(node));
        return static_cast<AstId>(nodes.size() - 1);
    }
    const AstNode& operator[](AstId id) const { return nodes[id]; }
    AstNode& operator[](AstId id) { return nodes[id]; }
};

// Thrown inside the front end and turned into a returned Error by `parse`.
struct ParseFailure {
    Error error;
};

// Builds an error for `pattern` at `span`.
Error make_error(ErrorKind kind, std::string_view pattern, Span span,
                 std::optional<Span> auxiliary = std::nullopt);

// Parses the pattern into a syntax tree (no nest check); throws ParseFailure.
Ast parse_ast(std::string_view pattern);

// Checks the depth of the tree against the nest limit; throws ParseFailure.
void check_nest_limit(const Ast& ast, std::string_view pattern, std::uint32_t limit);

// Translates the tree into HIR; throws ParseFailure.
Hir translate(const Ast& ast, std::string_view pattern);

}  // namespace quarn::regex
