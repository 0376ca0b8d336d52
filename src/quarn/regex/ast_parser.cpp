// Pattern text -> syntax tree. The parser keeps its open groups and classes on
// explicit stacks, so nesting depth costs heap, not call stack; the nest limit
// is checked afterwards on the finished tree.
#include <map>

#include "quarn/base/ascii.hpp"
#include "quarn/regex/ast.hpp"
#include "quarn/regex/meta_character.hpp"
#include "quarn/regex/utf8.hpp"
#include "quarn/unicode/unicode.hpp"

namespace quarn::regex {

Error make_error(ErrorKind kind, std::string_view pattern, Span span,
                 std::optional<Span> auxiliary) {
    return Error{kind, std::string(pattern), span, auxiliary};
}

namespace {

constexpr char32_t kEof = 0xFFFFFFFF;

// ASCII punctuation and controls that may be escaped without meaning anything.
bool is_escapeable_character(char32_t c) {
    if (is_meta_character(c) || c > 0x7F)
        return false;
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
        return false;
    return c != '<' && c != '>';
}

bool is_hex(char32_t c) {
    return base::hex_digit_value(c) >= 0;
}

std::uint32_t hex_value(char32_t c) {
    return static_cast<std::uint32_t>(base::hex_digit_value(c));
}

bool is_capture_char(char32_t c, bool first) {
    if (c == '_')
        return true;
    if (first)
        return unicode::is_alphabetic(c);
    return c == '.' || c == '[' || c == ']' || unicode::is_alphabetic(c) || unicode::is_numeric(c);
}

std::optional<AsciiKind> ascii_kind_from_name(std::u32string_view name) {
    static const std::pair<std::u32string_view, AsciiKind> kNames[] = {
        {U"alnum", AsciiKind::Alnum}, {U"alpha", AsciiKind::Alpha},   {U"ascii", AsciiKind::Ascii},
        {U"blank", AsciiKind::Blank}, {U"cntrl", AsciiKind::Cntrl},   {U"digit", AsciiKind::Digit},
        {U"graph", AsciiKind::Graph}, {U"lower", AsciiKind::Lower},   {U"print", AsciiKind::Print},
        {U"punct", AsciiKind::Punct}, {U"space", AsciiKind::Space},   {U"upper", AsciiKind::Upper},
        {U"word", AsciiKind::Word},   {U"xdigit", AsciiKind::Xdigit},
    };
    for (const auto& [n, kind] : kNames) {
        if (n == name)
            return kind;
    }
    return std::nullopt;
}

struct Concat {
    Span span;
    std::vector<AstId> items;
};

// An open group, or the alternation collected so far inside the group below it.
struct GroupState {
    bool is_alternation = false;
    Concat concat;  // group: the concatenation the group belongs to
    AstId group = 0;
    bool ignore_whitespace = false;  // group: the setting to restore when it closes
    Span alternation_span;
    std::vector<AstId> branches;
};

struct Union {
    Span span;
    std::vector<AstId> items;
};

// An open bracket, or a set operator waiting for its right operand.
struct ClassState {
    bool is_op = false;
    Union parent;   // open: the union the bracket belongs to
    AstId set = 0;  // open: the Bracketed node
    SetOp op = SetOp::Intersection;
    AstId lhs = 0;  // op
};

struct Cursor {
    std::size_t index;
    Position pos;
};

class Parser {
  public:
    explicit Parser(std::string_view pattern) : pattern_(pattern) {
        decode_utf8(pattern, chars_, offsets_);
        // About one node per character: reserving avoids the copy a doubling
        // growth would make of a long pattern's tree.
        ast_.nodes.reserve(chars_.size() + 1);
    }

    Ast parse() {
        Concat concat{span(), {}};
        for (;;) {
            bump_space();
            if (is_eof())
                break;
            switch (ch()) {
                case '(':
                    concat = push_group(std::move(concat));
                    break;
                case ')':
                    concat = pop_group(std::move(concat));
                    break;
                case '|':
                    concat = push_alternate(std::move(concat));
                    break;
                case '[':
                    concat.items.push_back(parse_set_class());
                    break;
                case '?':
                case '*':
                case '+':
                    parse_uncounted_repetition(concat);
                    break;
                case '{':
                    parse_counted_repetition(concat);
                    break;
                default:
                    concat.items.push_back(ast_.add(parse_primitive()));
            }
        }
        ast_.root = pop_group_end(std::move(concat));
        return std::move(ast_);
    }

