// Generator automata -> runtime tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "quarn/generate/dfa.hpp"
#include "quarn/runtime/tables.hpp"

namespace quarn::pipeline {

// Bound on the cells of all runtime tables of one scanner (states times row
// width, lookahead automata included): 2^26 cells are 256 MB. Each automaton is
// bounded on its own during subset construction; this bounds their sum, so a
// definition with many large modes cannot exhaust memory either.
inline constexpr std::size_t kMaxScannerTableCells = std::size_t{1} << 26;

// Converts the minimized generator DFAs of one scanner. State k stays state k,
// every row has exactly `num_classes` entries (a later transition on the same
// class wins), accept lists keep their order, and lookahead automata get the
// same width so one match function serves them all.
//
// The generator holds a separate copy of a lookahead automaton in every accept
// record that mentions it; equal automata are converted once here and shared,
// which keeps the tables linear in the number of distinct automata.
class DfaConverter {
  public:
    explicit DfaConverter(std::size_t num_classes,
                          std::size_t max_table_cells = kMaxScannerTableCells)
        : num_classes_(num_classes), max_table_cells_(max_table_cells) {}

    // Throws base::InternalError for a class number at or beyond num_classes,
    // and for tables beyond the bound ("Failed to convert NFA to DFA: ...").
    runtime::Dfa convert(const generate::Dfa& dfa);

    // Cells of the tables converted so far.
    std::size_t table_cells() const { return table_cells_; }

  private:
    runtime::Lookahead convert_lookahead(const generate::Lookahead& lookahead);

    struct SharedLookahead {
        generate::Lookahead::Kind kind;
        const generate::Dfa* source;  // owned by the caller's generator DFAs
        runtime::Lookahead converted;
    };

    std::size_t num_classes_;
    std::size_t max_table_cells_;
    std::size_t table_cells_ = 0;
    // Structural hash of a lookahead automaton -> automata converted with that hash.
    std::unordered_map<std::uint64_t, std::vector<SharedLookahead>> lookaheads_;
};

// One automaton on its own: DfaConverter(num_classes).convert(dfa).
runtime::Dfa convert_dfa(const generate::Dfa& dfa, std::size_t num_classes);

}  // namespace quarn::pipeline
