#include "maintenance/clock_sync.h"

#include <cstdio>
#include <utility>

#include "link/device_state.h"
#include "link/protocol.h"
#include "platform/dialogs.h"
#include "platform/window_timer.h"
#include "schedule/timer_tables.h"

namespace velmora {

namespace {

// The command for this reading, or "" when the unit's clock cannot take it.
std::string clockCommand(const LocalMoment& now) {
    if (now.year < kFirstSettableYear || now.year > kLastSettableYear) return {};
    return cmdSetTime(now);
}

}  // namespace

std::string clockNotSettableText(const LocalMoment& now) {
    char reading[80];
    std::snprintf(reading, sizeof reading, "%04d-%02d-%02d %02d:%02d:%02d", now.year, now.month, now.day, now.hour,
                  now.minute, now.second);
    std::string text = "The PC clock reads ";
    text.append(reading);
    text.append(". The unit's clock can only be set to a date from 2000 to 2099, so it was not set.");
    return text;
}

ClockSync::ClockSync(Deps deps)
    : d_(std::move(deps)), clockSettingTimer_(d_.timers.create("tmSetRTC")), clockAnswerTimer_(d_.timers.create("tmRTCErr")) {
    clockSettingTimer_->setEnabled(false);
    clockSettingTimer_->setInterval(kClockSetDelayMs);
    clockSettingTimer_->setOnTimer([this] { clockSettingDue(); });
    clockAnswerTimer_->setEnabled(false);
    clockAnswerTimer_->setInterval(kClockErrorDelayMs);
    clockAnswerTimer_->setOnTimer([this] { clockAnswerTimedOut(); });
}

ClockSync::~ClockSync() = default;

void ClockSync::SendClockSet() {
    if (d_.portHeld && d_.portHeld()) {
        // The unit's loader would take the command for firmware.
        due_ = true;
        return;
    }
    // The unit's own power-on timers are what a new clock would move.
    const bool timersActive = d_.tables.anyLiveOnEnabled(d_.state.BankCount.load());
    const LocalMoment now = d_.clock.now();
    const std::string command = clockCommand(now);
    if (command.empty()) {
        // A wrong date would fire every timer at the wrong time.
        d_.dialogs.message(clockNotSettableText(now), kClockWarningCaption, MessageIcon::information);
        return;
    }
    if (d_.write) d_.write(command);
    if (timersActive && d_.state.TimerWarningArmed) {
        d_.dialogs.message(kTimerWarningText, kClockWarningCaption, MessageIcon::information);
    }
    d_.state.TimerWarningArmed = false;
}

void ClockSync::setClockNow() { SendClockSet(); }

void ClockSync::startPeriodicClockSetting() {
    clockSettingTimer_->setInterval(kClockSetDelayMs);
    clockSettingTimer_->setEnabled(true);
}

void ClockSync::versionReported() {
    if (d_.setRtcOn && d_.setRtcOn()) startPeriodicClockSetting();
}

void ClockSync::clockErrorReported() { clockAnswerTimer_->setEnabled(true); }

void ClockSync::clockSettingDue() {
    clockSettingTimer_->setInterval(kClockSetPeriodMs);
    clockSettingTimer_->setEnabled(true);
    SendClockSet();
}

void ClockSync::clockAnswerTimedOut() {
    clockAnswerTimer_->setEnabled(false);
    if (d_.state.ClockWarningArmed) {
        d_.dialogs.message(kClockFailureText, kClockWarningCaption, MessageIcon::information);
    }
    d_.state.ClockWarningArmed = false;
}

void ClockSync::stopClockSyncTimer() { clockSettingTimer_->setEnabled(false); }

void ClockSync::upgradeCompleted() {
    if (!due_) return;
    due_ = false;
    startPeriodicClockSetting();
}

void ClockSync::linkReset() {
    clockSettingTimer_->setEnabled(false);
    due_ = false;
}

}  // namespace velmora
