#pragma once

// One velmoractl run's link to the unit: the window's link, reader, state,
// queue and tables, with the main thread as the "UI thread" that drains a
// QueueDispatcher in its own loop. Everything that touches the outside
// world comes in through Deps (device factory, port list, clocks, the
// loop's wait), so tests run it against a scripted port or the simulator
// with a test clock.
//
// The session never writes anything the window would not write in the same
// situation: the greeting byte by byte and the information request
// (SerialLink::OpenLink), the probe (SerialLink::ProbePort), the status
// poll as the window's poll tick sends it, and whatever the commands send
// through write().

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_exit.h"
#include "cli/cli_output.h"
#include "cli/loop_timers.h"
#include "link/device_state.h"
#include "link/link_events.h"
#include "session/unit_session.h"
#include "link/serial_link.h"
#include "maintenance/firmware_upgrade.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/queue_dispatcher.h"
#include "platform/serial_device.h"
#include "schedule/timer_tables.h"

namespace velmora::cli {

// How long the line must stay quiet after the last received byte before an
// answer counts as complete (milliseconds). The unit sends its answer to a
// poll in one go; its timer reports carry no end mark, so this gap is what
// says that all of them are in. About 48 byte times at 9600 baud.
inline constexpr int kAnswerQuietMs = 50;
// Longest sleep of the loop between two looks at its conditions.
inline constexpr int kLoopTickMs = 10;

// How the loop sleeps: wait() blocks up to `ms` milliseconds and returns
// early after wake() (called from any thread when the dispatcher queued a
// task) or when a stop was requested.
class LoopWaiter {
public:
    virtual ~LoopWaiter() = default;
    virtual void wait(int ms) = 0;
    virtual void wake() = 0;
};

// The outcome of a wait.
enum class Wait {
    done,      // the condition held
    timedOut,  // the time-out passed first
    stopped,   // a stop was requested (SIGINT, SIGTERM)
    lineLost,  // the port went away (hang-up, unplugged) or the link was closed
};

class Session final : private UnitSubscriber {
public:
    struct Deps {
        std::function<std::unique_ptr<SerialDevice>()> makeDevice;
        std::function<std::vector<SerialPortInfo>()> listPorts;
        const Clock& clock;                          // local time: time left, clock set, schedules
        std::function<std::int64_t()> monotonicMs;   // called from any thread
        LoopWaiter& waiter;
        std::function<int()> stopSignal;             // the stop signal that came, 0 none; empty: never
        std::function<void(int milliseconds)> sleep;  // the greeting's 1 ms pauses, the upgrade's pause
        Dialogs& dialogs;                            // messages of the upgrade and the clock setting
        LinkOptions linkOptions;                     // the information request's restore setting
        int quietMs = kAnswerQuietMs;
    };

    // What connecting came to.
    struct Connection {
        int exitCode = 0;     // kExitDone when the unit greeted
        std::string message;  // why not, in words
        std::string device;   // the port used
    };

    // Extra work for the upgrade's view updates (each optional).
    struct UpgradeHooks {
        std::function<void()> begin, step, done, failed, message;
        std::function<void()> linkReset;
    };

    explicit Session(Deps deps);
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Opens the link on `device`, or, when it is empty, probes the port
    // list as the Detect dialog does and opens the first port where the
    // unit answered. Then waits up to `timeoutMs` for the unit's answer to
    // the greeting ("xyz", or "abc" for a unit without firmware).
    // exitCode: 0; kExitPort with the reason; kExitNoUnit (not found, or no
    // answer to the greeting); 128 + signal when stopped.
    Connection connect(const std::string& device, int timeoutMs);

    // Runs the loop (dispatcher, timers) until `done` holds, the time-out
    // passes, a stop is requested or the line is lost.
    Wait waitUntil(const std::function<bool()>& done, int timeoutMs);
    // The loop for `ms` milliseconds (Wait::done when they passed).
    Wait pause(int ms);
    // As waitUntil, whether or not a link is open (an owner waiting to
    // connect again still serves its loop).
    Wait idle(const std::function<bool()>& done, int timeoutMs);

    // The window's poll tick without its timers: PollCount up (the sixth
    // poll sends the information request if it has not gone), "/C\", the
    // watchdog armed if it is not. Starts a new answer (answerComplete()).
    void poll();
    // poll(), then waitUntil(answerComplete()).
    Wait pollForAnswer(int timeoutMs);
    // Since the last poll: the bank count is known, every bank (up to 16)
    // sent its status and its current, and the line has been quiet for
    // quietMs with the reader idle.
    bool answerComplete() const;
    // Nothing waits to be read, the reader sits in its wait, and nothing
    // came for quietMs.
    bool lineQuiet() const;
    // The reader sits in its wait with nothing to read (or the link is
    // closed): every byte received has been processed.
    bool readerIdle() const;

