// Drives the conformance data through the front end: the dialect cases (exact
// HIR shape, printed form and error rendering) and the acceptance column of
// the matching suites.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "quarn/regex/parse.hpp"
#include "toml_lite.hpp"

namespace quarn::regex {
namespace {

const std::string kDataDir = std::string(QUARN_TEST_DATA_DIR) + "/regex-conformance/";

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
                    out += "-" + hex(cls.ranges[i].end, width);
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
    toml_lite::Document doc = toml_lite::read_file(kDataDir + "dialect-cases.toml");
    const auto& cases = doc.table_arrays.at("case");
    ASSERT_EQ(cases.size(), 576u);
    int failures = 0;
    for (const toml_lite::Value& c : cases) {
        std::string pattern = c.at("pattern").string;
        auto result = parse(pattern);
        std::string problem;
        if (c.at("accept").boolean) {
            if (!result.ok()) {
                problem = "rejected: " + result.error().display();
            } else {
                std::string shape = compact(result.value());
                if (shape != c.at("hir").string) {
                    problem = "hir " + shape + " expected " + c.at("hir").string;
                } else if (c.has("printed") &&
                           print_regex(result.value()) != c.at("printed").string) {
                    problem = "printed " + print_regex(result.value()) + " expected " +
                              c.at("printed").string;
                }
            }
        } else if (result.ok()) {
            problem = "accepted as " + compact(result.value());
        } else if (result.error().kind_name() != c.at("error").string) {
            problem = std::string("error ") + result.error().kind_name() + " expected " +
                      c.at("error").string;
        } else if (result.error().display() != c.at("display").string) {
            problem =
                "display\n" + result.error().display() + "\nexpected\n" + c.at("display").string;
        }
        if (!problem.empty()) {
            ++failures;
            ADD_FAILURE() << "pattern " << pattern << ": " << problem;
        }
    }
    EXPECT_EQ(failures, 0);
}

// Applies the README's skip rules; returns the pattern to parse, or nothing.
std::optional<std::string> usable_pattern(const toml_lite::Value& test) {
    const toml_lite::Value& regex = test.at("regex");
    if (regex.type != toml_lite::Value::Type::String)
        return std::nullopt;  // multi-pattern set
    if (!test.get_bool("utf8", true))
        return std::nullopt;  // byte mode
    if (test.has("line-terminator") || test.has("bounds"))
        return std::nullopt;
    std::string search = test.get_string("search-kind", "leftmost");
    if (search == "earliest" || search == "overlapping")
        return std::nullopt;
    if (test.get_string("match-kind", "leftmost-first") == "all")
        return std::nullopt;
    std::string pattern = regex.string;
    if (!test.get_bool("unicode", true))
        pattern = "(?-u)" + pattern;
    if (test.get_bool("case-insensitive", false))
        pattern = "(?i)" + pattern;
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
        toml_lite::Document doc = toml_lite::read_file(path.string());
        for (const toml_lite::Value& test : doc.table_arrays["test"]) {
            std::optional<std::string> pattern = usable_pattern(test);
            if (!pattern)
                continue;
            ++used;
            bool compiles = test.get_bool("compiles", true);
            auto result = parse(*pattern);
            if (!compiles && !result.ok())
                ++rejected_as_expected;
            EXPECT_EQ(result.ok(), compiles)
                << stem << "/" << test.at("name").string << ": " << *pattern
                << (result.ok() ? std::string() : "\n" + result.error().display());
        }
    }
    EXPECT_EQ(used, 936);
    EXPECT_EQ(rejected_as_expected, 5);
}

}  // namespace
}  // namespace quarn::regex
