// Front-end behaviour the conformance shapes cannot show: class contents,
// flag scoping, renderings, and robustness against hostile patterns.
#include "quarn/regex/parse.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quarn::regex {
namespace {

Hir ok(const std::string& pattern) {
    auto result = parse(pattern);
    if (!result.ok()) {
        ADD_FAILURE() << pattern << "\n" << result.error().display();
        return Hir::empty();
    }
    return std::move(result).value();
}

Error err(const std::string& pattern) {
    auto result = parse(pattern);
    if (result.ok()) {
        ADD_FAILURE() << pattern << " accepted as " << debug_string(result.value());
        return Error{ErrorKind::DecimalEmpty, pattern, {}, {}};
    }
    return result.error();
}

std::string utf8(std::uint32_t c) {
    Hir lit = ok("\\x{" + [&] {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%X", c);
        return std::string(buf);
    }() + "}");
    return lit.literal;
}

// Whether a one-character node (class or literal) matches c.
bool matches(const Hir& hir, std::uint32_t c) {
    if (hir.kind == HirKind::Literal)
        return hir.literal == utf8(c);
    if (hir.kind != HirKind::Class)
        return false;
    for (const ClassRange& r : hir.cls.ranges) {
        if (r.start <= c && c <= r.end)
            return true;
    }
    return false;
}

using Points = std::initializer_list<std::uint32_t>;

TEST(UnicodeClasses, PerlClassesHaveTheDocumentedMembers) {
    Hir s = ok("\\s");
    for (std::uint32_t c :
         Points{0x09, 0x0D, 0x20, 0x85, 0xA0, 0x1680, 0x2000, 0x200A, 0x2028, 0x3000}) {
        EXPECT_TRUE(matches(s, c)) << std::hex << c;
    }
    for (std::uint32_t c : Points{0x1C, 0x1F, 0x180E, 0x200B, 0xFEFF})
        EXPECT_FALSE(matches(s, c)) << c;

    Hir w = ok("\\w");
    for (std::uint32_t c : Points{'_', 'a', 0x200C, 0x200D, 0x0300, 0x203F, 0x216B}) {
        EXPECT_TRUE(matches(w, c)) << std::hex << c;
    }
    EXPECT_FALSE(matches(w, 0xB2));

    Hir d = ok("\\d");
    EXPECT_TRUE(matches(d, 0x660));
    EXPECT_TRUE(matches(d, 0xFF10));
    EXPECT_FALSE(matches(d, 0xB2));
    EXPECT_FALSE(matches(d, 0x2160));

    EXPECT_EQ(ok("(?i)\\w"), w);  // already closed under case folding
    Hir not_word = ok("\\W");
    EXPECT_FALSE(matches(not_word, 'a'));
    EXPECT_TRUE(matches(not_word, ' '));
}

TEST(UnicodeClasses, ScriptsExtensionsAgeAndNegatedValues) {
    // U+0342 is Inherited with Greek among its extensions (Unicode 15.0 data).
    EXPECT_FALSE(matches(ok("\\p{Greek}"), 0x342));
    EXPECT_TRUE(matches(ok("\\p{scx=Greek}"), 0x342));
    EXPECT_FALSE(matches(ok("\\p{Greek}"), 0x300));
    EXPECT_TRUE(matches(ok("\\p{scx=Hira}"), 0x3001));
    EXPECT_TRUE(matches(ok("\\p{scx=Hira}"), 0x30FC));
    EXPECT_FALSE(matches(ok("\\p{Hira}"), 0x3001));
    EXPECT_EQ(ok("\\p{Is_G r-e_ek}"), ok("\\p{Greek}"));
    EXPECT_EQ(ok("\\p{sc:Greek}"), ok("\\p{sc=Greek}"));

    Hir age = ok("\\p{age=6.0}");
    EXPECT_TRUE(matches(age, 'a'));      // 1.1: cumulative
    EXPECT_TRUE(matches(age, 0x20B9));   // 6.0
    EXPECT_FALSE(matches(age, 0x20BA));  // 6.2

    Hir not_zs = ok("\\p{gc!=Zs}");
    EXPECT_FALSE(matches(not_zs, ' '));
    EXPECT_TRUE(matches(not_zs, 'a'));
    EXPECT_EQ(ok("\\P{scx!=Hira}"), ok("\\p{scx=Hira}"));
    EXPECT_EQ(ok("\\P{gc!=Zs}"), ok("\\p{Zs}"));

    EXPECT_EQ(ok("\\P{Any}"), Hir::make_class(Class{true, {}}));
    EXPECT_EQ(ok("\\p{Zl}"), Hir::make_literal("\u2028"));
}

TEST(UnicodeClasses, ComplementsStepOverTheSurrogateGap) {
    EXPECT_EQ(ok("[^\\x00-\\x{D7FF}\\x{E000}-\\x{10FFFF}]"), Hir::make_class(Class{true, {}}));
    Hir around = ok("[^\\x{D7FF}\\x{E000}]");
    EXPECT_FALSE(matches(around, 0xD7FF));
    EXPECT_FALSE(matches(around, 0xE000));
    EXPECT_TRUE(matches(around, 0xE001));
    EXPECT_EQ(ok("[\\x{D7FF}-\\x{E000}]").cls.ranges, (std::vector<ClassRange>{{0xD7FF, 0xE000}}));
}

TEST(CaseFolding, FoldsBeforeNegationAndSetOperations) {
    Hir k = ok("(?i)k");
    for (std::uint32_t c : Points{'K', 'k', 0x212A})
        EXPECT_TRUE(matches(k, c));
    Hir not_k = ok("(?i)[^k]");
    for (std::uint32_t c : Points{'K', 'k', 0x212A})
        EXPECT_FALSE(matches(not_k, c));
    EXPECT_TRUE(matches(not_k, 'j'));

    Hir not_upper = ok("(?i)\\P{Lu}");
    EXPECT_FALSE(matches(not_upper, 'a'));
    EXPECT_FALSE(matches(not_upper, 'A'));
    EXPECT_TRUE(matches(not_upper, '1'));

    Hir both = ok("(?i)[A-Z&&a-z]");
    for (std::uint32_t c : Points{'A', 'z', 0x17F, 0x212A})
        EXPECT_TRUE(matches(both, c));

    Hir upper = ok("(?i)[[:upper:]]");
    EXPECT_TRUE(matches(upper, 0x17F));
    EXPECT_TRUE(matches(upper, 'q'));

    EXPECT_EQ(ok("(?i)\u0130"), Hir::make_literal("\u0130"));
    EXPECT_EQ(ok("(?i-u)k"), Hir::make_class(Class{true, {{'K', 'K'}, {'k', 'k'}}}));
    EXPECT_EQ(ok("(?i-u)\u00e9"), Hir::make_literal("\u00e9"));
}

TEST(Flags, DirectivesLastToTheEndOfTheirGroupAcrossBranches) {
    EXPECT_EQ(ok("a(?i)b|c"), ok("a(?i:b)|(?i:c)"));
    EXPECT_EQ(ok("(?i:a)b|c"), ok("(?i:a)b|c"));
    EXPECT_NE(ok("(?i:a)b|c"), ok("(?i:a)(?i:b)|(?i:c)"));
    EXPECT_EQ(ok("(?:(?i)a)b"), ok("(?i:a)b"));
    EXPECT_EQ(ok("(?m)(?-m)^"), Hir::make_look(LookKind::Start));
    EXPECT_EQ(ok("(?U)a*?").greedy, true);
    EXPECT_EQ(ok("(?U:a*)").greedy, false);
    EXPECT_EQ(ok("(?x)a(?-x) b"), Hir::make_literal("a b"));
    EXPECT_EQ(ok("a(?x) b (?-x) c"), Hir::make_literal("ab c"));
    EXPECT_EQ(ok("(?x: a b ) c"), Hir::make_literal("ab c"));
    EXPECT_EQ(ok("(?x)a#comment\nb"), Hir::make_literal("ab"));
    EXPECT_EQ(ok("(?s).").cls.ranges, (std::vector<ClassRange>{{0, 0x10FFFF}}));
    EXPECT_EQ(ok("(?Rs).").cls.ranges, (std::vector<ClassRange>{{0, 0x10FFFF}}));
}

TEST(Structure, LiteralRunsAndSimplifications) {
    EXPECT_EQ(ok("a(?:b)c"), Hir::make_literal("abc"));
    EXPECT_EQ(ok("ab(?i:)c"), Hir::make_literal("abc"));
    EXPECT_EQ(ok(""), Hir::empty());
    EXPECT_EQ(ok("(?i)"), Hir::empty());
    EXPECT_EQ(ok("a|(?:b|c)").kind, HirKind::Alternation);
    EXPECT_EQ(ok("a{1}"), Hir::make_literal("a"));
    EXPECT_EQ(ok("\\b+"), Hir::make_look(LookKind::WordUnicode));
    Hir never = ok("[a&&b]*");
    EXPECT_EQ(never.kind, HirKind::Repetition);
    EXPECT_FALSE(never.max.has_value());
    // A class that never matches is a never-matching alternation branch, not empty.
    EXPECT_EQ(ok("(?:[a&&b]|\\b)*").max, std::nullopt);
    EXPECT_EQ(ok("(?:\\b|^)*").max, 1u);
}

TEST(Errors, DebugFormIsStructural) {
    EXPECT_EQ(err("(a").debug(),
              "Parse(Error { kind: GroupUnclosed, pattern: \"(a\", span: Span(Position(o: 0, l: "
              "1, c: 1), Position(o: 1, l: 1, c: 2)) })");
    EXPECT_EQ(err("(?ii)").debug(),
              "Parse(Error { kind: FlagDuplicate { original: Span(Position(o: 2, l: 1, c: 3), "
              "Position(o: 3, l: 1, c: 4)) }, pattern: \"(?ii)\", span: Span(Position(o: 3, l: "
              "1, c: 4), Position(o: 4, l: 1, c: 5)) })");
    EXPECT_EQ(err("(?-u:.)\n\"").debug(),
              "Translate(Error { kind: InvalidUtf8, pattern: \"(?-u:.)\\n\\\"\", span: "
              "Span(Position(o: 5, l: 1, c: 6), Position(o: 6, l: 1, c: 7)) })");
    EXPECT_EQ(err(std::string(251, '[') + "a" + std::string(251, ']')).debug().substr(0, 45),
              "Parse(Error { kind: NestLimitExceeded(250), p");
    EXPECT_EQ(err("\\p{Foo}").message(), "Unicode property not found");
    EXPECT_STREQ(err("a{2,1}").kind_name(), "RepetitionCountInvalid");
}

TEST(Errors, ParseErrorsBeatTranslationErrorsAndFirstWins) {
    EXPECT_EQ(err("(?-u:\\xFF)(").kind, ErrorKind::GroupUnclosed);
    EXPECT_EQ(err("\\p{Foo}a{2,1}").kind, ErrorKind::RepetitionCountInvalid);
    EXPECT_EQ(err("(?-u:\\xFF)\\p{Foo}").kind, ErrorKind::InvalidUtf8);
    EXPECT_EQ(err("(?-u:[\\x00-\\x7F&&[^a]])").span.start.offset, 17u);
}

TEST(Errors, MultiLineRendering) {
    EXPECT_EQ(err("a\n(b\nc").display(), "regex parse error:\n" + std::string(79, '~') +
                                             "\n1: a\n2: (b\n   ^\n3: c\n" + std::string(79, '~') +
                                             "\nerror: unclosed group");
    std::string lines;
    for (int i = 0; i < 9; ++i)
        lines += "a\n";
    EXPECT_EQ(
        err(lines + ")").display(),
        "regex parse error:\n" + std::string(79, '~') +
            "\n 1: a\n 2: a\n 3: a\n 4: a\n 5: a\n 6: a\n 7: a\n 8: a\n 9: a\n10: )\n    ^\n" +
            std::string(79, '~') + "\nerror: unopened group");
}

TEST(Rendering, DebugStrings) {
    EXPECT_EQ(debug_string(ok("^")), "Look(Start)");
    EXPECT_EQ(debug_string(ok("a\"b\t")), "Literal(\"a\\\"b\\t\")");
    EXPECT_EQ(debug_string(ok("[a-z]")), "Class({'a'..='z'})");
    EXPECT_EQ(debug_string(ok("(?-u:[a-z ])")), "Class({' '..=' ', a..=z})");
    EXPECT_EQ(debug_string(ok("[a&&b]")), "Class({})");
    EXPECT_EQ(debug_string(ok("(?<n>x)*?")),
              "Repetition(Repetition { min: 0, max: None, greedy: false, sub: Capture(Capture { "
              "index: 1, name: Some(\"n\"), sub: Literal(\"x\") }) })");
    EXPECT_EQ(debug_string(ok("(x)|y\\b")),
              "Alternation([Capture(Capture { index: 1, name: None, sub: Literal(\"x\") }), "
              "Concat([Literal(\"y\"), Look(WordUnicode)])])");
    // Quotes, invisible characters and combining marks are escaped.
    EXPECT_EQ(debug_string(ok("'\"\u00a0\u200b\u0300\u00e9")),
              "Literal(\"\\'\\\"\\u{a0}\\u{200b}\\u{300}\u00e9\")");
    EXPECT_EQ(debug_string(ok("[\u0300-\u0302']")),
              "Class({'\\''..='\\'', '\\u{300}'..='\\u{302}'})");
    EXPECT_EQ(err("\u2028(").debug().substr(0, 59),
              "Parse(Error { kind: GroupUnclosed, pattern: \"\\u{2028}(\", sp");
    EXPECT_EQ(debug_string(ok("x{2,5}")),
              "Repetition(Repetition { min: 2, max: Some(5), greedy: true, sub: Literal(\"x\") "
              "})");
}

TEST(Rendering, PrintedForms) {
    const std::pair<const char*, const char*> cases[] = {
        {"a*?", "a*?"},
        {"(ab)+?", "((?:ab))+?"},
        {"(?P<x>ab)??", "(?P<x>(?:ab))??"},
        {"a{3}?", "a{3}"},
        {"a{3,}?", "a{3,}?"},
        {"a{3,5}?", "a{3,5}?"},
        {"(?:)*?", "(?:)??"},
        {"(?i)k*?", "[Kk\u212A]*?"},
        {"(?-u:[\\x00-\\x08 \\t])*?", "(?-u:[\\x00-\\x09\\x20])*?"},
        {"[a&&b]*?", "[a&&b]*?"},
        {"(?m)^$", "(?:(?m:^)(?m:$))"},
        {"a|b\\z", "(?:a|(?:b\\z))"},
        {"[.-]", "[\\-\\.]"},
    };
    for (const auto& [pattern, printed] : cases) {
        EXPECT_EQ(print_regex(ok(pattern)), printed) << pattern;
    }
}

TEST(Robustness, DeepNestingNeverOverflowsTheStack) {
    const std::size_t n = 100000;
    EXPECT_EQ(err(std::string(n, '(')).kind, ErrorKind::GroupUnclosed);
    EXPECT_EQ(err(std::string(n, '(') + "a" + std::string(n, ')')).kind,
              ErrorKind::NestLimitExceeded);
    EXPECT_EQ(err(std::string(n, '[')).kind, ErrorKind::ClassUnclosed);
    EXPECT_EQ(err(std::string(n, '[') + "a" + std::string(n, ']')).kind,
              ErrorKind::NestLimitExceeded);
    std::string stars(n + 1, '*');
    stars[0] = 'a';
    EXPECT_EQ(err(stars).kind, ErrorKind::NestLimitExceeded);
    EXPECT_EQ(err(std::string(n, ')')).kind, ErrorKind::GroupUnopened);
    std::string ops = std::string(n, '&').replace(0, 2, "[a") + "]";
    EXPECT_EQ(err(ops).kind, ErrorKind::NestLimitExceeded);
}

TEST(Robustness, DeepestAcceptedTreeCopiesComparesAndFrees) {
    Hir deep = ok(std::string(250, '(') + "a" + std::string(250, ')'));
    Hir copy = deep;
    EXPECT_EQ(copy, deep);
    std::string stars(251, '*');
    stars[0] = 'a';
    EXPECT_EQ(ok(stars).kind, HirKind::Repetition);
    EXPECT_EQ(err(std::string(251, '(') + "a" + std::string(251, ')')).span.start.offset, 250u);
}

TEST(Robustness, LargeAndMalformedInputs) {
    EXPECT_EQ(ok(std::string(1 << 20, 'a')).literal.size(), 1u << 20);
    Hir nested = ok("(?:\\p{L}{1000}){1000}");
    EXPECT_EQ(nested.subs[0].min, 1000u);
    EXPECT_EQ(ok("a{4294967295}").min, 4294967295u);
    // Bytes that are not UTF-8 read as U+FFFD, one per byte.
    EXPECT_EQ(ok(std::string("a\xFF\xC3")), Hir::make_literal("a\uFFFD\uFFFD"));
    EXPECT_EQ(err(std::string("\\\xFF")).kind, ErrorKind::EscapeUnrecognized);
}

}  // namespace
}  // namespace quarn::regex
