// The scanner's match function: character -> number of its character class
// (interval group), or no class when no pattern mentions the character.
//
// Built from the elementary intervals (sorted, disjoint, inclusive) and the
// groups (group k lists the elementary intervals it consists of). A character
// inside an elementary interval gets the number of the first group listing
// that interval. Lookup is a direct table for U+0000..U+00FF and, above, a
// per-256-character block index that narrows the binary search to the few
// intervals overlapping the block.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "quarn/runtime/tables.hpp"

namespace quarn::runtime {

struct CharRange {
    char32_t start;
    char32_t end;  // inclusive
    friend bool operator==(const CharRange&, const CharRange&) = default;
};

class MatchFunction {
  public:
    static constexpr ClassIndex kNoClass = 0xFFFF'FFFF;

    // Maps every character to no class.
    MatchFunction();
    // Throws InternalError unless `elementary_intervals` are ascending,
    // disjoint, non-empty ranges of scalar values.
    MatchFunction(std::vector<CharRange> elementary_intervals,
                  const std::vector<std::vector<CharRange>>& groups);

    std::optional<ClassIndex> operator()(char32_t ch) const {
        const ClassIndex cls = class_of(ch);
        if (cls == kNoClass)
            return std::nullopt;
        return cls;
    }

    // The class number, or kNoClass. This is the search loop's entry point.
    ClassIndex class_of(char32_t ch) const {
        if (ch < kDirectLimit)
            return direct_[ch];
        return class_above_direct(ch);
    }

    // class_of for an ASCII byte: one load, no range test.
    ClassIndex class_of_ascii(unsigned char byte) const { return direct_[byte & 0x7F]; }

    const std::vector<CharRange>& elementary_intervals() const { return intervals_; }

  private:
    static constexpr char32_t kDirectLimit = 0x100;
    static constexpr unsigned kBlockShift = 8;

    ClassIndex class_above_direct(char32_t ch) const;

    std::vector<CharRange> intervals_;
    std::vector<ClassIndex> interval_class_;  // parallel to intervals_
    // Per block of 256 characters: the first interval that ends in or after the block.
    std::vector<std::uint32_t> block_first_;  // one entry per block, plus a sentinel
    std::array<ClassIndex, kDirectLimit> direct_;
};

}  // namespace quarn::runtime
