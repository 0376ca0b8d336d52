// The characters with a meaning of their own in a pattern: the parser accepts
// them escaped, and printing a pattern escapes them so it parses back the same.
#pragma once

namespace quarn::regex {

inline bool is_meta_character(char32_t c) {
    switch (c) {
        case '\\':
        case '.':
        case '+':
        case '*':
        case '?':
        case '(':
        case ')':
        case '|':
        case '[':
        case ']':
        case '{':
        case '}':
        case '^':
        case '$':
        case '#':
        case '&':
        case '-':
        case '~':
            return true;
        default:
            return false;
    }
}

}  // namespace quarn::regex
