// Clause checks search the product of the mode automaton with the automaton of
// one clause's regex, breadth first, so the first text found for any verdict
// is a shortest one. A text the clause matches ends in a mode state whose
// accept list says who takes it at the end of the input; a clause that is
// first there wins on that text. Verdicts that depend on what follows (the
// lookaheads) are confirmed by replaying the scan on a candidate text.
#include "quarn/analysis/check.hpp"

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <unordered_map>

#include "quarn/analysis/first_token.hpp"
#include "quarn/definition/source_map.hpp"

namespace quarn::analysis {

namespace {

// Pairs a clause search may visit: far beyond real lexers, small enough
// that a pathological definition is checked in seconds.
constexpr std::size_t kMaxProductStates = std::size_t{1} << 20;
// Texts tried for a clause whose win depends on its lookahead.
constexpr std::size_t kMaxCandidates = 32;

// The entry taken at the end of the input, where every positive lookahead
// fails and every negative one holds.
std::optional<std::uint32_t> choice_at_end(const Mode& mode, const Automaton::State& state) {
    for (std::uint32_t clause : state.accepts) {
        if (mode.clauses[clause].lookahead_kind != LookaheadKind::Positive)
            return clause;
    }
    return std::nullopt;
}

// A shortest non-empty text `automaton` accepts.
std::optional<std::u32string> shortest_nonempty(const Alphabet& alphabet,
                                                const Automaton& automaton) {
    if (automaton.empty())
        return std::nullopt;
    struct Visit {
        StateId parent;
        GroupId group;
    };
    std::vector<std::optional<Visit>> seen(automaton.states.size());
    std::deque<StateId> queue;
    auto text_to = [&](StateId state) {
        std::u32string text;
        // The start state is never a target here, so the walk ends there.
        for (StateId s = state; seen[s] && s != 0; s = seen[s]->parent)
            text.push_back(alphabet.representative(seen[s]->group));
        std::reverse(text.begin(), text.end());
        return text;
    };
    for (const Automaton::Edge& edge : automaton.states[0].edges) {
        if (automaton.accepting(edge.target))
            return std::u32string(1, alphabet.representative(edge.group));
        if (edge.target != 0 && !seen[edge.target]) {
            seen[edge.target] = Visit{0, edge.group};
            queue.push_back(edge.target);
        }
    }
    while (!queue.empty()) {
        const StateId state = queue.front();
        queue.pop_front();
        for (const Automaton::Edge& edge : automaton.states[state].edges) {
            if (edge.target == 0 || seen[edge.target])
                continue;
            seen[edge.target] = Visit{state, edge.group};
            if (automaton.accepting(edge.target))
                return text_to(edge.target);
            queue.push_back(edge.target);
        }
    }
    return std::nullopt;
}

class ClauseSearch {
  public:
    ClauseSearch(const DefinitionAutomata& automata, const Mode& mode, std::uint32_t clause)
        : alphabet_(automata.alphabet),
          mode_(mode),
          clause_(clause),
          alone_(mode.clauses[clause].alone) {}

    ClauseOutcome run() {
        ClauseOutcome outcome;
        if (alone_.empty() || mode_.dfa.empty())
            return outcome;
        outcome.matches_empty = alone_.accepting(0);
        std::vector<std::size_t> candidates;
        std::set<std::uint32_t> order_winners;
        visit(0, 0, {});
        for (std::size_t next = 0; next < nodes_.size(); ++next) {
            if (nodes_.size() > kMaxProductStates) {
                ClauseOutcome undecided;
                undecided.matches_empty = outcome.matches_empty;
                undecided.matches_nonempty = true;
                return undecided;
            }
            const Node node = nodes_[next];
            if (next != 0 && alone_.accepting(node.clause_state))
                judge(next, outcome, candidates, order_winners);
            expand(next);
        }
        if (outcome.win || !outcome.matches_nonempty)
            return outcome;
        if (candidates.empty() && !outcome.beaten_text.empty()) {
            outcome.never_wins = true;
            outcome.beaten_by_order.clear();
            return outcome;
        }
        try_continuations(candidates, outcome);
        return outcome;
    }

  private:
    struct Node {
        StateId mode_state;
        StateId clause_state;
        std::size_t parent;
        GroupId group;
    };

    void visit(StateId mode_state, StateId clause_state,
               std::optional<std::pair<std::size_t, GroupId>> from) {
        const std::uint64_t key = (std::uint64_t{mode_state} << 32) | clause_state;
        if (!index_.emplace(key, nodes_.size()).second)
            return;
        nodes_.push_back(
            {mode_state, clause_state, from ? from->first : 0, from ? from->second : 0});
    }

