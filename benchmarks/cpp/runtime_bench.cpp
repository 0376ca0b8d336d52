// Scan throughput of the runtime on ~10 MB of generated JSON-like text with a
// hand-built table: whitespace, strings with escapes, numbers, punctuation and
// the keywords true, false and null.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "quarn/runtime/compiled_scanner.hpp"
#include "quarn/runtime/find_matches.hpp"
#include "quarn/runtime/match_function.hpp"

namespace {

using namespace quarn::runtime;

// Character classes: every listed character has its own; everything else is OTHER.
constexpr char kClassChars[] = " \t\n\r\"\\0123456789-.{}[]:,truefalsn";
enum Cls : ClassIndex {
    WS,
    QUOTE,
    BACKSLASH,
    DIGIT,
    MINUS,
    DOT,
    PUNCT0,
    T = PUNCT0 + 6,
    OTHER = T + 9
};

ClassIndex class_of_char(char c) {
    static const std::string letters = "truefalsn";
    static const std::string punct = "{}[]:,";
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
        return WS;
    if (c == '"')
        return QUOTE;
    if (c == '\\')
        return BACKSLASH;
    if (c >= '0' && c <= '9')
        return DIGIT;
    if (c == '-')
        return MINUS;
    if (c == '.')
        return DOT;
    if (punct.find(c) != std::string::npos)
        return PUNCT0 + static_cast<ClassIndex>(punct.find(c));
    return T + static_cast<ClassIndex>(letters.find(c));
}

MatchFunction json_match_function() {
    std::vector<char32_t> specials(std::begin(kClassChars), std::end(kClassChars) - 1);
    std::sort(specials.begin(), specials.end());
    specials.erase(std::unique(specials.begin(), specials.end()), specials.end());
    std::vector<CharRange> intervals;
    std::vector<std::vector<CharRange>> groups(OTHER + 1);
    char32_t next = 0;
    for (char32_t c : specials) {
        if (next < c) {
            intervals.push_back({next, c - 1});
            groups[OTHER].push_back(intervals.back());
        }
        intervals.push_back({c, c});
        groups[class_of_char(static_cast<char>(c))].push_back(intervals.back());
        next = c + 1;
    }
    intervals.push_back({next, 0x10FFFF});
    groups[OTHER].push_back(intervals.back());
    return MatchFunction(intervals, groups);
}

class Builder {
  public:
    StateIndex add(std::optional<TokenType> accept = std::nullopt) {
        DfaState state;
        state.transitions.resize(OTHER + 1);
        if (accept)
            state.accept_data.push_back(AcceptData{{}, *accept, 0});
        states_.push_back(std::move(state));
        return static_cast<StateIndex>(states_.size() - 1);
    }
    void move(StateIndex from, ClassIndex cls, StateIndex to) {
        states_[from].transitions[cls] = DfaTransition{to};
    }
    // Follows or creates moves spelling `word`; the last state accepts `type`.
    void keyword(const std::string& word, TokenType type) {
        StateIndex state = 0;
        for (char c : word) {
            auto& entry = states_[state].transitions[class_of_char(c)];
            if (!entry) {
                const StateIndex next = add();
                states_[state].transitions[class_of_char(c)] = DfaTransition{next};
            }
            state = states_[state].transitions[class_of_char(c)]->to;
        }
        states_[state].accept_data.push_back(AcceptData{{}, type, 0});
    }
    Dfa build() { return Dfa(states_); }