  private:
    // ---- cursor ----
    bool is_eof() const { return index_ >= chars_.size(); }
    char32_t ch() const { return is_eof() ? kEof : chars_[index_]; }
    Span span() const { return Span{pos_, pos_}; }
    Cursor cursor() const { return Cursor{index_, pos_}; }
    void restore(Cursor c) {
        index_ = c.index;
        pos_ = c.pos;
    }

    Position next_position() const {
        Position next = pos_;
        next.offset = offsets_[index_ + 1];
        if (chars_[index_] == '\n') {
            next.line += 1;
            next.column = 1;
        } else {
            next.column += 1;
        }
        return next;
    }

    // The span of the current character (zero-width at the end of the pattern).
    Span span_char() const { return is_eof() ? span() : Span{pos_, next_position()}; }

    // Moves past the current character; false when that reaches the end.
    bool bump() {
        if (is_eof())
            return false;
        pos_ = next_position();
        ++index_;
        return !is_eof();
    }

    static bool is_whitespace(char32_t c) { return c != kEof && unicode::is_white_space(c); }

    // In verbose mode, skips whitespace and `#` comments.
    void bump_space() {
        if (!ignore_whitespace_)
            return;
        while (!is_eof()) {
            if (is_whitespace(ch())) {
                bump();
            } else if (ch() == '#') {
                bump();
                while (!is_eof()) {
                    char32_t c = ch();
                    bump();
                    if (c == '\n')
                        break;
                }
            } else {
                break;
            }
        }
    }

    bool bump_and_bump_space() {
        if (!bump())
            return false;
        bump_space();
        return !is_eof();
    }

    char32_t peek() const { return index_ + 1 < chars_.size() ? chars_[index_ + 1] : kEof; }

    // The next character after the current one, skipping verbose-mode
    // whitespace and comments the way the class-range check always has: once
    // inside a comment, the first non-whitespace character is taken.
    char32_t peek_space() const {
        if (!ignore_whitespace_)
            return peek();
        if (is_eof())
            return kEof;
        std::size_t i = index_ + 1;
        bool in_comment = false;
        for (std::size_t j = i; j < chars_.size(); ++j) {
            char32_t c = chars_[j];
            if (is_whitespace(c))
                continue;
            if (!in_comment && c == '#') {
                in_comment = true;
            } else {
                i = j;
                break;
            }
        }
        return i < chars_.size() ? chars_[i] : kEof;
    }

    bool bump_if(std::string_view prefix) {
        if (index_ + prefix.size() > chars_.size())
            return false;
        for (std::size_t k = 0; k < prefix.size(); ++k) {
            if (chars_[index_ + k] != static_cast<char32_t>(prefix[k]))
                return false;
        }
        for (std::size_t k = 0; k < prefix.size(); ++k)
            bump();
        return true;
    }

    [[noreturn]] void fail(ErrorKind kind, Span span, std::optional<Span> aux = std::nullopt) {
        throw ParseFailure{make_error(kind, pattern_, span, aux)};
    }

    // ---- groups and alternation ----
    AstId into_ast(const Concat& concat) {
        if (concat.items.size() == 1)
            return concat.items[0];
        AstNode node;
        node.span = concat.span;
        if (!concat.items.empty()) {
            node.kind = AstKind::Concat;
            node.children = concat.items;
        }
        return ast_.add(std::move(node));
    }

    AstId make_alternation(Span span, std::vector<AstId> branches) {
        AstNode node;
        node.kind = AstKind::Alternation;
        node.span = span;
        node.children = std::move(branches);
        return ast_.add(std::move(node));
    }

    Concat push_alternate(Concat concat) {
        concat.span.end = pos_;
        if (!groups_.empty() && groups_.back().is_alternation) {
            groups_.back().branches.push_back(into_ast(concat));
        } else {
            GroupState alt;
            alt.is_alternation = true;
            alt.alternation_span = Span{concat.span.start, pos_};
            alt.branches.push_back(into_ast(concat));
            groups_.push_back(std::move(alt));
        }
        bump();
        return Concat{span(), {}};
    }

    std::uint32_t next_capture_index(Span open_span) {
        if (capture_index_ == UINT32_MAX)
            fail(ErrorKind::CaptureLimitExceeded, open_span);
        return ++capture_index_;
    }

    bool is_lookaround_prefix() {
        return bump_if("?=") || bump_if("?!") || bump_if("?<=") || bump_if("?<!");
    }

