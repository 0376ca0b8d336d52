// The regex conformance data driven through the whole generator: parse, NFA,
// character classes, subset construction and minimization, then matched with a
// small search over the resulting DFA.
//
// The data was produced with leftmost-first semantics; a DFA gives the longest
// match. Only semantics-independent checks are made:
//  - every expected overall span is accepted as a complete match;
//  - a test without matches accepts nothing, not even the empty string, at any
//    start (anchored tests: at the start only);
//  - the first match starts where expected and is at least as long (skipped
//    when the expected first match is empty).
// Skipped: regex-lite (another engine), multi-pattern sets, byte mode,
// custom line terminators, sub-range bounds, earliest/overlapping searches,
// overlapping set semantics, haystacks that are not UTF-8 after unescaping,
// patterns the front end must reject, and patterns the NFA refuses (look-around
// and lazy repetition; the scanner cannot express them).
#include <gtest/gtest.h>

#include <toml++/toml.h>
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "quarn/generate/character_classes.hpp"
#include "quarn/generate/dfa.hpp"
#include "quarn/generate/nfa.hpp"

namespace quarn::generate {
namespace {

struct Span {
    std::size_t start;
    std::size_t end;
};

struct Case {
    std::string name;
    std::string pattern;
    std::string haystack;
    bool anchored = false;
    std::vector<Span> spans;  // overall spans of the expected matches
};

struct Character {
    std::size_t offset;
    std::uint32_t scalar;
};

// Decodes UTF-8; none for invalid input. A sentinel marks the end offset.
std::optional<std::vector<Character>> decode(const std::string& text) {
    std::vector<Character> out;
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        const std::size_t length = byte < 0x80       ? 1
                                   : byte >> 5 == 6  ? 2
                                   : byte >> 4 == 14 ? 3
                                   : byte >> 3 == 30 ? 4
                                                     : 0;
        if (length == 0 || at + length > text.size())
            return std::nullopt;
        std::uint32_t scalar = length == 1 ? byte : byte & (0x7F >> length);
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[at + i]);
            if (next >> 6 != 2)
                return std::nullopt;
            scalar = scalar << 6 | (next & 0x3F);
        }
        static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (scalar < kSmallest[length] || scalar > 0x10FFFF ||
            (scalar >= 0xD800 && scalar <= 0xDFFF)) {
            return std::nullopt;
        }
        out.push_back({at, scalar});
        at += length;
    }
    out.push_back({text.size(), 0});
    return out;
}

std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\\' || at + 1 >= text.size()) {
            out += text[at];
            continue;
        }
        const char escape = text[++at];
        if (escape == 'x' && at + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(at + 1, 2), nullptr, 16));
            at += 2;
        } else if (escape == 'n') {
            out += '\n';
        } else if (escape == 'r') {
            out += '\r';
        } else if (escape == 't') {
            out += '\t';
        } else {
            out += escape;
        }
    }
    return out;
}

bool flag(const toml::table& test, const char* key, bool fallback = false) {
    return test[key].value_or(fallback);
}

std::string text_field(const toml::table& test, const char* key) {
    return test[key].value_or(std::string());
}

// Reads every usable test; counts the others by reason.
std::vector<Case> load_cases(std::map<std::string, int>& skipped) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(QUARN_TEST_DATA_DIR) / "regex-conformance";
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.path().extension() == ".toml")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());

    std::vector<Case> cases;
    for (const fs::path& file : files) {
        const std::string stem = fs::relative(file, folder).replace_extension().string();
        if (stem == "regex-lite") {
            skipped["another engine (regex-lite)"] += 9;
            continue;
        }
        const toml::table document = toml::parse_file(file.string());
        const toml::array* tests = document["test"].as_array();
        if (tests == nullptr)
            continue;
        for (const toml::node& node : *tests) {
            const toml::table& test = *node.as_table();
            auto skip = [&](const char* reason) { ++skipped[reason]; };
            if (!test["regex"].is_string()) {
                skip("multi-pattern set");
            } else if (!flag(test, "utf8", true)) {
                skip("byte mode (utf8 = false)");
            } else if (test.contains("line-terminator")) {
                skip("custom line terminator");
            } else if (test.contains("bounds")) {
                skip("sub-range bounds");
            } else if (text_field(test, "search-kind") == "earliest" ||
                       text_field(test, "search-kind") == "overlapping") {
                skip("earliest or overlapping search");
            } else if (text_field(test, "match-kind") == "all") {
                skip("overlapping set semantics (match-kind all)");
            } else if (!flag(test, "compiles", true)) {
                skip("pattern must be rejected by the front end");
            } else {
                Case c;
                c.name = stem + "/" + text_field(test, "name");
                c.pattern = text_field(test, "regex");
                if (flag(test, "case-insensitive"))
                    c.pattern = "(?i)" + c.pattern;
                if (!flag(test, "unicode", true)) {
                    c.pattern = "(?-u)" + c.pattern;
                }
                c.haystack = text_field(test, "haystack");
                if (flag(test, "unescape"))
                    c.haystack = unescape(c.haystack);
                if (!decode(c.haystack)) {
                    skip("haystack not UTF-8");
                    continue;
                }
                c.anchored = flag(test, "anchored");
                for (const toml::node& match : *test["matches"].as_array()) {
                    // [start, end], or [[start, end], group spans...]
                    const toml::array& spans = *match.as_array();
                    const toml::array& overall =
                        spans.front().is_array() ? *spans.front().as_array() : spans;
                    c.spans.push_back({static_cast<std::size_t>(overall[0].value_or(0)),
                                       static_cast<std::size_t>(overall[1].value_or(0))});
                }
                cases.push_back(std::move(c));
            }
        }
    }
    return cases;
}

