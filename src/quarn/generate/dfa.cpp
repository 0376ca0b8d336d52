// Subset construction over flat edge arrays: subsets are interned in an
// open-addressing table keyed by FxHash of their sorted members, expanded in
// the order they are first reached, and charged against the per-conversion and
// per-scanner bounds as they grow. build_scanner_dfas drives it over a scanner.
#include "quarn/generate/dfa.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "quarn/base/errors.hpp"
#include "quarn/base/fxhash.hpp"
#include "quarn/base/interrupt.hpp"
#include "quarn/generate/minimizer.hpp"
#include "quarn/generate/nfa.hpp"
#include "quarn/regex/debug_text.hpp"

namespace quarn::generate {

std::string DfaConversionError::debug() const {
    std::string out = "DfaConversionError(";
    out += regex::debug_quote_str(message);
    out += ')';
    return out;
}

void add_accept_data(DfaState& state, Accept accept) {
    auto& list = state.accept_data;
    if (std::find(list.begin(), list.end(), accept) != list.end())
        return;
    list.push_back(accept);
    std::stable_sort(list.begin(), list.end(), [](const Accept& a, const Accept& b) {
        return std::tie(a.priority, a.token_type) < std::tie(b.priority, b.token_type);
    });
    auto first_plain = std::find_if(list.begin(), list.end(),
                                    [](const Accept& a) { return a.lookahead.is_none(); });
    if (first_plain != list.end())
        list.erase(first_plain + 1, list.end());
}

namespace {

using StateIndex = std::uint32_t;

// Minimizes and charges the kept automaton's table cells (`alphabet_width`,
// at least 1, per state).
Dfa minimize_charged(Dfa dfa, std::size_t alphabet_width, ScannerDfaBudget& budget) {
    Dfa minimized = minimize(std::move(dfa));
    budget.table_cells += minimized.states.size() * std::max<std::size_t>(1, alphabet_width);
    return minimized;
}

struct Edge {
    std::uint32_t interval;
    StateIndex target;
};

// The NFA's edges in flat arrays indexed by state, checked once, so that the
// construction never searches for a state or looks at a label again.
struct NfaEdges {
    std::vector<std::size_t> epsilon_begin;  // states + 1 entries
    std::vector<StateIndex> epsilon_targets;
    std::vector<std::size_t> consuming_begin;  // states + 1 entries
    std::vector<Edge> consuming;
    std::size_t used_width = 0;  // highest interval group used, plus one
    // The scanner's interval groups, or used_width if that is more.
    std::size_t alphabet_width = 0;

    std::span<const StateIndex> epsilon(StateIndex state) const {
        return {epsilon_targets.data() + epsilon_begin[state],
                epsilon_begin[state + 1] - epsilon_begin[state]};
    }
    std::span<const Edge> consuming_from(StateIndex state) const {
        return {consuming.data() + consuming_begin[state],
                consuming_begin[state + 1] - consuming_begin[state]};
    }
};

[[noreturn]] void state_not_found(NfaStateID id) {
    base::fail("State not found: " + debug_string(id));
}

NfaEdges index_edges(const Nfa& nfa, std::size_t alphabet_width) {
    const std::size_t count = nfa.states.size();
    NfaEdges edges;
    edges.alphabet_width = alphabet_width;
    edges.epsilon_begin.reserve(count + 1);
    edges.consuming_begin.reserve(count + 1);
    for (const NfaState& state : nfa.states) {
        edges.epsilon_begin.push_back(edges.epsilon_targets.size());
        edges.consuming_begin.push_back(edges.consuming.size());
        for (const NfaTransition& transition : state.transitions) {
            if (transition.target.as_usize() >= count)
                state_not_found(transition.target);
            if (transition.is_epsilon()) {
                edges.epsilon_targets.push_back(transition.target.value());
                continue;
            }
            const CharacterClassType& label = *transition.character_class;
            if (label.is_hir_kind()) {
                base::fail("HirKind character classes are not supported in NFA transitions: " +
                           regex::debug_string(label.hir()));
            }
            const std::uint32_t interval = label.class_id().value();
            edges.consuming.push_back({interval, transition.target.value()});
            edges.used_width = std::max(edges.used_width, std::size_t{interval} + 1);
        }
    }
    edges.epsilon_begin.push_back(edges.epsilon_targets.size());
    edges.consuming_begin.push_back(edges.consuming.size());
    edges.alphabet_width = std::max(edges.alphabet_width, edges.used_width);
    return edges;
}

DfaConversionError too_large(const std::string& what) {
    return DfaConversionError{"The DFA is too large: " + what};
}

// Subsets of NFA states, each sorted ascending, stored back to back and found
// again through an open-addressing table keyed by FxHash of the members.
class SubsetRegistry {
  public:
    std::size_t size() const { return hashes_.size(); }
    std::size_t total_members() const { return members_.size(); }

