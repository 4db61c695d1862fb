#include "cli/headless_owner.h"

#include "cli/console_dialogs.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "link/report_rules.h"
#include "link/serial_link.h"
#include "maintenance/firmware_upgrade.h"
#include "platform/dialogs.h"
#include "service/outlet_names.h"

namespace velmora::cli {

// The upgrade of one client: the window's FirmwareUpgrade given the
// client's image, its dialogs and progress dialog turned into the client's
// progress lines.
struct HeadlessOwner::ClientUpgrade final : UpgradeView, Dialogs {
    std::function<void(Json)> progress;
    std::unique_ptr<FirmwareUpgrade> upgrade;
    std::string failure;  // the last message of the upgrade that ended it
    int percent = -1;

    // UpgradeView
    void showDialog() override { progress({{"step", "transfer"}}); }
    void closeDialog() override {}
    void pressCancel() override {}
    void setProgress(int p) override {
        if (p == percent) return;
        percent = p;
        progress({{"step", "progress"},
                  {"percent", p},
                  {"sent", upgrade ? upgrade->UpgradeIndex() + 1 : 0},
                  {"total", upgrade ? upgrade->FirmwareLength() + 1 : 0}});
    }
    void appendMessage(std::string_view line) override {
        progress({{"step", "message"}, {"message", latin1ToUtf8(line)}});
    }
    void clearMessages() override {}
    // Dialogs: the image came with the request; the file chooser a failure
    // report opens again is cancelled, which ends the upgrade.
    MessageAnswer message(const std::string& text, const std::string&, MessageIcon, MessageButtons) override {
        failure = text;
        return MessageAnswer::ok;
    }
    std::string openFile(const FileChoice&) override { return {}; }
    std::string saveFile(const FileChoice&) override { return {}; }
};

HeadlessOwner::HeadlessOwner(Session& session, std::string device, std::string ownerKind, bool upgradesForClients)
    : s_(session), device_(std::move(device)) {
    // As the window: a poll 10 ms after each greeting, then every 5 s.
    s_.unit().setSteadyPolling(true);
    OwnerLink link{.state = s_.state(),
                   .tables = s_.tables(),
                   .clock = s_.clock(),
                   .timers = s_.timers(),
                   .session = s_.unit(),
                   .nowMs = [this] { return s_.nowMs(); },
                   .write = [this](std::string_view text) { return s_.write(text); },
                   .poll = [this] { s_.poll(); },
                   .refusal =
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
                   .schedulesAllowed = {},
                   .ownerKind = std::move(ownerKind),
                   .device = device_,
                   .upgrade = {},
                   .outletName = {}};
    // The metrics' names: the names file of this owner's user, read again
    // when it changed.
    auto names = std::make_shared<NamesOfUnit>(namesFilePath(processEnvironment()));
    link.outletName = [this, names](int bank, int port) {
        return names->of(UnitKey{stablePortPath(device_), s_.state().BankCount.load()}).name(bank, port);
    };
    if (upgradesForClients) {
        link.upgrade = [this](const std::string& image, std::function<void(Json)> progress,
                              std::function<void(Json)> done) { upgrade(image, std::move(progress), std::move(done)); };
    }
    service_ = std::make_unique<UnitService>(std::move(link));
    s_.setUpdateHook([this](std::int32_t kind) { service_->viewUpdate(kind); });
    s_.setLinkResetHook([this] { service_->linkLost(); });
}

HeadlessOwner::~HeadlessOwner() {
    s_.unit().setSteadyPolling(false);
    s_.setUpdateHook({});
    s_.setLinkResetHook({});
    s_.setUpgradeHooks({});
}

void HeadlessOwner::upgrade(const std::string& image, std::function<void(Json)> progress,
                            std::function<void(Json)> done) {
    const std::string bytes = utf8ToLatin1(image);
    auto u = std::make_unique<ClientUpgrade>();
    u->progress = std::move(progress);
    // The owner serves others meanwhile: it does not pause its loop.
    u->upgrade = std::make_unique<FirmwareUpgrade>(s_.upgradeDeps(*u, *u, [this] { lost(); }, [](int) {}));
    FirmwareUpgrade& up = *u->upgrade;
    upgrade_ = std::move(u);
    s_.setUpgradeHooks(Session::UpgradeHooks{
        [&up] { up.upgradeBegin(); }, [&up] { up.upgradeStep(); },
        [this, &up] {
            const bool underWay = up.upgradeState() != UpgradeState::idle;
            up.upgradeDone();
            // The unit's greeting after the new firmware starts the polls again.
            if (underWay && upgrade_) {
                endUpgrade(Json{{"ok", true}, {"bytes", up.FirmwareLength() - 1}});
            }
        },
        [this, &up] {
            up.upgradeFailed();
            if (upgrade_ && up.upgradeState() == UpgradeState::idle)
                endUpgrade(Json{{"ok", false}, {"error", "the unit reported a failed upgrade"}, {"exitCode", kAnswerNotConfirmed}});
        },
        [&up] { up.upgradeMessage(); },
        [this, &up] {
            up.linkReset();
            if (upgrade_) {
                const std::string why = upgrade_->failure.empty() ? std::string("the upgrade did not complete")
                                                                  : consoleText(upgrade_->failure);
                endUpgrade(Json{{"ok", false}, {"error", why}, {"exitCode", kAnswerNotConfirmed}});
            }
        }});
    upgradeDone_ = std::move(done);
    up.upgradeWithImage("sent by the client", bytes);
    if (up.upgradeState() == UpgradeState::idle && upgrade_) {
        // The image was refused (too large, empty): its message says why.
        endUpgrade(Json{{"ok", false}, {"error", consoleText(upgrade_->failure)}, {"exitCode", kAnswerUsage}});
    }
}

void HeadlessOwner::endUpgrade(Json answer) {
    // Called from inside the upgrade: it goes once the loop is back.
    std::function<void(Json)> done = std::move(upgradeDone_);
    upgradeDone_ = nullptr;
    s_.setUpgradeHooks({});
    s_.dispatcher().post([this] { upgrade_.reset(); });
    if (done) done(std::move(answer));
}

Session::Connection HeadlessOwner::connect(int timeoutMs) {
    const Session::Connection c = s_.connect(device_, timeoutMs);
    up_ = c.exitCode == kExitDone && !s_.firmwareMissing();
    // The unit session polls from the greeting on.
    if (up_ && device_.empty()) device_ = c.device;
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
            // The unit session polls and watches on the loop's timers.
            const Wait w = s_.waitUntil([&] { return done() || s_.watchdogExpired(); }, kPollIntervalMs);
            if (w == Wait::stopped) return w;
            if (done()) return Wait::done;
            if (w == Wait::lineLost || s_.watchdogExpired()) lost();
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
