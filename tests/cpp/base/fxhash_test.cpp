#include "quarn/base/fxhash.hpp"

#include <gtest/gtest.h>

#include "quarn/base/result.hpp"

namespace quarn::base {
namespace {

TEST(FxHash, IsDeterministicAndSpreadsSmallKeys) {
    EXPECT_EQ(fx_hash_u64(0), 0u);
    EXPECT_EQ(fx_hash_u64(1), kFxSeed);
    EXPECT_NE(FxHash{}(1u), FxHash{}(2u));
    EXPECT_EQ(fx_hash_bytes("abcdefghij"), fx_hash_bytes("abcdefghij"));
    EXPECT_NE(fx_hash_bytes("abcdefghij"), fx_hash_bytes("abcdefghik"));
}

TEST(Result, HoldsValueOrError) {
    Result<int, std::string> ok = 3;
    Result<int, std::string> bad = err(std::string("no"));
    ASSERT_TRUE(ok.ok());
    EXPECT_EQ(ok.value(), 3);
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error(), "no");
}

}  // namespace
}  // namespace quarn::base
