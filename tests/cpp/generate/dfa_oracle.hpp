// Straightforward reference versions of subset construction and minimization,
// written step by step as the algorithms are defined (ordered containers, linear
// searches, signatures recomputed every pass), and random automata to compare
// the fast implementations against them.
#pragma once

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "quarn/generate/dfa.hpp"
#include "quarn/generate/nfa.hpp"

namespace quarn::generate {

// Failure messages show automata in their dump.
inline void PrintTo(const Dfa& dfa, std::ostream* out) {
    *out << '\n' << dump(dfa);
}

}  // namespace quarn::generate

namespace quarn::generate::oracle {

// ---- Minimization ----

using Group = std::set<DfaStateID>;
using Partition = std::vector<Group>;
using IntervalTargets = std::map<DisjointCharClassID, std::vector<DfaStateID>>;
using TransitionTable = std::map<DfaStateID, IntervalTargets>;
using Signature = std::vector<std::pair<DisjointCharClassID, StateGroupID>>;

inline TransitionTable calculate_transitions(const Dfa& dfa) {
    TransitionTable table;
    for (std::uint32_t id = 0; id < dfa.states.size(); ++id) {
        auto& entry = table[DfaStateID(id)];
        for (const DfaTransition& transition : dfa.states[id].transitions) {
            auto& targets = entry[transition.group];
            if (std::find(targets.begin(), targets.end(), transition.target) == targets.end()) {
                targets.push_back(transition.target);
            }
            std::sort(targets.begin(), targets.end());
        }
    }
    return table;
}

inline Partition calculate_initial_partition(const Dfa& dfa) {
    Group non_accepting;
    std::map<std::vector<Accept>, Group> by_key;
    for (std::uint32_t id = 0; id < dfa.states.size(); ++id) {
        const auto& accept_data = dfa.states[id].accept_data;
        if (accept_data.empty()) {
            non_accepting.insert(DfaStateID(id));
        } else {
            by_key[accept_data].insert(DfaStateID(id));
        }
    }
    Partition partition{non_accepting};
    for (auto& [key, group] : by_key)
        partition.push_back(group);
    return partition;
}

inline std::optional<StateGroupID> find_group(DfaStateID id, const Partition& partition) {
    for (std::uint32_t position = 0; position < partition.size(); ++position) {
        if (partition[position].contains(id))
            return StateGroupID(position);
    }
    return std::nullopt;
}

inline Signature build_transitions_to_partition_group(DfaStateID id, const Partition& partition,
                                                      const TransitionTable& table) {
    Signature signature;
    auto entry = table.find(id);
    if (entry == table.end())
        return signature;
    for (const auto& [interval, targets] : entry->second) {
        for (DfaStateID target : targets)
            signature.emplace_back(interval, *find_group(target, partition));
    }
    return signature;
}

inline std::vector<Group> split_group(const Group& group, const Partition& partition,
                                      const TransitionTable& table) {
    if (group.size() == 1)
        return {group};
    std::map<Signature, Group> by_signature;
    for (DfaStateID member : group) {
        by_signature[build_transitions_to_partition_group(member, partition, table)].insert(member);
    }
    std::vector<Group> groups;
    for (auto& [signature, members] : by_signature)
        groups.push_back(members);
    return groups;
}

inline Partition calculate_new_partition(const Partition& partition, const TransitionTable& table) {
    Partition next;
    for (const Group& group : partition) {
        for (Group& part : split_group(group, partition, table))
            next.push_back(std::move(part));
    }
    return next;
}

using WorkList = std::vector<std::pair<DfaStateID, IntervalTargets>>;

inline void merge_transitions_of_state(DfaStateID member, DfaStateID representative,
                                       WorkList& work) {
    auto find = [&](DfaStateID id) {
        return std::find_if(work.begin(), work.end(), [&](const auto& e) { return e.first == id; });
    };
    auto rep = find(representative);
    if (rep == work.end())
        return;
    IntervalTargets merged = rep->second;
    auto other = find(member);
    if (other == work.end())
        return;
    for (const auto& [interval, targets] : other->second) {
        auto& into = merged[interval];
        for (DfaStateID target : targets) {
            if (std::find(into.begin(), into.end(), target) == into.end())
                into.push_back(target);
        }
    }
    work.erase(other);
    find(representative)->second = std::move(merged);
}

inline Dfa create_from_partition(Dfa dfa, const Partition& partition,
                                 const TransitionTable& table) {
    Dfa result;
    result.states.resize(partition.size());
    Partition ordered = partition;
    std::stable_sort(ordered.begin(), ordered.end(), [](const Group& a, const Group& b) {
        return a.contains(DfaStateID(0)) && !b.contains(DfaStateID(0));
    });
    for (std::size_t g = 0; g < ordered.size(); ++g) {
        result.states[g] = DfaState{};
        for (DfaStateID member : ordered[g]) {
            for (const Accept& accept : dfa.states[member.as_usize()].accept_data)
                add_accept_data(result.states[g], accept);
        }
    }
    WorkList work(table.begin(), table.end());
    for (const Group& group : ordered) {
        if (group.size() < 2)
            continue;
        for (auto it = std::next(group.begin()); it != group.end(); ++it) {
            merge_transitions_of_state(*it, *group.begin(), work);
        }
    }
    auto renumber = [&](DfaStateID id) { return DfaStateID(find_group(id, ordered)->value()); };
    for (auto& [id, intervals] : work) {
        id = renumber(id);
        for (auto& [interval, targets] : intervals) {
            for (DfaStateID& target : targets)
                target = renumber(target);
        }
    }
    for (const auto& [id, intervals] : work) {
        auto& transitions = result.states[id.as_usize()].transitions;
        for (const auto& [interval, targets] : intervals) {
            for (DfaStateID target : targets) {
                const DfaTransition transition{interval, target};
                if (std::find(transitions.begin(), transitions.end(), transition) ==
                    transitions.end()) {
                    transitions.push_back(transition);
                }
            }
        }
    }
    return result;
}

inline Dfa minimize(Dfa dfa) {
    const TransitionTable table = calculate_transitions(dfa);
    Partition partition = calculate_initial_partition(dfa);
    while (true) {
        Partition next = calculate_new_partition(partition, table);
        if (next == partition)
            break;
        partition = std::move(next);
    }
    return create_from_partition(std::move(dfa), partition, table);
}

// ---- Subset construction ----

inline Dfa try_from_nfa_not_minimized(const Nfa& nfa) {
    using Subset = std::set<NfaStateID>;
    std::map<Subset, DfaStateID> registry;
    std::set<std::tuple<DfaStateID, DisjointCharClassID, DfaStateID>> triples;
    std::deque<DfaStateID> queue;

    auto closure = nfa.epsilon_closure(nfa.start_state);
    registry[Subset(closure.begin(), closure.end())] = DfaStateID(0);
    queue.push_back(DfaStateID(0));
    while (!queue.empty()) {
        const DfaStateID current = queue.front();
        queue.pop_front();
        const Subset* subset = nullptr;
        for (const auto& [members, id] : registry) {
            if (id == current)
                subset = &members;
        }
        std::map<DisjointCharClassID, std::set<NfaStateID>> by_interval;
        for (const auto& [interval, target] : nfa.get_match_transitions(*subset)) {
            by_interval[interval].insert(target);
        }
        for (const auto& [interval, targets] : by_interval) {
            Subset target_subset;
            for (NfaStateID target : targets) {
                for (NfaStateID state : nfa.epsilon_closure(target))
                    target_subset.insert(state);
            }
            const DfaStateID candidate(static_cast<std::uint32_t>(registry.size()));
            auto [entry, inserted] = registry.emplace(target_subset, candidate);
            if (inserted)
                queue.push_back(candidate);
            triples.emplace(current, interval, entry->second);
        }
    }
    Dfa dfa;
    dfa.states.resize(registry.size());
    for (const auto& [members, id] : registry) {
        for (NfaStateID member : members) {
            if (const auto& accepted = nfa.states[member.as_usize()].accept_data)
                add_accept_data(dfa.states[id.as_usize()], *accepted);
        }
    }
    for (const auto& [from, interval, to] : triples) {
        dfa.states[from.as_usize()].transitions.push_back({interval, to});
    }
    return dfa;
}

inline Dfa try_from_nfa(const Nfa& nfa) {
    return oracle::minimize(oracle::try_from_nfa_not_minimized(nfa));
}

// ---- Random automata ----

// An accept record from a small range, so that states often share one.
inline Accept random_accept(std::mt19937& random, bool allow_lookahead) {
    Accept accept;
    accept.token_type = TokenTypeID(random() % 3);
    accept.priority = random() % 3;
    if (allow_lookahead && random() % 3 == 0) {
        const LookaheadID id(random() % 2);
        accept.lookahead = random() % 2 ? Lookahead::positive(id) : Lookahead::negative(id);
    }
    return accept;
}

// `deterministic`: at most one target per interval, accept lists in canonical
// order; otherwise any number of targets and lists as they come.
inline Dfa random_dfa(std::mt19937& random, std::uint32_t max_states, std::uint32_t intervals,
                      bool deterministic) {
    Dfa dfa;
    const std::uint32_t count = random() % (max_states + 1);
    dfa.states.resize(count);
    if (count == 0)
        return dfa;
    const std::uint32_t accept_lists = 1 + random() % 3;
    std::vector<std::vector<Accept>> pool(accept_lists);
    for (auto& list : pool) {
        const std::uint32_t length = 1 + random() % 3;
        DfaState holder;
        for (std::uint32_t i = 0; i < length; ++i) {
            const Accept accept = random_accept(random, true);
            if (deterministic) {
                add_accept_data(holder, accept);
            } else {
                list.push_back(accept);
            }
        }
        if (deterministic)
            list = std::move(holder.accept_data);
    }
    for (DfaState& state : dfa.states) {
        if (random() % 2 == 0)
            state.accept_data = pool[random() % accept_lists];
        for (std::uint32_t interval = 0; interval < intervals; ++interval) {
            const std::uint32_t targets = deterministic ? random() % 2 : random() % 3;
            for (std::uint32_t i = 0; i < targets; ++i) {
                state.transitions.push_back(
                    {DisjointCharClassID(interval), DfaStateID(random() % count)});
            }
        }
        std::shuffle(state.transitions.begin(), state.transitions.end(), random);
    }
    return dfa;
}

inline std::shared_ptr<const std::vector<CharInterval>> ranges_of(std::uint32_t interval) {
    return std::make_shared<const std::vector<CharInterval>>(
        std::vector<CharInterval>{{0x61 + interval, 0x61 + interval}});
}

// Random epsilon and consuming transitions over `intervals` groups; some
// states accept, some of them with a lookahead.
inline Nfa random_nfa(std::mt19937& random, std::uint32_t max_states, std::uint32_t intervals,
                      bool allow_lookahead) {
    Nfa nfa;
    const std::uint32_t count = 1 + random() % max_states;
    while (nfa.states.size() < count)
        nfa.new_state();
    const std::uint32_t edges = random() % (3 * count);
    for (std::uint32_t i = 0; i < edges; ++i) {
        const NfaStateID from(random() % count);
        const NfaStateID to(random() % count);
        if (random() % 3 == 0) {
            nfa.add_epsilon_transition(from, to);
        } else {
            const std::uint32_t interval = random() % intervals;
            nfa.add_transition(
                from, CharacterClassType::range(ranges_of(interval), DisjointCharClassID(interval)),
                to);
        }
    }
    nfa.set_start_state(NfaStateID(random() % count));
    for (std::uint32_t id = 0; id < count; ++id) {
        if (random() % 3 != 0)
            continue;
        nfa.states[id].accept_data = random_accept(random, allow_lookahead);
    }
    return nfa;
}

}  // namespace quarn::generate::oracle
