#include "quarn/generate/nfa.hpp"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

#include "quarn/base/errors.hpp"
#include "quarn/generate/dfa.hpp"

namespace quarn::generate {
namespace {

using regex::Hir;

Hir literal(std::string bytes) {
    return Hir::make_literal(std::move(bytes));
}
Hir unicode_class(std::vector<CharInterval> ranges) {
    return Hir::make_class(regex::Class{false, std::move(ranges)});
}
Hir node(regex::HirKind kind, std::vector<Hir> subs) {
    Hir h;
    h.kind = kind;
    h.subs = std::move(subs);
    return h;
}
Hir concat(std::vector<Hir> subs) {
    return node(regex::HirKind::Concat, std::move(subs));
}
Hir alternation(std::vector<Hir> subs) {
    return node(regex::HirKind::Alternation, std::move(subs));
}
Hir capture(Hir sub) {
    Hir h = node(regex::HirKind::Capture, {std::move(sub)});
    h.capture_index = 1;
    return h;
}
Hir repetition(Hir sub, std::uint32_t min, std::optional<std::uint32_t> max, bool greedy = true) {
    Hir h = node(regex::HirKind::Repetition, {std::move(sub)});
    h.min = min;
    h.max = max;
    h.greedy = greedy;
    return h;
}

Nfa from_hir(const Hir& hir) {
    auto result = Nfa::try_from_hir(hir);
    if (!result)
        throw std::runtime_error(result.error().display());
    return std::move(result).value();
}

Nfa from_patterns(std::vector<Pattern> patterns) {
    auto result = Nfa::build_from_patterns(patterns);
    if (!result)
        throw std::runtime_error(result.error().display());
    return std::move(result).value();
}

// Compact shape: "0:a>1 1:>2 2:" then start and end; a label prints as the
// literal, "[lo-hi...]" for a class, "#g" for an interval group; epsilon as "".
std::string shape(const Nfa& nfa) {
    std::string out;
    for (const auto& state : nfa.states) {
        if (!out.empty())
            out += ' ';
        out += std::to_string(state.id.value()) + ':';
        bool first = true;
        for (const auto& transition : state.transitions) {
            if (!first)
                out += ',';
            first = false;
            if (transition.character_class) {
                const auto& label = *transition.character_class;
                if (label.is_range()) {
                    out += '#' + std::to_string(label.class_id().value());
                } else if (label.hir().kind == regex::HirKind::Literal) {
                    out += label.hir().literal;
                } else {
                    out += '[';
                    for (const auto& r : label.hir().cls.ranges) {
                        out += static_cast<char>(r.start);
                        out += '-';
                        out += static_cast<char>(r.end);
                    }
                    out += ']';
                }
            }
            out += '>' + std::to_string(transition.target.value());
        }
    }
    return out + " start=" + std::to_string(nfa.start_state.value()) +
           " end=" + std::to_string(nfa.end_state.value());
}

bool label_matches(const Hir& label, char32_t c) {
    if (label.kind == regex::HirKind::Literal)
        return literal_to_char(label.literal) == c;
    for (const auto& range : label.cls.ranges) {
        if (range.start <= c && c <= range.end)
            return true;
    }
    return false;
}

// Whether the fragment (its end state is the final state) matches all of `text`.
bool matches(const Nfa& nfa, std::u32string_view text) {
    std::set<NfaStateID> current;
    for (auto s : nfa.epsilon_closure(nfa.start_state))
        current.insert(s);
    for (char32_t c : text) {
        std::set<NfaStateID> next;
        for (auto s : current) {
            for (const auto& transition : nfa.states[s.as_usize()].transitions) {
                if (transition.character_class &&
                    label_matches(transition.character_class->hir(), c)) {
                    for (auto t : nfa.epsilon_closure(transition.target))
                        next.insert(t);
                }
            }
        }
        current = std::move(next);
    }
    return current.count(nfa.end_state) > 0;
}

std::vector<NfaStateID> state_ids(std::initializer_list<std::uint32_t> values) {
    std::vector<NfaStateID> result;
    for (auto v : values)
        result.emplace_back(v);
    return result;
}

template <class F>
std::string internal_error_of(F&& action) {
    try {
        action();
    } catch (const base::InternalError& error) {
        return error.what();
    }
    return "(no error)";
}

// ---- Thompson construction ----

TEST(NfaConstruction, WorkedNumberings) {
    EXPECT_EQ(shape(from_hir(Hir::empty())), "0: start=0 end=0");
    EXPECT_EQ(shape(from_hir(literal("abc"))), "0:a>1 1:b>2 2:c>3 3: start=0 end=3");
    EXPECT_EQ(shape(from_hir(unicode_class({{'a', 'z'}}))), "0:[a-z]>1 1: start=0 end=1");
    EXPECT_EQ(from_hir(capture(literal("a"))), from_hir(literal("a")));

    EXPECT_EQ(shape(from_hir(alternation({literal("ab"), literal("c")}))),
              "0:a>1 1:b>2 2:>6 3:c>4 4:>6 5:>0,>3 6: start=5 end=6");
    EXPECT_EQ(shape(from_hir(alternation({literal("ab"), literal("cd"), literal("ef")}))),
              "0:a>1 1:b>2 2:>7 3:c>4 4:d>5 5:>7 6:>0,>3 7:>12 8:e>9 9:f>10 10:>12 "
              "11:>6,>8 12: start=11 end=12");
    EXPECT_EQ(shape(from_hir(repetition(literal("a"), 1, std::nullopt))),
              "0:a>1 1:>4 2:a>3 3:>5,>2 4:>2,>3 5: start=0 end=5");
    EXPECT_EQ(shape(from_hir(repetition(literal("a"), 0, 1))), "0:a>1 1: 2:>0,>1 start=2 end=1");
    EXPECT_EQ(shape(from_hir(repetition(literal("a"), 2, 2))), "0:a>1 1:>2 2:a>3 3: start=0 end=3");
    EXPECT_EQ(shape(from_hir(repetition(literal("a"), 0, std::nullopt))),
              "0:a>1 1:>3,>0 2:>0,>1 3: start=2 end=3");
    EXPECT_EQ(shape(from_hir(repetition(literal("a"), 0, 0))), "0: start=0 end=0");
}

TEST(NfaConstruction, RepetitionsMatchTheirCounts) {
    const Nfa two_to_four = from_hir(repetition(literal("x"), 2, 4));
    for (std::size_t n = 0; n <= 6; ++n) {
        EXPECT_EQ(matches(two_to_four, std::u32string(n, U'x')), n >= 2 && n <= 4) << n;
    }
    const Nfa at_least_two = from_hir(repetition(literal("ab"), 2, std::nullopt));
    EXPECT_FALSE(matches(at_least_two, U"ab"));
    EXPECT_TRUE(matches(at_least_two, U"ababab"));
    EXPECT_FALSE(matches(at_least_two, U"ababa"));
}

TEST(NfaConstruction, LeadingEmptyAlternativeStaysAnAlternative) {
    // (|a)b matches "b" and "ab".
    const Nfa optional_a =
        from_hir(concat({capture(alternation({Hir::empty(), literal("a")})), literal("b")}));
    EXPECT_TRUE(matches(optional_a, U"b"));
    EXPECT_TRUE(matches(optional_a, U"ab"));
    EXPECT_FALSE(matches(optional_a, U"a"));

    // x\d|x\d\s arrives factored as x\d(?:|\s); "x1" must still match.
    const Hir digit = unicode_class({{'0', '9'}});
    const Hir space = unicode_class({{' ', ' '}});
    const Nfa factored =
        from_hir(concat({literal("x"), digit, alternation({Hir::empty(), space})}));
    EXPECT_TRUE(matches(factored, U"x1"));
    EXPECT_TRUE(matches(factored, U"x1 "));

    // The joined shape: the empty branch is state 0.
    EXPECT_EQ(shape(from_hir(alternation({Hir::empty(), literal("a")}))),
              "0:>4 1:a>2 2:>4 3:>0,>1 4: start=3 end=4");
    EXPECT_TRUE(matches(from_hir(alternation({literal("a"), Hir::empty()})), U""));
}

TEST(NfaConstruction, ElementaryOperations) {
    Nfa nfa;
    EXPECT_TRUE(nfa.is_empty());
    EXPECT_EQ(internal_error_of([&] { nfa.add_epsilon_transition(NfaStateID(1), NfaStateID(0)); }),
              "State 1 does not exist in the NFA.");
    EXPECT_EQ(
        internal_error_of([&] { nfa.add_transition(NfaStateID(5), literal("a"), NfaStateID(0)); }),
        "State 5 does not exist in the NFA.");
    const NfaStateID second = nfa.new_state();
    EXPECT_EQ(second, NfaStateID(1));
    EXPECT_FALSE(nfa.is_empty());

    Nfa looped;
    looped.add_epsilon_transition(NfaStateID(0), NfaStateID(0));
    EXPECT_FALSE(looped.is_empty());

    // Concatenating onto an empty NFA keeps the receiver's text.
    Nfa named;
    named.set_pattern("p");
    named.concat(from_hir(literal("a")));
    EXPECT_EQ(named.pattern, "p");
    EXPECT_EQ(shape(named), "0:a>1 1: start=0 end=1");
}

TEST(NfaConstruction, UnsupportedFeaturesAreRefused) {
    auto look =
        Nfa::try_from_hir(concat({literal("a"), Hir::make_look(regex::LookKind::WordUnicode)}));
    ASSERT_FALSE(look);
    EXPECT_EQ(look.error().display(),
              "The regex feature 'WordUnicode Look(WordUnicode)' is not supported.");
    EXPECT_EQ(look.error().debug(), "UnsupportedFeatureError(\"WordUnicode Look(WordUnicode)\")");

    // Every look-around kind, wherever it sits, with the first word of its message.
    const char* const look_words[] = {"StartLine",
                                      "EndLine",
                                      "StartLF",
                                      "EndLF",
                                      "StartCRLF",
                                      "EndCRLF",
                                      "WordAscii",
                                      "WordAsciiNegate",
                                      "WordUnicode",
                                      "WordUnicodeNegate",
                                      "WordStartAscii",
                                      "WordEndAscii",
                                      "WordStartUnicode",
                                      "WordEndUnicode",
                                      "WordStartHalfAscii",
                                      "WordEndHalfAscii",
                                      "WordStartHalfUnicode",
                                      "WordEndHalfUnicode"};
    for (int k = 0; k < 18; ++k) {
        const auto kind = static_cast<regex::LookKind>(k);
        const Hir nested =
            alternation({literal("x"),
                         repetition(capture(concat({literal("a"), Hir::make_look(kind)})), 1, 3)});
        auto result = Nfa::try_from_hir(nested);
        ASSERT_FALSE(result);
        EXPECT_EQ(std::get<UnsupportedFeatureError>(result.error().error()).message,
                  std::string(look_words[k]) + " Look(" + regex::look_kind_name(kind) + ")");
    }

    const std::pair<const char*, const char*> refused[] = {
        {"^a", "StartLine Look(Start)"},
        {"a$", "EndLine Look(End)"},
        {"\\ba", "WordUnicode Look(WordUnicode)"},
        {"(?m)x(a|(b^))", "StartLF Look(StartLF)"},
        {"(?-u:\\B)", "WordAsciiNegate Look(WordAsciiNegate)"},
        {"a*?", "a*?: Non-greedy repetitions. Consider using different scanner modes instead."},
        {"a+?", "a+?: Non-greedy repetitions. Consider using different scanner modes instead."},
        {"a??", "a??: Non-greedy repetitions. Consider using different scanner modes instead."},
        {"a{2,3}?",
         "a{2,3}?: Non-greedy repetitions. Consider using different scanner modes instead."},
    };
    for (const auto& [text, message] : refused) {
        auto result = Nfa::build(Pattern(text, TokenTypeID(1)));
        ASSERT_FALSE(result) << text;
        EXPECT_EQ(result.error().display(),
                  std::string("The regex feature '") + message + "' is not supported.");
    }

    auto invalid = Nfa::try_from_hir(literal("a\xFF"));
    ASSERT_FALSE(invalid);
    EXPECT_EQ(invalid.error().display(), "invalid utf-8 sequence of 1 bytes from index 1");
}

TEST(NfaConstruction, BuildParsesAndAttachesThePattern) {
    const Pattern pattern("(?i)a", TokenTypeID(4));
    auto built = Nfa::build(pattern);
    ASSERT_TRUE(built);
    const Nfa& nfa = built.value();
    EXPECT_EQ(nfa.pattern, "(?i)a");
    EXPECT_EQ(shape(nfa), "0:[A-Aa-a]>1 1: start=0 end=1");
    ASSERT_TRUE(nfa.states[1].accept_data);
    EXPECT_EQ(*nfa.states[1].accept_data, pattern.accept(0));
    EXPECT_FALSE(nfa.states[0].accept_data);

    auto empty = Nfa::build(Pattern("", TokenTypeID(1)));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->states[0].accept_data);

