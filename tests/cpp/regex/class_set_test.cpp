// Class algebra checked against a membership reference on random sets, with
// the ranges drawn around the edges that matter (0, the surrogate gap, the top).
#include "quarn/regex/class_set.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

namespace quarn::regex {
namespace {

bool is_surrogate(std::uint32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

bool contains(const Class& cls, std::uint32_t c) {
    if (!cls.is_bytes && is_surrogate(c))
        return false;
    for (const ClassRange& r : cls.ranges) {
        if (r.start <= c && c <= r.end)
            return true;
    }
    return false;
}

void expect_canonical(const Class& cls) {
    for (std::size_t i = 0; i < cls.ranges.size(); ++i) {
        EXPECT_LE(cls.ranges[i].start, cls.ranges[i].end);
        if (i > 0) {
            EXPECT_GT(cls.ranges[i].start, cls.ranges[i - 1].end + 1);
        }
    }
}

Class random_class(std::mt19937& rng, bool is_bytes) {
    std::uint32_t top = is_bytes ? 0xFF : 0x10FFFF;
    std::vector<std::uint32_t> anchors = {0, 1, 0x7F, 0x80, top - 1, top};
    if (!is_bytes)
        anchors.insert(anchors.end(), {0xD7FE, 0xD7FF, 0xE000, 0xE001});
    auto point = [&]() -> std::uint32_t {
        std::uint32_t p = rng() % 3 == 0 ? rng() % (top + 1) : anchors[rng() % anchors.size()];
        if (!is_bytes && is_surrogate(p))
            p = 0xD7FF;
        return p;
    };
    Class cls{is_bytes, {}};
    int n = static_cast<int>(rng() % 5);
    for (int i = 0; i < n; ++i) {
        std::uint32_t a = point(), b = point();
        push_range(cls, std::min(a, b), std::max(a, b));
    }
    canonicalize(cls);
    return cls;
}

// Every point where membership of any of the sets can change.
std::vector<std::uint32_t> probes(std::initializer_list<const Class*> classes, bool is_bytes) {
    std::set<std::uint32_t> out = {0, 0x7F, 0x80};
    std::uint32_t top = is_bytes ? 0xFF : 0x10FFFF;
    out.insert(top);
    if (!is_bytes)
        out.insert({0xD7FF, 0xD800, 0xDFFF, 0xE000});
    for (const Class* cls : classes) {
        for (const ClassRange& r : cls->ranges) {
            for (std::uint32_t p : {r.start, r.end}) {
                out.insert(p);
                if (p > 0)
                    out.insert(p - 1);
                if (p < top)
                    out.insert(p + 1);
            }
        }
    }
    return {out.begin(), out.end()};
}

class ClassAlgebra : public ::testing::TestWithParam<bool> {};

TEST_P(ClassAlgebra, OperationsAgreeWithMembership) {
    bool is_bytes = GetParam();
    std::mt19937 rng(is_bytes ? 7 : 11);
    for (int iteration = 0; iteration < 2000; ++iteration) {
        Class a = random_class(rng, is_bytes);
        Class b = random_class(rng, is_bytes);
        Class u = a, i = a, d = a, s = a, n = a;
        union_with(u, b);
        intersect_with(i, b);
        subtract(d, b);
        symmetric_difference_with(s, b);
        negate(n);
        for (const Class* c : {&u, &i, &d, &s, &n})
            expect_canonical(*c);
        for (std::uint32_t p : probes({&a, &b, &u, &i, &d, &s, &n}, is_bytes)) {
            bool in_a = contains(a, p), in_b = contains(b, p);
            bool valid = is_bytes || !is_surrogate(p);
            ASSERT_EQ(contains(u, p), in_a || in_b) << p;
            ASSERT_EQ(contains(i, p), in_a && in_b) << p;
            ASSERT_EQ(contains(d, p), in_a && !in_b) << p;
            ASSERT_EQ(contains(s, p), in_a != in_b) << p;
            ASSERT_EQ(contains(n, p), valid && !in_a) << p;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BytesAndUnicode, ClassAlgebra, ::testing::Values(true, false));

TEST(ClassAlgebra, SurrogateGapIsNotAdjacency) {
    Class cls{false, {{0xE000, 0xE000}, {0xD7FF, 0xD7FF}}};
    canonicalize(cls);
    EXPECT_EQ(cls.ranges.size(), 2u);  // numerically apart, so kept apart

    Class everything{false, {{0, 0xD7FF}, {0xE000, 0x10FFFF}}};
    negate(everything);
    EXPECT_TRUE(is_empty(everything));  // nothing is left, not a range across the gap

    Class around_gap{false, {{0xD7FF, 0xE000}}};
    negate(around_gap);
    EXPECT_EQ(around_gap.ranges, (std::vector<ClassRange>{{0, 0xD7FE}, {0xE001, 0x10FFFF}}));

    Class split{false, {{0, 0x10FFFF}}};
    subtract(split, Class{false, {{0xD7FF, 0xD7FF}}});
    EXPECT_EQ(split.ranges, (std::vector<ClassRange>{{0, 0xD7FE}, {0xE000, 0x10FFFF}}));
}

TEST(ClassAlgebra, ByteCaseFoldingIsAsciiOnly) {
    Class cls{true, {{'Y', 'b'}}};
    case_fold(cls);
    EXPECT_EQ(cls.ranges, (std::vector<ClassRange>{{'A', 'B'}, {'Y', 'b'}, {'y', 'z'}}));
}

TEST(ClassAlgebra, UnicodeCaseFoldingAddsWholeEquivalenceClasses) {
    Class cls{false, {{'k', 'k'}, {0x3C3, 0x3C3}}};
    case_fold(cls);
    EXPECT_EQ(cls.ranges,
              (std::vector<ClassRange>{
                  {'K', 'K'}, {'k', 'k'}, {0x3A3, 0x3A3}, {0x3C2, 0x3C3}, {0x212A, 0x212A}}));
}

}  // namespace
}  // namespace quarn::regex
