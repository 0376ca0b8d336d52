// Any byte string goes through the regex front end: it must come back as HIR
// or as an error, never crash, hang or overflow. An accepted pattern's printed
// form must parse again (its extra `(?:...)` may pass the nest limit, nothing
// else), and both renderings must work on every result.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "quarn/regex/parse.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view pattern(reinterpret_cast<const char*>(data), size);
    auto result = quarn::regex::parse(pattern);
    if (!result.ok()) {
        const quarn::regex::Error& error = result.error();
        if (error.display().empty() || error.debug().empty() || error.message().empty()) {
            std::abort();
        }
        return 0;
    }
    std::string printed = quarn::regex::print_regex(result.value());
    (void)quarn::regex::debug_string(result.value());
    auto again = quarn::regex::parse(printed);
    if (!again.ok())
        std::abort();
    return 0;
}
