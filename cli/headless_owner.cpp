#include "cli/headless_owner.h"

#include <algorithm>

#include "link/report_rules.h"
#include "link/serial_link.h"

namespace velmora::cli {

HeadlessOwner::HeadlessOwner(Session& session, std::string device, std::string ownerKind)
    : s_(session), device_(std::move(device)) {
    OwnerLink link{s_.state(),
                   s_.tables(),
                   s_.clock(),
                   s_.timers(),
                   [this] { return s_.nowMs(); },
                   [this](std::string_view text) { return s_.write(text); },
                   [this] { poll(); },
                   [this] {
                       if (!up_) {
                           return OwnerRefusal{kAnswerNoUnit, std::string(kNotFoundMessage) +
                                                                  "\n(the owner waits for the unit on " + device_ +
                                                                  " to come back)"};
                       }
                       if (s_.link().heldForUpgrade())
                           return OwnerRefusal{kAnswerBusy, "the unit's firmware is being upgraded"};
                       return OwnerRefusal{};
                   },
                   {},
                   std::move(ownerKind),
                   device_};
    service_ = std::make_unique<UnitService>(std::move(link));
    s_.setUpdateHook([this](std::int32_t kind) { service_->viewUpdate(kind); });
    s_.setLinkResetHook([this] { service_->linkLost(); });
}

HeadlessOwner::~HeadlessOwner() {
    s_.setUpdateHook({});
    s_.setLinkResetHook({});
}

void HeadlessOwner::poll() {
    s_.poll();
    lastPollMs_ = s_.nowMs();
}

Session::Connection HeadlessOwner::connect(int timeoutMs) {
    const Session::Connection c = s_.connect(device_, timeoutMs);
    up_ = c.exitCode == kExitDone && !s_.firmwareMissing();
    if (up_) {
        if (device_.empty()) device_ = c.device;
        poll();
    }
    return c;
}

void HeadlessOwner::lost() {
    // Everything waiting is answered (the link reset tells the service).
    s_.disconnect();
    up_ = false;
    nextAttemptMs_ = s_.nowMs() + kReconnectEveryMs;
}

Wait HeadlessOwner::run(const std::function<bool()>& done) {
    for (;;) {
        const std::int64_t now = s_.nowMs();
        if (up_) {
            const std::int64_t nextPoll = lastPollMs_ + kPollIntervalMs;
            const int wait = static_cast<int>(std::clamp<std::int64_t>(nextPoll - now, 0, kPollIntervalMs));
            const Wait w = s_.waitUntil([&] { return done() || s_.nowMs() >= nextPoll || s_.watchdogExpired(); }, wait);
            if (w == Wait::stopped) return w;
            if (done()) return Wait::done;
            if (w == Wait::lineLost || s_.watchdogExpired()) {
                lost();
                continue;
            }
            if (s_.nowMs() >= nextPoll && !s_.pollingStopped()) poll();
            continue;
        }
        if (now < nextAttemptMs_) {
            const Wait w = s_.idle(done, static_cast<int>(nextAttemptMs_ - now));
            if (w == Wait::stopped) return w;
            if (done()) return Wait::done;
            continue;
        }
        const Session::Connection c = connect(kPollIntervalMs);
        if (s_.stopSignal() != 0) return Wait::stopped;
        if (!up_) {
            if (c.exitCode == kExitDone) s_.disconnect();  // a unit without firmware is not served
            nextAttemptMs_ = s_.nowMs() + kReconnectEveryMs;
        }
        if (done()) return Wait::done;
    }
}

}  // namespace velmora::cli
