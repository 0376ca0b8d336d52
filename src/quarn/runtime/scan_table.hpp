// The per-mode table of the scan loop (see ScanTable) and the run exits of
// states whose self-loop is crossed a block at a time.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "quarn/runtime/match_function.hpp"
#include "quarn/runtime/tables.hpp"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
    // short: the first block is tested here, inline, the rest out of line.
    const char* find(const char* from, const char* end) const {
#ifdef __SSE2__
        if (end - from >= 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
            __m128i hits = stops_on_non_ascii_ ? bytes : _mm_setzero_si128();  // sign: >= 0x80
            for (std::uint32_t i = 0; i < count_; ++i) {
                // first <= byte <= last  <=>  min(byte - first, last - first) == byte - first
                const __m128i offset = _mm_sub_epi8(bytes, lanes_[i].first);
                hits = _mm_or_si128(hits,
                                    _mm_cmpeq_epi8(_mm_min_epu8(offset, lanes_[i].width), offset));
            }
            if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)))
                return from + std::countr_zero(mask);
            return find_in_blocks(from + 16, end);
        }
#endif
        return find_scalar(from, end);
    }

    bool stops_at(unsigned char byte) const {
        return stops_[byte];
    }

  private:
    const char* find_in_blocks(const char* from, const char* end) const;
    const char* find_scalar(const char* from, const char* end) const;

    std::array<Range, kMaxRanges> ranges_{};
    std::uint32_t count_ = 0;
    bool stops_on_non_ascii_ = true;
    std::array<bool, 256> stops_{};
#ifdef __SSE2__
    struct Lanes {
        __m128i first;  // the range's first byte, in every lane
        __m128i width;  // last - first, in every lane
    };
    std::array<Lanes, kMaxRanges> lanes_{};
#endif
};

// The table the scan loop runs one mode's automaton on: the automaton's moves
// with its states reordered so that a move's target tells by comparison alone
// what the loop must do there, and byte-level facts worked out once when the
// scanner is created. With them the loop finds an ASCII byte's table column
// with one load, passes over bytes at which no token starts, emits one-byte
// tokens without an attempt, and crosses long runs of a state that loops on
// all but a few byte ranges (string bodies, comments) a block of bytes at a time.
//
// Rows have the automaton's layout (a move per class, the no-move word, the
// accept slot; see Dfa) with one more word before the slot, the decode column:
// kDecode, where every byte from 0x80 leads, so that the loop learns that a
// character needs decoding from the move it loads anyway. Rows are addressed
// by byte offset, in three groups:
// states without acceptance, states whose first accept entry has no
// lookahead, then the special ones (an entry needing a lookahead, or a run
// worth crossing at once). A move below accepting_from() enters a plain
// state, below special_from() a plain accepting one; kDecode and kNoMove are
// above both.
// Accept slots are the automaton's, so a lookahead slot names the state's
// index in the Dfa.
class ScanTable {
  public:
    // start_action(): no token starts at the byte.
    static constexpr std::uint32_t kNoToken = 0xFFFF'FFFF;
    // start_action(): a token may start at the byte; run an attempt.
    static constexpr std::uint32_t kAttempt = 0xFFFF'FFFE;

    // The move on a byte from 0x80: decode the character and look again.
    static constexpr std::uint32_t kDecode = 0xFFFF'FFFE;

    // A run is only worth skipping when the loop covers most bytes.
    static constexpr std::size_t kMaxExitBytes = 40;

    ScanTable() = default;
    // An automaton without states gives an empty table, never to be scanned with.
    ScanTable(const Dfa& dfa, const MatchFunction& match_function);

    // Where column 0 of the row at offset 0 lies: a move on column c from the
    // row at offset `row` is Dfa::word_at(moves() + c * 4, row).
    const char* moves() const { return reinterpret_cast<const char*>(table_.data()); }
    std::uint32_t start_row() const { return start_row_; }
    std::uint32_t accepting_from() const { return accepting_from_; }
    std::uint32_t special_from() const { return special_from_; }
    std::uint32_t accept_slot(std::uint32_t row) const {
        return Dfa::word_at(moves() + slot_column_offset_, row);
    }

    // Byte offset of `byte`'s table column: its class's for ASCII, the decode
    // column's from 0x80.
    std::uint32_t column_offset(unsigned char byte) const { return column_offset_[byte]; }

    // What a token start on `byte` does: kNoToken, kAttempt, or the
    // index in the Dfa's accepts() of the one-byte token it is (the start
    // state's move leads to a state without moves whose first accept entry has
    // no lookahead, so an attempt could only end there).
    // Bytes from 0x80 (the first of a longer character) run an attempt.
    std::uint32_t start_action(unsigned char byte) const { return start_action_[byte]; }

    bool has_runs() const { return !runs_.empty(); }

    // The exits of the state at row offset `row` if its self-loop is worth
    // skipping, else null. Only special rows have them.
    const RunExits* run_exits(std::uint32_t row) const {
        const std::uint32_t state = (row >> stride_shift_) * stride_inverse_;
        const std::uint8_t index = run_of_state_[state];
        return index == 0 ? nullptr : &runs_[index - 1];
    }

  private:
    std::vector<std::uint32_t> table_;
    std::uint32_t start_row_ = 0;
    std::uint32_t accepting_from_ = 0;
    std::uint32_t special_from_ = 0;
    std::uint32_t slot_column_offset_ = 0;
    std::array<std::uint32_t, 256> column_offset_{};
    std::array<std::uint32_t, 256> start_action_{};
    // A row offset is state * stride: the state is the offset without the
    // stride's factors of two, times the inverse of its odd part modulo 2^32.
    std::uint32_t stride_shift_ = 0;
    std::uint32_t stride_inverse_ = 1;
    std::vector<std::uint8_t> run_of_state_;  // by reordered state: 0, or 1 + index in runs_
    std::vector<RunExits> runs_;
};

}  // namespace quarn::runtime