    auto unparsable = Nfa::build(Pattern("(ab", TokenTypeID(1)));
    ASSERT_FALSE(unparsable);
    ASSERT_TRUE(std::holds_alternative<regex::Error>(unparsable.error().error()));
    EXPECT_EQ(unparsable.error().display(),
              std::get<regex::Error>(unparsable.error().error()).display());
}

TEST(NfaConstruction, SizeLimitIsCheckedBeforeExpanding) {
    auto huge = Nfa::build_from_patterns(
        {Pattern("a", TokenTypeID(1)), Pattern("((a{1000}){1000}){1000}", TokenTypeID(2))});
    ASSERT_FALSE(huge);
    ASSERT_TRUE(std::holds_alternative<NfaTooLargeError>(huge.error().error()));
    EXPECT_EQ(
        huge.error().display(),
        "The regex is too large: its NFA would need 2000000004 states, more than the limit of "
        "2000000.");

    // The mode NFA as a whole is limited too.
    auto mode = Nfa::build_from_patterns(
        {Pattern("a{3}", TokenTypeID(1)), Pattern("b{999999}", TokenTypeID(2))});
    ASSERT_FALSE(mode);
    EXPECT_EQ(std::get<NfaTooLargeError>(mode.error().error()).states, 6u + 1'999'998 + 2);

    auto just_over = Nfa::try_from_hir(repetition(literal("a"), 1'000'000, 1'000'001));
    ASSERT_FALSE(just_over);
    EXPECT_EQ(std::get<NfaTooLargeError>(just_over.error().error()).states, 2'000'003u);
    auto counts_saturate = Nfa::try_from_hir(repetition(
        repetition(repetition(literal("ab"), 4294967295u, std::nullopt), 4294967295u, std::nullopt),
        4294967295u, std::nullopt));
    ASSERT_FALSE(counts_saturate);
}

// Random HIR trees for comparing the predicted size with the built NFA.
class HirGenerator {
  public:
    explicit HirGenerator(std::uint32_t seed) : random_(seed) {}

