#include "quarn/generate/minimizer.hpp"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "quarn/base/errors.hpp"
#include "quarn/base/interrupt.hpp"

namespace quarn::generate {
namespace {

using StateIndex = std::uint32_t;

struct Edge {
    std::uint32_t interval;
    std::uint32_t target;
    friend auto operator<=>(const Edge&, const Edge&) = default;
};

// Every state's transitions as (interval, target), sorted and without repeats.
struct TransitionTable {
    std::vector<std::size_t> begin;  // states + 1 entries
    std::vector<Edge> edges;

    std::span<const Edge> row(StateIndex state) const {
        return {edges.data() + begin[state], begin[state + 1] - begin[state]};
    }
};

TransitionTable calculate_transitions(const Dfa& dfa) {
    const std::size_t count = dfa.states.size();
    TransitionTable table;
    table.begin.reserve(count + 1);
    table.begin.push_back(0);
    for (const DfaState& state : dfa.states) {
        const std::size_t first = table.edges.size();
        for (const DfaTransition& transition : state.transitions) {
            if (transition.target.as_usize() >= count) {
                base::fail("State " + std::to_string(transition.target.value()) +
                           " not found in partition.");
            }
            table.edges.push_back({transition.group.value(), transition.target.value()});
        }
        const auto row_begin = table.edges.begin() + static_cast<std::ptrdiff_t>(first);
        std::sort(row_begin, table.edges.end());
        table.edges.erase(std::unique(row_begin, table.edges.end()), table.edges.end());
        table.begin.push_back(table.edges.size());
    }
    return table;
}

// The non-accepting states (always first, possibly empty), then the accepting
// states grouped by accept list, lists in ascending order of their records.
std::vector<std::vector<StateIndex>> calculate_initial_partition(const Dfa& dfa) {
    std::vector<StateIndex> non_accepting;
    std::vector<StateIndex> accepting;
    for (StateIndex state = 0; state < dfa.states.size(); ++state)
        (dfa.states[state].accept_data.empty() ? non_accepting : accepting).push_back(state);
    auto list = [&](StateIndex state) -> const std::vector<Accept>& {
        return dfa.states[state].accept_data;
    };
    // Stable: each group keeps its members ascending.
    std::stable_sort(accepting.begin(), accepting.end(),
                     [&](StateIndex a, StateIndex b) { return list(a) < list(b); });

    std::vector<std::vector<StateIndex>> partition;
    partition.push_back(std::move(non_accepting));
    for (std::size_t first = 0; first < accepting.size();) {
        std::size_t last = first + 1;
        while (last < accepting.size() && list(accepting[last]) == list(accepting[first]))
            ++last;
        partition.emplace_back(accepting.begin() + static_cast<std::ptrdiff_t>(first),
                               accepting.begin() + static_cast<std::ptrdiff_t>(last));
        first = last;
    }
    return partition;
}

// Partition refinement in passes. Pass p splits every group of partition p-1
// by the signatures of its members against partition p-1 (per transition, the
// interval and the target's group position) and orders the parts by signature.
//
// Members of one group have equal signatures against the partition before, so
// against the current one they differ only where a target lies in a group that
// the last pass split; and then only in which part. Hence a pass need only
// revisit the groups with a member leading into a split group, and the rank of
// the target's part stands in for its position, since the parts of a split
// group are consecutive and ordered by rank. Members leading into the largest
// part of every split group keep equal signatures, so only the predecessors of
// the other parts are examined (each state lies in such a part at most
// log2(states) times), and the rest of the group is handled through one member.
// Groups occupy contiguous blocks of one array so that a split moves only the
// examined members.
class Refinement {
  public:
    Refinement(const TransitionTable& table, std::size_t state_count,
               const std::vector<std::vector<StateIndex>>& initial)
        : table_(table), location_(state_count), group_of_(state_count) {
        index_predecessors(state_count);
        elements_.reserve(state_count);
        for (const auto& members : initial) {
            if (members.empty())
                continue;
            const auto handle = static_cast<GroupHandle>(groups_.size());
            Group group;
            group.begin = elements_.size();
            group.rank = handle;
            group.prev = groups_.empty() ? kNone : handle - 1;
            for (StateIndex state : members) {
                location_[state] = elements_.size();
                group_of_[state] = handle;
                elements_.push_back(state);
            }
            group.end = elements_.size();
            if (handle > 0) {
                groups_.back().next = handle;
            } else {
                head_ = handle;
            }
            groups_.push_back(group);
        }
    }

