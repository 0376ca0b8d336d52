// Where a scan stands among a scanner's modes: the current mode and the modes
// saved by `push`. Small and mutable; the compiled scanner it refers to is not.
#pragma once

#include <vector>

#include "quarn/runtime/tables.hpp"

namespace quarn::runtime {

struct ModeState {
    ModeIndex mode = 0;
    std::vector<ModeIndex> stack;
    friend bool operator==(const ModeState&, const ModeState&) = default;
};

}  // namespace quarn::runtime
