#include "service/unit_service.h"

#include <algorithm>
#include <utility>

#include "link/protocol.h"
#include "link/report_rules.h"
#include "link/serial_link.h"
#include "maintenance/clock_sync.h"
#include "schedule/schedule_file.h"
#include "schedule/schedule_transfer.h"
#include "service/metrics.h"

namespace velmora {

struct UnitService::Job {
    Request request;
    Reply reply;
    std::int64_t startedMs = -1;
    std::int64_t deadlineMs = -1;
    // Progress of the request's steps.
    int phase = 0;
    std::uint64_t answersAtPoll = 0;  // answers_ when the job last polled
    std::int64_t polledMs = -1;       // -1: the job has not polled
    std::int64_t waitUntilMs = -1;    // a pause the job waits out
    std::uint64_t clockErrorsAtWrite = 0;
    std::size_t commands = 0;         // schedule-send: commands queued
    std::string sent;                 // clock: the command written
    std::optional<Json> upgradeEnd;   // upgrade: the owner's final answer
    bool toldSent = false;            // the client knows the unit has it
    std::vector<std::string> warnings;  // schedule-send: records skipped
};

namespace {

bool versionKnown(const DeviceState& state, int bank) {
    // The text lives in the snapshot: keep it while the text is read.
    const BankRecord record = state.bankSnapshot(bank);
    const std::string_view v = record.versionText();
    return !v.empty() && v != kWaitVersionText;
}

// Whether the unit has (part of) the request already: such a request runs
// to its end even when nobody waits for it, so that a switching is
// confirmed and a cycle, a schedule or an upgrade is not left half done.
bool onTheWire(RequestKind kind, int phase) {
    switch (kind) {
        case RequestKind::switchPorts:
        case RequestKind::cycle:
        case RequestKind::clock:
        case RequestKind::scheduleSend:
        case RequestKind::upgrade: return phase > 0;
        default: return false;  // asking the unit again costs nothing
    }
}

}  // namespace

UnitService::UnitService(OwnerLink link) : o_(std::move(link)), tick_(o_.timers.create("tmService")) {
    tick_->setEnabled(false);
    tick_->setInterval(kServiceTickMs);
    tick_->setOnTimer([this] { step(); });
}

UnitService::~UnitService() = default;

UnitView UnitService::view() const { return takeUnitView(o_.state, o_.tables, o_.clock.now(), currentKnown_); }

std::string UnitService::metrics() const {
    const bool up = lastAnswerMs_ >= 0 && o_.nowMs() - lastAnswerMs_ <= kMetricsStaleMs;
    return metricsText(o_.device, up, view(), o_.tables, o_.clock.now(), o_.outletName);
}

void UnitService::submit(Request request, Reply reply) {
    if (request.kind == RequestKind::hello) {
        reply(okLine(request.id, {{"owner", o_.ownerKind}, {"device", o_.device}}));
        return;
    }
    if (const OwnerRefusal r = o_.refusal ? o_.refusal() : OwnerRefusal{}; r.exitCode != kAnswerDone) {
        reply(errorLine(request.id, r.text, r.exitCode));
        return;
    }
    if (request.kind == RequestKind::watch) {
        // The present picture at once when there is one, then every answer.
        if (answers_ > 0 && !reply(okLine(request.id, {{"unit", unitJson(view(), true)}}))) return;
        watches_.push_back({request.id, std::move(reply)});
        return;
    }
    if (request.wanted && !request.wanted()) {
        ++withdrawn_;
        return;
    }
    if (request.kind == RequestKind::upgrade) request.timeoutMs = kLongestRequestTimeoutMs;
    auto job = std::make_unique<Job>();
    job->request = std::move(request);
    job->reply = std::move(reply);
    jobs_.push_back(std::move(job));
    startNextIfIdle();
}

void UnitService::startNextIfIdle() {
    if (jobs_.empty()) {
        tick_->setEnabled(false);
        return;
    }
    Job& job = *jobs_.front();
    if (job.startedMs < 0) {
        job.startedMs = o_.nowMs();
        job.deadlineMs = job.startedMs + job.request.timeoutMs;
    }
    tick_->setEnabled(true);
    step();
}

void UnitService::step() {
    // A reply may reach back into the owner (a queued write, a poll) and
    // from there into us; one pass at a time.
    if (stepping_) return;
    stepping_ = true;
    withdrawUnwanted();
    while (!jobs_.empty()) {
        Job& job = *jobs_.front();
        if (job.startedMs < 0) {
            job.startedMs = o_.nowMs();
            job.deadlineMs = job.startedMs + job.request.timeoutMs;
        }
        if (!stepJob(job)) break;  // still waiting
    }
    stepping_ = false;
    tick_->setEnabled(!jobs_.empty());
}

void UnitService::withdrawUnwanted() {
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        const Job& job = **it;
        if (job.request.wanted && !job.request.wanted() && !onTheWire(job.request.kind, job.phase)) {
            it = jobs_.erase(it);
            ++withdrawn_;
        } else {
            ++it;
        }
    }
}