    // The final partition in order, each group ascending.
    std::vector<std::vector<StateIndex>> run() {
        for (GroupHandle handle = 0; handle < groups_.size(); ++handle) {
            Group& group = groups_[handle];
            if (group.size() < 2)
                continue;
            group.marked = group.size();
            candidates_.push_back(handle);
        }
        for (std::uint32_t pass = 1; !candidates_.empty(); ++pass) {
            std::vector<Split> splits;
            for (GroupHandle handle : candidates_) {
                base::construction_countdown().charge(groups_[handle].size());
                Split split = plan_split(handle, pass);
                if (split.parts.size() > 1)
                    splits.push_back(std::move(split));
            }
            for (GroupHandle handle : candidates_)
                groups_[handle].marked = 0;
            candidates_.clear();
            sources_.clear();
            for (const Split& split : splits)
                apply(split, pass);
            mark_predecessors_of_sources();
        }
        std::vector<std::vector<StateIndex>> partition;
        for (GroupHandle handle = head_; handle != kNone; handle = groups_[handle].next) {
            const Group& group = groups_[handle];
            std::vector<StateIndex> members(elements_.begin() + group.begin,
                                            elements_.begin() + group.end);
            std::sort(members.begin(), members.end());
            partition.push_back(std::move(members));
        }
        return partition;
    }

  private:
    using GroupHandle = std::uint32_t;
    static constexpr GroupHandle kNone = 0xFFFF'FFFF;

    struct Group {
        std::size_t begin = 0;  // block in elements_
        std::size_t end = 0;
        std::size_t marked = 0;  // members examined this pass, kept at the block's end
        std::uint32_t rank = 0;  // position among the parts of its split
        std::uint32_t born = 0;  // the pass that split it off (0: first partition)
        GroupHandle prev = kNone;
        GroupHandle next = kNone;

        std::size_t size() const { return end - begin; }
    };

    // Block ranges of a group's parts, in ascending signature order.
    struct Split {
        GroupHandle group = kNone;
        std::vector<std::pair<std::size_t, std::size_t>> parts;
    };

    void index_predecessors(std::size_t state_count) {
        predecessors_begin_.assign(state_count + 1, 0);
        for (const Edge& edge : table_.edges)
            ++predecessors_begin_[edge.target + 1];
        for (std::size_t state = 0; state < state_count; ++state) {
            predecessors_begin_[state + 1] += predecessors_begin_[state];
        }
        predecessors_.resize(table_.edges.size());
        std::vector<std::size_t> fill(predecessors_begin_.begin(), predecessors_begin_.end() - 1);
        for (StateIndex state = 0; state < state_count; ++state) {
            for (const Edge& edge : table_.row(state))
                predecessors_[fill[edge.target]++] = state;
        }
    }

    // Stand-in for the position of `state`'s group in the partition of the
    // previous pass, valid between members of one group (see above).
    std::uint32_t rank_of(StateIndex state, std::uint32_t pass) const {
        const Group& group = groups_[group_of_[state]];
        return group.born + 1 == pass ? group.rank : 0;
    }

    void compute_signature(StateIndex state, std::uint32_t pass, std::vector<Edge>& out) const {
        for (const Edge& edge : table_.row(state)) {
            out.push_back({edge.interval, rank_of(edge.target, pass)});
        }
    }

