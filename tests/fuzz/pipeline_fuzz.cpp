// A whole construction and scan: the bytes before the first NUL are a definition,
// the rest is text to scan. Construction either succeeds or reports an error
// value with a message, never throws; a scan never fails, and its tokens are
// non-empty, ordered spans inside the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "quarn/pipeline/build_scanner.hpp"
#include "quarn/runtime/find_matches.hpp"
#include "quarn/runtime/utf8.hpp"

namespace {

template <class Matches>
void check_scan(Matches matches, std::size_t text_size) {
    quarn::runtime::Match match;
    std::size_t previous_end = 0;
    while (matches.next_match(match)) {
        if (match.span.start >= match.span.end || match.span.start < previous_end ||
            match.span.end > text_size) {
            std::abort();
        }
        previous_end = match.span.end;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view definition = input.substr(0, split);
    const std::string_view text =
        split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
    auto valid = quarn::runtime::validate_utf8(text);
    if (!valid)
        return 0;
    // Any exception is a violated invariant and ends the run as a crash.
    auto built = quarn::pipeline::build_scanner(definition);
    if (!built) {
        const quarn::pipeline::BuildError& error = built.error();
        const bool prefixed = error.message.starts_with(quarn::pipeline::kDefinitionErrorPrefix);
        if (error.message.empty() ||
            prefixed != (error.kind == quarn::pipeline::BuildError::Kind::Definition))
            std::abort();
        return 0;
    }
    const quarn::pipeline::Scanner& scanner = built.value();
    quarn::runtime::ModeState plain;
    quarn::runtime::ModeState positioned;
    check_scan(scanner->find_matches(valid.value(), plain), text.size());
    check_scan(scanner->find_matches_with_position(valid.value(), positioned), text.size());
    return 0;
}
