// Entry point of the regex front end: pattern text -> HIR, with the default
// settings of the dialect (Unicode on, UTF-8 mode on, case-sensitive, nest limit 250).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "quarn/base/result.hpp"
#include "quarn/regex/hir.hpp"

namespace quarn::regex {

enum class ErrorKind : std::uint8_t {
    CaptureLimitExceeded,
    ClassEscapeInvalid,
    ClassRangeInvalid,
    ClassRangeLiteral,
    ClassUnclosed,
    DecimalEmpty,
    DecimalInvalid,
    EscapeHexEmpty,
    EscapeHexInvalid,
    EscapeHexInvalidDigit,
    EscapeUnexpectedEof,
    EscapeUnrecognized,
    FlagDanglingNegation,
    FlagDuplicate,
    FlagRepeatedNegation,
    FlagUnexpectedEof,
    FlagUnrecognized,
    GroupNameDuplicate,
    GroupNameEmpty,
    GroupNameInvalid,
    GroupNameUnexpectedEof,
    GroupUnclosed,
    GroupUnopened,
    NestLimitExceeded,
    RepetitionCountInvalid,
    RepetitionCountDecimalEmpty,
    RepetitionCountUnclosed,
    RepetitionMissing,
    SpecialWordBoundaryUnclosed,
    SpecialWordBoundaryUnrecognized,
    SpecialWordOrRepetitionUnexpectedEof,
    UnicodeClassInvalid,
    UnsupportedBackreference,
    UnsupportedLookAround,
    // Translation errors.
    UnicodeNotAllowed,
    InvalidUtf8,
    InvalidLineTerminator,
    UnicodePropertyNotFound,
    UnicodePropertyValueNotFound,
    UnicodePerlClassNotFound,
    UnicodeCaseUnavailable,
};

struct Position {
    std::size_t offset = 0;  // byte offset from 0
    std::size_t line = 1;    // from 1
    std::size_t column = 1;  // from 1, in code points
    friend bool operator==(const Position&, const Position&) = default;
};

struct Span {
    Position start;
    Position end;
    friend bool operator==(const Span&, const Span&) = default;
};

struct Error {
    ErrorKind kind;
    std::string pattern;
    Span span;
    std::optional<Span> auxiliary_span;  // second caret of the duplicate-kind errors

    const char* kind_name() const;  // "GroupUnclosed", ...
    std::string message() const;    // "unclosed group", ...
    std::string display() const;    // the multi-line rendering with carets
    std::string debug() const;      // structural rendering, for construction-failure messages
};

// Parses `pattern` into HIR, or returns the first error.
base::Result<Hir, Error> parse(std::string_view pattern);

}  // namespace quarn::regex
