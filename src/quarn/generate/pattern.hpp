// Token rules of a mode and their follow conditions (lookaheads).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "quarn/base/result.hpp"
#include "quarn/generate/boxed.hpp"
#include "quarn/generate/ids.hpp"

namespace quarn::generate {

class Nfa;                // nfa.hpp
struct ScannerNfaBudget;  // nfa.hpp
struct Dfa;               // dfa.hpp

// The automaton of a lookahead: an Nfa from parsing until DFA construction, a
// Dfa afterwards. Include nfa.hpp / dfa.hpp to use the held automaton.
class AutomatonType {
  public:
    AutomatonType(Nfa nfa);
    AutomatonType(Dfa dfa);
    AutomatonType(const AutomatonType& other);
    AutomatonType(AutomatonType&& other) noexcept;
    AutomatonType& operator=(const AutomatonType& other);
    AutomatonType& operator=(AutomatonType&& other) noexcept;
    ~AutomatonType();

    bool is_nfa() const { return automaton_.index() == 0; }
    bool is_dfa() const { return automaton_.index() == 1; }
    Nfa& nfa();  // is_nfa() only
    const Nfa& nfa() const;
    Dfa& dfa();  // is_dfa() only
    const Dfa& dfa() const;

    friend bool operator==(const AutomatonType& a, const AutomatonType& b);

  private:
    std::variant<Boxed<Nfa>, Boxed<Dfa>> automaton_;
};

// A follow condition. Its automaton is immutable once built and shared between
// copies of the lookahead: a pattern is copied into every accept record of
// every automaton state that accepts it, and a deep copy of a large lookahead
// automaton per record would cost quadratic time and memory. Copies still
// behave as values: the mutable accessor detaches a shared automaton first,
// and equality compares contents.
class Lookahead {
  public:
    enum class Kind : std::uint8_t { None, Positive, Negative };

    Lookahead() = default;                                           // None
    Lookahead(Kind kind, AutomatonType automaton);                   // Positive or Negative
    Lookahead(Kind kind, std::shared_ptr<AutomatonType> automaton);  // shared as given

    // The lookahead of the regex `text`, its NFA built for an auxiliary pattern
    // with token type 4294967295 and priority 0; or the failure message.
    // Its NFA is charged to `budget`, the scanner's (see Nfa::build).
    static base::Result<Lookahead, std::string> positive(std::string_view text,
                                                         ScannerNfaBudget& budget);
    static base::Result<Lookahead, std::string> negative(std::string_view text,
                                                         ScannerNfaBudget& budget);
    static base::Result<Lookahead, std::string> positive(std::string_view text);
    static base::Result<Lookahead, std::string> negative(std::string_view text);

    Kind kind() const { return kind_; }
    bool is_none() const { return kind_ == Kind::None; }
    // Positive and Negative only.
    AutomatonType& automaton();
    const AutomatonType& automaton() const { return *automaton_; }
    // The automaton as held, shared with every copy of this lookahead.
    const std::shared_ptr<AutomatonType>& shared_automaton() const { return automaton_; }

    friend bool operator==(const Lookahead& a, const Lookahead& b);

  private:
    Kind kind_ = Kind::None;
    std::shared_ptr<AutomatonType> automaton_;  // never changed while shared
};

// The token type of the auxiliary pattern that lookahead automata accept.
inline constexpr TerminalID kLookaheadTerminal{4294967295u};

struct Pattern {
    std::string pattern;  // the regex text
    TerminalID terminal_type;
    std::uint64_t priority = 0;  // position in its mode; 0 until assigned
    Lookahead lookahead;

    Pattern(std::string pattern_text, TerminalID terminal)
        : pattern(std::move(pattern_text)), terminal_type(terminal) {}

    Pattern with_lookahead(Lookahead new_lookahead) &&;
    Pattern with_priority(std::uint64_t new_priority) &&;

    friend bool operator==(const Pattern&, const Pattern&) = default;
};

// Debug texts, e.g.
// Pattern { pattern: "a+", terminal_type: TerminalID(1), priority: 0, lookahead: None }
// Lookahead: None | Positive(<automaton>) | Negative(<automaton>)
// AutomatonType: Nfa(<nfa debug>) | Dfa(<dfa debug>)
void append_debug(std::string& out, const Pattern& pattern);
void append_debug(std::string& out, const Lookahead& lookahead);
void append_debug(std::string& out, const AutomatonType& automaton);
// An accept list: "[" patterns separated by ", " "]".
void append_debug(std::string& out, const std::vector<Pattern>& patterns);
// The debug text of an accept list in pieces: literal text, with each
// lookahead automaton left as a piece of its own for the caller to render,
// once however many lists hold it.
struct DebugPiece {
    std::string text;
    const AutomatonType* automaton = nullptr;  // set: this piece is its text
};
void append_debug_pieces(std::vector<DebugPiece>& out, const std::vector<Pattern>& patterns);
std::string debug_string(const Pattern& pattern);
std::string debug_string(const Lookahead& lookahead);
std::string debug_string(const AutomatonType& automaton);
std::string debug_string(const std::vector<Pattern>& patterns);

}  // namespace quarn::generate