    Hir next(int depth) {
        const std::uint32_t kind = pick(0, depth <= 0 ? 2 : 7);
        switch (kind) {
            case 0:
                return Hir::empty();
            case 1:
                return literal(std::string(pick(1, 3), 'a') + (pick(0, 1) ? "\xC3\xA9" : ""));
            case 2:
                return unicode_class({{'a', static_cast<std::uint32_t>('a' + pick(1, 5))}});
            case 3: {
                const std::uint32_t min = pick(0, 3);
                std::optional<std::uint32_t> max;
                if (pick(0, 2) != 0)
                    max = min + pick(0, 2);
                return repetition(next(depth - 1), min, max);
            }
            case 4:
                return capture(next(depth - 1));
            case 5:
            case 6:
                return concat(subs(depth));
            default:
                return alternation(subs(depth));
        }
    }

  private:
    std::vector<Hir> subs(int depth) {
        std::vector<Hir> result;
        const std::uint32_t count = pick(2, 3);
        for (std::uint32_t i = 0; i < count; ++i)
            result.push_back(next(depth - 1));
        return result;
    }

    std::uint32_t pick(std::uint32_t lo, std::uint32_t hi) {
        return std::uniform_int_distribution<std::uint32_t>(lo, hi)(random_);
    }

    std::mt19937 random_;
};

TEST(NfaConstruction, PredictedSizeIsTheBuiltSize) {
    HirGenerator generator(7);
    for (int round = 0; round < 2000; ++round) {
        const Hir hir = generator.next(4);
        ASSERT_EQ(from_hir(hir).states.size(), nfa_state_count(hir)) << regex::debug_string(hir);
    }
}

// ---- Mode NFAs ----

TEST(ModeNfa, PatternsAreJoinedAndPrioritized) {
    const Nfa single = from_patterns({Pattern("a", TokenTypeID(7))});
    EXPECT_EQ(shape(single), "0:a>1 1: start=0 end=1");
    EXPECT_EQ(single.pattern, "");
    EXPECT_EQ(single.states[1].accept_data->priority, 0u);

    const Nfa two = from_patterns({Pattern("a", TokenTypeID(1)), Pattern("b", TokenTypeID(2))});
    EXPECT_EQ(shape(two), "0:a>1 1:>5 2:b>3 3:>5 4:>0,>2 5: start=4 end=5");
    EXPECT_EQ(two.states[1].accept_data->priority, 0u);
    EXPECT_EQ(two.states[3].accept_data->priority, 1u);
    EXPECT_EQ(two.states[3].accept_data->token_type, TokenTypeID(2));
    EXPECT_FALSE(two.states[5].accept_data);
    EXPECT_EQ(two.epsilon_closure(NfaStateID(4)), state_ids({0, 2, 4}));
    EXPECT_EQ(two.epsilon_closure(NfaStateID(0)), state_ids({0}));

    // 3, 2 and 4 states: P0 0-2, P1 3-4, join 5/6, P2 7-10, join 11/12.
    const Nfa three = from_patterns({Pattern("ab", TokenTypeID(1)), Pattern("c", TokenTypeID(1)),
                                     Pattern("def", TokenTypeID(1))});
    EXPECT_EQ(shape(three),
              "0:a>1 1:b>2 2:>6 3:c>4 4:>6 5:>0,>3 6:>12 7:d>8 8:e>9 9:f>10 10:>12 11:>5,>7 12: "
              "start=11 end=12");
    EXPECT_EQ(three.states[10].accept_data->priority, 2u);

    EXPECT_EQ(from_patterns({}), Nfa());
}

TEST(ModeNfa, FirstErrorIsReportedAndEmptyFirstPatternKeepsItsAcceptData) {
    auto failed =
        Nfa::build_from_patterns({Pattern("a", TokenTypeID(1)), Pattern("b$", TokenTypeID(2)),
                                  Pattern("(", TokenTypeID(3))});
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().display(), "The regex feature 'EndLine Look(End)' is not supported.");