    void expand(std::size_t index) {
        const Node node = nodes_[index];
        const auto& a = mode_.dfa.states[node.mode_state].edges;
        const auto& b = alone_.states[node.clause_state].edges;
        // Both lists ascend by group: a merge finds the common ones.
        for (std::size_t i = 0, j = 0; i < a.size() && j < b.size();) {
            if (a[i].group < b[j].group) {
                ++i;
            } else if (b[j].group < a[i].group) {
                ++j;
            } else {
                visit(a[i].target, b[j].target, std::pair{index, a[i].group});
                ++i;
                ++j;
            }
        }
    }

    std::u32string text_of(std::size_t index) const {
        std::u32string text;
        for (std::size_t i = index; i != 0; i = nodes_[i].parent)
            text.push_back(alphabet_.representative(nodes_[i].group));
        std::reverse(text.begin(), text.end());
        return text;
    }

    void judge(std::size_t index, ClauseOutcome& outcome, std::vector<std::size_t>& candidates,
               std::set<std::uint32_t>& order_winners) {
        outcome.matches_nonempty = true;
        const Automaton::State& state = mode_.dfa.states[nodes_[index].mode_state];
        const std::optional<std::uint32_t> winner = choice_at_end(mode_, state);
        if (winner == clause_) {
            if (!outcome.win) {
                std::u32string text = text_of(index);
                if (confirms(text, text.size())) {
                    outcome.win_length = text.size();
                    outcome.win = std::move(text);
                }
            }
            return;
        }
        if (std::find(state.accepts.begin(), state.accepts.end(), clause_) != state.accepts.end() &&
            candidates.size() < kMaxCandidates)
            candidates.push_back(index);
        if (winner && outcome.beaten_text.empty()) {
            outcome.winner = *winner;
            outcome.beaten_text = text_of(index);
        }
        if (winner && *winner < clause_ && order_winners.insert(*winner).second)
            outcome.beaten_by_order.emplace_back(*winner, text_of(index));
    }

    bool confirms(std::u32string_view text, std::size_t length) const {
        const std::optional<FirstToken> token = first_token(alphabet_, mode_, text);
        return token && token->clause == clause_ && token->length == length;
    }

    // A clause behind lookaheads may still win when the right text follows:
    // try what makes each lookahead of the accept list match.
    void try_continuations(const std::vector<std::size_t>& candidates, ClauseOutcome& outcome) {
        std::vector<std::u32string> continuations;
        for (const Automaton& lookahead : mode_.lookaheads) {
            if (auto text = shortest_nonempty(alphabet_, lookahead))
                continuations.push_back(std::move(*text));
        }
        std::sort(continuations.begin(), continuations.end(),
                  [](const auto& a, const auto& b) { return a.size() < b.size(); });
        for (std::size_t index : candidates) {
            const std::u32string token = text_of(index);
            for (const std::u32string& rest : continuations) {
                const std::u32string text = token + rest;
                if (confirms(text, token.size())) {
                    outcome.win = text;
                    outcome.win_length = token.size();
                    return;
                }
            }
        }
    }

    const Alphabet& alphabet_;
    const Mode& mode_;
    std::uint32_t clause_;
    const Automaton& alone_;
    std::vector<Node> nodes_;
    std::unordered_map<std::uint64_t, std::size_t> index_;
};

std::string clause_name(const Mode& mode, std::size_t clause) {
    const Clause& c = mode.clauses[clause];
    return "clause " + std::to_string(clause + 1) + " (\"" + c.pattern + "\" => " +
           std::to_string(c.token_type) + ")";
}

class Checker {
  public:
    explicit Checker(const DefinitionAutomata& automata) : automata_(automata) {}

    std::vector<Diagnostic> run() {
        std::vector<std::vector<ClauseOutcome>> outcomes;
        for (std::size_t m = 0; m < automata_.modes.size(); ++m) {
            const Mode& mode = automata_.modes[m];
            outcomes.push_back(analyse_clauses(automata_, mode));
            check_build(m);
            check_clauses(m, outcomes.back());
            check_lookaheads(m);
        }
        check_modes(outcomes);
        std::stable_sort(out_.begin(), out_.end(), [](const Diagnostic& a, const Diagnostic& b) {
            return std::pair(a.line, a.column) < std::pair(b.line, b.column);
        });
        return std::move(out_);
    }

