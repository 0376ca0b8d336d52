// Texts and renderings of front-end errors.
#include <algorithm>
#include <tuple>
#include <vector>

#include "quarn/regex/debug_text.hpp"
#include "quarn/regex/parse.hpp"

namespace quarn::regex {

namespace {

struct KindText {
    const char* name;
    const char* message;
};

KindText kind_text(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::CaptureLimitExceeded:
            return {"CaptureLimitExceeded",
                    "exceeded the maximum number of capturing groups (4294967295)"};
        case ErrorKind::ClassEscapeInvalid:
            return {"ClassEscapeInvalid", "invalid escape sequence found in character class"};
        case ErrorKind::ClassRangeInvalid:
            return {"ClassRangeInvalid",
                    "invalid character class range, the start must be <= the end"};
        case ErrorKind::ClassRangeLiteral:
            return {"ClassRangeLiteral", "invalid range boundary, must be a literal"};
        case ErrorKind::ClassUnclosed:
            return {"ClassUnclosed", "unclosed character class"};
        case ErrorKind::DecimalEmpty:
            return {"DecimalEmpty", "decimal literal empty"};
        case ErrorKind::DecimalInvalid:
            return {"DecimalInvalid", "decimal literal invalid"};
        case ErrorKind::EscapeHexEmpty:
            return {"EscapeHexEmpty", "hexadecimal literal empty"};
        case ErrorKind::EscapeHexInvalid:
            return {"EscapeHexInvalid", "hexadecimal literal is not a Unicode scalar value"};
        case ErrorKind::EscapeHexInvalidDigit:
            return {"EscapeHexInvalidDigit", "invalid hexadecimal digit"};
        case ErrorKind::EscapeUnexpectedEof:
            return {"EscapeUnexpectedEof",
                    "incomplete escape sequence, reached end of pattern prematurely"};
        case ErrorKind::EscapeUnrecognized:
            return {"EscapeUnrecognized", "unrecognized escape sequence"};
        case ErrorKind::FlagDanglingNegation:
            return {"FlagDanglingNegation", "dangling flag negation operator"};
        case ErrorKind::FlagDuplicate:
            return {"FlagDuplicate", "duplicate flag"};
        case ErrorKind::FlagRepeatedNegation:
            return {"FlagRepeatedNegation", "flag negation operator repeated"};
        case ErrorKind::FlagUnexpectedEof:
            return {"FlagUnexpectedEof", "expected flag but got end of regex"};
        case ErrorKind::FlagUnrecognized:
            return {"FlagUnrecognized", "unrecognized flag"};
        case ErrorKind::GroupNameDuplicate:
            return {"GroupNameDuplicate", "duplicate capture group name"};
        case ErrorKind::GroupNameEmpty:
            return {"GroupNameEmpty", "empty capture group name"};
        case ErrorKind::GroupNameInvalid:
            return {"GroupNameInvalid", "invalid capture group character"};
        case ErrorKind::GroupNameUnexpectedEof:
            return {"GroupNameUnexpectedEof", "unclosed capture group name"};
        case ErrorKind::GroupUnclosed:
            return {"GroupUnclosed", "unclosed group"};
        case ErrorKind::GroupUnopened:
            return {"GroupUnopened", "unopened group"};
        case ErrorKind::NestLimitExceeded:
            return {"NestLimitExceeded",
                    "exceed the maximum number of nested parentheses/brackets (250)"};
        case ErrorKind::RepetitionCountInvalid:
            return {"RepetitionCountInvalid",
                    "invalid repetition count range, the start must be <= the end"};
        case ErrorKind::RepetitionCountDecimalEmpty:
            return {"RepetitionCountDecimalEmpty", "repetition quantifier expects a valid decimal"};
        case ErrorKind::RepetitionCountUnclosed:
            return {"RepetitionCountUnclosed", "unclosed counted repetition"};
        case ErrorKind::RepetitionMissing:
            return {"RepetitionMissing", "repetition operator missing expression"};
        case ErrorKind::SpecialWordBoundaryUnclosed:
            return {"SpecialWordBoundaryUnclosed",
                    "special word boundary assertion is either unclosed or contains an invalid "
                    "character"};
        case ErrorKind::SpecialWordBoundaryUnrecognized:
            return {"SpecialWordBoundaryUnrecognized",
                    "unrecognized special word boundary assertion, valid choices are: start, "
                    "end, start-half or end-half"};
        case ErrorKind::SpecialWordOrRepetitionUnexpectedEof:
            return {"SpecialWordOrRepetitionUnexpectedEof",
                    "found either the beginning of a special word boundary or a bounded "
                    "repetition on a \\b with an opening brace, but no closing brace"};
        case ErrorKind::UnicodeClassInvalid:
            return {"UnicodeClassInvalid", "invalid Unicode character class"};
        case ErrorKind::UnsupportedBackreference:
            return {"UnsupportedBackreference", "backreferences are not supported"};
        case ErrorKind::UnsupportedLookAround:
            return {"UnsupportedLookAround",
                    "look-around, including look-ahead and look-behind, is not supported"};
        case ErrorKind::UnicodeNotAllowed:
            return {"UnicodeNotAllowed", "Unicode not allowed here"};
        case ErrorKind::InvalidUtf8:
            return {"InvalidUtf8", "pattern can match invalid UTF-8"};
        case ErrorKind::InvalidLineTerminator:
            return {"InvalidLineTerminator", "invalid line terminator, must be ASCII"};
        case ErrorKind::UnicodePropertyNotFound:
            return {"UnicodePropertyNotFound", "Unicode property not found"};
        case ErrorKind::UnicodePropertyValueNotFound:
            return {"UnicodePropertyValueNotFound", "Unicode property value not found"};
        case ErrorKind::UnicodePerlClassNotFound:
            return {"UnicodePerlClassNotFound",
                    "Unicode-aware Perl class not found (make sure the unicode-perl feature is "
                    "enabled)"};
        case ErrorKind::UnicodeCaseUnavailable:
            return {"UnicodeCaseUnavailable",
                    "Unicode-aware case insensitivity matching is not available (make sure the "
                    "unicode-case feature is enabled)"};
    }
    return {"", ""};
}

bool is_translation_error(ErrorKind kind) {
    return kind >= ErrorKind::UnicodeNotAllowed;
}

bool span_less(const Span& a, const Span& b) {
    auto key = [](const Span& s) {
        return std::tuple(s.start.offset, s.start.line, s.start.column, s.end.offset, s.end.line,
                          s.end.column);
    };
    return key(a) < key(b);
}

// The pattern split into lines at LF; a CR before the LF is not shown. A
// final LF does not start a printed line.
std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        std::string_view line = text.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        start = nl + 1;
    }
    return lines;
}

