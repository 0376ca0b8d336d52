// Installs an interrupt check for the lifetime of a test and counts its calls.
#pragma once

#include <cstddef>

#include "quarn/base/interrupt.hpp"

namespace quarn::test_support {

class InterruptHook {
  public:
    // `stop_after`: calls answered "go on" before the first "stop".
    explicit InterruptHook(std::size_t stop_after = static_cast<std::size_t>(-1)) {
        calls_ = 0;
        stop_after_ = stop_after;
        base::set_interrupt_check([] { return ++calls_ > stop_after_; });
    }
    ~InterruptHook() { base::set_interrupt_check(nullptr); }
    InterruptHook(const InterruptHook&) = delete;
    InterruptHook& operator=(const InterruptHook&) = delete;

    std::size_t calls() const { return calls_; }

  private:
    static inline std::size_t calls_ = 0;
    static inline std::size_t stop_after_ = 0;
};

}  // namespace quarn::test_support
