// Byte-level facts about one automaton under the scanner's match function,
// worked out once when the scanner is created. With them the scan loop finds
// an ASCII byte's table column with one load, passes over bytes at which no
// token starts, emits one-byte tokens without an attempt, and crosses long
// runs of a state that loops on all but a few byte ranges (string bodies,
// comments) a block of bytes at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "quarn/runtime/match_function.hpp"
#include "quarn/runtime/tables.hpp"

namespace quarn::runtime {

// The bytes that end a run of a state's self-loop: a few ASCII ranges, and
// every byte from 0x80 unless all non-ASCII characters keep the loop going.
// Runs end only at ASCII bytes or at the first byte of a character, so the
// end of a run is always a character boundary.
class RunExits {
  public:
    static constexpr std::size_t kMaxRanges = 4;

    struct Range {
        std::uint8_t first;
        std::uint8_t last;  // inclusive, at most 0x7F
    };

    RunExits(std::vector<Range> ranges, bool stops_on_non_ascii);

    // The first byte in [from, end) that ends the run, or end. Most runs are
    // short: the first bytes are looked up one at a time, the rest in blocks.
    const char* find(const char* from, const char* end) const {
        for (const char* const stop = end - from > kFirstBytes ? from + kFirstBytes : end;
             from != stop; ++from) {
            if (stops_[static_cast<unsigned char>(*from)])
                return from;
        }
        return from == end ? end : find_in_blocks(from, end);
    }

    bool stops_at(unsigned char byte) const { return stops_[byte]; }

  private:
    static constexpr std::ptrdiff_t kFirstBytes = 16;

    const char* find_in_blocks(const char* from, const char* end) const;
    const char* find_scalar(const char* from, const char* end) const;

    std::array<Range, kMaxRanges> ranges_{};
    std::uint32_t count_ = 0;
    bool stops_on_non_ascii_ = true;
    std::array<bool, 256> stops_{};
};

class DfaShortcuts {
  public:
    // start_action(): no token starts at the byte.
    static constexpr std::uint32_t kNoToken = 0xFFFF'FFFF;
    // start_action(): a token may start at the byte; run an attempt.
    static constexpr std::uint32_t kAttempt = 0xFFFF'FFFE;

    // A run is only worth skipping when the loop covers most bytes.
    static constexpr std::size_t kMaxExitBytes = 40;

    DfaShortcuts() = default;
    DfaShortcuts(const Dfa& dfa, const MatchFunction& match_function);

    // Byte offset of ASCII `byte`'s table column: its move from the row at
    // offset `row` is the word at column_base(0) + column_offset(byte) + row.
    std::uint32_t column_offset(unsigned char byte) const { return column_offset_[byte & 0x7F]; }

    // What a token start on ASCII `byte` does: kNoToken, kAttempt, or the
    // index in accepts() of the one-byte token it is (the start state's move
    // leads to a state without moves whose first accept entry has no lookahead,
    // so an attempt could only end there).
    std::uint32_t start_action(unsigned char byte) const { return start_action_[byte & 0x7F]; }

    bool has_runs() const { return !runs_.empty(); }

    // The exits of the state at row offset `row` if its self-loop is worth
    // skipping, else null.
    const RunExits* run_exits(std::uint32_t row) const {
        const std::uint32_t state = (row >> stride_shift_) * stride_inverse_;
        const std::uint8_t index = run_of_state_[state];
        return index == 0 ? nullptr : &runs_[index - 1];
    }

  private:
    std::array<std::uint32_t, 128> column_offset_{};
    std::array<std::uint32_t, 128> start_action_{};
    // A row offset is state * stride: the state is the offset without the
    // stride's factors of two, times the inverse of its odd part modulo 2^32.
    std::uint32_t stride_shift_ = 0;
    std::uint32_t stride_inverse_ = 1;
    std::vector<std::uint8_t> run_of_state_;  // 0, or 1 + index in runs_
    std::vector<RunExits> runs_;
};

}  // namespace quarn::runtime
