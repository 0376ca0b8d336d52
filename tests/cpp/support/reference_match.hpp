// The match function as first described, kept as the oracle for the fast one:
// binary search for the last elementary interval starting at or before ch, then
// the first group listing that interval.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace quarn::test_support {

// Interval is any inclusive range with `start`, `end` and equality.
template <class Interval>
std::optional<std::uint32_t> reference_match(const std::vector<Interval>& intervals,
                                             const std::vector<std::vector<Interval>>& groups,
                                             char32_t ch) {
    if (intervals.empty())
        return std::nullopt;
    std::size_t base = 0;
    std::size_t size = intervals.size();
    while (size > 1) {
        const std::size_t half = size / 2;
        if (!(ch < intervals[base + half].start))
            base += half;
        size -= half;
    }
    const Interval& found = intervals[base];
    if (ch < found.start || ch > found.end)
        return std::nullopt;
    for (std::size_t group = 0; group < groups.size(); ++group) {
        for (const Interval& interval : groups[group]) {
            if (interval == found)
                return static_cast<std::uint32_t>(group);
        }
    }
    return std::nullopt;
}

}  // namespace quarn::test_support