void UnitService::tellSent(Job& job) {
    // Tells a client that gives up later that the unit has its request.
    if (job.toldSent) return;
    job.toldSent = true;
    job.reply(okLine(job.request.id, {{"step", "sent"}, {"more", true}}));
}

void UnitService::finish(const std::string& line) {
    std::unique_ptr<Job> done = std::move(jobs_.front());
    jobs_.pop_front();
    done->reply(line);
}

void UnitService::pollFor(Job& job) {
    // Only what comes after this poll counts as its answer.
    statusSeen_.fill(false);
    currentSeen_.fill(false);
    job.answersAtPoll = answers_;
    job.polledMs = o_.nowMs();
    if (o_.poll) o_.poll();
}

bool UnitService::answeredSince(const Job& job) const { return job.polledMs >= 0 && answers_ > job.answersAtPoll; }

bool UnitService::cacheFresh() const {
    return lastAnswerMs_ >= 0 && o_.nowMs() - lastAnswerMs_ <= kStatusCacheMs;
}

std::string UnitService::unitAnswer(const Job& job, Json fields) const {
    fields["unit"] = unitJson(view(), true);
    return okLine(job.request.id, std::move(fields));
}

bool UnitService::stepJob(Job& job) {
    bool done = false;
    switch (job.request.kind) {
        case RequestKind::status: done = stepStatus(job); break;
        case RequestKind::switchPorts: done = stepSwitch(job); break;
        case RequestKind::cycle: done = stepCycle(job); break;
        case RequestKind::version: done = stepVersion(job); break;
        case RequestKind::clock: done = stepClock(job); break;
        case RequestKind::scheduleSend: done = stepScheduleSend(job); break;
        case RequestKind::scheduleSave: done = stepScheduleSave(job); break;
        case RequestKind::upgrade: done = stepUpgrade(job); break;
        case RequestKind::metrics: done = stepMetrics(job); break;
        case RequestKind::hello:
        case RequestKind::watch:
            finish(okLine(job.request.id));
            return true;
    }
    return done;
}

// ---- The requests ----------------------------------------------------------------

bool UnitService::stepStatus(Job& job) {
    if (job.polledMs < 0 && cacheFresh()) {
        finish(unitAnswer(job, {}));
        return true;
    }
    if (job.polledMs < 0) pollFor(job);
    if (answeredSince(job)) {
        finish(unitAnswer(job, {}));
        return true;
    }
    if (o_.nowMs() >= job.deadlineMs) {
        finish(errorLine(job.request.id, noStatusAnswerText(job.request.timeoutMs), kAnswerNoUnit));
        return true;
    }
    return false;
}

UnitService::Confirm UnitService::needBankCount(Job& job) {
    // The bank count comes with every poll answer: one is needed first.
    if (o_.state.BankCount.load() > 0 || answers_ > 0) return Confirm::shown;
    if (job.polledMs < 0) pollFor(job);
    if (answeredSince(job)) return Confirm::shown;
    if (o_.nowMs() < job.deadlineMs) return Confirm::waiting;
    finish(errorLine(job.request.id, noStatusAnswerText(job.request.timeoutMs), kAnswerNoUnit));
    return Confirm::failed;
}

bool UnitService::writeSwitch(Job& job, bool on) {
    const Request& r = job.request;
    if (!o_.write || !o_.write(switchCommand(on, r.bank, r.port))) {
        finish(errorLine(r.id, "the port took nothing: an upgrade holds it, or the link is closed", kAnswerBusy));
        return false;
    }
    tellSent(job);
    pollFor(job);
    return true;
}

