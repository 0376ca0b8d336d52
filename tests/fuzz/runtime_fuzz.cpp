// Hand-made tables and text from the fuzzer's bytes: a two-mode scanner with
// lookaheads and mode switches, then text that must pass UTF-8 validation.
// Both iterators must report the same tokens; tokens are non-empty, ordered,
// on character boundaries, and their positions match a recount of the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "quarn/runtime/find_matches.hpp"
#include "quarn/runtime/utf8.hpp"

namespace {

using namespace quarn::runtime;

class Bytes {
  public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t next() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::string_view rest() const {
        return {reinterpret_cast<const char*>(data_ + pos_), size_ - pos_};
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

constexpr ClassIndex kClasses = 6;

// Classes: a, b, c, line feed, U+00E9, U+20AC; everything else has none.
MatchFunction match_function() {
    const std::vector<CharRange> elementary = {{'\n', '\n'}, {'a', 'a'},   {'b', 'b'},
                                               {'c', 'c'},   {0xE9, 0xE9}, {0x20AC, 0x20AC}};
    std::vector<std::vector<CharRange>> groups;
    for (const CharRange& r : elementary)
        groups.push_back({r});
    return MatchFunction(elementary, groups);
}

// Lookahead automata are appended to `lookaheads`.
Dfa make_dfa(Bytes& bytes, int depth, std::vector<Dfa>& lookaheads) {
    const std::size_t num_states = 1 + bytes.next() % 4;
    std::vector<DfaState> states(num_states);
    for (DfaState& state : states) {
        state.transitions.resize(bytes.next() % (kClasses + 1));
        for (auto& move : state.transitions) {
            const std::uint8_t b = bytes.next();
            if (b % 3 != 0)
                move = DfaTransition{static_cast<StateIndex>(b % num_states)};
        }
        const std::size_t accepts = bytes.next() % 3;
        for (std::size_t i = 0; i < accepts; ++i) {
            const std::uint8_t b = bytes.next();
            Lookahead lookahead;
            if (depth < 2 && b % 3 != 0) {
                Dfa automaton = make_dfa(bytes, depth + 1, lookaheads);
                lookaheads.push_back(std::move(automaton));
                const auto index = static_cast<std::uint32_t>(lookaheads.size() - 1);
                lookahead = b % 3 == 1 ? Lookahead::positive(index) : Lookahead::negative(index);
            }
            state.accept_data.push_back(AcceptData{lookahead, b % 4u, i});
        }
    }
    return Dfa(std::move(states));
}

std::vector<ScannerMode> make_modes(Bytes& bytes, std::vector<Dfa>& lookaheads) {
    std::vector<ScannerMode> modes;
    for (int m = 0; m < 2; ++m) {
        std::vector<Transition> transitions;
        for (TokenType type = 0; type < 4; ++type) {
            const std::uint8_t b = bytes.next();
            if (b % 4 == 0)
                transitions.push_back(Transition::set_mode(type, b / 4 % 2));
            if (b % 4 == 1)
                transitions.push_back(Transition::push_mode(type, b / 4 % 2));
            if (b % 4 == 2)
                transitions.push_back(Transition::pop_mode(type));
        }
        modes.push_back(ScannerMode{"M", std::move(transitions), make_dfa(bytes, 0, lookaheads)});
    }
    return modes;
}

void require(bool condition) {
    if (!condition)
        std::abort();
}

Position position_at(std::string_view text, std::size_t offset) {
    Position p{1, 1};
    for (std::size_t i = 0; i < offset; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            continue;
        if (text[i] == '\n') {
            ++p.line;
            p.column = 1;
        } else {
            ++p.column;
        }
    }
    return p;
}

bool is_boundary(std::string_view text, std::size_t offset) {
    return offset == text.size() || (static_cast<unsigned char>(text[offset]) & 0xC0) != 0x80;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes bytes(data, size);
    std::vector<Dfa> lookaheads;
    const std::vector<ScannerMode> modes = make_modes(bytes, lookaheads);
    const std::string_view text = bytes.rest();
    const auto valid = validate_utf8(text);
    if (!valid.ok()) {
        require(valid.error().valid_up_to < text.size());
        require(validate_utf8(text.substr(0, valid.error().valid_up_to)).ok());
        return 0;
    }

    const auto scanner = CompiledScanner::create(modes, lookaheads, match_function());
    ModeState plain;
    ModeState positioned;
    auto a = scanner->find_matches(valid.value(), plain);
    auto b = scanner->find_matches_with_position(valid.value(), positioned);
    Match x;
    Match y;
    std::size_t previous_end = 0;
    for (;;) {
        const bool more = a.next_match(x);
        require(more == b.next_match(y));
        if (!more)
            break;
        require(x.span == y.span && x.token_type == y.token_type && !x.positions);
        require(previous_end <= x.span.start && x.span.start < x.span.end &&
                x.span.end <= text.size());
        require(is_boundary(text, x.span.start) && is_boundary(text, x.span.end));
        require(y.positions->start_position == position_at(text, y.span.start));
        require(y.positions->end_position == position_at(text, y.span.end));
        previous_end = x.span.end;
    }
    require(plain == positioned);
    return 0;
}
