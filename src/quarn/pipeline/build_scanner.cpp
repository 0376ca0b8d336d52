#include "quarn/pipeline/build_scanner.hpp"

#include <cstdint>
#include <utility>
#include <vector>

#include "quarn/definition/parser.hpp"
#include "quarn/generate/character_classes.hpp"
#include "quarn/generate/dfa.hpp"
#include "quarn/generate/nfa.hpp"
#include "quarn/pipeline/convert_dfa.hpp"
#include "quarn/pipeline/match_function.hpp"
#include "quarn/pipeline/mode_transitions.hpp"

namespace quarn::pipeline {

namespace {

BuildError construction_error(std::string message) {
    return BuildError{BuildError::Kind::Construction, std::move(message), {}, {}, {}, {}};
}

BuildError nfa_error(const generate::NfaBuildError& error) {
    return construction_error("Failed to build NFA for pattern: " + error.debug());
}

BuildError conversion_error(const generate::DfaConversionError& error) {
    return construction_error("Failed to convert NFA to DFA: " + error.debug());
}

}  // namespace

base::Result<Scanner, BuildError> build_scanner(std::string_view definition) {
    std::size_t error_offset = 0;
    auto parsed = definition::parse_scanner_data(definition, &error_offset);
    if (!parsed) {
        return base::err(BuildError{BuildError::Kind::Definition,
                                    std::string(kDefinitionErrorPrefix) + parsed.error(),
                                    {},
                                    {},
                                    {},
                                    error_offset});
    }
    definition::ScannerData& data = parsed.value();
    auto transitions = resolve_transitions(data);
    if (!transitions)
        return base::err(std::move(transitions).error());

    // Every NFA of the scanner is alive until the conversions below, so they
    // share one budget, the lookahead table included.
    generate::ScannerNfaBudget nfa_budget;
    for (const generate::Nfa& lookahead : data.lookaheads)
        nfa_budget.used += lookahead.states.size();
    std::vector<generate::Nfa> nfas;
    nfas.reserve(data.modes.size());
    for (const definition::ModeDefinition& mode : data.modes) {
        auto nfa = generate::Nfa::build_from_patterns(mode.patterns(), nfa_budget);
        if (!nfa) {
            const definition::TokenClause& token = mode.tokens.at(nfa.error().pattern);
            BuildError error = nfa_error(nfa.error());
            error.mode = mode.name;
            error.clause = token.clause;
            error.pattern = token.pattern.regex;
            error.offset = mode.clause_offset(token.clause);
            return base::err(std::move(error));
        }
        nfas.push_back(std::move(nfa).value());
    }

    generate::CharacterClasses classes;
    for (const generate::Nfa& nfa : nfas)
        nfa.collect_character_classes(classes);
    for (const generate::Nfa& nfa : data.lookaheads)
        nfa.collect_character_classes(classes);
    classes.create_disjoint_character_classes();
    // Counted before any NFA is converted, since conversion multiplies them.
    std::uint64_t split_transitions = 0;
    for (const generate::Nfa& nfa : nfas)
        split_transitions += nfa.disjoint_transition_count(classes);
    for (const generate::Nfa& nfa : data.lookaheads)
        split_transitions += nfa.disjoint_transition_count(classes);
    if (split_transitions > generate::kMaxScannerNfaTransitions) {
        return base::err(nfa_error(
            generate::NfaTooLargeError{static_cast<std::size_t>(split_transitions),
                                       generate::NfaTooLargeError::Measure::ScannerTransitions,
                                       generate::kMaxScannerNfaTransitions}));
    }
    for (generate::Nfa& nfa : nfas)
        nfa.convert_to_disjoint_character_classes(classes);
    for (generate::Nfa& nfa : data.lookaheads)
        nfa.convert_to_disjoint_character_classes(classes);

    // Every runtime row has one entry per interval group of the whole scanner;
    // the conversion bounds its tables by that width.
    const std::size_t num_classes = classes.intervals().size();
    generate::ScannerDfaBudget dfa_budget;
    std::size_t failed_mode = 0;
    auto dfas =
        generate::build_scanner_dfas(nfas, data.lookaheads, num_classes, dfa_budget, &failed_mode);
    if (!dfas) {
        BuildError error = conversion_error(dfas.error());
        error.mode = data.modes.at(failed_mode).name;
        error.offset = data.modes.at(failed_mode).offset;
        return base::err(std::move(error));
    }

    DfaConverter converter(num_classes, dfas->lookaheads);
    std::vector<runtime::ScannerMode> runtime_modes;
    runtime_modes.reserve(data.modes.size());
    for (std::size_t i = 0; i < data.modes.size(); ++i) {
        auto dfa = converter.convert(dfas->modes[i]);
        if (!dfa)
            return base::err(conversion_error(dfa.error()));
        runtime::ScannerMode mode;
        mode.name = data.modes[i].name;
        mode.transitions = std::move(transitions.value()[i]);
        mode.dfa = std::move(dfa).value();
        runtime_modes.push_back(std::move(mode));
    }

    return runtime::CompiledScanner::create(std::move(runtime_modes), converter.take_lookaheads(),
                                            build_match_function(classes));
}

}  // namespace quarn::pipeline
