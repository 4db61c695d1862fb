#pragma once

// Setting the unit's clock from the PC's, once on request and every hour
// while SetRTC is on, and the once-per-connection warning when the unit
// reports a failed clock. It owns the window timers clockSettingTimer and clockAnswerTimer
// and reaches the port through a write function, so it runs and is tested
// without a screen. UI thread only.
//
// clockSettingTimer has three states on the window-timer semantics: stopped; a
// 1000 ms countdown after a start request; hourly after its first tick. A
// start request while it counts down changes nothing (a burst of version
// reports gives one clock set), one during the hourly cycle restarts the
// one-second countdown.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace velmora {

class DeviceState;
class Dialogs;
class TimerFactory;
class TimerTables;
class WindowTimer;

inline constexpr int kClockSetDelayMs = 1000;         // clockSettingTimer after a start request
inline constexpr int kClockSetPeriodMs = 3600000;     // clockSettingTimer once running: one hour
inline constexpr int kClockErrorDelayMs = 100;        // clockAnswerTimer
// The command carries the year within the century after a fixed "20".
inline constexpr int kFirstSettableYear = 2000;
inline constexpr int kLastSettableYear = 2099;

inline constexpr const char* kTimerWarningText = "Existing Timer Settings might be affected. \rPlease check.";
inline constexpr const char* kClockFailureText = "Battery no power or RTC failure";
inline constexpr const char* kClockWarningCaption = "Warning";

// Our message for a PC clock the unit's clock cannot be set to (a year
// outside 2000..2099, or fields no calendar has). Names the reading.
std::string clockNotSettableText(const LocalMoment& now);

class ClockSync {
public:
    struct Deps {
        DeviceState& state;
        TimerTables& tables;
        const Clock& clock;
        Dialogs& dialogs;
        // Makes clockSettingTimer and clockAnswerTimer.
        TimerFactory& timers;
        // Writes one command text in one write call (nothing while the link
        // is closed; a failed write is not reported).
        std::function<void(std::string_view)> write;
        // The SetRTC setting as it stands (empty reads as off).
        std::function<bool()> setRtcOn;
        // True while a firmware upgrade holds the port (empty reads as
        // false): the clock is not set then, see SendClockSet.
        std::function<bool()> portHeld;
    };

    explicit ClockSync(Deps deps);
    ~ClockSync();
    ClockSync(const ClockSync&) = delete;
    ClockSync& operator=(const ClockSync&) = delete;

    // One local-time reading as "/SETTIME20yy-mm-dd hh:mm:ss\" (28
    // characters). Then, on the first clock set of a connection
    // (TimerWarningArmed) and only when an enabled LiveOn entry of one of
    // the first BankCount banks exists, "Existing Timer Settings might be
    // affected. \rPlease check." (caption "Warning", information icon),
    // shown after the write; TimerWarningArmed is cleared either way. A
    // reading the command cannot carry sends nothing, says why, and leaves
    // TimerWarningArmed as it was. While an upgrade holds the port nothing
    // is read or sent: the setting is only noted as due (see
    // upgradeCompleted).
    void SendClockSet();
    // The upgrade completed: a setting that fell due meanwhile is made once,
    // one second from now (the start of the countdown, so the version
    // reports that follow a completion add no second one).
    void upgradeCompleted();
    bool settingDue() const { return due_; }

    // Time menu: "Set System Time" and "Sync System Time per hour".
    void setClockNow();
    void startPeriodicClockSetting();  // clockSettingTimer to 1000 ms and enabled

    // ukVersion: with SetRTC on, the one-second countdown (see above).
    void versionReported();
    // ukClockError: clockAnswerTimer on (the message leaves the update routine).
    void clockErrorReported();

    // clockSettingTimer ticks: the timer goes hourly, then the clock is set.
    void clockSettingDue();
    // clockAnswerTimer ticks: the timer stops; "Battery no power or RTC failure"
    // (caption "Warning", information icon) once per connection
    // (ClockWarningArmed), which is then cleared.
    void clockAnswerTimedOut();

    // clockSettingTimer off: the settings' start-up and OK rule with SetRTC off.
    void stopClockSyncTimer();
    // The link reset: clockSettingTimer off and nothing due, so nothing is sent
    // until the next link.
    void linkReset();

    WindowTimer& clockSettingTimer() { return *clockSettingTimer_; }
    WindowTimer& clockAnswerTimer() { return *clockAnswerTimer_; }

private:
    Deps d_;
    std::unique_ptr<WindowTimer> clockSettingTimer_;
    std::unique_ptr<WindowTimer> clockAnswerTimer_;
    bool due_ = false;
};

}  // namespace velmora
