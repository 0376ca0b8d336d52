#include "quarn/generate/character_classes.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "quarn/base/errors.hpp"
#include "quarn/base/utf8.hpp"

namespace quarn::generate {
namespace {

using regex::Hir;

Hir literal(std::string bytes) {
    return Hir::make_literal(std::move(bytes));
}

Hir unicode_class(std::vector<CharInterval> ranges) {
    return Hir::make_class(regex::Class{false, std::move(ranges)});
}

Hir byte_class(std::vector<CharInterval> ranges) {
    return Hir::make_class(regex::Class{true, std::move(ranges)});
}

std::vector<DisjointCharClassID> ids(std::initializer_list<std::uint32_t> values) {
    std::vector<DisjointCharClassID> result;
    for (auto v : values)
        result.emplace_back(v);
    return result;
}

CharacterClasses partition(const std::vector<Hir>& labels) {
    CharacterClasses classes;
    for (const auto& label : labels)
        classes.add_hir(label);
    classes.create_disjoint_character_classes();
    return classes;
}

using Intervals = std::vector<CharInterval>;

TEST(CharacterClasses, OverlappingLabelsSplitIntoGroupsNumberedByLowestInterval) {
    // [a-z] and the literal e: e is its own group, the rest of a-z shares one.
    auto classes = partition({unicode_class({{'a', 'z'}}), literal("e")});
    EXPECT_EQ(classes.elementary_intervals(), (Intervals{{'a', 'd'}, {'e', 'e'}, {'f', 'z'}}));
    ASSERT_EQ(classes.intervals().size(), 2u);
    EXPECT_EQ(classes.intervals()[0], (Intervals{{'a', 'd'}, {'f', 'z'}}));
    EXPECT_EQ(classes.intervals()[1], (Intervals{{'e', 'e'}}));
    EXPECT_EQ(classes.classes()[0].intervals, ids({0, 1}));
    EXPECT_EQ(classes.classes()[1].intervals, ids({1}));
    EXPECT_EQ(classes.get_disjoint_classes(literal("e")), ids({1}));
    EXPECT_TRUE(classes.get_disjoint_classes(literal("q")).empty());

    auto overlapping = partition({unicode_class({{'a', 'm'}}), unicode_class({{'h', 'z'}})});
    EXPECT_EQ(overlapping.elementary_intervals(), (Intervals{{'a', 'g'}, {'h', 'm'}, {'n', 'z'}}));
    EXPECT_EQ(overlapping.intervals().size(), 3u);
    EXPECT_EQ(overlapping.classes()[0].intervals, ids({0, 1}));
    EXPECT_EQ(overlapping.classes()[1].intervals, ids({1, 2}));

    auto adjacent = partition({unicode_class({{'a', 'c'}}), unicode_class({{'d', 'f'}})});
    EXPECT_EQ(adjacent.elementary_intervals(), (Intervals{{'a', 'c'}, {'d', 'f'}}));
    EXPECT_EQ(adjacent.intervals().size(), 2u);
}

TEST(CharacterClasses, GapsAreDroppedAndEqualMembershipsShareAGroup) {
    auto classes = partition({unicode_class({{'a', 'c'}, {'x', 'z'}})});
    EXPECT_EQ(classes.elementary_intervals(), (Intervals{{'a', 'c'}, {'x', 'z'}}));
    ASSERT_EQ(classes.intervals().size(), 1u);
    EXPECT_EQ(classes.intervals()[0], (Intervals{{'a', 'c'}, {'x', 'z'}}));

    // A group seen again later must not be listed twice for a label.
    auto revisited = partition({unicode_class({{'a', 'z'}}), literal("m")});
    EXPECT_EQ(revisited.classes()[0].intervals, ids({0, 1}));
}

TEST(CharacterClasses, TopOfCodeSpaceAndSurrogateGap) {
    // The dot without dot-all: everything except LF, up to and including U+10FFFF.
    auto dot = partition({unicode_class({{0, 9}, {0xB, 0x10FFFF}})});
    EXPECT_EQ(dot.elementary_intervals(), (Intervals{{0, 9}, {0xB, 0x10FFFF}}));

    auto split = partition({unicode_class({{0, 0xD7FF}}), unicode_class({{0xE000, 0xF8FF}})});
    EXPECT_EQ(split.elementary_intervals(), (Intervals{{0, 0xD7FF}, {0xE000, 0xF8FF}}));
    EXPECT_EQ(split.classes()[0].intervals, ids({0}));
    EXPECT_EQ(split.classes()[1].intervals, ids({1}));

    EXPECT_EQ(next_scalar(0xD7FF), 0xE000u);
    EXPECT_EQ(next_scalar(0x10FFFF), kEndMarker);
    EXPECT_EQ(previous_scalar(0xE000), 0xD7FFu);
    EXPECT_EQ(previous_scalar(kEndMarker), 0x10FFFFu);
}

TEST(CharacterClasses, RegistrationAndDegenerateLabels) {
    CharacterClasses none;
    none.create_disjoint_character_classes();
    EXPECT_TRUE(none.classes().empty());
    EXPECT_TRUE(none.elementary_intervals().empty());
    EXPECT_TRUE(none.intervals().empty());

    CharacterClasses classes;
    classes.add_hir(unicode_class({{'0', '9'}}));
    classes.add_hir(literal("a"));
    classes.add_hir(unicode_class({{'0', '9'}}));
    classes.add_hir(unicode_class({{'a', 'a'}}));  // a class [a] is not the literal a
    classes.add_hir(byte_class({{'0', '9'}}));     // nor is a byte class a Unicode class
    EXPECT_EQ(classes.classes().size(), 4u);

    // A two-byte literal, an empty (never-matching) class and a literal that is
    // not valid UTF-8: only the first contributes an interval.
    auto odd = partition({literal("\xC3\xA9"), byte_class({}), literal("\xFF")});
    EXPECT_EQ(odd.elementary_intervals(), (Intervals{{0xE9, 0xE9}}));
    EXPECT_EQ(odd.classes()[0].intervals, ids({0}));
    EXPECT_TRUE(odd.classes()[1].intervals.empty());
    EXPECT_TRUE(odd.classes()[2].intervals.empty());

    CharacterClasses invalid;
    invalid.add_hir(Hir::make_look(regex::LookKind::Start));
    EXPECT_THROW(invalid.create_disjoint_character_classes(), base::InternalError);
}

TEST(CharacterClasses, LiteralToCharAndContainment) {
    EXPECT_EQ(literal_to_char("a"), U'a');
    EXPECT_EQ(literal_to_char("\xF0\x9F\x98\x80"), U'\U0001F600');
    EXPECT_EQ(literal_to_char("ab"), U'a');
    EXPECT_EQ(literal_to_char(""), std::nullopt);
    EXPECT_EQ(literal_to_char("\xED\xA0\x80"), std::nullopt);  // a surrogate
    EXPECT_EQ(literal_to_char("\xC0\x80"), std::nullopt);      // overlong

    CharacterClass letter(literal("e"));
    EXPECT_TRUE(letter.contains_interval({'e', 'e'}));
    EXPECT_FALSE(letter.contains_interval({'e', 'f'}));

    CharacterClass bytes(byte_class({{0x20, 0x7F}}));
    EXPECT_TRUE(bytes.contains_interval({0x30, 0x39}));
    EXPECT_FALSE(bytes.contains_interval({0x30, 0x100}));

    CharacterClass letters(unicode_class({{'a', 'f'}, {'x', 'z'}}));
    EXPECT_TRUE(letters.contains_interval({'f', 'b'}));  // bounds in either order
    EXPECT_FALSE(letters.contains_interval({'e', 'x'}));
    EXPECT_TRUE(CharacterClass(Hir::empty()).contains_interval({0, 0x10FFFF}));
    EXPECT_FALSE(CharacterClass(Hir::make_look(regex::LookKind::End)).contains_interval({1, 1}));

    CharacterClass twice(literal("e"));
    twice.add_disjoint_interval(DisjointCharClassID(3));
    twice.add_disjoint_interval(DisjointCharClassID(3));
    EXPECT_EQ(twice.intervals, ids({3}));
}

// ---- The straightforward construction, as an oracle for the sweep ----

// Containment by intersecting the label's ranges with the interval.
bool oracle_contains(const Hir& label, CharInterval interval) {
    if (label.kind == regex::HirKind::Literal) {
        auto c = literal_to_char(label.literal);
        return c && interval.start == *c && interval.end == *c;
    }
    if (label.cls.is_bytes && interval.end > 0xFF)
        return false;
    Intervals intersection;
    for (const auto& range : label.cls.ranges) {
        const auto lo = std::max(range.start, interval.start);
        const auto hi = std::min(range.end, interval.end);
        if (lo <= hi)
            intersection.push_back({lo, hi});
    }
    return intersection == Intervals{interval};
}

struct OracleResult {
    Intervals elementary;
    std::vector<Intervals> groups;
    std::vector<std::vector<DisjointCharClassID>> class_groups;
};

OracleResult oracle_partition(const std::vector<Hir>& labels) {
    std::set<std::uint32_t> boundaries;
    for (const auto& label : labels) {
        if (label.kind == regex::HirKind::Literal) {
            if (auto c = literal_to_char(label.literal)) {
                boundaries.insert(*c);
                boundaries.insert(next_scalar(*c));
            }
        } else {
            for (const auto& range : label.cls.ranges) {
                boundaries.insert(range.start);
                boundaries.insert(label.cls.is_bytes ? range.end + 1 : next_scalar(range.end));
            }
        }
    }
    OracleResult result;
    result.class_groups.resize(labels.size());
    std::vector<std::uint32_t> points(boundaries.begin(), boundaries.end());
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        const CharInterval candidate{points[i], previous_scalar(points[i + 1])};
        for (const auto& label : labels) {
            if (oracle_contains(label, candidate)) {
                result.elementary.push_back(candidate);
                break;
            }
        }
    }
    std::map<std::vector<std::size_t>, std::uint32_t> groups;
    for (const auto& interval : result.elementary) {
        std::vector<std::size_t> membership;
        for (std::size_t k = 0; k < labels.size(); ++k) {
            if (oracle_contains(labels[k], interval))
                membership.push_back(k);
        }
        auto [entry, inserted] =
            groups.try_emplace(membership, static_cast<std::uint32_t>(result.groups.size()));
        if (inserted)
            result.groups.emplace_back();
        result.groups[entry->second].push_back(interval);
        for (auto k : membership) {
            auto& list = result.class_groups[k];
            DisjointCharClassID id(entry->second);
            if (std::find(list.begin(), list.end(), id) == list.end())
                list.push_back(id);
        }
    }
    return result;
}

// Random labels around the interesting points of the code space.
class LabelGenerator {
  public:
    explicit LabelGenerator(std::uint32_t seed) : random_(seed) {}

