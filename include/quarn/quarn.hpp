// quarn for C++ programs: compile a scanner definition once, then scan UTF-8
// text into a vector of tokens or a callback, from any number of threads.
//
//   quarn::Scanner scanner = quarn::Scanner::compile(definition_text);
//   for (const quarn::Token& token : scanner.scan(text)) ...
//
// Link the CMake target quarn::quarn (find_package(quarn)).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

// A definition that does not compile. `line` and `column` (from 1, columns in
// characters) locate where the parser stopped or the clause at fault (a token
// regex that cannot be compiled, a transition to an unknown mode); both are 0
// when no single place is (an automaton beyond the size limits).
class DefinitionError : public std::runtime_error {
  public:
    DefinitionError(const std::string& message, std::size_t line, std::size_t column)
        : std::runtime_error(message), line_(line), column_(column) {}
    std::size_t line() const { return line_; }
    std::size_t column() const { return column_; }

  private:
    std::size_t line_;
    std::size_t column_;
};

// Text that is not well-formed UTF-8; `offset` is the first bad byte.
class Utf8Error : public std::runtime_error {
  public:
    Utf8Error(const std::string& message, std::size_t offset)
        : std::runtime_error(message), offset_(offset) {}
    std::size_t offset() const { return offset_; }

  private:
    std::size_t offset_;
};

struct Token {
    std::uint64_t type = 0;
    std::size_t start = 0;  // byte offsets into the scanned text, end exclusive
    std::size_t end = 0;
    // With positions only (0 otherwise): the first character's line and
    // column, and those just past the last character.
    std::size_t start_line = 0;
    std::size_t start_column = 0;
    std::size_t end_line = 0;
    std::size_t end_column = 0;
};

// Where a scan stands among the modes: the current mode and the modes saved
// by `push`. A new state starts in the first mode; a scan leaves it where the
// text ended, so the next scan goes on from there.
class ModeState {
  public:
    ModeState();
    ModeState(const ModeState&);
    ModeState& operator=(const ModeState&);
    ~ModeState();

    std::size_t mode() const;
    std::vector<std::size_t> stack() const;  // bottom first

  private:
    friend class Scanner;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

class Scanner {
  public:
    // Throws DefinitionError.
    static Scanner compile(std::string_view definition);

    // The tokens of `text` from the first mode. Throws Utf8Error.
    std::vector<Token> scan(std::string_view text, bool positions = false) const;
    // The same, starting from `state` and leaving it where the text ends.
    std::vector<Token> scan(std::string_view text, ModeState& state, bool positions = false) const;
    // Calls `on_token` for each token in order; a false return stops the
    // scan. Throws Utf8Error before the first call.
    void scan(std::string_view text, ModeState& state, bool positions,
              const std::function<bool(const Token&)>& on_token) const;

    std::size_t mode_count() const;
    const std::string& mode_name(std::size_t mode) const;

  private:
    struct Impl;
    explicit Scanner(std::shared_ptr<const Impl> impl) : impl_(std::move(impl)) {}
    // Immutable and shared: copies of a Scanner and scans in other threads
    // use the same tables.
    std::shared_ptr<const Impl> impl_;
};

}  // namespace quarn
