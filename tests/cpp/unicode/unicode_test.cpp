#include "quarn/unicode/unicode.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "quarn/unicode/unicode_tables.hpp"

namespace quarn::unicode {
namespace {

struct Size {
    std::size_t ranges;
    std::size_t code_points;
    friend bool operator==(const Size&, const Size&) = default;
};

Size size_of(RangeSet set) {
    std::size_t count = 0;
    for (const Range& r : set) {
        count += r.end - r.start + 1;
        if (r.start < 0xD800 && r.end > 0xDFFF) {
            count -= 0x800;  // a range spanning the surrogates holds only scalar values
        }
    }
    return {set.size(), count};
}

std::ostream& operator<<(std::ostream& out, const Size& size) {
    return out << size.ranges << " ranges, " << size.code_points << " code points";
}

bool is_surrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

bool member(RangeSet set, char32_t c) {
    return std::any_of(set.begin(), set.end(),
                       [c](const Range& r) { return r.start <= c && c <= r.end; });
}

std::vector<Range> lone(std::string_view name) {
    PropertyLookup result = lookup_lone_name(name);
    EXPECT_EQ(result.status, PropertyStatus::Found) << name;
    return result.ranges;
}

std::vector<Range> pair(std::string_view name, std::string_view value) {
    PropertyLookup result = lookup_name_value(name, value);
    EXPECT_EQ(result.status, PropertyStatus::Found) << name << "=" << value;
    return result.ranges;
}

TEST(LooseMatch, DropsSeparatorsCaseNonAsciiAndIsPrefix) {
    EXPECT_EQ(loose_match("Is_Greek"), "greek");
    EXPECT_EQ(loose_match("GREEK"), "greek");
    EXPECT_EQ(loose_match("g r-e_e k"), "greek");
    EXPECT_EQ(loose_match("isgreek"), "greek");
    EXPECT_EQ(loose_match(" IsGreek"), "isgreek");  // the prefix must come first
    EXPECT_EQ(loose_match("isc"), "isc");
    EXPECT_EQ(loose_match("IsC"), "isc");
    EXPECT_EQ(loose_match("C"), "c");
    EXPECT_EQ(loose_match("is"), "");
    EXPECT_EQ(loose_match("i"), "i");
    EXPECT_EQ(loose_match("V6_0"), "v60");
    EXPECT_EQ(loose_match("6.0"), "6.0");
    EXPECT_EQ(loose_match("Gr\u00e9ek\t="), "grek\t=");  // other ASCII is kept as is
}

TEST(LoneName, CategoriesScriptsAndBinaryProperties) {
    EXPECT_EQ(size_of(lone("L")), (Size{659, 136104}));
    EXPECT_EQ(size_of(lone("Greek")), (Size{36, 518}));
    EXPECT_EQ(size_of(lone("sc")), (Size{21, 63}));  // Currency_Symbol, not Script
    EXPECT_EQ(lone("cf"), lone("Format"));
    EXPECT_EQ(lone("lc"), lone("Cased_Letter"));
    EXPECT_EQ(lone("Zl"), (std::vector<Range>{{0x2028, 0x2028}}));
    EXPECT_EQ(lone("Any"), (std::vector<Range>{{0, 0x10FFFF}}));
    EXPECT_EQ(lone("ascii"), (std::vector<Range>{{0, 0x7F}}));
    EXPECT_EQ(lone("IsL"), lone("Letter"));

    // Binary properties win over categories: Upper is not Lu, space not Zs.
    EXPECT_TRUE(member(lone("Upper"), 0x2160));  // ROMAN NUMERAL ONE is Other_Uppercase
    EXPECT_FALSE(member(lone("Lu"), 0x2160));
    EXPECT_EQ(size_of(lone("space")), (Size{10, 25}));
    EXPECT_TRUE(member(lone("Emoji"), 0x1F600));
    EXPECT_TRUE(member(lone("Bidi_M"), '('));
    EXPECT_FALSE(member(lone("Bidi_M"), 'a'));
    EXPECT_TRUE(member(lone("ExtPict"), 0x00A9));
}

TEST(LoneName, AssignedAndOtherLeaveOutSurrogatesAndUnassigned) {
    const std::vector<Range> assigned = lone("Assigned");
    const std::vector<Range> other = lone("C");
    EXPECT_FALSE(member(assigned, 0x378));
    EXPECT_TRUE(member(other, 0x378));
    EXPECT_EQ(size_of(other), (Size{712, 963048}));  // one range D7FC-F8FF across the gap
    EXPECT_EQ(size_of(lone("Any")).code_points, 0x110000u - 0x800);
    EXPECT_TRUE(member(assigned, 0xE000));    // private use is assigned
    EXPECT_TRUE(member(lone("Cn"), 0xFFFF));  // noncharacters are unassigned
    EXPECT_EQ(size_of(assigned).code_points + size_of(lone("Cn")).code_points, 0x110000 - 0x800);
}

TEST(LoneName, Failures) {
    const auto status = [](std::string_view name) { return lookup_lone_name(name).status; };
    for (const char* name :
         {"Script", "gc", "Name", "Block", "CWKCF", "XDigit", "L&", "InBasicLatin", "X", "^", "isc",
          "IsC", " IsGreek", "", "\u00e9", "scx"}) {
        EXPECT_EQ(status(name), PropertyStatus::PropertyNotFound) << name;
    }
    EXPECT_EQ(status(std::string_view("L\0", 2)), PropertyStatus::PropertyNotFound);
    EXPECT_EQ(status(std::string(10000, 'L')), PropertyStatus::PropertyNotFound);
    EXPECT_EQ(status("\xff\xfeL"), PropertyStatus::Found);  // stray bytes go like non-ASCII
    for (const char* name :
         {"Cs", "Surrogate", "Zzzz", "Unknown", "Hrkt", "Katakana_Or_Hiragana"}) {
        EXPECT_EQ(status(name), PropertyStatus::PropertyValueNotFound) << name;
    }
}

TEST(NameValue, ScriptExtensionsDifferFromScript) {
    const std::vector<Range> hira = pair("sc", "Hira");
    const std::vector<Range> hira_ext = pair("scx", "Hira");
    EXPECT_EQ(hira, lone("Hiragana"));
    EXPECT_EQ(size_of(hira_ext), (Size{17, 433}));
    for (char32_t c : {U'\u3001', U'\u30FC'}) {
        EXPECT_FALSE(member(hira, c));
        EXPECT_TRUE(member(hira_ext, c));
        EXPECT_TRUE(member(pair("Script", "Common"), c));
        EXPECT_FALSE(member(pair("Script_Extensions", "Zyyy"), c));
    }
    EXPECT_EQ(size_of(pair("scx", "Greek")), (Size{38, 522}));
    EXPECT_EQ(pair("sc", "Qaac"), pair("sc", "Coptic"));  // extra alias
}

TEST(NameValue, AgeIsCumulativeAndAcceptsBothSpellings) {
    const std::vector<Range> age6 = pair("age", "6.0");
    EXPECT_EQ(size_of(age6), (Size{511, 246983}));
    EXPECT_EQ(pair("Age", "V6_0"), age6);
    EXPECT_EQ(pair("age", "v60"), age6);
    EXPECT_TRUE(member(age6, 'A'));      // 1.1
    EXPECT_TRUE(member(age6, 0x20B9));   // INDIAN RUPEE SIGN, 6.0
    EXPECT_FALSE(member(age6, 0x20BA));  // TURKISH LIRA SIGN, 6.2
    // Age also counts the 66 noncharacters as assigned; the category Assigned does not.
    const std::vector<Range> latest = pair("age", "15.0");
    EXPECT_EQ(size_of(latest).code_points, size_of(lone("Assigned")).code_points + 66);
    EXPECT_TRUE(member(latest, 0xFFFF));
    EXPECT_EQ(pair("age", "1.1"), pair("age", "V1_1"));
    EXPECT_NE(pair("age", "1.1"), pair("age", "11.0"));
}

TEST(NameValue, CategoriesAndBreakProperties) {
    EXPECT_EQ(pair("gc", "Lu"), lone("Uppercase_Letter"));
    EXPECT_EQ(pair("General_Category", "any"), lone("Any"));
    EXPECT_EQ(pair("gc", "punct"), lone("P"));
    EXPECT_EQ(pair("gcb", "CR"), (std::vector<Range>{{0x0D, 0x0D}}));
    EXPECT_TRUE(member(pair("Grapheme_Cluster_Break", "RI"), 0x1F1E6));
    EXPECT_TRUE(member(pair("wb", "ALetter"), 'a'));
    EXPECT_EQ(pair("WB", "LE"), pair("wb", "ALetter"));
    EXPECT_TRUE(member(pair("sb", "ATerm"), '.'));
    EXPECT_TRUE(member(pair("SB", "UP"), 'A'));
}

TEST(NameValue, Failures) {
    const auto status = [](std::string_view name, std::string_view value) {
        return lookup_name_value(name, value).status;
    };
    EXPECT_EQ(status("Greek", "Greek"), PropertyStatus::PropertyNotFound);
    EXPECT_EQ(status("", "Greek"), PropertyStatus::PropertyNotFound);
    EXPECT_EQ(status("isscript", "Greek"), PropertyStatus::Found);
    for (const auto& [name, value] : std::vector<std::pair<const char*, const char*>>{
             {"age", "NA"},
             {"age", "Unassigned"},
             {"age", "15.1"},
             {"gcb", "XX"},
             {"gcb", "Other"},
             {"gcb", "E_Base"},
             {"wb", "E_Base"},
             {"sb", "XX"},
             {"sc", "Zzzz"},
             {"sc", "Any"},
             {"scx", "Hrkt"},
             {"gc", "Cs"},
             {"gc", "Greek"},
             {"gc", ""},
             {"Alpha", "Yes"},
             {"Block", "Basic_Latin"},
             {"cf", "Format"},
         }) {
        EXPECT_EQ(status(name, value), PropertyStatus::PropertyValueNotFound)
            << name << "=" << value;
    }
}

TEST(PerlClasses, SizesAndMembers) {
    EXPECT_EQ(size_of(perl_digit()), (Size{64, 680}));
    EXPECT_EQ(size_of(perl_word()), (Size{771, 139612}));
    EXPECT_EQ(size_of(perl_space()), (Size{10, 25}));
    for (char32_t c : {U'_', U'\u200C', U'\u200D', U'\u203F', U'\u2160', U'\u0301'}) {
        EXPECT_TRUE(member(perl_word(), c)) << std::hex << static_cast<unsigned>(c);
    }
    EXPECT_FALSE(member(perl_word(), 0xB2));  // SUPERSCRIPT TWO is No
    for (char32_t c : {U'\u001C', U'\u180E', U'\u200B', U'\uFEFF'}) {
        EXPECT_FALSE(member(perl_space(), c)) << std::hex << static_cast<unsigned>(c);
    }
    EXPECT_TRUE(member(perl_space(), 0x85));
}

std::vector<char32_t> fold_class(char32_t c) {
    std::span<const char32_t> others = simple_fold_equivalents(c);
    std::vector<char32_t> members(others.begin(), others.end());
    members.push_back(c);
    std::sort(members.begin(), members.end());
    return members;
}

TEST(CaseFolding, KnownClasses) {
    using Class = std::vector<char32_t>;
    EXPECT_EQ(fold_class('k'), (Class{'K', 'k', 0x212A}));
    EXPECT_EQ(fold_class(0x212A), (Class{'K', 'k', 0x212A}));
    EXPECT_EQ(fold_class('S'), (Class{'S', 's', 0x17F}));
    EXPECT_EQ(fold_class(0xDF), (Class{0xDF, 0x1E9E}));
    EXPECT_EQ(fold_class(0x3C3), (Class{0x3A3, 0x3C2, 0x3C3}));
    EXPECT_EQ(fold_class(0x3B8), (Class{0x398, 0x3B8, 0x3D1, 0x3F4}));
    EXPECT_EQ(fold_class(0x3B9), (Class{0x345, 0x399, 0x3B9, 0x1FBE}));
    EXPECT_EQ(fold_class(0x1C5), (Class{0x1C4, 0x1C5, 0x1C6}));
    for (char32_t alone : {U'\u0130', U'\u0131', U'1', U'\u0390', U'\uFB05'}) {
        EXPECT_TRUE(simple_fold_equivalents(alone).empty())
            << std::hex << static_cast<unsigned>(alone);
    }
}

TEST(CaseFolding, ClassesAreConsistentAndComplete) {
    std::set<std::vector<char32_t>> classes;
    std::size_t code_points = 0;
    for (const char32_t c : simple_folds_in(0, 0x10FFFF)) {
        const std::vector<char32_t> members = fold_class(c);
        const std::span<const char32_t> others = simple_fold_equivalents(c);
        ASSERT_TRUE(std::is_sorted(others.begin(), others.end()));
        for (char32_t other : members) {
            ASSERT_EQ(fold_class(other), members) << std::hex << static_cast<unsigned>(c);
        }
        classes.insert(members);
        ++code_points;
    }
    EXPECT_EQ(classes.size(), 1424u);
    EXPECT_EQ(code_points, 2878u);
}

TEST(CaseFolding, FoldsInRange) {
    EXPECT_TRUE(any_simple_fold_in('a', 'a'));
    EXPECT_FALSE(any_simple_fold_in('0', '9'));
    EXPECT_TRUE(any_simple_fold_in('0', 'A'));
    EXPECT_FALSE(any_simple_fold_in(0x2800, 0x28FF));  // braille
    EXPECT_TRUE(any_simple_fold_in(0x212A, 0x212A));
    EXPECT_FALSE(any_simple_fold_in(0x1E944, 0x10FFFF));  // past the last folding letter
    EXPECT_FALSE(any_simple_fold_in('b', 'a'));
    const std::span<const char32_t> digits_and_upper = simple_folds_in('0', 'Z');
    EXPECT_EQ(
        std::vector<char32_t>(digits_and_upper.begin(), digits_and_upper.end()),
        std::vector<char32_t>(U"ABCDEFGHIJKLMNOPQRSTUVWXYZ", U"ABCDEFGHIJKLMNOPQRSTUVWXYZ" + 26));
    EXPECT_TRUE(simple_folds_in('z', 'a').empty());
}

// simple_folds_in replaces asking every character; both must name the same characters.
TEST(CaseFolding, FoldsInRangeAgreeWithPerCharacterLookups) {
    std::vector<char32_t> expected;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (!simple_fold_equivalents(c).empty()) {
            expected.push_back(c);
        }
    }
    const std::span<const char32_t> all = simple_folds_in(0, 0x10FFFF);
    EXPECT_EQ(std::vector<char32_t>(all.begin(), all.end()), expected);
    for (const auto& [start, end] : std::vector<std::pair<char32_t, char32_t>>{
             {0x100, 0x17F}, {0x1F00, 0x1FFF}, {0x10400, 0x1044F}, {0x212A, 0x212B}}) {
        const std::span<const char32_t> part = simple_folds_in(start, end);
        std::vector<char32_t> wanted;
        std::copy_if(expected.begin(), expected.end(), std::back_inserter(wanted),
                     [&](char32_t c) { return start <= c && c <= end; });
        EXPECT_EQ(std::vector<char32_t>(part.begin(), part.end()), wanted);
    }
}

TEST(CharacterPredicates, IdentifiersNumbersAndSpace) {
    EXPECT_TRUE(is_xid_start('a'));
    EXPECT_FALSE(is_xid_start('_'));
    EXPECT_FALSE(is_xid_start('1'));
    EXPECT_TRUE(is_xid_start(0x2160));
    EXPECT_TRUE(is_xid_continue('_'));
    EXPECT_TRUE(is_xid_continue('1'));
    EXPECT_TRUE(is_xid_continue(0xB7));
    EXPECT_FALSE(is_xid_continue('-'));
    EXPECT_FALSE(is_xid_start(0x2E2F));  // VERTICAL TILDE is ID_Start only in name
    EXPECT_FALSE(is_xid_start(0x10FFFF));
    EXPECT_TRUE(is_alphabetic(0x2160));
    EXPECT_FALSE(is_alphabetic('1'));
    EXPECT_TRUE(is_numeric(0xB2));
    EXPECT_TRUE(is_numeric(0x2160));
    EXPECT_FALSE(is_numeric('a'));
    EXPECT_TRUE(is_white_space(0x3000));
    EXPECT_FALSE(is_white_space(0x200B));
}

// The predicates binary-search the tables; check them at both edges of every range.
TEST(CharacterPredicates, AgreeWithTheirTablesAtEveryRangeEdge) {
    const std::vector<std::pair<RangeSet, bool (*)(char32_t)>> predicates = {
        {tables::kXidStart, is_xid_start},     {tables::kXidContinue, is_xid_continue},
        {tables::kAlphabetic, is_alphabetic},  {tables::kNumeric, is_numeric},
        {tables::kWhiteSpace, is_white_space},
    };
    for (const auto& [set, predicate] : predicates) {
        for (const Range& r : set) {
            ASSERT_TRUE(predicate(r.start) && predicate(r.end))
                << std::hex << static_cast<unsigned>(r.start);
            ASSERT_FALSE(r.start > 0 && predicate(r.start - 1) && !member(set, r.start - 1));
            ASSERT_FALSE(predicate(r.end + 1) && !member(set, r.end + 1));
        }
    }
    EXPECT_EQ(lone("XIDS"), std::vector<Range>(tables::kXidStart.begin(), tables::kXidStart.end()));
    EXPECT_EQ(lone("Nd"), std::vector<Range>(perl_digit().begin(), perl_digit().end()));
}

void expect_well_formed(RangeSet set, std::string_view key) {
    for (std::size_t i = 0; i < set.size(); ++i) {
        ASSERT_LE(set[i].start, set[i].end) << key;
        ASSERT_LE(set[i].end, 0x10FFFFu) << key;
        ASSERT_FALSE(is_surrogate(set[i].start) || is_surrogate(set[i].end)) << key;
        if (i > 0) {
            // Not even touching: U+E000 follows U+D7FF.
            const char32_t after = set[i - 1].end == 0xD7FF ? 0xE000 : set[i - 1].end + 1;
            ASSERT_GT(set[i].start, after) << key;
        }
    }
}

template <typename Entry>
void expect_sorted_loose_keys(std::span<const Entry> table) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(loose_match(table[i].key), table[i].key);
        if (i > 0) {
            EXPECT_LT(table[i - 1].key, table[i].key);
        }
    }
}

