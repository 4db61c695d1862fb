#pragma once

// What the port's owner - the window, or `velmoractl serve` - does for the
// clients of its control socket: their requests, carried out over the
// owner's own link one at a time, in the order they came, with the owner's
// queue, upgrade hold and confirmation rules. Runs on the owner's UI
// thread (the control server hands requests over with the dispatcher) and
// is driven by the owner's view updates and one window timer, so it is
// tested with manual timers and no port.
//
// Status answers come from a poll answer at most kStatusCacheMs old: a
// client polling every outlet one by one costs one poll of the unit, not
// dozens. A switching is written, polled right after, and confirmed by the
// unit's status (polled again every kConfirmPollMs until the time-out).
// Once a request's command is written the client hears {"step":"sent",
// "more":true}; a request whose client went away (Request::wanted) is
// withdrawn unless the unit already has it.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/device_state.h"
#include "platform/clock.h"
#include "platform/window_timer.h"
#include "schedule/timer_tables.h"
#include "service/control_protocol.h"
#include "service/unit_view.h"
#include "session/unit_session.h"

namespace velmora {

inline constexpr int kStatusCacheMs = 1000;   // a poll answer this fresh answers "status"
inline constexpr int kConfirmPollMs = 1000;   // polls while a switching is not yet shown
inline constexpr int kServiceTickMs = 20;     // the service's timer while a request runs
inline constexpr int kTimerReportsQuietMs = 200;  // after a poll answer, for its timer reports
inline constexpr int kMetricsStaleMs = 60000;     // a poll answer older than this: the unit is down

// Why the owner's link cannot take a request now (exitCode 0: it can).
struct OwnerRefusal {
    int exitCode = kAnswerDone;
    std::string text;
};

// What the port's owner lends the service. All of it is used on the
// owner's UI thread.
struct OwnerLink {
    DeviceState& state;
    TimerTables& tables;
    const Clock& clock;
    TimerFactory& timers;
    // The owner's unit session: whether a poll has its answer, which
    // currents are known.
    const UnitSession& session;
    std::function<std::int64_t()> nowMs;            // monotonic milliseconds
    // One command text in one write call, through the upgrade hold; false
    // when nothing was written.
    std::function<bool(std::string_view)> write;
    // The owner's poll tick, now: "/C\", the watchdog armed as its own
    // polls arm it (the window's panels then show the answer at once).
    std::function<void()> poll;
    // Whether requests can be carried out now (greeted, no upgrade).
    std::function<OwnerRefusal()> refusal;
    // False while the owner's own schedule editor works on the working
    // tables (the window's Set Timer dialog). Empty: always allowed.
    std::function<bool()> schedulesAllowed;
    std::string ownerKind;  // "window" or "serve", told in "hello"
    std::string device;     // the port the owner holds
    // Upgrades the unit's firmware for a client with `image` (the file's
    // bytes): `progress` gets each step as an answer's fields, `done` the
    // final answer's (with "ok" and, on failure, "error" and "exitCode").
    // Empty: this owner upgrades for nobody but its own user (the window).
    std::function<void(const std::string& image, std::function<void(Json)> progress, std::function<void(Json)> done)>
        upgrade;
    // Outlet names for the metrics' "name" label. Empty: none.
    std::function<std::string(int bank, int port)> outletName;
};

class UnitService {
public:
    // One answer line (with its line end). Returns false when nobody
    // listens any more (the client went away): a watch then ends.
    using Reply = std::function<bool(const std::string& line)>;

    explicit UnitService(OwnerLink link);
    ~UnitService();
    UnitService(const UnitService&) = delete;
    UnitService& operator=(const UnitService&) = delete;

    // A client's request: answered after every request submitted before it.
    // "hello" and refusals are answered at once; a watch answers now and
    // after every complete poll answer until its reply returns false.
    void submit(Request request, Reply reply);

    // ---- Events from the owner (its UI thread) ----
    // A view update of `kind` has been handled (ReportedBank names the bank).
    void viewUpdate(std::int32_t kind);
    // The link went away (Disconnect, watchdog, upgrade time-out): every
    // request waiting or running is answered with the not-found message and
    // every watch ends.
    void linkLost();

    // The port the owner holds now (the window's changes with each
    // connection): told in "hello" and labels the metrics.
    void setDevice(std::string device) { o_.device = std::move(device); }

    // The unit as the owner holds it now.
    UnitView view() const;
    // The unit now in Prometheus' text format, from what the owner holds
    // (no poll): velmora_up is 1 while a poll answer is at most a minute old.
    std::string metrics() const;
    // Requests waiting or running (not counting watches).
    std::size_t pending() const { return jobs_.size(); }
    std::size_t watches() const { return watches_.size(); }
    // Requests withdrawn because nobody waited for them any more.
    std::uint64_t withdrawn() const { return withdrawn_; }
    // Complete poll answers heard (every shown bank's status and current).
    std::uint64_t answers() const { return answers_; }

private:
    struct Job;

    void startNextIfIdle();
    void withdrawUnwanted();
    void tellSent(Job& job);
    void step();
    bool stepJob(Job& job);
    void finish(const std::string& line);
    void pollFor(Job& job);
    bool answeredSince(const Job& job) const;
    bool cacheFresh() const;
    void answerComplete();
    std::string unitAnswer(const Job& job, Json fields) const;

    enum class Confirm { waiting, shown, failed };
    // A job that needs the bank count polls for it first: shown when it is
    // known, waiting, or failed (answered with the time-out).
    Confirm needBankCount(Job& job);
    // Writes the switching and polls; false (answered) when nothing was written.
    bool writeSwitch(Job& job, bool on);
    // Whether the answer since the job's poll shows the switching; polls
    // again at a steady pace; answers the time-out itself (failed).
    Confirm confirm(Job& job, bool on);

    bool stepStatus(Job& job);
    bool stepSwitch(Job& job);
    bool stepCycle(Job& job);
    bool stepVersion(Job& job);
    bool stepClock(Job& job);
    bool stepScheduleSend(Job& job);
    bool stepScheduleSave(Job& job);
    bool stepUpgrade(Job& job);
    bool stepMetrics(Job& job);

    OwnerLink o_;
    std::unique_ptr<WindowTimer> tick_;
    std::deque<std::unique_ptr<Job>> jobs_;  // front: the one running
    struct Watch {
        Json id;
        Reply reply;
    };
    std::vector<Watch> watches_;
    bool stepping_ = false;

    // What the reports since the last complete answer have covered.
    std::array<bool, kBankRecords> versionSeen_{};
    std::uint64_t answers_ = 0;
    std::uint64_t sessionAnswers_ = 0;  // the session's count when last heard
    std::int64_t lastAnswerMs_ = -1;
    std::uint64_t clockErrors_ = 0;
    std::uint64_t withdrawn_ = 0;
};

}  // namespace velmora
