#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <ostream>
#include <string>
#include <vector>

using namespace velmora;
using namespace std::string_literals;

namespace {

// ---------------------------------------------------------------------------
// Looking values up

struct LookupCase {
    const char* name;
    std::string file;
    const char* section;
    const char* key;
    std::optional<std::string> expected;
};

void PrintTo(const LookupCase& c, std::ostream* os) { *os << c.name; }

class ProfileLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(ProfileLookup, FindsTheValueTheProfileRulesGive) {
    const LookupCase& c = GetParam();
    const ProfileFile ini = ProfileFile::parse(c.file);
    EXPECT_EQ(ini.readString(c.section, c.key), c.expected);
}

const LookupCase kLookupCases[] = {
    {"ExactNames", "[Form]\nAuto=1\n", "Form", "Auto", "1"},
    {"KeyInOtherCase", "[Form]\nAuto=1\n", "Form", "aUTO", "1"},
    {"FileKeyInOtherCase", "[Form]\nAUTO=1\n", "Form", "Auto", "1"},
    {"SectionInOtherCase", "[fORM]\nAuto=1\n", "Form", "Auto", "1"},
    {"BlanksAroundKeyAndValue", "[Form]\n  Auto  =  1  \n", "Form", "Auto", "1"},
    {"TabsAroundKeyAndValue", "[Form]\n\tAuto\t=\t1\t\n", "Form", "Auto", "1"},
    {"BlanksInsideBrackets", "[ Form ]\nAuto=1\n", "Form", "Auto", "1"},
    {"IndentedSectionLine", "   [Form]\nAuto=1\n", "Form", "Auto", "1"},
    {"TextAfterClosingBracket", "[Form] ; main\nAuto=1\n", "Form", "Auto", "1"},
    {"DoubleQuotedValue", "[Form]\nAuto=\"5\"\n", "Form", "Auto", "5"},
    {"SingleQuotedValue", "[Form]\nAuto='5'\n", "Form", "Auto", "5"},
    {"UnmatchedQuoteKept", "[Form]\nAuto=\"5\n", "Form", "Auto", "\"5"},
    {"MixedQuotesKept", "[Form]\nAuto=\"5'\n", "Form", "Auto", "\"5'"},
    {"EmptyValueIsPresent", "[Form]\nAuto=\n", "Form", "Auto", ""},
    {"EqualsInsideValue", "[Form]\nAuto=a=b\n", "Form", "Auto", "a=b"},
    {"CrLfLineEnds", "[Form]\r\nAuto=7\r\nPrompt=0\r\n", "Form", "Auto", "7"},
    {"LastLineWithoutLineEnd", "[Form]\nAuto=7", "Form", "Auto", "7"},
    {"FirstOfDuplicateKeys", "[Form]\nAuto=1\nAuto=2\n", "Form", "Auto", "1"},
    {"KeyInSecondCopyOfSection", "[Form]\nA=1\n[Other]\nAuto=3\n[form]\nAuto=4\n", "Form", "Auto",
     "4"},
    {"MissingKey", "[Form]\nPrompt=1\n", "Form", "Auto", std::nullopt},
    {"KeyOnlyInOtherSection", "[Other]\nAuto=1\n[Form]\n", "Form", "Auto", std::nullopt},
    {"KeyBeforeAnySection", "Auto=1\n[Form]\n", "Form", "Auto", std::nullopt},
    {"MissingSection", "[Other]\nAuto=1\n", "Form", "Auto", std::nullopt},
    {"LongerKeyIsNotAMatch", "[Form]\nAutoX=1\n", "Form", "Auto", std::nullopt},
    {"CommentedOutKeyIsNotAMatch", "[Form]\n;Auto=1\n", "Form", "Auto", std::nullopt},
    {"LineWithoutEqualsIgnored", "[Form]\nAuto\nAuto=2\n", "Form", "Auto", "2"},
    {"EmptyFile", "", "Form", "Auto", std::nullopt},
    {"NulInsideValueKept", "[Form]\nAuto=1\0x\n"s, "Form", "Auto", "1\0x"s},
    {"NulLineBeforeKey", "[Form]\n\0\0\0\nAuto=1\n"s, "Form", "Auto", "1"},
};

INSTANTIATE_TEST_SUITE_P(Rules, ProfileLookup, ::testing::ValuesIn(kLookupCases),
                         [](const auto& row) { return std::string(row.param.name); });

// ---------------------------------------------------------------------------
// Numbers

struct NumberCase {
    const char* name;
    std::string text;
    std::optional<std::int32_t> expected;
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << c.name; }

class DecimalParse : public ::testing::TestWithParam<NumberCase> {};

TEST_P(DecimalParse, AcceptsOnlyWholeDecimalInt32) {
    EXPECT_EQ(parseDecimalInt32(GetParam().text), GetParam().expected);
}

const NumberCase kNumberCases[] = {
    {"Zero", "0", 0},
    {"One", "1", 1},
    {"Negative", "-1", -1},
    {"ExplicitPlus", "+7", 7},
    {"LeadingZeros", "007", 7},
    {"ManyLeadingZeros", "0000000000000000000000001", 1},
    {"Int32Max", "2147483647", 2147483647},
    {"Int32Min", "-2147483648", -2147483647 - 1},
    {"JustAboveInt32Max", "2147483648", std::nullopt},
    {"JustBelowInt32Min", "-2147483649", std::nullopt},
    {"HugeDigitRun", "99999999999999999999999999", std::nullopt},
    {"Empty", "", std::nullopt},
    {"SignOnly", "-", std::nullopt},
    {"DoubleSign", "--1", std::nullopt},
    {"Fraction", "1.0", std::nullopt},
    {"HexPrefix", "0x10", std::nullopt},
    {"TrailingBlank", "1 ", std::nullopt},
    {"LeadingBlank", " 1", std::nullopt},
    {"Word", "yes", std::nullopt},
    {"TrailingLetters", "12ab", std::nullopt},
    {"EmbeddedNul", "1\0"s, std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Texts, DecimalParse, ::testing::ValuesIn(kNumberCases),
                         [](const auto& row) { return std::string(row.param.name); });

struct BoolCase {
    const char* name;
    std::string value;  // the text after "Flag="; nullopt-like "-" means no line
    bool defaultValue;
    bool expected;
};

void PrintTo(const BoolCase& c, std::ostream* os) { *os << c.name; }

class BoolRead : public ::testing::TestWithParam<BoolCase> {};

TEST_P(BoolRead, AnyNonZeroIntegerIsTrueElseDefault) {
    const BoolCase& c = GetParam();
    const ProfileFile ini = ProfileFile::parse("[S]\nFlag=" + c.value + "\n");
    EXPECT_EQ(ini.readBool("S", "Flag", c.defaultValue), c.expected);
}

const BoolCase kBoolCases[] = {
    {"OneIsTrue", "1", false, true},
    {"ZeroIsFalse", "0", true, false},
    {"TwoIsTrue", "2", false, true},
    {"MinusOneIsTrue", "-1", false, true},
    {"PaddedZeroIsFalse", "  0  ", true, false},
    {"WordTakesDefaultTrue", "yes", true, true},
    {"WordTakesDefaultFalse", "true", false, false},
    {"EmptyTakesDefault", "", true, true},
    {"OverflowTakesDefault", "4294967296", false, false},
};

INSTANTIATE_TEST_SUITE_P(Values, BoolRead, ::testing::ValuesIn(kBoolCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ProfileInteger, MissingKeyGivesTheDefault) {
    const ProfileFile ini = ProfileFile::parse("[S]\nOther=5\n");
    for (std::int32_t def : {0, 1, -7, 123456}) {
        EXPECT_EQ(ini.readInteger("S", "Missing", def), def) << def;
    }
}

// ---------------------------------------------------------------------------
// Writing

struct WriteCase {
    const char* name;
    std::string before;
    const char* section;
    const char* key;
    const char* value;
    std::string after;
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class ProfileWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(ProfileWrite, ChangesOnlyWhatItMustAndReadsBack) {
    const WriteCase& c = GetParam();
    ProfileFile ini = ProfileFile::parse(c.before);
    ASSERT_TRUE(ini.writeString(c.section, c.key, c.value));
    EXPECT_EQ(ini.serialize(), c.after);
    EXPECT_EQ(ini.readString(c.section, c.key), std::string(c.value));
    // Whatever was written must come back the same after a trip to bytes.
    EXPECT_EQ(ProfileFile::parse(ini.serialize()).readString(c.section, c.key),
              std::string(c.value));
}

const WriteCase kWriteCases[] = {
    {"UpdateInPlaceKeepsOtherLines", "[Form]\nComPort=0\nAuto=1\nPrompt=1\n", "Form", "Auto", "0",
     "[Form]\nComPort=0\nAuto=0\nPrompt=1\n"},
    {"LowerCaseKeyUpdatesExistingKeySpelling", "[Form]\nAuto=1\n", "Form", "auto", "0",
     "[Form]\nAuto=0\n"},
    {"OtherCaseSectionUpdated", "[FORM]\nAuto=1\n", "Form", "Auto", "0", "[FORM]\nAuto=0\n"},
    {"IndentKeptPaddingDropped", "[Form]\n  AUTO  =  1  \n", "Form", "Auto", "0",
     "[Form]\n  AUTO=0\n"},
    {"QuotedValueReplaced", "[Form]\nAuto=\"1\"\n", "Form", "Auto", "0", "[Form]\nAuto=0\n"},
    {"CrLfKeptOnUpdate", "[Form]\r\nAuto=1\r\nPrompt=1\r\n", "Form", "Auto", "0",
     "[Form]\r\nAuto=0\r\nPrompt=1\r\n"},
    {"LastLineStaysWithoutLineEnd", "[Form]\nAuto=1", "Form", "Auto", "0", "[Form]\nAuto=0"},
    {"OnlyFirstDuplicateUpdated", "[Form]\nAuto=1\nAuto=1\n", "Form", "Auto", "0",
     "[Form]\nAuto=0\nAuto=1\n"},
    {"CommentAndStrayLinesUntouched", "; top\nAuto=1\n[Form]\n;Auto=1\nAuto=1\n", "Form", "Auto",
     "0", "; top\nAuto=1\n[Form]\n;Auto=1\nAuto=0\n"},
    {"SameKeyInOtherSectionUntouched", "[Other]\nAuto=1\n[Form]\nAuto=1\n", "Form", "Auto", "0",
     "[Other]\nAuto=1\n[Form]\nAuto=0\n"},
    {"MissingKeyAppendedToItsSection", "[Form]\nA=1\n[Other]\nB=2\n", "Form", "Auto", "0",
     "[Form]\nA=1\nAuto=0\n[Other]\nB=2\n"},
    {"MissingKeyGoesBeforeBlankSeparator", "[Form]\nA=1\n\n[Other]\nB=2\n", "Form", "Auto", "0",
     "[Form]\nA=1\nAuto=0\n\n[Other]\nB=2\n"},
    {"MissingKeyAfterLastLineWithoutLineEnd", "[Form]\nA=1", "Form", "Auto", "0",
     "[Form]\nA=1\nAuto=0"},
    {"MissingKeyUsesCrLf", "[Form]\r\nA=1\r\n", "Form", "Auto", "0",
     "[Form]\r\nA=1\r\nAuto=0\r\n"},
    {"MissingKeyUnderLoneSectionLine", "[Form]", "Form", "Auto", "0", "[Form]\nAuto=0"},
    {"MissingKeyGoesToFirstCopyOfSection", "[Form]\nA=1\n[Other]\n[Form]\nB=2\n", "Form", "Auto",
     "0", "[Form]\nA=1\nAuto=0\n[Other]\n[Form]\nB=2\n"},
    {"MissingSectionAppended", "[Other]\nB=2\n", "Form", "Auto", "0",
     "[Other]\nB=2\n[Form]\nAuto=0\n"},
    {"MissingSectionAfterLastLineWithoutLineEnd", "[Other]\r\nB=2", "Form", "Auto", "0",
     "[Other]\r\nB=2\r\n[Form]\r\nAuto=0"},
    {"EmptyFileGetsSectionAndKey", "", "Form", "Auto", "0", "[Form]\nAuto=0\n"},
    {"MixedLineEndsEachKept", "[Form]\r\nA=1\nAuto=1\r\nB=2\n", "Form", "Auto", "0",
     "[Form]\r\nA=1\nAuto=0\r\nB=2\n"},
    {"BytesOutsideTheLineSurvive", "[Form]\n\xff\xfe\0x=\0\nAuto=1\n"s, "Form", "Auto", "0",
     "[Form]\n\xff\xfe\0x=\0\nAuto=0\n"s},
};

INSTANTIATE_TEST_SUITE_P(Rules, ProfileWrite, ::testing::ValuesIn(kWriteCases),
                         [](const auto& row) { return std::string(row.param.name); });

struct RejectCase {
    const char* name;
    std::string section;
    std::string key;
    std::string value;
};

void PrintTo(const RejectCase& c, std::ostream* os) { *os << c.name; }

class ProfileWriteRejects : public ::testing::TestWithParam<RejectCase> {};

TEST_P(ProfileWriteRejects, NamesOrValuesThatWouldBreakTheFileChangeNothing) {
    const RejectCase& c = GetParam();
    const std::string before = "[Form]\nAuto=1\n";
    ProfileFile ini = ProfileFile::parse(before);
    EXPECT_FALSE(ini.writeString(c.section, c.key, c.value));
    EXPECT_EQ(ini.serialize(), before);
}

const RejectCase kRejectCases[] = {
    {"EmptySection", "", "Auto", "0"},
    {"BlankPaddedSection", " Form", "Auto", "0"},
    {"BracketInSection", "Fo]rm", "Auto", "0"},
    {"LineBreakInSection", "Fo\nrm", "Auto", "0"},
    {"EmptyKey", "Form", "", "0"},
    {"BlankPaddedKey", "Form", "Auto ", "0"},
    {"EqualsInKey", "Form", "Au=to", "0"},
    {"KeyLooksLikeSection", "Form", "[Auto", "0"},
    {"LineBreakInKey", "Form", "Au\nto", "0"},
    {"NulInKey", "Form", "Au\0to"s, "0"},
    {"ValueInjectsSection", "Form", "Auto", "1\n[Evil]\nx=1"},
    {"CarriageReturnInValue", "Form", "Auto", "1\r"},
    {"NulInValue", "Form", "Auto", "1\0"s},
};

INSTANTIATE_TEST_SUITE_P(Inputs, ProfileWriteRejects, ::testing::ValuesIn(kRejectCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ProfileWriteTypes, IntegersAreDecimalAndBooleansOneOrZero) {
    struct Row {
        std::int32_t value;
        const char* text;
    };
    const Row rows[] = {{0, "0"}, {3, "3"}, {-1, "-1"}, {2147483647, "2147483647"}};
    for (const Row& r : rows) {
        ProfileFile ini = ProfileFile::parse("[Form]\nComPort=9\n");
        ASSERT_TRUE(ini.writeInteger("Form", "ComPort", r.value));
        EXPECT_EQ(ini.serialize(), "[Form]\nComPort="s + r.text + "\n") << r.value;
    }
    ProfileFile ini = ProfileFile::parse("[Form]\nA=7\nB=7\n");
    ASSERT_TRUE(ini.writeBool("Form", "A", true));
    ASSERT_TRUE(ini.writeBool("Form", "B", false));
    EXPECT_EQ(ini.serialize(), "[Form]\nA=1\nB=0\n");
}

// ---------------------------------------------------------------------------
// Bytes in, bytes out

struct RoundTripCase {
    const char* name;
    std::string bytes;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }

class ProfileRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(ProfileRoundTrip, UnchangedFileSerialisesToTheSameBytes) {
    EXPECT_EQ(ProfileFile::parse(GetParam().bytes).serialize(), GetParam().bytes);
}

const RoundTripCase kRoundTripCases[] = {
    {"Empty", ""},
    {"OnlyLineFeed", "\n"},
    {"OnlyCrLf", "\r\n"},
    {"NoFinalLineEnd", "[Form]\nAuto=1"},
    {"CrLf", "[Form]\r\nAuto=1\r\n"},
    {"LoneCarriageReturns", "[Form]\rAuto=1\r\r"},
    {"MixedEnds", "a\r\nb\nc\r\n\nd"},
    {"NulsAndHighBytes", "\0\0[Form]\0\n\x80\xff=\0\r\n"s},
    {"BlankLines", "\n\n[Form]\n\n\nAuto=1\n\n"},
};

INSTANTIATE_TEST_SUITE_P(Files, ProfileRoundTrip, ::testing::ValuesIn(kRoundTripCases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ProfileHostileInput, HugeLinesAndNulsAreHandledAsData) {
    struct Row {
        const char* name;
        std::string file;
        std::int32_t expectedAuto;  // -5 is the default used below
    };
    const std::string longDigits(600 * 1024, '7');
    const std::string longJunk(600 * 1024, '\0');
    const Row rows[] = {
        {"HugeNumericValue", "[Form]\nAuto=" + longDigits + "\n", -5},
        {"HugeKeyLine", "[Form]\n" + longDigits + "=1\nAuto=4\n", 4},
        {"HugeSectionLine", "[" + longDigits + "]\nAuto=1\n[Form]\nAuto=3\n", 3},
        {"NulBlock", "[Form]\n" + longJunk + "\nAuto=2\n", 2},
        {"HugeLineWithoutLineEnd", "[Form]\nAuto=1\n" + longJunk, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ProfileFile ini = ProfileFile::parse(r.file);
        EXPECT_EQ(ini.readInteger("Form", "Auto", -5), r.expectedAuto);
        EXPECT_EQ(ini.serialize(), r.file);
        ASSERT_TRUE(ini.writeInteger("Form", "Prompt", 0));
        EXPECT_EQ(ini.readInteger("Form", "Prompt", -5), 0);
        EXPECT_EQ(ini.readInteger("Form", "Auto", -5), r.expectedAuto);
    }
}

// Files assembled at random from the pieces that matter to the rules: the
// invariants must hold for every one of them. Fixed seed, so a failure
// repeats.
TEST(ProfileRandomFiles, RoundTripAndWriteThenReadHoldForAnyBytes) {
    const std::string pieces[] = {"[", "]", "Form", "fORM", "Other", "=", "\r", "\n", "\r\n",
                                  "\0"s, " ", "\t", "Auto", "AUTO", "1", "0", "x", "\"", "'",
                                  ";", "\xff"};
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> length(0, 40);
    for (int round = 0; round < 3000; ++round) {
        std::string file;
        for (int n = length(rng); n > 0; --n) file += pieces[pick(rng)];
        SCOPED_TRACE(::testing::PrintToString(file));

        ProfileFile ini = ProfileFile::parse(file);
        ASSERT_EQ(ini.serialize(), file);

        ASSERT_TRUE(ini.writeString("Form", "Auto", "0"));
        const std::string once = ini.serialize();
        ASSERT_EQ(ProfileFile::parse(once).readString("Form", "Auto"), "0");
        // Lines that were not the key's own line are all still there.
        ASSERT_GE(ProfileFile::parse(once).lineCount(), ProfileFile::parse(file).lineCount());

        // A second write of another value changes that line only.
        ASSERT_TRUE(ini.writeString("form", "auto", "1"));
        const std::string twice = ini.serialize();
        ASSERT_EQ(ProfileFile::parse(twice).lineCount(), ProfileFile::parse(once).lineCount());
        ASSERT_EQ(ProfileFile::parse(twice).readString("Form", "Auto"), "1");
        ASSERT_EQ(twice.size(), once.size());
    }
}

}  // namespace