  private:
    Diagnostic& add(Severity severity, std::string code, std::string message, std::size_t offset,
                    std::size_t mode, std::optional<std::size_t> clause = std::nullopt) {
        const definition::SourcePosition position = definition::position_of(automata_.text, offset);
        Diagnostic& d = out_.emplace_back();
        d.severity = severity;
        d.code = std::move(code);
        d.message = std::move(message);
        d.line = position.line;
        d.column = position.column;
        d.mode = automata_.modes[mode].name;
        if (clause)
            d.clause = *clause + 1;
        return d;
    }

    void check_build(std::size_t m) {
        const Mode& mode = automata_.modes[m];
        for (std::size_t c = 0; c < mode.clauses.size(); ++c) {
            if (!mode.clauses[c].error.empty()) {
                add(Severity::Error, "bad-pattern",
                    "the pattern of " + clause_name(mode, c) +
                        " cannot be compiled: " + mode.clauses[c].error,
                    mode.clauses[c].offset, m, c);
            }
        }
        if (!mode.error.empty() && mode.dfa.empty() &&
            std::none_of(mode.clauses.begin(), mode.clauses.end(),
                         [](const Clause& c) { return !c.error.empty(); })) {
            add(Severity::Error, "mode-too-large",
                "mode " + mode.name + " cannot be built: " + mode.error, mode.offset, m);
        }
        for (const Transition& t : mode.transitions) {
            if (t.kind != TransitionKind::Pop && !t.target) {
                add(Severity::Error, "unknown-mode",
                    "the transition on token type " + std::to_string(t.token_type) +
                        " names mode " + t.target_name + ", which does not exist",
                    t.offset, m);
            }
        }
    }

    void check_clauses(std::size_t m, const std::vector<ClauseOutcome>& outcomes) {
        const Mode& mode = automata_.modes[m];
        for (std::size_t c = 0; c < outcomes.size(); ++c) {
            const ClauseOutcome& o = outcomes[c];
            const Clause& clause = mode.clauses[c];
            if (clause.alone.empty())
                continue;
            if (!o.matches_nonempty) {
                if (o.matches_empty) {
                    add(Severity::Warning, "only-empty-match",
                        clause_name(mode, c) +
                            " matches only the empty string, so it never produces a token",
                        clause.offset, m, c);
                } else {
                    add(Severity::Warning, "no-match",
                        clause_name(mode, c) + " matches no text at all", clause.offset, m, c);
                }
                continue;
            }
            if (o.matches_empty) {
                add(Severity::Warning, "empty-match",
                    clause_name(mode, c) +
                        " also matches the empty string; an empty match never produces a token",
                    clause.offset, m, c);
            }
            if (o.never_wins) {
                Diagnostic& d =
                    add(Severity::Warning, "shadowed-clause",
                        clause_name(mode, c) +
                            " never produces a token: every text it matches is "
                            "taken by another clause; on " +
                            quoted(o.beaten_text) + " " + clause_name(mode, o.winner) + " wins",
                        clause.offset, m, c);
                d.witness = to_utf8(o.beaten_text);
                continue;
            }
            if (!o.win)
                continue;
            for (const auto& [winner, text] : o.beaten_by_order) {
                if (mode.clauses[winner].token_type == clause.token_type)
                    continue;  // same token either way
                Diagnostic& d = add(Severity::Note, "order-decided",
                                    clause_name(mode, c) + " and " + clause_name(mode, winner) +
                                        " both match " + quoted(text) + "; the earlier clause " +
                                        std::to_string(winner + 1) + " takes it by its order",
                                    clause.offset, m, c);
                d.witness = to_utf8(text);
            }
        }
    }

    void check_lookaheads(std::size_t m) {
        const Mode& mode = automata_.modes[m];
        for (std::size_t c = 0; c < mode.clauses.size(); ++c) {
            const Clause& clause = mode.clauses[c];
            if (clause.lookahead_kind == LookaheadKind::None || !clause.lookahead)
                continue;
            const Automaton& lookahead = mode.lookaheads[*clause.lookahead];
            const bool positive = clause.lookahead_kind == LookaheadKind::Positive;
            const std::string what =
                std::string(positive ? "the lookahead" : "the negative lookahead") + " \"" +
                clause.lookahead_pattern + "\" of " + clause_name(mode, c);
            if (!shortest_nonempty(automata_.alphabet, lookahead)) {
                add(Severity::Warning,
                    positive ? "lookahead-never-holds" : "lookahead-always-holds",
                    what + " matches no non-empty text, so it " +
                        (positive ? "never holds and the clause never produces a token"
                                  : "always holds and has no effect"),
                    clause.offset, m, c);
            } else if (matches_after_any_character(lookahead)) {
                add(Severity::Warning,
                    positive ? "lookahead-always-holds" : "lookahead-never-holds",
                    what + " matches after any character, so it " +
                        (positive ? "always holds except at the end of the input"
                                  : "never holds except at the end of the input"),
                    clause.offset, m, c);
            }
        }
    }

