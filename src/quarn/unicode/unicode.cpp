#include "quarn/unicode/unicode.hpp"

#include "quarn/base/utf8.hpp"

#include <algorithm>

#include "quarn/unicode/unicode_tables.hpp"

namespace quarn::unicode {
namespace {

using tables::PropertyKind;

template <typename Entry>
const Entry* find_key(std::span<const Entry> table, std::string_view key) {
    const auto it = std::lower_bound(
        table.begin(), table.end(), key,
        [](const Entry& entry, std::string_view wanted) { return entry.key < wanted; });
    return it != table.end() && it->key == key ? &*it : nullptr;
}

bool contains(RangeSet set, char32_t c) {
    // First range starting after c; c is a member only if the range before it reaches c.
    const auto it =
        std::upper_bound(set.begin(), set.end(), c,
                         [](char32_t wanted, const Range& r) { return wanted < r.start; });
    return it != set.begin() && std::prev(it)->end >= c;
}

PropertyLookup found(RangeSet set) {
    return {PropertyStatus::Found, std::vector<Range>(set.begin(), set.end())};
}

PropertyLookup failure(PropertyStatus status) {
    return {status, {}};
}

// A table entry that exists but has no code points is a value-not-found, like an
// unknown value.
PropertyLookup from_set(RangeSet set) {
    return set.empty() ? failure(PropertyStatus::PropertyValueNotFound) : found(set);
}

PropertyLookup from_named(std::span<const tables::NamedSet> table, std::string_view key) {
    const tables::NamedSet* entry = find_key(table, key);
    return entry ? from_set(entry->set) : failure(PropertyStatus::PropertyValueNotFound);
}

// Everything assigned in the given version or an earlier one.
PropertyLookup cumulative_age(std::string_view key) {
    const tables::AgeName* entry = find_key(tables::kAgeValues, key);
    if (entry == nullptr || entry->version < 0) {
        return failure(PropertyStatus::PropertyValueNotFound);
    }
    std::vector<Range> ranges;
    for (int version = 0; version <= entry->version; ++version) {
        const RangeSet set = tables::kAgeVersions[version];
        ranges.insert(ranges.end(), set.begin(), set.end());
    }
    return {PropertyStatus::Found, merged(std::move(ranges))};
}

}  // namespace

std::vector<Range> merged(std::vector<Range> ranges) {
    std::sort(ranges.begin(), ranges.end(),
              [](const Range& a, const Range& b) { return a.start < b.start; });
    std::size_t kept = 0;
    for (const Range& range : ranges) {
        if (kept > 0 && range.start <= base::next_scalar(ranges[kept - 1].end)) {
            ranges[kept - 1].end = std::max(ranges[kept - 1].end, range.end);
        } else {
            ranges[kept++] = range;
        }
    }
    ranges.resize(kept);
    return ranges;
}

std::string loose_match(std::string_view text) {
    const bool dropped_is = text.size() >= 2 && (text[0] == 'i' || text[0] == 'I') &&
                            (text[1] == 's' || text[1] == 'S');
    if (dropped_is) {
        text.remove_prefix(2);
    }
    std::string key;
    key.reserve(text.size());
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte == ' ' || byte == '_' || byte == '-' || byte > 0x7F) {
            continue;
        }
        key.push_back(byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte + ('a' - 'A')) : ch);
    }
    // "isc" stays ISO_Comment rather than collapsing into the category C.
    if (dropped_is && key == "c") {
        return "isc";
    }
    return key;
}

PropertyLookup lookup_lone_name(std::string_view name) {
    const std::string key = loose_match(name);
    // These three abbreviate properties (Case_Folding, Script, Lowercase_Mapping) but
    // as lone names they mean the categories Format, Currency_Symbol and Cased_Letter.
    if (key != "cf" && key != "sc" && key != "lc") {
        if (const tables::PropertyName* property = find_key(tables::kPropertyNames, key)) {
            return property->kind == PropertyKind::Binary
                       ? found(property->set)
                       : failure(PropertyStatus::PropertyNotFound);
        }
    }
    if (const tables::NamedSet* category = find_key(tables::kGeneralCategoryValues, key)) {
        return from_set(category->set);
    }
    if (const tables::ScriptName* script = find_key(tables::kScriptValues, key)) {
        return from_set(script->script);
    }
    return failure(PropertyStatus::PropertyNotFound);
}

PropertyLookup lookup_name_value(std::string_view name, std::string_view value) {
    const tables::PropertyName* property = find_key(tables::kPropertyNames, loose_match(name));
    if (property == nullptr) {
        return failure(PropertyStatus::PropertyNotFound);
    }
    const std::string key = loose_match(value);
    switch (property->kind) {
        case PropertyKind::GeneralCategory:
            return from_named(tables::kGeneralCategoryValues, key);
        case PropertyKind::Script:
        case PropertyKind::ScriptExtensions: {
            const tables::ScriptName* script = find_key(tables::kScriptValues, key);
            if (script == nullptr) {
                return failure(PropertyStatus::PropertyValueNotFound);
            }
            return from_set(property->kind == PropertyKind::Script ? script->script
                                                                   : script->extensions);
        }
        case PropertyKind::Age:
            return cumulative_age(key);
        case PropertyKind::GraphemeClusterBreak:
            return from_named(tables::kGraphemeClusterBreakValues, key);
        case PropertyKind::WordBreak:
            return from_named(tables::kWordBreakValues, key);
        case PropertyKind::SentenceBreak:
            return from_named(tables::kSentenceBreakValues, key);
        case PropertyKind::Binary:
        case PropertyKind::Other:
            break;
    }
    return failure(PropertyStatus::PropertyValueNotFound);
}

RangeSet perl_digit() {
    return tables::kPerlDigit;
}
RangeSet perl_space() {
    return tables::kPerlSpace;
}
RangeSet perl_word() {
    return tables::kPerlWord;
}

std::span<const char32_t> simple_fold_equivalents(char32_t c) {
    const auto code_points = tables::kFoldCodePoints;
    const auto it = std::lower_bound(code_points.begin(), code_points.end(), c);
    if (it == code_points.end() || *it != c) {
        return {};
    }
    const auto index = static_cast<std::size_t>(it - code_points.begin());
    const std::size_t first = tables::kFoldOffsets[index];
    return tables::kFoldMembers.subspan(first, tables::kFoldOffsets[index + 1] - first);
}

bool any_simple_fold_in(char32_t start, char32_t end) {
    return !simple_folds_in(start, end).empty();
}

std::span<const char32_t> simple_folds_in(char32_t start, char32_t end) {
    const auto code_points = tables::kFoldCodePoints;
    const auto first = std::lower_bound(code_points.begin(), code_points.end(), start);
    const auto last = start > end ? first : std::upper_bound(first, code_points.end(), end);
    return {first, last};
}

bool is_xid_start(char32_t c) {
    return contains(tables::kXidStart, c);
}
bool is_xid_continue(char32_t c) {
    return contains(tables::kXidContinue, c);
}
bool is_alphabetic(char32_t c) {
    return contains(tables::kAlphabetic, c);
}
bool is_numeric(char32_t c) {
    return contains(tables::kNumeric, c);
}
bool is_white_space(char32_t c) {
    return contains(tables::kWhiteSpace, c);
}

}  // namespace quarn::unicode
