// Renderings of HIR nodes: the structural debug form and the printed pattern.
#include "quarn/regex/hir.hpp"

#include <cstdio>
#include <vector>

#include "quarn/regex/debug_text.hpp"
#include "quarn/regex/meta_character.hpp"
#include "quarn/regex/utf8.hpp"

namespace quarn::regex {

namespace {

void print_char(std::string& out, char32_t c) {
    if (is_meta_character(c))
        out.push_back('\\');
    append_utf8(out, c);
}

void print_class_byte(std::string& out, std::uint32_t b) {
    bool printable = b > 0x20 && b < 0x7F;
    if (printable) {
        print_char(out, b);
    } else {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\x%02X", b);
        out += buf;
    }
}

std::string debug_byte(std::uint32_t b) {
    switch (b) {
        case ' ':
            return "' '";
        case '\t':
            return "\\t";
        case '\r':
            return "\\r";
        case '\n':
            return "\\n";
        case '\'':
            return "\\'";
        case '"':
            return "\\\"";
        case '\\':
            return "\\\\";
        default:
            break;
    }
    if (b > 0x20 && b < 0x7F)
        return std::string(1, static_cast<char>(b));
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", b);
    return buf;
}

const char* printed_look(LookKind kind) {
    switch (kind) {
        case LookKind::Start:
            return "\\A";
        case LookKind::End:
            return "\\z";
        case LookKind::StartLF:
            return "(?m:^)";
        case LookKind::EndLF:
            return "(?m:$)";
        case LookKind::StartCRLF:
            return "(?mR:^)";
        case LookKind::EndCRLF:
            return "(?mR:$)";
        case LookKind::WordAscii:
            return "(?-u:\\b)";
        case LookKind::WordAsciiNegate:
            return "(?-u:\\B)";
        case LookKind::WordUnicode:
            return "\\b";
        case LookKind::WordUnicodeNegate:
            return "\\B";
        case LookKind::WordStartAscii:
            return "(?-u:\\b{start})";
        case LookKind::WordEndAscii:
            return "(?-u:\\b{end})";
        case LookKind::WordStartUnicode:
            return "\\b{start}";
        case LookKind::WordEndUnicode:
            return "\\b{end}";
        case LookKind::WordStartHalfAscii:
            return "(?-u:\\b{start-half})";
        case LookKind::WordEndHalfAscii:
            return "(?-u:\\b{end-half})";
        case LookKind::WordStartHalfUnicode:
            return "\\b{start-half}";
        case LookKind::WordEndHalfUnicode:
            return "\\b{end-half}";
    }
    return "";
}

void debug_into(std::string& out, const Hir& hir) {
    switch (hir.kind) {
        case HirKind::Empty:
            out += "Empty";
            return;
        case HirKind::Literal:
            out += "Literal(";
            out += debug_quote_bytes(hir.literal);
            out += ")";
            return;
        case HirKind::Class: {
            out += "Class({";
            bool first = true;
            for (const ClassRange& r : hir.cls.ranges) {
                if (!first)
                    out += ", ";
                first = false;
                out += hir.cls.is_bytes ? debug_byte(r.start) : debug_quote_char(r.start);
                out += "..=";
                out += hir.cls.is_bytes ? debug_byte(r.end) : debug_quote_char(r.end);
            }
            out += "})";
            return;
        }
        case HirKind::Look:
            out += "Look(";
            out += look_kind_name(hir.look);
            out += ")";
            return;
        case HirKind::Repetition:
            out += "Repetition(Repetition { min: ";
            out += std::to_string(hir.min);
            out += ", max: ";
            if (hir.max) {
                out += "Some(";
                out += std::to_string(*hir.max);
                out += ")";
            } else {
                out += "None";
            }
            out += ", greedy: ";
            out += hir.greedy ? "true" : "false";
            out += ", sub: ";
            debug_into(out, hir.subs[0]);
            out += " })";
            return;
        case HirKind::Capture:
            out += "Capture(Capture { index: ";
            out += std::to_string(hir.capture_index);
            out += ", name: ";
            if (hir.capture_name) {
                out += "Some(";
                out += debug_quote_str(*hir.capture_name);
                out += ")";
            } else {
                out += "None";
            }
            out += ", sub: ";
            debug_into(out, hir.subs[0]);
            out += " })";
            return;
        case HirKind::Concat:
        case HirKind::Alternation: {
            out += hir.kind == HirKind::Concat ? "Concat([" : "Alternation([";
            bool first = true;
            for (const Hir& sub : hir.subs) {
                if (!first)
                    out += ", ";
                first = false;
                debug_into(out, sub);
            }
            out += "])";
            return;
        }
    }
}

void print_into(std::string& out, const Hir& hir) {
    switch (hir.kind) {
        case HirKind::Empty:
            out += "(?:)";
            return;
        case HirKind::Literal: {
            std::vector<char32_t> chars;
            std::vector<std::size_t> offsets;
            decode_utf8(hir.literal, chars, offsets);
            if (chars.size() > 1)
                out += "(?:";
            for (char32_t c : chars)
                print_char(out, c);
            if (chars.size() > 1)
                out += ")";
            return;
        }
        case HirKind::Class: {
            if (hir.cls.ranges.empty()) {
                out += "[a&&b]";
                return;
            }
            out += hir.cls.is_bytes ? "(?-u:[" : "[";
            auto put = [&](std::uint32_t c) {
                if (hir.cls.is_bytes) {
                    print_class_byte(out, c);
                } else {
                    print_char(out, c);
                }
            };
            for (const ClassRange& r : hir.cls.ranges) {
                put(r.start);
                if (r.end == r.start + 1) {
                    put(r.end);
                } else if (r.end != r.start) {
                    out += "-";
                    put(r.end);
                }
            }
            out += hir.cls.is_bytes ? "])" : "]";
            return;
        }
        case HirKind::Look:
            out += printed_look(hir.look);
            return;
        case HirKind::Repetition: {
            print_into(out, hir.subs[0]);
            std::uint32_t min = hir.min;
            if (min == 0 && hir.max == 1u) {
                out += "?";
            } else if (min == 0 && !hir.max) {
                out += "*";
            } else if (min == 1 && !hir.max) {
                out += "+";
            } else if (min == 1 && hir.max == 1u) {
                return;
            } else if (!hir.max) {
                out += "{";
                out += std::to_string(min);
                out += ",}";
            } else if (*hir.max == min) {
                out += "{";
                out += std::to_string(min);
                out += "}";
                return;
            } else {
                out += "{";
                out += std::to_string(min);
                out += ",";
                out += std::to_string(*hir.max);
                out += "}";
            }
            if (!hir.greedy)
                out += "?";
            return;
        }
        case HirKind::Capture:
            out += "(";
            if (hir.capture_name) {
                out += "?P<";
                out += *hir.capture_name;
                out += ">";
            }
            print_into(out, hir.subs[0]);
            out += ")";
            return;
        case HirKind::Concat:
        case HirKind::Alternation: {
            out += "(?:";
            bool first = true;
            for (const Hir& sub : hir.subs) {
                if (!first && hir.kind == HirKind::Alternation)
                    out += "|";
                first = false;
                print_into(out, sub);
            }
            out += ")";
            return;
        }
    }
}

}  // namespace

const char* look_kind_name(LookKind kind) {
    switch (kind) {
        case LookKind::Start:
            return "Start";
        case LookKind::End:
            return "End";
        case LookKind::StartLF:
            return "StartLF";
        case LookKind::EndLF:
            return "EndLF";
        case LookKind::StartCRLF:
            return "StartCRLF";
        case LookKind::EndCRLF:
            return "EndCRLF";
        case LookKind::WordAscii:
            return "WordAscii";
        case LookKind::WordAsciiNegate:
            return "WordAsciiNegate";
        case LookKind::WordUnicode:
            return "WordUnicode";
        case LookKind::WordUnicodeNegate:
            return "WordUnicodeNegate";
        case LookKind::WordStartAscii:
            return "WordStartAscii";
        case LookKind::WordEndAscii:
            return "WordEndAscii";
        case LookKind::WordStartUnicode:
            return "WordStartUnicode";
        case LookKind::WordEndUnicode:
            return "WordEndUnicode";
        case LookKind::WordStartHalfAscii:
            return "WordStartHalfAscii";
        case LookKind::WordEndHalfAscii:
            return "WordEndHalfAscii";
        case LookKind::WordStartHalfUnicode:
            return "WordStartHalfUnicode";
        case LookKind::WordEndHalfUnicode:
            return "WordEndHalfUnicode";
    }
    return "";
}

std::string debug_string(const Hir& hir) {
    std::string out;
    debug_into(out, hir);
    return out;
}

std::string print_regex(const Hir& hir) {
    std::string out;
    print_into(out, hir);
    return out;
}

}  // namespace quarn::regex
