// Any byte string as a token pattern: the NFA is built or refused with an
// error value, never a crash. A built NFA keeps its invariants (state k at
// position k, every target a state, the size predicted before building), and
// the interval groups of its labels partition exactly the labels' characters.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "quarn/generate/character_classes.hpp"
#include "quarn/generate/nfa.hpp"
#include "quarn/regex/parse.hpp"

namespace {

using quarn::generate::CharInterval;

void check(bool condition) {
    if (!condition)
        std::abort();
}

// Sorted, with touching ranges merged (U+D7FF touches U+E000): one form for
// equal sets of scalar values.
std::vector<CharInterval> normalized(std::vector<CharInterval> ranges) {
    std::sort(ranges.begin(), ranges.end(),
              [](const CharInterval& a, const CharInterval& b) { return a.start < b.start; });
    std::vector<CharInterval> merged;
    for (const auto& range : ranges) {
        if (!merged.empty() && range.start <= quarn::generate::next_boundary(merged.back().end)) {
            merged.back().end = std::max(merged.back().end, range.end);
        } else {
            merged.push_back(range);
        }
    }
    return merged;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quarn::generate;
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto hir = quarn::regex::parse(text);
    // Keep single inputs small; the limit itself is exercised by the unit tests.
    if (!hir || nfa_state_count(hir.value()) > 20'000)
        return 0;

    auto built = Nfa::build(Pattern(text, TokenTypeID(0)));
    if (!built) {
        check(!built.error().display().empty() && !built.error().debug().empty());
        return 0;
    }
    Nfa& nfa = built.value();
    const std::size_t count = nfa.states.size();
    check(count == nfa_state_count(hir.value()));
    check(nfa.start_state.as_usize() < count && nfa.end_state.as_usize() < count);
    for (std::size_t k = 0; k < count; ++k) {
        check(nfa.states[k].id.as_usize() == k);
        for (const auto& transition : nfa.states[k].transitions) {
            check(transition.target.as_usize() < count);
        }
    }

    CharacterClasses classes;
    nfa.collect_character_classes(classes);
    classes.create_disjoint_character_classes();
    std::vector<CharInterval> all_groups;
    for (const auto& group : classes.intervals()) {
        all_groups.insert(all_groups.end(), group.begin(), group.end());
    }
    check(normalized(all_groups) == normalized(classes.elementary_intervals()));
    for (const auto& character_class : classes.classes()) {
        std::vector<CharInterval> covered;
        for (auto id : character_class.intervals) {
            const auto& group = classes.intervals().at(id.as_usize());
            covered.insert(covered.end(), group.begin(), group.end());
        }
        const auto& label = character_class.characters;
        std::vector<CharInterval> expected;
        if (label.kind == quarn::regex::HirKind::Literal) {
            expected.push_back({*literal_to_char(label.literal), *literal_to_char(label.literal)});
        } else {
            expected = label.cls.ranges;
        }
        check(normalized(covered) == normalized(expected));
    }
    nfa.convert_to_disjoint_character_classes(classes);
    return 0;
}
