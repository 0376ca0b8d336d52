// The parser of scanner definitions:
//
//   Name { mode INITIAL { token "regex" [not] followed by "regex" => 1; on 1 push OTHER; } ... }
#pragma once

#include <string>
#include <string_view>

#include "quarn/base/result.hpp"
#include "quarn/definition/scanner_data.hpp"

namespace quarn::definition {

// Tokenizes and parses a whole definition. Lookahead expressions are compiled
// here, where they are met, token patterns are not. The error is the bare
// message (no prefix); target mode names are resolved later, when the scanner
// is built. On failure `error_offset`, when given, receives the byte offset of
// where the parse stopped: the token it could not use, the `}` of a body that
// ended too soon, or the end of the text.
base::Result<ScannerData, std::string> parse_scanner_data(std::string_view text,
                                                          std::size_t* error_offset = nullptr);

}  // namespace quarn::definition
