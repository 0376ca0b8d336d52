// The one place where the checks meet the generator: builds its automata for
// a definition the way the pipeline does, stage by stage and timed, and copies
// them into the plain records of automata.hpp.
#include <algorithm>
#include <chrono>
#include <memory>
#include <unordered_map>
#include <utility>

#include "quarn/analysis/automata.hpp"
#include "quarn/base/utf8.hpp"
#include "quarn/definition/parser.hpp"
#include "quarn/generate/character_classes.hpp"
#include "quarn/generate/dfa.hpp"
#include "quarn/generate/minimizer.hpp"
#include "quarn/generate/nfa.hpp"
#include "quarn/pipeline/convert_dfa.hpp"

namespace quarn::analysis {

namespace {

class Stopwatch {
  public:
    double lap_ms() {
        const auto now = std::chrono::steady_clock::now();
        const double ms = std::chrono::duration<double, std::milli>(now - start_).count();
        start_ = now;
        return ms;
    }

  private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

Automaton copy_automaton(const generate::Dfa& dfa) {
    Automaton result;
    result.states.resize(dfa.states.size());
    for (std::size_t i = 0; i < dfa.states.size(); ++i) {
        Automaton::State& state = result.states[i];
        for (const generate::DfaTransition& t : dfa.states[i].transitions)
            state.edges.push_back({t.group.value(), t.target.value()});
        std::sort(state.edges.begin(), state.edges.end(),
                  [](const auto& a, const auto& b) { return a.group < b.group; });
        for (const generate::Accept& accept : dfa.states[i].accept_data)
            state.accepts.push_back(static_cast<std::uint32_t>(accept.priority));
    }
    return result;
}

LookaheadKind kind_of(const generate::Lookahead& lookahead) {
    switch (lookahead.kind) {
        case generate::Lookahead::Kind::Positive:
            return LookaheadKind::Positive;
        case generate::Lookahead::Kind::Negative:
            return LookaheadKind::Negative;
        case generate::Lookahead::Kind::None:
            break;
    }
    return LookaheadKind::None;
}

// The mode automaton as the checks read it; each lookahead its accept lists
// refer to becomes one entry of mode.lookaheads.
void copy_mode_automaton(const generate::Dfa& dfa, const std::vector<generate::Dfa>& lookaheads,
                         Mode& mode) {
    mode.dfa = copy_automaton(dfa);
    std::unordered_map<std::size_t, std::uint32_t> ids;
    for (const generate::DfaState& state : dfa.states) {
        for (const generate::Accept& accept : state.accept_data) {
            if (accept.lookahead.is_none())
                continue;
            const std::size_t id = accept.lookahead.id.as_usize();
            auto [it, added] = ids.emplace(id, static_cast<std::uint32_t>(ids.size()));
            if (added)
                mode.lookaheads.push_back(copy_automaton(lookaheads.at(id)));
            mode.clauses[accept.priority].lookahead = it->second;
        }
    }
}

Transition copy_transition(const definition::Transition& transition,
                           const std::vector<definition::ModeDefinition>& modes) {
    using Kind = definition::Transition::Kind;
    Transition result;
    result.token_type = transition.token_type;
    if (transition.kind == Kind::Pop)
        return result;
    result.kind = transition.kind == Kind::Enter ? TransitionKind::Enter : TransitionKind::Push;
    result.target_name = transition.target_mode;
    for (std::size_t i = 0; i < modes.size(); ++i) {
        if (modes[i].name == result.target_name) {
            result.target = i;
            break;
        }
    }
    return result;
}

}  // namespace

base::Result<DefinitionAutomata, ParseFailure> build_automata(std::string_view definition) {
    DefinitionAutomata result;
    result.text = std::string(definition);
    Stopwatch watch;
    definition::SourceMap map;
    auto parsed = definition::parse_scanner_data(definition, map);
    if (!parsed)
        return base::err(ParseFailure{parsed.error(), map.error});
    result.parse_ms = watch.lap_ms();
    result.name = parsed->name;

    const auto& modes = parsed->modes;
    std::vector<generate::Nfa>& lookahead_nfas = parsed->lookaheads;
    std::vector<generate::Nfa> mode_nfas(modes.size());
    std::vector<std::vector<std::optional<generate::Nfa>>> clause_nfas(modes.size());
    generate::ScannerNfaBudget budget;
    for (const generate::Nfa& lookahead : lookahead_nfas)
        budget.used += lookahead.states.size();
    for (std::size_t m = 0; m < modes.size(); ++m) {
        Mode& mode = result.modes.emplace_back();
        mode.name = modes[m].name;
        mode.offset = map.modes[m].mode;
        for (std::size_t t = 0; t < modes[m].transitions.size(); ++t) {
            mode.transitions.push_back(copy_transition(modes[m].transitions[t], modes));
            mode.transitions.back().offset = map.modes[m].transitions[t];
        }
        for (std::size_t c = 0; c < modes[m].tokens.size(); ++c) {
            const generate::Pattern& pattern = modes[m].tokens[c].pattern;
            Clause& clause = mode.clauses.emplace_back();
            clause.pattern = pattern.regex;
            clause.token_type = pattern.token_type.value();
            clause.lookahead_kind = kind_of(pattern.lookahead);
            if (!pattern.lookahead.is_none())
                clause.lookahead_pattern =
                    lookahead_nfas.at(pattern.lookahead.id.as_usize()).pattern;
            clause.offset = map.modes[m].clauses[c];
            auto alone =
                generate::Nfa::build(generate::Pattern(pattern.regex, pattern.token_type), budget);
            if (alone) {
                clause_nfas[m].push_back(std::move(alone).value());
            } else {
                clause_nfas[m].emplace_back();
                if (mode.error.empty()) {
                    clause.error = alone.error().display();
                    mode.error = "clause " + std::to_string(c + 1) + " cannot be compiled";
                }
            }
        }
        mode.statistics.clauses = mode.clauses.size();
        if (!mode.error.empty())
            continue;
        auto nfa = generate::Nfa::build_from_patterns(modes[m].patterns(), budget);
        if (!nfa) {
            mode.error = nfa.error().display();
            continue;
        }
        mode_nfas[m] = std::move(nfa).value();
        mode.statistics.nfa_states = mode_nfas[m].states.size();
        mode.statistics.nfa_ms = watch.lap_ms();
    }

    generate::CharacterClasses classes;
    for (std::size_t m = 0; m < modes.size(); ++m) {
        if (result.modes[m].error.empty())
            mode_nfas[m].collect_character_classes(classes);
    }
    for (const generate::Nfa& nfa : lookahead_nfas)
        nfa.collect_character_classes(classes);
    classes.create_disjoint_character_classes();
    std::uint64_t transitions = 0;
    for (std::size_t m = 0; m < modes.size(); ++m) {
        if (result.modes[m].error.empty())
            transitions += mode_nfas[m].disjoint_transition_count(classes);
    }
    for (const generate::Nfa& nfa : lookahead_nfas)
        transitions += nfa.disjoint_transition_count(classes);
    std::vector<std::vector<Interval>> groups;
    for (const auto& group : classes.intervals()) {
        std::vector<Interval>& out = groups.emplace_back();
        for (const generate::CharInterval& interval : group)
            out.push_back({interval.start, interval.end});
    }
    result.alphabet = Alphabet(std::move(groups));
    result.interval_groups = classes.intervals().size();
    result.classes_ms = watch.lap_ms();
    if (transitions > generate::kMaxScannerNfaTransitions) {
        for (Mode& mode : result.modes) {
            if (mode.error.empty())
                mode.error = "the scanner's automata are beyond the size limits";
        }
        return result;
    }

    // The lookahead table, converted once for every mode.
    const std::size_t width = classes.intervals().size();
    generate::ScannerDfaBudget dfa_budget;
    std::vector<generate::Dfa> lookahead_dfas;
    std::string lookahead_error;
    for (generate::Nfa& nfa : lookahead_nfas) {
        nfa.convert_to_disjoint_character_classes(classes);
        auto dfa = generate::try_from_nfa(nfa, width, dfa_budget);
        if (!dfa) {
            lookahead_error = dfa.error().display();
            break;
        }
        lookahead_dfas.push_back(std::move(dfa).value());
    }

    generate::ScannerDfaBudget clause_budget;
    pipeline::DfaConverter converter(width, lookahead_dfas);
    for (std::size_t m = 0; m < modes.size(); ++m) {
        Mode& mode = result.modes[m];
        if (mode.error.empty() && !lookahead_error.empty())
            mode.error = lookahead_error;
        if (!mode.error.empty())
            continue;
        mode_nfas[m].convert_to_disjoint_character_classes(classes);
        watch.lap_ms();
        auto dfa = generate::try_from_nfa_not_minimized(mode_nfas[m], width, dfa_budget);
        mode_nfas[m] = generate::Nfa();
        if (!dfa) {
            mode.error = dfa.error().display();
            continue;
        }
        mode.statistics.dfa_states = dfa->states.size();
        mode.statistics.dfa_ms = watch.lap_ms();
        generate::Dfa minimized = generate::minimize(std::move(dfa).value());
        mode.statistics.minimized_states = minimized.states.size();
        mode.statistics.minimize_ms = watch.lap_ms();
        const std::size_t cells_before = converter.table_cells();
        if (auto table = converter.convert(minimized); !table) {
            mode.error = table.error().display();
            continue;
        }
        mode.statistics.table_bytes =
            (converter.table_cells() - cells_before) * sizeof(std::uint32_t);
        mode.statistics.table_ms = watch.lap_ms();
        copy_mode_automaton(minimized, lookahead_dfas, mode);
        std::vector<bool> used(width);
        for (const Automaton::State& state : mode.dfa.states) {
            for (const Automaton::Edge& edge : state.edges)
                used[edge.group] = true;
        }
        mode.statistics.interval_groups =
            static_cast<std::size_t>(std::count(used.begin(), used.end(), true));

        for (std::size_t c = 0; c < mode.clauses.size(); ++c) {
            std::optional<generate::Nfa>& nfa = clause_nfas[m][c];
            nfa->convert_to_disjoint_character_classes(classes);
            auto alone = generate::try_from_nfa(*nfa, width, clause_budget);
            nfa.reset();
            if (alone)
                mode.clauses[c].alone = copy_automaton(*alone);
        }
    }
    return result;
}

std::string to_utf8(std::u32string_view text) {
    std::string out;
    for (char32_t ch : text)
        base::append_utf8(out, ch);
    return out;
}

}  // namespace quarn::analysis