    std::string parse_capture_name() {
        if (is_eof())
            fail(ErrorKind::GroupNameUnexpectedEof, span());
        Position start = pos_;
        std::size_t start_index = index_;
        for (;;) {
            if (ch() == '>')
                break;
            if (!is_capture_char(ch(), pos_ == start))
                fail(ErrorKind::GroupNameInvalid, span_char());
            if (!bump())
                break;
        }
        Position end = pos_;
        if (is_eof())
            fail(ErrorKind::GroupNameUnexpectedEof, span());
        bump();
        if (index_ - 1 == start_index)
            fail(ErrorKind::GroupNameEmpty, Span{start, start});
        std::string name(pattern_.substr(start.offset, end.offset - start.offset));
        Span name_span{start, end};
        auto [it, inserted] = capture_names_.emplace(name, name_span);
        if (!inserted)
            fail(ErrorKind::GroupNameDuplicate, name_span, it->second);
        return name;
    }

    struct ParsedFlags {
        FlagChanges changes;
        bool any = false;
    };

    std::uint8_t parse_flag() {
        switch (ch()) {
            case 'i':
                return kCaseInsensitive;
            case 'm':
                return kMultiLine;
            case 's':
                return kDotMatchesNewLine;
            case 'U':
                return kSwapGreed;
            case 'u':
                return kUnicode;
            case 'R':
                return kCrlf;
            case 'x':
                return kIgnoreWhitespace;
            default:
                fail(ErrorKind::FlagUnrecognized, span_char());
        }
    }

    ParsedFlags parse_flags() {
        ParsedFlags flags;
        std::optional<Span> negation;       // the `-`, once seen
        std::optional<Span> last_negation;  // set while `-` is the last item
        Span flag_spans[128] = {};
        std::uint8_t seen = 0;
        while (ch() != ':' && ch() != ')') {
            if (ch() == '-') {
                last_negation = span_char();
                if (negation)
                    fail(ErrorKind::FlagRepeatedNegation, span_char(), *negation);
                negation = span_char();
            } else {
                last_negation.reset();
                std::uint8_t flag = parse_flag();
                if (seen & flag)
                    fail(ErrorKind::FlagDuplicate, span_char(), flag_spans[flag]);
                seen |= flag;
                flag_spans[flag] = span_char();
                if (negation) {
                    flags.changes.disable |= flag;
                } else {
                    flags.changes.enable |= flag;
                }
            }
            flags.any = true;
            if (!bump())
                fail(ErrorKind::FlagUnexpectedEof, span());
        }
        if (last_negation)
            fail(ErrorKind::FlagDanglingNegation, *last_negation);
        return flags;
    }

    void open_group(Concat& concat, AstNode group) {
        bool old = ignore_whitespace_;
        if (group.flags.enable & kIgnoreWhitespace)
            ignore_whitespace_ = true;
        if (group.flags.disable & kIgnoreWhitespace)
            ignore_whitespace_ = false;
        GroupState state;
        state.concat = std::move(concat);
        state.group = ast_.add(std::move(group));
        state.ignore_whitespace = old;
        groups_.push_back(std::move(state));
    }

    Concat push_group(Concat concat) {
        Span open_span = span_char();
        bump();
        bump_space();
        if (is_lookaround_prefix()) {
            fail(ErrorKind::UnsupportedLookAround, Span{open_span.start, pos_});
        }
        Span inner_span = span();
        AstNode group;
        group.kind = AstKind::Group;
        group.span = open_span;
        if (bump_if("?P<") || bump_if("?<")) {
            group.capture_index = next_capture_index(open_span);
            group.name = ast_.add_text(parse_capture_name());
            group.has_name = true;
        } else if (bump_if("?")) {
            if (is_eof())
                fail(ErrorKind::GroupUnclosed, open_span);
            ParsedFlags flags = parse_flags();
            char32_t end = ch();
            bump();
            if (end == ')') {
                if (!flags.any)
                    fail(ErrorKind::RepetitionMissing, inner_span);
                AstNode directive;
                directive.kind = AstKind::Flags;
                directive.span = Span{open_span.start, pos_};
                directive.flags = flags.changes;
                if (flags.changes.enable & kIgnoreWhitespace)
                    ignore_whitespace_ = true;
                if (flags.changes.disable & kIgnoreWhitespace)
                    ignore_whitespace_ = false;
                concat.items.push_back(ast_.add(std::move(directive)));
                return concat;
            }
            group.flags = flags.changes;
        } else {
            group.capture_index = next_capture_index(open_span);
        }
        open_group(concat, std::move(group));
        return Concat{span(), {}};
    }

