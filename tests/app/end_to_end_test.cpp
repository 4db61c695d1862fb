// The whole program, as a user starts it, against the simulated unit on a
// real pty: Auto on in define.ini, so start-up detects the unit through the
// Detect dialog, opens the link, greets, polls, and the window follows the
// unit's ports and currents live; then the unit falls silent and the link
// watchdog ends the link with the not-found message.
//
// The program's window timers are manual here: the test moves their time on
// poll by poll, so the 5 s polls and the 20 s watchdog pass at once. The
// serial line, the reader and the Detect dialog's probe run for real. Every
// wait has a generous bound; nothing here measures speed.

#include "app/application.h"
#include "session/unit_session.h"

#include <QAction>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "settings/detect_dialog.h"
#include "support/event_loop.h"
#include "link/serial_link.h"
#include "mainwindow/drawing_rules.h"
#include "mainwindow/main_window.h"
#include "mainwindow/window_logic.h"
#include "platform/clock.h"
#include "platform/window_timer.h"
#include "support/temp_folder.h"
#include "sim/pty_simulator.h"

namespace velmora {
namespace {

using test::spinUntil;

// Slack for a loaded machine; only a hang reaches it.
constexpr int kSilenceBoundMs = 30000;
constexpr int kStepBoundMs = 20000;

// What the window shows for one port, from the unit's own state.
PictureRef expectedLed(const std::string& unitStates, int port) {
    return ledPicture(port, unitStates[static_cast<std::size_t>(port - 1)] == 'O', false);
}

bool ledsShowUnit(MainWindow& window, sim::PtySimulator& unit, int bank, int slot) {
    const std::string states = unit.withModel([&](sim::UnitModel& m) { return m.portStates(bank); });
    if (states.size() != 8) return false;
    for (int port = 1; port <= 8; ++port) {
        if (window.shownPicture(portLedId(portKey(slot, port))) != expectedLed(states, port)) return false;
    }
    return true;
}

bool currentShowsUnit(MainWindow& window, sim::PtySimulator& unit, int bank, int slot) {
    const int tenths = unit.withModel([&](sim::UnitModel& m) { return m.bankCurrentTenths(bank); });
    const CurrentDigits digits = currentDigits(static_cast<float>(tenths) / 10.0f);
    return window.shownPicture(currentDigitId(slot, 1)) == PictureRef{PictureList::currentDigits, digits.first} &&
           window.shownPicture(currentDigitId(slot, 2)) == PictureRef{PictureList::currentDigits, digits.second};
}

// Status polls the program has written, answered or not.
std::size_t pollsWritten(const sim::PtySimulator& unit) {
    std::size_t n = 0;
    for (const std::string& c : unit.commands()) n += c == "C";
    return n;
}

TEST(EndToEnd, AutoStartDetectsPollsFollowsTheUnitAndReportsItsSilence) {
    sim::UnitConfig config;
    config.banks = 2;
    // Answers three polls, then nothing at all: one to draw, one to show a
    // change, one to spare on a slow machine.
    constexpr std::size_t kAnsweredPolls = 3;
    config.faults.silentAfterPolls = static_cast<int>(kAnsweredPolls);
    sim::PtySimulator unit(config);
    std::string error;
    ASSERT_TRUE(unit.start(&error)) << error;
    // Bank 1 port 2 on, so the first report already has a lamp and a load.
    unit.withModel([](sim::UnitModel& m) { m.setPort(1, 2, true); });

    testing_support::TempFolder folder;
    {
        std::ofstream ini(folder / "define.ini");
        ini << "[Form]\nComPort=0\nChkExist=1\nAuto=1\nPrompt=1\nComMeg=1\nSetRTC=0\nRestoreStatus=1\n";
    }
    ManualTimerHost timers;
    FixedClock clock(LocalMoment{2026, 12, 8, 3, 9, 30, 0});
    ApplicationOptions options;
    options.extraPorts = {unit.slavePath()};
    options.settingsPath = folder / "define.ini";
    options.clock = &clock;
    options.timers = &timers;
    Application app(options);

    // Closes the Detect dialog with OK once its scan has ended, and notes
    // (and confirms) every message box.
    std::vector<std::string> messages;
    bool detectAnswered = false;
    test::ModalAnswerer answerer(
        [&](QWidget* modal) {
            if (modal == &app.detectDialog()) {
                if (app.detectDialog().okButton()->isEnabled()) {
                    detectAnswered = true;
                    app.detectDialog().okButton()->click();
                }
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                messages.push_back(box->text().toStdString());
                box->accept();
            }
        },
        kSilenceBoundMs + 60000);

    // ---- Start-up: detection through the dialog (modal inside start) ----
    ASSERT_TRUE(app.start(&error)) << error;
    EXPECT_TRUE(detectAnswered);
    int position = 0;
    for (int i = 1; i <= app.ports().count(); ++i) {
        if (app.ports().devices[static_cast<std::size_t>(i)] == unit.slavePath()) position = i;
    }
    ASSERT_GT(position, 0);
    EXPECT_EQ(app.detectDialog().DetectResult(), position);
    const QStringList report = app.detectDialog().reportLines();
    ASSERT_FALSE(report.isEmpty());
    // A device given with --port is named by its path, so the report says
    // which device was probed.
    EXPECT_EQ(app.ports().names[static_cast<std::size_t>(position)], unit.slavePath());
    EXPECT_TRUE(report.contains(QString::fromStdString("Check " + unit.slavePath())));
    EXPECT_EQ(report.last().toStdString(), "Velmora Found!");
    EXPECT_TRUE(app.link().isOpen());
    EXPECT_FALSE(app.window().menuItem("mlConnect")->isEnabled());
    EXPECT_TRUE(messages.empty()) << messages.front();

    // ---- Greeting, polling, the window laid out for the unit's banks ----
    EXPECT_TRUE(unit.waitForCommand("uni", 1, std::chrono::milliseconds(kStepBoundMs)));
    ASSERT_TRUE(spinUntil([&] { return app.session().pollTimer().enabled(); }, kStepBoundMs))
        << "the greeting's answer never started the polls";
    EXPECT_TRUE(app.logic().flashTimer().enabled());
    EXPECT_EQ(app.session().pollTimer().interval(), kFirstPollDelayMs);
    EXPECT_EQ(pollsWritten(unit), 0u) << "a poll before its time";
    timers.advance(kFirstPollDelayMs);  // the first poll
    ASSERT_TRUE(spinUntil([&] { return app.state().ShownBankCount.load() == 2; }, kStepBoundMs))
        << "the unit's bank count never reached the window";
    EXPECT_EQ(app.session().pollTimer().interval(), kPollIntervalMs);
    EXPECT_TRUE(app.window().component(panelId(1))->isVisible());
    EXPECT_TRUE(app.window().component(panelId(2))->isVisible());
    EXPECT_FALSE(app.window().component(panelId(3))->isVisible());

    // ---- Live LEDs and currents: the first answered poll's picture ----
    EXPECT_TRUE(spinUntil([&] { return ledsShowUnit(app.window(), unit, 1, 1) && ledsShowUnit(app.window(), unit, 2, 2); },
                          kStepBoundMs));
    EXPECT_TRUE(spinUntil([&] { return currentShowsUnit(app.window(), unit, 1, 1); }, kStepBoundMs));
    EXPECT_GT(unit.withModel([](sim::UnitModel& m) { return m.bankCurrentTenths(1); }), 0);

    // The unit changes by itself; the next poll's answer redraws the window.
    const std::size_t pollsBeforeChange = unit.withModel([](sim::UnitModel& m) {
        m.setPort(1, 2, false);
        m.setPort(2, 5, true);
        m.setPort(2, 8, true);
        return static_cast<std::size_t>(m.pollsReceived());
    });
    ASSERT_LT(pollsBeforeChange, kAnsweredPolls) << "the unit fell silent before it changed";
    timers.advance(kPollIntervalMs);
    ASSERT_TRUE(spinUntil([&] { return pollsWritten(unit) > pollsBeforeChange; }, kStepBoundMs))
        << "no poll after the change";
    EXPECT_TRUE(spinUntil([&] {
        return ledsShowUnit(app.window(), unit, 1, 1) && ledsShowUnit(app.window(), unit, 2, 2) &&
               currentShowsUnit(app.window(), unit, 1, 1) && currentShowsUnit(app.window(), unit, 2, 2);
    }, kStepBoundMs));
    EXPECT_EQ(app.window().shownPicture(portLedId(25)), (PictureRef{PictureList::portLed, 2}));
    EXPECT_EQ(app.window().shownPicture(portLedId(12)), (PictureRef{PictureList::portLed, 0}));
    EXPECT_TRUE(messages.empty()) << messages.front();

    // ---- Silence: the next polls are not answered and the watchdog fires ----
    // The spare answered poll, then the first unanswered one arms the watchdog.
    // Every line of the spare answer proves the unit alive and disarms the
    // watchdog, so the next poll may go out only once the whole answer has
    // been taken in. Its last line carries bank 2's current: a change of
    // bank 2 shows when that line has been drawn.
    const CurrentDigits bank2Before = currentDigits(
        static_cast<float>(unit.withModel([](sim::UnitModel& m) { return m.bankCurrentTenths(2); })) / 10.0f);
    const int bank2After = unit.withModel([](sim::UnitModel& m) {
        m.setPort(2, 5, false);
        return m.bankCurrentTenths(2);
    });
    const CurrentDigits bank2Shown = currentDigits(static_cast<float>(bank2After) / 10.0f);
    ASSERT_TRUE(bank2Shown.first != bank2Before.first || bank2Shown.second != bank2Before.second)
        << "the change would not show in bank 2's current";
    const auto pollsSoFar = pollsWritten(unit);
    timers.advance(kPollIntervalMs);
    ASSERT_TRUE(spinUntil([&] { return pollsWritten(unit) > pollsSoFar; }, kStepBoundMs));
    ASSERT_TRUE(spinUntil([&] { return ledsShowUnit(app.window(), unit, 2, 2) && currentShowsUnit(app.window(), unit, 2, 2); },
                          kStepBoundMs))
        << "the spare poll's answer never came";
    ASSERT_FALSE(app.session().watchdogTimer().enabled()) << "the spare poll's answer left the watchdog armed";
    timers.advance(kPollIntervalMs);
    ASSERT_TRUE(spinUntil([&] { return unit.withModel([](sim::UnitModel& m) { return m.silent(); }); },
                          kStepBoundMs))
        << "the unit never fell silent";
    ASSERT_TRUE(spinUntil([&] { return app.session().watchdogTimer().enabled(); }, kStepBoundMs))
        << "no poll armed the watchdog";
    // Just short of 20 s after the arming poll the link still stands.
    timers.advance(kWatchdogIntervalMs - 1);
    EXPECT_TRUE(app.link().isOpen()) << "the link went before the watchdog ran out";
    EXPECT_TRUE(messages.empty());
    timers.advance(1);
    ASSERT_TRUE(spinUntil([&] { return !messages.empty(); }, kSilenceBoundMs)) << "no message after the silence";
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages.front(), kNotFoundMessage);
    EXPECT_FALSE(answerer.forced());

