// Long scans and constructions stop when the host's interrupt check asks,
// leaving the scan where it stood before the token being searched.
#include <gtest/gtest.h>

#include <string>

#include "interrupt_hook.hpp"
#include "quarn/base/interrupt.hpp"
#include "quarn/pipeline/build_scanner.hpp"
#include "quarn/runtime/find_matches.hpp"

namespace quarn::pipeline {
namespace {

// Every position starts an attempt that reads up to 30 characters and fails.
constexpr std::string_view kSlowScan = R"(Slow {
    mode A { token "y" => 1; on 1 push B; }
    mode B { token r"a{1,30}b" => 2; token "y" => 1; on 1 pop; }
})";

Scanner build(std::string_view definition) {
    auto built = build_scanner(definition);
    if (!built)
        throw std::runtime_error(built.error().message);
    return std::move(built).value();
}

TEST(Interrupt, StopsALongScanWithoutMovingItsModeState) {
    const Scanner scanner = build(kSlowScan);
    const std::string text = "y" + std::string(2'000'000, 'a') + "y";
    const auto valid = runtime::validate_utf8(text).value();
    runtime::ModeState state;
    {
        test_support::InterruptHook never;
        auto matches = scanner->find_matches(valid, state);
        while (matches.next_match()) {
        }
        EXPECT_GT(never.calls(), 100u);  // far more work than one interval
        EXPECT_EQ(state.mode, 0u);
    }
    test_support::InterruptHook hook(3);
    auto matches = scanner->find_matches(valid, state);
    ASSERT_TRUE(matches.next_match());  // "y": pushes B
    const runtime::ModeState before = state;
    EXPECT_THROW(matches.next_match(), base::Interrupted);
    EXPECT_EQ(hook.calls(), 4u);  // stopped at the first "stop", long before the end
    EXPECT_EQ(state, before);
}

TEST(Interrupt, StopsALongConstruction) {
    // Over a million steps of subset construction.
    const std::string definition = R"(D { mode M { token r"[a-z]{1,300}[0-9]{1,300}" => 1; } })";
    {
        test_support::InterruptHook never;
        build(definition);
        ASSERT_GT(never.calls(), 2u);
    }
    test_support::InterruptHook hook(1);
    EXPECT_THROW(build(definition), base::Interrupted);
    EXPECT_EQ(hook.calls(), 2u);
}

}  // namespace
}  // namespace quarn::pipeline
