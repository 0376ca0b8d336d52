#include "quarn/batch/string_array.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "quarn/batch/scan_text.hpp"
#include "quarn/runtime/utf8.hpp"

namespace quarn::batch {

template <class Offset>
base::Result<TokenColumns, StringArrayError> scan_string_array(
    const runtime::CompiledScanner& scanner, const StringArray<Offset>& array,
    const ScanOptions& options, std::size_t threads) {
    const std::size_t n = array.size();
    if (n > UINT32_MAX)
        return base::err(StringArrayError{StringArrayError::Kind::Layout, 0, 0,
                                          "more documents than one scan can index"});
    std::vector<runtime::ValidatedUtf8> documents;
    documents.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Offset start = array.offsets[i];
        const Offset end = array.offsets[i + 1];
        if (start < 0 || end < start || static_cast<std::uint64_t>(end) > array.data.size()) {
            return base::err(StringArrayError{StringArrayError::Kind::Layout, i, 0,
                                              "string offsets out of order or out of range"});
        }
        if (!array.present(i)) {
            documents.push_back(runtime::ValidatedUtf8::trusted({}));
            continue;
        }
        const std::string_view text = array.data.substr(static_cast<std::size_t>(start),
                                                        static_cast<std::size_t>(end - start));
        auto valid = runtime::validate_utf8(text);
        if (!valid)
            return base::err(StringArrayError{StringArrayError::Kind::InvalidUtf8, i,
                                              valid.error().valid_up_to, valid.error().message()});
        documents.push_back(*valid);
    }
    return scan_many(scanner, documents, options, threads);
}

template <class Offset>
void token_list_offsets(const Column<std::uint32_t>& documents, std::span<Offset> out) {
    // Runs are contiguous and ascending: each bound is a count of earlier tokens.
    std::size_t token = 0;
    for (std::size_t document = 0; document < out.size(); ++document) {
        while (token < documents.size() && documents[token] < document)
            ++token;
        out[document] = static_cast<Offset>(token);
    }
}

template <class Offset>
void copy_validity(const StringArray<Offset>& array, std::span<std::uint8_t> out) {
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    for (std::size_t i = 0; i < array.size(); ++i) {
        if (array.present(i))
            out[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    }
}

std::size_t token_text_bytes(const TokenColumns& tokens) {
    std::size_t total = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i)
        total += static_cast<std::size_t>(tokens.ends[i] - tokens.starts[i]);
    return total;
}

template <class Offset>
void gather_token_texts(const TokenColumns& tokens, const StringArray<Offset>& array,
                        std::span<std::int64_t> offsets, std::span<char> data) {
    std::size_t at = 0;
    offsets[0] = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const auto document = static_cast<std::size_t>(array.offsets[tokens.documents[i]]);
        const auto length = static_cast<std::size_t>(tokens.ends[i] - tokens.starts[i]);
        std::memcpy(data.data() + at,
                    array.data.data() + document + static_cast<std::size_t>(tokens.starts[i]),
                    length);
        at += length;
        offsets[i + 1] = static_cast<std::int64_t>(at);
    }
}

template base::Result<TokenColumns, StringArrayError> scan_string_array(
    const runtime::CompiledScanner&, const StringArray<std::int32_t>&, const ScanOptions&,
    std::size_t);
template base::Result<TokenColumns, StringArrayError> scan_string_array(
    const runtime::CompiledScanner&, const StringArray<std::int64_t>&, const ScanOptions&,
    std::size_t);
template void token_list_offsets(const Column<std::uint32_t>&, std::span<std::int32_t>);
template void token_list_offsets(const Column<std::uint32_t>&, std::span<std::int64_t>);
template void copy_validity(const StringArray<std::int32_t>&, std::span<std::uint8_t>);
template void copy_validity(const StringArray<std::int64_t>&, std::span<std::uint8_t>);
template void gather_token_texts(const TokenColumns&, const StringArray<std::int32_t>&,
                                 std::span<std::int64_t>, std::span<char>);
template void gather_token_texts(const TokenColumns&, const StringArray<std::int64_t>&,
                                 std::span<std::int64_t>, std::span<char>);

}  // namespace quarn::batch
