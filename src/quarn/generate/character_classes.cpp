// The partition of the code space: a sweep over the boundaries of every label
// gives the elementary intervals, and intervals covered by exactly the same
// labels form one group.
#include "quarn/generate/character_classes.hpp"

#include <algorithm>
#include <unordered_map>

#include "quarn/base/errors.hpp"
#include "quarn/base/fxhash.hpp"
#include "quarn/base/utf8.hpp"

namespace quarn::generate {
namespace {

// The characters a label covers, as ascending ranges of code points.
std::vector<CharInterval> label_cover(const regex::Hir& label) {
    switch (label.kind) {
        case regex::HirKind::Literal: {
            if (auto c = literal_to_char(label.literal))
                return {CharInterval{*c, *c}};
            return {};
        }
        case regex::HirKind::Class:
            return label.cls.ranges;
        default:
            base::unreachable("Only Literal and Class are expected in character classes, found: " +
                              regex::debug_string(label));
    }
}

// The boundary that ends a range of the label: the successor of its last
// character (byte ranges never reach the surrogate block or the top).
std::uint32_t range_end_boundary(const regex::Hir& label, const CharInterval& range) {
    if (label.kind == regex::HirKind::Class && label.cls.is_bytes)
        return range.end + 1;
    return next_scalar(range.end);
}

struct MembershipHash {
    std::size_t operator()(const std::vector<std::uint32_t>& membership) const {
        std::uint64_t h = 0;
        for (auto index : membership)
            h = base::fx_add(h, index);
        return static_cast<std::size_t>(h);
    }
};

}  // namespace

std::optional<char32_t> literal_to_char(std::string_view bytes) {
    // The first prefix that is exactly one character is the encoding of the
    // first character; an invalid first character makes every prefix invalid.
    auto decoded = base::decode_utf8_char(bytes.substr(0, std::min<std::size_t>(bytes.size(), 4)));
    if (!decoded)
        return std::nullopt;
    return decoded->character;
}

std::uint64_t label_hash(const regex::Hir& label) {
    std::uint64_t h = base::fx_hash_u64(static_cast<std::uint64_t>(label.kind));
    switch (label.kind) {
        case regex::HirKind::Literal:
            h = base::fx_add(h, base::fx_hash_bytes(label.literal));
            break;
        case regex::HirKind::Class:
            h = base::fx_add(h, label.cls.is_bytes ? 1 : 0);
            for (const auto& range : label.cls.ranges) {
                h = base::fx_add(h, (std::uint64_t{range.start} << 32) | range.end);
            }
            break;
        default:
            break;
    }
    return h;
}

void CharacterClass::add_disjoint_interval(DisjointCharClassID id) {
    if (std::find(intervals.begin(), intervals.end(), id) == intervals.end()) {
        intervals.push_back(id);
    }
}

bool CharacterClass::contains_interval(CharInterval interval) const {
    const std::uint32_t start = std::min(interval.start, interval.end);
    const std::uint32_t end = std::max(interval.start, interval.end);
    switch (characters.kind) {
        case regex::HirKind::Literal: {
            auto c = literal_to_char(characters.literal);
            return c && start == *c && end == *c;
        }
        case regex::HirKind::Class: {
            if (characters.cls.is_bytes && end > 0xFF)
                return false;
            // Canonical ranges are disjoint and non-adjacent, so a contiguous
            // interval lies in the class exactly when it lies in one range.
            const auto& ranges = characters.cls.ranges;
            auto it = std::upper_bound(
                ranges.begin(), ranges.end(), start,
                [](std::uint32_t value, const CharInterval& r) { return value < r.start; });
            return it != ranges.begin() && std::prev(it)->end >= end;
        }
        case regex::HirKind::Empty:
            return true;
        default:
            return false;
    }
}

std::optional<std::size_t> CharacterClasses::find_class(const regex::Hir& label) const {
    auto bucket = index_.find(label_hash(label));
    if (bucket == index_.end())
        return std::nullopt;
    for (std::size_t position : bucket->second) {
        if (classes_[position].characters == label)
            return position;
    }
    return std::nullopt;
}

void CharacterClasses::add_hir(const regex::Hir& label) {
    if (find_class(label))
        return;
    index_[label_hash(label)].push_back(classes_.size());
    classes_.emplace_back(label);
}

std::vector<DisjointCharClassID> CharacterClasses::get_disjoint_classes(
    const regex::Hir& label) const {
    auto position = find_class(label);
    if (!position)
        return {};
    return classes_[*position].intervals;
}

void CharacterClasses::create_disjoint_character_classes() {
    // Every label range starts and ends at a boundary, so each candidate
    // interval [b(i), prev(b(i+1))] lies wholly inside or wholly outside each
    // label: a label contains the candidate exactly when it covers b(i). One
    // ascending sweep over the boundaries, keeping the set of labels covering
    // the current point, yields every membership without testing each pair.
    struct Event {
        std::uint32_t point;
        bool enters;
        std::uint32_t class_index;
    };
    std::vector<Event> events;
    std::vector<std::uint32_t> boundaries;
    for (std::size_t k = 0; k < classes_.size(); ++k) {
        const regex::Hir& label = classes_[k].characters;
        for (const CharInterval& range : label_cover(label)) {
            const std::uint32_t after = range_end_boundary(label, range);
            boundaries.push_back(range.start);
            boundaries.push_back(after);
            events.push_back({range.start, true, static_cast<std::uint32_t>(k)});
            events.push_back({after, false, static_cast<std::uint32_t>(k)});
        }
    }
    std::sort(boundaries.begin(), boundaries.end());
    boundaries.erase(std::unique(boundaries.begin(), boundaries.end()), boundaries.end());
    std::sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.point != b.point ? a.point < b.point : a.enters < b.enters;
    });

    elementary_intervals_.clear();
    intervals_.clear();
    for (auto& character_class : classes_)
        character_class.intervals.clear();

    // The labels covering the current point, ascending: the membership of the
    // interval that starts there. A label's own ranges never overlap, so a
    // label enters and leaves once per range; at one point, leaving events sort
    // before entering ones so that touching ranges of one label stay covered.
    std::vector<std::uint32_t> active;
    std::unordered_map<std::vector<std::uint32_t>, std::uint32_t, MembershipHash> groups;
    std::size_t next_event = 0;
    for (std::size_t i = 0; i + 1 < boundaries.size(); ++i) {
        const std::uint32_t point = boundaries[i];
        for (; next_event < events.size() && events[next_event].point == point; ++next_event) {
            const Event& event = events[next_event];
            auto position = std::lower_bound(active.begin(), active.end(), event.class_index);
            if (event.enters) {
                active.insert(position, event.class_index);
            } else {
                active.erase(position);
            }
        }
        if (active.empty())
            continue;  // a gap between labels

        const CharInterval interval{point, previous_scalar(boundaries[i + 1])};
        elementary_intervals_.push_back(interval);
        auto entry = groups.find(active);
        if (entry == groups.end()) {
            entry = groups.emplace(active, static_cast<std::uint32_t>(intervals_.size())).first;
            intervals_.emplace_back();
        }
        const std::uint32_t group = entry->second;
        intervals_[group].push_back(interval);
        // Groups are numbered by their lowest interval, so each label meets its
        // groups in ascending order: a group is new to the label exactly when
        // it is above the label's last one.
        for (std::uint32_t k : entry->first) {
            auto& ids = classes_[k].intervals;
            if (ids.empty() || ids.back().value() < group)
                ids.emplace_back(group);
        }
    }
}

}  // namespace quarn::generate
