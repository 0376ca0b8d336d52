// Token columns as plain rows, for comparisons with readable failures.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "quarn/batch/token_columns.hpp"

namespace quarn::batch::testing {

using Row = std::array<std::int64_t, 8>;

inline std::vector<Row> rows(const TokenColumns& columns) {
    std::vector<Row> result;
    const bool positions = !columns.start_lines.empty();
    const bool documents = !columns.documents.empty();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        result.push_back(
            {columns.types[i], columns.starts[i], columns.ends[i],
             positions ? columns.start_lines[i] : 0, positions ? columns.start_columns[i] : 0,
             positions ? columns.end_lines[i] : 0, positions ? columns.end_columns[i] : 0,
             documents ? static_cast<std::int64_t>(columns.documents[i]) : -1});
    }
    return result;
}

}  // namespace quarn::batch::testing
