#pragma once

#include "platform/clock.h"
#include "sim/command_framer.h"
#include "sim/loader.h"
#include "sim/unit_config.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace velmora::sim {

// One power-on or power-off timer the unit holds. Bank 0 with port 0 is
// the all-banks timer, port 0 of a bank the whole-bank timer.
struct UnitTimer {
    char letter = 'T';        // 'T' once only, 'D' every day, 'W' every week
    int bank = 0;             // 0..16 as on the wire
    int port = 0;             // 0..8 as on the wire
    int action = 1;           // 1 power-on, 0 power-off
    std::int64_t dueMs = 0;   // unit time (ms) at which it fires next
};

// The simulated unit without any I/O: what the PC writes goes in through
// feed(), what the unit sends comes back as the result. Time only passes
// through advance(). Not thread-safe; PtySimulator guards it.
//
// What it answers (each line framed "/text\"):
//   uni            -> xyz (abc while it has no valid firmware)
//   VER            -> one "Vbb vvvv" per bank
//   C              -> "Mn", the status of every bank in the configured form,
//                     then one "Lbbpa hhhmmss" report per timer it holds
//   Obbp / Fbbp    -> nothing: the next status line shows the switching
//   Qbbpa          -> the same text back once cleared
//   Lbbpa hhhmmss  -> "Ebbpa" once set (L = T, D or W)
//   SETTIME...     -> nothing, or "err" with the clock fault; timers fall
//                     due at moments of the unit's clock, so their
//                     countdowns move with it
//   EN001 / DS001  -> nothing; sets or clears the restore flag
//   UPGRADE        -> the loader's dialogue (see Loader), in upgrade text
// Commands for banks it does not have, or with malformed fields, are
// ignored without an answer, as is anything unknown.
//
// Banks count from 1 and ports from 1 to 8 in every accessor, as on the wire.
class UnitModel {
public:
    static constexpr int kMaxBanks = 16;
    static constexpr int kPorts = 8;

    explicit UnitModel(UnitConfig config);

    // Takes bytes written by the PC and returns the unit's answer, possibly
    // empty. After the line has been dropped (hangUpRequested()) everything
    // is ignored and the result is empty.
    std::string feed(const std::uint8_t* bytes, std::size_t n);
    std::string feed(std::string_view bytes);

    // Lets the unit's time pass by ms milliseconds: timers fire and switch
    // their ports, the clock moves on, an upgrade may end by a quiet gap,
    // and a unit without firmware may prompt for an image. Returns what the
    // unit sends by itself meanwhile (usually nothing).
    std::string advance(std::int64_t ms);
    std::string tick(int seconds);  // advance() by whole seconds

    // Power lost and back: ports stay as they were when the restore flag is
    // on, all off otherwise. Timers and the clock survive (battery backed),
    // except that with the clock fault the clock starts again from
    // clockStart.
    void powerCycle();

    // State, for tests and the simulator's accessors.
    int bankCount() const { return banks_; }
    bool portOn(int bank, int port) const;            // false outside 1..bankCount / 1..8
    std::string portStates(int bank) const;           // "OOCCCCCC": O on, C off; "" for no such bank
    std::string timerFlags(int bank) const;           // "GGGGGGGG": G normal, F flagged; "" for no such bank
    int bankCurrentTenths(int bank) const;            // tenths of an ampere; 0 for no such bank
    std::string currentText(int bank) const;          // "2.5": amperes, one decimal
    static int portLoadTenths(int bank, int port);    // draw of one switched-on port, tenths of an ampere
    std::string version(int bank) const;              // 4 digits; "" for no such bank
    std::vector<UnitTimer> timers() const;            // in bank, port, action order
    std::optional<UnitTimer> timer(int bank, int port, int action) const;
    std::int64_t secondsLeft(const UnitTimer& t) const;  // rounded up, never negative
    LocalMoment clock() const;                        // the unit's real-time clock
    bool restoreOnStart() const { return restore_; }
    bool firmwareValid() const { return firmwareValid_; }
    UpgradePhase upgradePhase() const { return loader_.phase(); }
    long upgradeBytesReceived() const { return loader_.bytesReceived(); }
    int pollsReceived() const { return polls_; }
    bool silent() const { return silent_; }
    bool hangUpRequested() const { return hangUp_; }
    std::int64_t nowMs() const { return nowMs_; }
    // Bodies of all complete commands received, in order, known or not.
    const std::vector<std::string>& commands() const { return commands_; }

    // Test hooks: put a port in a given state without a command.
    void setPort(int bank, int port, bool on);
    void setTimerFlag(int bank, int port, bool flagged);

private:
    using TimerKey = std::tuple<int, int, int>;  // bank, port, action

    std::string handleCommand(const std::string& body);
    std::string answerPoll();
    std::string answerVersions() const;
    std::string statusLines(int bank, StatusForm form) const;
    std::string timerReports() const;
    std::string switchPorts(char letter, const std::string& digits);
    std::string clearTimers(const std::string& body);
    std::string setTimer(const std::string& body);
    std::string setClock(const std::string& body);
    std::string enterUpgrade();
    void applyLoaderEvent(LoaderEvent e);
    void fireDueTimers(std::int64_t untilMs);
    void fireTimer(const TimerKey& key);
    void switchScope(int bank, int port, bool on);
    bool validAddress(int bank, int port) const;

    UnitConfig config_;
    int banks_;
    std::array<std::array<bool, kPorts>, kMaxBanks> on_{};
    std::array<std::array<bool, kPorts>, kMaxBanks> flagged_{};
    std::array<std::string, kMaxBanks> versions_;
    std::map<TimerKey, UnitTimer> timers_;
    FixedClock rtc_;
    std::int64_t rtcRemainderMs_ = 0;
    std::int64_t nowMs_ = 0;
    std::int64_t lastActivityMs_ = 0;
    bool restore_ = false;
    bool firmwareValid_ = true;
    bool upgraded_ = false;  // an upgrade completed since power-up
    int polls_ = 0;
    bool silent_ = false;
    bool hangUp_ = false;
    CommandFramer framer_;
    Loader loader_;
    std::vector<std::string> commands_;
};

}  // namespace velmora::sim
