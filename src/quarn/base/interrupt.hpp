// Long work (a scan, a construction) asks now and then whether its host wants
// it stopped. The Python module installs a check of pending signals, so Ctrl-C
// stops a call while it holds the interpreter lock; with no check installed
// (C++ tests, benchmarks, fuzzers) nothing is ever stopped.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>

namespace quarn::base {

// Thrown by work its host asked to stop. The host knows why: the Python module
// already has the exception of the signal set.
class Interrupted : public std::exception {
  public:
    const char* what() const noexcept override { return "interrupted"; }
};

// Returns true when the work should stop; called on the thread doing it.
using InterruptCheck = bool (*)();

namespace detail {
inline std::atomic<InterruptCheck> interrupt_check{nullptr};
}  // namespace detail

// Installs the check for the whole process; nullptr removes it.
inline void set_interrupt_check(InterruptCheck check) {
    detail::interrupt_check.store(check, std::memory_order_relaxed);
}

// Counts units of work (bytes read, construction steps) and calls the check
// once per kInterval of them: a subtraction and a test per charge, a few
// hundred microseconds of work between checks.
class InterruptCountdown {
  public:
    static constexpr std::ptrdiff_t kInterval = std::ptrdiff_t{1} << 18;

    void charge(std::size_t units) {
        left_ -= static_cast<std::ptrdiff_t>(units);
        if (left_ < 0) [[unlikely]]
            check();
    }

    // charge() for a caller that must finish something before the check:
    // true when check() is due.
    bool spend(std::size_t units) {
        left_ -= static_cast<std::ptrdiff_t>(units);
        return left_ < 0;
    }

    // Starts a new interval and asks the host; throws Interrupted if it says stop.
    [[gnu::noinline]] void check() {
        left_ = kInterval;
        const InterruptCheck check = detail::interrupt_check.load(std::memory_order_relaxed);
        if (check != nullptr && check())
            throw Interrupted();
    }

    std::ptrdiff_t left_ = kInterval;
};

// One countdown for all construction stages of the calling thread, so that
// many small steps (modes, lookaheads, labels) add up to a check as well.
inline InterruptCountdown& construction_countdown() {
    thread_local InterruptCountdown countdown;
    return countdown;
}

}  // namespace quarn::base
