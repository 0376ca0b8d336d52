// Generator automata -> runtime tables.
#pragma once

#include <cstddef>
#include <cstdint>
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
// same width so one match function serves them all. Accept entries refer to
// lookahead automata by their LookaheadID; each is converted once, when an
// entry first refers to it.
class DfaConverter {
  public:
    // `lookaheads`: the scanner's lookahead table, by LookaheadID; it must
    // outlive the converter.
    explicit DfaConverter(std::size_t num_classes,
                          const std::vector<generate::Dfa>& lookaheads = {},
                          std::size_t max_table_cells = kMaxScannerTableCells)
        : num_classes_(num_classes),
          max_table_cells_(max_table_cells),
          lookaheads_(lookaheads),
          converted_(lookaheads.size()),
          is_converted_(lookaheads.size(), false) {}

    // Tables beyond the bound are the error value; a class number at or beyond
    // num_classes or a lookahead id outside the table throw base::InternalError.
    base::Result<runtime::Dfa, generate::DfaConversionError> convert(const generate::Dfa& dfa);

    // The runtime lookahead table: the automata converted so far by index, the
    // others left empty.
    std::vector<runtime::Dfa> take_lookaheads() { return std::move(converted_); }

    // Cells of the tables converted so far.
    std::size_t table_cells() const { return table_cells_; }

  private:
    base::Result<runtime::Lookahead, generate::DfaConversionError> convert_lookahead(
        const generate::Lookahead& lookahead);

    std::size_t num_classes_;
    std::size_t max_table_cells_;
    std::size_t table_cells_ = 0;
    const std::vector<generate::Dfa>& lookaheads_;
    std::vector<runtime::Dfa> converted_;
    std::vector<bool> is_converted_;
};

// One automaton without lookaheads on its own: DfaConverter(num_classes).convert(dfa),
// InternalError beyond the bound.
runtime::Dfa convert_dfa(const generate::Dfa& dfa, std::size_t num_classes);

}  // namespace quarn::pipeline
