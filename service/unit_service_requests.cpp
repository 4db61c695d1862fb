// The requests the owner's service carries out, step by step: each step
// returns true when its request has been answered.

#include <algorithm>
#include <utility>

#include "link/protocol.h"
#include "link/report_rules.h"
#include "link/serial_link.h"
#include "maintenance/clock_sync.h"
#include "schedule/schedule_file.h"
#include "schedule/schedule_transfer.h"
#include "service/unit_service.h"
#include "service/unit_service_job.h"

namespace velmora {

namespace {

bool versionKnown(const DeviceState& state, int bank) {
    // The text lives in the snapshot: keep it while the text is read.
    const BankRecord record = state.bankSnapshot(bank);
    const std::string_view v = record.versionText();
    return !v.empty() && v != kWaitVersionText;
}

}  // namespace

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
    if (job.phase == JobPhase::starting) {
        if (const Confirm c = needBankCount(job); c != Confirm::shown) return c == Confirm::failed;
        const int banks = o_.state.BankCount.load();
        if (addressedPorts(r.bank, r.port, banks).empty()) {
            finish(errorLine(r.id, noSuchBankText(r.bank, banks), kAnswerUsage));
            return true;
        }
        if (!writeSwitch(job, r.on)) return true;
        job.phase = JobPhase::switchSent;
        return false;
    }
    const Confirm c = confirm(job, r.on);
    if (c == Confirm::shown) finish(unitAnswer(job, {{"confirmed", true}}));
    return c != Confirm::waiting;
}

bool UnitService::stepCycle(Job& job) {
    const Request& r = job.request;
    switch (job.phase) {
        case JobPhase::starting: {
            if (const Confirm c = needBankCount(job); c != Confirm::shown) return c == Confirm::failed;
            const int banks = o_.state.BankCount.load();
            if (addressedPorts(r.bank, r.port, banks).empty()) {
                finish(errorLine(r.id, noSuchBankText(r.bank, banks), kAnswerUsage));
                return true;
            }
            if (!writeSwitch(job, false)) return true;
            job.phase = JobPhase::offSent;
            return false;
        }
        case JobPhase::offSent: {
            const Confirm c = confirm(job, false);
            if (c != Confirm::shown) return c == Confirm::failed;
            // Told as it happens; nobody listening does not stop the cycle.
            job.reply(okLine(r.id, {{"step", "off"}, {"more", true}}));
            job.waitUntilMs = o_.nowMs() + r.delayMs;
            job.phase = JobPhase::pausing;
            return false;
        }
        case JobPhase::pausing:
            if (o_.nowMs() < job.waitUntilMs) return false;
            job.deadlineMs = o_.nowMs() + r.timeoutMs;
            if (!writeSwitch(job, true)) return true;
            job.phase = JobPhase::onSent;
            return false;
        case JobPhase::onSent:
        default: {
            const Confirm c = confirm(job, true);
            if (c == Confirm::shown) finish(unitAnswer(job, {{"confirmed", true}}));
            return c != Confirm::waiting;
        }
    }
}

bool UnitService::stepVersion(Job& job) {
    const Request& r = job.request;
    if (job.phase == JobPhase::starting) {
        if (!cacheFresh() && job.polledMs < 0) pollFor(job);
        if (job.polledMs >= 0 && !answeredSince(job)) {
            if (o_.nowMs() < job.deadlineMs) return false;
            finish(errorLine(r.id, noStatusAnswerText(r.timeoutMs), kAnswerNoUnit));
            return true;
        }
        job.phase = JobPhase::answered;
    }
    const int banks = shownBanks(o_.state.BankCount.load());
    int missing = 0;
    for (int b = 1; b <= banks && missing == 0; ++b)
        if (!versionKnown(o_.state, b)) missing = b;
    if (missing == 0) {
        finish(unitAnswer(job, {}));
        return true;
    }
    if (job.phase == JobPhase::answered) {
        versionSeen_.fill(false);
        if (o_.write) o_.write(cmdVersionRequest());
        job.phase = JobPhase::versionAsked;
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
    if (job.phase == JobPhase::starting) {
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
        job.phase = JobPhase::clockSent;
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
    if (job.phase == JobPhase::starting) {
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
        job.phase = JobPhase::scheduleQueued;
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
    if (job.phase == JobPhase::starting) {
        pollFor(job);
        job.phase = JobPhase::polled;
    }
    if (job.phase == JobPhase::polled) {
        if (!answeredSince(job)) {
            if (o_.nowMs() < job.deadlineMs) return false;
            finish(errorLine(r.id, noStatusAnswerText(r.timeoutMs), kAnswerNoUnit));
            return true;
        }
        // The timer reports follow the status lines of the answer.
        job.waitUntilMs = o_.nowMs() + kTimerReportsQuietMs;
        job.phase = JobPhase::timerReportsAwaited;
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
    if (job.phase == JobPhase::starting) {
        if (!o_.upgrade) {
            finish(errorLine(r.id,
                             "the port " + o_.device + " is held by the Velmora Manager window: its upgrade goes "
                             "through the window (Tools -> Upgrade), or close the connection there and run the "
                             "upgrade again",
                             kAnswerBusy));
            return true;
        }
        job.phase = JobPhase::upgrading;
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

}  // namespace velmora
