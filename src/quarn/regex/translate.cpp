// Syntax tree -> HIR. Flags are resolved here: they live in `flags_` while
// the tree is walked left to right, a directive changes them up to the end of
// its group, and closing a group restores them. The walk recurses, which is
// safe because the nest limit has bounded the depth of the tree.
#include "quarn/base/errors.hpp"
#include "quarn/regex/ast.hpp"
#include "quarn/regex/class_set.hpp"
#include "quarn/regex/hir_build.hpp"
#include "quarn/regex/utf8.hpp"
#include "quarn/unicode/unicode.hpp"

namespace quarn::regex {

namespace {

Class ascii_class(AsciiKind kind, bool is_bytes) {
    Class cls{is_bytes, {}};
    auto add = [&](std::uint32_t a, std::uint32_t b) { push_range(cls, a, b); };
    switch (kind) {
        case AsciiKind::Alnum:
            add('0', '9');
            add('A', 'Z');
            add('a', 'z');
            break;
        case AsciiKind::Alpha:
            add('A', 'Z');
            add('a', 'z');
            break;
        case AsciiKind::Ascii:
            add(0x00, 0x7F);
            break;
        case AsciiKind::Blank:
            add('\t', '\t');
            add(' ', ' ');
            break;
        case AsciiKind::Cntrl:
            add(0x00, 0x1F);
            add(0x7F, 0x7F);
            break;
        case AsciiKind::Digit:
            add('0', '9');
            break;
        case AsciiKind::Graph:
            add('!', '~');
            break;
        case AsciiKind::Lower:
            add('a', 'z');
            break;
        case AsciiKind::Print:
            add(' ', '~');
            break;
        case AsciiKind::Punct:
            add('!', '/');
            add(':', '@');
            add('[', '`');
            add('{', '~');
            break;
        case AsciiKind::Space:
            add('\t', '\r');
            add(' ', ' ');
            break;
        case AsciiKind::Upper:
            add('A', 'Z');
            break;
        case AsciiKind::Word:
            add('0', '9');
            add('A', 'Z');
            add('_', '_');
            add('a', 'z');
            break;
        case AsciiKind::Xdigit:
            add('0', '9');
            add('A', 'F');
            add('a', 'f');
            break;
    }
    return cls;
}

Class from_ranges(unicode::RangeSet ranges) {
    Class cls{false, {}};
    cls.ranges.reserve(ranges.size());
    for (const unicode::Range& r : ranges)
        push_range(cls, r.start, r.end);
    return cls;
}

struct Flags {
    bool case_insensitive = false;
    bool multi_line = false;
    bool dot_matches_new_line = false;
    bool swap_greed = false;
    bool unicode = true;
    bool crlf = false;

    void apply(FlagChanges changes) {
        auto set = [&](std::uint8_t bit, bool& field) {
            if (changes.enable & bit)
                field = true;
            if (changes.disable & bit)
                field = false;
        };
        set(kCaseInsensitive, case_insensitive);
        set(kMultiLine, multi_line);
        set(kDotMatchesNewLine, dot_matches_new_line);
        set(kSwapGreed, swap_greed);
        set(kUnicode, unicode);
        set(kCrlf, crlf);
    }
};

class Translator {
  public:
    Translator(const Ast& ast, std::string_view pattern) : ast_(ast), pattern_(pattern) {}

    Hir translate(AstId id) {
        const AstNode& node = ast_[id];
        switch (node.kind) {
            case AstKind::Empty:
                return Hir::empty();
            case AstKind::Flags:
                flags_.apply(node.flags);
                return Hir::empty();
            case AstKind::Literal:
                return literal(node);
            case AstKind::Dot:
                return dot(node);
            case AstKind::Assertion:
                return Hir::make_look(look_kind(node.assertion));
            case AstKind::UnicodeClass:
                return build_class(unicode_class(node));
            case AstKind::PerlClass:
                return build_class(perl_class(node));
            case AstKind::Bracketed:
                return build_class(bracketed(node));
            case AstKind::Repetition: {
                Hir sub = translate(node.children[0]);
                bool greedy = node.greedy != flags_.swap_greed;
                return build_repetition(node.min, node.max, greedy, std::move(sub));
            }
            case AstKind::Group:
                return group(node);
            case AstKind::Concat:
                return concat(node);
            case AstKind::Alternation: {
                std::vector<Hir> subs;
                subs.reserve(node.children.size());
                for (AstId child : node.children)
                    subs.push_back(translate(child));
                return build_alternation(std::move(subs));
            }
            case AstKind::SetRange:
            case AstKind::SetAscii:
            case AstKind::SetUnion:
            case AstKind::SetBinaryOp:
                break;
        }
        base::unreachable("class set item outside brackets");
    }

