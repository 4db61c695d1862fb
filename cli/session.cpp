#include "cli/session.h"

#include <algorithm>

#include "link/port_search.h"
#include "link/protocol.h"
#include "link/report_rules.h"
#include "platform/forwarding_serial.h"
#include "platform/port_list.h"

namespace velmora::cli {

// What the session learns from the reader's side of the port without
// asking the reader: whether it sits in its wait (the count is odd while it
// does), when bytes last came, whether the line went away.
struct Session::PortWatch {
    std::atomic<std::uint64_t> waits{0};
    std::atomic<std::int64_t> lastReceivedMs{0};
    std::atomic<bool> gone{false};
    std::weak_ptr<SerialDevice> inner;
};

namespace {

class WatchedDevice final : public ForwardingSerialDevice {
public:
    WatchedDevice(std::shared_ptr<SerialDevice> inner, std::shared_ptr<Session::PortWatch> watch,
                  std::function<std::int64_t()> now, std::function<void(SerialStatus)> opened)
        : ForwardingSerialDevice(std::move(inner)),
          watch_(std::move(watch)),
          now_(std::move(now)),
          opened_(std::move(opened)) {
        watch_->inner = innerShared();
    }

    SerialStatus open(const std::string& device, SerialMode mode) override {
        const SerialStatus s = inner().open(device, mode);
        if (opened_) opened_(s);
        return s;
    }
    SerialStatus waitForInput() override {
        watch_->waits.fetch_add(1);
        const SerialStatus s = inner().waitForInput();
        watch_->waits.fetch_add(1);
        if (s == SerialStatus::deviceGone) watch_->gone = true;
        return s;
    }
    SerialIo read(std::uint8_t* buffer, std::size_t size) override {
        const SerialIo r = inner().read(buffer, size);
        if (r.bytes > 0) watch_->lastReceivedMs = now_();
        if (r.status == SerialStatus::deviceGone) watch_->gone = true;
        return r;
    }

private:
    std::shared_ptr<Session::PortWatch> watch_;
    std::function<std::int64_t()> now_;
    std::function<void(SerialStatus)> opened_;
};

class UnreadReport final : public ProbeReport {
public:
    void append(const std::string&) override {}
    void removeLast() override {}
};

void call(const std::function<void()>& f) {
    if (f) f();
}

}  // namespace

Session::Session(Deps deps) : d_(std::move(deps)), timers_(d_.monotonicMs) {
    dispatcher_.setWakeup([this] { d_.waiter.wake(); });
    // velmoractl polls when a command wants an answer: no steady polling.
    unit_ = std::make_unique<UnitSession>(UnitSession::Deps{.state = state_,
                                                            .tables = tables_,
                                                            .clock = d_.clock,
                                                            .timers = timers_,
                                                            .write = [this](std::string_view t) { link_->write(t); },
                                                            .sendInfoRequest = [this] { link_->SendInfoRequest(); },
                                                            .watchdogExpired = [this] { watchdogRanOut_ = true; }},
                                          SessionOptions{.steadyPolling = false});
    UnitSubscriber& self = *this;
    unit_->subscribe(SubscriberStage::view, self);
    unit_->subscribe(SubscriberStage::service, serviceStage_);
    link_ = std::make_unique<SerialLink>(SerialLink::Deps{.state = state_,
                                                          .tables = tables_,
                                                          .dispatcher = dispatcher_,
                                                          .clock = d_.clock,
                                                          .events = *unit_,
                                                          .dialogs = d_.dialogs,
                                                          .makeDevice = [this] { return makeWatchedDevice(); },
                                                          .options = [this] { return d_.linkOptions; },
                                                          .sleep = d_.sleep ? d_.sleep : [](int) {}});
}

Session::~Session() { shutdown(); }

void Session::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    // A reader waiting for a hand-over is released first, so joining it
    // cannot wait on this very thread.
    dispatcher_.shutdown();
    link_->shutdown();
}

std::unique_ptr<SerialDevice> Session::makeWatchedDevice() {
    std::unique_ptr<SerialDevice> inner = d_.makeDevice ? d_.makeDevice() : nullptr;
    if (!inner) return nullptr;
    watch_ = std::make_shared<PortWatch>();
    return std::make_unique<WatchedDevice>(std::shared_ptr<SerialDevice>(std::move(inner)), watch_, d_.monotonicMs,
                                           [this](SerialStatus s) { lastOpen_ = s; });
}

int Session::probeForUnit(int count, std::vector<PortRefusal>& refusals) {
    UnreadReport report;
    PortSearch search;
    search.count = count;
    search.probe = [&](int position) {
        lastOpen_ = SerialStatus::ok;
        const bool found = link_->ProbePort(position, report) == 1;
        if (lastOpen_ != SerialStatus::ok)
            refusals.push_back({link_->portDevices()[static_cast<std::size_t>(position)], lastOpen_});
        return found;
    };
    return searchPorts(search).found;
}