    // One command text in one write call. False, with nothing written,
    // while the link is closed or an upgrade holds the port.
    bool write(std::string_view text);

    bool greeted() const { return greeted_; }
    bool firmwareMissing() const { return state_.FirmwareFailed.load(); }
    bool clockErrorSeen() const { return clockError_; }
    bool versionSeen(int bank) const;
    // Status or current reports seen since connecting (any poll).
    std::uint64_t reportCount() const { return reports_; }
    // The unit session's 20 s watchdog ran out: a poll armed it and no
    // report answering a poll (status, current, an unchanged bank count)
    // has come since, nor a new connection.
    bool watchdogExpired() const;
    // What a firmware upgrade on this session's link needs, with the
    // front end's dialogs and view; `disconnect` (the link's own when
    // empty) and `pause` are the front end's.
    FirmwareUpgrade::Deps upgradeDeps(Dialogs& dialogs, UpgradeView& view, std::function<void()> disconnect,
                                      std::function<void(int)> pause);

    UnitView view() const;
    std::int64_t nowMs() const { return d_.monotonicMs(); }
    // The stop signal that came, 0 while none did.
    int stopSignal() const { return d_.stopSignal ? d_.stopSignal() : 0; }

    DeviceState& state() { return state_; }
    TimerTables& tables() { return tables_; }
    SerialLink& link() { return *link_; }
    UnitSession& unit() { return *unit_; }
    LoopTimerHost& timers() { return timers_; }
    const Clock& clock() const { return d_.clock; }
    Dialogs& dialogs() { return d_.dialogs; }
    void setUpgradeHooks(UpgradeHooks hooks) { upgrade_ = std::move(hooks); }
    // Told of every view update after the session handled it (the kind the
    // reader raised), and of every link reset: what a service of the port's
    // owner follows.
    void setUpdateHook(std::function<void(std::int32_t kind)> hook) { updateHook_ = std::move(hook); }
    void setLinkResetHook(std::function<void()> hook) { linkResetHook_ = std::move(hook); }
    // The "UI thread" of this session: what the loop runs between its waits.
    UiDispatcher& dispatcher() { return dispatcher_; }
    // Closes the link as the window's Disconnect does (the reset included).
    void disconnect();

    // Dispatcher stopped (a reader waiting for a hand-over is released),
    // reader woken and joined, port closed. Idempotent; the destructor
    // calls it.
    void shutdown();
    // Readers not yet joined (0 after shutdown).
    std::size_t readerCount() const { return link_->readerCount(); }

    struct PortWatch;

private:
    // The unit session's view stage: what this front end keeps of the
    // reports (no window to draw), and the link's steps.
    void unitReported(const UnitEvent& event) override;
    void linkChanged(LinkChange change) override;
    void linkReset();

    std::unique_ptr<SerialDevice> makeWatchedDevice();
    // The list position the unit answered at, 0 when none did.
    int probeForUnit(int count, std::vector<PortRefusal>& refusals);

    Deps d_;
    DeviceState state_;
    TimerTables tables_;
    QueueDispatcher dispatcher_;
    LoopTimerHost timers_;
    // The owner's service, when one serves others, hears after this session.
    FunctionSubscriber serviceStage_{[this](const UnitEvent& e) {
        if (updateHook_) updateHook_(e.kind);
    }};
    std::unique_ptr<UnitSession> unit_;
    std::unique_ptr<SerialLink> link_;
    std::shared_ptr<PortWatch> watch_;  // the device made last
    SerialStatus lastOpen_ = SerialStatus::ok;
    UpgradeHooks upgrade_;
    std::function<void(std::int32_t)> updateHook_;
    std::function<void()> linkResetHook_;

    bool greeted_ = false;
    bool failureReported_ = false;  // "abc"/"Fail" reported
    bool clockError_ = false;
    bool shutDown_ = false;
    std::uint64_t reports_ = 0;
    bool watchdogRanOut_ = false;
    std::uint64_t answersAtPoll_ = 0;  // the unit session's answers when we last polled
    bool bankCountSeen_ = false;
    std::array<bool, kBankRecords> versionSeen_{};
};

}  // namespace velmora::cli
