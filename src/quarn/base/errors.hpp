// Internal failures. A violated invariant throws InternalError; the Python
// boundary turns it into the panic exception, so nothing aborts the process.
// Errors a user can cause travel as values (see result.hpp) instead.
#pragma once

#include <stdexcept>
#include <string>

namespace quarn::base {

// A violated internal invariant: aborts the current operation with a fixed message.
class InternalError : public std::runtime_error {
  public:
    explicit InternalError(const std::string& message) : std::runtime_error(message) {}
};

[[noreturn]] inline void fail(const std::string& message) {
    throw InternalError(message);
}

// The message of a Rust-style `unreachable!(...)`.
[[noreturn]] inline void unreachable(const std::string& detail) {
    fail("internal error: entered unreachable code: " + detail);
}

// Index check with the message of an out-of-range list access.
inline void check_index(std::size_t index, std::size_t len) {
    if (index >= len) {
        fail("index out of bounds: the len is " + std::to_string(len) + " but the index is " +
             std::to_string(index));
    }
}

}  // namespace quarn::base

#define QUARN_CHECK(cond, message)        \
    do {                                  \
        if (!(cond))                      \
            ::quarn::base::fail(message); \
    } while (0)
