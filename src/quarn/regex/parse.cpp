#include "quarn/regex/parse.hpp"

#include "quarn/regex/ast.hpp"

namespace quarn::regex {

namespace {
constexpr std::uint32_t kNestLimit = 250;
}  // namespace

base::Result<Hir, Error> parse(std::string_view pattern) {
    try {
        Ast ast = parse_ast(pattern);
        check_nest_limit(ast, pattern, kNestLimit);
        return translate(ast, pattern);
    } catch (ParseFailure& failure) {
        return base::err(std::move(failure.error));
    }
}

}  // namespace quarn::regex
