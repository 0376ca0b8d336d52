// Thompson NFAs over regex HIR, the per-mode NFA of a scanner's patterns, and
// the queries the subset construction is built on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "quarn/base/result.hpp"
#include "quarn/generate/character_classes.hpp"
#include "quarn/generate/ids.hpp"
#include "quarn/generate/pattern.hpp"
#include "quarn/regex/hir.hpp"
#include "quarn/regex/parse.hpp"

namespace quarn::generate {

// No NFA (of one pattern or of a whole mode) may grow beyond this many states,
// nor may the NFAs of one scanner together: every mode NFA and the lookahead
// table are alive at once before the first is determinized. Counted
// repetitions multiply states ((a{1000}){1000}); the size is computed from the
// HIR and checked before anything is allocated. An NFA at the limit takes
// about 250 MB.
inline constexpr std::size_t kMaxNfaStates = 2'000'000;

// No regex text may be longer: its syntax tree and HIR take a hundred bytes
// or more per character, and a Unicode class thousands (`\w` holds about 770
// ranges), so a megabyte of `\w|\w|...` took gigabytes before any NFA bound
// applied. Real token regexes are under 100 bytes.
inline constexpr std::size_t kMaxPatternBytes = std::size_t{1} << 16;

// Splitting character classes into interval groups gives a consuming
// transition one copy per group it covers: (?i)\w{1,1000} in a scanner with a
// few hundred groups would turn 2,000 states into hundreds of thousands of
// transitions. The scanner's NFAs together may hold this many after the split
// (about 400 MB).
inline constexpr std::size_t kMaxScannerNfaTransitions = std::size_t{1} << 23;

// Every copy of a class in an NFA is hashed and compared range by range when
// the scanner's alphabet is split, so building costs about the ranges of all
// consuming transitions: 120 modes of (?i)\w{1,3000} hold about 250 million
// and took seconds before any other bound applied. The scanner's NFAs together
// may hold this many, about 250 times what our largest real definition (the
// SQL one of the language library, 17,142) holds; one (?i)\w{1,3000} fits.
inline constexpr std::size_t kMaxScannerLabelRanges = std::size_t{1} << 22;

// The NFA states and label ranges one scanner has used so far, against their
// bounds.
struct ScannerNfaBudget {
    std::uint64_t used = 0;
    std::uint64_t limit = kMaxNfaStates;
    std::uint64_t label_ranges_used = 0;
    std::uint64_t label_ranges_limit = kMaxScannerLabelRanges;
};

// The number of states try_from_hir builds for `hir`, computed without
// building anything (saturating far above kMaxNfaStates). Exact for every HIR
// that converts.
std::uint64_t nfa_state_count(const regex::Hir& hir);

// The ranges of the consuming transitions try_from_hir builds for `hir` (one
// per character of a literal), computed likewise and saturating.
std::uint64_t nfa_label_range_count(const regex::Hir& hir);

// A regex feature the scanner cannot express (look-arounds, lazy repetition).
struct UnsupportedFeatureError {
    std::string message;

    // "The regex feature '<message>' is not supported."
    std::string display() const;
    // UnsupportedFeatureError("<message>")
    std::string debug() const;

    friend bool operator==(const UnsupportedFeatureError&,
                           const UnsupportedFeatureError&) = default;
};

// Invalid UTF-8 in a literal label.
struct LiteralUtf8Error {
    std::size_t valid_up_to = 0;
    std::optional<std::uint8_t> error_len;  // none: the input ended mid-sequence

    std::string display() const;
    std::string debug() const;

    friend bool operator==(const LiteralUtf8Error&, const LiteralUtf8Error&) = default;
};

// An NFA bound would be exceeded: kMaxNfaStates by one regex or mode (Regex),
// the scanner's state budget (ScannerStates), kMaxScannerNfaTransitions
// (ScannerTransitions), kMaxPatternBytes (PatternBytes, checked before parsing)
// or the scanner's label range budget (ScannerLabelRanges).
struct NfaTooLargeError {
    enum class Measure : std::uint8_t {
        Regex,
        ScannerStates,
        ScannerTransitions,
        PatternBytes,
        ScannerLabelRanges,
    };

    std::size_t states = 0;  // the count the construction would have reached (saturated)
    Measure measure = Measure::Regex;
    std::size_t limit = kMaxNfaStates;

    std::string display() const;
    std::string debug() const;

    friend bool operator==(const NfaTooLargeError&, const NfaTooLargeError&) = default;
};

// Why an NFA could not be built. Display and debug forms are the held error's.
class NfaBuildError {
  public:
    using Variant =
        std::variant<regex::Error, UnsupportedFeatureError, LiteralUtf8Error, NfaTooLargeError>;

    NfaBuildError(Variant error) : error_(std::move(error)) {}
    NfaBuildError(regex::Error error) : error_(std::move(error)) {}
    NfaBuildError(UnsupportedFeatureError error) : error_(std::move(error)) {}
    NfaBuildError(LiteralUtf8Error error) : error_(error) {}
    NfaBuildError(NfaTooLargeError error) : error_(error) {}

    const Variant& error() const { return error_; }
    std::string display() const;
    std::string debug() const;

  private:
    Variant error_;
};

// The failure of one pattern of a mode NFA: the error, and the pattern's
// position in the list.
class PatternBuildError : public NfaBuildError {
  public:
    PatternBuildError(NfaBuildError error, std::size_t pattern_index)
        : NfaBuildError(std::move(error)), pattern(pattern_index) {}

