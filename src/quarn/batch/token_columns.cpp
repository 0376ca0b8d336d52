#include "quarn/batch/token_columns.hpp"

namespace quarn::batch {

namespace {

template <class Visit>
void for_each_column(TokenColumns& a, const TokenColumns& b, Visit visit) {
    visit(a.types, b.types);
    visit(a.starts, b.starts);
    visit(a.ends, b.ends);
    visit(a.start_lines, b.start_lines);
    visit(a.start_columns, b.start_columns);
    visit(a.end_lines, b.end_lines);
    visit(a.end_columns, b.end_columns);
    visit(a.documents, b.documents);
}

}  // namespace

void TokenColumns::reserve(std::size_t tokens, bool positions) {
    types.reserve(tokens);
    starts.reserve(tokens);
    ends.reserve(tokens);
    if (positions) {
        start_lines.reserve(tokens);
        start_columns.reserve(tokens);
        end_lines.reserve(tokens);
        end_columns.reserve(tokens);
    }
}

void TokenColumns::shrink_to_fit() {
    for_each_column(*this, *this, [](auto& column, const auto&) { column.shrink_to_fit(); });
}

void TokenColumns::append(const TokenColumns& other) {
    for_each_column(*this, other, [](auto& column, const auto& more) {
        column.append(more.data(), more.size());
    });
}

}  // namespace quarn::batch