    const Nfa joined = from_patterns({Pattern("", TokenTypeID(1)), Pattern("a", TokenTypeID(2))});
    EXPECT_EQ(shape(joined), "0:>4 1:a>2 2:>4 3:>0,>1 4: start=3 end=4");
    ASSERT_TRUE(joined.states[0].accept_data);
    EXPECT_EQ(joined.states[0].accept_data->token_type, TokenTypeID(1));
}

TEST(ModeNfa, EpsilonClosureIsSortedWhateverTheDiscoveryOrder) {
    const Nfa plus = from_hir(repetition(literal("a"), 1, std::nullopt));
    EXPECT_EQ(plus.epsilon_closure(NfaStateID(1)), state_ids({1, 2, 3, 4, 5}));
    EXPECT_EQ(internal_error_of([&] { (void)plus.epsilon_closure(NfaStateID(9)); }),
              "State not found: NfaStateID(9)");
    EXPECT_EQ(plus.find_state(NfaStateID(5))->id, NfaStateID(5));
    EXPECT_EQ(plus.find_state(NfaStateID(6)), nullptr);
}

Nfa with_range_transitions(std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs) {
    Nfa nfa;
    while (nfa.states.size() < 8)
        nfa.new_state();
    auto ranges = std::make_shared<const std::vector<CharInterval>>();
    for (const auto& [group, target] : pairs) {
        nfa.add_transition(NfaStateID(0),
                           CharacterClassType::range(ranges, DisjointCharClassID(group)),
                           NfaStateID(target));
        nfa.add_epsilon_transition(NfaStateID(0), NfaStateID(2));
    }
    return nfa;
}