    bool matches_after_any_character(const Automaton& lookahead) const {
        const auto& edges = lookahead.states[0].edges;
        return automata_.alphabet.covers_everything() &&
               edges.size() == automata_.alphabet.groups().size() &&
               std::all_of(edges.begin(), edges.end(),
                           [&](const Automaton::Edge& e) { return lookahead.accepting(e.target); });
    }

    // Token types a mode can produce: its clauses not proved silent.
    std::set<std::uint64_t> produced_types(std::size_t m,
                                           const std::vector<ClauseOutcome>& outcomes) const {
        std::set<std::uint64_t> types;
        const Mode& mode = automata_.modes[m];
        for (std::size_t c = 0; c < mode.clauses.size(); ++c) {
            const ClauseOutcome& o = outcomes[c];
            const bool silent =
                o.never_wins || (!o.matches_nonempty && !mode.clauses[c].alone.empty());
            if (mode.dfa.empty() || !silent)
                types.insert(mode.clauses[c].token_type);
        }
        return types;
    }

    void check_modes(const std::vector<std::vector<ClauseOutcome>>& outcomes) {
        const auto& modes = automata_.modes;
        const std::size_t n = modes.size();
        // The transitions that can fire: the last one listed for a token type
        // the mode produces (the scan applies the last).
        std::vector<std::vector<const Transition*>> live(n);
        for (std::size_t m = 0; m < n; ++m) {
            const std::set<std::uint64_t> types = produced_types(m, outcomes[m]);
            std::map<std::uint64_t, const Transition*> last;
            for (const Transition& t : modes[m].transitions)
                last[t.token_type] = &t;
            for (const Transition& t : modes[m].transitions) {
                if (!types.contains(t.token_type)) {
                    const bool has_clause =
                        std::any_of(modes[m].clauses.begin(), modes[m].clauses.end(),
                                    [&](const Clause& c) { return c.token_type == t.token_type; });
                    add(Severity::Warning, "transition-never-fires",
                        "no clause of mode " + modes[m].name + " produces token type " +
                            std::to_string(t.token_type) +
                            (has_clause ? " (its clauses of that type never win)" : "") +
                            ", so this transition never happens",
                        t.offset, m);
                } else if (last[t.token_type] == &t) {
                    live[m].push_back(&t);
                }
            }
        }

        std::vector<bool> duplicate(n);
        for (std::size_t m = 0; m < n; ++m) {
            for (std::size_t first = 0; first < m; ++first) {
                if (modes[first].name == modes[m].name) {
                    duplicate[m] = true;
                    const auto position =
                        definition::position_of(automata_.text, modes[first].offset);
                    add(Severity::Warning, "duplicate-mode",
                        "mode " + modes[m].name + " is defined again; only the first one (line " +
                            std::to_string(position.line) + ") is used",
                        modes[m].offset, m);
                    break;
                }
            }
        }

        // Reachable modes, and those reachable with an empty stack (the
        // first mode, and whatever `enter` leads to from those).
        std::vector<std::optional<std::string>> reached(n), unstacked(n);
        reached[0] = unstacked[0] = modes[0].name;
        std::deque<std::size_t> queue{0};
        while (!queue.empty()) {
            const std::size_t m = queue.front();
            queue.pop_front();
            for (const Transition* t : live[m]) {
                if (t->target && !reached[*t->target]) {
                    reached[*t->target] = *reached[m] + " -(" + std::to_string(t->token_type) +
                                          ")-> " + modes[*t->target].name;
                    queue.push_back(*t->target);
                }
            }
        }
        queue.push_back(0);
        while (!queue.empty()) {
            const std::size_t m = queue.front();
            queue.pop_front();
            for (const Transition* t : live[m]) {
                if (t->kind == TransitionKind::Enter && t->target && !unstacked[*t->target]) {
                    unstacked[*t->target] = *unstacked[m] + " -(" + std::to_string(t->token_type) +
                                            ")-> " + modes[*t->target].name;
                    queue.push_back(*t->target);
                }
            }
        }
        for (std::size_t m = 1; m < n; ++m) {
            if (!reached[m] && !duplicate[m]) {
                add(Severity::Warning, "unreachable-mode",
                    "mode " + modes[m].name + " is never entered from the first mode, " +
                        modes[0].name,
                    modes[m].offset, m);
            }
        }
        for (std::size_t m = 0; m < n; ++m) {
            if (!unstacked[m])
                continue;
            for (const Transition* t : live[m]) {
                if (t->kind == TransitionKind::Pop) {
                    add(Severity::Warning, "pop-on-empty-stack",
                        "this pop can happen with an empty mode stack, where it does nothing: " +
                            *unstacked[m] + " -(" + std::to_string(t->token_type) + ")-> pop",
                        t->offset, m);
                }
            }
        }
        check_push_cycles(live);
    }

