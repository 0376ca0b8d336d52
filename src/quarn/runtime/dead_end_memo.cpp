#include "quarn/runtime/dead_end_memo.hpp"

namespace quarn::runtime {

void DeadEndMemo::prepare(const char* attempt_start, const char* from, const char* to) {
    const std::size_t start_slot = slot(attempt_start);
    const std::size_t from_slot = slot(from);
    const std::size_t to_slot = slot(to);
    if (rows_.empty() || from_slot < first_slot_ || start_slot >= first_slot_ + rows_.size()) {
        first_slot_ = from_slot;
        rows_.assign(to_slot - from_slot + 1, Dfa::kNoMove);
        update_limit();
        return;
    }
    // Drop the stale prefix once it is the larger part, so the work stays amortised.
    const std::size_t stale = start_slot > first_slot_ ? start_slot - first_slot_ : 0;
    if (stale > rows_.size() / 2) {
        rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(stale));
        first_slot_ = start_slot;
    }
    if (to_slot >= first_slot_ + rows_.size())
        rows_.resize(to_slot - first_slot_ + 1, Dfa::kNoMove);
    update_limit();
}

void ModeDeadEnds::forget_all_but(ModeIndex mode) {
    for (std::size_t m = 0; m < memos_.size(); ++m) {
        if (m != mode)
            memos_[m].forget();
    }
    in_use_ = memos_[mode].capacity();
}

}  // namespace quarn::runtime
