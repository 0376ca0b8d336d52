#include "quarn/generate/ids.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <concepts>
#include <span>
#include <unordered_map>
#include <vector>

#include "quarn/base/errors.hpp"

namespace quarn::generate {
namespace {

static_assert(sizeof(NfaStateID) == 4 && sizeof(StateGroupID) == 4);
// Different kinds of numbers cannot be mixed up.
static_assert(!std::totally_ordered_with<NfaStateID, DfaStateID>);
static_assert(!std::convertible_to<std::uint32_t, TokenTypeID>);

TEST(Ids, OrderingHashingAndArithmetic) {
    std::vector<DfaStateID> ids{DfaStateID(7), DfaStateID(0), DfaStateID(4294967295u),
                                DfaStateID(3)};
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<DfaStateID>{DfaStateID(0), DfaStateID(3), DfaStateID(7),
                                            DfaStateID(4294967295u)}));

    EXPECT_EQ(std::hash<NfaStateID>{}(NfaStateID(42)), base::fx_hash_u64(42));
    std::unordered_map<TokenTypeID, int> by_terminal{{TokenTypeID(1), 10}};
    EXPECT_EQ(by_terminal.at(TokenTypeID(1)), 10);

    NfaStateID id(9);
    id += 0;
    EXPECT_EQ(id, NfaStateID(9));
    id += 3;
    EXPECT_EQ(id.as_usize(), 12u);
    NfaStateID top(4294967295u);
    top += 1;  // plain 32-bit arithmetic
    EXPECT_EQ(top, NfaStateID(0));
}

TEST(Ids, TextForms) {
    EXPECT_EQ(display_string(NfaStateID(0)), "0");
    EXPECT_EQ(display_string(NfaStateID(7)), "7");
    EXPECT_EQ(debug_string(NfaStateID(0)), "NfaStateID(0)");
    EXPECT_EQ(debug_string(DfaStateID(12)), "DfaStateID(12)");
    EXPECT_EQ(debug_string(TokenTypeID(3)), "TokenTypeID(3)");
    EXPECT_EQ(debug_string(DisjointCharClassID(0)), "DisjointCharClassID(0)");
    EXPECT_EQ(alternate_debug_string(TokenTypeID(3)), "TokenTypeID(\n    3,\n)");
}

TEST(Ids, TypedIndexingReadsWritesAndRejectsOutOfRange) {
    std::vector<int> values{10, 20, 30};
    at(values, DfaStateID(1)) = 21;
    EXPECT_EQ(values[1], 21);
    std::span<const int> view(values);
    EXPECT_EQ(at(view, StateGroupID(2)), 30);
    try {
        (void)at(values, NfaStateID(3));
        FAIL() << "expected an internal error";
    } catch (const base::InternalError& error) {
        EXPECT_STREQ(error.what(), "index out of bounds: the len is 3 but the index is 3");
    }
}

}  // namespace
}  // namespace quarn::generate
