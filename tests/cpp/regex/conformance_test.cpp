// Drives the conformance data through the front end: the dialect cases (exact
// HIR shape, printed form and error rendering) and the acceptance column of
// the matching suites.
#include <gtest/gtest.h>

#include <toml++/toml.h>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "quarn/regex/parse.hpp"

namespace quarn::regex {
namespace {

const std::string kDataDir = std::string(QUARN_TEST_DATA_DIR) + "/regex-conformance/";

std::string text_of(const toml::table& table, std::string_view key, std::string fallback = "") {
    return table[key].value_or(std::move(fallback));
}

bool flag_of(const toml::table& table, std::string_view key, bool fallback) {
    return table[key].value_or(fallback);
}

std::string hex(std::uint32_t v, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", width, v);
    return buf;
}

std::uint64_t member_count(const Class& cls) {
    std::uint64_t n = 0;
    for (const ClassRange& r : cls.ranges) {
        n += r.end - r.start + 1;
        if (!cls.is_bytes && r.start <= 0xD800 && r.end >= 0xDFFF)
            n -= 0x800;
    }
    return n;
}

// The compact HIR notation of dialect-cases.toml.
std::string compact(const Hir& h) {
    auto list = [](const std::vector<Hir>& subs) {
        std::string out;
        for (std::size_t i = 0; i < subs.size(); ++i) {
            if (i)
                out += ", ";
            out += compact(subs[i]);
        }
        return out;
    };
    switch (h.kind) {
        case HirKind::Empty:
            return "empty";
        case HirKind::Literal: {
            std::string out = "lit(";
            std::u32string chars;
            for (std::size_t i = 0; i < h.literal.size();) {
                unsigned char b = static_cast<unsigned char>(h.literal[i]);
                std::size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
                std::uint32_t c = len == 1 ? b : b & (0x7F >> len);
                for (std::size_t k = 1; k < len; ++k) {
                    c = (c << 6) | (static_cast<unsigned char>(h.literal[i + k]) & 0x3F);
                }
                if (i)
                    out += " ";
                out += hex(c, 4);
                i += len;
            }
            return out + ")";
        }
        case HirKind::Class: {
            const Class& cls = h.cls;
            if (!cls.is_bytes && cls.ranges.size() > 12) {
                return "uclass<" + std::to_string(cls.ranges.size()) + " ranges, " +
                       std::to_string(member_count(cls)) + " code points, " +
                       hex(cls.ranges.front().start, 4) + ".." + hex(cls.ranges.back().end, 4) +
                       ">";
            }
            int width = cls.is_bytes ? 2 : 4;
            std::string out = cls.is_bytes ? "bclass[" : "uclass[";
            for (std::size_t i = 0; i < cls.ranges.size(); ++i) {
                if (i)
                    out += " ";
                out += hex(cls.ranges[i].start, width);
                if (cls.ranges[i].end != cls.ranges[i].start) {
                    out += '-';
                    out += hex(cls.ranges[i].end, width);
                }
            }
            return out + "]";
        }
        case HirKind::Look:
            return std::string("look(") + look_kind_name(h.look) + ")";
        case HirKind::Repetition:
            return "rep(" + std::to_string(h.min) + "," +
                   (h.max ? std::to_string(*h.max) : std::string("inf")) + "," +
                   (h.greedy ? "greedy" : "lazy") + "; " + compact(h.subs[0]) + ")";
        case HirKind::Capture:
            return "cap(" + std::to_string(h.capture_index) +
                   (h.capture_name ? "," + *h.capture_name : std::string()) + "; " +
                   compact(h.subs[0]) + ")";
        case HirKind::Concat:
            return "cat(" + list(h.subs) + ")";
        case HirKind::Alternation:
            return "alt(" + list(h.subs) + ")";
    }
    return "?";
}

TEST(DialectCases, EveryCaseMatchesItsRecordedOutcome) {
    const toml::table doc = toml::parse_file(kDataDir + "dialect-cases.toml");
    const toml::array* cases = doc["case"].as_array();
    ASSERT_NE(cases, nullptr);
    ASSERT_EQ(cases->size(), 576u);
    int failures = 0;
    for (const toml::node& node : *cases) {
        const toml::table& c = *node.as_table();
        std::string pattern = text_of(c, "pattern");
        auto result = parse(pattern);
        std::string problem;
        if (flag_of(c, "accept", false)) {
            if (!result.ok()) {
                problem = "rejected: " + result.error().display();
            } else {
                std::string shape = compact(result.value());
                if (shape != text_of(c, "hir")) {
                    problem = "hir " + shape + " expected " + text_of(c, "hir");
                } else if (c.contains("printed") &&
                           print_regex(result.value()) != text_of(c, "printed")) {
                    problem = "printed " + print_regex(result.value()) + " expected " +
                              text_of(c, "printed");
                }
            }
        } else if (result.ok()) {
            problem = "accepted as " + compact(result.value());
        } else if (result.error().kind_name() != text_of(c, "error")) {
            problem = std::string("error ") + result.error().kind_name() + " expected " +
                      text_of(c, "error");
        } else if (result.error().display() != text_of(c, "display")) {
            problem =
                "display\n" + result.error().display() + "\nexpected\n" + text_of(c, "display");
        }
        if (!problem.empty()) {
            ++failures;
            ADD_FAILURE() << "pattern " << pattern << ": " << problem;
        }
    }
    EXPECT_EQ(failures, 0);
}

// Applies the README's skip rules; returns the pattern to parse, or nothing.
std::optional<std::string> usable_pattern(const toml::table& test) {
    if (!test["regex"].is_string())
        return std::nullopt;  // multi-pattern set
    if (!flag_of(test, "utf8", true))
        return std::nullopt;  // byte mode
    if (test.contains("line-terminator") || test.contains("bounds"))
        return std::nullopt;
    std::string search = text_of(test, "search-kind", "leftmost");
    if (search == "earliest" || search == "overlapping")
        return std::nullopt;
    if (text_of(test, "match-kind", "leftmost-first") == "all")
        return std::nullopt;
    std::string pattern = text_of(test, "regex");
    if (!flag_of(test, "unicode", true))
        pattern.insert(0, "(?-u)");
    if (flag_of(test, "case-insensitive", false))
        pattern.insert(0, "(?i)");
    return pattern;
}

TEST(MatchingSuites, AcceptanceAgreesWithCompilesFlag) {
    int used = 0;
    int rejected_as_expected = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kDataDir)) {
        auto path = entry.path();
        if (path.extension() != ".toml")
            continue;
        std::string stem = path.stem().string();
        if (stem == "regex-lite" || stem == "dialect-cases")
            continue;
        const toml::table doc = toml::parse_file(path.string());
        const toml::array* tests = doc["test"].as_array();
        if (tests == nullptr)
            continue;
        for (const toml::node& node : *tests) {
            const toml::table& test = *node.as_table();
            std::optional<std::string> pattern = usable_pattern(test);
            if (!pattern)
                continue;
            ++used;
            bool compiles = flag_of(test, "compiles", true);
            auto result = parse(*pattern);
            if (!compiles && !result.ok())
                ++rejected_as_expected;
            EXPECT_EQ(result.ok(), compiles)
                << stem << "/" << text_of(test, "name") << ": " << *pattern << '\n'
                << (result.ok() ? std::string() : result.error().display());
        }
    }
    EXPECT_EQ(used, 936);
    EXPECT_EQ(rejected_as_expected, 5);
}

}  // namespace
}  // namespace quarn::regex
