// The parser of scanner definitions:
//
//   Name { mode INITIAL { token "regex" [not] followed by "regex" => 1; on 1 push OTHER; } ... }
#pragma once

#include <string>
#include <string_view>

#include "quarn/base/result.hpp"
#include "quarn/generate/scanner_data.hpp"

namespace quarn::definition {

// Tokenizes and parses a whole definition. Lookahead expressions are compiled
// here, token patterns are not. The error is the bare message (no prefix);
// target mode names are resolved later, by ScannerData::build_scanner_modes.
// On failure `error_offset`, when given, receives the byte offset of the
// token the parse stopped at (the end of the text when it ran out of tokens).
base::Result<generate::ScannerData, std::string> parse_scanner_data(
    std::string_view text, std::size_t* error_offset = nullptr);

}  // namespace quarn::definition