    // Orders the examined members of a group by signature and decides its parts.
    Split plan_split(GroupHandle handle, std::uint32_t pass) {
        const Group& group = groups_[handle];
        const std::size_t examined_begin = group.end - group.marked;

        signatures_.clear();
        order_.clear();
        for (std::size_t at = examined_begin; at < group.end; ++at) {
            const std::size_t first = signatures_.size();
            compute_signature(elements_[at], pass, signatures_);
            order_.push_back({elements_[at], first, signatures_.size()});
        }
        auto signature = [&](const Examined& member) {
            return std::span<const Edge>(signatures_.data() + member.first,
                                         member.last - member.first);
        };
        std::sort(order_.begin(), order_.end(), [&](const Examined& a, const Examined& b) {
            const auto sa = signature(a);
            const auto sb = signature(b);
            if (std::ranges::equal(sa, sb))
                return a.state < b.state;
            return std::ranges::lexicographical_compare(sa, sb);
        });

        // Runs of equal signatures; the unexamined members form one more part,
        // which absorbs the run with their signature.
        std::vector<std::pair<std::size_t, std::size_t>> runs;  // ranges in order_
        for (std::size_t first = 0; first < order_.size();) {
            std::size_t last = first + 1;
            while (last < order_.size() &&
                   std::ranges::equal(signature(order_[first]), signature(order_[last]))) {
                ++last;
            }
            runs.emplace_back(first, last);
            first = last;
        }
        const std::size_t unexamined = examined_begin - group.begin;
        std::size_t runs_before_rest = runs.size();  // runs ordered before the unexamined part
        std::size_t absorbed = runs.size();          // run merged into it, if any
        if (unexamined > 0) {
            rest_signature_.clear();
            compute_signature(elements_[group.begin], pass, rest_signature_);
            runs_before_rest = 0;
            while (runs_before_rest < runs.size() &&
                   std::ranges::lexicographical_compare(
                       signature(order_[runs[runs_before_rest].first]), rest_signature_)) {
                ++runs_before_rest;
            }
            if (runs_before_rest < runs.size() &&
                std::ranges::equal(signature(order_[runs[runs_before_rest].first]),
                                   rest_signature_)) {
                absorbed = runs_before_rest;
            }
        }

        // Block layout: the unexamined part (with its absorbed run) first, then
        // the other runs in order.
        Split split{handle, {}};
        std::size_t at = examined_begin;
        auto place_run = [&](std::size_t run) {
            for (std::size_t i = runs[run].first; i < runs[run].second; ++i) {
                elements_[at] = order_[i].state;
                location_[order_[i].state] = at;
                ++at;
            }
        };
        if (absorbed < runs.size())
            place_run(absorbed);
        const std::pair<std::size_t, std::size_t> rest_range{group.begin, at};
        std::vector<std::pair<std::size_t, std::size_t>> run_ranges(runs.size());
        for (std::size_t run = 0; run < runs.size(); ++run) {
            if (run == absorbed)
                continue;
            const std::size_t first = at;
            place_run(run);
            run_ranges[run] = {first, at};
        }
        for (std::size_t run = 0; run < runs.size(); ++run) {
            if (unexamined > 0 && run == runs_before_rest)
                split.parts.push_back(rest_range);
            if (run != absorbed)
                split.parts.push_back(run_ranges[run]);
        }
        if (unexamined > 0 && runs_before_rest == runs.size())
            split.parts.push_back(rest_range);
        return split;
    }

    // Replaces the group by its parts, in signature order; the part at the
    // start of the block keeps the group's handle. Every part but the largest
    // becomes a source of the next pass.
    void apply(const Split& split, std::uint32_t pass) {
        const GroupHandle original = split.group;
        const GroupHandle before = groups_[original].prev;
        const GroupHandle after = groups_[original].next;
        const std::size_t block_begin = groups_[original].begin;

        std::size_t largest = 0;
        for (std::size_t part = 1; part < split.parts.size(); ++part) {
            const auto size = [&](std::size_t p) {
                return split.parts[p].second - split.parts[p].first;
            };
            if (size(part) > size(largest))
                largest = part;
        }

        GroupHandle previous = before;
        for (std::size_t part = 0; part < split.parts.size(); ++part) {
            const auto [first, last] = split.parts[part];
            GroupHandle handle = original;
            if (first != block_begin) {
                handle = static_cast<GroupHandle>(groups_.size());
                groups_.emplace_back();
                for (std::size_t at = first; at < last; ++at)
                    group_of_[elements_[at]] = handle;
            }
            Group& group = groups_[handle];
            group.begin = first;
            group.end = last;
            group.rank = static_cast<std::uint32_t>(part);
            group.born = pass;
            group.prev = previous;
            if (previous != kNone) {
                groups_[previous].next = handle;
            } else {
                head_ = handle;
            }
            previous = handle;
            if (part != largest) {
                sources_.insert(sources_.end(), elements_.begin() + first,
                                elements_.begin() + last);
            }
        }
        groups_[previous].next = after;
        if (after != kNone)
            groups_[after].prev = previous;
    }

