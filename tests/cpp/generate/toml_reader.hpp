// A small reader for the TOML subset of the regex conformance data: arrays of
// tables ([[test]]), keys with strings (all four quotings), integers, booleans,
// arrays and inline tables. Malformed input throws std::runtime_error.
#pragma once

#include <cctype>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quarn::testing_toml {

struct Value {
    enum class Kind { String, Integer, Boolean, Array, Table };
    Kind kind = Kind::Table;
    std::string string;
    std::int64_t integer = 0;
    bool boolean = false;
    std::vector<Value> array;
    std::vector<std::pair<std::string, Value>> table;

    const Value* find(std::string_view key) const {
        for (const auto& [name, value] : table) {
            if (name == key)
                return &value;
        }
        return nullptr;
    }
};

class Reader {
  public:
    explicit Reader(std::string text) : text_(std::move(text)) {}

    // The tables of every [[name]] header, in file order.
    std::vector<Value> tables_of(std::string_view name) {
        std::vector<Value> result;
        Value* current = nullptr;
        while (true) {
            skip_blank(true);
            if (at_ >= text_.size())
                return result;
            if (text_.compare(at_, 2, "[[") == 0) {
                at_ += 2;
                const std::string header = key();
                expect("]]");
                current = nullptr;
                if (header == name)
                    current = &result.emplace_back();
                continue;
            }
            std::string name_of_key = key();
            skip_blank(false);
            expect("=");
            skip_blank(false);
            Value value = parse_value();
            if (current != nullptr)
                current->table.emplace_back(std::move(name_of_key), std::move(value));
        }
    }

  private:
    [[noreturn]] void fail(const std::string& what) const {
        throw std::runtime_error("TOML: " + what + " at byte " + std::to_string(at_));
    }

    void expect(std::string_view token) {
        if (text_.compare(at_, token.size(), token) != 0)
            fail("expected " + std::string(token));
        at_ += token.size();
    }

    void skip_blank(bool newlines) {
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == ' ' || c == '\t' || c == '\r' || (newlines && c == '\n')) {
                ++at_;
            } else if (c == '#') {
                while (at_ < text_.size() && text_[at_] != '\n')
                    ++at_;
            } else {
                return;
            }
        }
    }

    std::string key() {
        skip_blank(false);
        if (at_ < text_.size() && (text_[at_] == '"' || text_[at_] == '\''))
            return parse_string();
        const std::size_t first = at_;
        while (at_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[at_])) ||
                                      text_[at_] == '_' || text_[at_] == '-')) {
            ++at_;
        }
        if (first == at_)
            fail("expected a key");
        std::string name = text_.substr(first, at_ - first);
        skip_blank(false);
        return name;
    }

    Value parse_value() {
        Value value;
        const char c = at_ < text_.size() ? text_[at_] : '\0';
        if (c == '"' || c == '\'') {
            value.kind = Value::Kind::String;
            value.string = parse_string();
        } else if (c == '[') {
            value.kind = Value::Kind::Array;
            ++at_;
            while (true) {
                skip_blank(true);
                if (at_ < text_.size() && text_[at_] == ']')
                    break;
                value.array.push_back(parse_value());
                skip_blank(true);
                if (at_ < text_.size() && text_[at_] == ',')
                    ++at_;
            }
            ++at_;
        } else if (c == '{') {
            value.kind = Value::Kind::Table;
            ++at_;
            while (true) {
                skip_blank(false);
                if (at_ < text_.size() && text_[at_] == '}')
                    break;
                std::string name = key();
                expect("=");
                skip_blank(false);
                value.table.emplace_back(std::move(name), parse_value());
                skip_blank(false);
                if (at_ < text_.size() && text_[at_] == ',')
                    ++at_;
            }
            ++at_;
        } else if (text_.compare(at_, 4, "true") == 0) {
            value.kind = Value::Kind::Boolean;
            value.boolean = true;
            at_ += 4;
        } else if (text_.compare(at_, 5, "false") == 0) {
            value.kind = Value::Kind::Boolean;
            at_ += 5;
        } else {
            value.kind = Value::Kind::Integer;
            bool negative = false;
            if (c == '-' || c == '+')
                negative = text_[at_++] == '-';
            if (at_ >= text_.size() || !std::isdigit(static_cast<unsigned char>(text_[at_]))) {
                fail("expected a value");
            }
            while (at_ < text_.size() &&
                   (std::isdigit(static_cast<unsigned char>(text_[at_])) || text_[at_] == '_')) {
                if (text_[at_] != '_')
                    value.integer = value.integer * 10 + (text_[at_] - '0');
                ++at_;
            }
            if (negative)
                value.integer = -value.integer;
        }
        return value;
    }

    std::string parse_string() {
        const char quote = text_[at_];
        const bool multi_line = text_.compare(at_, 3, std::string(3, quote)) == 0;
        const std::string closing(multi_line ? 3 : 1, quote);
        at_ += closing.size();
        if (multi_line && text_.compare(at_, 1, "\n") == 0)
            ++at_;
        if (multi_line && text_.compare(at_, 2, "\r\n") == 0)
            at_ += 2;
        std::string out;
        while (true) {
            if (at_ >= text_.size())
                fail("unterminated string");
            if (text_.compare(at_, closing.size(), closing) == 0) {
                // A multi-line string may end in quotes right before its delimiter.
                while (multi_line && text_.compare(at_ + 1, 3, closing) == 0)
                    out += text_[at_++];
                at_ += closing.size();
                return out;
            }
            const char c = text_[at_++];
            if (c != '\\' || quote == '\'') {
                out += c;
                continue;
            }
            const char escape = text_[at_++];
            switch (escape) {
                case 'n':
                    out += '\n';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'e':
                    out += '\x1b';
                    break;
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case 'u':
                    append_utf8(out, hex(4));
                    break;
                case 'U':
                    append_utf8(out, hex(8));
                    break;
                case '\n':
                case ' ':
                case '\t':
                case '\r':
                    if (!multi_line)
                        fail("bad escape");
                    while (at_ < text_.size() &&
                           std::isspace(static_cast<unsigned char>(text_[at_])))
                        ++at_;
                    break;
                default:
                    fail("bad escape");
            }
        }
    }

    std::uint32_t hex(int digits) {
        if (at_ + digits > text_.size())
            fail("short escape");
        const std::uint32_t value =
            static_cast<std::uint32_t>(std::stoul(text_.substr(at_, digits), nullptr, 16));
        at_ += digits;
        return value;
    }

    static void append_utf8(std::string& out, std::uint32_t c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    std::string text_;
    std::size_t at_ = 0;
};

inline std::vector<Value> read_tables(const std::string& path, std::string_view name) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot open " + path);
    std::stringstream content;
    content << file.rdbuf();
    return Reader(content.str()).tables_of(name);
}

}  // namespace quarn::testing_toml
