// The public C++ interface over the pipeline and the runtime.
#include "quarn/quarn.hpp"

#include "quarn/base/errors.hpp"
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

Scanner Scanner::compile(std::string_view definition) {
    std::string message;
    try {
        auto built = pipeline::build_scanner(definition);
        if (built)
            return Scanner(std::make_shared<const Impl>(Impl{std::move(built).value()}));
        message = std::move(built).error();
    } catch (const base::InternalError& error) {
        throw DefinitionError(error.what(), 0, 0);
    }
    // Parsed again only to locate the failure.
    definition::SourceMap map;
    (void)definition::parse_scanner_data(definition, map);
    const auto position = definition::position_of(definition, map.error);
    throw DefinitionError(message, position.line, position.column);
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
