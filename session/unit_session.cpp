#include "session/unit_session.h"

#include <algorithm>

#include "link/protocol.h"
#include "link/report_rules.h"
#include "schedule/schedule_transfer.h"

namespace velmora {

UnitSession::UnitSession(Deps deps, SessionOptions options)
    : d_(std::move(deps)),
      options_(options),
      pollTimer_(d_.timers.create("tmQuery")),
      watchdogTimer_(d_.timers.create("tmOpenComError")) {
    pollTimer_->setEnabled(false);
    watchdogTimer_->setEnabled(false);
    pollTimer_->setInterval(kPollIntervalMs);
    watchdogTimer_->setInterval(kWatchdogIntervalMs);
    pollTimer_->setOnTimer([this] { poll(); });
    watchdogTimer_->setOnTimer([this] { watchdogRanOut(); });
}

UnitSession::~UnitSession() = default;

void UnitSession::subscribe(SubscriberStage stage, UnitSubscriber& subscriber) {
    stages_[static_cast<std::size_t>(stage)].push_back(&subscriber);
}

void UnitSession::unsubscribe(UnitSubscriber& subscriber) {
    for (auto& stage : stages_) {
        std::replace(stage.begin(), stage.end(), &subscriber, static_cast<UnitSubscriber*>(nullptr));
    }
    if (delivering_ == 0) {
        for (auto& stage : stages_) stage.erase(std::remove(stage.begin(), stage.end(), nullptr), stage.end());
    }
}

template <typename Call>
void UnitSession::deliver(const Call& call) {
    ++delivering_;
    for (auto& stage : stages_) {
        // By index: a subscription made meanwhile is heard from the next
        // delivery on, one ended meanwhile is skipped.
        const std::size_t count = stage.size();
        for (std::size_t i = 0; i < count && i < stage.size(); ++i) {
            if (UnitSubscriber* s = stage[i]) call(*s);
        }
    }
    if (--delivering_ == 0) {
        for (auto& stage : stages_) stage.erase(std::remove(stage.begin(), stage.end(), nullptr), stage.end());
    }
}

void UnitSession::tell(LinkChange change) {
    deliver([change](UnitSubscriber& s) { s.linkChanged(change); });
}

// ---- Reports ----------------------------------------------------------------------

void UnitSession::reportStored(std::int32_t kind) {
    const UnitEvent event{kind, d_.state.ReportedBank.load(),
                          d_.state.ShownBankCount.load() != d_.state.BankCount.load()};
    if (!event.layoutChanged) {
        if (kind == ukNextAfterClear || kind == ukNextAfterSet) {
            // The head was confirmed: drop it and send the one behind it,
            // which stays listed until its own confirmation.
            if (auto next = d_.state.Queue.advance()) {
                if (d_.write) d_.write(*next);
            }
        } else if (answersAPoll(kind)) {
            // Before anyone hears it: a poll made on hearing it arms the
            // watchdog again.
            watchdogTimer_->setEnabled(false);
        }
    }
    noteAnswer(kind, event.bank);
    deliver([&event](UnitSubscriber& s) { s.unitReported(event); });
}

void UnitSession::noteAnswer(std::int32_t kind, int bank) {
    const bool status = isStatusReport(kind);
    const bool current = isCurrentReport(kind);
    if ((!status && !current) || bank < 0 || bank >= kBankRecords) return;
    const auto b = static_cast<std::size_t>(bank);
    if (status) statusSincePoll_[b] = true;
    if (current) currentSincePoll_[b] = currentKnown_[b] = true;
    const int banks = shownBanks(d_.state.BankCount.load());
    if (banks <= 0) return;
    for (int n = 1; n <= banks; ++n) {
        if (!statusSincePoll_[static_cast<std::size_t>(n)] || !currentSincePoll_[static_cast<std::size_t>(n)]) return;
    }
    ++answers_;
    statusSincePoll_.fill(false);
    currentSincePoll_.fill(false);
}

void UnitSession::linkReset() {
    statusSincePoll_.fill(false);
    currentSincePoll_.fill(false);
    currentKnown_.fill(false);
    tell(LinkChange::reset);
}

bool UnitSession::scheduleShown(int bankIndex) { return d_.scheduleShown && d_.scheduleShown(bankIndex); }

// ---- Polling ----------------------------------------------------------------------

void UnitSession::greeted() {
    if (options_.steadyPolling) {
        pollTimer_->setInterval(kFirstPollDelayMs);
        pollTimer_->setEnabled(true);
    }
    tell(LinkChange::greeted);
}

void UnitSession::poll() {
    // Only what comes after this poll answers it.
    statusSincePoll_.fill(false);
    currentSincePoll_.fill(false);
    const int polls = ++d_.state.PollCount;
    if (polls > kPollsBeforeInfoRequest && !d_.state.InfoRequestSent && d_.sendInfoRequest) d_.sendInfoRequest();
    if (d_.write) d_.write(cmdPoll());
    if (options_.steadyPolling && pollTimer_->interval() != kPollIntervalMs) {
        pollTimer_->setInterval(kPollIntervalMs);
        pollTimer_->setEnabled(true);
    }
    // A running watchdog is not restarted: only a report stops it.
    if (!watchdogTimer_->enabled()) watchdogTimer_->setEnabled(true);
}

void UnitSession::setSteadyPolling(bool steady) {
    options_.steadyPolling = steady;
    if (!steady) pollTimer_->setEnabled(false);
}

void UnitSession::watchdogRanOut() {
    // One expiry per arming, even if nobody stops the timers afterwards.
    watchdogTimer_->setEnabled(false);
    if (d_.watchdogExpired) d_.watchdogExpired();
}

void UnitSession::linkStopped() {
    pollTimer_->setEnabled(false);
    watchdogTimer_->setEnabled(false);
    tell(LinkChange::stopped);
}

void UnitSession::pausePolling() {
    pollTimer_->setEnabled(false);
    watchdogTimer_->setEnabled(false);
    tell(LinkChange::pollingPaused);
}

void UnitSession::resumePolling() {
    pollTimer_->setEnabled(options_.steadyPolling);
    watchdogTimer_->setEnabled(true);
    tell(LinkChange::pollingResumed);
}

// ---- Writing ----------------------------------------------------------------------

std::size_t UnitSession::sendSchedule() {
    const TransferQueue queue{[this](std::string command) { d_.state.Queue.append(std::move(command)); },
                              [this] { return d_.state.Queue.head(); },
                              [this](std::string_view text) {
                                  if (d_.write) d_.write(text);
                              }};
    return velmora::sendSchedule(d_.tables, d_.state.BankCount.load(), d_.clock.now(), queue);
}

}  // namespace velmora
