// Random scanners built from definitions, and random texts over the
// characters their patterns mention (one to four UTF-8 bytes each).
#pragma once

#include <initializer_list>
#include <random>
#include <string>
#include <string_view>

#include "quarn/pipeline/build_scanner.hpp"

namespace quarn::batch::testing {

inline std::string random_definition(std::mt19937& rng) {
    // Patterns and lookaheads reading one character, a bounded run, or up to
    // the end of the text.
    static const char* const patterns[] = {"a",  "a+",   "ab*",    "[ab]+",   "é",
                                           "😀+", "\\n",  " +",     "a(b|é)*", "[^a]",
                                           ".",  "b{2}", "[a ]*b", "(?s).*😀", "é\\n?"};
    static const char* const lookaheads[] = {"a", "b+a", "é", "(?s).*😀", " ", "\\n"};
    std::string text = "S {";
    // Appending piece by piece: chains of `+` on temporaries trip a false
    // -Wrestrict in GCC 12.
    const auto add = [&text](std::initializer_list<std::string_view> pieces) {
        for (std::string_view piece : pieces)
            text.append(piece);
    };
    const int modes = 1 + static_cast<int>(rng() % 3);
    for (int m = 0; m < modes; ++m) {
        add({" mode M", std::to_string(m), " {"});
        const int clauses = 1 + static_cast<int>(rng() % 5);
        for (int c = 0; c < clauses; ++c) {
            add({" token r#\"", patterns[rng() % std::size(patterns)], "\"#"});
            switch (rng() % 4) {
                case 0:
                    add({" followed by r#\"", lookaheads[rng() % std::size(lookaheads)], "\"#"});
                    break;
                case 1:
                    add({" not followed by r#\"", lookaheads[rng() % std::size(lookaheads)],
                         "\"#"});
                    break;
                default:
                    break;
            }
            add({" => ", std::to_string(rng() % 4), ";"});
        }
        for (int type = 0; type < 4; ++type) {
            const std::string target = std::string("M").append(std::to_string(rng() % modes));
            const std::string on = std::string(" on ").append(std::to_string(type));
            switch (rng() % 5) {
                case 0:
                    add({on, " enter ", target, ";"});
                    break;
                case 1:
                    add({on, " push ", target, ";"});
                    break;
                case 2:
                    add({on, " pop;"});
                    break;
                default:
                    break;
            }
        }
        text += " }";
    }
    return text + " }";
}

inline pipeline::Scanner random_scanner(std::mt19937& rng) {
    for (;;) {
        auto built = pipeline::build_scanner(random_definition(rng));
        if (built)
            return std::move(built).value();
    }
}

inline std::string random_text(std::mt19937& rng, std::size_t max_pieces) {
    static const char* const pieces[] = {"a", "b", " ", "\n", "é", "😀", "x", "\r"};
    std::string text;
    const std::size_t length = rng() % (max_pieces + 1);
    for (std::size_t i = 0; i < length; ++i)
        text += pieces[rng() % std::size(pieces)];
    return text;
}

}  // namespace quarn::batch::testing
