#include "quarn/runtime/match_function.hpp"

#include <gtest/gtest.h>

#include <random>

#include "quarn/base/errors.hpp"
#include "reference_match.hpp"

namespace quarn::runtime {
namespace {

using Groups = std::vector<std::vector<CharRange>>;

TEST(MatchFunction, MapsCharactersToTheGroupOfTheirInterval) {
    // [a-z] and the literal e.
    const std::vector<CharRange> intervals = {{'a', 'd'}, {'e', 'e'}, {'f', 'z'}};
    const MatchFunction f(intervals, {{{'a', 'd'}, {'f', 'z'}}, {{'e', 'e'}}});
    EXPECT_EQ(f('e'), 1u);
    EXPECT_EQ(f('q'), 0u);
    EXPECT_EQ(f('a'), 0u);
    EXPECT_EQ(f('A'), std::nullopt);
    EXPECT_EQ(f('{'), std::nullopt);
    EXPECT_EQ(f(0x10FFFF), std::nullopt);
    EXPECT_EQ(f.class_of('{'), MatchFunction::kNoClass);

    const MatchFunction nothing;
    EXPECT_EQ(nothing('a'), std::nullopt);
    EXPECT_EQ(MatchFunction({}, {})(0x4E00), std::nullopt);
}

TEST(MatchFunction, RefusesIntervalsThatAreNotAscendingAndDisjoint) {
    EXPECT_THROW(MatchFunction({{'b', 'c'}, {'a', 'a'}}, {}), base::InternalError);
    EXPECT_THROW(MatchFunction({{'a', 'c'}, {'c', 'd'}}, {}), base::InternalError);
    EXPECT_THROW(MatchFunction({{'c', 'a'}}, {}), base::InternalError);
    EXPECT_THROW(MatchFunction({{'a', 0x110000}}, {}), base::InternalError);
}

// Random interval sets over the whole code space, some dense around block and
// table boundaries; groups list intervals in shuffled order, sometimes twice,
// sometimes not at all, and sometimes list intervals that are not elementary.
TEST(MatchFunction, AgreesWithTheReferenceOnRandomIntervalSets) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 300; ++round) {
        const char32_t span = round % 3 == 0 ? 0x400 : (round % 3 == 1 ? 0x3000 : 0x110000);
        const int count = static_cast<int>(rng() % 40);
        std::vector<char32_t> cuts;
        for (int i = 0; i < 2 * count; ++i)
            cuts.push_back(static_cast<char32_t>(rng() % span));
        std::sort(cuts.begin(), cuts.end());
        cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
        std::vector<CharRange> intervals;
        for (std::size_t i = 0; i + 1 < cuts.size(); i += 2) {
            // Sometimes a single character, sometimes a gap-free neighbour.
            const char32_t end = rng() % 4 == 0 ? cuts[i] : cuts[i + 1] - 1;
            intervals.push_back({cuts[i], std::max(cuts[i], end)});
        }

        const std::size_t num_groups = 1 + rng() % 6;
        Groups groups(num_groups);
        for (const CharRange& r : intervals) {
            if (rng() % 10 == 0)
                continue;
            groups[rng() % num_groups].push_back(r);
            if (rng() % 8 == 0)
                groups[rng() % num_groups].push_back(r);
        }
        groups[rng() % num_groups].push_back({0x10FFFE, 0x10FFFF});
        for (auto& g : groups)
            std::shuffle(g.begin(), g.end(), rng);

        const MatchFunction f(intervals, groups);
        std::vector<char32_t> probes;
        for (const CharRange& r : intervals) {
            for (char32_t d : {0u, 1u}) {
                probes.push_back(r.start - std::min<char32_t>(d, r.start));
                probes.push_back(r.end + d);
            }
        }
        for (char32_t c = 0; c < 0x180; ++c)
            probes.push_back(c);
        for (int i = 0; i < 500; ++i)
            probes.push_back(static_cast<char32_t>(rng() % 0x110000));
        for (char32_t ch : probes) {
            ASSERT_EQ(f(ch), test_support::reference_match(intervals, groups, ch))
                << "round " << round << " ch " << std::hex << static_cast<std::uint32_t>(ch);
        }
    }
}

}  // namespace
}  // namespace quarn::runtime
