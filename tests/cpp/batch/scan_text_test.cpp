// Column scans against the match iterators they are built on.
#include "quarn/batch/scan_text.hpp"

#include <gtest/gtest.h>

#include "columns_compare.hpp"
#include "quarn/runtime/find_matches.hpp"
#include "random_scanners.hpp"

namespace quarn::batch::testing {
namespace {

runtime::ValidatedUtf8 valid(std::string_view text) {
    return runtime::ValidatedUtf8::trusted(text);
}

// The iterator's matches as rows; `chars` turns byte offsets into code points.
std::vector<Row> expected_rows(const runtime::CompiledScanner& scanner, std::string_view text,
                               bool chars) {
    runtime::ModeState modes;
    auto matches = scanner.find_matches_with_position(valid(text), modes);
    std::vector<Row> result;
    const auto offset = [&](std::size_t byte) {
        return static_cast<std::int64_t>(chars ? count_chars(text.substr(0, byte)) : byte);
    };
    while (auto match = matches.next_match()) {
        const runtime::Positions& p = *match->positions;
        result.push_back({static_cast<std::int64_t>(match->token_type), offset(match->span.start),
                          offset(match->span.end), static_cast<std::int64_t>(p.start_position.line),
                          static_cast<std::int64_t>(p.start_position.column),
                          static_cast<std::int64_t>(p.end_position.line),
                          static_cast<std::int64_t>(p.end_position.column), -1});
    }
    return result;
}

std::vector<Row> without_positions(std::vector<Row> rows) {
    for (Row& row : rows)
        row[3] = row[4] = row[5] = row[6] = 0;
    return rows;
}

TEST(ScanText, AgreesWithTheMatchIteratorOnRandomScanners) {
    std::mt19937 rng(11);
    for (int round = 0; round < 150; ++round) {
        const pipeline::Scanner scanner = random_scanner(rng);
        const std::string text = random_text(rng, 40);
        for (const bool chars : {false, true}) {
            const std::vector<Row> expected = expected_rows(*scanner, text, chars);
            const Offsets offsets = chars ? Offsets::CodePoints : Offsets::Bytes;
            TokenColumns with;
            ScanState state;
            scan_text(*scanner, valid(text), {true, offsets}, state, with);
            ASSERT_EQ(rows(with), expected) << text;
            TokenColumns without;
            ScanState fresh;
            scan_text(*scanner, valid(text), {false, offsets}, fresh, without);
            ASSERT_EQ(rows(without), without_positions(expected)) << text;
            ASSERT_EQ(state.modes, fresh.modes);
        }
    }
}

TEST(ScanMany, EqualsOneScanPerDocumentOnAnyNumberOfThreads) {
    std::mt19937 rng(13);
    for (int round = 0; round < 30; ++round) {
        const pipeline::Scanner scanner = random_scanner(rng);
        std::vector<std::string> texts(rng() % 12);
        for (std::string& text : texts)
            text = random_text(rng, 30);
        std::vector<runtime::ValidatedUtf8> documents;
        std::vector<Row> expected;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            documents.push_back(valid(texts[i]));
            TokenColumns one;
            ScanState state;
            scan_text(*scanner, documents.back(), {true, Offsets::Bytes}, state, one);
            for (Row row : rows(one)) {
                row[7] = static_cast<std::int64_t>(i);
                expected.push_back(row);
            }
        }
        for (const std::size_t threads : {1, 2, 5}) {
            const TokenColumns all =
                scan_many(*scanner, documents, {true, Offsets::Bytes}, threads);
            ASSERT_EQ(rows(all), expected) << threads;
        }
    }
}

TEST(Counters, PositionAfterCountsCharactersAndLineFeeds) {
    EXPECT_EQ(count_chars("aé😀\n"), 4u);
    EXPECT_EQ(count_chars("éééééééééé"), 10u);  // more than one eight-byte word
    EXPECT_EQ(position_after({3, 4}, "ab"), (runtime::Position{3, 6}));
    EXPECT_EQ(position_after({3, 4}, "a\néé\r"), (runtime::Position{4, 4}));
    EXPECT_EQ(position_after({3, 4}, "a\n"), (runtime::Position{4, 1}));
}

}  // namespace
}  // namespace quarn::batch::testing
