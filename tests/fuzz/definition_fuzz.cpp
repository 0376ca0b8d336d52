// Any byte string given as a definition parses or fails with a message; the
// parsed data resolves its modes or fails with the construction error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "quarn/definition/parser.hpp"
#include "quarn/pipeline/mode_transitions.hpp"

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
    auto transitions = quarn::pipeline::resolve_transitions(parsed.value());
    if (transitions ? transitions->size() != parsed->modes.size()
                    : transitions.error().message.empty())
        std::abort();
    return 0;
}