    // A cycle of modes with a push on it and no pop in any of its modes makes
    // the mode stack grow with the input.
    void check_push_cycles(const std::vector<std::vector<const Transition*>>& live) {
        const std::size_t n = live.size();
        std::vector<std::size_t> component = strongly_connected_components(live);
        std::vector<bool> pops(n);
        for (std::size_t m = 0; m < n; ++m) {
            for (const Transition* t : live[m])
                pops[component[m]] = pops[component[m]] || t->kind == TransitionKind::Pop;
        }
        std::vector<bool> reported(n);
        for (std::size_t m = 0; m < n; ++m) {
            for (const Transition* t : live[m]) {
                if (t->kind != TransitionKind::Push || !t->target ||
                    component[*t->target] != component[m] || pops[component[m]] ||
                    reported[component[m]])
                    continue;
                reported[component[m]] = true;
                std::string cycle;
                for (std::size_t k = 0; k < n; ++k) {
                    if (component[k] == component[m])
                        cycle += (cycle.empty() ? "" : ", ") + automata_.modes[k].name;
                }
                add(Severity::Warning, "push-cycle",
                    "this push is on a cycle of modes (" + cycle +
                        ") with no pop: the mode stack grows with the input",
                    t->offset, m);
            }
        }
    }

    static std::vector<std::size_t> strongly_connected_components(
        const std::vector<std::vector<const Transition*>>& live) {
        // Tarjan's algorithm; the mode graph is small, so recursion is fine.
        const std::size_t n = live.size();
        std::vector<std::size_t> index(n, SIZE_MAX), low(n), component(n, SIZE_MAX);
        std::vector<std::size_t> stack;
        std::vector<bool> on_stack(n);
        std::size_t counter = 0;
        std::function<void(std::size_t)> connect = [&](std::size_t v) {
            index[v] = low[v] = counter++;
            stack.push_back(v);
            on_stack[v] = true;
            for (const Transition* t : live[v]) {
                if (!t->target)
                    continue;
                const std::size_t w = *t->target;
                if (index[w] == SIZE_MAX) {
                    connect(w);
                    low[v] = std::min(low[v], low[w]);
                } else if (on_stack[w]) {
                    low[v] = std::min(low[v], index[w]);
                }
            }
            if (low[v] == index[v]) {
                std::size_t w;
                do {
                    w = stack.back();
                    stack.pop_back();
                    on_stack[w] = false;
                    component[w] = v;
                } while (w != v);
            }
        };
        for (std::size_t v = 0; v < n; ++v) {
            if (index[v] == SIZE_MAX)
                connect(v);
        }
        return component;
    }

    const DefinitionAutomata& automata_;
    std::vector<Diagnostic> out_;
};

}  // namespace

std::vector<ClauseOutcome> analyse_clauses(const DefinitionAutomata& automata, const Mode& mode) {
    std::vector<ClauseOutcome> outcomes;
    for (std::uint32_t c = 0; c < mode.clauses.size(); ++c)
        outcomes.push_back(ClauseSearch(automata, mode, c).run());
    return outcomes;
}

std::vector<Diagnostic> check_automata(const DefinitionAutomata& automata) {
    return Checker(automata).run();
}

std::vector<Diagnostic> check_definition(std::string_view definition) {
    auto automata = build_automata(definition);
    if (!automata) {
        const auto position = definition::position_of(definition, automata.error().offset);
        Diagnostic d;
        d.severity = Severity::Error;
        d.code = "syntax-error";
        d.message = automata.error().message;
        d.line = position.line;
        d.column = position.column;
        return {d};
    }
    return check_automata(*automata);
}

std::string_view severity_name(Severity severity) {
    switch (severity) {
        case Severity::Error:
            return "error";
        case Severity::Warning:
            return "warning";
        case Severity::Note:
            return "note";
    }
    return "note";
}

std::string quoted(std::u32string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char32_t ch : text) {
        switch (ch) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (ch < 0x20 || ch == 0x7F || (ch >= 0x80 && ch < 0xA0)) {
                    out += "\\x";
                    out += kHex[(ch >> 4) & 0xF];
                    out += kHex[ch & 0xF];
                } else {
                    out += to_utf8(std::u32string_view(&ch, 1));
                }
        }
    }
    return out + "\"";
}

}  // namespace quarn::analysis
