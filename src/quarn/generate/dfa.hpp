// The generator's deterministic automaton.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "quarn/base/result.hpp"
#include "quarn/generate/debug_text.hpp"
#include "quarn/generate/ids.hpp"
#include "quarn/generate/pattern.hpp"

namespace quarn::generate {

// ---- Records (shared with patterns, whose lookaheads hold DFAs) ----

struct DfaTransition {
    DisjointCharClassID elementary_interval_index;
    DfaStateID target;

    friend bool operator==(const DfaTransition&, const DfaTransition&) = default;
};

struct DfaState {
    std::vector<DfaTransition> transitions;
    std::vector<Pattern> accept_data;  // empty: not accepting

    friend bool operator==(const DfaState&, const DfaState&) = default;
};

// State k is at position k; state 0 is the start state.
struct Dfa {
    std::vector<DfaState> states;

    friend bool operator==(const Dfa&, const Dfa&) = default;
};

// DfaTransition { elementary_interval_index: DisjointCharClassID(3), target: DfaStateID(1) }
inline void append_debug(std::string& out, const DfaTransition& transition) {
    out += "DfaTransition { elementary_interval_index: ";
    out += debug_string(transition.elementary_interval_index);
    out += ", target: ";
    out += debug_string(transition.target);
    out += " }";
}

inline void append_debug(std::string& out, const DfaState& state) {
    out += "DfaState { transitions: ";
    append_debug_list(out, state.transitions,
                      [](std::string& o, const DfaTransition& t) { append_debug(o, t); });
    out += ", accept_data: ";
    append_debug(out, state.accept_data);
    out += " }";
}

inline void append_debug(std::string& out, const Dfa& dfa) {
    out += "Dfa { states: ";
    append_debug_list(out, dfa.states,
                      [](std::string& o, const DfaState& s) { append_debug(o, s); });
    out += " }";
}

inline std::string debug_string(const DfaTransition& transition) {
    std::string out;
    append_debug(out, transition);
    return out;
}
inline std::string debug_string(const DfaState& state) {
    std::string out;
    append_debug(out, state);
    return out;
}
inline std::string debug_string(const Dfa& dfa) {
    std::string out;
    append_debug(out, dfa);
    return out;
}

// ---- Subset construction ----

// Bounds of one conversion. Subset construction can blow up exponentially
// ((a|b)*a(a|b){24} needs 2^25 states), and the runtime gives every state a row
// with one cell per interval group: 2^24 cells take 64 MB in the final table and
// about 200 MB while the pipeline builds it. A definition beyond a bound is
// refused with a DfaConversionError instead of exhausting memory or time.
inline constexpr std::size_t kMaxDfaStates = std::size_t{1} << 16;
// States times interval groups (see alphabet_width below).
inline constexpr std::size_t kMaxDfaTableCells = std::size_t{1} << 24;
// NFA state numbers held by all subsets together (128 MB).
inline constexpr std::size_t kMaxSubsetMembers = std::size_t{1} << 25;
// Transitions followed while computing target subsets, counted as a whole.
inline constexpr std::size_t kMaxSubsetWork = std::size_t{1} << 30;

// Bounds of all conversions of one scanner together (its modes and their
// lookaheads): the table cells of the automata kept, and the steps spent.
// Without them a definition of many modes, each just within the bounds above,
// could still take gigabytes or minutes.
inline constexpr std::size_t kMaxScannerDfaTableCells = std::size_t{1} << 26;
inline constexpr std::size_t kMaxScannerSubsetWork = kMaxSubsetWork;

// What the conversions of one scanner have used so far.
struct ScannerDfaBudget {
    std::size_t table_cells = 0;  // of the minimized automata
    std::size_t subset_work = 0;
};

// Why an NFA could not be converted into a DFA.
struct DfaConversionError {
    std::string message;

    std::string display() const { return message; }
    // DfaConversionError("<message>")
    std::string debug() const;

    friend bool operator==(const DfaConversionError&, const DfaConversionError&) = default;
};

// Adds one accepted pattern to a state. A pattern equal to one present is
// dropped; otherwise the list is sorted stably by priority, then terminal type,
// and cut after its first pattern without lookahead, which always wins.
void add_accept_data(DfaState& state, Pattern pattern);

// Subset construction over an NFA whose transitions carry interval groups.
// State 0 is the start closure, further states are numbered breadth first with
// each state's intervals expanded in ascending order. Lookahead NFAs of the
// accepted patterns are converted (and minimized) on the way.
// `alphabet_width`, when known, is the number of interval groups of the whole
// scanner: the width of every runtime row, which the table bound then counts
// instead of the groups this NFA uses.
base::Result<Dfa, DfaConversionError> try_from_nfa_not_minimized(const Nfa& nfa,
                                                                 std::size_t alphabet_width = 0);
// The same, charged to the scanner's budget (the table cells of its states
// until the caller minimizes them).
base::Result<Dfa, DfaConversionError> try_from_nfa_not_minimized(const Nfa& nfa,
                                                                 std::size_t alphabet_width,
                                                                 ScannerDfaBudget& budget);

// The full conversion: subset construction, then minimization.
base::Result<Dfa, DfaConversionError> try_from_nfa(const Nfa& nfa, std::size_t alphabet_width = 0);
// The same, charged to the scanner's budget: the steps, and the table cells of
// the minimized automaton (`alphabet_width` or at least 1 per state).
base::Result<Dfa, DfaConversionError> try_from_nfa(const Nfa& nfa, std::size_t alphabet_width,
                                                   ScannerDfaBudget& budget);

}  // namespace quarn::generate
