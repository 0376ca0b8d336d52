// The generated Unicode tables (unicode_tables.cpp, written by tools/gen_unicode_tables.py).
// Internal to quarn::unicode; everything else goes through unicode.hpp.
//
// Every set is sorted and holds scalar values only: no range starts or ends on a
// surrogate, and no two ranges overlap or touch in scalar order, where U+E000 follows
// U+D7FF. So a range may run across D800-DFFF (`Any` is the single range 0-10FFFF, the
// category C has D7FC-F8FF) and then stands for the scalar values it spans.
//
// Name tables are sorted by key; keys are already loosely matched (loose_match), and
// every alias of a name has its own entry. An empty RangeSet marks a name that exists
// but has no code points (Cs, Zzzz, GCB=XX, ...).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "quarn/unicode/unicode.hpp"

namespace quarn::unicode::tables {

enum class PropertyKind : std::uint8_t {
    Binary,  // one of the supported binary properties; `set` holds it
    GeneralCategory,
    Script,
    ScriptExtensions,
    Age,
    GraphemeClusterBreak,
    WordBreak,
    SentenceBreak,
    Other,  // known name without tables here (Block, Name, ISO_Comment, ...)
};

struct PropertyName {
    std::string_view key;
    PropertyKind kind;
    RangeSet set;
};

struct NamedSet {
    std::string_view key;
    RangeSet set;
};

struct ScriptName {
    std::string_view key;
    RangeSet script;
    RangeSet extensions;
};

struct AgeName {
    std::string_view key;
    std::int8_t version;  // index into kAgeVersions, -1 for NA/Unassigned
};

extern const RangeSet kPerlWord;
extern const RangeSet kPerlDigit;
extern const RangeSet kPerlSpace;
extern const RangeSet kXidStart;
extern const RangeSet kXidContinue;
extern const RangeSet kAlphabetic;
extern const RangeSet kNumeric;
extern const RangeSet kWhiteSpace;

extern const std::span<const PropertyName> kPropertyNames;
extern const std::span<const NamedSet> kGeneralCategoryValues;
extern const std::span<const ScriptName> kScriptValues;
extern const std::span<const AgeName> kAgeValues;
// Code points first assigned in each version, oldest first.
extern const std::span<const RangeSet> kAgeVersions;
extern const std::span<const NamedSet> kGraphemeClusterBreakValues;
extern const std::span<const NamedSet> kWordBreakValues;
extern const std::span<const NamedSet> kSentenceBreakValues;

// Simple case folding. kFoldCodePoints lists, ascending, every code point whose
// equivalence class has other members; those of kFoldCodePoints[i] are
// kFoldMembers[kFoldOffsets[i], kFoldOffsets[i + 1]), ascending.
extern const std::span<const char32_t> kFoldCodePoints;
extern const std::span<const std::uint16_t> kFoldOffsets;
extern const std::span<const char32_t> kFoldMembers;

}  // namespace quarn::unicode::tables
