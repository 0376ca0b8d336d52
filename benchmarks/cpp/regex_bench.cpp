// Cost of parsing the patterns scanner definitions use most: the Unicode Perl
// classes, a general category, and a case-insensitive keyword, each against
// the baseline of a plain 20-letter literal parsed in the same run.
#include <benchmark/benchmark.h>

#include <string>

#include "quarn/regex/parse.hpp"

namespace {

void parse_pattern(benchmark::State& state, const std::string& pattern) {
    for (auto _ : state) {
        auto result = quarn::regex::parse(pattern);
        if (!result.ok())
            state.SkipWithError("pattern rejected");
        benchmark::DoNotOptimize(result);
    }
}

const std::string kWord = "implementationdetail";  // 20 letters

void BM_LiteralBaseline(benchmark::State& state) {
    parse_pattern(state, kWord);
}
void BM_Word(benchmark::State& state) {
    parse_pattern(state, "\\w");
}
void BM_Space(benchmark::State& state) {
    parse_pattern(state, "\\s");
}
void BM_Digit(benchmark::State& state) {
    parse_pattern(state, "\\d");
}
void BM_Letter(benchmark::State& state) {
    parse_pattern(state, "\\p{L}");
}
void BM_CaseInsensitiveWord(benchmark::State& state) {
    parse_pattern(state, "(?i)" + kWord);
}
void BM_Identifier(benchmark::State& state) {
    parse_pattern(state, "[\\w--\\d]\\w*");
}
void BM_CaseInsensitiveLetter(benchmark::State& state) {
    parse_pattern(state, "(?i)\\p{L}");
}

BENCHMARK(BM_LiteralBaseline);
BENCHMARK(BM_Word);
BENCHMARK(BM_Space);
BENCHMARK(BM_Digit);
BENCHMARK(BM_Letter);
BENCHMARK(BM_CaseInsensitiveWord);
BENCHMARK(BM_Identifier);
BENCHMARK(BM_CaseInsensitiveLetter);

}  // namespace

BENCHMARK_MAIN();
