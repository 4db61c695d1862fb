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
#include "service/unit_service_job.h"

namespace velmora {

namespace {

// Whether the unit has (part of) the request already: such a request runs
// to its end even when nobody waits for it, so that a switching is
// confirmed and a cycle, a schedule or an upgrade is not left half done.
bool onTheWire(RequestKind kind, JobPhase phase) {
    switch (kind) {
        case RequestKind::switchPorts:
        case RequestKind::cycle:
        case RequestKind::clock:
        case RequestKind::scheduleSend:
        case RequestKind::upgrade: return phase != JobPhase::starting;
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

UnitView UnitService::view() const { return takeUnitView(o_.state, o_.tables, o_.clock.now(), o_.session.currentKnown()); }

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
    job.answersAtPoll = o_.session.answers();
    job.polledMs = o_.nowMs();
    if (o_.poll) o_.poll();
}

bool UnitService::answeredSince(const Job& job) const {
    return job.polledMs >= 0 && o_.session.answers() > job.answersAtPoll;
}

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

// ---- Events ------------------------------------------------------------------------

void UnitService::viewUpdate(std::int32_t kind) {
    const int bank = o_.state.ReportedBank.load();
    const bool inRecords = bank >= 0 && bank < kBankRecords;
    if (inRecords && kind == ukVersion) versionSeen_[static_cast<std::size_t>(bank)] = true;
    if (kind == ukClockError) ++clockErrors_;
    // The session counted the answer this report completed, if any.
    if (o_.session.answers() != sessionAnswers_) {
        sessionAnswers_ = o_.session.answers();
        answerComplete();
    }
    step();
}

void UnitService::answerComplete() {
    ++answers_;
    lastAnswerMs_ = o_.nowMs();
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
    versionSeen_.fill(false);
    lastAnswerMs_ = -1;
    tick_->setEnabled(false);
}

}  // namespace velmora
