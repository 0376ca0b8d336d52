// Thompson construction from the HIR, with the state count computed first so
// that a regex beyond the bounds is refused before anything is allocated;
// then the mode NFA (patterns joined by alternation) and its relabelling by
// interval groups.
#include "quarn/generate/nfa.hpp"

#include <algorithm>
#include <unordered_map>

#include "quarn/base/errors.hpp"
#include "quarn/base/interrupt.hpp"
#include "quarn/base/utf8.hpp"
#include "quarn/generate/dfa.hpp"
#include "quarn/regex/debug_text.hpp"

namespace quarn::generate {

// ---- Errors ----

std::string UnsupportedFeatureError::display() const {
    return "The regex feature '" + message + "' is not supported.";
}

std::string UnsupportedFeatureError::debug() const {
    return "UnsupportedFeatureError(" + regex::debug_quote_str(message) + ")";
}

std::string LiteralUtf8Error::display() const {
    if (error_len) {
        return "invalid utf-8 sequence of " + std::to_string(*error_len) + " bytes from index " +
               std::to_string(valid_up_to);
    }
    return "incomplete utf-8 byte sequence from index " + std::to_string(valid_up_to);
}

std::string LiteralUtf8Error::debug() const {
    return "Utf8Error { valid_up_to: " + std::to_string(valid_up_to) + ", error_len: " +
           (error_len ? "Some(" + std::to_string(*error_len) + ")" : std::string("None")) + " }";
}

std::string NfaTooLargeError::display() const {
    const std::string limit_text = ", more than the limit of " + std::to_string(limit) + ".";
    switch (measure) {
        case Measure::Regex:
            break;
        case Measure::ScannerStates:
            return "The scanner is too large: its NFAs would need " + std::to_string(states) +
                   " states together" + limit_text;
        case Measure::ScannerTransitions:
            return "The scanner is too large: its NFAs would need " + std::to_string(states) +
                   " transitions on interval groups together" + limit_text;
        case Measure::PatternBytes:
            return "The regex is too large: its text is " + std::to_string(states) + " bytes" +
                   limit_text;
        case Measure::ScannerLabelRanges:
            return "The scanner is too large: its NFAs would need " + std::to_string(states) +
                   " character ranges on their transitions together" + limit_text;
    }
    return "The regex is too large: its NFA would need " + std::to_string(states) + " states" +
           limit_text;
}

std::string NfaTooLargeError::debug() const {
    const char* field = measure == Measure::Regex                ? "states"
                        : measure == Measure::ScannerStates      ? "scanner_states"
                        : measure == Measure::ScannerTransitions ? "scanner_transitions"
                        : measure == Measure::PatternBytes       ? "pattern_bytes"
                                                                 : "scanner_label_ranges";
    return std::string("NfaTooLargeError { ") + field + ": " + std::to_string(states) +
           ", limit: " + std::to_string(limit) + " }";
}

std::string NfaBuildError::display() const {
    return std::visit([](const auto& error) { return error.display(); }, error_);
}

std::string NfaBuildError::debug() const {
    return std::visit([](const auto& error) { return error.debug(); }, error_);
}

// ---- Labels, transitions, states ----

CharacterClassType CharacterClassType::hir_kind(regex::Hir label) {
    return CharacterClassType(std::make_shared<const regex::Hir>(std::move(label)));
}

CharacterClassType CharacterClassType::range(
    std::shared_ptr<const std::vector<CharInterval>> ranges, DisjointCharClassID id) {
    return CharacterClassType(RangeLabel{std::move(ranges), id});
}

bool operator==(const CharacterClassType& a, const CharacterClassType& b) {
    if (a.label_.index() != b.label_.index())
        return false;
    if (a.is_hir_kind()) {
        const auto& x = std::get<0>(a.label_);
        const auto& y = std::get<0>(b.label_);
        return x == y || *x == *y;
    }
    const auto& x = std::get<1>(a.label_);
    const auto& y = std::get<1>(b.label_);
    return x.id == y.id && (x.ranges == y.ranges || *x.ranges == *y.ranges);
}

void NfaState::offset(std::uint32_t n) {
    id += n;
    for (auto& transition : transitions)
        transition.target += n;
}

// ---- Elementary operations ----

Nfa::Nfa() {
    states.emplace_back(NfaStateID(0));
}

NfaStateID Nfa::new_state() {
    base::construction_countdown().charge(1);
    const NfaStateID id(static_cast<std::uint32_t>(states.size()));
    states.emplace_back(id);
    return id;
}

namespace {

NfaState& existing_state(std::vector<NfaState>& states, NfaStateID id) {
    if (id.as_usize() >= states.size()) {
        base::fail("State " + display_string(id) + " does not exist in the NFA.");
    }
    return states[id.as_usize()];
}

}  // namespace

void Nfa::add_transition(NfaStateID from, const regex::Hir& label, NfaStateID to) {
    add_transition(from, CharacterClassType::hir_kind(label), to);
}

void Nfa::add_transition(NfaStateID from, CharacterClassType label, NfaStateID to) {
    base::construction_countdown().charge(1);
    existing_state(states, from).transitions.emplace_back(std::move(label), to);
}

void Nfa::add_epsilon_transition(NfaStateID from, NfaStateID to) {
    existing_state(states, from).transitions.emplace_back(std::nullopt, to);
}

void Nfa::shift_ids(std::uint32_t n) {
    base::construction_countdown().charge(states.size());
    for (auto& state : states)
        state.offset(n);
    start_state += n;
    end_state += n;
}

void Nfa::append(Nfa&& other) {
    states.insert(states.end(), std::make_move_iterator(other.states.begin()),
                  std::make_move_iterator(other.states.end()));
    other.states.clear();
}

bool Nfa::is_empty() const {
    return start_state.value() == 0 && end_state.value() == 0 && states.size() == 1 &&
           states[0].transitions.empty();
}

// ---- Fragment combinators ----

namespace {

void take_over(Nfa& self, Nfa&& other) {
    self.states = std::move(other.states);
    self.start_state = other.start_state;
    self.end_state = other.end_state;
}

// `other` behind `self`, joined by a new start and a new end state; unlike
// alternation() this never takes `other` over.
void join_alternative(Nfa& self, Nfa&& other) {
    const auto n = static_cast<std::uint32_t>(self.states.size());
    other.shift_ids(n);
    const NfaStateID other_start = other.start_state;
    const NfaStateID other_end = other.end_state;
    self.append(std::move(other));
    const NfaStateID start = self.new_state();
    self.add_epsilon_transition(start, self.start_state);
    self.add_epsilon_transition(start, other_start);
    const NfaStateID end = self.new_state();
    self.add_epsilon_transition(self.end_state, end);
    self.add_epsilon_transition(other_end, end);
    self.start_state = start;
    self.end_state = end;
}

}  // namespace

void Nfa::concat(Nfa&& other) {
    if (is_empty()) {
        take_over(*this, std::move(other));
        return;
    }
    const auto n = static_cast<std::uint32_t>(states.size());
    other.shift_ids(n);
    const NfaStateID other_start = other.start_state;
    const NfaStateID other_end = other.end_state;
    append(std::move(other));
    add_epsilon_transition(end_state, other_start);
    end_state = other_end;
}

void Nfa::alternation(Nfa&& other) {
    if (is_empty()) {
        take_over(*this, std::move(other));
        return;
    }
    join_alternative(*this, std::move(other));
}

void Nfa::zero_or_more() {
    const NfaStateID old_start = start_state;
    const NfaStateID old_end = end_state;
    const NfaStateID start = new_state();
    add_epsilon_transition(start, old_start);
    add_epsilon_transition(start, old_end);
    const NfaStateID end = new_state();
    add_epsilon_transition(old_end, end);
    add_epsilon_transition(old_end, old_start);
    start_state = start;
    end_state = end;
}

void Nfa::zero_or_one() {
    const NfaStateID start = new_state();
    add_epsilon_transition(start, start_state);
    add_epsilon_transition(start, end_state);
    start_state = start;
}

// ---- Conversion ----

std::string char_to_bytes(char32_t c) {
    return base::utf8_of(c);
}

namespace {

using BuildResult = base::Result<Nfa, NfaBuildError>;

const char* look_message_word(regex::LookKind kind) {
    switch (kind) {
        case regex::LookKind::Start:
            return "StartLine";
        case regex::LookKind::End:
            return "EndLine";
        default:
            return regex::look_kind_name(kind);
    }
}

std::optional<NfaTooLargeError> check_size(std::uint64_t states) {
    if (states <= kMaxNfaStates)
        return std::nullopt;
    return NfaTooLargeError{static_cast<std::size_t>(states)};
}

// Sizes saturate far above the limit and far below overflow.
constexpr std::uint64_t kSizeCap = std::uint64_t{1} << 60;

std::uint64_t capped_sum(std::uint64_t a, std::uint64_t b) {
    return std::min(a + b, kSizeCap);
}

std::uint64_t capped_product(std::uint64_t a, std::uint64_t b) {
    if (a != 0 && b > kSizeCap / a)
        return kSizeCap;
    return a * b;
}

// The size after `concat`: a receiver of one state is the empty NFA (no HIR
// converts to a single state with transitions) and is taken over.
std::uint64_t concat_size(std::uint64_t receiver, std::uint64_t other) {
    return receiver == 1 ? other : capped_sum(receiver, other);
}

BuildResult convert(const regex::Hir& hir);

BuildResult convert_literal(const regex::Hir& hir) {
    if (auto failure = base::validate_utf8(hir.literal)) {
        return base::err(NfaBuildError(LiteralUtf8Error{failure->valid_up_to, failure->error_len}));
    }
    Nfa result;
    std::string_view rest = hir.literal;
    while (!rest.empty()) {
        const auto decoded = *base::decode_utf8_char(rest);
        const NfaStateID state = result.new_state();
        result.add_transition(result.end_state,
                              regex::Hir::make_literal(char_to_bytes(decoded.character)), state);
        result.end_state = state;
        rest.remove_prefix(decoded.length);
    }
    return result;
}

BuildResult convert_repetition(const regex::Hir& hir) {
    if (!hir.greedy) {
        return base::err(NfaBuildError(UnsupportedFeatureError{
            regex::print_regex(hir) +
            ": Non-greedy repetitions. Consider using different scanner modes instead."}));
    }
    auto inner = convert(hir.subs.at(0));
    if (!inner)
        return inner;
    const Nfa& x = inner.value();
    Nfa result;
    for (std::uint32_t i = 0; i < hir.min; ++i)
        result.concat(Nfa(x));
    if (hir.max) {
        Nfa optional = x;
        optional.zero_or_one();
        for (std::uint32_t i = hir.min; i < *hir.max; ++i)
            result.concat(Nfa(optional));
    } else {
        Nfa star = x;
        star.zero_or_more();
        result.concat(std::move(star));
    }
    return result;
}

// Sizes are checked before conversion (nfa_state_count), so nothing here can
// grow beyond the limit.
BuildResult convert(const regex::Hir& hir) {
    switch (hir.kind) {
        case regex::HirKind::Empty:
            return Nfa();
        case regex::HirKind::Literal:
            return convert_literal(hir);
        case regex::HirKind::Class: {
            Nfa result;
            const NfaStateID end = result.new_state();
            result.add_transition(result.start_state, hir, end);
            result.end_state = end;
            return result;
        }
        case regex::HirKind::Look:
            return base::err(NfaBuildError(UnsupportedFeatureError{
                std::string(look_message_word(hir.look)) + " " + regex::debug_string(hir)}));
        case regex::HirKind::Repetition:
            return convert_repetition(hir);
        case regex::HirKind::Capture:
            return convert(hir.subs.at(0));
        case regex::HirKind::Concat: {
            Nfa result;
            for (const auto& sub : hir.subs) {
                auto part = convert(sub);
                if (!part)
                    return part;
                result.concat(std::move(part).value());
            }
            return result;
        }
        case regex::HirKind::Alternation: {
            Nfa result;
            bool first = true;
            for (const auto& sub : hir.subs) {
                auto branch = convert(sub);
                if (!branch)
                    return branch;
                // Every branch after the first is joined, even when the first
                // one matched only the empty string: `(|a)b` must match "b".
                if (first) {
                    result.alternation(std::move(branch).value());
                } else {
                    join_alternative(result, std::move(branch).value());
                }
                first = false;
            }
            return result;
        }
    }
    base::unreachable("unknown HIR kind");
}

// Parses and converts a pattern whose NFA is to be joined to one of
// `states_before` states (0: none), refusing it when the result would exceed
// the limit or the scanner's budget, whose use counts the receiver already;
// the budget is charged with the states added.
BuildResult build_within(const Pattern& pattern, std::uint64_t priority,
                         std::uint64_t states_before, ScannerNfaBudget& budget) {
    if (pattern.regex.size() > kMaxPatternBytes) {
        return base::err(NfaBuildError(NfaTooLargeError{
            pattern.regex.size(), NfaTooLargeError::Measure::PatternBytes, kMaxPatternBytes}));
    }
    auto hir = regex::parse(pattern.regex);
    if (!hir)
        return base::err(NfaBuildError(std::move(hir).error()));
    const std::uint64_t states = nfa_state_count(hir.value());
    const std::uint64_t total = states_before == 0 ? states : capped_sum(states_before, states + 2);
    if (auto too_large = check_size(total))
        return base::err(NfaBuildError(*too_large));
    const std::uint64_t scanner_total = capped_sum(budget.used, total - states_before);
    if (scanner_total > budget.limit) {
        return base::err(NfaBuildError(NfaTooLargeError{static_cast<std::size_t>(scanner_total),
                                                        NfaTooLargeError::Measure::ScannerStates,
                                                        static_cast<std::size_t>(budget.limit)}));
    }
    const std::uint64_t label_ranges =
        capped_sum(budget.label_ranges_used, nfa_label_range_count(hir.value()));
    if (label_ranges > budget.label_ranges_limit) {
        return base::err(NfaBuildError(NfaTooLargeError{
            static_cast<std::size_t>(label_ranges), NfaTooLargeError::Measure::ScannerLabelRanges,
            static_cast<std::size_t>(budget.label_ranges_limit)}));
    }
    budget.used = scanner_total;
    budget.label_ranges_used = label_ranges;
    auto result = convert(hir.value());
    if (!result)
        return result;
    Nfa& nfa = result.value();
    if (nfa.end_state.as_usize() < nfa.states.size()) {
        nfa.states[nfa.end_state.as_usize()].accept_data = pattern.accept(priority);
    }
    nfa.set_pattern(pattern.regex);
    return result;
}

}  // namespace

std::uint64_t nfa_state_count(const regex::Hir& hir) {
    switch (hir.kind) {
        case regex::HirKind::Literal: {
            std::uint64_t characters = 0;
            std::string_view rest = hir.literal;
            while (auto decoded = base::decode_utf8_char(rest)) {
                ++characters;
                rest.remove_prefix(decoded->length);
            }
            return characters + 1;
        }
        case regex::HirKind::Class:
            return 2;
        case regex::HirKind::Repetition: {
            const std::uint64_t inner = nfa_state_count(hir.subs.at(0));
            std::uint64_t total = hir.min == 0 || inner == 1 ? 1 : capped_product(inner, hir.min);
            if (!hir.max)
                return concat_size(total, inner + 2);
            if (*hir.max > hir.min) {
                total = concat_size(total, capped_product(inner + 1, *hir.max - hir.min));
            }
            return total;
        }
        case regex::HirKind::Capture:
            return nfa_state_count(hir.subs.at(0));
        case regex::HirKind::Concat: {
            std::uint64_t total = 1;
            for (const auto& sub : hir.subs)
                total = concat_size(total, nfa_state_count(sub));
            return total;
        }
        case regex::HirKind::Alternation: {
            std::uint64_t total = 0;
            for (const auto& sub : hir.subs) {
                const std::uint64_t branch = nfa_state_count(sub);
                total = total == 0 ? branch : capped_sum(total, branch + 2);
            }
            return total;
        }
        default:
            return 1;
    }
}

std::uint64_t nfa_label_range_count(const regex::Hir& hir) {
    switch (hir.kind) {
        case regex::HirKind::Literal:
            // One transition per character, each labelled by one character.
            return nfa_state_count(hir) - 1;
        case regex::HirKind::Class:
            return std::max<std::uint64_t>(hir.cls.ranges.size(), 1);
        case regex::HirKind::Repetition: {
            // min copies, then max - min optional ones or one starred one.
            const std::uint64_t copies =
                hir.max ? std::uint64_t{*hir.max} : std::uint64_t{hir.min} + 1;
            return capped_product(nfa_label_range_count(hir.subs.at(0)), copies);
        }
        case regex::HirKind::Capture:
        case regex::HirKind::Concat:
        case regex::HirKind::Alternation: {
            std::uint64_t total = 0;
            for (const auto& sub : hir.subs)
                total = capped_sum(total, nfa_label_range_count(sub));
            return total;
        }
        default:
            return 0;
    }
}

BuildResult Nfa::try_from_hir(const regex::Hir& hir) {
    if (auto too_large = check_size(nfa_state_count(hir)))
        return base::err(NfaBuildError(*too_large));
    return convert(hir);
}

BuildResult Nfa::build(const Pattern& pattern) {
    ScannerNfaBudget budget;
    return build(pattern, budget);
}

BuildResult Nfa::build(const Pattern& pattern, ScannerNfaBudget& budget) {
    return build_within(pattern, 0, 0, budget);
}

base::Result<Nfa, std::string> Nfa::build_lookahead(std::string_view regex,
                                                    ScannerNfaBudget& budget) {
    auto nfa = build(Pattern(std::string(regex), kLookaheadTokenType), budget);
    if (!nfa)
        return base::err("Failed to create NFA from regex pattern: " + nfa.error().display());
    return std::move(nfa).value();
}

// ---- Mode NFA ----

base::Result<Nfa, PatternBuildError> Nfa::build_from_patterns(
    const std::vector<Pattern>& patterns) {
    ScannerNfaBudget budget;
    return build_from_patterns(patterns, budget);
}

base::Result<Nfa, PatternBuildError> Nfa::build_from_patterns(const std::vector<Pattern>& patterns,
                                                              ScannerNfaBudget& budget) {
    Nfa result;
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        auto pattern_nfa = build_within(patterns[i], i, i == 0 ? 0 : result.states.size(), budget);
        if (!pattern_nfa)
            return base::err(PatternBuildError(std::move(pattern_nfa).error(), i));
        if (i == 0) {
            // Taken over whole; the mode NFA keeps its empty text.
            take_over(result, std::move(pattern_nfa).value());
            continue;
        }
        // Joined even behind a first pattern whose NFA has the empty shape, whose
        // accept data would otherwise be lost.
        join_alternative(result, std::move(pattern_nfa).value());
    }
    return result;
}

