#pragma once

// Hand-written equivalents of the few scanf conversions the unit's lines are
// read with. They never depend on the C library locale (the program sets it
// from the environment, which would make "%f" read "2.5" as 2 in German),
// never read outside the given text and never overflow an int.

#include <array>
#include <cstddef>
#include <string_view>

namespace velmora {

// Whitespace as the "C" locale's isspace: blank, \t, \n, \v, \f, \r.
constexpr bool isScanSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// "%d" with an optional maximum field width (0 = unlimited) at text[pos]:
// skips leading whitespace (not counted in the width), takes an optional sign
// (counted in the width) and at least one digit. On success stores the value,
// moves pos past the field and returns true. Returns false with value and pos
// untouched when no digit follows, and also when the number does not fit a
// 32-bit int (scanf leaves that case undefined; we refuse it).
bool scanDecimal(std::string_view text, std::size_t& pos, int width, int& value);

// "%c%d" over a word: the letter and the number that follows it. Returns the
// number of fields stored: 0 (empty word), 1 (letter only) or 2.
int scanLetterNumber(std::string_view word, char& letter, int& number);

// "%c%02d%01d%01d" over a word (confirmation lines "Q..." and "E..."):
// letter, two-digit bank, port digit, action digit. Returns the number of
// fields stored, 0 to 4; fields after the first failing one are untouched.
struct ConfirmationFields {
    char letter = 0;
    int bank = 0;
    int port = 0;
    int action = 0;
};
int scanConfirmation(std::string_view word, ConfirmationFields& out);

// "%c%02d%01d%01d %3d%2d%2d" over a whole line (timer reports): letter, bank,
// port, action, then hours (up to 3 characters), minutes and seconds (up to 2
// each). Returns the number of fields stored, 0 to 7; only 7 is a report.
struct TimerReportFields {
    char letter = 0;
    int bank = 0;
    int port = 0;
    int action = 0;
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
};
int scanTimerReport(std::string_view line, TimerReportFields& out);

// "%s %s %s %s" over a line: up to four words separated by whitespace.
// word[i] views the line's own characters (valid as long as the line is).
// count is the number of words found (0 for an empty or all-blank line).
// A word longer than its buffer (kWordLimits: 24, 14, 9, 9 characters) is
// cut to it, as the fixed buffers of the unit's protocol hold it, and cut is
// set; the line is still classified, so a unit that prints more digits than
// expected ("2.50000000") or a longer prompt is understood. Words after the
// fourth are never looked at.
struct LineWords {
    std::array<std::string_view, 4> word{};
    int count = 0;
    bool cut = false;
};
inline constexpr std::array<std::size_t, 4> kWordLimits{24, 14, 9, 9};
LineWords scanWords(std::string_view line);

// "%f" over a word: what strtod accepts in the "C" locale (leading
// whitespace, sign, decimal or hexadecimal digits, exponent), read as a float
// from the longest valid prefix. Returns false and leaves value untouched when
// nothing converts or the result is not a finite float (nan, inf, or a
// magnitude a float cannot hold).
bool scanFloat(std::string_view word, float& value);

}  // namespace velmora
