// The scanner's match function from its shared alphabet.
#pragma once

#include "quarn/generate/character_classes.hpp"
#include "quarn/runtime/match_function.hpp"

namespace quarn::pipeline {

// Maps a character to the number of its interval group, or to no class when it
// lies in no elementary interval. `classes` must be partitioned already
// (create_disjoint_character_classes).
runtime::MatchFunction build_match_function(const generate::CharacterClasses& classes);

}  // namespace quarn::pipeline