  private:
    std::vector<DfaState> states_;
};

std::shared_ptr<const CompiledScanner> json_scanner() {
    Builder b;
    const StateIndex start = b.add();
    const StateIndex ws = b.add(1);
    b.move(start, WS, ws);
    b.move(ws, WS, ws);

    const StateIndex str = b.add();
    const StateIndex escape = b.add();
    const StateIndex str_end = b.add(2);
    b.move(start, QUOTE, str);
    for (ClassIndex c = 0; c <= OTHER; ++c) {
        b.move(str, c, str);
        b.move(escape, c, str);
    }
    b.move(str, BACKSLASH, escape);
    b.move(str, QUOTE, str_end);

    const StateIndex minus = b.add();
    const StateIndex integer = b.add(3);
    const StateIndex dot = b.add();
    const StateIndex fraction = b.add(3);
    b.move(start, MINUS, minus);
    b.move(start, DIGIT, integer);
    b.move(minus, DIGIT, integer);
    b.move(integer, DIGIT, integer);
    b.move(integer, DOT, dot);
    b.move(dot, DIGIT, fraction);
    b.move(fraction, DIGIT, fraction);

    for (ClassIndex p = 0; p < 6; ++p)
        b.move(start, PUNCT0 + p, b.add(4 + p));
    b.keyword("true", 10);
    b.keyword("false", 11);
    b.keyword("null", 12);

    std::vector<ScannerMode> modes;
    modes.push_back(ScannerMode{"INITIAL", {}, b.build()});
    return CompiledScanner::create(std::move(modes), {}, json_match_function());
}

std::string json_text(std::size_t target_bytes) {
    std::mt19937 rng(7);
    std::string s = "[\n";
    for (int i = 0; s.size() < target_bytes; ++i) {
        s += "  {\"id\": " + std::to_string(rng() % 100000) + ", \"name\": \"item " +
             std::to_string(i) + "\", \"tags\": [\"alpha\", \"beta\\\"q\\\"\"], \"active\": " +
             (rng() % 2 ? "true" : "false") + ", \"score\": -" + std::to_string(rng() % 1000) +
             "." + std::to_string(rng() % 100) + ", \"next\": null},\n";
    }
    s += "  {}\n]\n";
    return s;
}

const std::string& input() {
    static const std::string text = json_text(10 << 20);
    return text;
}

// The same scanner over ~10 MB of long strings (about 60 bytes per token):
// per-character cost rather than per-token cost.
const std::string& long_strings_input() {
    static const std::string text = [] {
        std::string s = "[";
        while (s.size() < (10 << 20)) {
            s += "\"lorem ipsum dolor sit amet, consectetur adipiscing elit sed do\",";
        }
        return s + "null]";
    }();
    return text;
}

template <class MakeIter>
void run(benchmark::State& state, MakeIter make, const std::string& input = ::input()) {
    const auto scanner = json_scanner();
    const auto text = validate_utf8(input);
    std::size_t tokens = 0;
    for (auto _ : state) {
        ModeState modes;
        auto matches = make(*scanner, text.value(), modes);
        std::size_t count = 0;
        Match match;
        while (matches.next_match(match)) {
            benchmark::DoNotOptimize(match.span.end);
            ++count;
        }
        tokens = count;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
    state.counters["tokens"] = static_cast<double>(tokens);
    state.counters["tokens_per_s"] = benchmark::Counter(
        static_cast<double>(tokens * state.iterations()), benchmark::Counter::kIsRate);
}

void BM_FindMatches(benchmark::State& state) {
    run(state, [](const CompiledScanner& scanner, ValidatedUtf8 text, ModeState& modes) {
        return scanner.find_matches(text, modes);
    });
}

void BM_FindMatchesWithPosition(benchmark::State& state) {
    run(state, [](const CompiledScanner& scanner, ValidatedUtf8 text, ModeState& modes) {
        return scanner.find_matches_with_position(text, modes);
    });
}

void BM_FindMatchesLongStrings(benchmark::State& state) {
    run(
        state,
        [](const CompiledScanner& scanner, ValidatedUtf8 text, ModeState& modes) {
            return scanner.find_matches(text, modes);
        },
        long_strings_input());
}

// Floor for the ratios: the same table walked byte by byte with maximal munch
// and no lookahead, candidate records or mode switches (ASCII input only).
void BM_TableWalkFloor(benchmark::State& state) {
    const auto scanner = json_scanner();
    const auto match_function = json_match_function();
    const Dfa& dfa = scanner->dfa(0);
    const char* const table = dfa.column_base(0);
    const std::uint32_t width = static_cast<std::uint32_t>(dfa.num_classes());
    const std::string& text = input();
    std::size_t tokens = 0;
    for (auto _ : state) {
        std::size_t count = 0;
        const char* p = text.data();
        const char* const end = p + text.size();
        while (p < end) {
            std::size_t row = 0;
            const char* last_accept = nullptr;
            for (const char* q = p; q < end; ++q) {
                const ClassIndex cls = match_function.class_of(static_cast<unsigned char>(*q));
                if (cls >= width)
                    break;
                const std::uint32_t next = Dfa::word_at(table + cls * sizeof(std::uint32_t), row);
                if (next == Dfa::kNoMove)
                    break;
                row = next;
                if (dfa.accept_slot(row) != Dfa::kNotAccepting)
                    last_accept = q + 1;
            }
            if (last_accept) {
                benchmark::DoNotOptimize(last_accept);
                ++count;
                p = last_accept;
            } else {
                ++p;
            }
        }
        tokens = count;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["tokens_per_s"] = benchmark::Counter(
        static_cast<double>(tokens * state.iterations()), benchmark::Counter::kIsRate);
}

// Patterns `a` and `a*b` over a run of `a` without `b`: every attempt reads
// to the end of the run. Time per byte should not grow with the run length.
void BM_LongFailedReads(benchmark::State& state) {
    Builder b;
    const StateIndex start = b.add();
    const StateIndex one_a = b.add(1);
    const StateIndex more_a = b.add();
    const StateIndex done = b.add(2);
    const ClassIndex a = T + 5;  // class of 'a'
    const ClassIndex letter_b = OTHER;
    b.move(start, a, one_a);
    b.move(one_a, a, more_a);
    b.move(more_a, a, more_a);
    b.move(start, letter_b, done);
    b.move(one_a, letter_b, done);
    b.move(more_a, letter_b, done);
    std::vector<ScannerMode> modes;
    modes.push_back(ScannerMode{"INITIAL", {}, b.build()});
    const auto scanner = CompiledScanner::create(std::move(modes), {}, json_match_function());
    const std::string text(static_cast<std::size_t>(state.range(0)), 'a');
    for (auto _ : state) {
        ModeState mode_state;
        auto matches = scanner->find_matches(ValidatedUtf8::trusted(text), mode_state);
        Match match;
        std::size_t count = 0;
        while (matches.next_match(match))
            ++count;
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// Token `a` only where `a*b` follows, over a run of `a`: every candidate's
// lookahead reads to the end of the run.
void BM_LongLookaheads(benchmark::State& state) {
    const ClassIndex a = T + 5;  // class of 'a'
    Builder look;
    const StateIndex look_start = look.add();
    const StateIndex run = look.add();
    const StateIndex found = look.add(0);
    look.move(look_start, a, run);
    look.move(run, a, run);
    look.move(look_start, OTHER, found);
    look.move(run, OTHER, found);

    std::vector<DfaState> states(2);
    states[0].transitions.resize(OTHER + 1);
    states[0].transitions[a] = DfaTransition{1};
    states[1].accept_data.push_back(AcceptData{Lookahead::positive(0), 1, 0});
    std::vector<ScannerMode> modes;
    modes.push_back(ScannerMode{"INITIAL", {}, Dfa(std::move(states))});
    std::vector<Dfa> lookaheads;
    lookaheads.push_back(look.build());
    const auto scanner =
        CompiledScanner::create(std::move(modes), std::move(lookaheads), json_match_function());
    const std::string text(static_cast<std::size_t>(state.range(0)), 'a');
    for (auto _ : state) {
        ModeState mode_state;
        auto matches = scanner->find_matches(ValidatedUtf8::trusted(text), mode_state);
        Match match;
        std::size_t count = 0;
        while (matches.next_match(match))
            ++count;
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// Baseline for the ratios: one pass that only validates the UTF-8.
void BM_ValidateUtf8(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(validate_utf8(input()).ok());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input().size()));
}

BENCHMARK(BM_FindMatches)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindMatchesWithPosition)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindMatchesLongStrings)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TableWalkFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LongFailedReads)->Arg(16 << 10)->Arg(256 << 10)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LongLookaheads)->Arg(16 << 10)->Arg(256 << 10)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ValidateUtf8)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
