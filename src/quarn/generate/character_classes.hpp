// The shared alphabet of one scanner: the distinct transition labels of all its
// NFAs, the elementary intervals the code space splits into at every label
// boundary, and the groups of intervals that lie in exactly the same labels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "quarn/base/utf8.hpp"
#include "quarn/generate/ids.hpp"
#include "quarn/regex/hir.hpp"

namespace quarn::generate {

// Inclusive range of Unicode scalar values.
using CharInterval = regex::ClassRange;

using base::kMaxScalar;
using base::next_scalar;
using base::previous_scalar;
// One past the last scalar value: the boundary that closes the top interval.
inline constexpr std::uint32_t kEndMarker = base::next_scalar(base::kMaxScalar);

// The character of a one-character literal: the first prefix of 1 to 4 bytes
// that is valid UTF-8 for exactly one character; none for empty or invalid bytes.
std::optional<char32_t> literal_to_char(std::string_view bytes);

// One distinct label: a Literal or Class HIR node.
struct CharacterClass {
    regex::Hir characters;
    std::vector<DisjointCharClassID> intervals;  // ascending, filled by the partition

    explicit CharacterClass(regex::Hir label) : characters(std::move(label)) {}

    void add_disjoint_interval(DisjointCharClassID id);
    // Whether every character of `interval` belongs to this label.
    bool contains_interval(CharInterval interval) const;

    friend bool operator==(const CharacterClass&, const CharacterClass&) = default;
};

class CharacterClasses {
  public:
    // Registers `label` unless an equal label is registered already.
    void add_hir(const regex::Hir& label);

    // Splits the code space into elementary intervals and numbers the interval
    // groups in ascending order of each group's lowest interval. Call once,
    // after every add_hir.
    void create_disjoint_character_classes();

    // The groups of a registered label; empty for an unknown label.
    std::vector<DisjointCharClassID> get_disjoint_classes(const regex::Hir& label) const;

    // Labels in order of first registration.
    const std::vector<CharacterClass>& classes() const { return classes_; }
    // Disjoint, ascending; each lies inside at least one label.
    const std::vector<CharInterval>& elementary_intervals() const { return elementary_intervals_; }
    // Entry k: the elementary intervals of group DisjointCharClassID(k), ascending.
    const std::vector<std::vector<CharInterval>>& intervals() const { return intervals_; }

  private:
    std::optional<std::size_t> find_class(const regex::Hir& label) const;

    std::vector<CharacterClass> classes_;
    std::vector<CharInterval> elementary_intervals_;
    std::vector<std::vector<CharInterval>> intervals_;
    // Hash of a label -> positions in classes_ of the labels with that hash.
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> index_;
};

// Hash of a Literal or Class label, consistent with HIR equality.
std::uint64_t label_hash(const regex::Hir& label);

}  // namespace quarn::generate
