#include "quarn/pipeline/build_scanner.hpp"

#include <cstdint>
#include <unordered_set>
#include <utility>
#include <vector>

#include "quarn/base/errors.hpp"
#include "quarn/definition/parser.hpp"
#include "quarn/generate/character_classes.hpp"
#include "quarn/generate/dfa.hpp"
#include "quarn/generate/nfa.hpp"
#include "quarn/generate/scanner_data.hpp"
#include "quarn/generate/scanner_mode.hpp"
#include "quarn/pipeline/convert_dfa.hpp"
#include "quarn/pipeline/match_function.hpp"

namespace quarn::pipeline {

namespace {

runtime::Transition convert_transition(const generate::TransitionToNumericMode& transition) {
    using Kind = generate::TransitionToNumericMode::Kind;
    switch (transition.kind()) {
        case Kind::SetMode:
            return runtime::Transition::set_mode(transition.token_type(), transition.target_mode());
        case Kind::PushMode:
            return runtime::Transition::push_mode(transition.token_type(),
                                                  transition.target_mode());
        case Kind::PopMode:
            return runtime::Transition::pop_mode(transition.token_type());
    }
    base::unreachable("unknown transition kind");
}

// The states of the distinct lookahead NFAs of all modes; copies of a pattern
// share their lookahead automaton.
std::uint64_t lookahead_nfa_states(const std::vector<generate::ScannerMode>& modes) {
    std::unordered_set<const generate::AutomatonType*> counted;
    std::uint64_t states = 0;
    for (const generate::ScannerMode& mode : modes) {
        for (const generate::Pattern& pattern : mode.patterns) {
            if (!pattern.lookahead.is_none() &&
                counted.insert(&pattern.lookahead.automaton()).second)
                states += pattern.lookahead.automaton().nfa().states.size();
        }
    }
    return states;
}

[[noreturn]] void fail_nfa(const generate::NfaBuildError& error) {
    base::fail("Failed to build NFA for pattern: " + error.debug());
}

}  // namespace

base::Result<Scanner, std::string> build_scanner(std::string_view definition,
                                                 std::size_t* error_offset) {
    auto parsed = definition::parse_scanner_data(definition, error_offset);
    if (!parsed)
        return base::err(std::string(kDefinitionErrorPrefix) + parsed.error());
    std::vector<generate::ScannerMode> modes = parsed->build_scanner_modes();

    // Every NFA of the scanner is alive until the conversions below, so they
    // share one budget, lookaheads included.
    generate::ScannerNfaBudget nfa_budget;
    nfa_budget.used = lookahead_nfa_states(modes);
    std::vector<generate::Nfa> nfas;
    nfas.reserve(modes.size());
    for (const generate::ScannerMode& mode : modes) {
        auto nfa = generate::Nfa::build_from_patterns(mode.patterns, nfa_budget);
        if (!nfa)
            fail_nfa(nfa.error());
        nfas.push_back(std::move(nfa).value());
    }

    generate::CharacterClasses classes;
    for (const generate::Nfa& nfa : nfas)
        nfa.collect_character_classes(classes);
    classes.create_disjoint_character_classes();
    // Counted before any NFA is converted, since conversion multiplies them.
    std::uint64_t transitions = 0;
    for (const generate::Nfa& nfa : nfas)
        transitions += nfa.disjoint_transition_count(classes);
    if (transitions > generate::kMaxScannerNfaTransitions) {
        fail_nfa(generate::NfaTooLargeError{static_cast<std::size_t>(transitions),
                                            generate::NfaTooLargeError::Measure::ScannerTransitions,
                                            generate::kMaxScannerNfaTransitions});
    }
    for (generate::Nfa& nfa : nfas)
        nfa.convert_to_disjoint_character_classes(classes);

    // Every runtime row has one entry per interval group of the whole scanner;
    // the conversion bounds its tables by that width.
    const std::size_t num_classes = classes.intervals().size();
    generate::ScannerDfaBudget dfa_budget;
    std::vector<generate::Dfa> dfas;
    dfas.reserve(nfas.size());
    for (generate::Nfa& nfa : nfas) {
        auto dfa = generate::try_from_nfa(nfa, num_classes, dfa_budget);
        if (!dfa)
            base::fail("Failed to convert NFA to DFA: " + dfa.error().debug());
        dfas.push_back(std::move(dfa).value());
        nfa = generate::Nfa();  // consumed: its memory is not needed any more
    }

    DfaConverter converter(num_classes);
    std::vector<runtime::ScannerMode> runtime_modes;
    runtime_modes.reserve(modes.size());
    for (std::size_t i = 0; i < modes.size(); ++i) {
        runtime::ScannerMode mode;
        mode.name = modes[i].name;
        mode.transitions.reserve(modes[i].transitions.size());
        for (const auto& transition : modes[i].transitions) {
            mode.transitions.push_back(convert_transition(transition));
        }
        mode.dfa = converter.convert(dfas[i]);
        runtime_modes.push_back(std::move(mode));
    }

    return runtime::CompiledScanner::create(std::move(runtime_modes),
                                            build_match_function(classes));
}

}  // namespace quarn::pipeline