UnitService::Confirm UnitService::confirm(Job& job, bool on) {
    const Request& r = job.request;
    const std::vector<PortAddress> ports = addressedPorts(r.bank, r.port, o_.state.BankCount.load());
    if (answeredSince(job) && portsShow(view(), ports, on)) return Confirm::shown;
    const std::int64_t now = o_.nowMs();
    if (now >= job.deadlineMs) {
        finish(answerText({{"id", r.id}, {"ok", false}, {"error", notConfirmedText(on, r.bank, r.port, r.timeoutMs)},
                           {"exitCode", kAnswerNotConfirmed}, {"confirmed", false}, {"unit", unitJson(view(), true)}}));
        return Confirm::failed;
    }
    // Not yet (or the answer was lost): ask again at a steady pace.
    if (now - job.polledMs >= kConfirmPollMs) pollFor(job);
    return Confirm::waiting;
}

bool UnitService::stepMetrics(Job& job) {
    // A status first (from the cache when it is fresh), then the text.
    if (job.polledMs < 0 && cacheFresh()) {
        finish(okLine(job.request.id, {{"text", metrics()}, {"up", true}}));
        return true;
    }
    if (job.polledMs < 0) pollFor(job);
    if (answeredSince(job) || o_.nowMs() >= job.deadlineMs) {
        // A unit that did not answer is reported down, not as an error.
        finish(okLine(job.request.id, {{"text", metrics()}, {"up", answeredSince(job)}}));
        return true;
    }
    return false;
}

bool UnitService::stepSwitch(Job& job) {
    const Request& r = job.request;
    if (job.phase == 0) {
        if (const Confirm c = needBankCount(job); c != Confirm::shown) return c == Confirm::failed;
        const int banks = o_.state.BankCount.load();
        if (addressedPorts(r.bank, r.port, banks).empty()) {
            finish(errorLine(r.id, noSuchBankText(r.bank, banks), kAnswerUsage));
            return true;
        }
        if (!writeSwitch(job, r.on)) return true;
        job.phase = 1;
        return false;
    }
    const Confirm c = confirm(job, r.on);
    if (c == Confirm::shown) finish(unitAnswer(job, {{"confirmed", true}}));
    return c != Confirm::waiting;
}

bool UnitService::stepCycle(Job& job) {
    const Request& r = job.request;
    switch (job.phase) {
        case 0: {
            if (const Confirm c = needBankCount(job); c != Confirm::shown) return c == Confirm::failed;
            const int banks = o_.state.BankCount.load();
            if (addressedPorts(r.bank, r.port, banks).empty()) {
                finish(errorLine(r.id, noSuchBankText(r.bank, banks), kAnswerUsage));
                return true;
            }
            if (!writeSwitch(job, false)) return true;
            job.phase = 1;
            return false;
        }
        case 1: {
            const Confirm c = confirm(job, false);
            if (c != Confirm::shown) return c == Confirm::failed;
            // Told as it happens; nobody listening does not stop the cycle.
            job.reply(okLine(r.id, {{"step", "off"}, {"more", true}}));
            job.waitUntilMs = o_.nowMs() + r.delayMs;
            job.phase = 2;
            return false;
        }
        case 2:
            if (o_.nowMs() < job.waitUntilMs) return false;
            job.deadlineMs = o_.nowMs() + r.timeoutMs;
            if (!writeSwitch(job, true)) return true;
            job.phase = 3;
            return false;
        default: {
            const Confirm c = confirm(job, true);
            if (c == Confirm::shown) finish(unitAnswer(job, {{"confirmed", true}}));
            return c != Confirm::waiting;
        }
    }
}

bool UnitService::stepVersion(Job& job) {
    const Request& r = job.request;
    if (job.phase == 0) {
        if (!cacheFresh() && job.polledMs < 0) pollFor(job);
        if (job.polledMs >= 0 && !answeredSince(job)) {
            if (o_.nowMs() < job.deadlineMs) return false;
            finish(errorLine(r.id, noStatusAnswerText(r.timeoutMs), kAnswerNoUnit));
            return true;
        }
        job.phase = 1;
    }
    const int banks = shownBanks(o_.state.BankCount.load());
    int missing = 0;
    for (int b = 1; b <= banks && missing == 0; ++b)
        if (!versionKnown(o_.state, b)) missing = b;
    if (missing == 0) {
        finish(unitAnswer(job, {}));
        return true;
    }
    if (job.phase == 1) {
        versionSeen_.fill(false);
        if (o_.write) o_.write(cmdVersionRequest());
        job.phase = 2;
    }
    if (o_.nowMs() >= job.deadlineMs) {
        finish(errorLine(r.id,
                         "bank " + std::to_string(missing) + " did not report its version within " +
                             secondsText(r.timeoutMs),
                         kAnswerNotConfirmed));
        return true;
    }
    return false;
}