namespace {

void append_range_debug(std::string& out, const std::vector<CharInterval>& ranges,
                        DisjointCharClassID id);

}  // namespace

void Nfa::collect_character_classes(CharacterClasses& character_classes) const {
    for (const auto& state : states) {
        for (const auto& transition : state.transitions) {
            if (transition.is_epsilon())
                continue;
            const auto& label = *transition.character_class;
            // Hashing and comparing a class costs about its ranges.
            base::construction_countdown().charge(16);
            if (label.is_range()) {
                std::string message = "Ranges are not supported in collect_character_classes: ";
                append_range_debug(message, label.ranges(), label.class_id());
                base::fail(message);
            }
            character_classes.add_hir(label.hir());
        }
    }
}

namespace {

// Interval-group labels of one conversion: one shared range list per group,
// and the groups of each label already looked up (labels are shared between
// the transitions of repetition copies).
class GroupLabels {
  public:
    explicit GroupLabels(const CharacterClasses& classes)
        : classes_(classes), ranges_(classes.intervals().size()) {}

    const std::vector<DisjointCharClassID>& groups_of(const regex::Hir& label) {
        auto [entry, inserted] = groups_.try_emplace(&label);
        if (inserted)
            entry->second = classes_.get_disjoint_classes(label);
        return entry->second;
    }