// Guards the generator: the lookups binary-search the keys with the C++ matching rule.
TEST(Tables, KeysAreSortedLooseAndSetsWellFormed) {
    expect_sorted_loose_keys(tables::kPropertyNames);
    expect_sorted_loose_keys(tables::kGeneralCategoryValues);
    expect_sorted_loose_keys(tables::kScriptValues);
    expect_sorted_loose_keys(tables::kAgeValues);
    expect_sorted_loose_keys(tables::kGraphemeClusterBreakValues);
    expect_sorted_loose_keys(tables::kWordBreakValues);
    expect_sorted_loose_keys(tables::kSentenceBreakValues);

    std::set<const Range*> binary;
    for (const auto& entry : tables::kPropertyNames) {
        expect_well_formed(entry.set, entry.key);
        if (entry.kind == tables::PropertyKind::Binary) {
            binary.insert(entry.set.data());
        }
    }
    EXPECT_EQ(binary.size(), 60u);
    std::set<const Range*> scripts;
    for (const auto& entry : tables::kScriptValues) {
        expect_well_formed(entry.script, entry.key);
        expect_well_formed(entry.extensions, entry.key);
        if (!entry.script.empty()) {
            scripts.insert(entry.script.data());
        }
    }
    EXPECT_EQ(scripts.size(), 163u);
    for (const auto* table : {&tables::kGeneralCategoryValues, &tables::kGraphemeClusterBreakValues,
                              &tables::kWordBreakValues, &tables::kSentenceBreakValues}) {
        for (const auto& entry : *table) {
            expect_well_formed(entry.set, entry.key);
        }
    }
    for (const RangeSet version : tables::kAgeVersions) {
        expect_well_formed(version, "age");
    }
    expect_well_formed(perl_word(), "perl_word");
}

}  // namespace
}  // namespace quarn::unicode
