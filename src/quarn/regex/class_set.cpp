#include "quarn/regex/class_set.hpp"

#include <algorithm>

#include "quarn/base/utf8.hpp"
#include "quarn/unicode/unicode.hpp"

namespace quarn::regex {

namespace {

std::uint32_t max_value(const Class& cls) {
    return cls.is_bytes ? 0xFF : base::kMaxScalar;
}

std::uint32_t increment(const Class& cls, std::uint32_t v) {
    return cls.is_bytes ? v + 1 : base::next_scalar(v);
}

std::uint32_t decrement(const Class& cls, std::uint32_t v) {
    return cls.is_bytes ? v - 1 : base::previous_scalar(v);
}

}  // namespace

void push_range(Class& cls, std::uint32_t start, std::uint32_t end) {
    cls.ranges.push_back(ClassRange{start, end});
}

void canonicalize(Class& cls) {
    auto& r = cls.ranges;
    std::sort(r.begin(), r.end(), [](const ClassRange& a, const ClassRange& b) {
        return a.start != b.start ? a.start < b.start : a.end < b.end;
    });
    std::size_t out = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        if (out > 0 && r[i].start <= r[out - 1].end + 1) {
            r[out - 1].end = std::max(r[out - 1].end, r[i].end);
        } else {
            r[out++] = r[i];
        }
    }
    r.resize(out);
}

void union_with(Class& cls, const Class& other) {
    cls.ranges.insert(cls.ranges.end(), other.ranges.begin(), other.ranges.end());
    canonicalize(cls);
}

void intersect_with(Class& cls, const Class& other) {
    std::vector<ClassRange> out;
    std::size_t a = 0, b = 0;
    while (a < cls.ranges.size() && b < other.ranges.size()) {
        const ClassRange& x = cls.ranges[a];
        const ClassRange& y = other.ranges[b];
        std::uint32_t lo = std::max(x.start, y.start);
        std::uint32_t hi = std::min(x.end, y.end);
        if (lo <= hi)
            out.push_back(ClassRange{lo, hi});
        if (x.end < y.end) {
            ++a;
        } else {
            ++b;
        }
    }
    cls.ranges = std::move(out);
}

void subtract(Class& cls, const Class& other) {
    std::vector<ClassRange> out;
    std::size_t b = 0;
    for (ClassRange range : cls.ranges) {
        while (b < other.ranges.size() && other.ranges[b].end < range.start)
            ++b;
        bool alive = true;
        for (std::size_t k = b; k < other.ranges.size() && other.ranges[k].start <= range.end;
             ++k) {
            const ClassRange& cut = other.ranges[k];
            if (cut.start > range.start) {
                out.push_back(ClassRange{range.start, decrement(cls, cut.start)});
            }
            if (cut.end >= range.end) {
                alive = false;
                break;
            }
            range.start = increment(cls, cut.end);
        }
        if (alive)
            out.push_back(range);
    }
    cls.ranges = std::move(out);
}

void symmetric_difference_with(Class& cls, const Class& other) {
    Class both = cls;
    intersect_with(both, other);
    union_with(cls, other);
    subtract(cls, both);
}

void negate(Class& cls) {
    std::vector<ClassRange> out;
    std::uint32_t next = 0;  // first value not yet covered
    bool done = false;
    for (const ClassRange& r : cls.ranges) {
        if (r.start > next) {
            std::uint32_t hi = decrement(cls, r.start);
            if (next <= hi)
                out.push_back(ClassRange{next, hi});
        }
        if (r.end >= max_value(cls)) {
            done = true;
            break;
        }
        next = increment(cls, r.end);
    }
    if (!done)
        out.push_back(ClassRange{next, max_value(cls)});
    cls.ranges = std::move(out);
}

void case_fold(Class& cls) {
    std::size_t count = cls.ranges.size();
    if (cls.is_bytes) {
        for (std::size_t i = 0; i < count; ++i) {
            ClassRange r = cls.ranges[i];
            std::uint32_t lo = std::max<std::uint32_t>(r.start, 'a');
            std::uint32_t hi = std::min<std::uint32_t>(r.end, 'z');
            if (lo <= hi)
                push_range(cls, lo - 32, hi - 32);
            lo = std::max<std::uint32_t>(r.start, 'A');
            hi = std::min<std::uint32_t>(r.end, 'Z');
            if (lo <= hi)
                push_range(cls, lo + 32, hi + 32);
        }
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            ClassRange r = cls.ranges[i];
            for (char32_t c : unicode::simple_folds_in(r.start, r.end)) {
                for (char32_t folded : unicode::simple_fold_equivalents(c)) {
                    push_range(cls, folded, folded);
                }
            }
        }
    }
    canonicalize(cls);
}

bool is_ascii(const Class& cls) {
    return cls.ranges.empty() || cls.ranges.back().end <= 0x7F;
}

bool is_empty(const Class& cls) {
    return cls.ranges.empty();
}

}  // namespace quarn::regex