std::string debug_span(const Span& s) {
    auto pos = [](const Position& p) {
        return "Position(o: " + std::to_string(p.offset) + ", l: " + std::to_string(p.line) +
               ", c: " + std::to_string(p.column) + ")";
    };
    return "Span(" + pos(s.start) + ", " + pos(s.end) + ")";
}

}  // namespace

const char* Error::kind_name() const {
    return kind_text(kind).name;
}

std::string Error::message() const {
    return kind_text(kind).message;
}

std::string Error::display() const {
    std::vector<std::string_view> lines = split_lines(pattern);
    std::size_t line_count = lines.size();
    if (!pattern.empty() && pattern.back() == '\n')
        ++line_count;
    std::size_t width = line_count <= 1 ? 0 : std::to_string(line_count).size();

    std::vector<std::vector<Span>> by_line(line_count);
    std::vector<Span> multi_line;
    auto add = [&](const Span& s) {
        if (s.start.line == s.end.line) {
            if (s.start.line - 1 < by_line.size()) {
                auto& v = by_line[s.start.line - 1];
                v.push_back(s);
                std::sort(v.begin(), v.end(), span_less);
            }
        } else {
            multi_line.push_back(s);
            std::sort(multi_line.begin(), multi_line.end(), span_less);
        }
    };
    add(span);
    if (auxiliary_span)
        add(*auxiliary_span);

    std::string notated;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (width > 0) {
            std::string number = std::to_string(i + 1);
            notated.append(width - number.size(), ' ');
            notated += number + ": ";
        } else {
            notated += "    ";
        }
        notated += lines[i];
        notated += '\n';
        if (!by_line[i].empty()) {
            std::string notes(width == 0 ? 4 : 2 + width, ' ');
            std::size_t pos = 0;
            for (const Span& s : by_line[i]) {
                for (; pos + 1 < s.start.column; ++pos)
                    notes.push_back(' ');
                std::size_t len = s.end.column > s.start.column ? s.end.column - s.start.column : 0;
                std::size_t carets = std::max<std::size_t>(1, len);
                notes.append(carets, '^');
                pos += carets;
            }
            notated += notes + '\n';
        }
    }

    std::string out = "regex parse error:\n";
    if (pattern.find('\n') != std::string::npos) {
        std::string divider(79, '~');
        out += divider + '\n' + notated + divider + '\n';
        for (const Span& s : multi_line) {
            out += "on line " + std::to_string(s.start.line) + " (column " +
                   std::to_string(s.start.column) + ") through line " + std::to_string(s.end.line) +
                   " (column " + std::to_string(s.end.column - 1) + ")\n";
        }
    } else {
        out += notated;
    }
    return out + "error: " + message();
}

std::string Error::debug() const {
    std::string kind_debug = kind_name();
    if (auxiliary_span) {
        kind_debug += " { original: " + debug_span(*auxiliary_span) + " }";
    }
    if (kind == ErrorKind::NestLimitExceeded)
        kind_debug += "(250)";
    return std::string(is_translation_error(kind) ? "Translate" : "Parse") +
           "(Error { kind: " + kind_debug + ", pattern: " + debug_quote_str(pattern) +
           ", span: " + debug_span(span) + " })";
}

}  // namespace quarn::regex
