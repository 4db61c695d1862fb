// The link against the simulated unit that lives in the program (Windows,
// where there are no pseudo-terminals): the same handshake, poll and
// switching as over a port, and real ports beside it still reached through
// the platform's back end.

#include "tests/support/link_doubles.h"
#include "link/device_state.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/queue_dispatcher.h"
#include "platform/serial_device.h"
#include "schedule/timer_tables.h"
#include "sim/in_process_unit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace velmora;

namespace {

using test::ListReport;

std::string text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

struct InProcessLink : ::testing::Test {
    DeviceState state;
    TimerTables tables;
    QueueDispatcher dispatcher;
    SystemClock clock;
    test::RecordingLinkEvents ui;
    ScriptedDialogs dialogs;
    std::unique_ptr<sim::InProcessUnit> unit;
    std::unique_ptr<SerialLink> link;

    void start(sim::UnitConfig config) {
        unit = std::make_unique<sim::InProcessUnit>(std::move(config));
        link = std::make_unique<SerialLink>(SerialLink::Deps{
            state, tables, dispatcher, clock, ui, dialogs,
            [this] { return unit->makeDevice([] { return makeSerialDevice(); }); }, [] { return LinkOptions{}; },
            [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }});
        link->setPortDevices({"", sim::InProcessUnit::kDeviceName, "no-such-port-anywhere"});
    }
    void TearDown() override {
        dispatcher.shutdown();
        if (link) link->shutdown();
    }
    bool drainUntil(const std::function<bool()>& pred) { return dispatcher.drainUntil(pred, 15000); }
};

TEST_F(InProcessLink, DetectFindsTheUnitAndNotTheMissingPortBesideIt) {
    sim::UnitConfig config;
    config.banks = 3;
    config.versions = {"1203", "1105", "1203"};
    start(config);
    ListReport found;
    EXPECT_EQ(link->ProbePort(1, found), 1);
    EXPECT_EQ(found.lines, (std::vector<std::string>{kReportOpenPass, kReportSetupPass, kReportDetectPass,
                                                     kReportClosePass}));
    EXPECT_EQ(state.bankSnapshot(2).versionText(), "1105");
    EXPECT_EQ(text(unit->received()), "/uni\\/VER\\");
    EXPECT_FALSE(unit->isOpen()) << "the probe closes the unit again";
    ListReport missing;
    EXPECT_EQ(link->ProbePort(2, missing), 0) << "the platform's back end was asked, and found nothing";
    ASSERT_FALSE(missing.lines.empty());
    EXPECT_NE(missing.lines.front(), kReportOpenPass);
}

TEST_F(InProcessLink, HandshakePollAndSwitchingReachTheUnit) {
    sim::UnitConfig config;
    config.banks = 3;
    config.statusForm = sim::StatusForm::split;  // every bank in each poll
    start(config);
    link->OpenLink(1);
    ASSERT_TRUE(link->isOpen());
    ASSERT_TRUE(drainUntil([&] { return ui.polling == 1; }));
    EXPECT_EQ(text(unit->received()), "/uni\\/VER\\/DS001\\");
    link->write("/C\\");
    ASSERT_TRUE(drainUntil([&] { return state.BankCount == 3; }));
    link->write("/O013\\");
    link->write("/C\\");
    ASSERT_TRUE(drainUntil([&] { return state.bankSnapshot(1).portStatesText() == "CCOCCCCC"; }));
    EXPECT_EQ(unit->portStates().at(0), "CCOCCCCC");
    link->Disconnect();
    ASSERT_TRUE(drainUntil([&] {
        link->reapReaders();
        return link->readerCount() == 0;
    }));
    EXPECT_FALSE(unit->isOpen()) << "disconnecting closes the unit";
}

}  // namespace
