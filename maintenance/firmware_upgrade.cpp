#include "maintenance/firmware_upgrade.h"

#include <algorithm>
#include <utility>

#include "link/device_state.h"
#include "link/protocol.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "platform/window_timer.h"
#include "schedule/timer_tables.h"

namespace velmora {

namespace {

// What the unit gets after the file: the end byte. The zero behind it is
// the buffer's own fill.
constexpr std::uint8_t kImageEndByte = 0xFF;

// "The firmware file "<path>" " followed by `rest`. Built by appending:
// g++ 12 at -O3 warns falsely on chains of string additions.
std::string aboutFile(std::string_view path, std::string_view rest) {
    std::string text = "The firmware file \"";
    text.append(path);
    text.append("\" ");
    text.append(rest);
    return text;
}

void writeText(const std::function<void(const std::uint8_t*, std::size_t)>& write, std::string_view text) {
    if (!write || text.empty()) return;
    write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

}  // namespace

std::string firmwareUnreadableText(std::string_view path, std::string_view reason) {
    std::string text = aboutFile(path, "cannot be read: ");
    text.append(reason);
    text.append(".");
    return text;
}

std::string firmwareTooLargeText(std::string_view path) {
    std::string text = aboutFile(path, "is larger than ");
    text.append(std::to_string(kLargestFirmwareFile));
    text.append(" bytes, the most the unit can be sent. Nothing was sent.");
    return text;
}

std::string firmwareEmptyText(std::string_view path) { return aboutFile(path, "is empty. Nothing was sent."); }

FirmwareUpgrade::FirmwareUpgrade(Deps deps)
    : d_(std::move(deps)),
      upgradeTimeOutTimer_(d_.timers.create("tmUpgradeTimeOut")),
      image_(std::make_unique<std::array<std::uint8_t, kFirmwareImageSize>>()) {
    image_->fill(0);
    upgradeTimeOutTimer_->setEnabled(false);
    upgradeTimeOutTimer_->setInterval(kUpgradeTimeOutMs);
    upgradeTimeOutTimer_->setOnTimer([this] { upgradeTimedOut(); });
}

FirmwareUpgrade::~FirmwareUpgrade() = default;

// ---- startUpgrade ----------------------------------------------------------

void FirmwareUpgrade::setState(UpgradeState next) {
    const bool wasHeld = underWay();
    const UpgradeState before = state_;
    state_ = next;
    const bool held = underWay();
    if (wasHeld && !held) {
        // Whatever ended the upgrade, the unit's lines are plain lines again.
        d_.state.RawLineMode = false;
    }
    if (held != wasHeld && d_.holdPort) d_.holdPort(held);
    if (before != next && d_.stateChanged) d_.stateChanged(next);
}

void FirmwareUpgrade::startUpgrade() {
    // A second image chosen now would go into the first one's stream.
    if (underWay()) return;
    // No polling, link watchdog or flashing while an image goes out.
    run(d_.stopWindowTimers);
    setState(UpgradeState::choosingFile);

    FileChoice choice;
    choice.filter = kFirmwareFilter;
    choice.hideReadOnly = true;
    choice.resizable = true;
    const std::string path = d_.dialogs.openFile(choice);
    if (path.empty() || !readImage(path)) {
        giveUpChoice();
        return;
    }
    startWithImage();
}

void FirmwareUpgrade::upgradeWithImage(std::string_view name, std::string_view bytes) {
    if (underWay()) return;
    run(d_.stopWindowTimers);
    setState(UpgradeState::choosingFile);
    if (!takeImage(name, bytes)) {
        giveUpChoice();
        return;
    }
    startWithImage();
}

void FirmwareUpgrade::startWithImage() {
    // From here on every byte may reach the loader: only ours go out.
    setState(UpgradeState::awaitingPrompt);
    // A unit without firmware sits in its loader: it prompts by itself.
    if (!d_.state.FirmwareFailed) writeText(d_.writeBytes, cmdUpgrade());
}

bool FirmwareUpgrade::readImage(const std::string& path) {
    const FileLoad load = loadFileBytes(path, static_cast<std::uintmax_t>(kLargestFirmwareFile));
    switch (load.status) {
        case FileIoStatus::ok: break;
        case FileIoStatus::tooLarge:
            d_.dialogs.message(firmwareTooLargeText(path), "", MessageIcon::stop);
            return false;
        case FileIoStatus::missing:
            d_.dialogs.message(firmwareUnreadableText(path, "no such file"), "", MessageIcon::stop);
            return false;
        case FileIoStatus::failed:
            d_.dialogs.message(firmwareUnreadableText(path, load.error), "", MessageIcon::stop);
            return false;
    }
    return takeImage(path, load.bytes);
}

bool FirmwareUpgrade::takeImage(std::string_view name, std::string_view bytes) {
    if (bytes.size() > static_cast<std::size_t>(kLargestFirmwareFile)) {
        d_.dialogs.message(firmwareTooLargeText(name), "", MessageIcon::stop);
        return false;
    }
    // An empty file would make the end byte and nineteen zeros the new firmware.
    if (bytes.empty()) {
        d_.dialogs.message(firmwareEmptyText(name), "", MessageIcon::stop);
        return false;
    }
    image_->fill(0);
    std::copy(bytes.begin(), bytes.end(), image_->begin());
    const auto size = static_cast<std::int32_t>(bytes.size());
    (*image_)[static_cast<std::size_t>(size)] = kImageEndByte;
    firmwareLength_ = size + 1;
    return true;
}

void FirmwareUpgrade::giveUpChoice() {
    setState(UpgradeState::idle);
    if (d_.state.FirmwareFailed) {
        // The unit cannot run without an image: nothing is left to do on
        // this link.
        d_.dialogs.message(kReloadFirmwareText, kReloadFirmwareCaption, MessageIcon::stop);
        if (d_.pause) d_.pause(kReloadPauseMs);
        run(d_.purgeReceive);
        run(d_.disconnect);
    } else {
        run(d_.startWindowTimers);
    }
}

// ---- The unit's lines ---------------------------------------------------------

void FirmwareUpgrade::upgradeBegin() {
    if (!underWay()) {
        // A stray prompt: the reader must not go on cutting lines as
        // upgrade text, or no command's answer would ever end.
        d_.state.RawLineMode = false;
        return;
    }
    run(d_.purgeReceive);
    upgradeIndex_ = kUpgradeBurstBytes - 1;
    for (std::int32_t position = 0; position < kUpgradeBurstBytes; ++position) writeByteAt(position);
    setState(UpgradeState::transferring);
    d_.view.setProgress(0);
    d_.view.showDialog();
    // The time-out starts with the first mark: a loader that never marks
    // leaves the user to disconnect.
}

void FirmwareUpgrade::upgradeStep() {
    if (state_ != UpgradeState::transferring) return;
    upgradeTimeOutTimer_->setEnabled(false);
    if (upgradeIndex_ < firmwareLength_) {
        ++upgradeIndex_;
        writeByteAt(upgradeIndex_);
        const std::int32_t span = std::max(firmwareLength_ - 1, 1);
        d_.view.setProgress(std::min(upgradeIndex_ * 100 / span, 100));
    }
    // Counted from this mark, also after the last byte went.
    upgradeTimeOutTimer_->setEnabled(true);
}

void FirmwareUpgrade::writeByteAt(std::int32_t position) {
    if (position < 0 || static_cast<std::size_t>(position) >= image_->size() || !d_.writeBytes) return;
    d_.writeBytes(&(*image_)[static_cast<std::size_t>(position)], 1);
}

void FirmwareUpgrade::upgradeMessage() { d_.view.appendMessage(d_.state.lastLine()); }

void FirmwareUpgrade::upgradeDone() {
    if (!underWay()) return;
    // The image is in: the greeting and the version request may go out.
    setState(UpgradeState::idle);
    d_.view.appendMessage(d_.state.lastLine());
    upgradeTimeOutTimer_->setEnabled(false);
    // The new firmware runs: a unit recovered from its loader must get the
    // upgrade command next time, whether or not it also sent "OK".
    d_.state.FirmwareFailed = false;

    // New firmware starts with its own timer memory and versions, in every
    // bank: an upgrade may start before any poll told the bank count, and a
    // version read before it must not pass for the new one.
    d_.tables.clearAll(kBankRecords);
    for (int bank = 1; bank < kBankRecords; ++bank) {
        d_.state.editBank(bank, [](BankRecord& record) { copyField(record.version, kWaitVersionText); });
    }

    run(d_.writeGreeting);
    d_.dialogs.message(kUpgradeCompletedText, "", MessageIcon::none);
    d_.view.closeDialog();
    writeText(d_.writeBytes, cmdVersionRequest());
    d_.view.clearMessages();
    run(d_.sendInfoRequest);
    // So the poll timer asks again on its sixth tick.
    d_.state.InfoRequestSent = false;
    d_.state.PollCount = 0;
    // The unit's answer to the greeting restarts polling and flashing.
}

void FirmwareUpgrade::upgradeFailed() {
    // The marks have stopped: the time-out must not close the link while
    // the user picks another image.
    upgradeTimeOutTimer_->setEnabled(false);
    setState(UpgradeState::idle);
    d_.dialogs.message(kFirmwareFailureText, kApplicationTitle, MessageIcon::none);
    if (d_.performUpgrade) {
        d_.performUpgrade();
    } else {
        startUpgrade();
    }
}

void FirmwareUpgrade::upgradeTimedOut() {
    upgradeTimeOutTimer_->setEnabled(false);
    setState(UpgradeState::idle);
    d_.dialogs.message(kUpgradeTimeoutText, "", MessageIcon::stop);
    d_.view.pressCancel();
    run(d_.disconnect);
}

void FirmwareUpgrade::linkReset() {
    upgradeTimeOutTimer_->setEnabled(false);
    setState(UpgradeState::idle);
    // A progress dialog of a closed link would only sit in the way.
    d_.view.closeDialog();
}

}  // namespace velmora
