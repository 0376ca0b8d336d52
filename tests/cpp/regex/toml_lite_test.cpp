// The TOML reader on the constructs the matching suites use beyond plain strings.
#include "toml_lite.hpp"

#include <gtest/gtest.h>

namespace {

TEST(TomlLite, ReadsTheSuiteConstructs) {
    const char* text = R"(# comment
[[test]]
name = "a" # trailing comment
regex = '''a\b'c'''
haystack = "x\u00e9\n\"y\\"
matches = [
  [[0, 3], [1, 2], []],  # spans
  { id = 1, span = [4, 5] },
]
bounds = { start = 1, end = 3 }
match-limit = 1_0
anchored = true
unicode = false

[[test]]
name = 'b'
regex = ["x", "y"]
matches = []
)";
    toml_lite::Document doc = toml_lite::Reader(text).read();
    const auto& tests = doc.table_arrays.at("test");
    ASSERT_EQ(tests.size(), 2u);
    const toml_lite::Value& t = tests[0];
    EXPECT_EQ(t.at("regex").string, "a\\b'c");
    EXPECT_EQ(t.at("haystack").string, "x\u00e9\n\"y\\");
    const auto& matches = t.at("matches").array;
    ASSERT_EQ(matches.size(), 2u);
    EXPECT_EQ(matches[0].array[1].array[1].integer, 2);
    EXPECT_TRUE(matches[0].array[2].array.empty());
    EXPECT_EQ(matches[1].at("span").array[0].integer, 4);
    EXPECT_EQ(t.at("bounds").at("end").integer, 3);
    EXPECT_EQ(t.at("match-limit").integer, 10);
    EXPECT_TRUE(t.get_bool("anchored", false));
    EXPECT_FALSE(t.get_bool("unicode", true));
    EXPECT_EQ(tests[1].at("regex").array.size(), 2u);
    EXPECT_EQ(tests[1].at("name").string, "b");
    EXPECT_THROW(toml_lite::Reader("x = [1, 2").read(), std::runtime_error);
    EXPECT_THROW(toml_lite::Reader("x = \"open").read(), std::runtime_error);
}

}  // namespace
