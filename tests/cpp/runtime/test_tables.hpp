// Hand-built tables for the runtime tests.
#pragma once

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "quarn/runtime/find_matches.hpp"
#include "quarn/runtime/match_function.hpp"
#include "quarn/runtime/tables.hpp"

namespace quarn::runtime::testing {

// Character classes of the test alphabet; other characters have no class.
enum Cls : ClassIndex { A, B, C, D, X, Y, DIGIT, LF, CR, SPACE, E_ACUTE, EURO, EMOJI, kNumClasses };

inline MatchFunction test_match_function() {
    // Groups in class order; DIGIT is split over two elementary intervals.
    std::vector<std::vector<CharRange>> groups = {
        {{U'a', U'a'}},
        {{U'b', U'b'}},
        {{U'c', U'c'}},
        {{U'd', U'd'}},
        {{U'x', U'x'}},
        {{U'y', U'y'}},
        {{U'0', U'4'}, {U'5', U'9'}},
        {{U'\n', U'\n'}},
        {{U'\r', U'\r'}},
        {{U' ', U' '}},
        {{0xE9, 0xE9}},
        {{0x20AC, 0x20AC}},
        {{0x1F600, 0x1F600}},
    };
    std::vector<CharRange> elementary;
    for (const auto& group : groups)
        elementary.insert(elementary.end(), group.begin(), group.end());
    std::sort(elementary.begin(), elementary.end(),
              [](const CharRange& l, const CharRange& r) { return l.start < r.start; });
    return MatchFunction(std::move(elementary), groups);
}

// The lookahead table of hand-built tables: each call files an automaton and
// returns the condition that refers to it.
struct LookaheadTable {
    std::vector<Dfa> automata;

    Lookahead positive(Dfa dfa) { return Lookahead::positive(add(std::move(dfa))); }
    Lookahead negative(Dfa dfa) { return Lookahead::negative(add(std::move(dfa))); }

  private:
    std::uint32_t add(Dfa dfa) {
        automata.push_back(std::move(dfa));
        return static_cast<std::uint32_t>(automata.size() - 1);
    }
};

// A compiled scanner over the test alphabet.
inline std::shared_ptr<const CompiledScanner> compile(std::vector<ScannerMode> modes,
                                                      std::vector<Dfa> lookaheads = {}) {
    return CompiledScanner::create(std::move(modes), std::move(lookaheads), test_match_function());
}

// Builds a Dfa state by state; state 0 is the start state.
class DfaBuilder {
  public:
    DfaBuilder() { states_.resize(1); }

    StateIndex add_state() {
        states_.emplace_back();
        return static_cast<StateIndex>(states_.size() - 1);
    }
    DfaBuilder& move(StateIndex from, ClassIndex cls, StateIndex to) {
        auto& row = states_[from].transitions;
        if (row.size() <= cls)
            row.resize(cls + 1);
        row[cls] = DfaTransition{to};
        return *this;
    }
    DfaBuilder& accept(StateIndex state, TokenType token_type, Lookahead lookahead = {}) {
        auto& list = states_[state].accept_data;
        list.push_back(AcceptData{std::move(lookahead), token_type, list.size()});
        return *this;
    }
    // A chain of moves from the start state spelling `classes`; returns its last state.
    StateIndex path(std::initializer_list<ClassIndex> classes) {
        StateIndex state = 0;
        for (ClassIndex cls : classes) {
            const auto& row = states_[state].transitions;
            if (cls < row.size() && row[cls]) {
                state = row[cls]->to;
            } else {
                const StateIndex next = add_state();
                move(state, cls, next);
                state = next;
            }
        }
        return state;
    }
    Dfa build() const { return Dfa(states_); }

  private:
    std::vector<DfaState> states_;
};

inline ScannerMode mode(std::string name, Dfa dfa, std::vector<Transition> transitions = {}) {
    return ScannerMode{std::move(name), std::move(transitions), std::move(dfa)};
}

template <class Iter>
std::vector<Match> drain(BasicFindMatches<Iter> matches) {
    std::vector<Match> result;
    while (auto match = matches.next_match())
        result.push_back(*match);
    return result;
}

inline ValidatedUtf8 text(std::string_view s) {
    return ValidatedUtf8::trusted(s);
}

struct Token {
    TokenType type;
    std::size_t start;
    std::size_t end;
    friend bool operator==(const Token&, const Token&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Token& t) {
        return os << "{type " << t.type << ", " << t.start << ".." << t.end << "}";
    }
};

inline std::vector<Token> tokens(const std::vector<Match>& matches) {
    std::vector<Token> result;
    for (const Match& m : matches)
        result.push_back({m.token_type, m.span.start, m.span.end});
    return result;
}

}  // namespace quarn::runtime::testing
