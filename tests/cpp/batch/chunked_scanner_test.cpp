// A text fed in pieces gives exactly the tokens of the whole text, whatever
// the cuts: inside tokens, inside UTF-8 sequences, inside what lookaheads read.
#include "quarn/batch/chunked_scanner.hpp"

#include <gtest/gtest.h>

#include "columns_compare.hpp"
#include "quarn/batch/scan_text.hpp"
#include "random_scanners.hpp"

namespace quarn::batch::testing {
namespace {

TokenColumns whole_scan(const pipeline::Scanner& scanner, std::string_view text,
                        const ScanOptions& options, ScanState& state) {
    TokenColumns out;
    scan_text(*scanner, runtime::ValidatedUtf8::trusted(text), options, state, out);
    return out;
}

// Feeds `text` in pieces of random sizes up to `max_piece` bytes.
TokenColumns chunked_scan(const pipeline::Scanner& scanner, std::string_view text,
                          const ScanOptions& options, std::mt19937& rng, std::size_t max_piece,
                          ScanState initial = {}, ScanState* final_state = nullptr) {
    ChunkedScanner chunked(scanner, options, std::move(initial));
    TokenColumns out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t piece = 1 + rng() % max_piece;
        EXPECT_TRUE(chunked.feed(text.substr(at, piece), out));
        at += piece;
    }
    EXPECT_TRUE(chunked.finish(out));
    if (final_state != nullptr)
        *final_state = chunked.state();
    return out;
}

TEST(ChunkedScanner, PiecesGiveTheTokensOfTheWholeText) {
    std::mt19937 rng(21);
    for (int round = 0; round < 300; ++round) {
        const pipeline::Scanner scanner = random_scanner(rng);
        const std::string text = random_text(rng, 50);
        const ScanOptions options{rng() % 2 == 0,
                                  rng() % 2 == 0 ? Offsets::Bytes : Offsets::CodePoints};
        ScanState whole_state;
        const std::vector<Row> expected = rows(whole_scan(scanner, text, options, whole_state));
        for (const std::size_t max_piece : {1, 2, 3, 7, 64}) {
            ScanState state;
            ASSERT_EQ(rows(chunked_scan(scanner, text, options, rng, max_piece, {}, &state)),
                      expected)
                << text << " pieces up to " << max_piece;
            ScanState counted = whole_state;
            advance_counters(counted, text);
            ASSERT_EQ(state, counted);
        }
    }
}

// A scan stopped after some pieces resumes from its state with the input
// from the state's byte offset and completes the whole scan's tokens.
TEST(ChunkedScanner, StateResumesAStoppedScan) {
    std::mt19937 rng(22);
    for (int round = 0; round < 200; ++round) {
        const pipeline::Scanner scanner = random_scanner(rng);
        const std::string text = random_text(rng, 50);
        const ScanOptions options{true, Offsets::CodePoints};
        ScanState whole_state;
        const std::vector<Row> expected = rows(whole_scan(scanner, text, options, whole_state));

        ChunkedScanner first(scanner, options, {});
        TokenColumns out;
        const std::size_t stop = text.empty() ? 0 : rng() % text.size();
        for (std::size_t at = 0; at < stop; ++at)
            ASSERT_TRUE(first.feed(std::string_view(text).substr(at, 1), out));
        const ScanState resume = first.state();
        ASSERT_LE(resume.byte_offset, stop);
        const TokenColumns rest = chunked_scan(
            scanner, std::string_view(text).substr(resume.byte_offset), options, rng, 4, resume);
        out.append(rest);
        ASSERT_EQ(rows(out), expected) << text << " stopped at " << stop;
    }
}

TEST(ChunkedScanner, InvalidUtf8IsReportedAtItsOffsetInTheInput) {
    auto built = pipeline::build_scanner(R"(S { mode M { token "[a-z]+" => 1; } })");
    ASSERT_TRUE(built);
    const pipeline::Scanner scanner = *built;
    struct Case {
        std::string text;
        std::size_t offset;
    };
    const Case cases[] = {
        {"abc\xFFz", 3},              // a byte that starts nothing
        {"ab\xC3(", 2},               // a sequence broken by an ASCII byte
        {"ab\xED\xA0\x80", 2},        // an encoded surrogate
        {"abcdef\xE2\x82", 6},        // cut off by the end of the input
        {"\xF0\x9F\x98\x80\xC0", 4},  // an overlong lead byte after a whole character
    };
    for (const Case& c : cases) {
        for (const std::size_t piece : {1, 2, 100}) {
            ScanState initial;
            initial.byte_offset = 1000;
            ChunkedScanner chunked(scanner, {}, initial);
            TokenColumns out;
            std::optional<std::size_t> offset;
            for (std::size_t at = 0; at < c.text.size() && !offset; at += piece) {
                auto fed = chunked.feed(std::string_view(c.text).substr(at, piece), out);
                if (!fed)
                    offset = fed.error().valid_up_to;
            }
            if (!offset) {
                auto finished = chunked.finish(out);
                ASSERT_FALSE(finished) << c.text;
                offset = finished.error().valid_up_to;
            }
            EXPECT_EQ(*offset, 1000 + c.offset) << c.text << " in pieces of " << piece;
        }
    }
}

// Text that only a long lookahead can decide is held, not cut: with pieces
// of one byte, each token still waits for the character that decides it.
TEST(ChunkedScanner, HoldsBackOnlyWhatIsUndecided) {
    auto built = pipeline::build_scanner(
        R"(S { mode M { token "a" followed by r#"(?s).*!"# => 1; token "a" => 2; } })");
    ASSERT_TRUE(built);
    ChunkedScanner chunked(*built, {}, {});
    TokenColumns out;
    std::string text(50, 'a');
    for (char ch : text)
        ASSERT_TRUE(chunked.feed(std::string_view(&ch, 1), out));
    EXPECT_EQ(out.size(), 0u);  // each `a` could still be followed by a `!`
    // Held text is scanned again once it has doubled.
    ASSERT_TRUE(chunked.feed("!" + std::string(49, ' '), out));
    EXPECT_EQ(out.size(), 50u);
    EXPECT_EQ(out.types[49], 1u);
    EXPECT_EQ(chunked.held_bytes(), 50u);  // `!` and spaces start no token, but more could follow
    ASSERT_TRUE(chunked.finish(out));
    EXPECT_EQ(out.size(), 50u);
    EXPECT_EQ(chunked.held_bytes(), 0u);
}

}  // namespace
}  // namespace quarn::batch::testing
