// The TOML library on the constructs the conformance suites use beyond plain
// strings, read the way the suites read them.
#include <gtest/gtest.h>

#include <toml++/toml.h>
#include <string>

namespace {

TEST(TomlSuiteFormat, ReadsTheSuiteConstructs) {
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
    const toml::table doc = toml::parse(text);
    const toml::array& tests = *doc["test"].as_array();
    ASSERT_EQ(tests.size(), 2u);
    const toml::table& t = *tests[0].as_table();
    EXPECT_EQ(t["regex"].value_or(std::string()), "a\\b'c");
    EXPECT_EQ(t["haystack"].value_or(std::string()), "x\u00e9\n\"y\\");
    const toml::array& matches = *t["matches"].as_array();
    ASSERT_EQ(matches.size(), 2u);
    EXPECT_EQ(matches[0].as_array()->at(1).as_array()->at(1).value_or(0), 2);
    EXPECT_TRUE(matches[0].as_array()->at(2).as_array()->empty());
    EXPECT_EQ((*matches[1].as_table())["span"][0].value_or(0), 4);
    EXPECT_EQ(t["bounds"]["end"].value_or(0), 3);
    EXPECT_EQ(t["match-limit"].value_or(0), 10);
    EXPECT_TRUE(t["anchored"].value_or(false));
    EXPECT_FALSE(t["unicode"].value_or(true));
    EXPECT_TRUE(t["regex"].is_string());
    EXPECT_TRUE((*tests[1].as_table())["regex"].is_array());
    EXPECT_EQ((*tests[1].as_table())["name"].value_or(std::string()), "b");
    EXPECT_THROW(toml::parse("x = [1, 2"), toml::parse_error);
    EXPECT_THROW(toml::parse("x = \"open"), toml::parse_error);
}

}  // namespace
