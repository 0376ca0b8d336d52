// String-array scans against one plain scan per document.
#include "quarn/batch/string_array.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "columns_compare.hpp"
#include "quarn/batch/scan_text.hpp"
#include "random_scanners.hpp"

namespace quarn::batch::testing {
namespace {

// Documents in the columnar layout, preceded by `skip` documents that the
// view leaves out (as a slice of a larger array would); absent ones are nullopt.
template <class Offset>
struct Layout {
    std::vector<Offset> offsets{0};
    std::string data;
    std::vector<std::uint8_t> bits;
    std::size_t skip = 0;

    Layout(const std::vector<std::optional<std::string>>& documents, std::size_t skipped)
        : skip(skipped) {
        bits.assign((documents.size() + skipped + 8) / 8, 0);
        for (std::size_t i = 0; i < skipped; ++i) {
            data += "zz";
            offsets.push_back(static_cast<Offset>(data.size()));
        }
        for (std::size_t i = 0; i < documents.size(); ++i) {
            if (documents[i]) {
                data += *documents[i];
                bits[(i + skipped) / 8] |= static_cast<std::uint8_t>(1u << ((i + skipped) % 8));
            }
            offsets.push_back(static_cast<Offset>(data.size()));
        }
    }
    StringArray<Offset> view() const {
        return {std::span<const Offset>(offsets).subspan(skip), data, bits.data(), skip};
    }
};

template <class Offset>
void check_random_arrays() {
    std::mt19937 rng(13);
    for (int round = 0; round < 60; ++round) {
        const pipeline::Scanner scanner = random_scanner(rng);
        std::vector<std::optional<std::string>> documents;
        for (std::size_t i = rng() % 7; i > 0; --i) {
            if (rng() % 4 == 0)
                documents.push_back(std::nullopt);
            else
                documents.push_back(random_text(rng, 12));
        }
        const Layout<Offset> layout(documents, rng() % 11);
        const StringArray<Offset> array = layout.view();
        const ScanOptions options{rng() % 2 == 0, Offsets::Bytes};
        auto scanned = scan_string_array(*scanner, array, options, 1 + rng() % 3);
        ASSERT_TRUE(scanned);
        const TokenColumns& tokens = *scanned;

        TokenColumns expected;
        std::vector<Offset> bounds{0};
        std::string texts;
        for (std::size_t i = 0; i < documents.size(); ++i) {
            TokenColumns one;
            ScanState state;
            const std::string text = documents[i].value_or("");
            scan_text(*scanner, runtime::ValidatedUtf8::trusted(text), options, state, one);
            for (std::size_t k = 0; k < one.size(); ++k) {
                one.documents.push_back(static_cast<std::uint32_t>(i));
                texts += text.substr(static_cast<std::size_t>(one.starts[k]),
                                     static_cast<std::size_t>(one.ends[k] - one.starts[k]));
            }
            expected.append(one);
            bounds.push_back(static_cast<Offset>(expected.size()));
        }
        ASSERT_EQ(rows(tokens), rows(expected));

        std::vector<Offset> list_offsets(documents.size() + 1);
        token_list_offsets<Offset>(tokens.documents, list_offsets);
        EXPECT_EQ(list_offsets, bounds);

        std::vector<std::uint8_t> validity((documents.size() + 7) / 8, 0xFF);
        copy_validity(array, std::span<std::uint8_t>(validity));
        for (std::size_t i = 0; i < validity.size() * 8; ++i) {
            const bool bit = (validity[i / 8] >> (i % 8)) & 1;
            EXPECT_EQ(bit, i < documents.size() && documents[i].has_value());
        }

        std::vector<std::int64_t> text_offsets(tokens.size() + 1);
        std::string gathered(token_text_bytes(tokens), '\0');
        gather_token_texts(tokens, array, std::span<std::int64_t>(text_offsets),
                           std::span<char>(gathered));
        EXPECT_EQ(gathered, texts);
        for (std::size_t k = 0; k < tokens.size(); ++k)
            EXPECT_EQ(text_offsets[k + 1] - text_offsets[k], tokens.ends[k] - tokens.starts[k]);
    }
}

TEST(StringArray, ScansEachDocumentAsAPlainScanDoes) {
    check_random_arrays<std::int32_t>();
    check_random_arrays<std::int64_t>();
}

TEST(StringArray, RejectsBrokenOffsetsAndInvalidUtf8WithTheirPlace) {
    std::mt19937 rng(5);
    const pipeline::Scanner scanner = random_scanner(rng);
    const std::string data = "ab\xC3(cd";
    const std::vector<std::int64_t> descending{0, 2, 1};
    const std::vector<std::int64_t> beyond{0, 2, 99};
    const std::vector<std::int64_t> negative{-1, 2};
    for (const auto* offsets : {&descending, &beyond, &negative}) {
        auto result = scan_string_array(*scanner, StringArray<std::int64_t>{*offsets, data}, {}, 1);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().kind, StringArrayError::Kind::Layout);
    }
    const std::vector<std::int64_t> fine{0, 2, 6};
    auto bad = scan_string_array(*scanner, StringArray<std::int64_t>{fine, data}, {}, 2);
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().kind, StringArrayError::Kind::InvalidUtf8);
    EXPECT_EQ(bad.error().document, 1u);
    EXPECT_EQ(bad.error().offset, 0u);
    // The same bytes, absent, are not read.
    const std::uint8_t first_only = 0b01;
    auto skipped =
        scan_string_array(*scanner, StringArray<std::int64_t>{fine, data, &first_only, 0}, {}, 2);
    EXPECT_TRUE(skipped);
}

}  // namespace
}  // namespace quarn::batch::testing
