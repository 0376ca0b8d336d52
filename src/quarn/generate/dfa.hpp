// The generator's deterministic automaton.
#pragma once

#include <string>
#include <vector>

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

}  // namespace quarn::generate
