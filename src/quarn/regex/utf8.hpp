// UTF-8 helpers of the regex front end.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "quarn/base/utf8.hpp"

namespace quarn::regex {

// Decodes `text` into scalar values; offsets[i] is the byte offset of chars[i]
// and offsets.back() the length of `text`. A malformed byte decodes as U+FFFD
// on its own, so any byte string can be scanned.
void decode_utf8(std::string_view text, std::vector<char32_t>& chars,
                 std::vector<std::size_t>& offsets);

using base::append_utf8;
std::string encode_utf8(std::u32string_view text);

}  // namespace quarn::regex
