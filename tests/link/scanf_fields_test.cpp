#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "link/scanf_fields.h"

namespace velmora {
namespace {

using namespace std::string_literals;

struct DecimalCase {
    const char* name;
    std::string text;
    int width;
    bool ok;
    int value;
    std::size_t end;
};

TEST(ScanDecimal, FollowsScanfRules) {
    const DecimalCase cases[] = {
        {"plain", "42", 0, true, 42, 2},
        {"stops at letter", "42x", 0, true, 42, 2},
        {"width limits digits", "12345", 2, true, 12, 2},
        {"width one", "987", 1, true, 9, 1},
        {"leading blanks skipped and not counted", "  \t07", 2, true, 7, 5},
        {"minus counts in width", "-12", 2, true, -1, 2},
        {"plus sign", "+5", 0, true, 5, 2},
        {"sign alone in width fails", "-5", 1, false, 0, 0},
        {"sign without digit fails", "-x", 0, false, 0, 0},
        {"no digit fails", "x1", 0, false, 0, 0},
        {"empty fails", "", 3, false, 0, 0},
        {"only blanks fail", "   ", 0, false, 0, 0},
        {"largest int", "2147483647", 0, true, 2147483647, 10},
        {"smallest int", "-2147483648", 0, true, -2147483647 - 1, 11},
        {"one past largest refused", "2147483648", 0, false, 0, 0},
        {"one past smallest refused", "-2147483649", 0, false, 0, 0},
        {"very long number refused", std::string(200, '9'), 0, false, 0, 0},
        {"leading zeros are fine", "0000000000000000000001", 0, true, 1, 22},
        {"NUL is not a digit", "1\0"s "2", 0, true, 1, 1},
    };
    for (const auto& c : cases) {
        int value = -777;
        std::size_t pos = 0;
        const bool ok = scanDecimal(c.text, pos, c.width, value);
        EXPECT_EQ(ok, c.ok) << c.name;
        EXPECT_EQ(value, c.ok ? c.value : -777) << c.name;
        EXPECT_EQ(pos, c.end) << c.name;
    }
}

struct FloatCase {
    const char* name;
    const char* word;
    bool ok;
    float value;
};

TEST(ScanFloat, ReadsLikeStrtodInTheCLocaleAndRefusesNonFinite) {
    const FloatCase cases[] = {
        {"decimal", "2.5", true, 2.5f},
        {"integer", "3", true, 3.0f},
        {"negative", "-0.75", true, -0.75f},
        {"plus sign", "+1.5", true, 1.5f},
        {"leading point", ".5", true, 0.5f},
        {"trailing point", "4.", true, 4.0f},
        {"exponent", "1.5e2", true, 150.0f},
        {"prefix is enough", "12.5A", true, 12.5f},
        {"comma ends the number", "3,5", true, 3.0f},
        {"hexadecimal", "0x1.8p1", true, 3.0f},
        {"0x without digits is zero", "0xZ", true, 0.0f},
        {"too small reads as zero", "1e-60", true, 0.0f},
        {"letters", "abc", false, 0.0f},
        {"empty", "", false, 0.0f},
        {"point alone", ".", false, 0.0f},
        {"two signs", "--5", false, 0.0f},
        {"minus plus", "-+5", false, 0.0f},
        {"infinity", "inf", false, 0.0f},
        {"infinity spelled out", "-Infinity", false, 0.0f},
        {"nan", "nan", false, 0.0f},
        {"nan with payload", "NAN(123)", false, 0.0f},
        {"beyond float range", "1e39", false, 0.0f},
        {"beyond double range", "1e400", false, 0.0f},
    };
    for (const auto& c : cases) {
        float value = -99.0f;
        const bool ok = scanFloat(c.word, value);
        EXPECT_EQ(ok, c.ok) << c.name;
        EXPECT_FLOAT_EQ(value, c.ok ? c.value : -99.0f) << c.name;
    }
}

struct WordsCase {
    const char* name;
    std::string line;
    int count;
    bool cut;
    std::vector<std::string> words;
};

TEST(ScanWords, SplitsOnCWhitespaceAndCutsOverlongWordsToTheirBuffers) {
    const WordsCase cases[] = {
        {"empty", "", 0, false, {}},
        {"blanks only", " \t\r ", 0, false, {}},
        {"one word", "xyz", 1, false, {"xyz"}},
        {"surrounding blanks", "  S3 \t OOCCCCCC  ", 2, false, {"S3", "OOCCCCCC"}},
        {"carriage return separates", "OK\r", 1, false, {"OK"}},
        {"vertical tab and form feed separate", "a\vb\fc", 3, false, {"a", "b", "c"}},
        {"four words", "S3 OOCCCCCC GGGGGGGG 2.5", 4, false, {"S3", "OOCCCCCC", "GGGGGGGG", "2.5"}},
        {"fifth word not scanned", "Please send the image now", 4, false, {"Please", "send", "the", "image"}},
        {"fifth word may be long", "a b c d " + std::string(40, 'x'), 4, false, {"a", "b", "c", "d"}},
        {"first word of 24 fits", std::string(24, 'a'), 1, false, {std::string(24, 'a')}},
        {"first word of 25 cut to 24", std::string(25, 'a'), 1, true, {std::string(24, 'a')}},
        {"second word of 14 fits", "a " + std::string(14, 'b'), 2, false, {"a", std::string(14, 'b')}},
        {"second word of 15 cut to 14", "a " + std::string(15, 'b'), 2, true, {"a", std::string(14, 'b')}},
        {"third word of 10 cut to 9", "a b " + std::string(10, 'c'), 3, true, {"a", "b", std::string(9, 'c')}},
        {"fourth word of 9 fits", "a b c " + std::string(9, 'd'), 4, false, {"a", "b", "c", std::string(9, 'd')}},
        {"fourth word of 10 cut to 9", "a b c " + std::string(10, 'd'), 4, true, {"a", "b", "c", std::string(9, 'd')}},
        {"words after a cut one still count", std::string(30, 'a') + " b c", 3, true, {std::string(24, 'a'), "b", "c"}},
        {"high bytes are word characters", "\xff\xfe \x80", 2, false, {"\xff\xfe", "\x80"}},
    };
    for (const auto& c : cases) {
        const LineWords w = scanWords(c.line);
        EXPECT_EQ(w.count, c.count) << c.name;
        EXPECT_EQ(w.cut, c.cut) << c.name;
        ASSERT_EQ(c.words.size(), static_cast<std::size_t>(c.count)) << c.name;
        for (int i = 0; i < 4; ++i) {
            const std::string expected = i < c.count ? c.words[static_cast<std::size_t>(i)] : "";
            EXPECT_EQ(std::string(w.word[static_cast<std::size_t>(i)]), expected) << c.name << " word " << i;
        }
    }
}

struct TimerScanCase {
    const char* name;
    std::string line;
    int fields;
    TimerReportFields expected;  // compared up to `fields`
};

TEST(ScanTimerReport, CountsFieldsLikeScanf) {
    const TimerScanCase cases[] = {
        {"full report", "T0110 0010530", 7, {'T', 1, 1, 0, 1, 5, 30}},
        {"no blank before hours", "D16810230101", 7, {'D', 16, 8, 1, 23, 1, 1}},
        {"several blanks", "W0201   9990000", 7, {'W', 2, 0, 1, 999, 0, 0}},
        {"short hours end at blank", "T0111 5 7 9", 7, {'T', 1, 1, 1, 5, 7, 9}},
        {"negative bank", "T-110 0010530", 7, {'T', -1, 1, 0, 1, 5, 30}},
        {"seconds missing", "T0110 00105", 6, {'T', 1, 1, 0, 1, 5, 0}},
        {"minutes missing", "T0110 001", 5, {'T', 1, 1, 0, 1, 0, 0}},
        {"word after letter", "Timer reset is done", 1, {'T', 0, 0, 0, 0, 0, 0}},
        {"letter only", "T", 1, {'T', 0, 0, 0, 0, 0, 0}},
        {"empty", "", 0, {}},
    };
    for (const auto& c : cases) {
        TimerReportFields f;
        EXPECT_EQ(scanTimerReport(c.line, f), c.fields) << c.name;
        const int got[7] = {f.letter, f.bank, f.port, f.action, f.hours, f.minutes, f.seconds};
        const int want[7] = {c.expected.letter, c.expected.bank,  c.expected.port,
                             c.expected.action, c.expected.hours, c.expected.minutes,
                             c.expected.seconds};
        for (int i = 0; i < c.fields; ++i) EXPECT_EQ(got[i], want[i]) << c.name << " field " << i;
    }
}

struct ConfirmationScanCase {
    const char* name;
    const char* word;
    int fields;
    ConfirmationFields expected;
};

TEST(ScanConfirmation, ReadsLetterBankPortAction) {
    const ConfirmationScanCase cases[] = {
        {"clear", "Q0121", 4, {'Q', 1, 2, 1}},
        {"set all banks", "E0000", 4, {'E', 0, 0, 0}},
        {"extra characters ignored", "Q01211234", 4, {'Q', 1, 2, 1}},
        {"action missing", "Q012", 3, {'Q', 1, 2, 0}},
        {"port missing", "Q01", 2, {'Q', 1, 0, 0}},
        {"bank missing", "Qx", 1, {'Q', 0, 0, 0}},
        {"signed bank", "Q-121", 4, {'Q', -1, 2, 1}},
    };
    for (const auto& c : cases) {
        ConfirmationFields f;
        EXPECT_EQ(scanConfirmation(c.word, f), c.fields) << c.name;
        const int got[4] = {f.letter, f.bank, f.port, f.action};
        const int want[4] = {c.expected.letter, c.expected.bank, c.expected.port, c.expected.action};
        for (int i = 0; i < c.fields; ++i) EXPECT_EQ(got[i], want[i]) << c.name << " field " << i;
    }
}

TEST(ScanLetterNumber, LetterThenAnyNumber) {
    struct Case {
        const char* name;
        const char* word;
        int fields;
        int number;
    } const cases[] = {
        {"bank count", "M3", 2, 3},
        {"two digits", "S12", 2, 12},
        {"leading zero", "V01", 2, 1},
        {"negative", "S-4", 2, -4},
        {"no number", "Serial", 1, -1},
        {"empty", "", 0, -1},
        {"overflow refused", "M99999999999", 1, -1},
    };
    for (const auto& c : cases) {
        char letter = 0;
        int number = -1;
        EXPECT_EQ(scanLetterNumber(c.word, letter, number), c.fields) << c.name;
        EXPECT_EQ(number, c.number) << c.name;
        if (c.fields > 0) {
            EXPECT_EQ(letter, c.word[0]) << c.name;
        }
    }
}

}  // namespace
}  // namespace velmora
