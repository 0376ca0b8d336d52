// The generator's deterministic automaton.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "quarn/base/result.hpp"
#include "quarn/generate/ids.hpp"
#include "quarn/generate/pattern.hpp"

namespace quarn::generate {

class Nfa;  // nfa.hpp

struct DfaTransition {
    DisjointCharClassID group;
    DfaStateID target;

    friend bool operator==(const DfaTransition&, const DfaTransition&) = default;
};

struct DfaState {
    std::vector<DfaTransition> transitions;
    std::vector<Accept> accept_data;  // empty: not accepting

    friend bool operator==(const DfaState&, const DfaState&) = default;
};

// State k is at position k; state 0 is the start state.
struct Dfa {
    std::vector<DfaState> states;

    friend bool operator==(const Dfa&, const Dfa&) = default;
};

// One line per state: "<id>: #<group>><target> ... [<accept>, ...]".
std::string dump(const Dfa& dfa);

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
// Transitions followed while computing target subsets, counted as a whole:
// about a second on one core. The largest real definition we have
// (benchmarks/definitions/large.quarn) takes about 2^21.
inline constexpr std::size_t kMaxSubsetWork = std::size_t{1} << 26;

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

// Adds one accept record to a state. A record equal to one present is
// dropped; otherwise the list is sorted stably by priority, then token type,
// and cut after its first record without lookahead, which always wins.
void add_accept_data(DfaState& state, Accept accept);

// Subset construction over an NFA whose transitions carry interval groups.
// State 0 is the start closure, further states are numbered breadth first with
// each state's intervals expanded in ascending order.
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

// The minimized automata of one scanner: one per mode and one per lookahead
// that an accepting state refers to (the others stay empty). Each mode NFA is
// released once converted. A lookahead is converted when first met, right
// after the subset construction of the first mode that accepts it, so the
// bounds are met in the same order as if every mode converted its own.
// On failure `failed_mode`, when given, receives the index of the mode whose
// conversion (or that of a lookahead it accepts with) was refused.
struct ScannerDfas {
    std::vector<Dfa> modes;
    std::vector<Dfa> lookaheads;  // by LookaheadID
};
base::Result<ScannerDfas, DfaConversionError> build_scanner_dfas(
    std::vector<Nfa>& mode_nfas, const std::vector<Nfa>& lookahead_nfas, std::size_t alphabet_width,
    ScannerDfaBudget& budget, std::size_t* failed_mode = nullptr);

}  // namespace quarn::generate