TEST(ModeNfa, MatchTransitionsAreSortedByTargetWithAdjacentRepeatsRemoved) {
    using Pairs = std::vector<MatchTransition>;
    const std::vector<NfaStateID> start{NfaStateID(0)};
    EXPECT_EQ(
        with_range_transitions({{1, 7}, {0, 3}, {1, 7}}).get_match_transitions(start),
        (Pairs{{DisjointCharClassID(0), NfaStateID(3)}, {DisjointCharClassID(1), NfaStateID(7)}}));
    EXPECT_EQ(with_range_transitions({{1, 7}, {0, 7}, {1, 7}}).get_match_transitions(start),
              (Pairs{{DisjointCharClassID(1), NfaStateID(7)},
                     {DisjointCharClassID(0), NfaStateID(7)},
                     {DisjointCharClassID(1), NfaStateID(7)}}));

    const Nfa unconverted = from_hir(literal("a"));
    EXPECT_EQ(internal_error_of([&] { (void)unconverted.get_match_transitions(start); }),
              "HirKind character classes are not supported in NFA transitions: Literal(\"a\")");
    EXPECT_THROW((void)unconverted.get_match_transitions(std::set<NfaStateID>{NfaStateID(2)}),
                 base::InternalError);
}

TEST(ModeNfa, ClassesAreCollectedAndConvertedWithTheLookaheadTable) {
    ScannerNfaBudget budget;
    auto lookahead = Nfa::build_lookahead("[a-z]x", budget);
    ASSERT_TRUE(lookahead);
    std::vector<Pattern> patterns{
        Pattern("[a-z]", TokenTypeID(1), Lookahead::positive(LookaheadID(0))),
        Pattern("e|[a-z]", TokenTypeID(2))};
    Nfa nfa = from_patterns(patterns);
    EXPECT_EQ(nfa.states[1].accept_data->lookahead, Lookahead::positive(LookaheadID(0)));

    CharacterClasses classes;
    nfa.collect_character_classes(classes);
    lookahead->collect_character_classes(classes);
    ASSERT_EQ(classes.classes().size(), 3u);  // [a-z], then e, then x from the lookahead
    EXPECT_EQ(classes.classes()[1].characters, literal("e"));
    EXPECT_EQ(classes.classes()[2].characters, literal("x"));
    classes.create_disjoint_character_classes();

    nfa.convert_to_disjoint_character_classes(classes);
    lookahead->convert_to_disjoint_character_classes(classes);
    // [a-z] splits into {[a-d],[f-w],[y-z]} (0), {e} (1) and {x} (2).
    EXPECT_EQ(shape(nfa),
              "0:#0>1,#1>1,#2>1 1:>9 2:#1>3 3:>7 4:#0>5,#1>5,#2>5 5:>7 6:>2,>4 7:>9 8:>0,>6 9: "
              "start=8 end=9");
    const auto& first = nfa.states[0].transitions;
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0].character_class->ranges(),
              (std::vector<CharInterval>{{'a', 'd'}, {'f', 'w'}, {'y', 'z'}}));
    EXPECT_EQ(first[1].character_class->ranges(), (std::vector<CharInterval>{{'e', 'e'}}));
    EXPECT_EQ(shape(*lookahead), "0:#0>1,#1>1,#2>1 1:>2 2:#2>3 3: start=0 end=3");

    EXPECT_EQ(internal_error_of([&] {
                  nfa.convert_to_disjoint_character_classes(classes);
              }).rfind("Character class ranges are not supported in NFA transitions: Range(", 0),
              0u);
    CharacterClasses again;
    EXPECT_EQ(internal_error_of([&] {
                  nfa.collect_character_classes(again);
              }).rfind("Ranges are not supported in collect_character_classes: ([", 0),
              0u);
}

TEST(ModeNfa, ConversionReplacesOneLabelByItsGroupsInOrder) {
    CharacterClasses classes;
    classes.add_hir(unicode_class({{'a', 'z'}}));
    classes.add_hir(literal("e"));
    classes.create_disjoint_character_classes();

    Nfa nfa = from_hir(concat({unicode_class({{'a', 'z'}}), literal("q")}));
    nfa.convert_to_disjoint_character_classes(classes);
    // The unregistered literal q has no groups: its transition vanishes.
    EXPECT_EQ(shape(nfa), "0:#0>1,#1>1 1:>2 2: 3: start=0 end=3");
    EXPECT_EQ(nfa.states[0].transitions[0].character_class->ranges(),
              (std::vector<CharInterval>{{'a', 'd'}, {'f', 'z'}}));
    EXPECT_EQ(debug_string(*nfa.states[0].transitions[1].character_class),
              "Range(['e'..='e'], DisjointCharClassID(1))");
}

}  // namespace
}  // namespace quarn::generate
