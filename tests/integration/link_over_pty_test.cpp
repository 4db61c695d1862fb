// The link against the simulated unit over real pseudo-terminals: the
// simulator holds the master side, our serial back end opens the slave.
// These wait on real I/O with generous bounds; none asserts a speed.

#include "tests/support/link_doubles.h"
#include "link/device_state.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/queue_dispatcher.h"
#include "platform/serial_device.h"
#include "schedule/timer_tables.h"
#include "sim/pty_simulator.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

using RecordingUi = test::RecordingLinkEvents;
using test::ListReport;

std::string text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

struct PtyLink : ::testing::Test {
    DeviceState state;
    TimerTables tables;
    QueueDispatcher dispatcher;
    SystemClock clock;
    RecordingUi ui;
    ScriptedDialogs dialogs;
    std::unique_ptr<SerialLink> link;
    std::unique_ptr<sim::PtySimulator> unit;

    void startUnit(sim::UnitConfig config) {
        unit = std::make_unique<sim::PtySimulator>(std::move(config));
        std::string error;
        ASSERT_TRUE(unit->start(&error)) << error;
        link->setPortDevices({"", unit->slavePath()});
    }
    void SetUp() override {
        link = std::make_unique<SerialLink>(SerialLink::Deps{
            state, tables, dispatcher, clock, ui, dialogs, [] { return makeSerialDevice(); },
            [] { return LinkOptions{}; },
            [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }});
    }
    void TearDown() override {
        dispatcher.shutdown();
        link->shutdown();
        if (unit) unit->stop();
    }
    bool drainUntil(const std::function<bool()>& pred, int ms = 15000) {
        return dispatcher.drainUntil(pred, ms);
    }
};

TEST_F(PtyLink, ProbeFindsAnsweringUnitAndReadsVersions) {
    sim::UnitConfig config;
    config.banks = 2;
    config.versions = {"1203", "1105"};
    startUnit(config);
    ListReport report;
    EXPECT_EQ(link->ProbePort(1, report), 1);
    EXPECT_EQ(report.lines, (std::vector<std::string>{kReportOpenPass, kReportSetupPass, kReportDetectPass,
                                                      kReportClosePass}));
    EXPECT_EQ(state.bankSnapshot(1).versionText(), "1203");
    EXPECT_EQ(state.bankSnapshot(2).versionText(), "1105");
    EXPECT_EQ(text(unit->received()), "/uni\\/VER\\");
}

TEST_F(PtyLink, ProbeOfASilentPortFails) {
    // A pty nobody answers on.
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    termios t{};
    tcgetattr(master, &t);
    cfmakeraw(&t);
    tcsetattr(master, TCSANOW, &t);
    link->setPortDevices({"", ptsname(master)});
    ListReport report;
    EXPECT_EQ(link->ProbePort(1, report), 0);
    EXPECT_EQ(report.lines, (std::vector<std::string>{kReportOpenPass, kReportSetupPass, kReportDetectFail,
                                                      kReportClosePass}));
    close(master);
}

TEST_F(PtyLink, ProbeOfAUnitWithoutFirmwareDoesNotAskForVersions) {
    sim::UnitConfig config;
    config.faults.missingFirmware = true;
    startUnit(config);
    ListReport report;
    EXPECT_EQ(link->ProbePort(1, report), 1);
    EXPECT_TRUE(state.FirmwareFailed);
    EXPECT_EQ(text(unit->received()), "/uni\\");
}

TEST_F(PtyLink, HandshakeAndPollReachTheWindowInOrder) {
    sim::UnitConfig config;
    config.banks = 2;
    config.statusForm = sim::StatusForm::split;
    startUnit(config);
    link->OpenLink(1);
    ASSERT_TRUE(link->isOpen());
    ASSERT_TRUE(drainUntil([&] { return ui.polling == 1; }));
    EXPECT_TRUE(unit->waitForReceived(16, 5000ms));
    EXPECT_EQ(text(unit->received()), "/uni\\/VER\\/DS001\\");
    ASSERT_TRUE(drainUntil([&] { return ui.kinds.size() >= 2; }));
    // The versions answer "/VER\".
    EXPECT_EQ(ui.kinds, (std::vector<int>{ukVersion, ukVersion}));
    link->write("/C\\");
    // A poll: the bank count, then status and current lines per bank.
    ASSERT_TRUE(drainUntil([&] { return ui.kinds.size() >= 2 + 1 + 6; }));
    EXPECT_EQ(ui.kinds[2], ukBankCount);
    EXPECT_EQ(state.BankCount, 2);
    std::vector<int> rest(ui.kinds.begin() + 3, ui.kinds.end());
    EXPECT_EQ(std::count(rest.begin(), rest.end(), ukPortStatus), 4);
    EXPECT_EQ(std::count(rest.begin(), rest.end(), ukCurrent), 2);
}

TEST_F(PtyLink, SwitchingReachesTheUnit) {
    sim::UnitConfig config;
    config.banks = 1;
    startUnit(config);
    link->OpenLink(1);
    link->write("/O013\\");
    ASSERT_TRUE(unit->waitForCommand("O013", 1, 5000ms));
    EXPECT_EQ(unit->portStates().at(0).substr(2, 1), "O");
}

TEST_F(PtyLink, HangUpEndsTheReaderWithoutSpinning) {
    sim::UnitConfig config;
    startUnit(config);
    link->OpenLink(1);
    ASSERT_TRUE(drainUntil([&] { return ui.polling == 1; }));
    unit->hangUp();
    ASSERT_TRUE(unit->waitForLineDropped(5000ms));
    // Give the reader time to see the hang-up, then measure the process's
    // CPU time over a second: a spinning reader would burn most of it.
    std::this_thread::sleep_for(200ms);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    std::this_thread::sleep_for(1000ms);
    getrusage(RUSAGE_SELF, &after);
    auto micros = [](const rusage& r) {
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000L + r.ru_utime.tv_usec + r.ru_stime.tv_usec;
    };
    EXPECT_LT(micros(after) - micros(before), 200000L);
    link->Disconnect();
    ASSERT_TRUE(drainUntil([&] {
        link->reapReaders();
        return link->readerCount() == 0;
    }));
}

TEST_F(PtyLink, ExitWhileTheReaderIsBlockedInAHandOver) {
    sim::UnitConfig config;
    startUnit(config);
    std::atomic<bool> queued{false};
    dispatcher.setWakeup([&] { queued = true; });
    link->OpenLink(1);
    link->write("/C\\");
    // Never drained: the reader now waits for the UI thread.
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!queued.load() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(queued.load());
    dispatcher.shutdown();
    link->shutdown();
    EXPECT_EQ(link->readerCount(), 0u);
}

}  // namespace
