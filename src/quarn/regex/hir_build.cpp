#include "quarn/regex/hir_build.hpp"

#include <utility>

#include "quarn/regex/class_set.hpp"
#include "quarn/regex/utf8.hpp"

namespace quarn::regex {

namespace {

// The single character a literal consists of, if it is exactly one.
std::optional<char32_t> single_char(const Hir& hir) {
    if (hir.kind != HirKind::Literal)
        return std::nullopt;
    std::vector<char32_t> chars;
    std::vector<std::size_t> offsets;
    decode_utf8(hir.literal, chars, offsets);
    if (chars.size() != 1)
        return std::nullopt;
    return chars[0];
}

Hir raw_node(HirKind kind, std::vector<Hir> subs) {
    Hir h;
    h.kind = kind;
    h.subs = std::move(subs);
    return h;
}

// `Concat(prefix, alternation of the remainders)` when every branch is a
// concatenation and all share leading nodes; nothing otherwise.
std::optional<Hir> lift_common_prefix(std::vector<Hir>& branches) {
    if (branches[0].kind != HirKind::Concat)
        return std::nullopt;
    std::size_t common = branches[0].subs.size();
    for (std::size_t i = 1; i < branches.size(); ++i) {
        if (branches[i].kind != HirKind::Concat)
            return std::nullopt;
        const auto& a = branches[0].subs;
        const auto& b = branches[i].subs;
        std::size_t n = 0;
        while (n < common && n < b.size() && a[n] == b[n])
            ++n;
        common = n;
        if (common == 0)
            return std::nullopt;
    }
    std::vector<Hir> prefix(std::make_move_iterator(branches[0].subs.begin()),
                            std::make_move_iterator(branches[0].subs.begin() + common));
    std::vector<Hir> rests;
    rests.reserve(branches.size());
    for (Hir& branch : branches) {
        std::vector<Hir> rest(std::make_move_iterator(branch.subs.begin() + common),
                              std::make_move_iterator(branch.subs.end()));
        rests.push_back(build_concat(std::move(rest)));
    }
    prefix.push_back(build_alternation(std::move(rests)));
    return build_concat(std::move(prefix));
}

}  // namespace

Hir build_literal(std::string bytes) {
    if (bytes.empty())
        return Hir::empty();
    return Hir::make_literal(std::move(bytes));
}

Hir build_class(Class cls) {
    if (cls.ranges.empty())
        return Hir::make_class(Class{true, {}});
    if (cls.ranges.size() == 1 && cls.ranges[0].start == cls.ranges[0].end) {
        std::string bytes;
        if (cls.is_bytes) {
            bytes.push_back(static_cast<char>(cls.ranges[0].start));
        } else {
            append_utf8(bytes, cls.ranges[0].start);
        }
        return Hir::make_literal(std::move(bytes));
    }
    return Hir::make_class(std::move(cls));
}

Hir build_concat(std::vector<Hir> subs) {
    std::vector<Hir> out;
    std::string run;
    bool in_run = false;
    auto flush = [&]() {
        if (in_run)
            out.push_back(Hir::make_literal(std::move(run)));
        run.clear();
        in_run = false;
    };
    auto add = [&](Hir&& sub) {
        if (sub.kind == HirKind::Literal) {
            run += sub.literal;
            in_run = true;
        } else if (sub.kind != HirKind::Empty) {
            flush();
            out.push_back(std::move(sub));
        }
    };
    for (Hir& sub : subs) {
        if (sub.kind == HirKind::Concat) {
            for (Hir& inner : sub.subs)
                add(std::move(inner));
        } else {
            add(std::move(sub));
        }
    }
    flush();
    if (out.empty())
        return Hir::empty();
    if (out.size() == 1)
        return std::move(out[0]);
    return raw_node(HirKind::Concat, std::move(out));
}

Hir build_alternation(std::vector<Hir> subs) {
    std::vector<Hir> branches;
    for (Hir& sub : subs) {
        if (sub.kind == HirKind::Alternation) {
            for (Hir& inner : sub.subs)
                branches.push_back(std::move(inner));
        } else {
            branches.push_back(std::move(sub));
        }
    }
    if (branches.empty())
        return build_class(Class{true, {}});
    if (branches.size() == 1)
        return std::move(branches[0]);

    Class chars{false, {}};
    bool all_chars = true;
    for (const Hir& b : branches) {
        std::optional<char32_t> c = single_char(b);
        if (!c) {
            all_chars = false;
            break;
        }
        push_range(chars, *c, *c);
    }
    if (all_chars) {
        canonicalize(chars);
        return build_class(std::move(chars));
    }

    // Byte classes in UTF-8 mode are ASCII, so every class converts.
    Class merged{false, {}};
    bool all_classes = true;
    for (const Hir& b : branches) {
        if (b.kind != HirKind::Class || (b.cls.is_bytes && !is_ascii(b.cls))) {
            all_classes = false;
            break;
        }
        merged.ranges.insert(merged.ranges.end(), b.cls.ranges.begin(), b.cls.ranges.end());
    }
    if (all_classes) {
        canonicalize(merged);
        return build_class(std::move(merged));
    }

    if (std::optional<Hir> lifted = lift_common_prefix(branches))
        return std::move(*lifted);
    return raw_node(HirKind::Alternation, std::move(branches));
}

bool matches_only_empty(const Hir& hir) {
    switch (hir.kind) {
        case HirKind::Empty:
        case HirKind::Look:
            return true;
        case HirKind::Literal:
        case HirKind::Class:
            return false;
        case HirKind::Repetition:
            return matches_only_empty(hir.subs[0]);
        case HirKind::Capture:
        case HirKind::Concat:
        case HirKind::Alternation:
            for (const Hir& sub : hir.subs) {
                if (!matches_only_empty(sub))
                    return false;
            }
            return true;
    }
    return false;
}

Hir build_repetition(std::uint32_t min, std::optional<std::uint32_t> max, bool greedy, Hir sub) {
    if (matches_only_empty(sub)) {
        min = std::min<std::uint32_t>(min, 1);
        max = max ? std::min<std::uint32_t>(*max, 1) : 1;
    }
    if (min == 0 && max == 0u)
        return Hir::empty();
    if (min == 1 && max == 1u)
        return sub;
    Hir h;
    h.kind = HirKind::Repetition;
    h.min = min;
    h.max = max;
    h.greedy = greedy;
    h.subs.push_back(std::move(sub));
    return h;
}

Hir build_capture(std::uint32_t index, std::optional<std::string> name, Hir sub) {
    Hir h;
    h.kind = HirKind::Capture;
    h.capture_index = index;
    h.capture_name = std::move(name);
    h.subs.push_back(std::move(sub));
    return h;
}

}  // namespace quarn::regex