  private:
    [[noreturn]] void fail(ErrorKind kind, Span span) {
        throw ParseFailure{make_error(kind, pattern_, span)};
    }

    // Plain characters are appended to one run instead of becoming a node
    // each: a long literal pattern costs bytes, not nodes.
    Hir concat(const AstNode& node) {
        std::vector<Hir> subs;
        std::string run;
        for (AstId child : node.children) {
            const AstNode& item = ast_[child];
            if (item.kind == AstKind::Literal && !flags_.case_insensitive) {
                append_utf8(run, literal_scalar(item));
                continue;
            }
            if (!run.empty())
                subs.push_back(Hir::make_literal(std::move(run)));
            run.clear();
            subs.push_back(translate(child));
        }
        if (!run.empty())
            subs.push_back(Hir::make_literal(std::move(run)));
        return build_concat(std::move(subs));
    }

    Hir group(const AstNode& node) {
        Flags saved = flags_;
        flags_.apply(node.flags);
        Hir body = translate(node.children[0]);
        flags_ = saved;
        if (node.capture_index == 0)
            return body;
        std::optional<std::string> name;
        if (node.has_name)
            name = ast_.texts[node.name];
        return build_capture(node.capture_index, std::move(name), std::move(body));
    }

    // A literal as the byte it denotes with Unicode mode off: only `\xHH`
    // escapes above 0x7F are bytes, and UTF-8 mode refuses those.
    char32_t literal_scalar(const AstNode& node) {
        if (!flags_.unicode && node.literal_kind == LiteralKind::HexByte && node.ch > 0x7F) {
            fail(ErrorKind::InvalidUtf8, node.span);
        }
        return node.ch;
    }

    Hir literal(const AstNode& node) {
        char32_t c = literal_scalar(node);
        if (flags_.case_insensitive) {
            if (flags_.unicode) {
                if (!unicode::simple_fold_equivalents(c).empty()) {
                    Class cls{false, {{c, c}}};
                    case_fold(cls);
                    return build_class(std::move(cls));
                }
            } else if (c <= 0x7F) {
                Class cls{true, {{c, c}}};
                case_fold(cls);
                return build_class(std::move(cls));
            }
        }
        std::string bytes;
        append_utf8(bytes, c);
        return Hir::make_literal(std::move(bytes));
    }

    Hir dot(const AstNode& node) {
        if (!flags_.unicode)
            fail(ErrorKind::InvalidUtf8, node.span);
        Class cls{false, {}};
        if (flags_.dot_matches_new_line) {
            push_range(cls, 0, 0x10FFFF);
        } else if (flags_.crlf) {
            push_range(cls, 0, 0x09);
            push_range(cls, 0x0B, 0x0C);
            push_range(cls, 0x0E, 0x10FFFF);
        } else {
            push_range(cls, 0, 0x09);
            push_range(cls, 0x0B, 0x10FFFF);
        }
        return build_class(std::move(cls));
    }

    LookKind look_kind(AssertionKind kind) const {
        bool u = flags_.unicode;
        switch (kind) {
            case AssertionKind::StartLine:
                return !flags_.multi_line ? LookKind::Start
                       : flags_.crlf      ? LookKind::StartCRLF
                                          : LookKind::StartLF;
            case AssertionKind::EndLine:
                return !flags_.multi_line ? LookKind::End
                       : flags_.crlf      ? LookKind::EndCRLF
                                          : LookKind::EndLF;
            case AssertionKind::StartText:
                return LookKind::Start;
            case AssertionKind::EndText:
                return LookKind::End;
            case AssertionKind::WordBoundary:
                return u ? LookKind::WordUnicode : LookKind::WordAscii;
            case AssertionKind::NotWordBoundary:
                return u ? LookKind::WordUnicodeNegate : LookKind::WordAsciiNegate;
            case AssertionKind::WordStart:
                return u ? LookKind::WordStartUnicode : LookKind::WordStartAscii;
            case AssertionKind::WordEnd:
                return u ? LookKind::WordEndUnicode : LookKind::WordEndAscii;
            case AssertionKind::WordStartHalf:
                return u ? LookKind::WordStartHalfUnicode : LookKind::WordStartHalfAscii;
            case AssertionKind::WordEndHalf:
                return u ? LookKind::WordEndHalfUnicode : LookKind::WordEndHalfAscii;
        }
        return LookKind::Start;
    }

