#include "link/device_state.h"
#include "link/reader_thread.h"
#include "link/serial_link.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "support/fake_serial.h"
#include "platform/queue_dispatcher.h"
#include "schedule/timer_tables.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace velmora;

namespace {

// Records what the link asks of the window. Runs on the test thread, which
// plays the UI thread by draining the dispatcher.
class RecordingUi final : public LinkEvents {
public:
    std::vector<std::string> events;
    std::vector<int> kinds;  // the kind of every report
    std::function<void(std::int32_t kind)> onReport;
    int shownBankTab = -1;

    void reportStored(std::int32_t kind) override {
        kinds.push_back(kind);
        events.push_back("reportStored");
        if (onReport) onReport(kind);
    }
    void greeted() override { events.push_back("greeted"); }
    bool scheduleShown(int b) override { return b == shownBankTab; }
    void linkClosing() override { events.push_back("linkClosing"); }
    void linkReset() override { events.push_back("linkReset"); }
    void linkStopped() override { events.push_back("linkStopped"); }
    void linkLost() override { events.push_back("linkLost"); }
    void clockSyncRequested() override { events.push_back("clockSyncRequested"); }
    int count(const std::string& e) const {
        int n = 0;
        for (const auto& x : events) n += x == e;
        return n;
    }
};

class ListReport final : public ProbeReport {
public:
    std::vector<std::string> lines;
    void append(const std::string& l) override { lines.push_back(l); }
    void removeLast() override {
        if (!lines.empty()) lines.pop_back();
    }
};

struct LinkFixture : ::testing::Test {
    DeviceState state;
    TimerTables tables;
    QueueDispatcher dispatcher;
    FixedClock clock{LocalMoment{2026, 12, 8, 3, 10, 0, 0}};
    RecordingUi ui;
    ScriptedDialogs dialogs;
    LinkOptions options;
    std::shared_ptr<ScriptedSerialDevice> port = std::make_shared<ScriptedSerialDevice>();
    int sleeps = 0;
    std::unique_ptr<SerialLink> link;

