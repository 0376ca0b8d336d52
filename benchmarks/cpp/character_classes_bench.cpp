// Cost of splitting a scanner's alphabet into interval groups: the sweep that
// create_disjoint_character_classes uses, against the straightforward method
// that tests every candidate interval against every class (the baseline).
// Labels come from the NFAs of a lexer-like definition: keywords, operators,
// Unicode identifiers, numbers, strings, comments and case-folded words.
#include <benchmark/benchmark.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "quarn/generate/character_classes.hpp"
#include "quarn/generate/nfa.hpp"

namespace {

using namespace quarn::generate;

std::vector<Pattern> lexer_patterns() {
    std::vector<std::string> texts = {
        R"([\p{XID_Start}_]\p{XID_Continue}*)",
        R"(\d+(\.\d+)?([eE][+-]?\d+)?)",
        R"(0[xX][0-9a-fA-F]+)",
        R"("([^"\\\n]|\\.)*")",
        R"('([^'\\\n]|\\.)*')",
        R"(//[^\n]*)",
        R"(/\*([^*]|\*[^/])*\*/)",
        R"(\s+)",
        R"(\w+@\w+)",
        R"((?i)select|from|where|group|order|by)",
        R"(\p{Greek}+|\p{Cyrillic}+|\p{Han}+)",
        R"(.)",
    };
    for (const char* keyword :
         {"if", "else", "while", "for", "return", "break", "continue", "switch", "case", "default",
          "struct", "class", "public", "private", "template", "typename", "namespace", "using"}) {
        texts.emplace_back(keyword);
    }
    for (const char* op : {R"(\+\+)", "--", R"(\+=)", "-=", "==", "!=", "<=", ">=", "&&", R"(\|\|)",
                           "<<", ">>", "->", "::", R"([(){}\[\];,.<>=+\-*/%&|^!~?:])"}) {
        texts.emplace_back(op);
    }
    std::vector<Pattern> patterns;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        patterns.emplace_back(texts[i], TokenTypeID(static_cast<std::uint32_t>(i)));
    }
    return patterns;
}

CharacterClasses collected_classes() {
    auto nfa = Nfa::build_from_patterns(lexer_patterns());
    if (!nfa)
        throw std::runtime_error(nfa.error().display());
    CharacterClasses classes;
    nfa.value().collect_character_classes(classes);
    return classes;
}

// The straightforward method: boundaries in an ordered set, each candidate and
// each membership decided by contains_interval against every class.
std::size_t straightforward_groups(const std::vector<CharacterClass>& classes) {
    std::set<std::uint32_t> boundaries;
    for (const auto& c : classes) {
        const auto& label = c.characters;
        if (label.kind == quarn::regex::HirKind::Literal) {
            if (auto ch = literal_to_char(label.literal)) {
                boundaries.insert(*ch);
                boundaries.insert(next_boundary(*ch));
            }
        } else {
            for (const auto& r : label.cls.ranges) {
                boundaries.insert(r.start);
                boundaries.insert(label.cls.is_bytes ? r.end + 1 : next_boundary(r.end));
            }
        }
    }
    std::vector<std::uint32_t> points(boundaries.begin(), boundaries.end());
    std::map<std::vector<std::size_t>, std::size_t> groups;
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        const CharInterval candidate{points[i], previous_scalar(points[i + 1])};
        std::vector<std::size_t> membership;
        for (std::size_t k = 0; k < classes.size(); ++k) {
            if (classes[k].contains_interval(candidate))
                membership.push_back(k);
        }
        if (!membership.empty())
            groups.try_emplace(std::move(membership), groups.size());
    }
    return groups.size();
}

// create_disjoint_character_classes recomputes everything from the labels, so
// one object serves every iteration.
void BM_DisjointClassesSweep(benchmark::State& state) {
    CharacterClasses classes = collected_classes();
    for (auto _ : state) {
        classes.create_disjoint_character_classes();
        benchmark::DoNotOptimize(classes.intervals().data());
    }
    state.counters["classes"] = static_cast<double>(classes.classes().size());
    state.counters["intervals"] = static_cast<double>(classes.elementary_intervals().size());
    state.counters["groups"] = static_cast<double>(classes.intervals().size());
}
BENCHMARK(BM_DisjointClassesSweep)->Unit(benchmark::kMicrosecond);

void BM_DisjointClassesStraightforward(benchmark::State& state) {
    const CharacterClasses classes = collected_classes();
    std::size_t groups = 0;
    for (auto _ : state) {
        groups = straightforward_groups(classes.classes());
        benchmark::DoNotOptimize(groups);
    }
    state.counters["groups"] = static_cast<double>(groups);
}
BENCHMARK(BM_DisjointClassesStraightforward)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
