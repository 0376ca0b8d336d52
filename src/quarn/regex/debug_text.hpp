// Quoting for the structural debug renderings: strings and characters in the
// conventional escaped form ("a\n", '\'').
#pragma once

#include <string>
#include <string_view>

namespace quarn::regex {

std::string debug_quote_str(std::string_view text);  // "..." with \" \\ \n \r \t \0 \u{..}
std::string debug_quote_char(char32_t c);            // '...' with \' instead of \"
// A literal's bytes: like a string, other ASCII controls as \xNN.
std::string debug_quote_bytes(std::string_view bytes);  // both quotes escaped

}  // namespace quarn::regex
