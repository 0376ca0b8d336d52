// A definition that exercises every clause: identifiers, whitespace, numbers
// followed by a dot, a minus not followed by '>', and strings read in a mode of
// their own entered by push and left by pop.
#pragma once

namespace quarn::test_support {

inline constexpr const char* kWorkedExample = R"(
Example {
    mode INITIAL {
        token "[a-zA-Z_][a-zA-Z0-9_]*" => 1;
        token "\\s+" => 2;
        token r"\d+" followed by r"\." => 3;
        token "-" not followed by ">" => 4;
        token "\"" => 5;
        on 5 push STRING;
    }
    mode STRING {
        token r#"[^"\\]+"# => 6;
        token "\"" => 5;
        on 5 pop;
    }
}
)";

}  // namespace quarn::test_support
