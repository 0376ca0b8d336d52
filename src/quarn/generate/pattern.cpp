#include "quarn/generate/pattern.hpp"

#include "quarn/generate/debug_text.hpp"
#include "quarn/generate/dfa.hpp"
#include "quarn/generate/nfa.hpp"

namespace quarn::generate {

AutomatonType::AutomatonType(Nfa nfa) : automaton_(std::in_place_index<0>, std::move(nfa)) {}
AutomatonType::AutomatonType(Dfa dfa) : automaton_(std::in_place_index<1>, std::move(dfa)) {}
AutomatonType::AutomatonType(const AutomatonType& other) = default;
AutomatonType::AutomatonType(AutomatonType&& other) noexcept = default;
AutomatonType& AutomatonType::operator=(const AutomatonType& other) = default;
AutomatonType& AutomatonType::operator=(AutomatonType&& other) noexcept = default;
AutomatonType::~AutomatonType() = default;

Nfa& AutomatonType::nfa() {
    return *std::get<0>(automaton_);
}
const Nfa& AutomatonType::nfa() const {
    return *std::get<0>(automaton_);
}
Dfa& AutomatonType::dfa() {
    return *std::get<1>(automaton_);
}
const Dfa& AutomatonType::dfa() const {
    return *std::get<1>(automaton_);
}

bool operator==(const AutomatonType& a, const AutomatonType& b) {
    return a.automaton_ == b.automaton_;
}

Lookahead::Lookahead(Kind kind, AutomatonType automaton)
    : kind_(kind), automaton_(std::make_shared<AutomatonType>(std::move(automaton))) {}

Lookahead::Lookahead(Kind kind, std::shared_ptr<AutomatonType> automaton)
    : kind_(kind), automaton_(std::move(automaton)) {}

AutomatonType& Lookahead::automaton() {
    // Construction is single-threaded, so the count is exact.
    if (automaton_.use_count() > 1)
        automaton_ = std::make_shared<AutomatonType>(*automaton_);
    return *automaton_;
}

bool operator==(const Lookahead& a, const Lookahead& b) {
    if (a.kind_ != b.kind_)
        return false;
    if (a.automaton_ == b.automaton_)
        return true;
    return a.automaton_ && b.automaton_ && *a.automaton_ == *b.automaton_;
}

namespace {

base::Result<Lookahead, std::string> build_lookahead(Lookahead::Kind kind, std::string_view text,
                                                     ScannerNfaBudget& budget) {
    const Pattern auxiliary(std::string(text), kLookaheadTerminal);
    auto nfa = Nfa::build(auxiliary, budget);
    if (!nfa) {
        return base::err("Failed to create NFA from regex pattern: " + nfa.error().display());
    }
    return Lookahead(kind, AutomatonType(std::move(nfa).value()));
}

}  // namespace

base::Result<Lookahead, std::string> Lookahead::positive(std::string_view text,
                                                         ScannerNfaBudget& budget) {
    return build_lookahead(Kind::Positive, text, budget);
}

base::Result<Lookahead, std::string> Lookahead::negative(std::string_view text,
                                                         ScannerNfaBudget& budget) {
    return build_lookahead(Kind::Negative, text, budget);
}

base::Result<Lookahead, std::string> Lookahead::positive(std::string_view text) {
    ScannerNfaBudget budget;
    return positive(text, budget);
}

base::Result<Lookahead, std::string> Lookahead::negative(std::string_view text) {
    ScannerNfaBudget budget;
    return negative(text, budget);
}

Pattern Pattern::with_lookahead(Lookahead new_lookahead) && {
    lookahead = std::move(new_lookahead);
    return std::move(*this);
}

Pattern Pattern::with_priority(std::uint64_t new_priority) && {
    priority = new_priority;
    return std::move(*this);
}

namespace {

// The one layout of the Pattern and Lookahead texts; `automaton_text` renders
// a lookahead automaton into `out` or takes its place.
template <class AutomatonText>
void render_lookahead(std::string& out, const Lookahead& lookahead, AutomatonText automaton_text) {
    switch (lookahead.kind()) {
        case Lookahead::Kind::None:
            out += "None";
            return;
        case Lookahead::Kind::Positive:
            out += "Positive(";
            break;
        case Lookahead::Kind::Negative:
            out += "Negative(";
            break;
    }
    automaton_text(lookahead.automaton());
    out += ')';
}

template <class AutomatonText>
void render_pattern(std::string& out, const Pattern& pattern, AutomatonText automaton_text) {
    out += "Pattern { pattern: ";
    append_debug_quoted(out, pattern.pattern);
    out += ", terminal_type: ";
    out += debug_string(pattern.terminal_type);
    out += ", priority: ";
    out += std::to_string(pattern.priority);
    out += ", lookahead: ";
    render_lookahead(out, pattern.lookahead, automaton_text);
    out += " }";
}

}  // namespace

void append_debug(std::string& out, const Pattern& pattern) {
    render_pattern(out, pattern, [&](const AutomatonType& a) { append_debug(out, a); });
}

void append_debug(std::string& out, const Lookahead& lookahead) {
    render_lookahead(out, lookahead, [&](const AutomatonType& a) { append_debug(out, a); });
}

void append_debug_pieces(std::vector<DebugPiece>& out, const std::vector<Pattern>& patterns) {
    std::string text;
    auto leave_gap = [&](const AutomatonType& automaton) {
        out.push_back({std::move(text), nullptr});
        out.push_back({std::string(), &automaton});
        text.clear();
    };
    append_debug_list(text, patterns,
                      [&](std::string& o, const Pattern& p) { render_pattern(o, p, leave_gap); });
    out.push_back({std::move(text), nullptr});
}

void append_debug(std::string& out, const AutomatonType& automaton) {
    if (automaton.is_nfa()) {
        out += "Nfa(";
        append_debug(out, automaton.nfa());
    } else {
        out += "Dfa(";
        append_debug(out, automaton.dfa());
    }
    out += ')';
}

void append_debug(std::string& out, const std::vector<Pattern>& patterns) {
    append_debug_list(out, patterns, [](std::string& o, const Pattern& p) { append_debug(o, p); });
}

std::string debug_string(const Pattern& pattern) {
    std::string out;
    append_debug(out, pattern);
    return out;
}

std::string debug_string(const Lookahead& lookahead) {
    std::string out;
    append_debug(out, lookahead);
    return out;
}

std::string debug_string(const AutomatonType& automaton) {
    std::string out;
    append_debug(out, automaton);
    return out;
}

std::string debug_string(const std::vector<Pattern>& patterns) {
    std::string out;
    append_debug(out, patterns);
    return out;
}

}  // namespace quarn::generate