void Session::disconnect() { link_->Disconnect(); }

Session::Connection Session::connect(const std::string& device, int timeoutMs) {
    Connection c;
    // A connection of its own: what an earlier one heard does not count.
    greeted_ = false;
    failureReported_ = false;
    watchdogRanOut_ = false;
    int position = 1;
    if (!device.empty()) {
        link_->setPortDevices({"AUTO", device});
    } else {
        ComPortList list = comPortListFrom(d_.listPorts ? d_.listPorts() : std::vector<SerialPortInfo>{});
        link_->setPortDevices(list.devices);
        std::vector<PortRefusal> refusals;
        position = probeForUnit(list.count(), refusals);
        if (stopSignal() != 0) {
            c.exitCode = kExitNoUnit;
            c.message = "stopped while probing the serial ports";
            return c;
        }
        if (position == 0) {
            const ScanVerdict verdict = noUnitVerdict(refusals, static_cast<std::size_t>(list.count()));
            c.exitCode = verdict.exitCode;
            c.message = verdict.text;
            return c;
        }
    }
    c.device = link_->portDevices()[static_cast<std::size_t>(position)];
    lastOpen_ = SerialStatus::ok;
    link_->OpenLink(position);
    if (!link_->isOpen()) {
        c.exitCode = kExitPort;
        c.message = openFailureText(c.device, lastOpen_ == SerialStatus::ok ? SerialStatus::failed : lastOpen_);
        return c;
    }
    // A unit without firmware answers the greeting with "abc": that answer
    // is taken here, whether or not the probe already heard it, so no later
    // step (an upgrade's file choice) takes it for a failed upgrade.
    const Wait w = waitUntil([this] { return greeted_ || failureReported_; }, timeoutMs);
    if (w == Wait::done) return c;
    c.exitCode = kExitNoUnit;
    if (w == Wait::stopped) {
        c.message = "stopped while waiting for the unit";
    } else if (w == Wait::lineLost) {
        c.message = std::string(kNotFoundMessage) + "\n(the line to " + c.device + " went away)";
    } else {
        c.message = std::string(kNotFoundMessage) + "\n(no answer to the greeting on " + c.device + ")";
    }
    return c;
}

Wait Session::waitUntil(const std::function<bool()>& done, int timeoutMs) {
    const std::int64_t deadline = d_.monotonicMs() + std::max(timeoutMs, 0);
    for (;;) {
        dispatcher_.drain();
        if (timers_.runDue() > 0) dispatcher_.drain();
        if (done()) return Wait::done;
        if (stopSignal() != 0) return Wait::stopped;
        if (!link_->isOpen() || (watch_ && watch_->gone.load())) {
            // What came before the hang-up has been handed out; look once more.
            dispatcher_.drain();
            return done() ? Wait::done : Wait::lineLost;
        }
        const std::int64_t now = d_.monotonicMs();
        if (now >= deadline) return Wait::timedOut;
        std::int64_t step = std::min<std::int64_t>(deadline - now, kLoopTickMs);
        const std::int64_t timer = timers_.untilNextMs();
        if (timer >= 0) step = std::min(step, timer);
        d_.waiter.wait(static_cast<int>(std::max<std::int64_t>(step, 0)));
    }
}

Wait Session::idle(const std::function<bool()>& done, int timeoutMs) {
    const std::int64_t deadline = d_.monotonicMs() + std::max(timeoutMs, 0);
    for (;;) {
        dispatcher_.drain();
        if (timers_.runDue() > 0) dispatcher_.drain();
        if (done()) return Wait::done;
        if (stopSignal() != 0) return Wait::stopped;
        const std::int64_t now = d_.monotonicMs();
        if (now >= deadline) return Wait::timedOut;
        std::int64_t step = std::min<std::int64_t>(deadline - now, kLoopTickMs);
        const std::int64_t timer = timers_.untilNextMs();
        if (timer >= 0) step = std::min(step, timer);
        d_.waiter.wait(static_cast<int>(std::max<std::int64_t>(step, 0)));
    }
}

Wait Session::pause(int ms) {
    const std::int64_t until = d_.monotonicMs() + ms;
    const Wait w = waitUntil([&] { return d_.monotonicMs() >= until; }, ms + kLoopTickMs);
    return w == Wait::timedOut ? Wait::done : w;
}

void Session::poll() {
    answersAtPoll_ = unit_->answers();
    unit_->poll();
}

Wait Session::pollForAnswer(int timeoutMs) {
    poll();
    return waitUntil([this] { return answerComplete(); }, timeoutMs);
}

bool Session::answerComplete() const {
    // A unit that told it has no banks has said all it will.
    const bool answered =
        state_.BankCount.load() <= 0 ? bankCountSeen_ : unit_->answers() > answersAtPoll_;
    return answered && lineQuiet();
}

