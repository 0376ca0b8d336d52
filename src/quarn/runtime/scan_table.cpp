#include "quarn/runtime/scan_table.hpp"

#include <bit>
#include <string>

#include "quarn/base/errors.hpp"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUARN_X86 1
#endif

namespace quarn::runtime {

namespace {

#ifdef QUARN_X86
// Bit i set when byte i of `bytes` ends the run.
inline std::uint32_t exit_mask_sse2(__m128i bytes, const RunExits::Range* ranges,
                                    std::uint32_t count, bool stops_on_non_ascii) {
    __m128i hits = stops_on_non_ascii ? bytes : _mm_setzero_si128();  // sign bit: >= 0x80
    for (std::uint32_t i = 0; i < count; ++i) {
        // first <= byte <= last  <=>  byte - first <= last - first, unsigned.
        const __m128i offset =
            _mm_sub_epi8(bytes, _mm_set1_epi8(static_cast<char>(ranges[i].first)));
        const __m128i width = _mm_set1_epi8(static_cast<char>(ranges[i].last - ranges[i].first));
        hits = _mm_or_si128(hits, _mm_cmpeq_epi8(_mm_min_epu8(offset, width), offset));
    }
    return static_cast<std::uint32_t>(_mm_movemask_epi8(hits));
}

const char* find_sse2(const char* from, const char* end, const RunExits::Range* ranges,
                      std::uint32_t count, bool stops_on_non_ascii) {
    for (; end - from >= 16; from += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        if (const std::uint32_t mask = exit_mask_sse2(bytes, ranges, count, stops_on_non_ascii))
            return from + std::countr_zero(mask);
    }
    return from;
}

[[gnu::target("avx2")]] const char* find_avx2(const char* from, const char* end,
                                              const RunExits::Range* ranges, std::uint32_t count,
                                              bool stops_on_non_ascii) {
    for (; end - from >= 32; from += 32) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from));
        __m256i hits = stops_on_non_ascii ? bytes : _mm256_setzero_si256();
        for (std::uint32_t i = 0; i < count; ++i) {
            const __m256i offset =
                _mm256_sub_epi8(bytes, _mm256_set1_epi8(static_cast<char>(ranges[i].first)));
            const __m256i width =
                _mm256_set1_epi8(static_cast<char>(ranges[i].last - ranges[i].first));
            hits = _mm256_or_si256(hits, _mm256_cmpeq_epi8(_mm256_min_epu8(offset, width), offset));
        }
        if (const auto mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(hits)))
            return from + std::countr_zero(mask);
    }
    return find_sse2(from, end, ranges, count, stops_on_non_ascii);
}

const bool kHasAvx2 = __builtin_cpu_supports("avx2");
#endif

// The multiplicative inverse of odd `value` modulo 2^32 (Newton's iteration).
std::uint32_t inverse_of_odd(std::uint32_t value) {
    std::uint32_t inverse = value;  // right in the lowest 3 bits
    for (int i = 0; i < 4; ++i)
        inverse *= 2 - value * inverse;
    return inverse;
}

// Whether every non-ASCII character has a class whose move from `row` is
// `row` itself.
bool loops_on_non_ascii(const Dfa& dfa, const MatchFunction& match_function, std::uint32_t row) {
    const char* const table = dfa.column_base(0);
    char32_t needed = 0x80;
    for (const CharRange& interval : match_function.elementary_intervals()) {
        if (interval.end < needed)
            continue;
        if (needed >= 0xD800 && needed <= 0xDFFF)
            needed = 0xE000;  // surrogates never occur in the text
        if (interval.start > needed)
            return false;
        const ClassIndex cls = match_function.class_of(needed);
        const std::uint32_t column = dfa.column(cls) * sizeof(std::uint32_t);
        if (Dfa::word_at(table + column, row) != row)
            return false;
        needed = interval.end + 1;
        if (needed > 0x10FFFF)
            return true;
    }
    return false;
}

}  // namespace

RunExits::RunExits(std::vector<Range> ranges, bool stops_on_non_ascii)
    : stops_on_non_ascii_(stops_on_non_ascii) {
    if (ranges.size() > kMaxRanges)
        base::fail("RunExits: more than " + std::to_string(kMaxRanges) + " ranges");
    for (const Range& range : ranges) {
        if (range.first > range.last || range.last >= 0x80)
            base::fail("RunExits: a range outside ASCII");
#ifdef __SSE2__
        lanes_[count_] = {_mm_set1_epi8(static_cast<char>(range.first)),
                          _mm_set1_epi8(static_cast<char>(range.last - range.first))};
#endif
        ranges_[count_++] = range;
        for (unsigned byte = range.first; byte <= range.last; ++byte)
            stops_[byte] = true;
    }
    for (unsigned byte = 0x80; byte < 0x100; ++byte)
        stops_[byte] = stops_on_non_ascii;
}

const char* RunExits::find_scalar(const char* from, const char* end) const {
    while (from != end && !stops_[static_cast<unsigned char>(*from)])
        ++from;
    return from;
}

const char* RunExits::find_in_blocks(const char* from, const char* end) const {
#ifdef QUARN_X86
    from = kHasAvx2 ? find_avx2(from, end, ranges_.data(), count_, stops_on_non_ascii_)
                    : find_sse2(from, end, ranges_.data(), count_, stops_on_non_ascii_);
#endif
    return find_scalar(from, end);
}

