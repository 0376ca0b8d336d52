// Read-only scanning tables: one automaton per mode plus the mode switches
// attached to token types. The construction pipeline fills them once; the
// scanner only reads them.
//
// Building a Dfa: describe every state as a DfaState (a dense row of optional
// moves, one entry per character class, and its ordered accept list) and hand
// the list to `Dfa(std::vector<DfaState>)`. State 0 is the start state. The
// constructor checks every `to` against the number of states once, so the scan
// loop never has to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quarn::runtime {

using TokenType = std::uint64_t;
using Priority = std::uint64_t;
using StateIndex = std::uint32_t;
using ClassIndex = std::uint32_t;
using ModeIndex = std::size_t;

struct DfaTransition {
    StateIndex to;
    friend bool operator==(const DfaTransition&, const DfaTransition&) = default;
};

// Condition on the text right after a token: none, or the scanner's
// lookahead automaton `index`, which must (Positive) or must not (Negative)
// accept a non-empty prefix there.
class Lookahead {
  public:
    enum class Kind : std::uint8_t { None, Positive, Negative };

    Lookahead() = default;
    static Lookahead none() { return Lookahead(); }
    static Lookahead positive(std::uint32_t index) { return Lookahead(Kind::Positive, index); }
    static Lookahead negative(std::uint32_t index) { return Lookahead(Kind::Negative, index); }

    Kind kind() const { return kind_; }
    // Positive and Negative only: the position in the scanner's lookahead table.
    std::uint32_t index() const { return index_; }

    friend bool operator==(const Lookahead&, const Lookahead&) = default;

  private:
    Lookahead(Kind kind, std::uint32_t index) : kind_(kind), index_(index) {}

    Kind kind_ = Kind::None;
    std::uint32_t index_ = 0;
};

struct AcceptData {
    Lookahead lookahead;
    TokenType token_type = 0;
    // Only orders the accept list; the search decides by list position.
    Priority priority = 0;
    friend bool operator==(const AcceptData&, const AcceptData&) = default;
};

// One state as the pipeline describes it. Entry i of `transitions` is the move
// on character class i; an absent entry, or a class at or beyond the end of the
// row, means no move. `accept_data` is tried in list order.
struct DfaState {
    std::vector<std::optional<DfaTransition>> transitions;
    std::vector<AcceptData> accept_data;
    friend bool operator==(const DfaState&, const DfaState&) = default;
};

// A deterministic automaton stored as one flat table: each state owns a row of
// `num_classes() + 2` words. Word c < num_classes() is the move on class c;
// word num_classes() is always kNoMove, so the scan loop clamps an
// out-of-range class (kNoClass included) onto it instead of testing it; the
// last word is the state's accept slot.
//
// A move is kNoMove or the byte offset of the target's row, nothing else: the
// loop reads the next move at column_base(column) + move, so the only work
// that waits on the previous move is the load itself.
//
// Accept slot: kNotAccepting; or, when the state's first accept entry has no
// lookahead (so it is always the one chosen), that entry's index into
// accepts(); or else the state's index with kNeedsLookahead set.
class Dfa {
  public:
    static constexpr std::uint32_t kNoMove = 0xFFFF'FFFF;
    static constexpr std::uint32_t kNotAccepting = 0xFFFF'FFFF;
    static constexpr std::uint32_t kNeedsLookahead = 0x8000'0000;

    // No states: only useful as a placeholder; scanning with it is an internal error.
    Dfa() = default;
    // Throws InternalError if a `to` is not a state or the table would not fit.
    explicit Dfa(std::vector<DfaState> states);

    std::size_t num_states() const { return num_states_; }
    // Whether some state's first accept entry has a lookahead.
    bool has_lookahead() const { return has_lookahead_; }
    // Width of the widest row given at construction.
    std::size_t num_classes() const { return width_; }

    std::optional<DfaTransition> transition(StateIndex state, ClassIndex cls) const;
    std::span<const AcceptData> accept_data(StateIndex state) const;
    // The state as it would be described to the constructor, rows padded to num_classes().
    DfaState state(StateIndex state) const;

    // Raw table access for the search loop. Rows are addressed by byte offset;
    // the start state's row is at offset 0.
    std::uint32_t row_stride_bytes() const { return (width_ + 2) * sizeof(std::uint32_t); }
    // The word of a row to read for class `cls`: the no-move word past the last class.
    std::uint32_t column(ClassIndex cls) const { return cls < width_ ? cls : width_; }
    // Where `column` of the start state's row lies; add a row's offset for the others.
    const char* column_base(std::uint32_t column) const {
        return reinterpret_cast<const char*>(table_.data()) + column * sizeof(std::uint32_t);
    }
    // The word at `column_base` in the row at byte offset `row`.
    static std::uint32_t word_at(const char* column_base, std::size_t row) {
        std::uint32_t word;
        std::memcpy(&word, column_base + row, sizeof word);
        return word;
    }
    std::uint32_t accept_slot(std::size_t row) const {
        return word_at(column_base(width_ + 1), row);
    }
    const AcceptData* accepts() const { return accepts_.data(); }
    const AcceptData* accept_begin(StateIndex state) const {
        return accepts_.data() + accept_offsets_[state];
    }
    const AcceptData* accept_end(StateIndex state) const {
        return accepts_.data() + accept_offsets_[state + 1];
    }

    friend bool operator==(const Dfa& a, const Dfa& b);

  private:
    std::uint32_t num_states_ = 0;
    std::uint32_t width_ = 0;
    bool has_lookahead_ = false;
    std::vector<std::uint32_t> table_;
    std::vector<AcceptData> accepts_;
    std::vector<std::uint32_t> accept_offsets_;  // num_states + 1 entries
};

// A mode switch triggered by a token type. `target_mode` is meaningless for PopMode.
class Transition {
  public:
    enum class Kind : std::uint8_t { SetMode, PushMode, PopMode };

    static Transition set_mode(TokenType token_type, ModeIndex target_mode) {
        return Transition(Kind::SetMode, token_type, target_mode);
    }
    static Transition push_mode(TokenType token_type, ModeIndex target_mode) {
        return Transition(Kind::PushMode, token_type, target_mode);
    }
    static Transition pop_mode(TokenType token_type) {
        return Transition(Kind::PopMode, token_type, 0);
    }

    Kind kind() const { return kind_; }
    TokenType token_type() const { return token_type_; }
    ModeIndex target_mode() const { return target_mode_; }

    friend bool operator==(const Transition&, const Transition&) = default;

  private:
    Transition(Kind kind, TokenType token_type, ModeIndex target_mode)
        : kind_(kind), token_type_(token_type), target_mode_(target_mode) {}

    Kind kind_;
    TokenType token_type_;
    ModeIndex target_mode_;
};

struct ScannerMode {
    std::string name;
    std::vector<Transition> transitions;
    Dfa dfa;
};

}  // namespace quarn::runtime