    // The link is torn down: port closed, timers stopped, panels hidden,
    // menus back to "not connected".
    EXPECT_FALSE(app.link().isOpen());
    EXPECT_FALSE(app.logic().flashTimer().enabled());
    EXPECT_FALSE(app.session().pollTimer().enabled());
    EXPECT_FALSE(app.session().watchdogTimer().enabled());
    EXPECT_EQ(app.state().BankCount.load(), 0);
    EXPECT_FALSE(app.window().component(panelId(1))->isVisible());
    EXPECT_FALSE(app.window().component(panelId(2))->isVisible());
    EXPECT_TRUE(app.window().menuItem("mlConnect")->isEnabled());
    EXPECT_FALSE(app.window().menuItem("mlDisconnect")->isEnabled());

    app.shutdown();
    EXPECT_EQ(app.link().readerCount(), 0u);
}

// A unit behind nine ports that do not exist is found at position 10 and
// connected, not refused after the dialog reported it.
TEST(EndToEnd, UnitFoundBeyondTheEighthPortIsConnected) {
    sim::UnitConfig config;
    config.banks = 1;
    sim::PtySimulator unit(config);
    std::string error;
    ASSERT_TRUE(unit.start(&error)) << error;

    testing_support::TempFolder folder;
    {
        std::ofstream ini(folder / "define.ini");
        ini << "[Form]\nComPort=0\nChkExist=1\nAuto=1\nPrompt=1\nComMeg=1\nSetRTC=0\nRestoreStatus=0\n";
    }
    ManualTimerHost timers;
    ApplicationOptions options;
    options.timers = &timers;
    for (int i = 1; i <= 9; ++i) options.extraPorts.push_back((folder / ("ttyMissing" + std::to_string(i))).string());
    options.extraPorts.push_back(unit.slavePath());
    options.settingsPath = folder / "define.ini";
    Application app(options);

    std::vector<std::string> messages;
    test::ModalAnswerer answerer(
        [&](QWidget* modal) {
            if (modal == &app.detectDialog()) {
                if (app.detectDialog().okButton()->isEnabled()) app.detectDialog().okButton()->click();
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                messages.push_back(box->text().toStdString());
                box->accept();
            }
        },
        kSilenceBoundMs);

    ASSERT_TRUE(app.start(&error)) << error;
    const int position = app.ports().count();
    ASSERT_GE(position, 10);
    EXPECT_EQ(app.ports().devices[static_cast<std::size_t>(position)], unit.slavePath());
    EXPECT_EQ(app.detectDialog().DetectResult(), position);
    EXPECT_TRUE(app.link().isOpen());
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_TRUE(unit.waitForCommand("uni", 1, std::chrono::milliseconds(kStepBoundMs)));
}

}  // namespace
}  // namespace velmora
