// ASCII character tests shared by the lexers of the definition language and
// of regexes.
#pragma once

namespace quarn::base {

// The value of the hexadecimal digit `c` (either case), or -1.
constexpr int hex_digit_value(char32_t c) {
    if (c >= '0' && c <= '9')
        return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<int>(c - 'A' + 10);
    return -1;
}

}  // namespace quarn::base