    Concat pop_group(Concat group_concat) {
        if (groups_.empty())
            fail(ErrorKind::GroupUnopened, span_char());
        GroupState top = std::move(groups_.back());
        groups_.pop_back();
        std::optional<GroupState> alternation;
        if (top.is_alternation) {
            if (groups_.empty())
                fail(ErrorKind::GroupUnopened, span_char());
            alternation = std::move(top);
            top = std::move(groups_.back());
            groups_.pop_back();
        }
        ignore_whitespace_ = top.ignore_whitespace;
        group_concat.span.end = pos_;
        bump();
        ast_[top.group].span.end = pos_;
        AstId body;
        if (alternation) {
            alternation->alternation_span.end = group_concat.span.end;
            alternation->branches.push_back(into_ast(group_concat));
            body =
                make_alternation(alternation->alternation_span, std::move(alternation->branches));
        } else {
            body = into_ast(group_concat);
        }
        ast_[top.group].children = {body};
        top.concat.items.push_back(top.group);
        return std::move(top.concat);
    }

    AstId pop_group_end(Concat concat) {
        concat.span.end = pos_;
        AstId result;
        if (groups_.empty()) {
            result = into_ast(concat);
        } else {
            GroupState top = std::move(groups_.back());
            groups_.pop_back();
            if (!top.is_alternation)
                fail(ErrorKind::GroupUnclosed, ast_[top.group].span);
            top.alternation_span.end = concat.span.end;
            top.branches.push_back(into_ast(concat));
            result = make_alternation(top.alternation_span, std::move(top.branches));
        }
        if (!groups_.empty())
            fail(ErrorKind::GroupUnclosed, ast_[groups_.back().group].span);
        return result;
    }

    // ---- repetition ----
    AstId take_repeated(Concat& concat) {
        if (concat.items.empty())
            fail(ErrorKind::RepetitionMissing, span());
        AstId sub = concat.items.back();
        AstKind kind = ast_[sub].kind;
        if (kind == AstKind::Empty || kind == AstKind::Flags) {
            fail(ErrorKind::RepetitionMissing, span());
        }
        concat.items.pop_back();
        return sub;
    }

    void push_repetition(Concat& concat, AstId sub, std::uint32_t min,
                         std::optional<std::uint32_t> max, bool greedy) {
        AstNode rep;
        rep.kind = AstKind::Repetition;
        rep.span = Span{ast_[sub].span.start, pos_};
        rep.min = min;
        rep.max = max;
        rep.greedy = greedy;
        rep.children = {sub};
        concat.items.push_back(ast_.add(std::move(rep)));
    }

    void parse_uncounted_repetition(Concat& concat) {
        char32_t op = ch();
        AstId sub = take_repeated(concat);
        bool greedy = true;
        if (bump() && ch() == '?') {
            greedy = false;
            bump();
        }
        std::uint32_t min = op == '+' ? 1 : 0;
        std::optional<std::uint32_t> max;
        if (op == '?')
            max = 1;
        push_repetition(concat, sub, min, max, greedy);
    }

    // A count, or the error it would cause (reported only if the count is needed).
    struct Decimal {
        std::uint32_t value = 0;
        std::optional<Error> error;
    };

    Decimal parse_decimal() {
        while (!is_eof() && is_whitespace(ch()))
            bump();
        Position start = pos_;
        std::uint64_t value = 0;
        bool any = false;
        bool overflow = false;
        while (!is_eof() && ch() >= '0' && ch() <= '9') {
            any = true;
            value = value * 10 + (ch() - '0');
            if (value > UINT32_MAX) {
                overflow = true;
                value = UINT32_MAX;
            }
            bump_and_bump_space();
        }
        Span digits{start, pos_};
        while (!is_eof() && is_whitespace(ch()))
            bump_and_bump_space();
        Decimal result;
        if (!any) {
            result.error = make_error(ErrorKind::RepetitionCountDecimalEmpty, pattern_, digits);
        } else if (overflow) {
            result.error = make_error(ErrorKind::DecimalInvalid, pattern_, digits);
        } else {
            result.value = static_cast<std::uint32_t>(value);
        }
        return result;
    }

    static std::uint32_t need(const Decimal& d) {
        if (d.error)
            throw ParseFailure{*d.error};
        return d.value;
    }

