// Set algebra on classes in canonical form. Unicode classes range over the
// scalar values: stepping past U+D7FF lands on U+E000 and back, so complements
// and differences never introduce surrogates.
#pragma once

#include "quarn/regex/hir.hpp"

namespace quarn::regex {

// Sorts and merges overlapping or numerically adjacent ranges.
void canonicalize(Class& cls);

void push_range(Class& cls, std::uint32_t start, std::uint32_t end);  // no canonicalization
void union_with(Class& cls, const Class& other);
void intersect_with(Class& cls, const Class& other);
void subtract(Class& cls, const Class& other);
void symmetric_difference_with(Class& cls, const Class& other);
void negate(Class& cls);

// Adds every simple case-folding equivalent of every member (ASCII letters
// only for a byte class).
void case_fold(Class& cls);

bool is_ascii(const Class& cls);
bool is_empty(const Class& cls);

}  // namespace quarn::regex