    // Moves every predecessor of a source to the end of its group's block and
    // makes its group a candidate of the next pass.
    void mark_predecessors_of_sources() {
        for (StateIndex source : sources_) {
            for (std::size_t i = predecessors_begin_[source]; i < predecessors_begin_[source + 1];
                 ++i) {
                const StateIndex state = predecessors_[i];
                const GroupHandle handle = group_of_[state];
                Group& group = groups_[handle];
                if (group.size() < 2 || location_[state] >= group.end - group.marked)
                    continue;
                const std::size_t slot = group.end - group.marked - 1;
                const StateIndex displaced = elements_[slot];
                std::swap(elements_[slot], elements_[location_[state]]);
                location_[displaced] = location_[state];
                location_[state] = slot;
                if (group.marked++ == 0)
                    candidates_.push_back(handle);
            }
        }
    }

    struct Examined {
        StateIndex state;
        std::size_t first;  // signature range in signatures_
        std::size_t last;
    };

    const TransitionTable& table_;
    std::vector<std::size_t> predecessors_begin_;
    std::vector<StateIndex> predecessors_;
    std::vector<StateIndex> elements_;   // the members of each group, block by block
    std::vector<std::size_t> location_;  // position of each state in elements_
    std::vector<GroupHandle> group_of_;
    std::vector<Group> groups_;  // linked in partition order
    GroupHandle head_ = kNone;
    std::vector<GroupHandle> candidates_;
    std::vector<StateIndex> sources_;

    std::vector<Edge> signatures_;  // scratch of plan_split
    std::vector<Edge> rest_signature_;
    std::vector<Examined> order_;
};

// One state per group, the group of the start state first and the others in
// partition order. A group's accept list and transitions are those of its
// smallest member: all members accept the same list and lead to the same groups.
Dfa create_from_partition(Dfa dfa, std::vector<std::vector<StateIndex>> partition,
                          const TransitionTable& table) {
    auto start_group = std::find_if(partition.begin(), partition.end(), [](const auto& group) {
        return std::binary_search(group.begin(), group.end(), StateIndex{0});
    });
    if (start_group != partition.end()) {
        std::rotate(partition.begin(), start_group, start_group + 1);
    }

    std::vector<StateIndex> new_id(dfa.states.size());
    for (std::size_t position = 0; position < partition.size(); ++position) {
        for (StateIndex member : partition[position]) {
            new_id[member] = static_cast<StateIndex>(position);
        }
    }

    Dfa minimized;
    minimized.states.resize(partition.size());
    for (std::size_t position = 0; position < partition.size(); ++position) {
        QUARN_CHECK(!partition[position].empty(), "A group of the partition has no members.");
        const StateIndex representative = partition[position].front();
        DfaState& state = minimized.states[position];
        for (const Accept& accept : dfa.states[representative].accept_data)
            add_accept_data(state, accept);
        std::size_t interval_begin = 0;
        for (const Edge& edge : table.row(representative)) {
            const DfaTransition transition{DisjointCharClassID(edge.interval),
                                           DfaStateID(new_id[edge.target])};
            if (interval_begin < state.transitions.size() &&
                state.transitions[interval_begin].group != transition.group) {
                interval_begin = state.transitions.size();
            }
            const auto same_interval =
                state.transitions.begin() + static_cast<std::ptrdiff_t>(interval_begin);
            if (std::find(same_interval, state.transitions.end(), transition) ==
                state.transitions.end()) {
                state.transitions.push_back(transition);
            }
        }
    }
    return minimized;
}

}  // namespace

Dfa minimize(Dfa dfa) {
    const TransitionTable table = calculate_transitions(dfa);
    std::vector<std::vector<StateIndex>> partition =
        Refinement(table, dfa.states.size(), calculate_initial_partition(dfa)).run();
    return create_from_partition(std::move(dfa), std::move(partition), table);
}

}  // namespace quarn::generate
