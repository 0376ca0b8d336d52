// Cost of turning a mode NFA into its minimized DFA: subset construction and
// minimization separately and together, against the straightforward reference
// versions of the tests (ordered sets, linear searches, every signature
// recomputed in every pass) as the baseline.
// The mode is lexer-like: 150 keywords, operators, Unicode identifiers,
// numbers, strings and comments; a second, smaller mode covers string bodies.
#include <benchmark/benchmark.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "../../tests/cpp/generate/dfa_oracle.hpp"
#include "quarn/generate/character_classes.hpp"
#include "quarn/generate/dfa.hpp"
#include "quarn/generate/minimizer.hpp"
#include "quarn/generate/nfa.hpp"

namespace {

using namespace quarn::generate;

std::vector<std::string> keywords() {
    const char* const stems[] = {
        "if",         "else",      "while",     "for",        "return",    "break",
        "continue",   "switch",    "case",      "default",    "struct",    "class",
        "public",     "private",   "template",  "typename",   "namespace", "using",
        "const",      "static",    "inline",    "virtual",    "override",  "final",
        "auto",       "void",      "int",       "long",       "short",     "char",
        "bool",       "float",     "double",    "signed",     "unsigned",  "enum",
        "union",      "goto",      "do",        "try",        "catch",     "throw",
        "new",        "delete",    "this",      "friend",     "operator",  "sizeof",
        "typedef",    "extern",    "mutable",   "volatile",   "register",  "export",
        "module",     "import",    "concept",   "requires",   "co_await",  "co_yield",
        "co_return",  "let",       "var",       "fn",         "match",     "impl",
        "trait",      "where",     "yield",     "async",      "await",     "loop",
        "in",         "is",        "as",        "not",        "and",       "or",
        "xor",        "true",      "false",     "null",       "nil",       "none",
        "self",       "super",     "pub",       "mod",        "crate",     "extends",
        "implements", "interface", "package",   "abstract",   "native",    "synchronized",
        "transient",  "strictfp",  "assert",    "instanceof", "lambda",    "def",
        "pass",       "raise",     "except",    "finally",    "global",    "nonlocal",
        "with",       "from",      "elif",      "del",        "print",     "exec",
        "select",     "insert",    "update",    "values",     "table",     "index",
        "view",       "trigger",   "procedure", "function",   "begin",     "end",
        "then",       "when",      "declare",   "cursor",     "fetch",     "open",
        "close",      "commit",    "rollback",  "grant",      "revoke",    "create",
        "alter",      "drop",      "truncate",  "merge",      "having",    "order",
        "group",      "limit",     "offset",
    };
    return {std::begin(stems), std::end(stems)};
}

std::vector<Pattern> code_mode() {
    std::vector<std::string> texts;
    for (const std::string& keyword : keywords())
        texts.push_back(keyword);
    for (const char* op :
         {R"(\+\+)", "--", R"(\+=)", "-=", R"(\*=)", "/=", "==", "!=", "<=", ">=", "&&", R"(\|\|)",
          "<<", ">>", "->", "::", "<=>", R"(\.\.\.)", R"([(){}\[\];,.<>=+\-*/%&|^!~?:@#])"}) {
        texts.emplace_back(op);
    }
    for (const char* rest :
         {R"([\p{XID_Start}_]\p{XID_Continue}*)", R"(\d+(\.\d+)?([eE][+-]?\d+)?)",
          R"(0[xX][0-9a-fA-F]+(_[0-9a-fA-F]+)*)", R"(0[bB][01]+)", R"("([^"\\\n]|\\.)*")",
          R"('([^'\\\n]|\\.)')", R"(//[^\n]*)", R"(/\*([^*]|\*+[^*/])*\*+/)", R"(\s+)", R"(")"}) {
        texts.emplace_back(rest);
    }
    std::vector<Pattern> patterns;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        patterns.emplace_back(texts[i], TokenTypeID(static_cast<std::uint32_t>(i)));
    }
    return patterns;
}

std::vector<Pattern> string_mode() {
    std::vector<Pattern> patterns;
    std::uint32_t terminal = 1000;
    for (const char* text :
         {R"([^"\\]+)", R"(\\[nrt"\\0])", R"(\\u\{[0-9a-fA-F]{1,6}\})", R"(")"}) {
        patterns.emplace_back(text, TokenTypeID(terminal++));
    }
    return patterns;
}

// Both mode NFAs over one shared alphabet, as the pipeline prepares them.
std::vector<Nfa> mode_nfas() {
    std::vector<Nfa> nfas;
    for (const auto& patterns : {code_mode(), string_mode()}) {
        auto nfa = Nfa::build_from_patterns(patterns);
        if (!nfa)
            throw std::runtime_error(nfa.error().display());
        nfas.push_back(std::move(nfa).value());
    }
    CharacterClasses classes;
    for (const Nfa& nfa : nfas)
        nfa.collect_character_classes(classes);
    classes.create_disjoint_character_classes();
    for (Nfa& nfa : nfas)
        nfa.convert_to_disjoint_character_classes(classes);
    return nfas;
}

const std::vector<Nfa>& prepared() {
    static const std::vector<Nfa> nfas = mode_nfas();
    return nfas;
}

void report_sizes(benchmark::State& state) {
    std::size_t unminimized = 0;
    std::size_t minimized = 0;
    for (const Nfa& nfa : prepared()) {
        unminimized += try_from_nfa_not_minimized(nfa).value().states.size();
        minimized += try_from_nfa(nfa).value().states.size();
    }
    state.counters["dfa_states"] = static_cast<double>(unminimized);
    state.counters["minimized_states"] = static_cast<double>(minimized);
}

void BM_FullConversion(benchmark::State& state) {
    for (auto _ : state) {
        for (const Nfa& nfa : prepared())
            benchmark::DoNotOptimize(try_from_nfa(nfa));
    }
    report_sizes(state);
}
BENCHMARK(BM_FullConversion)->Unit(benchmark::kMillisecond);

void BM_FullConversionReference(benchmark::State& state) {
    for (auto _ : state) {
        for (const Nfa& nfa : prepared())
            benchmark::DoNotOptimize(oracle::try_from_nfa(nfa));
    }
}
BENCHMARK(BM_FullConversionReference)->Unit(benchmark::kMillisecond);

void BM_SubsetConstruction(benchmark::State& state) {
    for (auto _ : state) {
        for (const Nfa& nfa : prepared()) {
            benchmark::DoNotOptimize(try_from_nfa_not_minimized(nfa));
        }
    }
}
BENCHMARK(BM_SubsetConstruction)->Unit(benchmark::kMillisecond);

void BM_SubsetConstructionReference(benchmark::State& state) {
    for (auto _ : state) {
        for (const Nfa& nfa : prepared()) {
            benchmark::DoNotOptimize(oracle::try_from_nfa_not_minimized(nfa));
        }
    }
}
BENCHMARK(BM_SubsetConstructionReference)->Unit(benchmark::kMillisecond);

std::vector<Dfa> unminimized() {
    std::vector<Dfa> dfas;
    for (const Nfa& nfa : prepared())
        dfas.push_back(try_from_nfa_not_minimized(nfa).value());
    return dfas;
}

void BM_Minimize(benchmark::State& state) {
    const std::vector<Dfa> dfas = unminimized();
    for (auto _ : state) {
        for (const Dfa& dfa : dfas)
            benchmark::DoNotOptimize(minimize(dfa));
    }
}
BENCHMARK(BM_Minimize)->Unit(benchmark::kMillisecond);

void BM_MinimizeReference(benchmark::State& state) {
    const std::vector<Dfa> dfas = unminimized();
    for (auto _ : state) {
        for (const Dfa& dfa : dfas)
            benchmark::DoNotOptimize(oracle::minimize(dfa));
    }
}
BENCHMARK(BM_MinimizeReference)->Unit(benchmark::kMillisecond);

// A long chain: one split per refinement pass, the worst case for passes.
Dfa chain(std::uint32_t length) {
    Dfa dfa;
    for (std::uint32_t k = 0; k < length; ++k) {
        dfa.states.push_back({{{DisjointCharClassID(0), DfaStateID(k + 1)}}, {}});
    }
    dfa.states.push_back({{}, {Accept{0, TokenTypeID(1), {}}}});
    return dfa;
}

void BM_MinimizeChain(benchmark::State& state) {
    const Dfa dfa = chain(static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(minimize(dfa));
}
BENCHMARK(BM_MinimizeChain)->Arg(1000)->Arg(10000)->Arg(60000)->Unit(benchmark::kMillisecond);

void BM_MinimizeChainReference(benchmark::State& state) {
    const Dfa dfa = chain(static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(oracle::minimize(dfa));
}
BENCHMARK(BM_MinimizeChainReference)->Arg(300)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