    void parse_counted_repetition(Concat& concat) {
        Position start = pos_;
        AstId sub = take_repeated(concat);
        if (!bump_and_bump_space())
            fail(ErrorKind::RepetitionCountUnclosed, Span{start, pos_});
        Decimal count_start = parse_decimal();
        if (is_eof())
            fail(ErrorKind::RepetitionCountUnclosed, Span{start, pos_});
        std::uint32_t min;
        std::optional<std::uint32_t> max;
        if (ch() == ',') {
            if (!bump_and_bump_space()) {
                fail(ErrorKind::RepetitionCountUnclosed, Span{start, pos_});
            }
            min = need(count_start);
            if (ch() != '}')
                max = need(parse_decimal());
        } else {
            min = need(count_start);
            max = min;
        }
        if (is_eof() || ch() != '}')
            fail(ErrorKind::RepetitionCountUnclosed, Span{start, pos_});
        bool greedy = true;
        if (bump_and_bump_space() && ch() == '?') {
            greedy = false;
            bump();
        }
        if (max && min > *max)
            fail(ErrorKind::RepetitionCountInvalid, Span{start, pos_});
        push_repetition(concat, sub, min, max, greedy);
    }

    // ---- primitives and escapes ----
    AstNode literal(Span span, char32_t c, LiteralKind kind) {
        AstNode node;
        node.kind = AstKind::Literal;
        node.span = span;
        node.ch = c;
        node.literal_kind = kind;
        return node;
    }

    AstNode assertion(Span span, AssertionKind kind) {
        AstNode node;
        node.kind = AstKind::Assertion;
        node.span = span;
        node.assertion = kind;
        return node;
    }

    AstNode parse_primitive() {
        switch (ch()) {
            case '\\':
                return parse_escape();
            case '.': {
                AstNode node;
                node.kind = AstKind::Dot;
                node.span = span_char();
                bump();
                return node;
            }
            case '^': {
                AstNode node = assertion(span_char(), AssertionKind::StartLine);
                bump();
                return node;
            }
            case '$': {
                AstNode node = assertion(span_char(), AssertionKind::EndLine);
                bump();
                return node;
            }
            default: {
                AstNode node = literal(span_char(), ch(), LiteralKind::Verbatim);
                bump();
                return node;
            }
        }
    }

    AstNode parse_escape() {
        Position start = pos_;
        if (!bump())
            fail(ErrorKind::EscapeUnexpectedEof, Span{start, pos_});
        char32_t c = ch();
        if (c >= '0' && c <= '9') {
            fail(ErrorKind::UnsupportedBackreference, Span{start, span_char().end});
        }
        if (c == 'x' || c == 'u' || c == 'U') {
            AstNode lit = parse_hex();
            lit.span.start = start;
            return lit;
        }
        if (c == 'p' || c == 'P') {
            AstNode cls = parse_unicode_class();
            cls.span.start = start;
            return cls;
        }
        if (c == 'd' || c == 's' || c == 'w' || c == 'D' || c == 'S' || c == 'W') {
            AstNode cls;
            cls.kind = AstKind::PerlClass;
            cls.negated = c == 'D' || c == 'S' || c == 'W';
            cls.perl = (c == 'd' || c == 'D')   ? PerlKind::Digit
                       : (c == 's' || c == 'S') ? PerlKind::Space
                                                : PerlKind::Word;
            bump();
            cls.span = Span{start, pos_};
            return cls;
        }
        bump();
        Span span{start, pos_};
        if (is_meta_character(c) || is_escapeable_character(c)) {
            return literal(span, c, LiteralKind::Escaped);
        }
        switch (c) {
            case 'a':
                return literal(span, 0x07, LiteralKind::Escaped);
            case 'f':
                return literal(span, 0x0C, LiteralKind::Escaped);
            case 't':
                return literal(span, 0x09, LiteralKind::Escaped);
            case 'n':
                return literal(span, 0x0A, LiteralKind::Escaped);
            case 'r':
                return literal(span, 0x0D, LiteralKind::Escaped);
            case 'v':
                return literal(span, 0x0B, LiteralKind::Escaped);
            case 'A':
                return assertion(span, AssertionKind::StartText);
            case 'z':
                return assertion(span, AssertionKind::EndText);
            case 'B':
                return assertion(span, AssertionKind::NotWordBoundary);
            case '<':
                return assertion(span, AssertionKind::WordStart);
            case '>':
                return assertion(span, AssertionKind::WordEnd);
            case 'b': {
                AstNode wb = assertion(span, AssertionKind::WordBoundary);
                if (!is_eof() && ch() == '{') {
                    if (auto kind = maybe_parse_special_word_boundary(start)) {
                        wb.assertion = *kind;
                        wb.span.end = pos_;
                    }
                }
                return wb;
            }
            default:
                fail(ErrorKind::EscapeUnrecognized, span);
        }
    }

