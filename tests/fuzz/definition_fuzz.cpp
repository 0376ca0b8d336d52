// Any byte string given as a definition parses or fails with a message; the
// parsed data resolves its modes or fails with the construction error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "quarn/base/errors.hpp"
#include "quarn/definition/parser.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto parsed = quarn::definition::parse_scanner_data(text);
    if (!parsed) {
        if (parsed.error().empty())
            std::abort();
        return 0;
    }
    if (parsed->modes.empty())
        std::abort();
    try {
        const auto modes = parsed->build_scanner_modes();
        if (modes.size() != parsed->modes.size())
            std::abort();
    } catch (const quarn::base::InternalError&) {
        // An unknown target mode.
    }
    return 0;
}
