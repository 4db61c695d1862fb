#pragma once

// The whole program (Application, offscreen) against a simulated unit on a
// real pty, on a fixed clock and manual window timers: the test moves the
// program's time on by hand, so polls, flash ticks, the 10 s upgrade
// time-out and the hourly clock set pass at once, while the serial line,
// the reader and the unit run for real. Modal dialogs are answered by a
// handler the test sets; message boxes are recorded and confirmed.

#include <QApplication>
#include <QMessageBox>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "session/unit_session.h"
#include "link/serial_link.h"
#include "mainwindow/menu_logic.h"
#include "mainwindow/window_logic.h"
#include "platform/clock.h"
#include "platform/port_holders.h"
#include "platform/window_timer.h"
#include "sim/pty_simulator.h"
#include "support/event_loop.h"
#include "support/temp_folder.h"

namespace velmora::test {

// A slow answer on a loaded machine; only a hang reaches it.
inline constexpr int kProgramStepBoundMs = 30000;

struct ProgramOptions {
    sim::UnitConfig unit;
    sim::PtyOptions pty;
    LocalMoment now{2026, 12, 8, 3, 21, 0, 15};  // Tuesday 21:00:15
    bool setRtc = false;                         // define.ini's SetRTC
    // Probe the port first, as the Detect dialog does (it learns there
    // that a unit has no firmware); costs a few seconds with a running unit.
    bool probe = false;
};

class ProgramRig {
public:
    explicit ProgramRig(ProgramOptions o = {})
        : unit_(o.unit, o.pty), clock_(o.now), setRtc_(o.setRtc), probe_(o.probe) {}
    ~ProgramRig() {
        if (app_) app_->shutdown();
    }

    // Starts the unit and the program and connects to the unit as the
    // Connect menu does after a find (the Detect dialog's probe is tested on
    // its own). false with *why when something did not come up.
    bool start(std::string* why) {
        if (!unit_.start(why)) return false;
        std::ofstream(folder_ / "define.ini") << "[Form]\nComPort=0\nChkExist=1\nAuto=0\nPrompt=1\nComMeg=1\nSetRTC="
                                              << (setRtc_ ? 1 : 0) << "\nRestoreStatus=1\n";
        ApplicationOptions options;
        options.extraPorts = {unit_.slavePath()};
        options.settingsPath = folder_ / "define.ini";
        options.clock = &clock_;
        options.timers = &timers_;
        options.monotonicMs = [this] { return timers_.nowMs(); };
        options.namesPath = folder_ / "names.json";
        app_ = std::make_unique<Application>(options);
        answerer_ = std::make_unique<ModalAnswerer>([this](QWidget* modal) { answer(modal); }, 600000);
        if (!app_->start(why)) return false;
        int position = 0;
        for (int i = 1; i <= app_->ports().count(); ++i)
            if (app_->ports().devices[static_cast<std::size_t>(i)] == unit_.slavePath()) position = i;
        if (position == 0) {
            *why = "the unit is not in the port list";
            return false;
        }
        if (probe_) {
            struct Discard final : ProbeReport {
                void append(const std::string&) override {}
                void removeLast() override {}
            } report;
            // The probe waits on the line in real time (its own tests time
            // it): on a loaded machine one try may miss the unit's answer.
            bool found = false;
            for (int attempt = 0; attempt < 3 && !found; ++attempt) found = app_->link().ProbePort(position, report) == 1;
            if (!found) {
                *why = "the probe did not find the unit in three tries";
                // Another program on the unit's pty (one of another test
                // that still had that pty number open) explains it.
                const std::string holders = describePortHolders(portHolders(unit_.slavePath()));
                if (!holders.empty()) *why += "; the unit's pty is also open in " + holders;
                return false;
            }
        }
        app_->openLink(position);
        return true;
    }

    // The greeting's answer arms the first poll 10 ms ahead: let it go,
    // and wait until the window is laid out for the unit's banks.
    bool firstPoll(int banks) {
        if (!spinUntil([&] { return app_->session().pollTimer().enabled(); }, kProgramStepBoundMs)) return false;
        timers_.advance(kFirstPollDelayMs);
        return spinUntil([&] { return app_->state().ShownBankCount.load() == banks; }, kProgramStepBoundMs);
    }
    // One poll interval passes; then waits for `done` while the answer comes in.
    bool afterNextPoll(const std::function<bool()>& done) {
        timers_.advance(kPollIntervalMs);
        return spinUntil(done, kProgramStepBoundMs);
    }
    bool waitFor(const std::function<bool()>& done) { return spinUntil(done, kProgramStepBoundMs); }

    // What a modal other than a message box gets (a dialog of the program,
    // a file chooser); runs every few milliseconds while it is shown.
    std::function<void(QWidget*)> onModal;

    Application& app() { return *app_; }
    sim::PtySimulator& unit() { return unit_; }
    ManualTimerHost& timers() { return timers_; }
    FixedClock& clock() { return clock_; }
    const std::filesystem::path& folder() const { return folder_.path(); }
    bool forced() const { return answerer_ && answerer_->forced(); }

    // Every message box shown, as its text read (line breaks as shown).
    std::vector<std::string> messages;

private:
    void answer(QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages.push_back(box->text().toStdString());
            box->accept();
            return;
        }
        if (onModal) onModal(modal);
    }

    testing_support::TempFolder folder_;
    sim::PtySimulator unit_;
    ManualTimerHost timers_;
    FixedClock clock_;
    bool setRtc_;
    bool probe_;
    std::unique_ptr<Application> app_;
    std::unique_ptr<ModalAnswerer> answerer_;
};

}  // namespace velmora::test
