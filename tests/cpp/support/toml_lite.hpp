// A reader for the TOML subset of the regex conformance files: comments,
// `[table]` and `[[array of tables]]` headers, bare or quoted keys, basic and
// literal strings (single- and multi-line), integers, booleans, arrays (nested,
// across lines) and inline tables. Malformed input throws std::runtime_error.
#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "quarn/base/utf8.hpp"

namespace toml_lite {

struct Value {
    enum class Type { String, Integer, Boolean, Array, Table };
    Type type = Type::String;
    std::string string;
    std::int64_t integer = 0;
    bool boolean = false;
    std::vector<Value> array;
    std::vector<std::pair<std::string, Value>> table;  // in file order

    const Value* find(const std::string& key) const {
        for (const auto& [k, v] : table) {
            if (k == key)
                return &v;
        }
        return nullptr;
    }
    bool has(const std::string& key) const { return find(key) != nullptr; }
    const Value& at(const std::string& key) const {
        const Value* v = find(key);
        if (!v)
            throw std::runtime_error("missing key " + key);
        return *v;
    }
    std::string get_string(const std::string& key, std::string fallback = "") const {
        const Value* v = find(key);
        return v ? v->string : fallback;
    }
    bool get_bool(const std::string& key, bool fallback) const {
        const Value* v = find(key);
        return v ? v->boolean : fallback;
    }
};

// The document: top-level keys, and each `[[name]]` as a list of tables.
struct Document {
    Value root;
    std::map<std::string, std::vector<Value>> table_arrays;
};

class Reader {
  public:
    explicit Reader(std::string text) : s_(std::move(text)) {}

    Document read() {
        Document doc;
        doc.root.type = Value::Type::Table;
        Value* current = &doc.root;
        for (;;) {
            skip_blank_lines();
            if (i_ >= s_.size())
                break;
            if (s_[i_] == '[') {
                bool array = s_.compare(i_, 2, "[[") == 0;
                i_ += array ? 2 : 1;
                std::string name = read_key();
                skip_ws();
                expect(array ? "]]" : "]");
                if (array) {
                    auto& list = doc.table_arrays[name];
                    list.emplace_back();
                    list.back().type = Value::Type::Table;
                    current = &list.back();
                } else {
                    doc.root.table.emplace_back(name, Value{});
                    current = &doc.root.table.back().second;
                    current->type = Value::Type::Table;
                }
            } else {
                std::string key = read_key();
                skip_ws();
                expect("=");
                skip_ws();
                current->table.emplace_back(key, read_value());
            }
            skip_ws();
            if (i_ < s_.size() && s_[i_] == '#')
                skip_comment();
            if (i_ < s_.size() && s_[i_] != '\n' && s_[i_] != '\r')
                fail("junk after value");
        }
        return doc;
    }

  private:
    [[noreturn]] void fail(const std::string& what) const {
        throw std::runtime_error("toml: " + what + " at byte " + std::to_string(i_));
    }
    void expect(const char* token) {
        std::string t(token);
        if (s_.compare(i_, t.size(), t) != 0)
            fail("expected " + t);
        i_ += t.size();
    }
    void skip_ws() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t'))
            ++i_;
    }
    void skip_comment() {
        while (i_ < s_.size() && s_[i_] != '\n')
            ++i_;
    }
    void skip_blank_lines() {
        for (;;) {
            skip_ws();
            if (i_ >= s_.size())
                return;
            if (s_[i_] == '#') {
                skip_comment();
            } else if (s_[i_] == '\n' || s_[i_] == '\r') {
                ++i_;
            } else {
                return;
            }
        }
    }
    // Whitespace, newlines and comments inside arrays.
    void skip_space_in_array() { skip_blank_lines(); }