    std::span<const StateIndex> subset(std::size_t id) const {
        return {members_.data() + begin_[id], begin_[id + 1] - begin_[id]};
    }

    std::optional<std::uint32_t> find(std::span<const StateIndex> subset,
                                      std::uint64_t hash) const {
        if (slots_.empty())
            return std::nullopt;
        for (std::size_t slot = hash & mask_;; slot = (slot + 1) & mask_) {
            const std::uint32_t entry = slots_[slot];
            if (entry == kEmpty)
                return std::nullopt;
            if (hashes_[entry] == hash && std::ranges::equal(this->subset(entry), subset)) {
                return entry;
            }
        }
    }

    // Registers a subset that find() did not know; returns its id.
    std::uint32_t add(std::span<const StateIndex> subset, std::uint64_t hash) {
        if ((hashes_.size() + 1) * 2 > slots_.size())
            grow();
        const auto id = static_cast<std::uint32_t>(hashes_.size());
        members_.insert(members_.end(), subset.begin(), subset.end());
        begin_.push_back(members_.size());
        hashes_.push_back(hash);
        place(id);
        return id;
    }

    static std::uint64_t hash_of(std::span<const StateIndex> subset) {
        std::uint64_t hash = base::fx_hash_u64(subset.size());
        for (StateIndex member : subset)
            hash = base::fx_add(hash, member);
        return hash;
    }

  private:
    static constexpr std::uint32_t kEmpty = 0xFFFF'FFFF;

    void grow() {
        slots_.assign(std::max<std::size_t>(64, slots_.size() * 2), kEmpty);
        mask_ = slots_.size() - 1;
        for (std::uint32_t id = 0; id < hashes_.size(); ++id)
            place(id);
    }
    void place(std::uint32_t id) {
        std::size_t slot = hashes_[id] & mask_;
        while (slots_[slot] != kEmpty)
            slot = (slot + 1) & mask_;
        slots_[slot] = id;
    }

    std::vector<StateIndex> members_;
    std::vector<std::size_t> begin_{0};
    std::vector<std::uint64_t> hashes_;
    std::vector<std::uint32_t> slots_;
    std::size_t mask_ = 0;
};

class SubsetConstruction {
  public:
    SubsetConstruction(const Nfa& nfa, std::size_t alphabet_width, ScannerDfaBudget& budget)
        : nfa_(nfa),
          edges_(index_edges(nfa, alphabet_width)),
          budget_(budget),
          visited_(nfa.states.size(), 0) {}

    base::Result<Dfa, DfaConversionError> run() {
        if (nfa_.start_state.as_usize() >= nfa_.states.size())
            state_not_found(nfa_.start_state);
        const StateIndex start = nfa_.start_state.value();
        if (auto error = register_closure(std::span<const StateIndex>(&start, 1)).error) {
            return base::err(std::move(*error));
        }
        // Ids are handed out in the order subsets are first reached, so the
        // first-in, first-out queue is simply the next id to expand.
        for (std::size_t current = 0; current < registry_.size(); ++current) {
            if (auto error = expand(current))
                return base::err(std::move(*error));
        }
        dfa_.states.resize(registry_.size());
        for (std::size_t id = 0; id < transitions_.size(); ++id) {
            dfa_.states[id].transitions = std::move(transitions_[id]);
        }
        add_accept_data_to_states();
        return std::move(dfa_);
    }

  private:
    struct Registered {
        std::uint32_t id = 0;
        std::optional<DfaConversionError> error;
    };

    std::optional<DfaConversionError> expand(std::size_t current) {
        edges_of_subset_.clear();
        for (StateIndex member : registry_.subset(current)) {
            const auto out = edges_.consuming_from(member);
            edges_of_subset_.insert(edges_of_subset_.end(), out.begin(), out.end());
        }
        if (auto error = charge(edges_of_subset_.size()))
            return error;
        group_by_interval();

        std::vector<DfaTransition> out;
        for (std::size_t first = 0; first < edges_of_subset_.size();) {
            const std::uint32_t interval = edges_of_subset_[first].interval;
            seeds_.clear();
            std::size_t last = first;
            for (; last < edges_of_subset_.size() && edges_of_subset_[last].interval == interval;
                 ++last) {
                seeds_.push_back(edges_of_subset_[last].target);
            }
            Registered target = target_of_seeds();
            if (target.error)
                return target.error;
            out.push_back({DisjointCharClassID(interval), DfaStateID(target.id)});
            first = last;
        }
        transitions_[current] = std::move(out);
        return std::nullopt;
    }