    // After `\b` at a `{`: a special assertion such as `\b{start}`, or nothing
    // (cursor unmoved) when the brace starts a counted repetition instead.
    std::optional<AssertionKind> maybe_parse_special_word_boundary(Position wb_start) {
        auto is_valid = [](char32_t c) {
            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-';
        };
        Cursor brace = cursor();
        Position start = pos_;
        if (!bump_and_bump_space()) {
            fail(ErrorKind::SpecialWordOrRepetitionUnexpectedEof, Span{wb_start, pos_});
        }
        Position contents = pos_;
        if (!is_valid(ch())) {
            restore(brace);
            return std::nullopt;
        }
        std::string name;
        while (!is_eof() && is_valid(ch())) {
            name.push_back(static_cast<char>(ch()));
            bump_and_bump_space();
        }
        if (is_eof() || ch() != '}') {
            fail(ErrorKind::SpecialWordBoundaryUnclosed, Span{start, pos_});
        }
        Position end = pos_;
        bump();
        if (name == "start")
            return AssertionKind::WordStart;
        if (name == "end")
            return AssertionKind::WordEnd;
        if (name == "start-half")
            return AssertionKind::WordStartHalf;
        if (name == "end-half")
            return AssertionKind::WordEndHalf;
        fail(ErrorKind::SpecialWordBoundaryUnrecognized, Span{contents, end});
    }

    static bool valid_scalar(std::uint64_t v) { return base::is_scalar(v); }

    AstNode parse_hex() {
        char32_t which = ch();
        if (!bump_and_bump_space())
            fail(ErrorKind::EscapeUnexpectedEof, span());
        if (ch() == '{')
            return parse_hex_brace();
        std::size_t digits = which == 'x' ? 2 : which == 'u' ? 4 : 8;
        Position start = pos_;
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < digits; ++i) {
            if (i > 0 && !bump_and_bump_space())
                fail(ErrorKind::EscapeUnexpectedEof, span());
            if (!is_hex(ch()))
                fail(ErrorKind::EscapeHexInvalidDigit, span_char());
            value = value * 16 + hex_value(ch());
        }
        bump_and_bump_space();
        Span span{start, pos_};
        if (!valid_scalar(value))
            fail(ErrorKind::EscapeHexInvalid, span);
        return literal(span, static_cast<char32_t>(value),
                       which == 'x' ? LiteralKind::HexByte : LiteralKind::HexOther);
    }

    AstNode parse_hex_brace() {
        Position brace = pos_;
        Position start = span_char().end;
        std::uint64_t value = 0;
        bool any = false;
        bool overflow = false;
        while (bump_and_bump_space() && ch() != '}') {
            if (!is_hex(ch()))
                fail(ErrorKind::EscapeHexInvalidDigit, span_char());
            any = true;
            value = value * 16 + hex_value(ch());
            if (value > UINT32_MAX) {
                overflow = true;
                value = 0;
            }
        }
        if (is_eof())
            fail(ErrorKind::EscapeUnexpectedEof, Span{brace, pos_});
        Position end = pos_;
        bump_and_bump_space();
        if (!any)
            fail(ErrorKind::EscapeHexEmpty, Span{brace, pos_});
        if (overflow || !valid_scalar(value))
            fail(ErrorKind::EscapeHexInvalid, Span{start, end});
        return literal(Span{start, pos_}, static_cast<char32_t>(value), LiteralKind::HexOther);
    }

