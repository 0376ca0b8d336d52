// Cost of the Unicode queries the regex front end and the definition tokenizer make:
// building the sets of \w \s \d \p{L} (copied out as the front end does), the costliest
// lookup (a cumulative Age), and the per-character identifier predicates.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "quarn/unicode/unicode.hpp"

namespace {

using quarn::unicode::Range;

void copy_set(benchmark::State& state, quarn::unicode::RangeSet (*set)()) {
    for (auto _ : state) {
        std::vector<Range> ranges(set().begin(), set().end());
        benchmark::DoNotOptimize(ranges.data());
    }
}

void BM_PerlWord(benchmark::State& state) {
    copy_set(state, quarn::unicode::perl_word);
}
void BM_PerlSpace(benchmark::State& state) {
    copy_set(state, quarn::unicode::perl_space);
}
void BM_PerlDigit(benchmark::State& state) {
    copy_set(state, quarn::unicode::perl_digit);
}

// Baseline: copying a plain vector as large as \p{L}, without any lookup.
void BM_CopyBaseline(benchmark::State& state) {
    const std::vector<Range> letters = quarn::unicode::lookup_lone_name("L").ranges;
    for (auto _ : state) {
        std::vector<Range> copy(letters);
        benchmark::DoNotOptimize(copy.data());
    }
}

void BM_LetterCategory(benchmark::State& state) {
    for (auto _ : state) {
        auto result = quarn::unicode::lookup_lone_name("L");
        benchmark::DoNotOptimize(result.ranges.data());
    }
}

void BM_ScriptExtensions(benchmark::State& state) {
    for (auto _ : state) {
        auto result = quarn::unicode::lookup_name_value("Script_Extensions", "Greek");
        benchmark::DoNotOptimize(result.ranges.data());
    }
}

void BM_CumulativeAge(benchmark::State& state) {
    for (auto _ : state) {
        auto result = quarn::unicode::lookup_name_value("age", "15.0");
        benchmark::DoNotOptimize(result.ranges.data());
    }
}

// One identifier character at a time, as the definition tokenizer asks.
void BM_XidContinuePerCharacter(benchmark::State& state) {
    const std::u32string text = U"token_name_2 Größe δείγμα 識別子 ";
    for (auto _ : state) {
        int count = 0;
        for (char32_t c : text) {
            count += quarn::unicode::is_xid_continue(c) ? 1 : 0;
        }
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

BENCHMARK(BM_CopyBaseline);
BENCHMARK(BM_PerlWord);
BENCHMARK(BM_PerlSpace);
BENCHMARK(BM_PerlDigit);
BENCHMARK(BM_LetterCategory);
BENCHMARK(BM_ScriptExtensions);
BENCHMARK(BM_CumulativeAge);
BENCHMARK(BM_XidContinuePerCharacter);

}  // namespace

BENCHMARK_MAIN();
