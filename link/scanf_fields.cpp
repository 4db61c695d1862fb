#include "link/scanf_fields.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

namespace velmora {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The width-limited digits of one "%d" starting right after the whitespace.
bool scanDecimalField(std::string_view text, std::size_t& pos, int width, int& value) {
    std::size_t i = pos;
    const std::size_t limit =
        width > 0 ? std::min(text.size(), pos + static_cast<std::size_t>(width)) : text.size();
    bool negative = false;
    if (i < limit && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= limit || !isDigit(text[i])) return false;
    // Accumulate as a negative number so that INT_MIN itself fits.
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    std::int64_t acc = 0;
    while (i < limit && isDigit(text[i])) {
        acc = acc * 10 - (text[i] - '0');
        if (acc < kMin) return false;  // more digits than any int can hold
        ++i;
    }
    if (!negative) {
        if (acc < -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max())) return false;
        acc = -acc;
    }
    value = static_cast<int>(acc);
    pos = i;
    return true;
}

}  // namespace

bool scanDecimal(std::string_view text, std::size_t& pos, int width, int& value) {
    std::size_t i = pos;
    while (i < text.size() && isScanSpace(text[i])) ++i;
    if (!scanDecimalField(text, i, width, value)) return false;
    pos = i;
    return true;
}

int scanLetterNumber(std::string_view word, char& letter, int& number) {
    if (word.empty()) return 0;
    letter = word[0];
    std::size_t pos = 1;
    return scanDecimal(word, pos, 0, number) ? 2 : 1;
}

int scanConfirmation(std::string_view word, ConfirmationFields& out) {
    if (word.empty()) return 0;
    out.letter = word[0];
    std::size_t pos = 1;
    if (!scanDecimal(word, pos, 2, out.bank)) return 1;
    if (!scanDecimal(word, pos, 1, out.port)) return 2;
    if (!scanDecimal(word, pos, 1, out.action)) return 3;
    return 4;
}

int scanTimerReport(std::string_view line, TimerReportFields& out) {
    if (line.empty()) return 0;
    out.letter = line[0];
    std::size_t pos = 1;
    if (!scanDecimal(line, pos, 2, out.bank)) return 1;
    if (!scanDecimal(line, pos, 1, out.port)) return 2;
    if (!scanDecimal(line, pos, 1, out.action)) return 3;
    // The blank in the format matches any run of whitespace, even none; the
    // next "%d" would skip it anyway.
    if (!scanDecimal(line, pos, 3, out.hours)) return 4;
    if (!scanDecimal(line, pos, 2, out.minutes)) return 5;
    if (!scanDecimal(line, pos, 2, out.seconds)) return 6;
    return 7;
}

LineWords scanWords(std::string_view line) {
    LineWords words;
    std::size_t pos = 0;
    for (std::size_t n = 0; n < words.word.size(); ++n) {
        while (pos < line.size() && isScanSpace(line[pos])) ++pos;
        if (pos >= line.size()) break;
        const std::size_t start = pos;
        while (pos < line.size() && !isScanSpace(line[pos])) ++pos;
        std::string_view word = line.substr(start, pos - start);
        if (word.size() > kWordLimits[n]) {
            word = word.substr(0, kWordLimits[n]);
            words.cut = true;
        }
        words.word[n] = word;
        words.count = static_cast<int>(n + 1);
    }
    return words;
}

bool scanFloat(std::string_view word, float& value) {
    std::size_t i = 0;
    while (i < word.size() && isScanSpace(word[i])) ++i;
    bool negative = false;
    if (i < word.size() && (word[i] == '+' || word[i] == '-')) {
        negative = word[i] == '-';
        ++i;
    }
    std::string_view rest = word.substr(i);

    std::chars_format format = std::chars_format::general;
    if (rest.size() >= 2 && rest[0] == '0' && lower(rest[1]) == 'x' &&
        ((rest.size() > 2 && isHexDigit(rest[2])) ||
         (rest.size() > 3 && rest[2] == '.' && isHexDigit(rest[3])))) {
        rest.remove_prefix(2);
        format = std::chars_format::hex;
    }
    // A decimal number must go on with a digit or a point: that refuses a
    // second sign (which from_chars would take) and the words "inf" and "nan"
    // (strtod reads them, but they are no current we could show). The hex
    // prefix test above already saw a digit or a point.
    if (format == std::chars_format::general &&
        (rest.empty() || !(isDigit(rest[0]) || rest[0] == '.'))) {
        return false;
    }

    float parsed = 0.0f;
    const char* first = rest.data();
    const char* last = rest.data() + rest.size();
    std::errc ec = std::from_chars(first, last, parsed, format).ec;
    if (ec == std::errc::result_out_of_range) {
        // Too large for a float is refused; too small reads as zero (or a
        // denormal), as strtof would give it.
        double wide = 0.0;
        const std::errc wec = std::from_chars(first, last, wide, format).ec;
        if (wec != std::errc{} || !std::isfinite(wide) ||
            std::fabs(wide) > static_cast<double>(std::numeric_limits<float>::max())) {
            return false;
        }
        parsed = static_cast<float>(wide);
        ec = wec;
    }
    if (ec != std::errc{} || !std::isfinite(parsed)) return false;
    value = negative ? -parsed : parsed;
    return true;
}

}  // namespace velmora
