#include "quarn/pipeline/match_function.hpp"

#include <vector>

namespace quarn::pipeline {

namespace {

std::vector<runtime::CharRange> to_ranges(const std::vector<generate::CharInterval>& intervals) {
    std::vector<runtime::CharRange> ranges;
    ranges.reserve(intervals.size());
    for (const generate::CharInterval& interval : intervals) {
        ranges.push_back(runtime::CharRange{interval.start, interval.end});
    }
    return ranges;
}

}  // namespace

runtime::MatchFunction build_match_function(const generate::CharacterClasses& classes) {
    std::vector<std::vector<runtime::CharRange>> groups;
    groups.reserve(classes.intervals().size());
    for (const auto& group : classes.intervals())
        groups.push_back(to_ranges(group));
    return runtime::MatchFunction(to_ranges(classes.elementary_intervals()), groups);
}

}  // namespace quarn::pipeline