bool UnitService::stepClock(Job& job) {
    const Request& r = job.request;
    if (job.phase == 0) {
        const LocalMoment now = o_.clock.now();
        if (now.year < kFirstSettableYear || now.year > kLastSettableYear) {
            finish(errorLine(r.id, clockNotSettableText(now), kAnswerUsage));
            return true;
        }
        job.sent = cmdSetTime(now);
        job.clockErrorsAtWrite = clockErrors_;
        if (!o_.write || !o_.write(job.sent)) {
            finish(errorLine(r.id, "the port took nothing: an upgrade holds it, or the link is closed", kAnswerBusy));
            return true;
        }
        // The unit answers in order: its "err" comes before the poll's answer.
        job.phase = 1;
        tellSent(job);
        pollFor(job);
        return false;
    }
    if (answeredSince(job)) {
        if (clockErrors_ != job.clockErrorsAtWrite) {
            finish(errorLine(r.id, kClockFailureText, kAnswerNotConfirmed));
        } else {
            finish(okLine(r.id, {{"sent", latin1ToUtf8(job.sent)}}));
        }
        return true;
    }
    if (o_.nowMs() >= job.deadlineMs) {
        finish(errorLine(r.id,
                         "the unit did not answer after the clock command within " + secondsText(r.timeoutMs),
                         kAnswerNotConfirmed));
        return true;
    }
    return false;
}

bool UnitService::stepScheduleSend(Job& job) {
    const Request& r = job.request;
    if (job.phase == 0) {
        if (o_.schedulesAllowed && !o_.schedulesAllowed()) {
            finish(errorLine(r.id,
                             "the Set Timer dialog is open in the window: close it, then send the schedule",
                             kAnswerBusy));
            return true;
        }
        // The working tables start from what the unit holds (a fresh
        // answer brings its timer reports), the file goes over them.
        if (!cacheFresh() && job.polledMs < 0) pollFor(job);
        if (job.polledMs >= 0 && !answeredSince(job)) {
            if (o_.nowMs() < job.deadlineMs) return false;
            finish(errorLine(r.id, noStatusAnswerText(r.timeoutMs), kAnswerNoUnit));
            return true;
        }
        const int banks = o_.state.BankCount.load();
        o_.tables.copyLiveToEdit(banks);
        ScheduleReadNotes notes;
        const ScheduleRead read = applySchedule(r.text, o_.tables, banks, &notes);
        if (const std::string why = scheduleUnusableText(read); !why.empty()) {
            Json answer = {{"id", r.id}, {"ok", false}, {"error", "cannot use the schedule: " + why},
                           {"exitCode", kAnswerUsage}};
            if (const auto warnings = scheduleReadWarnings(read, notes); !warnings.empty()) answer["warnings"] = warnings;
            finish(answerText(answer));
            return true;
        }
        DeviceState& state = o_.state;
        job.commands = sendSchedule(
            o_.tables, banks, o_.clock.now(),
            TransferQueue{[&state](std::string c) { state.Queue.append(std::move(c)); },
                          [&state] { return state.Queue.head(); },
                          [this](std::string_view t) {
                              if (o_.write) o_.write(t);
                          }});
        job.phase = 1;
        if (job.commands > 0) tellSent(job);
        job.warnings = scheduleReadWarnings(read, notes);
    }
    if (o_.state.Queue.empty()) {
        Json fields = {{"commands", job.commands}, {"confirmed", job.commands}};
        if (!job.warnings.empty()) fields["warnings"] = job.warnings;
        finish(okLine(r.id, std::move(fields)));
        return true;
    }
    if (o_.nowMs() >= job.deadlineMs) {
        const std::size_t left = o_.state.Queue.size();
        const std::string head = o_.state.Queue.head().value_or("");
        const std::size_t confirmed = job.commands > left ? job.commands - left : 0;
        finish(errorLine(r.id,
                         "the unit did not confirm " + head + " within " + secondsText(r.timeoutMs) + " (" +
                             std::to_string(confirmed) + " of " + std::to_string(job.commands) +
                             " commands confirmed)",
                         kAnswerNotConfirmed));
        return true;
    }
    return false;
}