    AstNode parse_unicode_class() {
        AstNode cls;
        cls.kind = AstKind::UnicodeClass;
        bool written_negated = ch() == 'P';
        if (!bump_and_bump_space())
            fail(ErrorKind::EscapeUnexpectedEof, span());
        Position start;
        if (ch() == '{') {
            start = span_char().end;
            std::u32string text;
            while (bump_and_bump_space() && ch() != '}')
                text.push_back(ch());
            if (is_eof())
                fail(ErrorKind::EscapeUnexpectedEof, span());
            bump();
            std::size_t split;
            std::size_t skip = 1;
            bool not_equal = false;
            if ((split = text.find(U"!=")) != std::u32string::npos) {
                skip = 2;
                not_equal = true;
            } else if ((split = text.find(U':')) == std::u32string::npos) {
                split = text.find(U'=');
            }
            if (split == std::u32string::npos) {
                cls.unicode_form = UnicodeClassForm::Named;
                cls.name = ast_.add_text(encode_utf8(text));
            } else {
                cls.unicode_form = UnicodeClassForm::NamedValue;
                cls.name = ast_.add_text(encode_utf8(text.substr(0, split)));
                cls.value = ast_.add_text(encode_utf8(text.substr(split + skip)));
            }
            cls.negated = written_negated != not_equal;
        } else {
            start = pos_;
            char32_t c = ch();
            if (c == '\\')
                fail(ErrorKind::UnicodeClassInvalid, span_char());
            bump_and_bump_space();
            cls.unicode_form = UnicodeClassForm::OneLetter;
            cls.name = ast_.add_text(encode_utf8(std::u32string(1, c)));
            cls.negated = written_negated;
        }
        cls.span = Span{start, pos_};
        return cls;
    }

    // ---- bracketed classes ----
    void push_item(Union& u, AstId item) {
        if (u.items.empty())
            u.span.start = ast_[item].span.start;
        u.span.end = ast_[item].span.end;
        u.items.push_back(item);
    }

    AstId into_item(const Union& u) {
        if (u.items.size() == 1)
            return u.items[0];
        AstNode node;
        node.span = u.span;
        if (!u.items.empty()) {
            node.kind = AstKind::SetUnion;
            node.children = u.items;
        }
        return ast_.add(std::move(node));
    }

    ParseFailure unclosed_class_error() {
        for (auto it = classes_.rbegin(); it != classes_.rend(); ++it) {
            if (!it->is_op) {
                return ParseFailure{
                    make_error(ErrorKind::ClassUnclosed, pattern_, ast_[it->set].span)};
            }
        }
        return ParseFailure{make_error(ErrorKind::ClassUnclosed, pattern_, span())};
    }

    AstId parse_set_class() {
        Union u{span(), {}};
        for (;;) {
            bump_space();
            if (is_eof())
                throw unclosed_class_error();
            char32_t c = ch();
            if (c == '[') {
                if (!classes_.empty()) {
                    if (auto ascii = maybe_parse_ascii_class()) {
                        push_item(u, ast_.add(std::move(*ascii)));
                        continue;
                    }
                }
                u = push_class_open(std::move(u));
            } else if (c == ']') {
                std::optional<AstId> done = pop_class(u);
                if (done)
                    return *done;
            } else if (c == '&' && peek() == '&') {
                bump_if("&&");
                u = push_class_op(SetOp::Intersection, u);
            } else if (c == '-' && peek() == '-') {
                bump_if("--");
                u = push_class_op(SetOp::Difference, u);
            } else if (c == '~' && peek() == '~') {
                bump_if("~~");
                u = push_class_op(SetOp::SymmetricDifference, u);
            } else {
                push_item(u, parse_set_class_range());
            }
        }
    }

    Union push_class_open(Union parent) {
        Position start = pos_;
        if (!bump_and_bump_space())
            fail(ErrorKind::ClassUnclosed, Span{start, pos_});
        bool negated = false;
        if (ch() == '^') {
            negated = true;
            if (!bump_and_bump_space())
                fail(ErrorKind::ClassUnclosed, Span{start, pos_});
        }
        Union nested{span(), {}};
        while (ch() == '-') {
            push_item(nested, ast_.add(literal(span_char(), '-', LiteralKind::Verbatim)));
            if (!bump_and_bump_space())
                fail(ErrorKind::ClassUnclosed, Span{start, start});
        }
        if (nested.items.empty() && ch() == ']') {
            push_item(nested, ast_.add(literal(span_char(), ']', LiteralKind::Verbatim)));
            if (!bump_and_bump_space())
                fail(ErrorKind::ClassUnclosed, Span{start, pos_});
        }
        AstNode set;
        set.kind = AstKind::Bracketed;
        set.span = Span{start, pos_};
        set.negated = negated;
        ClassState state;
        state.parent = std::move(parent);
        state.set = ast_.add(std::move(set));
        classes_.push_back(std::move(state));
        return nested;
    }