    std::size_t pattern;
};

// One interval group as a transition label: its ranges and its number.
struct RangeLabel {
    std::shared_ptr<const std::vector<CharInterval>> ranges;
    DisjointCharClassID id;
};

// The label of a consuming transition: a Literal or Class HIR node as built
// from the regex, or, after convert_to_disjoint_character_classes, one interval
// group. Labels are immutable and shared between copies of an NFA, which keeps
// repetition copies cheap; equality compares contents.
class CharacterClassType {
  public:
    static CharacterClassType hir_kind(regex::Hir label);
    static CharacterClassType range(std::shared_ptr<const std::vector<CharInterval>> ranges,
                                    DisjointCharClassID id);

    bool is_hir_kind() const { return label_.index() == 0; }
    bool is_range() const { return label_.index() == 1; }
    const regex::Hir& hir() const { return *std::get<0>(label_); }  // is_hir_kind() only
    const std::vector<CharInterval>& ranges() const { return *std::get<1>(label_).ranges; }
    DisjointCharClassID class_id() const { return std::get<1>(label_).id; }  // is_range() only

    friend bool operator==(const CharacterClassType& a, const CharacterClassType& b);

  private:
    explicit CharacterClassType(std::variant<std::shared_ptr<const regex::Hir>, RangeLabel> label)
        : label_(std::move(label)) {}

    std::variant<std::shared_ptr<const regex::Hir>, RangeLabel> label_;
};

struct NfaTransition {
    std::optional<CharacterClassType> character_class;  // none: epsilon
    NfaStateID target;

    NfaTransition(std::optional<CharacterClassType> label, NfaStateID to)
        : character_class(std::move(label)), target(to) {}

    bool is_epsilon() const { return !character_class.has_value(); }

    friend bool operator==(const NfaTransition&, const NfaTransition&) = default;
};

struct NfaState {
    NfaStateID id;
    std::vector<NfaTransition> transitions;  // insertion order
    std::optional<Accept> accept_data;       // present on a pattern's end state only

    explicit NfaState(NfaStateID state_id) : id(state_id) {}

    // Adds n to the id and to every target.
    void offset(std::uint32_t n);
    bool is_empty() const { return transitions.empty(); }

    friend bool operator==(const NfaState&, const NfaState&) = default;
};

class Nfa {
  public:
    std::string pattern;           // the regex text; empty for Nfa() and mode NFAs
    std::vector<NfaState> states;  // state k at position k
    NfaStateID start_state;
    NfaStateID end_state;

    // One state 0 without transitions, start = end = 0: matches the empty string.
    Nfa();

    // ---- Elementary operations ----
    void add_state(NfaState state) { states.push_back(std::move(state)); }
    NfaStateID new_state();
    void set_start_state(NfaStateID id) { start_state = id; }
    void set_end_state(NfaStateID id) { end_state = id; }
    void set_pattern(std::string_view text) { pattern = text; }
    // Internal error "State <id> does not exist in the NFA." for an unknown `from`.
    void add_transition(NfaStateID from, const regex::Hir& label, NfaStateID to);
    void add_transition(NfaStateID from, CharacterClassType label, NfaStateID to);
    void add_epsilon_transition(NfaStateID from, NfaStateID to);
    void shift_ids(std::uint32_t n);
    void append(Nfa&& other);
    // The shape of Nfa(): one state, no transitions (accept data not looked at).
    bool is_empty() const;

    // ---- Fragment combinators (`other` is consumed) ----
    // An empty receiver takes `other` over whole; otherwise `other` is appended
    // behind the existing states.
    void concat(Nfa&& other);
    void alternation(Nfa&& other);
    void zero_or_more();
    void zero_or_one();

    // ---- Conversion ----
    // Parses the pattern's regex and builds its NFA, the pattern's accept
    // record (priority 0) attached to the end state.
    static base::Result<Nfa, NfaBuildError> build(const Pattern& pattern);
    // The same, its states also charged to the scanner's budget.
    static base::Result<Nfa, NfaBuildError> build(const Pattern& pattern, ScannerNfaBudget& budget);
    // The automaton of a lookahead regex: its end state accepts
    // kLookaheadTokenType with priority 0. The error is the failure message.
    static base::Result<Nfa, std::string> build_lookahead(std::string_view regex,
                                                          ScannerNfaBudget& budget);
    static base::Result<Nfa, NfaBuildError> try_from_hir(const regex::Hir& hir);

    // ---- Mode NFA ----
    // Pattern i, given priority i, joined by alternation; the first error met.
    static base::Result<Nfa, PatternBuildError> build_from_patterns(
        const std::vector<Pattern>& patterns);
    // The same, its states also charged to the scanner's budget.
    static base::Result<Nfa, PatternBuildError> build_from_patterns(
        const std::vector<Pattern>& patterns, ScannerNfaBudget& budget);
    // Registers every label of this NFA.
    void collect_character_classes(CharacterClasses& character_classes) const;
    // Relabels every transition by interval groups.
    void convert_to_disjoint_character_classes(const CharacterClasses& character_classes);
    // The consuming transitions this NFA will hold after
    // convert_to_disjoint_character_classes, without converting.
    std::uint64_t disjoint_transition_count(const CharacterClasses& character_classes) const;

    friend bool operator==(const Nfa&, const Nfa&) = default;
};

// UTF-8 encoding of a scalar value, 1 to 4 bytes.
std::string char_to_bytes(char32_t c);

// Debug text of a label, for internal messages.
void append_debug(std::string& out, const CharacterClassType& label);
std::string debug_string(const CharacterClassType& label);

// One line per state: "<id>: <label>><target> ... [accept]", a label being
// "#<group>" or the regex text of a Literal or Class; then "start=<s> end=<e>".
std::string dump(const Nfa& nfa);

}  // namespace quarn::generate
