// Graphviz DOT pictures of a mode's automaton and its lookaheads.
#pragma once

#include <string>
#include <vector>

#include "quarn/analysis/automata.hpp"

namespace quarn::analysis {

// A set of characters as a reader writes it: `a`, `[a-z_]`, `[^"\\]`.
std::string describe_characters(std::vector<Interval> intervals);

// One digraph: the mode's states with edges labelled by the characters that
// take them, accepting states listing their clauses in the order the scan
// tries them, and each lookahead automaton as a cluster of its own.
std::string mode_graph(const DefinitionAutomata& automata, const Mode& mode);

}  // namespace quarn::analysis
