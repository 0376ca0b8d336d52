// The automata of a definition as the checks read them: per mode the minimized
// automaton with accept lists of clause numbers, each clause's regex on its
// own, the lookahead automata, all over the scanner's interval groups; plus
// where each part stands in the text and what building it cost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quarn/base/result.hpp"

namespace quarn::analysis {

using GroupId = std::uint32_t;
using StateId = std::uint32_t;

struct Interval {
    char32_t first;
    char32_t last;  // inclusive
};

struct Automaton {
    struct Edge {
        GroupId group;
        StateId target;
    };
    struct State {
        std::vector<Edge> edges;  // ascending by group
        // Mode automata: the clauses accepted here in the order the scan tries
        // them. Other automata: non-empty when the state accepts.
        std::vector<std::uint32_t> accepts;
    };
    std::vector<State> states;  // state 0 starts

    bool empty() const { return states.empty(); }
    bool accepting(StateId state) const { return !states[state].accepts.empty(); }
    // The target of `state` on `group`, if any.
    std::optional<StateId> move(StateId state, GroupId group) const;
};

enum class LookaheadKind : std::uint8_t { None, Positive, Negative };

struct Clause {
    std::string pattern;
    std::uint32_t token_type = 0;
    LookaheadKind lookahead_kind = LookaheadKind::None;
    std::string lookahead_pattern;
    // Into Mode::lookaheads; unset when the clause is in no accept list.
    std::optional<std::uint32_t> lookahead;
    Automaton alone;    // the regex by itself; empty when it could not be built
    std::string error;  // why the regex could not be compiled, if it could not
    std::size_t offset = 0;
};

enum class TransitionKind : std::uint8_t { Enter, Push, Pop };

struct Transition {
    TransitionKind kind = TransitionKind::Pop;
    std::uint64_t token_type = 0;
    std::string target_name;            // Enter and Push
    std::optional<std::size_t> target;  // the first mode of that name, if any
    std::size_t offset = 0;
};

struct ModeStatistics {
    std::size_t clauses = 0;
    std::size_t nfa_states = 0;
    std::size_t dfa_states = 0;  // after subset construction
    std::size_t minimized_states = 0;
    std::size_t interval_groups = 0;  // used by the mode's transitions
    std::size_t table_bytes = 0;      // of its runtime tables, lookaheads included
    double nfa_ms = 0;
    double dfa_ms = 0;
    double minimize_ms = 0;
    double table_ms = 0;
};

struct Mode {
    std::string name;
    std::size_t offset = 0;
    std::vector<Clause> clauses;
    std::vector<Transition> transitions;
    Automaton dfa;      // empty when the mode could not be built
    std::string error;  // why not
    std::vector<Automaton> lookaheads;
    ModeStatistics statistics;
};

// The scanner's interval groups.
class Alphabet {
  public:
    Alphabet() = default;
    explicit Alphabet(std::vector<std::vector<Interval>> groups);

    const std::vector<std::vector<Interval>>& groups() const { return groups_; }
    std::optional<GroupId> group_of(char32_t ch) const;
    // A character of the group that reads well: printable ASCII if it has
    // one, a letter or digit first, else its first printable character.
    char32_t representative(GroupId group) const;
    // Whether the groups together hold every character.
    bool covers_everything() const;

  private:
    std::vector<std::vector<Interval>> groups_;
    std::vector<std::pair<Interval, GroupId>> sorted_;  // ascending, disjoint
};

struct DefinitionAutomata {
    std::string text;
    std::string name;
    std::vector<Mode> modes;
    Alphabet alphabet;
    double parse_ms = 0;
    double classes_ms = 0;
    std::size_t interval_groups = 0;
};

// A definition the parser rejects: its message and the offset of the failure.
struct ParseFailure {
    std::string message;
    std::size_t offset = 0;
};

// Parses and builds every automaton. Only a parse failure is an error: a
// clause that does not compile, an unknown mode or a mode beyond the size
// limits is recorded in the mode and the rest is still built.
base::Result<DefinitionAutomata, ParseFailure> build_automata(std::string_view definition);

// The UTF-8 form of a string of characters.
std::string to_utf8(std::u32string_view text);

}  // namespace quarn::analysis
