#include "quarn/analysis/graph.hpp"

#include <algorithm>
#include <functional>
#include <map>

namespace quarn::analysis {

namespace {

constexpr char32_t kLastScalar = 0x10FFFF;

// Characters in the code space (surrogates are none).
std::uint64_t scalar_count(const std::vector<Interval>& intervals) {
    std::uint64_t count = 0;
    for (const Interval& i : intervals) {
        count += i.last - i.first + 1;
        if (i.first <= 0xD800 && i.last >= 0xDFFF)
            count -= 0x800;
    }
    return count;
}

std::vector<Interval> merged(std::vector<Interval> intervals) {
    std::sort(intervals.begin(), intervals.end(),
              [](const Interval& a, const Interval& b) { return a.first < b.first; });
    std::vector<Interval> out;
    for (const Interval& i : intervals) {
        // Adjacent across the surrogates counts as adjacent.
        if (!out.empty() &&
            (i.first <= out.back().last + 1 || (out.back().last == 0xD7FF && i.first == 0xE000)))
            out.back().last = std::max(out.back().last, i.last);
        else
            out.push_back(i);
    }
    return out;
}

std::vector<Interval> complement(const std::vector<Interval>& intervals) {
    std::vector<Interval> out;
    char32_t next = 0;
    for (const Interval& i : intervals) {
        if (i.first > next)
            out.push_back({next, i.first - 1});
        next = i.last + 1;
    }
    if (next <= kLastScalar)
        out.push_back({next, kLastScalar});
    // The surrogates never occur: drop them from the picture.
    std::vector<Interval> without;
    for (const Interval& i : out) {
        if (i.first >= 0xD800 && i.last <= 0xDFFF)
            continue;
        without.push_back(i);
    }
    return without;
}

std::string character(char32_t c, bool in_class) {
    switch (c) {
        case '\n':
            return "\\n";
        case '\t':
            return "\\t";
        case '\r':
            return "\\r";
        case ' ':
            return in_class ? " " : "' '";
        case '\\':
            return "\\\\";
        default:
            break;
    }
    if (in_class && (c == ']' || c == '-' || c == '^' || c == '['))
        return {'\\', static_cast<char>(c)};
    // Beyond ASCII many characters look alike or like nothing (spaces): show numbers.
    if (c < 0x20 || c >= 0x7F) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        std::string out = "\\u{";
        bool started = false;
        for (int shift = 20; shift >= 0; shift -= 4) {
            const unsigned digit = (c >> shift) & 0xF;
            if (digit != 0 || started || shift == 0) {
                out += kHex[digit];
                started = true;
            }
        }
        return out + "}";
    }
    return std::string(1, static_cast<char>(c));
}

std::string class_body(const std::vector<Interval>& intervals) {
    std::string out;
    for (const Interval& i : intervals) {
        out += character(i.first, true);
        if (i.last == i.first + 1)
            out += character(i.last, true);
        else if (i.last != i.first) {
            out += '-';
            out += character(i.last, true);
        }
    }
    return out;
}

// The text inside a DOT string.
std::string dot_escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

void append_automaton(std::string& out, const Alphabet& alphabet, const Automaton& automaton,
                      const std::string& prefix,
                      const std::function<std::string(const Automaton::State&)>& accept_label) {
    for (StateId s = 0; s < automaton.states.size(); ++s) {
        const Automaton::State& state = automaton.states[s];
        std::string label = std::to_string(s);
        if (!state.accepts.empty()) {
            label += '\n';
            label += accept_label(state);
        }
        out += "  ";
        out += prefix;
        out += std::to_string(s);
        out += " [label=\"";
        out += dot_escaped(label);
        out += state.accepts.empty() ? "\"];\n" : "\" shape=doublecircle];\n";
    }
    for (StateId s = 0; s < automaton.states.size(); ++s) {
        std::map<StateId, std::vector<Interval>> by_target;
        for (const Automaton::Edge& edge : automaton.states[s].edges) {
            const auto& group = alphabet.groups()[edge.group];
            by_target[edge.target].insert(by_target[edge.target].end(), group.begin(), group.end());
        }
        for (auto& [target, intervals] : by_target) {
            out += "  " + prefix + std::to_string(s) + " -> " + prefix + std::to_string(target) +
                   " [label=\"" + dot_escaped(describe_characters(std::move(intervals))) + "\"];\n";
        }
    }
}

}  // namespace

std::string describe_characters(std::vector<Interval> intervals) {
    intervals = merged(std::move(intervals));
    if (intervals.empty())
        return "[]";
    if (intervals.size() == 1 && intervals[0].first == 0 && intervals[0].last == kLastScalar)
        return "any";
    if (intervals.size() == 1 && intervals[0].first == intervals[0].last)
        return character(intervals[0].first, false);
    // A large set reads better as what it leaves out.
    const bool negated = scalar_count(intervals) > 0x10000;
    std::string out(negated ? "[^" : "[");
    out += class_body(negated ? complement(intervals) : intervals);
    out += ']';
    return out;
}

std::string mode_graph(const DefinitionAutomata& automata, const Mode& mode) {
    std::string out = "digraph \"" + dot_escaped(automata.name + " / " + mode.name) + "\" {\n";
    out += "  rankdir=LR;\n  node [shape=circle fontname=\"monospace\" fontsize=10];\n";
    out += "  edge [fontname=\"monospace\" fontsize=10];\n";
    out += "  start [shape=point];\n  start -> s0;\n";
    std::vector<std::string> lookahead_names(mode.lookaheads.size());
    for (const Clause& clause : mode.clauses) {
        if (clause.lookahead)
            lookahead_names[*clause.lookahead] = clause.lookahead_pattern;
    }
    append_automaton(out, automata.alphabet, mode.dfa, "s", [&](const Automaton::State& state) {
        std::string label;
        for (std::uint32_t c : state.accepts) {
            const Clause& clause = mode.clauses[c];
            if (!label.empty())
                label += "\n";
            label += '#';
            label += std::to_string(c + 1);
            label += " => ";
            label += std::to_string(clause.token_type);
            if (clause.lookahead_kind != LookaheadKind::None) {
                label += clause.lookahead_kind == LookaheadKind::Positive ? " if L" : " unless L";
                label += std::to_string(*clause.lookahead);
            }
        }
        return label;
    });
    for (std::size_t l = 0; l < mode.lookaheads.size(); ++l) {
        const std::string number = std::to_string(l);
        std::string title = "L";
        title += number;
        title += ": followed by \"";
        title += lookahead_names[l];
        title += '"';
        out += "  subgraph cluster_l";
        out += number;
        out += " {\n  label=\"";
        out += dot_escaped(title);
        out += "\";\n  style=dashed;\n";
        std::string prefix = "l";
        prefix += number;
        prefix += '_';
        append_automaton(out, automata.alphabet, mode.lookaheads[l], prefix,
                         [](const Automaton::State&) { return std::string("holds"); });
        out += "  }\n";
    }
    return out + "}\n";
}

}  // namespace quarn::analysis
