#include "settings/configuration_logic.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "choice_values.h"
#include "recording_menu.h"

namespace velmora {
namespace {

using testing_support::readBytes;
using testing_support::describe;
using testing_support::makeChoice;
using testing_support::makeSettings;
using testing_support::RecordingMenu;
using testing_support::TempFolder;
using testing_support::writeBytes;
using Strings = std::vector<std::string>;

// Keys match without regard to case; compare the file in lower case.
std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// ---------------------------------------------------------------------------
// Controls from Settings

struct LoadCase {
    const char* name;
    Settings settings;
    int comPortCount;
    ConfigurationChoice expected;
};

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

class ChoiceFromSettings : public ::testing::TestWithParam<LoadCase> {};

TEST_P(ChoiceFromSettings, ShowsEachBoundSettingAndOnlyListedPorts) {
    const LoadCase& row = GetParam();
    EXPECT_EQ(describe(choiceFromSettings(row.settings, row.comPortCount)), describe(row.expected));
}

const LoadCase kLoadCases[] = {
    {"AllOff", makeSettings(0, false, false, false, false, false), 3, makeChoice(0, false, false, false, false)},
    {"AllOnLastPort", makeSettings(3, true, true, true, true, true), 3, makeChoice(3, true, true, true, true)},
    {"OnlyAuto", makeSettings(1, true, false, false, false, false), 2, makeChoice(1, true, false, false, false)},
    {"OnlyPrompt", makeSettings(1, false, true, false, false, false), 2, makeChoice(1, false, true, false, false)},
    {"OnlySetRTC", makeSettings(2, false, false, false, true, false), 2, makeChoice(2, false, false, true, false)},
    {"OnlyRestoreStatus", makeSettings(0, false, false, false, false, true), 2,
     makeChoice(0, false, false, false, true)},
    // ComMeg has no control: it never shows.
    {"ComMegHasNoControl", makeSettings(0, false, false, true, false, false), 2,
     makeChoice(0, false, false, false, false)},
    {"PortBeyondTheListShowsAuto", makeSettings(4, true, false, false, false, false), 3,
     makeChoice(0, true, false, false, false)},
    {"NegativePortShowsAuto", makeSettings(-1, false, true, false, false, false), 3,
     makeChoice(0, false, true, false, false)},
    {"NoPortsOnlyAuto", makeSettings(1, false, false, false, true, false), 0,
     makeChoice(0, false, false, true, false)},
};

INSTANTIATE_TEST_SUITE_P(Rows, ChoiceFromSettings, ::testing::ValuesIn(kLoadCases),
                         [](const auto& row) { return std::string(row.param.name); });

// ---------------------------------------------------------------------------
// OK and Connect take different parts of the choice

TEST(ConfigurationStore, OkTakesAllFiveAndKeepsComMeg) {
    for (const bool comMeg : {false, true}) {
        Settings s = makeSettings(2, true, false, comMeg, true, false);
        storeChoice(s, makeChoice(1, false, true, false, true));
        EXPECT_EQ(s, makeSettings(1, false, true, comMeg, false, true)) << "ComMeg " << comMeg;
    }
}

TEST(ConfigurationStore, ConnectTakesOnlyPortAndAuto) {
    Settings s = makeSettings(2, false, true, true, false, true);
    storeConnectChoice(s, makeChoice(3, true, false, true, false));
    EXPECT_EQ(s, makeSettings(3, true, true, true, false, true));
}

// ---------------------------------------------------------------------------
// The clock-sync menu rule after OK

struct SetRtcCase {
    const char* name;
    bool setRtc;       // SetRTC after OK
    bool itemEnabled;  // "Sync System Time per hour" before OK
    bool timerRunningBefore;
    Strings calls;
    bool itemEnabledAfter;
    bool timerRunningAfter;
};

void PrintTo(const SetRtcCase& c, std::ostream* os) { *os << c.name; }

class SetRtcRule : public ::testing::TestWithParam<SetRtcCase> {};

TEST_P(SetRtcRule, DrivesTheHourlySyncItemAndTimer) {
    const SetRtcCase& row = GetParam();
    RecordingMenu menu(row.itemEnabled);
    menu.timerRunning = row.timerRunningBefore;
    applySetRTCChoice(row.setRtc, menu);
    EXPECT_EQ(menu.calls, row.calls);
    EXPECT_EQ(menu.itemEnabled, row.itemEnabledAfter);
    EXPECT_EQ(menu.timerRunning, row.timerRunningAfter);
}

const SetRtcCase kSetRtcCases[] = {
    // SetRTC was off (item enabled): the countdown starts once.
    {"TurnedOnStartsTheCountdown", true, true, false, {"start", "disable"}, false, true},
    // SetRTC was already on (item disabled): nothing restarts.
    {"KeptOnStartsNothing", true, false, false, {"disable"}, false, false},
    {"KeptOnLeavesARunningTimer", true, false, true, {"disable"}, false, true},
    {"TurnedOffStopsTheTimer", false, false, true, {"stop", "enable"}, true, false},
    {"KeptOffEnablesTheItem", false, true, false, {"stop", "enable"}, true, false},
};

INSTANTIATE_TEST_SUITE_P(Rows, SetRtcRule, ::testing::ValuesIn(kSetRtcCases),
                         [](const auto& row) { return std::string(row.param.name); });

// ---------------------------------------------------------------------------
// After OK: the file, then the restore choice to the unit

struct AcceptedCase {
    const char* name;
    bool restoreStatus;
    const char* command;
};

void PrintTo(const AcceptedCase& c, std::ostream* os) { *os << c.name; }

class ConfigurationAccepted : public ::testing::TestWithParam<AcceptedCase> {};

TEST_P(ConfigurationAccepted, WritesTheFileThenSendsTheRestoreChoice) {
    const AcceptedCase& row = GetParam();
    TempFolder dir;
    const auto path = dir / "define.ini";
    writeBytes(path, "[Form]\nComPort=0\nChkExist=7\nAuto=1\nPrompt=1\nComMeg=1\nSetRTC=1\nRestoreStatus=1");
    Settings s = makeSettings(2, false, false, true, false, row.restoreStatus);
    ScriptedDialogs dialogs;
    Strings order;
    const auto write = [&](const std::string& text) {
        // The file is already written when the command goes out.
        order.push_back(readBytes(path).find("ComPort=2") != std::string::npos ? "file" : "no file");
        order.push_back(text);
    };

    EXPECT_EQ(configurationAccepted(s, path, dialogs, write), SettingsFileResult::done);

    EXPECT_EQ(order, (Strings{"file", row.command}));
    EXPECT_TRUE(dialogs.shown.empty());
    const std::string text = lowered(readBytes(path));
    EXPECT_NE(text.find("auto=0"), std::string::npos) << text;
    EXPECT_NE(text.find(std::string("restorestatus=") + (row.restoreStatus ? "1" : "0")), std::string::npos) << text;
    EXPECT_NE(text.find("chkexist=7"), std::string::npos) << text;
}

TEST_P(ConfigurationAccepted, SendsTheChoiceEvenWhenTheFileCannotBeCreated) {
    const AcceptedCase& row = GetParam();
    TempFolder dir;
    // A plain file where the folder should be: define.ini cannot be created.
    writeBytes(dir / "blocker", "x");
    const auto path = dir / "blocker" / "define.ini";
    Settings s = makeSettings(1, true, true, false, true, row.restoreStatus);
    ScriptedDialogs dialogs;
    Strings sent;

    EXPECT_EQ(configurationAccepted(s, path, dialogs, [&](const std::string& t) { sent.push_back(t); }),
              SettingsFileResult::cannotCreate);

    EXPECT_EQ(sent, (Strings{row.command}));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Can not find configuration file !");
}

TEST(ConfigurationAcceptedNoLink, AnEmptyPortWriterIsNotCalled) {
    TempFolder dir;
    const auto path = dir / "define.ini";
    Settings s = makeSettings(0, true, true, true, true, true);
    ScriptedDialogs dialogs;
    EXPECT_EQ(configurationAccepted(s, path, dialogs, {}), SettingsFileResult::done);
    EXPECT_NE(lowered(readBytes(path)).find("auto=1"), std::string::npos) << readBytes(path);
}

const AcceptedCase kAcceptedCases[] = {
    {"RestoreOnSendsEN001", true, "/EN001\\"},
    {"RestoreOffSendsDS001", false, "/DS001\\"},
};

INSTANTIATE_TEST_SUITE_P(Rows, ConfigurationAccepted, ::testing::ValuesIn(kAcceptedCases),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace velmora