bool Session::readerIdle() const {
    const std::shared_ptr<PortWatch> w = watch_;
    if (!w || !link_->isOpen() || w->gone.load()) return true;
    const std::uint64_t before = w->waits.load();
    if (before % 2 == 0) return false;  // reading, storing, or handing over
    const std::shared_ptr<SerialDevice> inner = w->inner.lock();
    const std::size_t waiting = inner ? inner->bytesWaiting() : 0;
    return waiting == 0 && w->waits.load() == before;
}

bool Session::lineQuiet() const {
    if (!readerIdle()) return false;
    const std::shared_ptr<PortWatch> w = watch_;
    return !w || d_.monotonicMs() - w->lastReceivedMs.load() >= d_.quietMs;
}

bool Session::write(std::string_view text) { return link_->write(text); }

bool Session::versionSeen(int bank) const {
    return bank >= 0 && bank < kBankRecords && versionSeen_[static_cast<std::size_t>(bank)];
}

bool Session::watchdogExpired() const { return watchdogRanOut_; }

FirmwareUpgrade::Deps Session::upgradeDeps(Dialogs& dialogs, UpgradeView& view, std::function<void()> disconnect,
                                           std::function<void(int)> pause) {
    SerialLink& link = *link_;
    UnitSession& unit = *unit_;
    return FirmwareUpgrade::Deps{
        .state = state_,
        .tables = tables_,
        .dialogs = dialogs,
        .timers = timers_,
        .view = view,
        .writeBytes = [&link](const std::uint8_t* bytes, std::size_t n) { link.writeForUpgrade(bytes, n); },
        .writeGreeting = [&link] { link.writeGreeting(); },
        .purgeReceive = [&link] { link.purgeReceive(); },
        .disconnect = disconnect ? std::move(disconnect) : std::function<void()>([&link] { link.Disconnect(); }),
        .sendInfoRequest = [&link] { link.SendInfoRequest(); },
        // As the window: no polls and no watchdog while the image goes.
        .stopWindowTimers = [&unit] { unit.pausePolling(); },
        .startWindowTimers = [&unit] { unit.resumePolling(); },
        .pause = std::move(pause),
        .performUpgrade = {},
        .holdPort = [&link](bool held) { link.setUpgradeHold(held); },
        .stateChanged = {}};
}

UnitView Session::view() const { return takeUnitView(state_, tables_, d_.clock.now(), unit_->currentKnown()); }

void Session::linkChanged(LinkChange change) {
    switch (change) {
        case LinkChange::greeted: greeted_ = true; return;
        case LinkChange::reset: linkReset(); return;
        default: return;
    }
}

void Session::unitReported(const UnitEvent& event) {
    const std::int32_t kind = event.kind;
    if (kind == ukBankCount || event.layoutChanged) {
        bankCountSeen_ = true;
        if (!event.layoutChanged) watchdogRanOut_ = false;  // an answer, as the session counts it
        if (event.layoutChanged) {
            const int shown = state_.ShownBankCount.load();
            const int count = state_.BankCount.load();
            // Banks that went away take their records and timers with them,
            // as in the window.
            for (int bank = shownBanks(shown); bank > shownBanks(count); --bank) forgetBank(state_, tables_, bank);
            state_.ShownBankCount = count;
            return;  // the bank-count report carries nothing else
        }
    }
    const int bank = state_.ReportedBank.load();
    const bool inRecords = bank >= 0 && bank < kBankRecords;
    switch (kind) {
        case ukUpgradeBegin:
            if (upgrade_.begin) {
                upgrade_.begin();
            } else {
                // Nobody upgrades: the prompt must not leave the reader
                // cutting lines as upgrade text.
                state_.RawLineMode = false;
            }
            return;
        case ukUpgradeDone: call(upgrade_.done); return;
        case ukUpgradeStep: call(upgrade_.step); return;
        case ukUpgradeFailed:
            failureReported_ = true;
            call(upgrade_.failed);
            return;
        case ukUpgradeMessage: call(upgrade_.message); return;
        case ukNextAfterClear:
        case ukNextAfterSet: return;  // the session sent the next command
        case ukClockError: clockError_ = true; return;
        case ukVersion:
            if (inRecords) versionSeen_[static_cast<std::size_t>(bank)] = true;
            return;
        default: break;
    }
    if (!isStatusReport(kind) && !isCurrentReport(kind)) return;
    ++reports_;
    watchdogRanOut_ = false;  // the session stopped the watchdog before we heard it
    // As the window's redraw: a flagged port's timers are invalid, which is
    // what the time left then goes by.
    if (isStatusReport(kind) && bank >= 1 && bank <= kMaxBanks) markFlaggedTimers(state_, tables_, bank);
}

void Session::linkReset() {
    call(upgrade_.linkReset);
    bankCountSeen_ = false;
    watchdogRanOut_ = false;
    call(linkResetHook_);
}

}  // namespace velmora::cli
