// Queries over the generated Unicode 15.0 tables (unicode_tables.cpp). Sets are
// lists of inclusive scalar-value ranges, sorted and non-adjacent. A range never starts
// or ends on a surrogate but may span D800-DFFF (`Any` is 0-10FFFF); it then stands for
// the scalar values in it, and U+D7FF, U+E000 count as adjacent.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::unicode {

struct Range {
    char32_t start;
    char32_t end;
    friend bool operator==(const Range&, const Range&) = default;
};

using RangeSet = std::span<const Range>;

// `ranges` sorted, with overlapping and adjacent ranges joined.
std::vector<Range> merged(std::vector<Range> ranges);

// Outcome of resolving a `\p{...}` name (dialect section 6.3).
enum class PropertyStatus : std::uint8_t { Found, PropertyNotFound, PropertyValueNotFound };

struct PropertyLookup {
    PropertyStatus status;
    std::vector<Range> ranges;  // when Found
};

// `\pX` / `\p{Name}`: a lone name (loose matching applied here).
PropertyLookup lookup_lone_name(std::string_view name);
// `\p{name=value}` (also `:` and `!=`; negation is the caller's business).
PropertyLookup lookup_name_value(std::string_view name, std::string_view value);

// Loose matching of property names and values (dialect section 6.2).
std::string loose_match(std::string_view text);

// Perl classes in Unicode mode.
RangeSet perl_digit();  // \d: gc Nd
RangeSet perl_space();  // \s: White_Space
RangeSet perl_word();   // \w

// Simple case folding: every other member of c's equivalence class (statuses C
// and S of CaseFolding.txt), ascending; empty when c folds with nothing.
std::span<const char32_t> simple_fold_equivalents(char32_t c);
// True when some character in [start, end] has a non-empty equivalence class.
bool any_simple_fold_in(char32_t start, char32_t end);
// The characters in [start, end] with a non-empty equivalence class, ascending: folding
// a large range visits only these instead of every character.
std::span<const char32_t> simple_folds_in(char32_t start, char32_t end);

bool is_xid_start(char32_t c);
bool is_xid_continue(char32_t c);
bool is_alphabetic(char32_t c);
bool is_numeric(char32_t c);  // gc Nd, Nl or No (capture-name characters)
bool is_white_space(char32_t c);

}  // namespace quarn::unicode