    void SetUp() override {
        link = std::make_unique<SerialLink>(SerialLink::Deps{
            state, tables, dispatcher, clock, ui, dialogs,
            [this] { return shareScripted(port); },
            [this] { return options; },
            [this](int) { ++sleeps; }});
        link->setPortDevices({"", "/dev/ttyUSB0", "/dev/ttyUSB1"});
    }
    void TearDown() override {
        dispatcher.shutdown();
        link->shutdown();
    }
    bool drainUntil(const std::function<bool()>& pred) { return dispatcher.drainUntil(pred, 10000); }
};

// ---------------------------------------------------------------- probe

using ProbeFixture = LinkFixture;

TEST_F(ProbeFixture, UnitThatAnswersPassesAndStoresVersions) {
    port->setBlockingWaits(false);
    port->answerWrites("/uni\\", "/xyz\\");
    port->answerWrites("/VER\\", "/V01 1203\\");
    port->answerWrites("/VER\\", "/V02 1104\\");
    ListReport report;
    EXPECT_EQ(link->ProbePort(2, report), 1);
    EXPECT_EQ(report.lines, (std::vector<std::string>{kReportOpenPass, kReportSetupPass, kReportDetectPass,
                                                      kReportClosePass}));
    EXPECT_EQ(port->openedDevice(), "/dev/ttyUSB1");
    EXPECT_EQ(port->openedMode(), SerialMode::probe);
    EXPECT_EQ(port->appliedSettings().baudRate, 9600u);
    EXPECT_TRUE(port->appliedSettings().ctsOutputFlow);
    EXPECT_EQ(port->appliedTimeouts().readTotalConstant, 2000u);
    EXPECT_EQ(port->appliedTimeouts().writeTotalConstant, 5000u);
    EXPECT_EQ(port->inputQueueSize(), 1024u);
    EXPECT_EQ(state.bankSnapshot(1).versionText(), "1203");
    EXPECT_EQ(state.bankSnapshot(2).versionText(), "1104");
    EXPECT_FALSE(port->isOpen());
    // The greeting goes out one byte per write, then "/VER\" in one piece.
    auto writes = port->writes();
    ASSERT_EQ(writes.size(), 6u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(writes[static_cast<std::size_t>(i)].size(), 1u);
    EXPECT_EQ(port->writtenText(), "/uni\\/VER\\");
    EXPECT_EQ(sleeps, 5);
    EXPECT_FALSE(state.FirmwareFailed);
}

TEST_F(ProbeFixture, SilentPortFailsAndCloses) {
    port->setBlockingWaits(false);
    ListReport report;
    EXPECT_EQ(link->ProbePort(1, report), 0);
    EXPECT_EQ(report.lines, (std::vector<std::string>{kReportOpenPass, kReportSetupPass, kReportDetectFail,
                                                      kReportClosePass}));
    EXPECT_FALSE(port->isOpen());
}

TEST_F(ProbeFixture, MissingFirmwarePassesWithoutAskingForVersions) {
    port->setBlockingWaits(false);
    port->answerWrites("/uni\\", "/abc\\");
    ListReport report;
    EXPECT_EQ(link->ProbePort(1, report), 1);
    EXPECT_TRUE(state.FirmwareFailed);
    EXPECT_EQ(port->writtenText(), "/uni\\");
    EXPECT_EQ(report.lines.back(), kReportClosePass);
}

TEST_F(ProbeFixture, GreetingMustBeExact) {
    port->setBlockingWaits(false);
    port->answerWrites("/uni\\", "/xyz>");
    ListReport report;
    EXPECT_EQ(link->ProbePort(1, report), 0);
    EXPECT_EQ(report.lines[2], kReportDetectFail);
}

struct StepFailure {
    const char* name;
    SerialCall call;
    std::vector<std::string> lines;
};

class ProbeStepFailure : public LinkFixture, public ::testing::WithParamInterface<StepFailure> {};

TEST_P(ProbeStepFailure, ReportsTheStepThenCloses) {
    port->setBlockingWaits(false);
    port->setResult(GetParam().call, SerialStatus::failed);
    ListReport report;
    EXPECT_EQ(link->ProbePort(1, report), 0);
    EXPECT_EQ(report.lines, GetParam().lines);
    EXPECT_FALSE(port->isOpen());
    EXPECT_EQ(port->writtenText(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProbeStepFailure,
    ::testing::Values(
        StepFailure{"Open", SerialCall::open, {kReportOpenFail}},
        StepFailure{"GetState", SerialCall::getState, {kReportOpenPass, kReportGetStateFail, kReportClosePass}},
        StepFailure{"SetState", SerialCall::setState, {kReportOpenPass, kReportSetStateFail, kReportClosePass}},
        StepFailure{"SetBuffer", SerialCall::setQueueSizes,
                    {kReportOpenPass, kReportSetBufferFail, kReportClosePass}},
        StepFailure{"SetTimeout", SerialCall::setTimeouts,
                    {kReportOpenPass, kReportSetTimeoutFail, kReportClosePass}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(ProbeFixture, PositionOutsideTheListIsAFailedOpen) {
    ListReport report;
    EXPECT_EQ(link->ProbePort(0, report), 0);
    EXPECT_EQ(link->ProbePort(3, report), 0);
    EXPECT_EQ(report.lines, (std::vector<std::string>{kReportOpenFail, kReportOpenFail}));
    EXPECT_EQ(port->callCount(SerialCall::open), 0);
}

struct VersionRecord {
    std::string_view text;
    bool ok;
    int bank;
    const char* version;
};

class ProbeVersionScan : public ::testing::TestWithParam<VersionRecord> {};

TEST_P(ProbeVersionScan, ReadsBankAndFourCharacters) {
    int bank = -1;
    std::string version;
    EXPECT_EQ(scanProbeVersion(GetParam().text, bank, version), GetParam().ok);
    if (GetParam().ok) {
        EXPECT_EQ(bank, GetParam().bank);
        EXPECT_EQ(version, GetParam().version);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ProbeVersionScan,
                         ::testing::Values(VersionRecord{"/V01 1203\\", true, 1, "1203"},
                                           VersionRecord{"/V12 0999\\", true, 12, "0999"},
                                           VersionRecord{"/V3 12ab", true, 3, "12ab"},
                                           VersionRecord{"/V01 12", false, 0, ""},
                                           VersionRecord{"/X01 1203\\", false, 0, ""},
                                           VersionRecord{"/Vab 1203\\", false, 0, ""},
                                           VersionRecord{std::string_view("/V01\0 1203", 10), false, 0, ""}));

// ---------------------------------------------------------------- link

TEST_F(LinkFixture, OpenLinkSendsTheHandshakeInOrder) {
    options.restoreStatus = true;
    options.setRtc = true;
    link->OpenLink(1);
    ASSERT_TRUE(link->isOpen());
    EXPECT_EQ(port->openedMode(), SerialMode::link);
    EXPECT_EQ(port->appliedTimeouts().readInterval, 100u);
    EXPECT_EQ(port->inputQueueSize(), 8192u);
    EXPECT_EQ(port->outputQueueSize(), 16384u);
    auto writes = port->writes();
    ASSERT_EQ(writes.size(), 7u);
    EXPECT_EQ(port->writtenText(), "/uni\\/VER\\/EN001\\");
    EXPECT_TRUE(state.ClockWarningArmed);
    EXPECT_TRUE(state.TimerWarningArmed);
    // Cleared again so that the sixth poll repeats the request.
    EXPECT_FALSE(state.InfoRequestSent);
    EXPECT_EQ(state.PollCount, 0);
    EXPECT_EQ(ui.count("clockSyncRequested"), 1);
}

TEST_F(LinkFixture, OpenLinkWithoutFirmwareOnlyGreets) {
    state.FirmwareFailed = true;
    link->OpenLink(1);
    EXPECT_EQ(port->writtenText(), "/uni\\");
}

TEST_F(LinkFixture, FailedOpenIsSilentAndLeavesTheLinkClosed) {
    port->setResult(SerialCall::open, SerialStatus::busy);
    link->OpenLink(1);
    EXPECT_FALSE(link->isOpen());
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(link->readerCount(), 0u);
}

TEST_F(LinkFixture, InfoRequestGoesOutOncePerLink) {
    link->OpenLink(1);
    port->clearRecord();
    link->SendInfoRequest();
    link->SendInfoRequest();
    EXPECT_EQ(port->writtenText(), "/VER\\/DS001\\");
}

TEST_F(LinkFixture, GreetingSplitAcrossTwoReadsStartsPollingOnce) {
    link->OpenLink(1);
    port->queueInput("/xy");
    port->queueInput("z\\");
    ASSERT_TRUE(drainUntil([&] { return ui.count("greeted") == 1; }));
    EXPECT_TRUE(state.GreetingSeen);
    EXPECT_TRUE(ui.kinds.empty());
}

TEST_F(LinkFixture, EveryReportKindReachesTheLinksHolderInOrder) {
    link->OpenLink(1);
    port->queueInput("/M2\\/S1 OOCCCCCC\\/C1 2.5\\/S2 OCOCOCOC GGGGFGGG 12.5\\/V01 1203\\/err\\");
    const std::vector<int> expected{ukBankCount, ukPortStatus, ukCurrent, ukStatusAndCurrent, ukVersion,
                                    ukClockError};
    ASSERT_TRUE(drainUntil([&] { return ui.kinds.size() >= expected.size(); }));
    EXPECT_EQ(ui.kinds, expected);
    EXPECT_EQ(state.BankCount, 2);
    EXPECT_FLOAT_EQ(state.bankSnapshot(2).current, 12.5f);
}

TEST_F(LinkFixture, ConfirmationRefreshesTheShownBankTab) {
    ui.shownBankTab = 1;
    link->OpenLink(1);
    state.Queue.append("/Q0210\\");
    state.Queue.append("/Q0220\\");
    port->queueInput("/Q0210\\");
    ASSERT_TRUE(drainUntil([&] { return ui.kinds.size() >= 2; }));
    EXPECT_EQ(ui.kinds, (std::vector<int>{ukNextAfterClear, ukScheduleRefresh}));
}

TEST_F(LinkFixture, DisconnectInsideAViewUpdateEndsTheReaderWithoutWaiting) {
    link->OpenLink(1);
    ui.onReport = [&](std::int32_t) {
        if (ui.kinds.size() == 1) link->Disconnect();
    };
    port->queueInput("/M1\\/S1 OOOOOOOO\\/C1 1.0\\");
    ASSERT_TRUE(drainUntil([&] { return ui.count("reportStored") >= 1; }));
    // The reader ends by itself; nothing after the Disconnect reaches the window.
    ASSERT_TRUE(drainUntil([&] {
        link->reapReaders();
        return link->readerCount() == 0;
    }));
    EXPECT_EQ(ui.count("reportStored"), 1);
    EXPECT_FALSE(link->isOpen());
    EXPECT_FALSE(port->isOpen());
    EXPECT_EQ(ui.count("linkStopped"), 1);
    EXPECT_EQ(state.BankCount, 0);
}

TEST_F(LinkFixture, ExitWhileTheReaderWaitsForAHandOver) {
    std::atomic<bool> queued{false};
    dispatcher.setWakeup([&] { queued = true; });
    link->OpenLink(1);
    port->queueInput("/M1\\");
    // The reader now waits in its hand-over; the test, playing the UI
    // thread, never drains it.
    while (!queued.load()) std::this_thread::yield();
    dispatcher.shutdown();
    link->shutdown();  // must not deadlock
    EXPECT_EQ(link->readerCount(), 0u);
    EXPECT_TRUE(ui.kinds.empty());
}

TEST_F(LinkFixture, HangUpEndsTheReader) {
    link->OpenLink(1);
    ASSERT_TRUE(port->waitForWaiter());
    port->hangUp();
    ASSERT_TRUE(drainUntil([&] {
        link->Disconnect();  // move the reader to the retired list
        link->reapReaders();
        return link->readerCount() == 0;
    }));
}

TEST_F(LinkFixture, WatchdogExpiryClosesAndTellsTheUser) {
    link->OpenLink(1);
    link->WatchdogExpired();
    EXPECT_FALSE(link->isOpen());
    EXPECT_EQ(ui.events.front(), "linkClosing");
    EXPECT_EQ(ui.count("linkStopped"), 1);
    EXPECT_EQ(ui.count("linkLost"), 1);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, kNotFoundMessage);
    EXPECT_EQ(dialogs.shown[0].caption, "");
    EXPECT_EQ(dialogs.shown[0].icon, MessageIcon::information);
}

TEST_F(LinkFixture, DisconnectWhileClosedOnlyHidesAndResets) {
    state.BankCount = 3;
    link->Disconnect();
    EXPECT_EQ(ui.events, (std::vector<std::string>{"linkClosing", "linkReset"}));
    EXPECT_EQ(state.BankCount, 0);
    EXPECT_EQ(port->callCount(SerialCall::close), 0);
}

// A clock that holds the reader inside a line: the reader reads it just
// before it stores what the line says.
class GatedClock final : public Clock {
public:
    LocalMoment now() const override {
        std::unique_lock lock(mutex_);
        if (armed_) {
            held_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return !armed_; });
        }
        return LocalMoment{2026, 12, 8, 3, 10, 0, 0};
    }
    void arm() {
        std::lock_guard lock(mutex_);
        armed_ = true;
    }
    bool waitUntilHeld() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return held_; });
    }
    void release() {
        std::lock_guard lock(mutex_);
        armed_ = false;
        changed_.notify_all();
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable bool held_ = false;
    bool armed_ = false;
};

// A timer report the reader is storing while the user disconnects must not
// survive in the reset tables (it would show a timer of a unit that is gone).
TEST_F(LinkFixture, LineStoredDuringDisconnectDoesNotSurviveTheReset) {
    GatedClock gated;
    SerialLink gatedLink(SerialLink::Deps{state, tables, dispatcher, gated, ui, dialogs,
                                          [this] { return shareScripted(port); },
                                          [this] { return options; }, [](int) {}});
    gatedLink.setPortDevices({"", "/dev/ttyUSB0"});
    gatedLink.OpenLink(1);
    state.BankCount = 1;
    gated.arm();
    port->queueInput("/T0111 0010530\\");
    ASSERT_TRUE(gated.waitUntilHeld()) << "the reader never reached the line";
    gatedLink.Disconnect();
    gated.release();
    ASSERT_TRUE(drainUntil([&] {
        gatedLink.reapReaders();
        return gatedLink.readerCount() == 0;
    }));
    EXPECT_EQ(tables.entry(TableId::LiveOn, 0, 0).enabled, 0);
    EXPECT_EQ(tables.entry(TableId::EditOn, 0, 0).enabled, 0);
    dispatcher.shutdown();
    gatedLink.shutdown();
}

TEST_F(LinkFixture, WritesWhileClosedAreDropped) {
    link->write("/C\\");
    link->writeGreeting();
    link->purgeReceive();
    EXPECT_EQ(port->callCount(SerialCall::write), 0);
    EXPECT_EQ(port->callCount(SerialCall::purgeReceive), 0);
}

// The upgrade's purge drops only what came in: the port is asked for the
// receive-only purge, never the one that also clears what is going out.
TEST_F(LinkFixture, ReceivePurgeDropsUnreadInputOnly) {
    link->OpenLink(1);
    port->clearRecord();
    link->purgeReceive();
    EXPECT_EQ(port->callCount(SerialCall::purgeReceive), 1);
    EXPECT_EQ(port->callCount(SerialCall::purge), 0);
}

}  // namespace

// While an upgrade holds the port every writer but the upgrade is refused,
// nothing is kept for later, and the link reset or a new link ends the hold.
TEST_F(LinkFixture, UpgradeHoldLetsOnlyTheUpgradesBytesThrough) {
    link->OpenLink(1);
    port->clearRecord();
    link->holdForUpgrade();
    EXPECT_FALSE(link->write("/C\\"));
    EXPECT_FALSE(link->write("/SETTIME2026-12-08 03:10:00\\"));
    link->writeGreeting();
    link->SendInfoRequest();
    const std::uint8_t image[] = {0x12, 0x00, 0xFF};
    EXPECT_TRUE(link->writeForUpgrade(image, 3));
    ASSERT_EQ(port->writes().size(), 1u) << "only the image bytes went out";
    EXPECT_EQ(port->writes()[0], std::vector<std::uint8_t>(image, image + 3));
    EXPECT_GE(link->refusedWrites(), 4u);

    link->releaseUpgradeHold();
    EXPECT_TRUE(link->write("/C\\"));
    EXPECT_EQ(port->writtenText().substr(3), "/C\\") << "nothing refused came out afterwards";

    link->holdForUpgrade();
    link->Disconnect();
    EXPECT_FALSE(link->heldForUpgrade());
    link->OpenLink(1);
    EXPECT_FALSE(link->heldForUpgrade());
    EXPECT_TRUE(link->write("/C\\"));
}

// The unit's prompt and a progress mark that arrived in the same read: the
// purge the prompt asks for drops the mark with what the port still held,
// so it releases no image byte.
TEST_F(LinkFixture, PurgeAtThePromptDropsWhatTheReaderHeldBehindIt) {
    link->OpenLink(1);
    std::vector<std::string> lines;
    ui.onReport = [&](std::int32_t kind) {
        lines.push_back(state.lastLine());
        if (kind == ukUpgradeBegin) link->purgeReceive();
    };
    port->queueInput("Please send the image\r\n|\x08/\x08");
    ASSERT_TRUE(drainUntil([&] { return ui.count("reportStored") >= 1; }));
    // What comes after the purge is read as usual.
    port->queueInput("-\x08");
    ASSERT_TRUE(drainUntil([&] { return !lines.empty() && lines.back() == "-"; }));
    EXPECT_EQ(lines, (std::vector<std::string>{"Please send the image", "-"}));
    EXPECT_EQ(ui.kinds, (std::vector<int>{ukUpgradeBegin, ukUpgradeStep}));
}

// A port the user may not open is remembered, so the window can say how to
// get the right rather than only that no unit was found.
TEST_F(LinkFixture, ProbeRemembersAPortItMayNotOpen) {
    ListReport report;
    port->setResult(SerialCall::open, SerialStatus::accessDenied);
    EXPECT_EQ(link->ProbePort(2, report), 0);
    EXPECT_EQ(link->probeAccessDenied(), "/dev/ttyUSB1");
    link->forgetProbeRefusals();
    port->setResult(SerialCall::open, SerialStatus::busy);
    EXPECT_EQ(link->ProbePort(1, report), 0);
    EXPECT_EQ(link->probeAccessDenied(), "") << "a busy port is not a permission problem";
}
