#include "quarn/batch/scan_text.hpp"

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

#include "quarn/batch/token_writer.hpp"
#include "quarn/runtime/find_matches.hpp"

namespace quarn::batch {

namespace {

template <class Finder>
void write_all(Finder finder, TokenWriter& writer) {
    runtime::Match batch[64];
    while (const std::size_t count = finder.next_matches(batch)) {
        for (std::size_t i = 0; i < count; ++i)
            writer.write(batch[i]);
    }
}

// Documents [first, last) into `out`, each tagged with its index.
void scan_range(const runtime::CompiledScanner& scanner,
                std::span<const runtime::ValidatedUtf8> documents, std::size_t first,
                std::size_t last, const ScanOptions& options, TokenColumns& out) {
    for (std::size_t i = first; i < last; ++i) {
        ScanState state;
        const std::size_t before = out.size();
        scan_text(scanner, documents[i], options, state, out);
        for (std::size_t k = before; k < out.size(); ++k)
            out.documents.push_back(static_cast<std::uint32_t>(i));
    }
}

}  // namespace

void scan_text(const runtime::CompiledScanner& scanner, runtime::ValidatedUtf8 text,
               const ScanOptions& options, ScanState& state, TokenColumns& out) {
    TokenWriter writer(text.view(), options, state, out);
    if (options.positions)
        write_all(scanner.find_matches_with_position(text, state.modes), writer);
    else
        write_all(scanner.find_matches(text, state.modes), writer);
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
    TokenColumns result = std::move(parts[0]);
    for (std::size_t part = 1; part < parts.size(); ++part) {
        result.append(parts[part]);
        parts[part] = TokenColumns();
    }
    result.shrink_to_fit();
    return result;
}

}  // namespace quarn::batch
