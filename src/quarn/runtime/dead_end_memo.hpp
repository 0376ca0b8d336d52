// Dead ends found by earlier attempts of one automaton in one scan. The automaton is
// deterministic and whether a state accepts depends only on the state and the
// text, so when an attempt passes a text position in some row and then finds
// no further acceptance, any later attempt that reaches the same row at the
// same position cannot accept there or beyond either, and may stop. Without
// this, text such as a long run of `a` under a pattern `a*b` costs quadratic
// time.
//
// Only positions at a multiple of kSpacing bytes are remembered, one row each
// (the latest): a later attempt running in step with an earlier one meets a
// remembered position within a few characters, and memory stays at a fraction
// of the text size.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "quarn/base/fxhash.hpp"
#include "quarn/runtime/tables.hpp"

namespace quarn::runtime {

class DeadEndMemo {
  public:
    explicit DeadEndMemo(const char* text) : text_(text) {}

    // Forgets everything and releases the memory.
    void forget() {
        std::vector<std::uint32_t>().swap(rows_);
        first_slot_ = 0;
        limit_ = text_;
    }

    // Memory held, in slots.
    std::size_t capacity() const { return rows_.capacity(); }

    // Whether entering `row` with the cursor at `position` is a known dead end.
    bool known(const char* position, std::uint32_t row) const {
        const std::size_t offset = static_cast<std::size_t>(position - text_);
        const std::size_t index = (offset >> kSpacingShift) - first_slot_;
        return index < rows_.size() && (offset & kSpacingMask) == 0 && rows_[index] == row;
    }

    // No position at or beyond this one is known: the scan loop tests against
    // it before it looks at the rows.
    const char* limit() const { return limit_; }

    // Makes room for dead ends in (from, to]. Entries before `attempt_start`
    // may be dropped, as no later search starts before it; when `from` lies
    // before everything kept, the memo starts afresh (it may forget, never err).
    void prepare(const char* attempt_start, const char* from, const char* to);
    void set(const char* position, std::uint32_t row) {
        const std::size_t offset = static_cast<std::size_t>(position - text_);
        if ((offset & kSpacingMask) == 0)
            rows_[(offset >> kSpacingShift) - first_slot_] = row;
    }

    static constexpr unsigned kSpacingShift = 4;
    static constexpr std::size_t kSpacing = std::size_t{1} << kSpacingShift;

  private:
    static constexpr std::size_t kSpacingMask = kSpacing - 1;

    void update_limit() { limit_ = text_ + ((first_slot_ + rows_.size()) << kSpacingShift); }
    std::size_t slot(const char* position) const {
        return static_cast<std::size_t>(position - text_) >> kSpacingShift;
    }

    const char* text_;
    std::size_t first_slot_ = 0;       // slot of rows_[0]
    std::vector<std::uint32_t> rows_;  // Dfa::kNoMove where nothing is known
    const char* limit_ = text_;        // just past the positions of rows_
};

// One memo per mode automaton of a scan. Dead ends depend only on the
// automaton and the text, so a mode's memo stays valid while the scan runs in
// other modes; forgetting them at each switch made scans whose tokens
// alternate between modes quadratic. One memo holds at most a slot per
// kSpacing bytes of text; when all of them together hold more than a few
// times that, the memos of the modes not in use are forgotten, so memory stays
// proportional to the text whatever the number of modes.
class ModeDeadEnds {
  public:
    ModeDeadEnds(const char* text, std::size_t size)
        : text_(text), budget_(kMemosInBudget * (size / DeadEndMemo::kSpacing + 1) + kMinBudget) {}

    // The memo of `mode`, the mode of the attempts that follow.
    DeadEndMemo& use_mode(ModeIndex mode) {
        if (mode == current_) [[likely]]
            return memos_[mode];
        if (current_ < memos_.size())
            in_use_ += memos_[current_].capacity() - capacity_on_entry_;
        if (mode >= memos_.size())
            memos_.resize(std::size_t{mode} + 1, DeadEndMemo(text_));
        if (in_use_ > budget_)
            forget_all_but(mode);
        current_ = mode;
        capacity_on_entry_ = memos_[mode].capacity();
        return memos_[mode];
    }

  private:
    static constexpr std::size_t kMemosInBudget = 4;
    static constexpr std::size_t kMinBudget = 4096;

    void forget_all_but(ModeIndex mode);

    const char* text_;
    std::size_t budget_;
    std::vector<DeadEndMemo> memos_;
    ModeIndex current_ = ~ModeIndex{0};
    std::size_t in_use_ = 0;             // slots of all memos, the current one as on entry
    std::size_t capacity_on_entry_ = 0;  // the current memo's slots when it was entered
};

// One memo per lookahead automaton, made when an evaluation of it first fails
// after reading more than one character: a lookahead that scans far ahead
// would otherwise rescan the same text for every candidate before it.
class LookaheadDeadEnds {
  public:
    explicit LookaheadDeadEnds(const char* text) : text_(text) {}

    // The memo of `dfa`, or null while nothing is recorded for it.
    const DeadEndMemo* find(const Dfa* dfa) const {
        if (memos_.empty())
            return nullptr;
        const auto it = memos_.find(dfa);
        return it == memos_.end() ? nullptr : &it->second;
    }
    DeadEndMemo& operator[](const Dfa* dfa) { return memos_.try_emplace(dfa, text_).first->second; }

  private:
    struct DfaAddressHash {
        std::size_t operator()(const Dfa* dfa) const {
            return static_cast<std::size_t>(
                base::fx_hash_u64(reinterpret_cast<std::uintptr_t>(dfa)));
        }
    };

    const char* text_;
    std::unordered_map<const Dfa*, DeadEndMemo, DfaAddressHash> memos_;
};

}  // namespace quarn::runtime