    CharacterClassType label_of(DisjointCharClassID group) {
        auto& ranges = at(ranges_, group);
        if (!ranges) {
            ranges =
                std::make_shared<const std::vector<CharInterval>>(at(classes_.intervals(), group));
        }
        return CharacterClassType::range(ranges, group);
    }

  private:
    const CharacterClasses& classes_;
    std::vector<std::shared_ptr<const std::vector<CharInterval>>> ranges_;
    std::unordered_map<const regex::Hir*, std::vector<DisjointCharClassID>> groups_;
};

void convert_labels(Nfa& nfa, GroupLabels& labels) {
    for (auto& state : nfa.states) {
        std::vector<NfaTransition> converted;
        converted.reserve(state.transitions.size());
        for (auto& transition : state.transitions) {
            if (transition.is_epsilon()) {
                converted.push_back(std::move(transition));
                continue;
            }
            const auto& label = *transition.character_class;
            if (label.is_range()) {
                base::fail("Character class ranges are not supported in NFA transitions: " +
                           debug_string(label));
            }
            const auto& groups = labels.groups_of(label.hir());
            base::construction_countdown().charge(groups.size() + 1);
            for (DisjointCharClassID group : groups)
                converted.emplace_back(labels.label_of(group), transition.target);
        }
        state.transitions = std::move(converted);
    }
}

std::uint64_t count_converted_transitions(const Nfa& nfa, GroupLabels& labels) {
    std::uint64_t count = 0;
    for (const auto& state : nfa.states) {
        for (const auto& transition : state.transitions) {
            if (transition.is_epsilon())
                continue;
            const auto& label = *transition.character_class;
            base::construction_countdown().charge(1);
            count += label.is_range() ? 1 : labels.groups_of(label.hir()).size();
        }
    }
    return count;
}

}  // namespace