    Class unicode_class(const AstNode& node) {
        if (!flags_.unicode)
            fail(ErrorKind::UnicodeNotAllowed, node.span);
        unicode::PropertyLookup found =
            node.unicode_form == UnicodeClassForm::NamedValue
                ? unicode::lookup_name_value(ast_.texts[node.name], ast_.texts[node.value])
                : unicode::lookup_lone_name(ast_.texts[node.name]);
        if (found.status == unicode::PropertyStatus::PropertyNotFound) {
            fail(ErrorKind::UnicodePropertyNotFound, node.span);
        }
        if (found.status == unicode::PropertyStatus::PropertyValueNotFound) {
            fail(ErrorKind::UnicodePropertyValueNotFound, node.span);
        }
        Class cls = from_ranges(found.ranges);
        fold_and_negate(cls, node.negated, node.span);
        return cls;
    }

    // Perl classes are closed under case folding already: never refolded.
    Class perl_class(const AstNode& node) {
        Class cls;
        if (flags_.unicode) {
            switch (node.perl) {
                case PerlKind::Digit:
                    cls = from_ranges(unicode::perl_digit());
                    break;
                case PerlKind::Space:
                    cls = from_ranges(unicode::perl_space());
                    break;
                case PerlKind::Word:
                    cls = from_ranges(unicode::perl_word());
                    break;
            }
        } else {
            AsciiKind kind = node.perl == PerlKind::Digit   ? AsciiKind::Digit
                             : node.perl == PerlKind::Space ? AsciiKind::Space
                                                            : AsciiKind::Word;
            cls = ascii_class(kind, true);
        }
        if (node.negated)
            negate(cls);
        if (cls.is_bytes && !is_ascii(cls))
            fail(ErrorKind::InvalidUtf8, node.span);
        return cls;
    }

    void fold_and_negate(Class& cls, bool negated, Span span) {
        if (flags_.case_insensitive)
            case_fold(cls);
        if (negated)
            negate(cls);
        if (cls.is_bytes && !is_ascii(cls))
            fail(ErrorKind::InvalidUtf8, span);
    }

    std::uint32_t class_member(const AstNode& lit) {
        char32_t c = literal_scalar(lit);
        if (!flags_.unicode && c > 0x7F)
            fail(ErrorKind::UnicodeNotAllowed, lit.span);
        return c;
    }

    Class bracketed(const AstNode& node) {
        Class cls{!flags_.unicode, {}};
        add_set(cls, node.children[0]);
        canonicalize(cls);
        fold_and_negate(cls, node.negated, node.span);
        return cls;
    }

    // Adds the members of one set (item or operation) to `cls`.
    void add_set(Class& cls, AstId id) {
        const AstNode& node = ast_[id];
        switch (node.kind) {
            case AstKind::Empty:
                return;
            case AstKind::Literal: {
                std::uint32_t c = class_member(node);
                push_range(cls, c, c);
                return;
            }
            case AstKind::SetRange: {
                std::uint32_t a = class_member(ast_[node.children[0]]);
                std::uint32_t b = class_member(ast_[node.children[1]]);
                push_range(cls, a, b);
                return;
            }
            case AstKind::SetAscii: {
                Class ascii = ascii_class(node.ascii, !flags_.unicode);
                fold_and_negate(ascii, node.negated, node.span);
                union_with(cls, ascii);
                return;
            }
            case AstKind::UnicodeClass:
                union_with(cls, unicode_class(node));
                return;
            case AstKind::PerlClass:
                union_with(cls, perl_class(node));
                return;
            case AstKind::Bracketed:
                union_with(cls, bracketed(node));
                return;
            case AstKind::SetUnion:
                for (AstId child : node.children)
                    add_set(cls, child);
                return;
            case AstKind::SetBinaryOp: {
                Class lhs{cls.is_bytes, {}};
                Class rhs{cls.is_bytes, {}};
                add_set(lhs, node.children[0]);
                add_set(rhs, node.children[1]);
                canonicalize(lhs);
                canonicalize(rhs);
                if (flags_.case_insensitive) {
                    case_fold(lhs);
                    case_fold(rhs);
                }
                switch (node.op) {
                    case SetOp::Intersection:
                        intersect_with(lhs, rhs);
                        break;
                    case SetOp::Difference:
                        subtract(lhs, rhs);
                        break;
                    case SetOp::SymmetricDifference:
                        symmetric_difference_with(lhs, rhs);
                        break;
                }
                union_with(cls, lhs);
                return;
            }
            default:
                base::unreachable("non-class node inside brackets");
        }
    }

    const Ast& ast_;
    std::string_view pattern_;
    Flags flags_;
};

}  // namespace

Hir translate(const Ast& ast, std::string_view pattern) {
    return Translator(ast, pattern).translate(ast.root);
}

}  // namespace quarn::regex
