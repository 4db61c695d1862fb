#include "settings/ini_file.h"

#include <charconv>
#include <limits>

namespace velmora {

namespace fs = std::filesystem;

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trimmed(std::string_view s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && isBlank(s[b])) ++b;
    while (e > b && isBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// ASCII only: the file is 8-bit text in no particular code page, so bytes
// above 127 compare exactly rather than through a locale.
char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

// The section name of a "[name]" line, or nullopt when the line is not one.
std::optional<std::string_view> sectionOf(std::string_view line) {
    const std::string_view t = trimmed(line);
    if (t.empty() || t.front() != '[') return std::nullopt;
    std::string_view inner = t.substr(1);
    const std::size_t close = inner.find(']');
    if (close != std::string_view::npos) inner = inner.substr(0, close);
    return trimmed(inner);
}

bool hasLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool isBlankPadded(std::string_view s) {
    return s.empty() || isBlank(s.front()) || isBlank(s.back());
}

}  // namespace

std::optional<std::int32_t> parseDecimalInt32(std::string_view text) {
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty()) return std::nullopt;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    // Accumulate in 64 bits with an early stop so long runs of digits (or of
    // leading zeros) neither overflow nor get rejected wrongly.
    std::int64_t magnitude = 0;
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (char c : digits) {
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit) return std::nullopt;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max() ||
        value < std::numeric_limits<std::int32_t>::min()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

ProfileFile ProfileFile::parse(std::string_view bytes) {
    ProfileFile f;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t lf = bytes.find('\n', start);
        if (lf == std::string_view::npos) {
            f.lines_.push_back({std::string(bytes.substr(start)), ""});
            break;
        }
        std::string_view text = bytes.substr(start, lf - start);
        std::string_view eol = "\n";
        if (!text.empty() && text.back() == '\r') {
            text.remove_suffix(1);
            eol = "\r\n";
        }
        f.lines_.push_back({std::string(text), std::string(eol)});
        start = lf + 1;
    }
    return f;
}

std::string ProfileFile::serialize() const {
    std::size_t total = 0;
    for (const Line& l : lines_) total += l.text.size() + l.eol.size();
    std::string out;
    out.reserve(total);
    for (const Line& l : lines_) {
        out += l.text;
        out += l.eol;
    }
    return out;
}

std::string ProfileFile::newline() const {
    for (const Line& l : lines_) {
        if (!l.eol.empty()) return l.eol;
    }
    return "\n";
}

std::optional<ProfileFile::KeyHit> ProfileFile::findKey(std::string_view section,
                                                        std::string_view key) const {
    bool inSection = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const std::string_view text = lines_[i].text;
        if (const auto name = sectionOf(text)) {
            inSection = sameName(*name, section);
            continue;
        }
        if (!inSection) continue;
        const std::size_t eq = text.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view name = trimmed(text.substr(0, eq));
        if (!name.empty() && sameName(name, key)) return KeyHit{i, text.substr(eq + 1)};
    }
    return std::nullopt;
}

std::optional<std::string> ProfileFile::readString(std::string_view section,
                                                   std::string_view key) const {
    const auto hit = findKey(section, key);
    if (!hit) return std::nullopt;
    std::string_view v = trimmed(hit->value);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    return std::string(v);
}

std::int32_t ProfileFile::readInteger(std::string_view section, std::string_view key,
                                      std::int32_t defaultValue) const {
    const auto text = readString(section, key);
    if (!text) return defaultValue;
    return parseDecimalInt32(*text).value_or(defaultValue);
}

bool ProfileFile::readBool(std::string_view section, std::string_view key,
                           bool defaultValue) const {
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool ProfileFile::writeString(std::string_view section, std::string_view key,
                              std::string_view value) {
    if (isBlankPadded(section) || hasLineBreakOrNul(section) ||
        section.find(']') != std::string_view::npos) {
        return false;
    }
    if (isBlankPadded(key) || hasLineBreakOrNul(key) || key.find('=') != std::string_view::npos ||
        key.front() == '[') {
        return false;
    }
    if (hasLineBreakOrNul(value)) return false;

    if (const auto hit = findKey(section, key)) {
        // Keep indentation and the key as the file spells it; only the value
        // changes, so "Auto" stays "Auto" when we write "auto".
        std::string& text = lines_[hit->line].text;
        std::size_t keyEnd = text.find('=');
        while (keyEnd > 0 && isBlank(text[keyEnd - 1])) --keyEnd;
        text = text.substr(0, keyEnd) + "=" + std::string(value);
        return true;
    }

    const std::string nl = newline();
    Line entry{std::string(key) + "=" + std::string(value), nl};

    std::optional<std::size_t> header;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto name = sectionOf(lines_[i].text);
        if (name && sameName(*name, section)) {
            header = i;
            break;
        }
    }

    if (header) {
        // After the section's last non-blank line, so blank separator lines
        // stay in front of the next section.
        std::size_t insertAt = *header + 1;
        for (std::size_t i = *header + 1; i < lines_.size(); ++i) {
            if (sectionOf(lines_[i].text)) break;
            if (!trimmed(lines_[i].text).empty()) insertAt = i + 1;
        }
        Line& before = lines_[insertAt - 1];
        if (before.eol.empty()) {
            // Appending after a last line without a line end: that line gets
            // one and the new last line goes without, as the file had it.
            before.eol = nl;
            entry.eol.clear();
        }
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(entry));
        return true;
    }

    std::string headerText;  // built in steps: g++ 12 -O3 misreads a chained + as overlapping copies
    headerText.reserve(section.size() + 2);
    headerText += '[';
    headerText += section;
    headerText += ']';
    Line headerLine{std::move(headerText), nl};
    if (!lines_.empty() && lines_.back().eol.empty()) {
        lines_.back().eol = nl;
        entry.eol.clear();
    }
    lines_.push_back(std::move(headerLine));
    lines_.push_back(std::move(entry));
    return true;
}

bool ProfileFile::writeInteger(std::string_view section, std::string_view key,
                               std::int32_t value) {
    return writeString(section, key, std::to_string(value));
}

bool ProfileFile::writeBool(std::string_view section, std::string_view key, bool value) {
    return writeString(section, key, value ? "1" : "0");
}

}  // namespace velmora
