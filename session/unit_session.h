#pragma once

// One unit's session for whoever owns its port: the poll cadence (first
// poll 10 ms after the greeting, then every 5 s, the information request
// from the sixth), the 20 s watchdog armed by a poll and stopped by a
// report, the advance of the command queue as the unit confirms, the
// schedule transfer, and every report and link step handed on as values to
// the subscribers, stage by stage. It hears the link as its LinkEvents.
// UI thread only.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "link/device_state.h"
#include "link/link_events.h"
#include "platform/clock.h"
#include "platform/window_timer.h"
#include "schedule/timer_tables.h"
#include "session/unit_event.h"

namespace velmora {

// How an owner polls. A window or a headless owner polls on its own
// (steady polling: first 10 ms after the greeting, then every 5 s);
// velmoractl's commands poll when they want an answer.
struct SessionOptions {
    bool steadyPolling = true;
};

class UnitSession final : public LinkEvents {
public:
    // The functions may be left out: a session without them writes
    // nothing, asks nothing, and no editor shows a bank.
    struct Deps {
        DeviceState& state;
        TimerTables& tables;
        const Clock& clock;
        TimerFactory& timers;
        // One command text in one write call (nothing while the link is
        // closed or held for an upgrade).
        std::function<void(std::string_view)> write = {};
        // "/VER\" and the restore setting, once per link.
        std::function<void()> sendInfoRequest = {};
        // The watchdog ran out: the link closes and the user is told.
        std::function<void()> watchdogExpired = {};
        // Whether a schedule editor shows bank index `bankIndex`. Empty: none.
        std::function<bool(int bankIndex)> scheduleShown = {};
    };

    explicit UnitSession(Deps deps, SessionOptions options = {});
    ~UnitSession() override;
    UnitSession(const UnitSession&) = delete;
    UnitSession& operator=(const UnitSession&) = delete;

    // Subscribers hear every report and link step from now on, their stage
    // after the stages before it and, within it, in the order they came.
    // They stay subscribed until unsubscribed (safe during a delivery).
    void subscribe(SubscriberStage stage, UnitSubscriber& subscriber);
    void unsubscribe(UnitSubscriber& subscriber);

    // ---- Polling ----
    // "/C\" now: PollCount up, from the sixth poll the information request
    // if still due; the steady cadence (when polling steadily) takes over
    // from the first poll; the watchdog armed unless it runs already (a
    // report stops it, a poll does not restart it).
    void poll();
    // An upgrade holds the line: no polls, no watchdog, until resumed (which
    // arms the watchdog and polls after a full interval).
    void pausePolling();
    void resumePolling();
    // Polling steadily from the next greeting on (true), or only when asked
    // (false: the poll timer stops now).
    void setSteadyPolling(bool steady);
    WindowTimer& pollTimer() { return *pollTimer_; }
    WindowTimer& watchdogTimer() { return *watchdogTimer_; }

    // ---- Answers ----
    // A poll's answer is complete once every shown bank (one at least) has
    // reported its status and its current since the poll; what came
    // before the poll does not count, and each further full set of reports
    // is another answer (a watch shows each). Complete answers since the
    // session began, counted before anyone hears the report that completed
    // one.
    std::uint64_t answers() const { return answers_; }
    // Per bank number: its current was reported on this link (until then a
    // view shows it as unknown, not as 0.0 A).
    const std::array<bool, kBankRecords>& currentKnown() const { return currentKnown_; }

    // ---- Writing ----
    // The working tables' pending entries become clear and set commands
    // behind those waiting in the queue, and the head of the queue is
    // written once; the rest go out as the unit confirms each. Returns the
    // commands added.
    std::size_t sendSchedule();

    // ---- LinkEvents ----
    void reportStored(std::int32_t kind) override;
    void greeted() override;
    bool scheduleShown(int bankIndex) override;
    void linkClosing() override { tell(LinkChange::closing); }
    void linkStopped() override;
    void linkLost() override { tell(LinkChange::lost); }
    void linkReset() override;
    void clockSyncRequested() override { tell(LinkChange::clockSyncRequested); }

private:
    void watchdogRanOut();
    void noteAnswer(std::int32_t kind, int bank);
    void tell(LinkChange change);
    template <typename Call>
    void deliver(const Call& call);

    Deps d_;
    SessionOptions options_;
    std::unique_ptr<WindowTimer> pollTimer_;
    std::unique_ptr<WindowTimer> watchdogTimer_;
    // Per stage, in order; a slot emptied by unsubscribe stays until no
    // delivery runs.
    std::array<std::vector<UnitSubscriber*>, 4> stages_;
    int delivering_ = 0;
    std::uint64_t answers_ = 0;
    std::array<bool, kBankRecords> statusSincePoll_{};
    std::array<bool, kBankRecords> currentSincePoll_{};
    std::array<bool, kBankRecords> currentKnown_{};
};

}  // namespace velmora
