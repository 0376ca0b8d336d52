// Where the parts of a definition stand in its text, so that tools can point
// at them. Positions are byte offsets into the definition text; position_of
// turns one into a line and column.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::definition {

// Lines and columns count from 1; columns count characters, and a line feed
// ends a line, as the scan positions do.
struct SourcePosition {
    std::size_t line = 1;
    std::size_t column = 1;
    friend bool operator==(const SourcePosition&, const SourcePosition&) = default;
};

// The position of the byte `offset` of `text`; an offset past the end is the end.
SourcePosition position_of(std::string_view text, std::size_t offset);

// The text of the line holding `offset`, without its line feed.
std::string_view line_at(std::string_view text, std::size_t offset);

// The keyword that opens each part: `mode`, `token`, `on`.
struct ModeSource {
    std::size_t mode = 0;
    std::vector<std::size_t> clauses;      // the mode's token clauses, in order
    std::vector<std::size_t> transitions;  // the mode's transitions, in order
};

struct SourceMap {
    std::vector<ModeSource> modes;  // in definition order
    // Of a rejected definition: the token at which parsing failed, the end of
    // the group (the offset of its closing delimiter) it failed to find more
    // in, or, when the text does not tokenize, where the offending text starts
    // (the first invalid UTF-8 byte, the unusable character, or the end of
    // the text for an unclosed group).
    std::size_t error = 0;
};

}  // namespace quarn::definition
