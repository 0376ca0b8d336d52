#include "quarn/quarn.hpp"

#include <gtest/gtest.h>

#include <thread>

#include "worked_example.hpp"

namespace {

using quarn::Token;

TEST(Api, VectorAndCallbackScansAgreeAndCarryTheModeState) {
    const quarn::Scanner scanner = quarn::Scanner::compile(quarn::test_support::kWorkedExample);
    ASSERT_EQ(scanner.mode_count(), 2u);
    EXPECT_EQ(scanner.mode_name(1), "STRING");
    const std::string text = "x \"a b";
    const std::vector<Token> tokens = scanner.scan(text, true);
    ASSERT_EQ(tokens.size(), 4u);  // x, space, quote, string body
    EXPECT_EQ(tokens[3].type, 6u);
    EXPECT_EQ((std::pair{tokens[3].start, tokens[3].end}),
              (std::pair<std::size_t, std::size_t>{3, 6}));
    EXPECT_EQ(tokens[3].start_column, 4u);

    quarn::ModeState state;
    std::vector<Token> seen;
    scanner.scan(text, state, false, [&](const Token& token) {
        seen.push_back(token);
        return seen.size() < 2;  // stop after two
    });
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].start_line, 0u);  // no positions asked for

    // The state left inside the string goes on there.
    quarn::ModeState inside;
    (void)scanner.scan("\"", inside);
    EXPECT_EQ(inside.mode(), 1u);
    EXPECT_EQ(inside.stack(), std::vector<std::size_t>{0});
    EXPECT_EQ(scanner.scan("x y", inside).front().type, 6u);
}

TEST(Api, ThreadsShareOneScanner) {
    const quarn::Scanner scanner = quarn::Scanner::compile(quarn::test_support::kWorkedExample);
    const std::vector<Token> expected = scanner.scan("abc 12. -x \"s\" ");
    std::vector<std::thread> threads;
    std::vector<bool> same(4);
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            bool ok = true;
            for (int k = 0; k < 200; ++k) {
                const auto tokens = scanner.scan("abc 12. -x \"s\" ");
                ok = ok && tokens.size() == expected.size();
            }
            same[i] = ok;
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(same, std::vector<bool>(4, true));
}

TEST(Api, ErrorsAreExceptionsWithLocations) {
    try {
        (void)quarn::Scanner::compile("S {\n mode A { token \"a\" => ; }\n}");
        FAIL();
    } catch (const quarn::DefinitionError& error) {
        EXPECT_EQ(error.line(), 2u);
        EXPECT_EQ(error.column(), 24u);
        EXPECT_STREQ(error.what(), "Failed to parse scanner definition: expected integer literal");
    }
    try {
        (void)quarn::Scanner::compile("S { mode A {\n token \"a\" => 1;\n token \"(\" => 2; } }");
        FAIL();
    } catch (const quarn::DefinitionError& error) {
        EXPECT_EQ(error.line(), 3u);
        EXPECT_EQ(error.column(), 2u);
    }
    const quarn::Scanner scanner = quarn::Scanner::compile("S { mode A { token \"a\" => 1; } }");
    try {
        (void)scanner.scan("aa\xff");
        FAIL();
    } catch (const quarn::Utf8Error& error) {
        EXPECT_EQ(error.offset(), 2u);
    }
}

}  // namespace
