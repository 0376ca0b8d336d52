#include "quarn/analysis/automata.hpp"

#include <algorithm>

namespace quarn::analysis {

std::optional<StateId> Automaton::move(StateId state, GroupId group) const {
    const std::vector<Edge>& edges = states[state].edges;
    auto it = std::lower_bound(edges.begin(), edges.end(), group,
                               [](const Edge& edge, GroupId g) { return edge.group < g; });
    if (it == edges.end() || it->group != group)
        return std::nullopt;
    return it->target;
}

Alphabet::Alphabet(std::vector<std::vector<Interval>> groups) : groups_(std::move(groups)) {
    for (GroupId g = 0; g < groups_.size(); ++g) {
        for (const Interval& interval : groups_[g])
            sorted_.emplace_back(interval, g);
    }
    std::sort(sorted_.begin(), sorted_.end(),
              [](const auto& a, const auto& b) { return a.first.first < b.first.first; });
}

std::optional<GroupId> Alphabet::group_of(char32_t ch) const {
    auto it = std::upper_bound(sorted_.begin(), sorted_.end(), ch,
                               [](char32_t c, const auto& entry) { return c < entry.first.first; });
    if (it == sorted_.begin())
        return std::nullopt;
    --it;
    if (ch > it->first.last)
        return std::nullopt;
    return it->second;
}

namespace {

bool is_alphanumeric(char32_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Neither a control character nor a surrogate, nor unassigned-looking space.
bool is_printable(char32_t c) {
    return c > 0x20 && c != 0x7F && !(c >= 0x80 && c <= 0xA0);
}

}  // namespace

char32_t Alphabet::representative(GroupId group) const {
    const std::vector<Interval>& intervals = groups_[group];
    char32_t printable = 0;
    bool found_printable = false;
    for (const Interval& interval : intervals) {
        for (char32_t c = interval.first; c <= interval.last && c < 0x80; ++c) {
            if (is_alphanumeric(c))
                return c;
            if (!found_printable && is_printable(c)) {
                printable = c;
                found_printable = true;
            }
        }
    }
    if (found_printable)
        return printable;
    for (const Interval& interval : intervals) {
        if (interval.first <= ' ' && ' ' <= interval.last)
            return ' ';
    }
    for (const Interval& interval : intervals) {
        if (interval.last > 0xA0)
            return std::max<char32_t>(interval.first, 0xA1);
    }
    return intervals.front().first;
}

bool Alphabet::covers_everything() const {
    char32_t next = 0;
    for (const auto& [interval, group] : sorted_) {
        // The surrogates are no characters: a gap there is no gap.
        if (interval.first > next && !(next == 0xD800 && interval.first == 0xE000))
            return false;
        next = interval.last + 1;
    }
    return next == 0x110000;
}

}  // namespace quarn::analysis