    // Puts the edges of equal interval next to each other, intervals ascending.
    // Repeated edges may stay: the closure visits each state once.
    void group_by_interval() {
        const std::size_t width = edges_.used_width;
        if (width > 4 * edges_of_subset_.size() + 64) {
            std::sort(edges_of_subset_.begin(), edges_of_subset_.end(),
                      [](const Edge& a, const Edge& b) { return a.interval < b.interval; });
            return;
        }
        interval_slots_.assign(width + 1, 0);
        for (const Edge& edge : edges_of_subset_)
            ++interval_slots_[edge.interval + 1];
        for (std::size_t interval = 0; interval < width; ++interval)
            interval_slots_[interval + 1] += interval_slots_[interval];
        grouped_edges_.resize(edges_of_subset_.size());
        for (const Edge& edge : edges_of_subset_)
            grouped_edges_[interval_slots_[edge.interval]++] = edge;
        std::swap(edges_of_subset_, grouped_edges_);
    }

    // The subset reached from `seeds_`. A large class (a Unicode property, a
    // negated set) is split into hundreds of interval groups that mostly lead
    // to the same NFA states, so each distinct seed set is closed only once.
    Registered target_of_seeds() {
        std::sort(seeds_.begin(), seeds_.end());
        seeds_.erase(std::unique(seeds_.begin(), seeds_.end()), seeds_.end());
        if (auto error = charge(seeds_.size()))
            return {0, std::move(error)};
        const std::uint64_t hash = SubsetRegistry::hash_of(seeds_);
        if (auto known = seed_sets_.find(seeds_, hash))
            return {seed_set_targets_[*known], std::nullopt};
        Registered target = register_closure(seeds_);
        if (!target.error) {
            seed_sets_.add(seeds_, hash);
            seed_set_targets_.push_back(target.id);
        }
        return target;
    }

    // The union of the epsilon closures of `seeds`, registered as a subset
    // unless known already.
    Registered register_closure(std::span<const StateIndex> seeds) {
        closure_.clear();
        ++epoch_;
        for (StateIndex seed : seeds)
            visit(seed);
        std::size_t followed = 0;
        for (std::size_t next = 0; next < closure_.size(); ++next) {
            const auto targets = edges_.epsilon(closure_[next]);
            followed += targets.size();
            for (StateIndex target : targets)
                visit(target);
        }
        if (auto error = charge(closure_.size() + followed))
            return {0, std::move(error)};
        sort_closure();

        const std::uint64_t hash = SubsetRegistry::hash_of(closure_);
        if (auto known = registry_.find(closure_, hash))
            return {*known, std::nullopt};

        const std::size_t states = registry_.size() + 1;
        if (states > kMaxDfaStates) {
            return {0, too_large("more than " + std::to_string(kMaxDfaStates) + " states")};
        }
        if (states * std::max<std::size_t>(1, edges_.alphabet_width) > kMaxDfaTableCells) {
            return {0,
                    too_large("more than " + std::to_string(kMaxDfaTableCells) +
                              " transition table cells (" + std::to_string(states) + " states x " +
                              std::to_string(edges_.alphabet_width) + " interval groups)")};
        }
        if (budget_.table_cells + states * std::max<std::size_t>(1, edges_.alphabet_width) >
            kMaxScannerDfaTableCells) {
            return {0, too_large("the scanner's automata would need more than " +
                                 std::to_string(kMaxScannerDfaTableCells) +
                                 " transition table cells together")};
        }
        if (registry_.total_members() + closure_.size() > kMaxSubsetMembers) {
            return {0, too_large("its NFA state sets hold more than " +
                                 std::to_string(kMaxSubsetMembers) + " states")};
        }
        transitions_.emplace_back();
        return {registry_.add(closure_, hash), std::nullopt};
    }

    // A closure holding a good part of the NFA is put in order by one pass over
    // the visit marks instead of a comparison sort.
    void sort_closure() {
        if (closure_.size() * 8 < visited_.size()) {
            std::sort(closure_.begin(), closure_.end());
            return;
        }
        closure_.clear();
        for (StateIndex state = 0; state < visited_.size(); ++state) {
            if (visited_[state] == epoch_)
                closure_.push_back(state);
        }
    }

    void visit(StateIndex state) {
        if (visited_[state] == epoch_)
            return;
        visited_[state] = epoch_;
        closure_.push_back(state);
    }

    std::optional<DfaConversionError> charge(std::size_t steps) {
        base::construction_countdown().charge(steps);
        work_ += steps;
        budget_.subset_work += steps;
        if (work_ > kMaxSubsetWork) {
            return too_large("computing its states takes more than " +
                             std::to_string(kMaxSubsetWork) + " steps");
        }
        if (budget_.subset_work > kMaxSubsetWork) {
            return too_large("computing the scanner's states takes more than " +
                             std::to_string(kMaxSubsetWork) + " steps");
        }
        return std::nullopt;
    }

