// The public C++ interface over the pipeline and the runtime.
#include "quarn/quarn.hpp"

#include <optional>

#include "quarn/definition/parser.hpp"
#include "quarn/definition/source_map.hpp"
#include "quarn/pipeline/build_scanner.hpp"
#include "quarn/runtime/find_matches.hpp"

namespace quarn {

struct ModeState::Impl {
    runtime::ModeState state;
};

ModeState::ModeState() : impl_(std::make_unique<Impl>()) {}
ModeState::ModeState(const ModeState& other) : impl_(std::make_unique<Impl>(*other.impl_)) {}
ModeState& ModeState::operator=(const ModeState& other) {
    *impl_ = *other.impl_;
    return *this;
}
ModeState::~ModeState() = default;

std::size_t ModeState::mode() const {
    return impl_->state.mode;
}

std::vector<std::size_t> ModeState::stack() const {
    return {impl_->state.stack.begin(), impl_->state.stack.end()};
}

struct Scanner::Impl {
    pipeline::Scanner compiled;
};

namespace {

// Where a build error is: the failing token of a definition the parser
// rejects, or the start of the clause at fault; none when neither is known.
std::optional<std::size_t> offset_of(std::string_view definition,
                                     const pipeline::BuildError& error) {
    definition::SourceMap map;
    auto parsed = definition::parse_scanner_data(definition, map);
    if (!parsed)
        return map.error;
    if (!error.clause)
        return std::nullopt;
    for (std::size_t m = 0; m < parsed->modes.size(); ++m) {
        const definition::ModeDefinition& mode = parsed->modes[m];
        if (mode.name != error.mode)
            continue;
        for (std::size_t i = 0; i < mode.tokens.size(); ++i) {
            if (mode.tokens[i].clause == *error.clause)
                return map.modes[m].clauses[i];
        }
        for (std::size_t i = 0; i < mode.transitions.size(); ++i) {
            if (mode.transitions[i].clause == *error.clause)
                return map.modes[m].transitions[i];
        }
    }
    return std::nullopt;
}

}  // namespace

Scanner Scanner::compile(std::string_view definition) {
    auto built = pipeline::build_scanner(definition);
    if (built)
        return Scanner(std::make_shared<const Impl>(Impl{std::move(built).value()}));
    const std::optional<std::size_t> offset = offset_of(definition, built.error());
    if (!offset)
        throw DefinitionError(built.error().message, 0, 0);
    const auto position = definition::position_of(definition, *offset);
    throw DefinitionError(built.error().message, position.line, position.column);
}

namespace {

template <class Matches>
void deliver(Matches matches, const std::function<bool(const Token&)>& on_token) {
    runtime::Match match;
    while (matches.next_match(match)) {
        Token token;
        token.type = match.token_type;
        token.start = match.span.start;
        token.end = match.span.end;
        if (match.positions) {
            token.start_line = match.positions->start_position.line;
            token.start_column = match.positions->start_position.column;
            token.end_line = match.positions->end_position.line;
            token.end_column = match.positions->end_position.column;
        }
        if (!on_token(token))
            return;
    }
}

}  // namespace

void Scanner::scan(std::string_view text, ModeState& state, bool positions,
                   const std::function<bool(const Token&)>& on_token) const {
    auto valid = runtime::validate_utf8(text);
    if (!valid)
        throw Utf8Error(valid.error().message(), valid.error().valid_up_to);
    if (positions)
        deliver(impl_->compiled->find_matches_with_position(*valid, state.impl_->state), on_token);
    else
        deliver(impl_->compiled->find_matches(*valid, state.impl_->state), on_token);
}

std::vector<Token> Scanner::scan(std::string_view text, ModeState& state, bool positions) const {
    std::vector<Token> tokens;
    scan(text, state, positions, [&](const Token& token) {
        tokens.push_back(token);
        return true;
    });
    return tokens;
}

std::vector<Token> Scanner::scan(std::string_view text, bool positions) const {
    ModeState state;
    return scan(text, state, positions);
}

std::size_t Scanner::mode_count() const {
    return impl_->compiled->modes().size();
}

const std::string& Scanner::mode_name(std::size_t mode) const {
    return impl_->compiled->modes().at(mode).name;
}

}  // namespace quarn