    Hir next() {
        switch (pick(0, 3)) {
            case 0:
                return literal(base::utf8_of(point()));
            case 1:
                return byte_class(ranges(0x7F));
            default:
                return unicode_class(ranges(0x10FFFF));
        }
    }

  private:
    std::uint32_t pick(std::uint32_t lo, std::uint32_t hi) {
        return std::uniform_int_distribution<std::uint32_t>(lo, hi)(random_);
    }

    std::uint32_t point() {
        static constexpr std::uint32_t kAnchors[] = {0, 'a', 0x7F, 0xD7F8, 0xE000, 0x10FFF8};
        std::uint32_t c = kAnchors[pick(0, 5)] + pick(0, 12);
        if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xD7FF;
        return std::min<std::uint32_t>(c, 0x10FFFF);
    }

    // Canonical ranges: sorted, merged when overlapping or numerically adjacent.
    Intervals ranges(std::uint32_t top) {
        Intervals raw;
        const auto count = pick(0, 4);
        for (std::uint32_t i = 0; i < count; ++i) {
            auto a = std::min(point(), top);
            auto b = std::min(point(), top);
            raw.push_back({std::min(a, b), std::max(a, b)});
        }
        std::sort(raw.begin(), raw.end(),
                  [](const CharInterval& x, const CharInterval& y) { return x.start < y.start; });
        Intervals merged;
        for (const auto& r : raw) {
            if (!merged.empty() && r.start <= merged.back().end + 1) {
                merged.back().end = std::max(merged.back().end, r.end);
            } else {
                merged.push_back(r);
            }
        }
        return merged;
    }

    std::mt19937 random_;
};

TEST(CharacterClasses, SweepAgreesWithStraightforwardConstruction) {
    LabelGenerator generator(20261207);
    for (int round = 0; round < 400; ++round) {
        std::vector<Hir> labels;
        const int count = 1 + round % 8;
        for (int i = 0; i < count; ++i)
            labels.push_back(generator.next());

        CharacterClasses classes;
        for (const auto& label : labels)
            classes.add_hir(label);
        std::vector<Hir> distinct;
        for (const auto& c : classes.classes())
            distinct.push_back(c.characters);
        classes.create_disjoint_character_classes();

        const OracleResult expected = oracle_partition(distinct);
        ASSERT_EQ(classes.elementary_intervals(), expected.elementary) << "round " << round;
        ASSERT_EQ(classes.intervals(), expected.groups) << "round " << round;
        for (std::size_t k = 0; k < distinct.size(); ++k) {
            ASSERT_EQ(classes.classes()[k].intervals, expected.class_groups[k])
                << "round " << round;
            for (const auto& interval : expected.elementary) {
                ASSERT_EQ(classes.classes()[k].contains_interval(interval),
                          oracle_contains(distinct[k], interval));
            }
        }
    }
}

}  // namespace
}  // namespace quarn::generate
