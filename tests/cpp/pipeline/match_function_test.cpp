#include "quarn/pipeline/match_function.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <set>
#include <vector>

#include "reference_match.hpp"

namespace quarn::pipeline {
namespace {

using generate::CharacterClasses;
using generate::CharInterval;

regex::Hir char_class(std::vector<regex::ClassRange> ranges) {
    return regex::Hir::make_class(regex::Class{false, std::move(ranges)});
}

void expect_same_as_reference(const CharacterClasses& classes) {
    const auto match = build_match_function(classes);
    std::set<char32_t> probes = {0, 0x7F, 0x80, 0xFF, 0x100, 0xD7FF, 0xE000, 0xFFFF, 0x10FFFF};
    for (const CharInterval& interval : classes.elementary_intervals()) {
        for (std::uint32_t edge : {interval.start, interval.end}) {
            for (std::uint32_t ch : {edge - 1, edge, edge + 1}) {
                if (ch <= 0x10FFFF)
                    probes.insert(ch);
            }
        }
    }
    for (char32_t ch = 0; ch < 0x3000; ++ch)
        probes.insert(ch);
    for (char32_t ch : probes) {
        ASSERT_EQ(match(ch), test_support::reference_match(classes.elementary_intervals(),
                                                           classes.intervals(), ch))
            << "U+" << std::hex << static_cast<std::uint32_t>(ch);
    }
}

TEST(MatchFunction, LetterClassAndLiteral) {
    CharacterClasses classes;
    classes.add_hir(char_class({{'a', 'z'}}));
    classes.add_hir(regex::Hir::make_literal("e"));
    classes.create_disjoint_character_classes();
    const auto match = build_match_function(classes);
    EXPECT_EQ(match('e'), 1u);
    EXPECT_EQ(match('q'), 0u);
    EXPECT_EQ(match('a'), 0u);  // [a-d] and [f-z] form one group
    EXPECT_EQ(match('A'), std::nullopt);
    EXPECT_EQ(match('{'), std::nullopt);
    EXPECT_EQ(match('5'), std::nullopt);
    expect_same_as_reference(classes);
}

TEST(MatchFunction, NoClassesMapEverythingToNothing) {
    CharacterClasses classes;
    classes.create_disjoint_character_classes();
    const auto match = build_match_function(classes);
    for (char32_t ch : {U'\0', U'a', U'\U0010FFFF'})
        EXPECT_EQ(match(ch), std::nullopt);
}

TEST(MatchFunction, AgreesWithTheReferenceOnRandomAlphabets) {
    std::mt19937 rng(20261207);
    const std::uint32_t edges[] = {0x7F, 0xFF, 0xD7FF, 0xE000, 0xFFFF, 0x10FFFF};
    // Class bounds are scalar values: never a surrogate.
    auto scalar = [](std::uint32_t ch) { return ch >= 0xD800 && ch <= 0xDFFF ? ch - 0x800 : ch; };
    auto random_char = [&]() -> std::uint32_t {
        switch (rng() % 4) {
            case 0:
                return rng() % 0x80;
            case 1:
                return rng() % 0x3000;
            case 2:
                return scalar(edges[rng() % std::size(edges)] - rng() % 3);
            default:
                return scalar(rng() % 0x110000);
        }
    };
    for (int round = 0; round < 40; ++round) {
        CharacterClasses classes;
        const int labels = 1 + static_cast<int>(rng() % 8);
        for (int i = 0; i < labels; ++i) {
            std::set<std::uint32_t> points;
            const int bounds = 2 * (1 + static_cast<int>(rng() % 4));
            while (static_cast<int>(points.size()) < bounds)
                points.insert(random_char());
            std::vector<regex::ClassRange> ranges;
            for (auto it = points.begin(); it != points.end();) {
                const std::uint32_t start = *it++;
                const std::uint32_t end = *it++;
                // Canonical classes have gaps between their ranges.
                if (!ranges.empty() && start <= ranges.back().end + 1)
                    continue;
                ranges.push_back({start, end});
            }
            classes.add_hir(char_class(std::move(ranges)));
        }
        classes.create_disjoint_character_classes();
        expect_same_as_reference(classes);
    }
}

}  // namespace
}  // namespace quarn::pipeline