ScanTable::ScanTable(const Dfa& dfa, const MatchFunction& match_function) {
    const std::uint32_t num_states = static_cast<std::uint32_t>(dfa.num_states());
    if (num_states == 0)
        return;  // scanning with it fails on the missing start state
    const char* const dfa_moves = dfa.column_base(0);
    const std::uint32_t stride = dfa.row_stride_bytes();
    const std::uint32_t words = stride / sizeof(std::uint32_t);
    const auto move = [&](std::uint32_t column_offset, std::uint32_t row) {
        return Dfa::word_at(dfa_moves + column_offset, row);
    };
    for (unsigned byte = 0; byte < 128; ++byte) {
        column_offset_[byte] =
            dfa.column(match_function.class_of_ascii(static_cast<unsigned char>(byte))) *
            sizeof(std::uint32_t);
    }
    const auto no_moves = [&](std::uint32_t row) {
        for (std::uint32_t column = 0; column < dfa.num_classes(); ++column) {
            if (move(column * sizeof(std::uint32_t), row) != Dfa::kNoMove)
                return false;
        }
        return true;
    };
    for (unsigned byte = 0; byte < 128; ++byte) {
        const std::uint32_t target = move(column_offset_[byte], 0);
        std::uint32_t action = kAttempt;
        if (target == Dfa::kNoMove) {
            action = kNoToken;
        } else if (dfa.accept_slot(target) < Dfa::kNeedsLookahead && no_moves(target)) {
            action = dfa.accept_slot(target);
        }
        start_action_[byte] = action;
    }
    for (unsigned byte = 128; byte < 256; ++byte)
        start_action_[byte] = kAttempt;

    // Runs and the group of each state, by the automaton's state index.
    std::vector<std::uint8_t> run_of_dfa_state(num_states, 0);
    std::vector<std::uint8_t> group(num_states, 0);
    for (std::uint32_t state = 0; state < num_states; ++state) {
        const std::uint32_t row = state * stride;
        const std::uint32_t slot = dfa.accept_slot(row);
        if (slot != Dfa::kNotAccepting && (slot & Dfa::kNeedsLookahead) != 0) {
            // Acceptance along a run would need a lookahead at every byte.
            group[state] = 2;
            continue;
        }
        group[state] = slot == Dfa::kNotAccepting ? 0 : 1;
        if (runs_.size() == 255)
            continue;
        std::vector<RunExits::Range> ranges;
        std::size_t exit_bytes = 0;
        for (unsigned byte = 0; byte < 128 && exit_bytes <= kMaxExitBytes; ++byte) {
            if (move(column_offset_[byte], row) == row)
                continue;
            ++exit_bytes;
            if (!ranges.empty() && ranges.back().last + 1u == byte) {
                ranges.back().last = static_cast<std::uint8_t>(byte);
            } else {
                ranges.push_back(
                    {static_cast<std::uint8_t>(byte), static_cast<std::uint8_t>(byte)});
            }
        }
        if (exit_bytes > kMaxExitBytes || ranges.size() > RunExits::kMaxRanges)
            continue;
        runs_.emplace_back(std::move(ranges), !loops_on_non_ascii(dfa, match_function, row));
        run_of_dfa_state[state] = static_cast<std::uint8_t>(runs_.size());
        group[state] = 2;
    }

    // New positions: group by group, each in the automaton's order. Rows get
    // one more word than the automaton's, the decode column before the slot.
    const std::uint32_t table_words = words + 1;
    const std::uint64_t table_stride = std::uint64_t{table_words} * sizeof(std::uint32_t);
    if (table_stride * num_states >= kDecode)
        base::fail("ScanTable: table too large");
    const auto row_at = [&](std::uint32_t position) {
        return static_cast<std::uint32_t>(position * table_stride);
    };
    std::vector<std::uint32_t> position(num_states);
    std::uint32_t next = 0;
    for (std::uint8_t g = 0; g < 3; ++g) {
        if (g == 1)
            accepting_from_ = row_at(next);
        if (g == 2)
            special_from_ = row_at(next);
        for (std::uint32_t state = 0; state < num_states; ++state) {
            if (group[state] == g)
                position[state] = next++;
        }
    }
    start_row_ = row_at(position[0]);
    slot_column_offset_ = words * sizeof(std::uint32_t);
    for (unsigned byte = 128; byte < 256; ++byte)
        column_offset_[byte] = (words - 1) * sizeof(std::uint32_t);
    table_.resize(static_cast<std::size_t>(num_states) * table_words);
    run_of_state_.assign(num_states, 0);
    for (std::uint32_t state = 0; state < num_states; ++state) {
        std::uint32_t* const row = table_.data() + std::size_t{position[state]} * table_words;
        // Class columns and the no-move column.
        for (std::uint32_t word = 0; word + 1 < words; ++word) {
            const std::uint32_t target = move(word * sizeof(std::uint32_t), state * stride);
            row[word] = target == Dfa::kNoMove ? target : row_at(position[target / stride]);
        }
        row[words - 1] = kDecode;
        row[words] = dfa.accept_slot(state * stride);
        run_of_state_[position[state]] = run_of_dfa_state[state];
    }
    stride_shift_ = static_cast<std::uint32_t>(std::countr_zero(table_stride));
    stride_inverse_ = inverse_of_odd(static_cast<std::uint32_t>(table_stride >> stride_shift_));
}

}  // namespace quarn::runtime