    // Walks every subset in ascending NFA state order; an accepting NFA state
    // gives its record to the DFA state.
    void add_accept_data_to_states() {
        for (std::size_t id = 0; id < registry_.size(); ++id) {
            for (StateIndex member : registry_.subset(id)) {
                if (const auto& accepted = nfa_.states[member].accept_data)
                    add_accept_data(dfa_.states[id], *accepted);
            }
        }
    }

    const Nfa& nfa_;
    const NfaEdges edges_;
    ScannerDfaBudget& budget_;
    SubsetRegistry registry_;
    std::vector<std::vector<DfaTransition>> transitions_;  // by DFA state
    SubsetRegistry seed_sets_;                             // sorted distinct seeds met so far
    std::vector<std::uint32_t> seed_set_targets_;          // by seed set: the subset it reaches
    Dfa dfa_;

    std::vector<std::uint32_t> visited_;  // epoch of the last visit, by NFA state
    std::uint32_t epoch_ = 0;
    std::size_t work_ = 0;
    std::vector<StateIndex> closure_;
    std::vector<StateIndex> seeds_;
    std::vector<Edge> edges_of_subset_;
    std::vector<Edge> grouped_edges_;
    std::vector<std::size_t> interval_slots_;
};

}  // namespace

base::Result<Dfa, DfaConversionError> try_from_nfa_not_minimized(const Nfa& nfa,
                                                                 std::size_t alphabet_width) {
    ScannerDfaBudget budget;
    return try_from_nfa_not_minimized(nfa, alphabet_width, budget);
}

base::Result<Dfa, DfaConversionError> try_from_nfa_not_minimized(const Nfa& nfa,
                                                                 std::size_t alphabet_width,
                                                                 ScannerDfaBudget& budget) {
    return SubsetConstruction(nfa, alphabet_width, budget).run();
}

base::Result<Dfa, DfaConversionError> try_from_nfa(const Nfa& nfa, std::size_t alphabet_width) {
    ScannerDfaBudget budget;
    return try_from_nfa(nfa, alphabet_width, budget);
}

base::Result<Dfa, DfaConversionError> try_from_nfa(const Nfa& nfa, std::size_t alphabet_width,
                                                   ScannerDfaBudget& budget) {
    auto dfa = try_from_nfa_not_minimized(nfa, alphabet_width, budget);
    if (!dfa)
        return dfa;
    return minimize_charged(std::move(dfa).value(), alphabet_width, budget);
}

base::Result<ScannerDfas, DfaConversionError> build_scanner_dfas(
    std::vector<Nfa>& mode_nfas, const std::vector<Nfa>& lookahead_nfas, std::size_t alphabet_width,
    ScannerDfaBudget& budget, std::size_t* failed_mode) {
    ScannerDfas result;
    result.modes.reserve(mode_nfas.size());
    result.lookaheads.resize(lookahead_nfas.size());
    std::vector<bool> converted(lookahead_nfas.size(), false);
    for (Nfa& nfa : mode_nfas) {
        if (failed_mode != nullptr)
            *failed_mode = result.modes.size();
        auto dfa = try_from_nfa_not_minimized(nfa, alphabet_width, budget);
        if (!dfa)
            return base::err(std::move(dfa).error());
        nfa = Nfa();  // consumed: its memory is not needed any more
        for (const DfaState& state : dfa->states) {
            for (const Accept& accept : state.accept_data) {
                if (accept.lookahead.is_none())
                    continue;
                const std::size_t id = accept.lookahead.id.as_usize();
                base::check_index(id, lookahead_nfas.size());
                if (converted[id])
                    continue;
                converted[id] = true;
                auto lookahead = try_from_nfa(lookahead_nfas[id], alphabet_width, budget);
                if (!lookahead)
                    return base::err(std::move(lookahead).error());
                result.lookaheads[id] = std::move(lookahead).value();
            }
        }
        result.modes.push_back(minimize_charged(std::move(dfa).value(), alphabet_width, budget));
    }
    return result;
}

std::string dump(const Dfa& dfa) {
    std::string out;
    for (std::size_t id = 0; id < dfa.states.size(); ++id) {
        const DfaState& state = dfa.states[id];
        out += std::to_string(id) + ':';
        for (const DfaTransition& transition : state.transitions) {
            out += " #" + std::to_string(transition.group.value()) + '>' +
                   std::to_string(transition.target.value());
        }
        if (!state.accept_data.empty()) {
            out += " [";
            for (std::size_t i = 0; i < state.accept_data.size(); ++i)
                out += (i == 0 ? "" : ", ") + dump(state.accept_data[i]);
            out += ']';
        }
        out += '\n';
    }
    return out;
}

}  // namespace quarn::generate