// One pattern compiled as a one-token scanner mode.
class Matcher {
  public:
    Matcher(Dfa dfa, const CharacterClasses& classes) : dfa_(std::move(dfa)) {
        for (std::uint32_t group = 0; group < classes.intervals().size(); ++group) {
            for (const CharInterval& interval : classes.intervals()[group]) {
                lookup_.push_back({interval.start, interval.end, group});
            }
        }
        std::sort(lookup_.begin(), lookup_.end());
    }

    // The end offset of the longest accepted match starting at character
    // `first`, or none.
    std::optional<std::size_t> longest(const std::vector<Character>& text, std::size_t first,
                                       std::size_t last_offset) const {
        std::optional<std::size_t> best;
        std::uint32_t state = 0;
        for (std::size_t at = first;; ++at) {
            if (!dfa_.states[state].accept_data.empty())
                best = text[at].offset;
            if (at + 1 >= text.size() || text[at].offset >= last_offset)
                return best;
            const auto next = step(state, text[at].scalar);
            if (!next)
                return best;
            state = *next;
        }
    }

  private:
    std::optional<std::uint32_t> step(std::uint32_t state, std::uint32_t scalar) const {
        auto it = std::upper_bound(lookup_.begin(), lookup_.end(),
                                   std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>{
                                       scalar, 0xFFFF'FFFF, 0xFFFF'FFFF});
        if (it == lookup_.begin())
            return std::nullopt;
        --it;
        if (std::get<1>(*it) < scalar)
            return std::nullopt;
        for (const DfaTransition& transition : dfa_.states[state].transitions) {
            if (transition.group.value() == std::get<2>(*it)) {
                return transition.target.value();
            }
        }
        return std::nullopt;
    }

    Dfa dfa_;
    std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>> lookup_;
};

std::size_t index_of_offset(const std::vector<Character>& text, std::size_t offset) {
    auto it = std::find_if(text.begin(), text.end(),
                           [&](const Character& c) { return c.offset == offset; });
    return it == text.end() ? text.size() : static_cast<std::size_t>(it - text.begin());
}

// The failures of one case, empty when it passes.
std::vector<std::string> check(const Case& c, const Matcher& matcher) {
    std::vector<std::string> failures;
    const std::vector<Character> text = *decode(c.haystack);
    for (const Span& span : c.spans) {
        const std::size_t first = index_of_offset(text, span.start);
        if (first == text.size() || index_of_offset(text, span.end) == text.size()) {
            failures.push_back("span not on character boundaries");
            continue;
        }
        // Accepting exactly the span: the longest match within the span ends at its end.
        if (matcher.longest(text, first, span.end) != span.end) {
            failures.push_back("does not accept [" + std::to_string(span.start) + ", " +
                               std::to_string(span.end) + ")");
        }
    }
    const std::size_t starts = c.anchored ? 1 : text.size();
    std::optional<std::pair<std::size_t, std::size_t>> found;
    for (std::size_t first = 0; first < starts && !found; ++first) {
        if (auto end = matcher.longest(text, first, c.haystack.size())) {
            found = std::pair{text[first].offset, *end};
        }
    }
    if (c.spans.empty()) {
        if (found) {
            failures.push_back("accepts [" + std::to_string(found->first) + ", " +
                               std::to_string(found->second) + ") where nothing matches");
        }
    } else if (c.spans.front().start < c.spans.front().end) {
        if (!found || found->first != c.spans.front().start ||
            found->second < c.spans.front().end) {
            failures.push_back("first match differs");
        }
    }
    return failures;
}

TEST(DfaConformance, MatchesTheConformanceData) {
    std::map<std::string, int> skipped;
    const std::vector<Case> cases = load_cases(skipped);
    int checked = 0;
    int passed = 0;
    for (const Case& c : cases) {
        auto built = Nfa::build_from_patterns({Pattern(c.pattern, TokenTypeID(1))});
        if (!built.ok()) {
            if (std::holds_alternative<UnsupportedFeatureError>(built.error().error())) {
                ++skipped["refused by the NFA (look-around, lazy repetition)"];
            } else {
                ADD_FAILURE() << c.name << ": the front end rejects " << c.pattern << ": "
                              << built.error().display();
            }
            continue;
        }
        Nfa nfa = std::move(built).value();
        CharacterClasses classes;
        nfa.collect_character_classes(classes);
        classes.create_disjoint_character_classes();
        nfa.convert_to_disjoint_character_classes(classes);
        auto dfa = try_from_nfa(nfa);
        ASSERT_TRUE(dfa.ok()) << c.name << ": " << dfa.error().display();
        ++checked;
        const auto failures = check(c, Matcher(std::move(dfa).value(), classes));
        for (const std::string& failure : failures) {
            ADD_FAILURE() << c.name << " (" << c.pattern << "): " << failure;
        }
        if (failures.empty())
            ++passed;
    }
    std::cout << "conformance: " << passed << " of " << checked << " checked tests pass\n";
    for (const auto& [reason, count] : skipped)
        std::cout << "  skipped " << count << ": " << reason << "\n";
    // The data holds 532 usable patterns without look-around or lazy
    // repetition and 399 with; a pattern refused or let through by mistake
    // shows here.
    EXPECT_EQ(checked, 532);
    EXPECT_EQ(skipped["refused by the NFA (look-around, lazy repetition)"], 399);
}

}  // namespace
}  // namespace quarn::generate
