// A re2c-generated lexer for the JSON workload: the baseline for the scan
// loop's MB/s. Same token types and the same longest-match, skip-one-on-failure
// behaviour as benchmarks/definitions/json.quarn.
#pragma once

#include <cstdint>
#include <string>

namespace quarn::bench {

struct TokenTally {
    std::uint64_t tokens = 0;
    std::uint32_t checksum = 0;  // order-sensitive over (type, start, end)

    void add(std::uint64_t token_type, std::uint64_t start, std::uint64_t end) {
        ++tokens;
        checksum = checksum * 31u + static_cast<std::uint32_t>(token_type * 7u + start * 13u + end);
    }
};

// `text` must end with its terminating NUL (std::string guarantees it) and
// contain no other NUL.
TokenTally re2c_scan_json(const std::string& text);

}  // namespace quarn::bench
