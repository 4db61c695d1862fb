#include "cli/cli_exit.h"
#include "cli/cli_output.h"
#include "cli/upgrade_progress.h"

#include <gtest/gtest.h>

#include "json_reader.h"
#include "link/serial_link.h"

namespace velmora::cli {
namespace {

using test::Json;
using test::JsonReader;

UnitView unitWith(const std::vector<std::string>& states, const std::vector<float>& currents) {
    UnitView u;
    u.bankCount = static_cast<int>(states.size());
    for (std::size_t i = 0; i < states.size(); ++i) {
        BankView b;
        b.bank = static_cast<int>(i + 1);
        b.portStates = states[i];
        b.timerFlags = "GGGGGGGG";
        b.current = currents[i];
        b.currentKnown = true;
        b.version = "1203";
        for (int p = 1; p <= 8; ++p) {
            b.ports[static_cast<std::size_t>(p - 1)].port = p;
            b.ports[static_cast<std::size_t>(p - 1)].on = p <= static_cast<int>(states[i].size()) &&
                                                          states[i][static_cast<std::size_t>(p - 1)] == 'O';
        }
        u.banks.push_back(b);
    }
    return u;
}

TEST(CliOutput, StatusJsonReadsBackWithEveryKey) {
    UnitView u = unitWith({"OCCCCCCO", "CCCCCCCC"}, {2.5f, 0.0f});
    u.banks[0].timerFlags = "GGFGGGGG";
    u.banks[0].ports[2].flagged = true;
    u.banks[0].ports[7].timeLeft = PortTime{2, 5, false, true};
    u.banks[1].version = "ab\"c";
    const Json j = JsonReader::parse(statusJson(u));
    EXPECT_EQ(j["bankCount"].number, 2);
    ASSERT_EQ(j["banks"].items.size(), 2u);
    const Json& b1 = j["banks"][0];
    EXPECT_EQ(b1["bank"].number, 1);
    EXPECT_EQ(b1["version"].text, "1203");
    EXPECT_DOUBLE_EQ(b1["current"].number, 2.5);
    EXPECT_EQ(b1["portStates"].text, "OCCCCCCO");
    EXPECT_EQ(b1["timerFlags"].text, "GGFGGGGG");
    ASSERT_EQ(b1["ports"].items.size(), 8u);
    EXPECT_TRUE(b1["ports"][0]["on"].boolean);
    EXPECT_FALSE(b1["ports"][1]["on"].boolean);
    EXPECT_TRUE(b1["ports"][2]["timerFlagged"].boolean);
    EXPECT_TRUE(b1["ports"][0]["timeLeft"].isNull());
    const Json& left = b1["ports"][7]["timeLeft"];
    EXPECT_EQ(left["hours"].number, 2);
    EXPECT_EQ(left["minutes"].number, 5);
    EXPECT_FALSE(left["due"].boolean);
    EXPECT_EQ(left["timer"].text, "power-on");
    EXPECT_EQ(j["banks"][1]["version"].text, "ab\"c");
}

TEST(CliOutput, StatusTextIsOneAlignedRowPerPort) {
    UnitView u = unitWith({"OCCCCCCC"}, {1.5f});
    u.banks[0].ports[1].timeLeft = PortTime{0, 0, true, false};
    const std::string t = statusText(u);
    EXPECT_NE(t.find("Velmora unit with 1 bank\n"), std::string::npos) << t;
    EXPECT_NE(t.find("   1  1203      1.5 A\n"), std::string::npos) << t;
    EXPECT_NE(t.find("   1     1  on     normal\n"), std::string::npos) << t;
    EXPECT_NE(t.find("   1     2  off    normal      due power-off\n"), std::string::npos) << t;
}

TEST(CliOutput, JsonStringsEscapeQuotesControlAndEightBitBytes) {
    const struct {
        std::string in, out;
    } cases[] = {{"plain", "\"plain\""},
                 {"a\"b\\c", "\"a\\\"b\\\\c\""},
                 {std::string("\r\n\x01", 3), "\"\\r\\n\\u0001\""},
                 {"\xE9", "\"\\u00e9\""}};
    for (const auto& c : cases) {
        EXPECT_EQ(jsonString(c.in), c.out);
        EXPECT_EQ(JsonReader::parse(jsonString(c.in)).text, c.in);
    }
}

TEST(CliOutput, TimeLeftTexts) {
    EXPECT_EQ(timeLeftText(std::nullopt), "");
    EXPECT_EQ(timeLeftText(PortTime{2, 5, false, true}), "2:05 power-on");
    EXPECT_EQ(timeLeftText(PortTime{167, 59, false, false}), "167:59 power-off");
    EXPECT_EQ(timeLeftText(PortTime{0, 0, true, true}), "due power-on");
}

struct AddressCase {
    const char* name;
    int bank, port, bankCount;
    std::size_t ports;
    int firstBank, firstPort, lastBank, lastPort;
};

class AddressedPorts : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AddressedPorts, AsOnTheWire) {
    const AddressCase& c = GetParam();
    const auto ports = addressedPorts(c.bank, c.port, c.bankCount);
    ASSERT_EQ(ports.size(), c.ports);
    if (ports.empty()) return;
    EXPECT_EQ(ports.front().bank, c.firstBank);
    EXPECT_EQ(ports.front().port, c.firstPort);
    EXPECT_EQ(ports.back().bank, c.lastBank);
    EXPECT_EQ(ports.back().port, c.lastPort);
}

INSTANTIATE_TEST_SUITE_P(Cli, AddressedPorts,
                         ::testing::Values(AddressCase{"OnePort", 2, 3, 3, 1, 2, 3, 2, 3},
                                           AddressCase{"WholeBank", 3, 0, 3, 8, 3, 1, 3, 8},
                                           AddressCase{"EveryBank", 0, 0, 2, 16, 1, 1, 2, 8},
                                           AddressCase{"BankBeyondTheUnit", 4, 1, 3, 0, 0, 0, 0, 0},
                                           AddressCase{"EveryBankStopsAtSixteen", 0, 0, 19, 128, 1, 1, 16, 8},
                                           AddressCase{"NoBanksReported", 1, 1, 0, 0, 0, 0, 0, 0}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(CliOutput, SwitchCommandsAreTheWindowsTexts) {
    EXPECT_EQ(switchCommand(true, 2, 3), "/O023\\");
    EXPECT_EQ(switchCommand(false, 12, 8), "/F128\\");
    EXPECT_EQ(switchCommand(true, 1, 0), "/O010\\");
    EXPECT_EQ(switchCommand(false, 0, 0), "/F000\\");
}

TEST(CliOutput, PortsShowOnlyWhatTheUnitReported) {
    const UnitView u = unitWith({"OCCCCCCC", ""}, {0, 0});
    EXPECT_TRUE(portsShow(u, addressedPorts(1, 1, 2), true));
    EXPECT_FALSE(portsShow(u, addressedPorts(1, 1, 2), false));
    EXPECT_FALSE(portsShow(u, addressedPorts(1, 0, 2), true));
    EXPECT_TRUE(portsShow(u, {{1, 2}, {1, 8}}, false));
    // Bank 2 has not reported its states: nothing about it is confirmed.
    EXPECT_FALSE(portsShow(u, addressedPorts(2, 1, 2), false));
    EXPECT_FALSE(portsShow(u, {}, true));
}

TEST(CliOutput, WatchReportsEveryPortAndCurrentOnceThenOnlyChanges) {
    const UnitView first = unitWith({"OCCCCCCC"}, {1.5f});
    const auto initial = watchChanges(UnitView{}, first);
    ASSERT_EQ(initial.size(), 9u);  // eight ports and the current
    EXPECT_EQ(watchLine(initial[0], false), "bank 1 port 1 on");
    EXPECT_EQ(watchLine(initial[1], false), "bank 1 port 2 off");
    EXPECT_EQ(watchLine(initial[8], false), "bank 1 current 1.5 A");

    EXPECT_TRUE(watchChanges(first, first).empty());
    const UnitView second = unitWith({"OCCOCCCC"}, {2.0f});
    const auto changed = watchChanges(first, second);
    ASSERT_EQ(changed.size(), 2u);
    EXPECT_EQ(watchLine(changed[0], true), "{\"event\":\"port\",\"bank\":1,\"port\":4,\"on\":true}");
    EXPECT_EQ(watchLine(changed[1], true), "{\"event\":\"current\",\"bank\":1,\"current\":2}");
    for (const auto& e : changed) EXPECT_NO_THROW(JsonReader::parse(watchLine(e, true)));
}

TEST(CliOutput, WatchWaitsForAnUnknownCurrent) {
    UnitView u = unitWith({"CCCCCCCC"}, {0.0f});
    u.banks[0].currentKnown = false;
    EXPECT_EQ(watchChanges(UnitView{}, u).size(), 8u);
}

struct OpenCase {
    const char* name;
    SerialStatus status;
    const char* says;
};

class OpenFailure : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenFailure, SaysWhyInWords) {
    const std::string t = openFailureText("/dev/ttyUSB0", GetParam().status);
    EXPECT_NE(t.find("/dev/ttyUSB0"), std::string::npos);
    EXPECT_NE(t.find(GetParam().says), std::string::npos) << t;
}

INSTANTIATE_TEST_SUITE_P(Cli, OpenFailure,
                         ::testing::Values(OpenCase{"Missing", SerialStatus::notFound, "no such device"},
                                           OpenCase{"Permission", SerialStatus::accessDenied, "dialout"},
                                           OpenCase{"Busy", SerialStatus::busy, "busy"},
                                           OpenCase{"BusyNamesTheWindow", SerialStatus::busy, "window"},
                                           OpenCase{"NotASerialPort", SerialStatus::failed, "not a serial port"}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(CliExit, ScanWithoutAnswerIsNotFoundUnlessAPortWasBusyOrForbidden) {
    const ScanVerdict none = noUnitVerdict({}, 3);
    EXPECT_EQ(none.exitCode, kExitNoUnit);
    EXPECT_EQ(none.text, kNotFoundMessage);

    const ScanVerdict empty = noUnitVerdict({}, 0);
    EXPECT_EQ(empty.exitCode, kExitNoUnit);
    EXPECT_NE(empty.text.find("--port"), std::string::npos);

    const ScanVerdict missingOnly = noUnitVerdict({{"/dev/ttyS1", SerialStatus::notFound}}, 1);
    EXPECT_EQ(missingOnly.exitCode, kExitNoUnit);

    const ScanVerdict busy = noUnitVerdict(
        {{"/dev/ttyS1", SerialStatus::notFound}, {"/dev/ttyUSB0", SerialStatus::busy}, {"/dev/ttyUSB1", SerialStatus::accessDenied}},
        3);
    EXPECT_EQ(busy.exitCode, kExitPort);
    EXPECT_NE(busy.text.find("/dev/ttyUSB0"), std::string::npos);
    EXPECT_NE(busy.text.find("busy"), std::string::npos);
    EXPECT_NE(busy.text.find("dialout"), std::string::npos);
    EXPECT_EQ(busy.text.find("/dev/ttyS1"), std::string::npos);
}

TEST(CliExit, SignalsGiveTheShellsCodes) {
    EXPECT_EQ(exitCodeForSignal(2), 130);
    EXPECT_EQ(exitCodeForSignal(15), 143);
}

TEST(UpgradeProgressBar, PercentBytesAndTimeLeft) {
    EXPECT_EQ(formatProgress({0, 0, 1002, 0}, 10), "[..........]   0%  0/1002 bytes  --:-- left");
    EXPECT_EQ(formatProgress({50, 501, 1002, 30000}, 10), "[#####.....]  50%  501/1002 bytes  0:30 left");
    EXPECT_EQ(formatProgress({100, 1002, 1002, 60000}, 10), "[##########] 100%  1002/1002 bytes  0:00 left");
    // The window's bar can go past 100 at the last byte; ours stays full.
    EXPECT_EQ(formatProgress({130, 10, 10, 10}, 4), "[####] 100%  10/10 bytes  0:00 left");
    EXPECT_EQ(minutesSeconds(61000), "1:01");
    EXPECT_EQ(minutesSeconds(3723000), "62:03");
}

TEST(UpgradeProgressBar, PlainLinesOnePerTenthWhenNotATerminal) {
    std::ostringstream err;
    std::int64_t now = 0;
    std::int64_t sent = 0;
    ConsoleUpgradeView view(err, false, [&] { return now; }, [&] { return std::pair<std::int64_t, std::int64_t>{sent, 100}; });
    view.showDialog();
    for (int i = 0; i <= 100; ++i) {
        sent = i;
        now = i * 10;
        view.setProgress(i);
    }
    view.closeDialog();
    const std::string text = err.str();
    std::size_t lines = 0;
    for (char c : text) lines += c == '\n';
    EXPECT_EQ(lines, 12u) << text;  // the prompt line and 0, 10, ... 100 %
    EXPECT_EQ(text.find('\r'), std::string::npos);
}

}  // namespace
}  // namespace velmora::cli
