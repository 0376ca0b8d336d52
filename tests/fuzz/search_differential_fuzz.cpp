// The whole pipeline against the reference search of the tests: a definition
// of up to three modes built from the input's bytes (token patterns over a
// small alphabet, lookaheads, enter/push/pop), then a text of up to a few KB
// over the same alphabet. Both iterators must give the reference's tokens,
// positions and final mode state.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "quarn/base/errors.hpp"
#include "quarn/pipeline/build_scanner.hpp"
#include "quarn/runtime/find_matches.hpp"
#include "reference_search.hpp"

namespace {

// Regex pieces: reads that end at once, reads to the end of a run, classes,
// alternations, bounded repeats, line ends and multi-byte characters.
constexpr const char* kPieces[] = {
    "a",   "b",       "x",      "[ab]",   "[^a]",    ".",    "a*",       "b+",
    "x?",  "(ab|b)",  "[a-x]*", "a{1,3}", "\\n",     "é",    "(?:é|a)+", "[^\\n]*",
    "\\s", "(a|ab)*", "\\w",    "b{2}",   "x[a-z]*", "[éb]", "(?i)A",    "\\d?",
};
constexpr const char* kText[] = {"a", "b", "x", " ", "\n", "é", "1", "A", "\r\n", "€"};

std::string pattern(FuzzedDataProvider& data) {
    std::string text;
    const int pieces = data.ConsumeIntegralInRange(1, 4);
    for (int i = 0; i < pieces; ++i)
        text += kPieces[data.ConsumeIntegralInRange<std::size_t>(0, std::size(kPieces) - 1)];
    return text;
}

std::string definition(FuzzedDataProvider& data) {
    const int modes = data.ConsumeIntegralInRange(1, 3);
    std::string text = "D {\n";
    for (int m = 0; m < modes; ++m) {
        text += "mode M" + std::to_string(m) + " {\n";
        const int tokens = data.ConsumeIntegralInRange(1, 4);
        for (int t = 0; t < tokens; ++t) {
            text += "token r\"" + pattern(data) + "\"";
            switch (data.ConsumeIntegralInRange(0, 3)) {
                case 0:
                    text += " followed by r\"" + pattern(data) + "\"";
                    break;
                case 1:
                    text += " not followed by r\"" + pattern(data) + "\"";
                    break;
                default:
                    break;
            }
            text += " => " + std::to_string(data.ConsumeIntegralInRange(1, 4)) + ";\n";
        }
        for (int type = 1; type <= 4; ++type) {
            const std::string target =
                "M" + std::to_string(data.ConsumeIntegralInRange(0, modes - 1));
            switch (data.ConsumeIntegralInRange(0, 4)) {
                case 0:
                    text += "on " + std::to_string(type) + " enter " + target + ";\n";
                    break;
                case 1:
                    text += "on " + std::to_string(type) + " push " + target + ";\n";
                    break;
                case 2:
                    text += "on " + std::to_string(type) + " pop;\n";
                    break;
                default:
                    break;
            }
        }
        text += "}\n";
    }
    return text + "}\n";
}

std::vector<quarn::runtime::Match> drain(auto matches) {
    std::vector<quarn::runtime::Match> result;
    while (auto match = matches.next_match())
        result.push_back(*match);
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const std::string source = definition(data);
    std::string text;
    while (data.remaining_bytes() > 0 && text.size() < 4096)
        text += kText[data.ConsumeIntegralInRange<std::size_t>(0, std::size(kText) - 1)];
    quarn::pipeline::Scanner scanner;
    try {
        auto built = quarn::pipeline::build_scanner(source);
        if (!built)
            return 0;  // e.g. a lookahead that matches the empty string
        scanner = std::move(built).value();
    } catch (const quarn::base::InternalError&) {
        return 0;
    }
    using quarn::runtime::ModeState;
    ModeState expected_state;
    const auto expected = quarn::test_support::reference_scan(*scanner, expected_state, text);
    const auto valid = quarn::runtime::validate_utf8(text).value();
    ModeState positioned;
    ModeState plain;
    const auto with_positions = drain(scanner->find_matches_with_position(valid, positioned));
    const auto without = drain(scanner->find_matches(valid, plain));
    if (with_positions != expected || positioned != expected_state || plain != expected_state ||
        without.size() != expected.size()) {
        std::abort();
    }
    for (std::size_t i = 0; i < without.size(); ++i) {
        if (without[i].span != expected[i].span || without[i].token_type != expected[i].token_type)
            std::abort();
    }
    return 0;
}