    std::string read_key() {
        skip_ws();
        if (i_ < s_.size() && (s_[i_] == '"' || s_[i_] == '\''))
            return read_value().string;
        std::size_t start = i_;
        while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) ||
                                  s_[i_] == '-' || s_[i_] == '_' || s_[i_] == '.')) {
            ++i_;
        }
        if (start == i_)
            fail("expected a key");
        return s_.substr(start, i_ - start);
    }

    std::uint32_t read_hex(std::size_t digits) {
        if (i_ + digits > s_.size())
            fail("short unicode escape");
        std::uint32_t v =
            static_cast<std::uint32_t>(std::stoul(s_.substr(i_, digits), nullptr, 16));
        i_ += digits;
        return v;
    }

    std::string read_basic_string(bool multi) {
        std::string out;
        if (multi && i_ < s_.size() && s_[i_] == '\n')
            ++i_;
        for (;;) {
            if (i_ >= s_.size())
                fail("unclosed string");
            char c = s_[i_];
            if (multi ? s_.compare(i_, 3, "\"\"\"") == 0 : c == '"') {
                i_ += multi ? 3 : 1;
                return out;
            }
            if (!multi && c == '\n')
                fail("newline in string");
            ++i_;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            char e = s_[i_++];
            switch (e) {
                case 'n':
                    out.push_back('\n');
                    break;
                case 't':
                    out.push_back('\t');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case 'b':
                    out.push_back('\b');
                    break;
                case 'f':
                    out.push_back('\f');
                    break;
                case 'e':
                    out.push_back('\x1b');
                    break;
                case '"':
                    out.push_back('"');
                    break;
                case '\\':
                    out.push_back('\\');
                    break;
                case 'u':
                    quarn::base::append_utf8(out, read_hex(4));
                    break;
                case 'U':
                    quarn::base::append_utf8(out, read_hex(8));
                    break;
                case '\n':
                    if (!multi)
                        fail("bad escape");
                    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_])))
                        ++i_;
                    break;
                default:
                    fail(std::string("bad escape \\") + e);
            }
        }
    }

    std::string read_literal_string(bool multi) {
        if (multi && i_ < s_.size() && s_[i_] == '\n')
            ++i_;
        std::string close = multi ? "'''" : "'";
        std::size_t end = s_.find(close, i_);
        if (end == std::string::npos)
            fail("unclosed literal string");
        std::string out = s_.substr(i_, end - i_);
        i_ = end + close.size();
        return out;
    }

    Value read_value() {
        if (i_ >= s_.size())
            fail("expected a value");
        Value v;
        char c = s_[i_];
        if (c == '"' || c == '\'') {
            bool multi = s_.compare(i_, 3, std::string(3, c)) == 0;
            i_ += multi ? 3 : 1;
            v.type = Value::Type::String;
            v.string = c == '"' ? read_basic_string(multi) : read_literal_string(multi);
        } else if (c == '[') {
            ++i_;
            v.type = Value::Type::Array;
            for (;;) {
                skip_space_in_array();
                if (i_ < s_.size() && s_[i_] == ']') {
                    ++i_;
                    break;
                }
                v.array.push_back(read_value());
                skip_space_in_array();
                if (i_ < s_.size() && s_[i_] == ',') {
                    ++i_;
                } else if (i_ >= s_.size() || s_[i_] != ']') {
                    fail("expected , or ]");
                }
            }
        } else if (c == '{') {
            ++i_;
            v.type = Value::Type::Table;
            skip_ws();
            if (i_ < s_.size() && s_[i_] == '}') {
                ++i_;
                return v;
            }
            for (;;) {
                std::string key = read_key();
                skip_ws();
                expect("=");
                skip_ws();
                v.table.emplace_back(key, read_value());
                skip_ws();
                if (i_ < s_.size() && s_[i_] == ',') {
                    ++i_;
                    skip_ws();
                } else {
                    expect("}");
                    break;
                }
            }
        } else if (s_.compare(i_, 4, "true") == 0) {
            i_ += 4;
            v.type = Value::Type::Boolean;
            v.boolean = true;
        } else if (s_.compare(i_, 5, "false") == 0) {
            i_ += 5;
            v.type = Value::Type::Boolean;
        } else {
            std::size_t start = i_;
            if (s_[i_] == '-' || s_[i_] == '+')
                ++i_;
            while (i_ < s_.size() &&
                   (std::isdigit(static_cast<unsigned char>(s_[i_])) || s_[i_] == '_'))
                ++i_;
            if (start == i_)
                fail("unknown value");
            std::string digits;
            for (std::size_t k = start; k < i_; ++k) {
                if (s_[k] != '_')
                    digits.push_back(s_[k]);
            }
            v.type = Value::Type::Integer;
            v.integer = std::stoll(digits);
        }
        return v;
    }

    std::string s_;
    std::size_t i_ = 0;
};

inline Document read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return Reader(buffer.str()).read();
}

}  // namespace toml_lite
