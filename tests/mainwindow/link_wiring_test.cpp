// The window logic as the link's events: a real reader thread on a scripted
// port hands its view updates to reportStored, the poll timer writes through
// the link, and the watchdog tears the link down. The test thread plays the
// UI thread by draining the dispatcher; waits are bounded and only for the
// reader thread, never on timing.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "link/serial_link.h"
#include "support/recording_view.h"
#include "mainwindow/window_logic.h"
#include "session/unit_session.h"
#include "platform/dialogs.h"
#include "support/fake_serial.h"
#include "platform/queue_dispatcher.h"

namespace velmora::test {
namespace {

constexpr int kBoundMs = 10000;  // generous: only a stuck reader gets near it

struct LinkedWindow : ::testing::Test {
    DeviceState state;
    TimerTables tables;
    QueueDispatcher dispatcher;
    FixedClock clock{LocalMoment{2026, 12, 8, 3, 10, 0, 0}};
    RecordingView view;
    ManualTimerHost timers;
    ScriptedDialogs dialogs;
    std::shared_ptr<ScriptedSerialDevice> port = std::make_shared<ScriptedSerialDevice>();
    SerialLink* linkPtr = nullptr;
    std::unique_ptr<UnitSession> session;
    std::unique_ptr<MainWindowLogic> logic;
    std::unique_ptr<SerialLink> link;

    void SetUp() override {
        session = std::make_unique<UnitSession>(UnitSession::Deps{
            .state = state,
            .tables = tables,
            .clock = clock,
            .timers = timers,
            .write = [this](std::string_view text) { linkPtr->write(text); },
            .sendInfoRequest = [this] { linkPtr->SendInfoRequest(); },
            .watchdogExpired = [this] { linkPtr->WatchdogExpired(); },
            .scheduleShown = [this](int bankIndex) { return logic->scheduleShowsBank(bankIndex); }});
        logic = std::make_unique<MainWindowLogic>(
            MainWindowLogic::Deps{.state = state, .tables = tables, .clock = clock, .view = view, .timers = timers});
        session->subscribe(SubscriberStage::view, *logic);
        link = std::make_unique<SerialLink>(SerialLink::Deps{
            state, tables, dispatcher, clock, *session, dialogs,
            [this] { return shareScripted(port); }, [] { return LinkOptions{}; },
            [](int) {}});
        linkPtr = link.get();
        link->setPortDevices({"", "/dev/ttyUSB0"});
        logic->initialiseView();
        port->answerWrites("/uni\\", "/xyz\\");
    }
    void TearDown() override {
        dispatcher.shutdown();
        link->shutdown();
    }
    bool drainUntil(const std::function<bool()>& pred) { return dispatcher.drainUntil(pred, kBoundMs); }
};

TEST_F(LinkedWindow, GreetingStartsPollingAndAnswersDrawThePanels) {
    port->answerWrites("/C\\", "/M2\\/S1 OCCCCCCO GGGGGGGG 3.46\\/S2 CCCCCCCC GGFGGGGG 12.7\\");
    link->OpenLink(1);
    ASSERT_TRUE(drainUntil([&] { return session->pollTimer().enabled(); }));
    EXPECT_TRUE(logic->flashTimer().enabled());
    EXPECT_EQ(session->pollTimer().interval(), kFirstPollDelayMs);

    timers.advance(kFirstPollDelayMs);  // the first poll
    EXPECT_TRUE(session->watchdogTimer().enabled());
    ASSERT_TRUE(drainUntil([&] { return view.pictureIndex(currentDigitId(2, 2)) == 2; }));

    EXPECT_TRUE(view.shown(panelId(2)));
    EXPECT_FALSE(view.shown(panelId(3)));
    EXPECT_EQ(view.height, kHeightTwoBanks);
    EXPECT_EQ(view.versionItems.size(), 2u);
    EXPECT_EQ(view.pictureIndex(portLedId(11)), 2);
    EXPECT_EQ(view.pictureIndex(portLedId(18)), 2);
    EXPECT_EQ(view.pictureIndex(currentDigitId(1, 1)), 13);
    EXPECT_EQ(view.pictureIndex(currentDigitId(1, 2)), 4);
    EXPECT_EQ(view.pictureIndex(currentDigitId(2, 1)), 1);
    EXPECT_EQ(view.spoken(portLedId(23)), "Bank 2 Port 3 off, alarm");
    EXPECT_FALSE(session->watchdogTimer().enabled()) << "the answers stop the watchdog";
    EXPECT_NE(port->writtenText().find("/C\\"), std::string::npos);
}

TEST_F(LinkedWindow, SilentUnitIsDeclaredLostTwentySecondsAfterThePoll) {
    link->OpenLink(1);
    ASSERT_TRUE(drainUntil([&] { return session->pollTimer().enabled(); }));
    timers.advance(kFirstPollDelayMs + kWatchdogIntervalMs - 1);
    EXPECT_TRUE(dialogs.shown.empty());
    timers.advance(1);

    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, kNotFoundMessage);
    EXPECT_FALSE(link->isOpen());
    EXPECT_FALSE(logic->flashTimer().enabled());
    EXPECT_FALSE(session->pollTimer().enabled());
    EXPECT_FALSE(session->watchdogTimer().enabled());
    EXPECT_FALSE(view.shown(panelId(1)));
    // Nothing more happens afterwards.
    timers.advance(10 * kWatchdogIntervalMs);
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

}  // namespace
}  // namespace velmora::test