bool UnitService::stepScheduleSave(Job& job) {
    const Request& r = job.request;
    if (job.phase == 0) {
        pollFor(job);
        job.phase = 1;
    }
    if (job.phase == 1) {
        if (!answeredSince(job)) {
            if (o_.nowMs() < job.deadlineMs) return false;
            finish(errorLine(r.id, noStatusAnswerText(r.timeoutMs), kAnswerNoUnit));
            return true;
        }
        // The timer reports follow the status lines of the answer.
        job.waitUntilMs = o_.nowMs() + kTimerReportsQuietMs;
        job.phase = 2;
    }
    if (o_.nowMs() < job.waitUntilMs) return false;
    const int banks = o_.state.BankCount.load();
    TimerTables::Tables copy = o_.tables.withLock([](const TimerTables::Tables& t) { return t; });
    copy.editOn = copy.liveOn;
    copy.editOff = copy.liveOff;
    finish(okLine(r.id, {{"text", latin1ToUtf8(formatSchedule(copy, banks))}, {"banks", shownBanks(banks)}}));
    return true;
}

bool UnitService::stepUpgrade(Job& job) {
    const Request& r = job.request;
    if (job.phase == 0) {
        if (!o_.upgrade) {
            finish(errorLine(r.id,
                             "the port " + o_.device + " is held by the Velmora Manager window: its upgrade goes "
                             "through the window (Tools -> Upgrade), or close the connection there and run the "
                             "upgrade again",
                             kAnswerBusy));
            return true;
        }
        job.phase = 1;
        // The job stays first in line until the owner is done: nothing else
        // may reach the unit meanwhile.
        Job* running = &job;
        o_.upgrade(
            r.text,
            [this, running, id = r.id](Json fields) {
                if (jobs_.empty() || jobs_.front().get() != running) return;
                fields["id"] = id;
                fields["ok"] = true;
                fields["more"] = true;
                running->reply(answerText(fields));
            },
            [this, running](Json fields) {
                if (jobs_.empty() || jobs_.front().get() != running) return;
                running->upgradeEnd = std::move(fields);
                step();
            });
    }
    if (!job.upgradeEnd) return false;
    Json answer = Json{{"id", r.id}};
    for (auto it = job.upgradeEnd->begin(); it != job.upgradeEnd->end(); ++it) answer[it.key()] = it.value();
    if (answer.value("ok", false)) answer["unit"] = unitJson(view(), true);
    finish(answerText(answer));
    return true;
}

// ---- Events ------------------------------------------------------------------------

void UnitService::viewUpdate(std::int32_t kind) {
    const int bank = o_.state.ReportedBank.load();
    const bool inRecords = bank >= 0 && bank < kBankRecords;
    if (inRecords && isStatusReport(kind)) statusSeen_[static_cast<std::size_t>(bank)] = true;
    if (inRecords && isCurrentReport(kind)) {
        currentSeen_[static_cast<std::size_t>(bank)] = true;
        currentKnown_[static_cast<std::size_t>(bank)] = true;
    }
    if (inRecords && kind == ukVersion) versionSeen_[static_cast<std::size_t>(bank)] = true;
    if (kind == ukClockError) ++clockErrors_;
    if (isStatusReport(kind) || isCurrentReport(kind)) {
        const int banks = shownBanks(o_.state.BankCount.load());
        bool all = banks > 0;
        for (int b = 1; b <= banks && all; ++b)
            all = statusSeen_[static_cast<std::size_t>(b)] && currentSeen_[static_cast<std::size_t>(b)];
        if (all) answerComplete();
    }
    step();
}

void UnitService::answerComplete() {
    ++answers_;
    lastAnswerMs_ = o_.nowMs();
    statusSeen_.fill(false);
    currentSeen_.fill(false);
    if (watches_.empty()) return;
    const UnitView unit = view();
    std::vector<Watch> kept;
    for (Watch& w : watches_) {
        if (w.reply(okLine(w.id, {{"unit", unitJson(unit, true)}}))) kept.push_back(std::move(w));
    }
    watches_ = std::move(kept);
}

void UnitService::linkLost() {
    const std::string why = std::string(kNotFoundMessage) + "\n(the owner's link to the unit was closed)";
    std::deque<std::unique_ptr<Job>> jobs = std::move(jobs_);
    jobs_.clear();
    for (auto& job : jobs) job->reply(errorLine(job->request.id, why, kAnswerNoUnit));
    std::vector<Watch> watches = std::move(watches_);
    watches_.clear();
    for (Watch& w : watches) w.reply(errorLine(w.id, why, kAnswerNoUnit));
    statusSeen_.fill(false);
    currentSeen_.fill(false);
    currentKnown_.fill(false);
    versionSeen_.fill(false);
    lastAnswerMs_ = -1;
    tick_->setEnabled(false);
}

}  // namespace velmora
