// Depth check of the finished syntax tree, iterative so that a tree of any
// depth is checked without deep recursion.
#include <utility>

#include "quarn/regex/ast.hpp"

namespace quarn::regex {

namespace {

// Nodes that add a level: groups, repetitions, alternations, concatenations,
// brackets, unions and set operations. Atoms and directives do not.
bool adds_level(AstKind kind) {
    switch (kind) {
        case AstKind::Group:
        case AstKind::Repetition:
        case AstKind::Alternation:
        case AstKind::Concat:
        case AstKind::Bracketed:
        case AstKind::SetUnion:
        case AstKind::SetBinaryOp:
            return true;
        default:
            return false;
    }
}

}  // namespace

void check_nest_limit(const Ast& ast, std::string_view pattern, std::uint32_t limit) {
    // Pre-order walk: (node, depth of its parent).
    std::vector<std::pair<AstId, std::uint32_t>> stack{{ast.root, 0}};
    while (!stack.empty()) {
        auto [id, parent_depth] = stack.back();
        stack.pop_back();
        const AstNode& node = ast[id];
        std::uint32_t depth = parent_depth + (adds_level(node.kind) ? 1 : 0);
        if (depth > limit) {
            throw ParseFailure{make_error(ErrorKind::NestLimitExceeded, pattern, node.span)};
        }
        for (auto it = node.children.rbegin(); it != node.children.rend(); ++it) {
            stack.emplace_back(*it, depth);
        }
    }
}

}  // namespace quarn::regex
