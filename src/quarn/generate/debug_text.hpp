// Building blocks of the debug texts of construction errors and internal
// messages ("Type { field: value, ... }"); the error texts reach users.
#pragma once

#include <string>
#include <string_view>

namespace quarn::generate {

// `text` as a double-quoted string: quote, backslash, NUL, tab, CR and LF as
// backslash sequences, every other non-printable character as \u{hex}.
void append_debug_quoted(std::string& out, std::string_view text);
std::string debug_quoted(std::string_view text);

// "[" elements separated by ", " "]", each written by `append_element`.
template <class List, class AppendElement>
void append_debug_list(std::string& out, const List& list, AppendElement append_element) {
    out += '[';
    bool first = true;
    for (const auto& element : list) {
        if (!first)
            out += ", ";
        first = false;
        append_element(out, element);
    }
    out += ']';
}

}  // namespace quarn::generate
