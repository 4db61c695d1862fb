#pragma once

// A small JSON reader for the tests: enough to read velmoractl's output
// back and look at it by key. Throws std::runtime_error on anything that is
// not JSON, so a malformed object fails the test that reads it.

#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::test {

struct Json {
    enum class Type { null, boolean, number, string, array, object } type = Type::null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json& operator[](const std::string& key) const {
        if (type != Type::object) throw std::runtime_error("not an object, looking for " + key);
        auto it = members.find(key);
        if (it == members.end()) throw std::runtime_error("no key " + key);
        return it->second;
    }
    const Json& operator[](std::size_t i) const {
        if (type != Type::array || i >= items.size()) throw std::runtime_error("no item " + std::to_string(i));
        return items[i];
    }
    bool has(const std::string& key) const { return type == Type::object && members.count(key) != 0; }
    bool isNull() const { return type == Type::null; }
};

class JsonReader {
public:
    static Json parse(std::string_view text) {
        JsonReader r(text);
        Json v = r.value();
        r.blanks();
        if (r.pos_ != text.size()) throw std::runtime_error("text after the value");
        return v;
    }

private:
    explicit JsonReader(std::string_view t) : t_(t) {}
    void blanks() {
        while (pos_ < t_.size() && std::isspace(static_cast<unsigned char>(t_[pos_]))) ++pos_;
    }
    char peek() {
        blanks();
        if (pos_ >= t_.size()) throw std::runtime_error("unexpected end");
        return t_[pos_];
    }
    void expect(char c) {
        if (peek() != c) throw std::runtime_error(std::string("expected ") + c + " at " + std::to_string(pos_));
        ++pos_;
    }
    bool word(std::string_view w) {
        if (t_.substr(pos_, w.size()) != w) return false;
        pos_ += w.size();
        return true;
    }
    std::string string() {
        expect('"');
        std::string out;
        while (pos_ < t_.size() && t_[pos_] != '"') {
            char c = t_[pos_++];
            if (static_cast<unsigned char>(c) < 0x20) throw std::runtime_error("control byte in a string");
            if (c == '\\') {
                if (pos_ >= t_.size()) throw std::runtime_error("cut escape");
                const char e = t_[pos_++];
                switch (e) {
                    case '"': out += '"'; break;
                    case '\\': out += '\\'; break;
                    case '/': out += '/'; break;
                    case 'n': out += '\n'; break;
                    case 'r': out += '\r'; break;
                    case 't': out += '\t'; break;
                    case 'b': out += '\b'; break;
                    case 'f': out += '\f'; break;
                    case 'u': {
                        if (pos_ + 4 > t_.size()) throw std::runtime_error("cut \\u");
                        const unsigned long code = std::strtoul(std::string(t_.substr(pos_, 4)).c_str(), nullptr, 16);
                        if (code > 0xFF) throw std::runtime_error("only \\u00XX is read here");
                        out += static_cast<char>(code);
                        pos_ += 4;
                        break;
                    }
                    default: throw std::runtime_error("bad escape");
                }
            } else {
                out += c;
            }
        }
        expect('"');
        return out;
    }
    Json value() {
        Json v;
        const char c = peek();
        if (c == '{') {
            v.type = Json::Type::object;
            ++pos_;
            if (peek() == '}') {
                ++pos_;
                return v;
            }
            for (;;) {
                std::string key = string();
                expect(':');
                if (v.members.count(key)) throw std::runtime_error("key twice: " + key);
                v.members[key] = value();
                if (peek() == ',') {
                    ++pos_;
                    continue;
                }
                expect('}');
                return v;
            }
        }
        if (c == '[') {
            v.type = Json::Type::array;
            ++pos_;
            if (peek() == ']') {
                ++pos_;
                return v;
            }
            for (;;) {
                v.items.push_back(value());
                if (peek() == ',') {
                    ++pos_;
                    continue;
                }
                expect(']');
                return v;
            }
        }
        if (c == '"') {
            v.type = Json::Type::string;
            v.text = string();
            return v;
        }
        if (word("true")) {
            v.type = Json::Type::boolean;
            v.boolean = true;
            return v;
        }
        if (word("false")) {
            v.type = Json::Type::boolean;
            return v;
        }
        if (word("null")) return v;
        const std::size_t start = pos_;
        while (pos_ < t_.size() && (std::isdigit(static_cast<unsigned char>(t_[pos_])) || t_[pos_] == '-' ||
                                    t_[pos_] == '+' || t_[pos_] == '.' || t_[pos_] == 'e' || t_[pos_] == 'E'))
            ++pos_;
        if (start == pos_) throw std::runtime_error("no value at " + std::to_string(start));
        v.type = Json::Type::number;
        const std::string digits(t_.substr(start, pos_ - start));
        char* end = nullptr;
        v.number = std::strtod(digits.c_str(), &end);
        if (end != digits.c_str() + digits.size()) throw std::runtime_error("bad number " + digits);
        return v;
    }

    std::string_view t_;
    std::size_t pos_ = 0;
};

}  // namespace velmora::test
