// DFA minimization by partition refinement, in a canonical numbering.
#pragma once

#include "quarn/generate/dfa.hpp"

namespace quarn::generate {

// Merges states that accept the same pattern list and lead, interval by
// interval, to merged states. The result does not depend on how the input's
// states other than the start state are numbered:
//  - the first partition holds the non-accepting states, then the accepting
//    states grouped by accept list, in ascending order of the lists (compared
//    record by record: priority, token type, lookahead kind, lookahead id);
//  - each refinement pass splits a group by the signature of its members (the
//    target group of every transition, by interval), the parts in ascending
//    signature order, until a pass splits nothing;
//  - the group of the start state becomes state 0, every other group keeps its
//    place; a state's transitions are those of its smallest member, renumbered,
//    in ascending interval order.
//
// Each pass only revisits the groups with a member that leads into a smaller
// part of a group split by the previous pass: the other groups cannot split, and
// the ranks of the parts suffice to order the new signatures. This gives the
// partition of full recomputation at a cost near O(transitions * log(states)).
Dfa minimize(Dfa dfa);

}  // namespace quarn::generate
