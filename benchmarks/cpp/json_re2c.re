// Input of re2c (byte mode: the input is valid UTF-8, so a byte class that
// admits every byte >= 0x80 inside strings finds the same token boundaries).
#include "json_re2c.hpp"

namespace quarn::bench {

TokenTally re2c_scan_json(const std::string& text) {
    TokenTally tally;
    const unsigned char* const begin = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* const limit = begin + text.size();
    const unsigned char* cursor = begin;
    const unsigned char* marker = begin;
    for (;;) {
        const unsigned char* const start = cursor;
        const auto emit = [&](std::uint64_t type) {
            tally.add(type, static_cast<std::uint64_t>(start - begin),
                      static_cast<std::uint64_t>(cursor - begin));
        };
        /*!re2c
            re2c:define:YYCTYPE = "unsigned char";
            re2c:define:YYCURSOR = cursor;
            re2c:define:YYMARKER = marker;
            re2c:define:YYLIMIT = limit;
            re2c:yyfill:enable = 0;
            re2c:eof = 0;

            string = ["] ([^"\\\x00-\x1F] | [\\] ["\\/bfnrt] | [\\] "u" [0-9a-fA-F]{4})* ["];
            number = "-"? ("0" | [1-9][0-9]*) ("." [0-9]+)? ([eE] [+-]? [0-9]+)?;

            "{"     { emit(1); continue; }
            "}"     { emit(2); continue; }
            "["     { emit(3); continue; }
            "]"     { emit(4); continue; }
            ":"     { emit(5); continue; }
            ","     { emit(6); continue; }
            string  { emit(7); continue; }
            number  { emit(8); continue; }
            "true"  { emit(9); continue; }
            "false" { emit(10); continue; }
            "null"  { emit(11); continue; }
            *       { continue; }
            $       { return tally; }
        */
    }
}

}  // namespace quarn::bench
