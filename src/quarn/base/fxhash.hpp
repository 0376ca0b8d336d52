// FxHash: a fast, unkeyed, deterministic hash for tables keyed by identifiers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quarn::base {

inline constexpr std::uint64_t kFxSeed = 0x51'7c'c1'b7'27'22'0a'95ULL;

constexpr std::uint64_t fx_add(std::uint64_t hash, std::uint64_t word) {
    return (((hash << 5) | (hash >> 59)) ^ word) * kFxSeed;
}

constexpr std::uint64_t fx_hash_u64(std::uint64_t value) {
    return fx_add(0, value);
}

inline std::uint64_t fx_hash_bytes(std::string_view bytes) {
    std::uint64_t h = 0;
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t w = 0;
        for (int k = 7; k >= 0; --k)
            w = (w << 8) | static_cast<unsigned char>(bytes[i + k]);
        h = fx_add(h, w);
    }
    for (; i < bytes.size(); ++i)
        h = fx_add(h, static_cast<unsigned char>(bytes[i]));
    return h;
}

// Hasher object for std::unordered_map/set over integral keys.
struct FxHash {
    template <class T>
    std::size_t operator()(const T& value) const {
        return static_cast<std::size_t>(fx_hash_u64(static_cast<std::uint64_t>(value)));
    }
};

}  // namespace quarn::base
