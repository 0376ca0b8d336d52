#include "quarn/batch/scan_text.hpp"

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

#include "quarn/batch/token_writer.hpp"
#include "quarn/runtime/find_matches.hpp"

namespace quarn::batch {

namespace {

// Documents [first, last) into `out`, each tagged with its index. Filled in
// a local and moved out at the end: the threads' results lie side by side,
// and per-token updates of their sizes would share cache lines.
void scan_range(const runtime::CompiledScanner& scanner,
                std::span<const runtime::ValidatedUtf8> documents, std::size_t first,
                std::size_t last, const ScanOptions& options, TokenColumns& out) {
    std::size_t bytes = 0;
    for (std::size_t i = first; i < last; ++i)
        bytes += documents[i].view().size();
    TokenColumns local;
    local.reserve(expected_tokens(bytes), options.positions);
    local.documents.reserve(expected_tokens(bytes));
    for (std::size_t i = first; i < last; ++i) {
        ScanState state;
        const std::size_t before = local.size();
        scan_text(scanner, documents[i], options, state, local);
        const std::size_t count = local.size() - before;
        std::fill_n(local.documents.spare(count), count, static_cast<std::uint32_t>(i));
        local.documents.commit(count);
    }
    out = std::move(local);
}

}  // namespace

std::size_t expected_tokens(std::size_t bytes) {
    return std::min<std::size_t>(bytes / 4 + 16, std::size_t{1} << 25);
}

void scan_text(const runtime::CompiledScanner& scanner, runtime::ValidatedUtf8 text,
               const ScanOptions& options, ScanState& state, TokenColumns& out) {
    out.reserve(out.size() + expected_tokens(text.view().size()), options.positions);
    with_token_writer(options, text.view(), state, out, [&](auto& writer) {
        runtime::FindMatches finder = scanner.find_matches(text, state.modes);
        runtime::Match batch[64];
        while (const std::size_t count = finder.next_matches(batch)) {
            for (std::size_t i = 0; i < count; ++i)
                writer.write(batch[i]);
        }
    });
}

TokenColumns scan_many(const runtime::CompiledScanner& scanner,
                       std::span<const runtime::ValidatedUtf8> documents,
                       const ScanOptions& options, std::size_t threads) {
    // Contiguous runs of documents of about equal byte size, one per thread,
    // so that the parts join in document order.
    std::size_t total = 0;
    for (const runtime::ValidatedUtf8& document : documents)
        total += document.view().size();
    threads = std::clamp<std::size_t>(threads, 1, std::max<std::size_t>(documents.size(), 1));
    std::vector<std::size_t> bounds{0};
    std::size_t sum = 0;
    for (std::size_t i = 0; i < documents.size() && bounds.size() < threads; ++i) {
        sum += documents[i].view().size();
        if (sum * threads >= total * bounds.size())
            bounds.push_back(i + 1);
    }
    bounds.push_back(documents.size());

    std::vector<TokenColumns> parts(bounds.size() - 1);
    std::vector<std::exception_ptr> failures(parts.size());
    {
        std::vector<std::jthread> workers;
        for (std::size_t part = 1; part < parts.size(); ++part) {
            workers.emplace_back([&, part] {
                try {
                    scan_range(scanner, documents, bounds[part], bounds[part + 1], options,
                               parts[part]);
                } catch (...) {
                    failures[part] = std::current_exception();
                }
            });
        }
        try {
            scan_range(scanner, documents, bounds[0], bounds[1], options, parts[0]);
        } catch (...) {
            failures[0] = std::current_exception();
        }
    }
    for (const std::exception_ptr& failure : failures) {
        if (failure)
            std::rethrow_exception(failure);
    }
    std::size_t tokens = 0;
    for (const TokenColumns& part : parts)
        tokens += part.size();
    TokenColumns result = std::move(parts[0]);
    result.reserve(tokens, options.positions);
    result.documents.reserve(tokens);
    for (std::size_t part = 1; part < parts.size(); ++part) {
        result.append(parts[part]);
        parts[part] = TokenColumns();
    }
    result.shrink_to_fit();
    return result;
}

}  // namespace quarn::batch
