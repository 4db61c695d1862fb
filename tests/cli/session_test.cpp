// velmoractl's commands in this process: against the simulated unit on a
// pty, and against scripted ports for the units that misbehave.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "json_reader.h"
#include "link/serial_link.h"
#include "maintenance/clock_sync.h"
#include "maintenance/firmware_upgrade.h"
#include "session_rig.h"
#include "support/temp_folder.h"

namespace velmora::cli {
namespace {

using test::CliRun;
using test::SessionRig;
using velmora::test::Json;
using velmora::test::JsonReader;
using testing_support::TempFolder;
using testing_support::writeBytes;
using testing_support::readBytes;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

sim::UnitConfig unit(int banks) {
    sim::UnitConfig c;
    c.banks = banks;
    return c;
}

std::size_t countOf(const std::vector<std::string>& commands, const std::string& body) {
    return static_cast<std::size_t>(std::count(commands.begin(), commands.end(), body));
}

// ---- status ----

TEST(CliStatus, JsonIsTheSimulatedUnitsOwnState) {
    SessionRig rig(unit(3));
    ASSERT_TRUE(rig.started());
    rig.sim().withModel([](sim::UnitModel& m) {
        m.setPort(1, 1, true);
        m.setPort(2, 8, true);
        m.setPort(3, 4, true);
        m.setTimerFlag(3, 2, true);
        // A power-off timer of bank 1 port 3, one hour from now.
        m.feed(std::string("/T0130 0010000\\"));
        return 0;
    });
    const CliRun r = rig.run("--json status");
    ASSERT_EQ(r.code, kExitDone) << r.err;
    const Json j = JsonReader::parse(r.out);
    const int banks = rig.sim().withModel([](sim::UnitModel& m) { return m.bankCount(); });
    ASSERT_EQ(j["bankCount"].number, banks);
    ASSERT_EQ(j["banks"].items.size(), 3u);
    for (int b = 1; b <= banks; ++b) {
        const Json& bank = j["banks"][static_cast<std::size_t>(b - 1)];
        SCOPED_TRACE(b);
        rig.sim().withModel([&](sim::UnitModel& m) {
            EXPECT_EQ(bank["bank"].number, b);
            EXPECT_EQ(bank["portStates"].text, m.portStates(b));
            EXPECT_EQ(bank["timerFlags"].text, m.timerFlags(b));
            EXPECT_EQ(bank["version"].text, m.version(b));
            EXPECT_NEAR(bank["current"].number, m.bankCurrentTenths(b) / 10.0, 1e-6);
            for (int p = 1; p <= 8; ++p) {
                const Json& port = bank["ports"][static_cast<std::size_t>(p - 1)];
                EXPECT_EQ(port["on"].boolean, m.portOn(b, p)) << "port " << p;
                EXPECT_EQ(port["timerFlagged"].boolean, m.timerFlags(b)[static_cast<std::size_t>(p - 1)] == 'F');
            }
            return 0;
        });
    }
    const Json& left = j["banks"][0]["ports"][2]["timeLeft"];
    ASSERT_FALSE(left.isNull());
    EXPECT_EQ(left["timer"].text, "power-off");
    const double minutes = left["hours"].number * 60 + left["minutes"].number;
    EXPECT_GE(minutes, 59);
    EXPECT_LE(minutes, 60);
    EXPECT_TRUE(j["banks"][0]["ports"][0]["timeLeft"].isNull());
}

TEST(CliStatus, TextShowsEveryPortOfEveryBank) {
    SessionRig rig(unit(2));
    ASSERT_TRUE(rig.started());
    rig.sim().withModel([](sim::UnitModel& m) {
        m.setPort(2, 5, true);
        return 0;
    });
    const CliRun r = rig.run("status");
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_TRUE(has(r.out, "Velmora unit with 2 banks")) << r.out;
    EXPECT_TRUE(has(r.out, "   2     5  on     normal\n")) << r.out;
    EXPECT_TRUE(has(r.out, "   1     8  off    normal\n")) << r.out;
}

// ---- on, off, cycle ----

struct SwitchCase {
    const char* name;
    const char* line;
    bool startOn;        // every port of the unit before the command
    const char* written;  // the switching command the unit must receive
    std::vector<std::pair<int, int>> ports;  // ports that must then read `on`
    bool on;
};

class CliSwitching : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(CliSwitching, ReachesTheUnitAndIsConfirmed) {
    const SwitchCase& c = GetParam();
    SessionRig rig(unit(2));
    ASSERT_TRUE(rig.started());
    rig.sim().withModel([&](sim::UnitModel& m) {
        for (int b = 1; b <= 2; ++b)
            for (int p = 1; p <= 8; ++p) m.setPort(b, p, c.startOn);
        return 0;
    });
    const CliRun r = rig.run(c.line);
    ASSERT_EQ(r.code, kExitDone) << r.err;
    const auto commands = rig.sim().commands();
    EXPECT_EQ(countOf(commands, c.written), 1u);
    rig.sim().withModel([&](sim::UnitModel& m) {
        for (auto [b, p] : c.ports) EXPECT_EQ(m.portOn(b, p), c.on) << b << "/" << p;
        return 0;
    });
    // Confirmed by a status answer that came after the command.
    const auto sent = std::find(commands.begin(), commands.end(), c.written);
    EXPECT_NE(std::find(sent, commands.end(), "C"), commands.end());
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliSwitching,
    ::testing::Values(SwitchCase{"OnePortOn", "on 1 3", false, "O013", {{1, 3}}, true},
                      SwitchCase{"OnePortOff", "off 2 8", true, "F028", {{2, 8}}, false},
                      SwitchCase{"WholeBankOn", "on 2 0", false, "O020", {{2, 1}, {2, 4}, {2, 8}}, true},
                      SwitchCase{"EveryBankOff", "off 0 0", true, "F000", {{1, 1}, {1, 8}, {2, 1}, {2, 8}}, false},
                      SwitchCase{"CycleEndsOn", "cycle 1 5 --delay 0", true, "O015", {{1, 5}}, true}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(CliSwitching, CycleSwitchesOffWaitsThenOn) {
    SessionRig rig(unit(1));
    ASSERT_TRUE(rig.started());
    const CliRun r = rig.run("--json cycle 1 2 --delay 0.1");
    ASSERT_EQ(r.code, kExitDone) << r.err;
    const auto commands = rig.sim().commands();
    const auto off = std::find(commands.begin(), commands.end(), "F012");
    ASSERT_NE(off, commands.end());
    EXPECT_NE(std::find(off, commands.end(), "O012"), commands.end());
    const Json j = JsonReader::parse(r.out);
    EXPECT_EQ(j["command"].text, "cycle");
    EXPECT_TRUE(j["confirmed"].boolean);
    EXPECT_EQ(j["portStates"][0]["portStates"].text.substr(0, 2), "CO");
}

TEST(CliSwitching, BankTheUnitDoesNotHaveIsBadUsageAndNothingIsSwitched) {
    SessionRig rig(unit(2));
    ASSERT_TRUE(rig.started());
    const CliRun r = rig.run("on 3 1");
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_TRUE(has(r.err, "the unit has 2 banks")) << r.err;
    EXPECT_EQ(countOf(rig.sim().commands(), "O031"), 0u);
}

// A unit that answers polls but never switches.
std::shared_ptr<ScriptedSerialDevice> stubbornUnit() {
    auto fake = std::make_shared<ScriptedSerialDevice>();
    fake->answerWrites("/uni\\", "/xyz\\");
    fake->answerWrites("/C\\", "/M1\\/S1 CCCCCCCC GGGGGGGG 0.0\\");
    return fake;
}

TEST(CliSwitching, UnconfirmedSwitchingFailsWithThreeAtTheWindowsPollPace) {
    auto fake = stubbornUnit();
    SessionRig rig(fake);
    const std::int64_t start = rig.now();
    const CliRun r = rig.run("--timeout 12 on 1 1");
    EXPECT_EQ(r.code, kExitNotConfirmed);
    EXPECT_TRUE(has(r.err, "did not confirm")) << r.err;
    const std::string written = fake->writtenText();
    std::size_t polls = 0;
    for (std::size_t at = 0; (at = written.find("/C\\", at)) != std::string::npos; at += 3) ++polls;
    // The first answer, then one poll right after the command and one every
    // 5 s until the 12 s are up.
    EXPECT_EQ(polls, 4u) << written;
    EXPECT_EQ(written.find("/O011\\"), written.rfind("/O011\\"));
    EXPECT_LE(rig.now() - start, 12000 + 12000 + 2 * kLoopTickMs);  // greeting wait + switching wait at most
}

// ---- silent and missing units ----

TEST(CliConnect, SilentUnitExitsOneWithinTheTimeout) {
    auto fake = std::make_shared<ScriptedSerialDevice>();
    SessionRig rig(fake);
    const std::int64_t start = rig.now();
    const CliRun r = rig.run("--timeout 3 status");
    EXPECT_EQ(r.code, kExitNoUnit);
    EXPECT_TRUE(has(r.err, kNotFoundMessage)) << r.err;
    EXPECT_TRUE(has(r.err, "greeting")) << r.err;
    EXPECT_GE(rig.now() - start, 3000);
    EXPECT_LE(rig.now() - start, 3000 + kLoopTickMs);
    // It greeted byte by byte and asked for the information, as the window does.
    EXPECT_EQ(fake->writtenText().substr(0, 5), "/uni\\");
    EXPECT_EQ(fake->writes().front().size(), 1u);
}

TEST(CliConnect, UnitThatGreetsButNeverReportsExitsOne) {
    auto fake = std::make_shared<ScriptedSerialDevice>();
    fake->answerWrites("/uni\\", "/xyz\\");
    SessionRig rig(fake);
    const CliRun r = rig.run("--timeout 2 status");
    EXPECT_EQ(r.code, kExitNoUnit);
    EXPECT_TRUE(has(r.err, "status poll")) << r.err;
}

TEST(CliConnect, UnitWithoutFirmwareIsNoUnitForEveryCommandButUpgrade) {
    sim::UnitConfig c = unit(1);
    c.faults.missingFirmware = true;
    SessionRig rig(c);
    ASSERT_TRUE(rig.started());
    const CliRun r = rig.run("status");
    EXPECT_EQ(r.code, kExitNoUnit);
    EXPECT_TRUE(has(r.err, kFirmwareFailureText)) << r.err;
}

TEST(CliConnect, BusyPortExitsFourAndSaysBusy) {
    SessionRig rig(unit(1));
    ASSERT_TRUE(rig.started());
    auto holder = makeSerialDevice();  // the window, say
    ASSERT_EQ(holder->open(rig.device(), SerialMode::link), SerialStatus::ok);
    const CliRun r = rig.run("status");
    EXPECT_EQ(r.code, kExitPort);
    EXPECT_TRUE(has(r.err, "busy")) << r.err;
    EXPECT_TRUE(has(r.err, rig.device())) << r.err;
    // Nothing reached the unit: the port was never ours.
    EXPECT_TRUE(rig.sim().received().empty());
    holder->close();
}

TEST(CliConnect, MissingDeviceExitsFour) {
    auto fake = std::make_shared<ScriptedSerialDevice>();
    fake->setOpenResult("/dev/scripted0", SerialStatus::notFound);
    SessionRig rig(fake);
    const CliRun r = rig.run("status");
    EXPECT_EQ(r.code, kExitPort);
    EXPECT_TRUE(has(r.err, "no such device")) << r.err;
}

TEST(CliConnect, PortScanUsesTheFirstPortWhereTheUnitAnswers) {
    SessionRig rig(unit(1));
    ASSERT_TRUE(rig.started());
    rig.setPorts({{1, "ttyS9", "/dev/velmora-no-such-port"}, {2, "pts", rig.device()}});
    const CliRun r = rig.run("version", true);
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_TRUE(has(r.out, "Bank  1  1203")) << r.out;
}

TEST(CliConnect, PortScanThatMeetsOnlyABusyPortSaysBusy) {
    SessionRig rig(unit(1));
    ASSERT_TRUE(rig.started());
    rig.setPorts({{1, "pts", rig.device()}});
    auto holder = makeSerialDevice();
    ASSERT_EQ(holder->open(rig.device(), SerialMode::link), SerialStatus::ok);
    const CliRun r = rig.run("status", true);
    EXPECT_EQ(r.code, kExitPort);
    EXPECT_TRUE(has(r.err, "busy")) << r.err;
    holder->close();
}

TEST(CliConnect, PortScanWithoutPortsIsNoUnit) {
    auto fake = std::make_shared<ScriptedSerialDevice>();
    SessionRig rig(fake);
    const CliRun r = rig.run("status", true);
    EXPECT_EQ(r.code, kExitNoUnit);
    EXPECT_TRUE(has(r.err, "no serial port found")) << r.err;
}

// ---- version, clock ----

TEST(CliVersion, EveryBanksAnswerToTheVersionRequest) {
    sim::UnitConfig c = unit(2);
    c.versions = {"1203", "1310"};
    SessionRig rig(c);
    ASSERT_TRUE(rig.started());
    const CliRun r = rig.run("--json version");
    ASSERT_EQ(r.code, kExitDone) << r.err;
    const Json j = JsonReader::parse(r.out);
    EXPECT_EQ(j["versions"][0]["version"].text, "1203");
    EXPECT_EQ(j["versions"][1]["version"].text, "1310");
    EXPECT_EQ(j["versions"][1]["bank"].number, 2);
}

TEST(CliClock, SetsTheUnitsClockWithTheExactCommand) {
    sim::UnitConfig c = unit(1);
    SessionRig rig(c);
    ASSERT_TRUE(rig.started());
    rig.clock().set(LocalMoment{2026, 12, 7, 2, 9, 5, 3});
    const CliRun r = rig.run("clock");
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_EQ(countOf(rig.sim().commands(), "SETTIME2026-12-07 09:05:03"), 1u);
    const LocalMoment unitClock = rig.sim().withModel([](sim::UnitModel& m) { return m.clock(); });
    EXPECT_EQ(unitClock.year, 2026);
    EXPECT_EQ(unitClock.month, 12);
    EXPECT_EQ(unitClock.day, 7);
    EXPECT_EQ(unitClock.hour, 9);
}

TEST(CliClock, ClockFailureReportIsNotConfirmed) {
    sim::UnitConfig c = unit(1);
    c.faults.clockError = true;
    SessionRig rig(c);
    ASSERT_TRUE(rig.started());
    const CliRun r = rig.run("clock");
    EXPECT_EQ(r.code, kExitNotConfirmed);
    EXPECT_TRUE(has(r.err, kClockFailureText)) << r.err;
}

TEST(CliClock, PcClockOutsideTheCenturyIsRefusedBeforeTheUnitIsTouched) {
    const LocalMoment refused[] = {{1999, 12, 31, 6, 23, 59, 59}, {2100, 1, 1, 6, 0, 0, 0}};
    for (const LocalMoment& m : refused) {
        SessionRig rig(unit(1));
        ASSERT_TRUE(rig.started());
        rig.clock().set(m);
        const CliRun r = rig.run("clock");
        EXPECT_EQ(r.code, kExitUsage) << m.year;
        EXPECT_TRUE(has(r.err, "2000 to 2099")) << r.err;
        EXPECT_TRUE(rig.sim().received().empty());
    }
}

// ---- schedules ----

TEST(CliSchedule, SentScheduleIsHeldByTheUnit) {
    TempFolder folder;
    SessionRig rig(unit(2));
    ASSERT_TRUE(rig.started());
    // Bank 1 port 3 power-on every week on Monday 7:30; bank 2 port 1
    // power-off at 22:00.
    writeBytes(folder / "in.pwr", "0 0 2 1 0 3 2 7 30 1 1 0 1 0 1 0 22 0 ");
    const CliRun sent = rig.run("schedule send " + (folder / "in.pwr").string());
    ASSERT_EQ(sent.code, kExitDone) << sent.err;
    EXPECT_TRUE(has(sent.out, "Sent 2 commands")) << sent.out;
    rig.sim().withModel([](sim::UnitModel& m) {
        const auto weekly = m.timer(1, 3, 1);
        EXPECT_TRUE(weekly && weekly->letter == 'W');
        const auto evening = m.timer(2, 1, 0);
        EXPECT_TRUE(evening && evening->letter == 'T');
        return 0;
    });

}

TEST(CliSchedule, SavedScheduleHoldsTheUnitsReportedTimers) {
    TempFolder folder;
    const auto out = folder / "out.pwr";
    SessionRig reader(unit(2));
    ASSERT_TRUE(reader.started());
    reader.sim().withModel([](sim::UnitModel& m) {
        m.feed(std::string("/W0131 1234500\\"));
        return 0;
    });
    const CliRun keep = reader.run("schedule save " + out.string());
    ASSERT_EQ(keep.code, kExitDone) << keep.err;
    const std::string text = readBytes(out);
    std::istringstream numbers(text);
    std::vector<int> v;
    for (int n; numbers >> n;) v.push_back(n);
    ASSERT_EQ(v.size(), 2u * 16u * 9u) << text;
    // Record of power-on, bank index 0, port index 2: enabled every-week timer.
    const std::size_t at = 2 * 9;
    EXPECT_EQ(v[at + 0], 0);
    EXPECT_EQ(v[at + 1], 0);
    EXPECT_EQ(v[at + 2], 2);
    EXPECT_EQ(v[at + 3], 1);
    EXPECT_EQ(v[at + 5], 3);
}

TEST(CliSchedule, UnconfirmedCommandFailsWithThree) {
    auto fake = stubbornUnit();  // confirms nothing
    TempFolder folder;
    writeBytes(folder / "one.pwr", "1 0 0 1 0 1 0 22 0 ");
    SessionRig rig(fake);
    const CliRun r = rig.run("--timeout 2 schedule send " + (folder / "one.pwr").string());
    EXPECT_EQ(r.code, kExitNotConfirmed);
    EXPECT_TRUE(has(r.err, "did not confirm /T0110")) << r.err;
    EXPECT_TRUE(has(r.err, "0 of 1")) << r.err;
}

TEST(CliSchedule, UnreadableFilesAreBadUsageAndNothingIsSent) {
    TempFolder folder;
    auto fake = std::make_shared<ScriptedSerialDevice>();
    SessionRig rig(fake);
    const CliRun missing = rig.run("schedule send " + (folder / "none.pwr").string());
    EXPECT_EQ(missing.code, kExitUsage);
    EXPECT_TRUE(has(missing.err, "no such file")) << missing.err;
    EXPECT_TRUE(fake->writtenText().empty());
}

TEST(CliSchedule, SaveIntoAMissingFolderIsBadUsage) {
    SessionRig rig(unit(1));
    ASSERT_TRUE(rig.started());
    const CliRun r = rig.run("schedule save /nonexistent-folder/velmora/x.pwr");
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_TRUE(has(r.err, "cannot save the schedule")) << r.err;
}

// ---- outlets by name ----

TEST(CliNames, OutletsByTheNamesTheUserGaveThem) {
    SessionRig rig(unit(2));
    ASSERT_TRUE(rig.started());
    rig.names = [&](const std::string& device, int banks) {
        OutletNames n;
        if (device != rig.device() || banks != 2) return n;  // another unit's names
        n.rename(1, 3, "router");
        n.rename(2, 5, "DUT 3");
        n.rename(2, 6, "twin");
        n.rename(2, 7, "twin");
        return n;
    };
    CliRun r = rig.run("on router");
    EXPECT_EQ(r.code, kExitDone) << r.err;
    EXPECT_EQ(r.out, "Bank 1 Port 3 is on\n");
    r = rig.run("--json status");
    EXPECT_TRUE(has(r.out, R"("port":3,"on":true,"timerFlagged":false,"timeLeft":null,"name":"router")")) << r.out;
    const struct {
        std::vector<std::string> args;
        int code;
        const char* says;
    } cases[] = {
        {{"--port", rig.device(), "off", "DUT 3"}, kExitDone, ""},
        {{"--port", rig.device(), "cycle", "twin"}, kExitUsage, "names 2 outlets"},
        {{"--port", rig.device(), "on", "gateway"}, kExitUsage, "no outlet is named \"gateway\""},
    };
    for (const auto& c : cases) {
        const Parse p = parseArguments(c.args);
        ASSERT_TRUE(p.ok()) << p.error;
        EXPECT_EQ(p.options.outletNameGiven, c.args[3]);
        const CliRun run = rig.run(c.args[2] + " \"" + c.args[3] + "\"");
        EXPECT_EQ(run.code, c.code) << c.args[3] << ": " << run.err;
        EXPECT_TRUE(has(run.err, c.says)) << run.err;
    }
}

// ---- upgrade ----

TEST(CliUpgrade, ImageGoesOutPacedByTheUnitAndTheNewVersionsAreShown) {
    TempFolder folder;
    std::string image(300, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7);
    writeBytes(folder / "fw.x", image);
    sim::UnitConfig c = unit(2);
    c.imageLength = 302;  // the file, 0xFF and the zero behind it
    SessionRig rig(c);
    ASSERT_TRUE(rig.started());
    const CliRun r = rig.run("--json upgrade " + (folder / "fw.x").string());
    ASSERT_EQ(r.code, kExitDone) << r.err;
    const Json j = JsonReader::parse(r.out);
    EXPECT_TRUE(j["completed"].boolean);
    EXPECT_EQ(j["bytes"].number, 300);
    EXPECT_EQ(j["versions"][0]["version"].text, "1204");
    EXPECT_EQ(rig.sim().withModel([](sim::UnitModel& m) { return m.upgradeBytesReceived(); }), 302);
}

TEST(CliUpgrade, FailedUpgradeIsNotConfirmed) {
    TempFolder folder;
    writeBytes(folder / "fw.x", std::string(100, 'x'));
    sim::UnitConfig c = unit(1);
    c.imageLength = 102;
    c.faults.upgradeFailures = 1;
    SessionRig rig(c);
    ASSERT_TRUE(rig.started());
    const CliRun r = rig.run("upgrade " + (folder / "fw.x").string());
    EXPECT_EQ(r.code, kExitNotConfirmed);
    EXPECT_TRUE(has(r.err, kFirmwareFailureText)) << r.err;
}

// A unit without firmware greets with "abc". Whether the probe found the
// port (and heard "abc" first) or --port named it, that answer belongs to
// the connection, not to the upgrade that follows: the image goes out once
// the loader prompts, and the unit runs again.
TEST(CliUpgrade, UnitWithoutFirmwareIsBroughtBackFoundByTheProbeOrNamed) {
    for (const bool probe : {true, false}) {
        SCOPED_TRACE(probe ? "found by the probe" : "named with --port");
        TempFolder folder;
        writeBytes(folder / "fw.x", std::string(300, 'f'));
        sim::UnitConfig c = unit(1);
        c.faults.missingFirmware = true;
        c.loaderPromptEveryMs = 200;
        c.imageLength = 302;
        SessionRig rig(c);
        ASSERT_TRUE(rig.started());
        rig.setPorts({{1, "pts", rig.device()}});
        const CliRun r = rig.run("upgrade " + (folder / "fw.x").string(), probe);
        EXPECT_EQ(r.code, kExitDone) << r.err;
        EXPECT_FALSE(has(r.err, kReloadFirmwareText)) << r.err;
        EXPECT_TRUE(rig.sim().withModel([](sim::UnitModel& m) { return m.firmwareValid(); }));
        EXPECT_EQ(rig.sim().withModel([](sim::UnitModel& m) { return m.upgradeBytesReceived(); }), 302);
    }
}

TEST(CliUpgrade, FilesTheWindowRefusesAreRefusedBeforeConnecting) {
    TempFolder folder;
    writeBytes(folder / "empty.x", "");
    writeBytes(folder / "large.x", std::string(static_cast<std::size_t>(kLargestFirmwareFile) + 1, 'a'));
    const struct {
        std::string file, says;
    } cases[] = {{(folder / "empty.x").string(), firmwareEmptyText((folder / "empty.x").string())},
                 {(folder / "large.x").string(), firmwareTooLargeText((folder / "large.x").string())},
                 {(folder / "none.x").string(), "cannot be read: no such file"}};
    for (const auto& c : cases) {
        auto fake = std::make_shared<ScriptedSerialDevice>();
        SessionRig rig(fake);
        const CliRun r = rig.run("upgrade " + c.file);
        EXPECT_EQ(r.code, kExitUsage) << c.file;
        EXPECT_TRUE(has(r.err, c.says)) << r.err;
        EXPECT_EQ(fake->callCount(SerialCall::open), 0) << c.file;
    }
}

// ---- watch and stopping ----

TEST(CliWatch, PrintsTheUnitThenEndsInOrderOnAStopSignal) {
    SessionRig rig(unit(1));
    ASSERT_TRUE(rig.started());
    rig.sim().withModel([](sim::UnitModel& m) {
        m.setPort(1, 2, true);
        return 0;
    });
    // Stopped once the first picture is out, however long the unit took to
    // give it.
    rig.stopAfterPrinting("bank 1 current ", 15);
    const CliRun r = rig.run("watch");
    EXPECT_EQ(r.code, kExitDone) << r.err;
    EXPECT_TRUE(has(r.out, "bank 1 port 2 on\n")) << r.out;
    EXPECT_TRUE(has(r.out, "bank 1 port 1 off\n")) << r.out;
    EXPECT_TRUE(has(r.out, "bank 1 current ")) << r.out;
    rig.session().shutdown();
    EXPECT_EQ(rig.session().readerCount(), 0u);
    auto again = makeSerialDevice();
    EXPECT_EQ(again->open(rig.device(), SerialMode::link), SerialStatus::ok);
}

TEST(CliWatch, SilentUnitEndsTheWatchAfterTheWindowsWatchdog) {
    auto fake = std::make_shared<ScriptedSerialDevice>();
    fake->answerWrites("/uni\\", "/xyz\\");
    int polls = 0;
    fake->setWriteHandler([&](const std::vector<std::uint8_t>& w) {
        if (std::string(w.begin(), w.end()) == "/C\\" && ++polls == 1)
            fake->queueInput("/M1\\/S1 CCCCCCCC GGGGGGGG 0.0\\");
    });
    SessionRig rig(fake);
    const CliRun r = rig.run("watch");
    EXPECT_EQ(r.code, kExitNoUnit);
    EXPECT_TRUE(has(r.err, "20 s")) << r.err;
    EXPECT_GE(polls, 4);  // one every 5 s while it waited
}

}  // namespace
}  // namespace velmora::cli
