#include "quarn/runtime/dead_end_memo.hpp"

namespace quarn::runtime {

void DeadEndMemo::prepare(const char* attempt_start, const char* from, const char* to) {
    const char* const end = base_ + rows_.size();
    if (rows_.empty() || from < base_ || from >= end) {
        base_ = from;
        rows_.assign(static_cast<std::size_t>(to - from) + 1, Dfa::kNoMove);
        return;
    }
    // Drop the stale prefix once it is the larger part, so the work stays amortised.
    const std::size_t stale =
        attempt_start > base_ ? static_cast<std::size_t>(attempt_start - base_) : 0;
    if (stale > rows_.size() / 2) {
        rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(stale));
        base_ = attempt_start;
    }
    if (to >= base_ + rows_.size())
        rows_.resize(static_cast<std::size_t>(to - base_) + 1, Dfa::kNoMove);
}

}  // namespace quarn::runtime
