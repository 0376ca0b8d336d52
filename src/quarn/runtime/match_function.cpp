#include "quarn/runtime/match_function.hpp"

#include <algorithm>
#include <utility>

#include "quarn/base/errors.hpp"
#include "quarn/base/utf8.hpp"

namespace quarn::runtime {

namespace {

void check_intervals(const std::vector<CharRange>& intervals) {
    for (std::size_t i = 0; i < intervals.size(); ++i) {
        const CharRange& r = intervals[i];
        QUARN_CHECK(
            r.start <= r.end && r.end <= base::kMaxScalar,
            "elementary interval " + std::to_string(i) + " is not a range of scalar values");
        QUARN_CHECK(i == 0 || intervals[i - 1].end < r.start,
                    "elementary intervals are not ascending and disjoint at " + std::to_string(i));
    }
}

}  // namespace

MatchFunction::MatchFunction() {
    direct_.fill(kNoClass);
}

MatchFunction::MatchFunction(std::vector<CharRange> elementary_intervals,
                             const std::vector<std::vector<CharRange>>& groups)
    : intervals_(std::move(elementary_intervals)) {
    check_intervals(intervals_);
    QUARN_CHECK(groups.size() < kNoClass, "too many character classes");

    // The first group that lists an interval gives its class.
    interval_class_.assign(intervals_.size(), kNoClass);
    for (std::size_t group = 0; group < groups.size(); ++group) {
        for (const CharRange& range : groups[group]) {
            const auto it = std::lower_bound(
                intervals_.begin(), intervals_.end(), range.start,
                [](const CharRange& r, char32_t start) { return r.start < start; });
            if (it == intervals_.end() || *it != range)
                continue;
            ClassIndex& cls = interval_class_[it - intervals_.begin()];
            if (cls == kNoClass)
                cls = static_cast<ClassIndex>(group);
        }
    }

    // For each block, the first interval that does not end before it.
    const std::size_t num_blocks =
        intervals_.empty() ? 0 : (intervals_.back().end >> kBlockShift) + 1;
    block_first_.reserve(num_blocks + 1);
    std::size_t first = 0;
    for (std::size_t block = 0; block <= num_blocks; ++block) {
        const char32_t block_start = static_cast<char32_t>(block << kBlockShift);
        while (first < intervals_.size() && intervals_[first].end < block_start)
            ++first;
        block_first_.push_back(static_cast<std::uint32_t>(first));
    }

    for (char32_t ch = 0; ch < kDirectLimit; ++ch)
        direct_[ch] = class_above_direct(ch);
}

ClassIndex MatchFunction::class_above_direct(char32_t ch) const {
    const std::size_t block = ch >> kBlockShift;
    if (block + 1 >= block_first_.size())
        return kNoClass;
    // Intervals before `lo` end before this block; those from `hi` on start after it.
    const std::size_t lo = block_first_[block];
    const std::size_t hi = std::min<std::size_t>(block_first_[block + 1] + 1, intervals_.size());
    const auto it = std::upper_bound(intervals_.begin() + lo, intervals_.begin() + hi, ch,
                                     [](char32_t c, const CharRange& r) { return c < r.start; });
    if (it == intervals_.begin() + lo)
        return kNoClass;
    const CharRange& candidate = *(it - 1);
    if (ch > candidate.end)
        return kNoClass;
    return interval_class_[(it - 1) - intervals_.begin()];
}

}  // namespace quarn::runtime
