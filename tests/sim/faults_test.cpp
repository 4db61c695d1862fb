#include "sim/unit_model.h"
#include "sim_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace velmora::sim;
using velmora::sim::testing::framedLines;
using velmora::sim::testing::unframedBytes;

namespace {

UnitConfig withFaults(Faults f) {
    UnitConfig c;
    c.banks = 2;
    c.statusForm = StatusForm::combined;
    c.bannerEvery = 0;
    c.faults = f;
    return c;
}

// --- polls that stop being answered -------------------------------------------

struct PollStopCase {
    const char* name;
    Faults faults;
    int answeredPolls;
    bool hangsUp;
};

class PollStops : public ::testing::TestWithParam<PollStopCase> {};

TEST_P(PollStops, AfterTheGivenNumberOfPolls) {
    UnitModel m(withFaults(GetParam().faults));
    for (int i = 0; i < GetParam().answeredPolls; ++i) {
        EXPECT_EQ(framedLines(m.feed("/C\\")).front(), "M2") << "poll " << i;
        EXPECT_FALSE(m.hangUpRequested());
    }
    EXPECT_EQ(m.feed("/C\\"), "");
    EXPECT_EQ(m.hangUpRequested(), GetParam().hangsUp);
    EXPECT_EQ(m.silent(), !GetParam().hangsUp);
    // Nothing at all afterwards, greeting included.
    EXPECT_EQ(m.feed("/uni\\/C\\/VER\\"), "");
}

Faults silentAfter(int n) {
    Faults f;
    f.silentAfterPolls = n;
    return f;
}
Faults hangUpAfter(int n) {
    Faults f;
    f.hangUpAfterPolls = n;
    return f;
}

INSTANTIATE_TEST_SUITE_P(Sim, PollStops,
                         ::testing::Values(PollStopCase{"SilentAtOnce", silentAfter(0), 0, false},
                                           PollStopCase{"SilentAfterThree", silentAfter(3), 3, false},
                                           PollStopCase{"HangUpAtOnce", hangUpAfter(0), 0, true},
                                           PollStopCase{"HangUpAfterTwo", hangUpAfter(2), 2, true}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Silence, GreetingAndVersionsStillAnsweredBeforeTheLimit) {
    UnitModel m(withFaults(silentAfter(1)));
    EXPECT_EQ(m.feed("/uni\\"), "/xyz\\");
    EXPECT_EQ(m.feed("/VER\\"), "/V01 1203\\/V02 1203\\");
    EXPECT_NE(m.feed("/C\\"), "");
    EXPECT_EQ(m.feed("/C\\"), "");
    EXPECT_EQ(m.pollsReceived(), 1);
}

// --- missing firmware -----------------------------------------------------------

TEST(MissingFirmware, LoaderAnswersOnlyGreetingAndUpgrade) {
    Faults f;
    f.missingFirmware = true;
    UnitModel m(withFaults(f));
    struct Row {
        std::string command, answer;
    };
    for (const Row& row : {Row{"/uni\\", "/abc\\"}, Row{"/VER\\", ""}, Row{"/C\\", ""}, Row{"/O011\\", ""},
                           Row{"/Q0111\\", ""}, Row{"/SETTIME2026-12-07 09:05:03\\", ""}}) {
        EXPECT_EQ(m.feed(row.command), row.answer) << row.command;
    }
    EXPECT_FALSE(m.portOn(1, 1));
    EXPECT_FALSE(m.firmwareValid());
}

TEST(MissingFirmware, LoaderAsksForAnImageAfterQuietAndAgainUntilItComes) {
    Faults f;
    f.missingFirmware = true;
    UnitConfig c = withFaults(f);
    c.loaderPromptEveryMs = 8000;
    c.imageLength = 3;
    UnitModel m(c);
    EXPECT_EQ(m.feed("/uni\\"), "/abc\\");
    EXPECT_EQ(m.advance(7999), "");
    EXPECT_EQ(m.advance(1), "Please send the file\r\n");
    EXPECT_EQ(m.upgradePhase(), UpgradePhase::awaitingImage);
    EXPECT_EQ(m.advance(7999), "");
    EXPECT_EQ(m.advance(1), "Please send the file\r\n");
    EXPECT_EQ(m.feed("abc"), "|\b/\b-\bVersion 1.2.04 firmware ready\r\n");
    EXPECT_EQ(m.feed("/uni\\"), "/xyz\\");
    EXPECT_EQ(m.advance(60000), "") << "a unit with firmware never prompts by itself";
}

TEST(MissingFirmware, UpgradeCommandPromptsAtOnce) {
    Faults f;
    f.missingFirmware = true;
    UnitModel m(withFaults(f));
    EXPECT_EQ(m.feed("/UPGRADE\\"),
              "Firmware upgrade mode entered\r\nStart to upgrade firmware\r\nPlease send the file\r\n");
}

// --- clock --------------------------------------------------------------------

TEST(ClockError, EverySetAnsweredErrAndFlagsRaised) {
    Faults f;
    f.clockError = true;
    UnitModel m(withFaults(f));
    EXPECT_EQ(m.feed("/SETTIME2026-12-07 09:05:03\\"), "/err\\");
    EXPECT_EQ(m.feed("/SETTIME2026-12-07 10:05:03\\"), "/err\\");
    EXPECT_EQ(m.feed("/SETTIME2026-12-7 10:05:03\\"), "") << "not a clock set at all";
    EXPECT_EQ(framedLines(m.feed("/C\\"))[1], "S1 CCCCCCCC FFFFFFFF 0.0");
}

// --- upgrade failure and stall ------------------------------------------------------

TEST(UpgradeFailure, FailsTheGivenNumberOfTimesThenSucceeds) {
    Faults f;
    f.upgradeFailures = 2;
    UnitConfig c = withFaults(f);
    c.imageLength = 2;
    UnitModel m(c);
    const std::vector<std::string> endings = {"Fail\r\n", "Fail\r\n", "Version 1.2.04 firmware ready\r\n"};
    for (const auto& ending : endings) {
        m.feed("/UPGRADE\\");
        EXPECT_EQ(m.feed("xy"), "|\b/\b" + ending);
    }
    EXPECT_TRUE(m.firmwareValid());
}

TEST(UpgradeStall, MarksStopAfterTheGivenBytesAndTheLoaderRestartsLater) {
    struct Row {
        const char* name;
        long stallAfter;
    };
    for (const Row& row : {Row{"atOnce", 0}, Row{"afterFive", 5}}) {
        Faults f;
        f.stallAfterBytes = row.stallAfter;
        UnitConfig c = withFaults(f);
        c.stallResetMs = 15000;
        c.loaderPromptEveryMs = 8000;
        UnitModel m(c);
        m.feed("/UPGRADE\\");
        std::string marks;
        for (long i = 0; i < row.stallAfter; ++i) marks += std::string(1, "|/-\\"[i % 4]) + '\b';
        EXPECT_EQ(m.feed(std::string(40, 'i')), marks) << row.name;
        EXPECT_EQ(m.upgradePhase(), UpgradePhase::stalled) << row.name;
        EXPECT_EQ(m.feed("/uni\\"), "") << row.name;
        EXPECT_EQ(m.advance(14999), "") << row.name;
        EXPECT_EQ(m.advance(1), "") << row.name;
        EXPECT_EQ(m.upgradePhase(), UpgradePhase::idle) << row.name;
        EXPECT_EQ(m.feed("/uni\\"), "/abc\\") << row.name;
        // The stall struck once: the next upgrade runs through.
        m.feed("/UPGRADE\\");
        EXPECT_EQ(m.feed("ab"), "|\b/\b") << row.name;
    }
}

// --- junk and over-long lines -------------------------------------------------------

TEST(Junk, StrayBytesAndOverLongLinesLeaveTheRealLinesIntact) {
    Faults f;
    f.junk = true;
    UnitModel dirty(withFaults(f));
    UnitModel clean(withFaults(Faults{}));
    dirty.feed("/O012\\");
    clean.feed("/O012\\");
    const std::string answer = dirty.feed("/C\\");
    const auto lines = framedLines(answer);

    EXPECT_FALSE(unframedBytes(answer).empty());
    const std::string stray = unframedBytes(answer);
    EXPECT_EQ(std::count(stray.begin(), stray.end(), '\0'), 1);
    const auto longest = std::max_element(lines.begin(), lines.end(),
                                          [](const auto& a, const auto& b) { return a.size() < b.size(); });
    EXPECT_GT(longest->size(), 51u) << "a line longer than the PC's line buffer";
    bool longWord = false;
    for (const auto& l : lines)
        if (velmora::sim::testing::wordsOf(l).size() == 4 && velmora::sim::testing::wordsOf(l)[0].size() > 24) longWord = true;
    EXPECT_TRUE(longWord) << "a four-word line whose first word overflows its field";

    std::vector<std::string> kept;
    for (const auto& l : lines)
        if (l.size() <= 51) kept.push_back(l);
    EXPECT_EQ(kept, framedLines(clean.feed("/C\\")));
}

TEST(Junk, GreetingAndVersionsStayClean) {
    Faults f;
    f.junk = true;
    UnitModel m(withFaults(f));
    EXPECT_EQ(m.feed("/uni\\"), "/xyz\\");
    EXPECT_EQ(m.feed("/VER\\"), "/V01 1203\\/V02 1203\\");
}

// --- bank numbers out of range --------------------------------------------------------

TEST(BadBanks, PollAndVersionAnswersCarryOutOfRangeBanks) {
    Faults f;
    f.badBanks = true;
    UnitModel m(withFaults(f));
    const auto poll = framedLines(m.feed("/C\\"));
    for (const char* want : {"S0 OOOOOOOO", "S17 CCCCCCCC", "S20 OCOCOCOC GGGGGGGG 9.9", "S99 GGGGFGGG", "C-1 3.5",
                             "C17 2.0", "T1711 0010000", "T9901 0000100"})
        EXPECT_NE(std::find(poll.begin(), poll.end(), want), poll.end()) << want;
    EXPECT_EQ(poll.front(), "M2") << "the bank count itself stays right";
    const auto versions = framedLines(m.feed("/VER\\"));
    EXPECT_EQ(versions, (std::vector<std::string>{"V01 1203", "V02 1203", "V00 0000", "V17 1203", "V99 9999"}));
}

}  // namespace
