// Typed identifiers of the automaton generator: a state number of one
// automaton can never be passed where another kind of number is expected.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "quarn/base/errors.hpp"
#include "quarn/base/fxhash.hpp"

namespace quarn::generate {

// One identifier kind. `Tag::name` is the type name shown by the debug form;
// tags without a name have no text form.
template <class Tag>
class Id {
  public:
    using Rep = std::uint32_t;

    constexpr Id() = default;
    constexpr explicit Id(Rep value) : value_(value) {}

    constexpr Rep value() const { return value_; }
    constexpr std::size_t as_usize() const { return value_; }

    // Plain 32-bit wrapping addition, used to renumber appended NFA states.
    constexpr Id& operator+=(Rep amount) requires Tag::kAddable {
        value_ += amount;
        return *this;
    }

    friend constexpr auto operator<=>(const Id&, const Id&) = default;

  private:
    Rep value_ = 0;
};

struct NfaStateTag {
    static constexpr const char* name = "NfaStateID";
    static constexpr bool kAddable = true;
};
struct DfaStateTag {
    static constexpr const char* name = "DfaStateID";
    static constexpr bool kAddable = false;
};
struct TokenTypeTag {
    static constexpr const char* name = "TokenTypeID";
    static constexpr bool kAddable = false;
};
struct LookaheadTag {
    static constexpr const char* name = "LookaheadID";
    static constexpr bool kAddable = false;
};
struct DisjointCharClassTag {
    static constexpr const char* name = "DisjointCharClassID";
    static constexpr bool kAddable = false;
};
// 32 bits wide so that the minimizer is not limited to 65,536 groups.
struct StateGroupTag {
    static constexpr bool kAddable = false;
};

using NfaStateID = Id<NfaStateTag>;
using DfaStateID = Id<DfaStateTag>;
using TokenTypeID = Id<TokenTypeTag>;
using LookaheadID = Id<LookaheadTag>;
using DisjointCharClassID = Id<DisjointCharClassTag>;
using StateGroupID = Id<StateGroupTag>;

template <class Tag>
concept NamedTag = requires {
    Tag::name;
};

// The decimal number alone: "7".
inline std::string display_string(NfaStateID id) {
    return std::to_string(id.value());
}

// "NfaStateID(7)".
template <class Tag>
requires NamedTag<Tag> std::string debug_string(Id<Tag> id) {
    return std::string(Tag::name) + "(" + std::to_string(id.value()) + ")";
}

// The multi-line form: "NfaStateID(\n    7,\n)".
template <class Tag>
requires NamedTag<Tag> std::string alternate_debug_string(Id<Tag> id) {
    return std::string(Tag::name) + "(\n    " + std::to_string(id.value()) + ",\n)";
}

template <class Tag>
requires NamedTag<Tag> std::ostream& operator<<(std::ostream& out, Id<Tag> id) {
    return out << debug_string(id);
}

// Typed indexing: element `id.as_usize()` of a list (vector, span, ...). An id
// outside the list is an internal error with the out-of-range message.
template <class List, class Tag>
decltype(auto) at(List& list, Id<Tag> id) {
    base::check_index(id.as_usize(), list.size());
    return list[id.as_usize()];
}

// FxHash of the number alone, for hash tables keyed by identifiers.
struct IdHash {
    template <class Tag>
    std::size_t operator()(Id<Tag> id) const {
        return static_cast<std::size_t>(base::fx_hash_u64(id.value()));
    }
};

}  // namespace quarn::generate

// Standard hash tables keyed by identifiers use FxHash as well.
template <class Tag>
struct std::hash<quarn::generate::Id<Tag>> : quarn::generate::IdHash {};
