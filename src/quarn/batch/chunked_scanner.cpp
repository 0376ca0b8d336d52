#include "quarn/batch/chunked_scanner.hpp"

#include <utility>

#include "quarn/base/utf8.hpp"
#include "quarn/batch/scan_text.hpp"
#include "quarn/batch/token_writer.hpp"
#include "quarn/runtime/find_matches.hpp"

namespace quarn::batch {

ChunkedScanner::ChunkedScanner(std::shared_ptr<const runtime::CompiledScanner> scanner,
                               const ScanOptions& options, ScanState initial)
    : scanner_(std::move(scanner)), options_(options), state_(std::move(initial)) {}

base::Result<std::size_t, runtime::Utf8Error> ChunkedScanner::feed(std::string_view bytes,
                                                                   TokenColumns& out,
                                                                   std::string* done) {
    buffer_.append(bytes);
    auto valid = validate_new_bytes();
    if (!valid)
        return valid;
    // Rescanning held text costs as much as the text: wait until it has at
    // least doubled, so that a token spanning many pieces costs linear time.
    if (complete_ < 2 * undecided_)
        return std::size_t{0};
    return scan(out, false, done);
}

base::Result<std::size_t, runtime::Utf8Error> ChunkedScanner::finish(TokenColumns& out,
                                                                     std::string* done) {
    if (complete_ != buffer_.size())
        return base::err(runtime::Utf8Error{state_.byte_offset + complete_});
    return scan(out, true, done);
}

base::Result<std::size_t, runtime::Utf8Error> ChunkedScanner::validate_new_bytes() {
    const std::string_view unchecked = std::string_view(buffer_).substr(complete_);
    auto valid = runtime::validate_utf8(unchecked);
    if (valid) {
        complete_ = buffer_.size();
        return std::size_t{0};
    }
    const std::size_t bad = valid.error().valid_up_to;
    base::Utf8Failure failure{};
    // Cut off by the end of what has arrived: wait for the rest.
    if (!base::decode_utf8_char(unchecked.substr(bad), &failure) && !failure.error_len) {
        complete_ += bad;
        return std::size_t{0};
    }
    return base::err(runtime::Utf8Error{state_.byte_offset + complete_ + bad});
}

std::size_t ChunkedScanner::scan(TokenColumns& out, bool at_end, std::string* done) {
    const std::string_view text = std::string_view(buffer_).substr(0, complete_);
    out.reserve(out.size() + expected_tokens(text.size()), options_.positions);
    return with_token_writer(options_, text, state_, out,
                             [&](auto& writer) { return scan_with(writer, text, at_end, done); });
}

template <class Writer>
std::size_t ChunkedScanner::scan_with(Writer& writer, std::string_view text, bool at_end,
                                      std::string* done) {
    runtime::FindMatches finder =
        scanner_->find_matches(runtime::ValidatedUtf8::trusted(text), state_.modes);
    std::size_t decided = 0;  // the text before this is done with
    std::size_t written = 0;
    runtime::Match match;
    for (;;) {
        // Enough to undo the step's mode switch: a push adds one entry to the
        // stack, a pop removes one (the mode it restored).
        const runtime::ModeIndex mode = state_.modes.mode;
        const std::size_t depth = state_.modes.stack.size();
        const bool found = finder.next_match(match);
        if (!at_end && finder.read_end() > text.size()) {
            if (found) {
                if (state_.modes.stack.size() > depth)
                    state_.modes.stack.pop_back();
                else if (state_.modes.stack.size() < depth)
                    state_.modes.stack.push_back(state_.modes.mode);
                state_.modes.mode = mode;
            }
            break;
        }
        if (!found) {
            decided = text.size();
            break;
        }
        writer.write(match);
        ++written;
        decided = match.span.end;
    }
    advance_counters(state_, text.substr(0, decided));
    if (done != nullptr)
        done->append(text.substr(0, decided));
    buffer_.erase(0, decided);
    complete_ -= decided;
    undecided_ = at_end ? 0 : buffer_.size();
    return written;
}

}  // namespace quarn::batch