void Nfa::convert_to_disjoint_character_classes(const CharacterClasses& character_classes) {
    GroupLabels labels(character_classes);
    convert_labels(*this, labels);
}

std::uint64_t Nfa::disjoint_transition_count(const CharacterClasses& character_classes) const {
    GroupLabels labels(character_classes);
    return count_converted_transitions(*this, labels);
}

// ---- Debug texts ----

namespace {

void append_range_debug(std::string& out, const std::vector<CharInterval>& ranges,
                        DisjointCharClassID id) {
    out += "([";
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        out += (i == 0 ? "" : ", ") + regex::debug_quote_char(ranges[i].start) +
               "..=" + regex::debug_quote_char(ranges[i].end);
    }
    out += "], ";
    out += debug_string(id);
    out += ')';
}

}  // namespace

void append_debug(std::string& out, const CharacterClassType& label) {
    if (label.is_hir_kind()) {
        out += "HirKind(";
        out += regex::debug_string(label.hir());
        out += ')';
    } else {
        out += "Range";
        append_range_debug(out, label.ranges(), label.class_id());
    }
}

std::string debug_string(const CharacterClassType& label) {
    std::string out;
    append_debug(out, label);
    return out;
}

std::string dump(const Nfa& nfa) {
    std::string out;
    for (const NfaState& state : nfa.states) {
        out += std::to_string(state.id.value()) + ':';
        for (const NfaTransition& transition : state.transitions) {
            out += ' ';
            if (transition.character_class) {
                const CharacterClassType& label = *transition.character_class;
                if (label.is_range())
                    out += '#' + std::to_string(label.class_id().value());
                else
                    out += regex::debug_string(label.hir());
            }
            out += '>' + std::to_string(transition.target.value());
        }
        if (state.accept_data)
            out += " [" + dump(*state.accept_data) + ']';
        out += '\n';
    }
    out += "start=" + std::to_string(nfa.start_state.value()) +
           " end=" + std::to_string(nfa.end_state.value()) + '\n';
    return out;
}

}  // namespace quarn::generate
