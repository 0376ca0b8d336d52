// The simplifying HIR constructors: every node the translator builds goes
// through these, so a finished tree always has the canonical shape (literal
// runs merged, one-character classes as literals, repetitions of empty-only
// expressions clamped, ...).
#pragma once

#include <vector>

#include "quarn/regex/hir.hpp"

namespace quarn::regex {

Hir build_literal(std::string bytes);  // no bytes: Empty
Hir build_class(Class cls);            // nothing: the empty byte class; one member: a Literal
Hir build_concat(std::vector<Hir> subs);
Hir build_alternation(std::vector<Hir> subs);
Hir build_repetition(std::uint32_t min, std::optional<std::uint32_t> max, bool greedy, Hir sub);
Hir build_capture(std::uint32_t index, std::optional<std::string> name, Hir sub);

// True when the node can match only the empty string.
bool matches_only_empty(const Hir& hir);

}  // namespace quarn::regex