    AstId pop_class_op(AstId rhs) {
        if (classes_.empty() || !classes_.back().is_op)
            return rhs;
        ClassState state = std::move(classes_.back());
        classes_.pop_back();
        AstNode op;
        op.kind = AstKind::SetBinaryOp;
        op.span = Span{ast_[state.lhs].span.start, ast_[rhs].span.end};
        op.op = state.op;
        op.children = {state.lhs, rhs};
        return ast_.add(std::move(op));
    }

    Union push_class_op(SetOp kind, const Union& next) {
        AstId lhs = pop_class_op(into_item(next));
        ClassState state;
        state.is_op = true;
        state.op = kind;
        state.lhs = lhs;
        classes_.push_back(std::move(state));
        return Union{span(), {}};
    }

    // Closes the innermost bracket: returns the finished outermost class, or
    // continues with the enclosing union in `u`.
    std::optional<AstId> pop_class(Union& u) {
        AstId set_contents = pop_class_op(into_item(u));
        ClassState state = std::move(classes_.back());
        classes_.pop_back();
        bump();
        AstNode& set = ast_[state.set];
        set.span.end = pos_;
        set.children = {set_contents};
        if (classes_.empty())
            return state.set;
        u = std::move(state.parent);
        push_item(u, state.set);
        return std::nullopt;
    }

    std::optional<AstNode> maybe_parse_ascii_class() {
        Cursor start = cursor();
        auto give_up = [&]() -> std::optional<AstNode> {
            restore(start);
            return std::nullopt;
        };
        if (!bump() || ch() != ':')
            return give_up();
        if (!bump())
            return give_up();
        bool negated = false;
        if (ch() == '^') {
            negated = true;
            if (!bump())
                return give_up();
        }
        std::size_t name_start = index_;
        while (ch() != ':' && bump()) {
        }
        if (is_eof())
            return give_up();
        std::u32string_view name(chars_.data() + name_start, index_ - name_start);
        if (!bump_if(":]"))
            return give_up();
        std::optional<AsciiKind> kind = ascii_kind_from_name(name);
        if (!kind)
            return give_up();
        AstNode node;
        node.kind = AstKind::SetAscii;
        node.span = Span{start.pos, pos_};
        node.ascii = *kind;
        node.negated = negated;
        return node;
    }

    AstNode parse_set_class_item() {
        if (ch() == '\\')
            return parse_escape();
        AstNode node = literal(span_char(), ch(), LiteralKind::Verbatim);
        bump();
        return node;
    }

    AstId into_class_set_item(AstNode prim) {
        if (prim.kind != AstKind::Literal && prim.kind != AstKind::UnicodeClass &&
            prim.kind != AstKind::PerlClass) {
            fail(ErrorKind::ClassEscapeInvalid, prim.span);
        }
        return ast_.add(std::move(prim));
    }

    AstId parse_set_class_range() {
        AstNode prim1 = parse_set_class_item();
        bump_space();
        if (is_eof())
            throw unclosed_class_error();
        if (ch() != '-' || peek_space() == ']' || peek_space() == '-') {
            return into_class_set_item(std::move(prim1));
        }
        if (!bump_and_bump_space())
            throw unclosed_class_error();
        AstNode prim2 = parse_set_class_item();
        Span range_span{prim1.span.start, prim2.span.end};
        if (prim1.kind != AstKind::Literal)
            fail(ErrorKind::ClassRangeLiteral, prim1.span);
        if (prim2.kind != AstKind::Literal)
            fail(ErrorKind::ClassRangeLiteral, prim2.span);
        if (prim1.ch > prim2.ch)
            fail(ErrorKind::ClassRangeInvalid, range_span);
        AstNode range;
        range.kind = AstKind::SetRange;
        range.span = range_span;
        range.children = {ast_.add(std::move(prim1)), ast_.add(std::move(prim2))};
        return ast_.add(std::move(range));
    }

    std::string_view pattern_;
    std::vector<char32_t> chars_;
    std::vector<std::size_t> offsets_;
    std::size_t index_ = 0;
    Position pos_;
    bool ignore_whitespace_ = false;
    std::uint32_t capture_index_ = 0;
    std::map<std::string, Span> capture_names_;
    std::vector<GroupState> groups_;
    std::vector<ClassState> classes_;
    Ast ast_;
};

}  // namespace

Ast parse_ast(std::string_view pattern) {
    return Parser(pattern).parse();
}

}  // namespace quarn::regex
