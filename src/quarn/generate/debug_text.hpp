// Building blocks of the structural debug texts ("Type { field: value, ... }").
// The texts are behaviour, not decoration: the minimizer orders states by the
// debug text of their accept lists, so every form here is fixed.
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
