#include "link/serial_link.h"

#include "link/device_state.h"
#include "link/protocol.h"
#include "link/reader_thread.h"
#include "link/scanf_fields.h"
#include "platform/dialogs.h"
#include "schedule/timer_tables.h"

#include <array>
#include <cstring>

namespace velmora {

namespace {

constexpr std::size_t kProbeQueue = 1024;
constexpr std::size_t kLinkInputQueue = 8192;
constexpr std::size_t kLinkOutputQueue = 16384;

// Only the members the unit needs change; the rest stays as the port had it.
void applyLineSettings(SerialLineSettings& s) {
    s.baudRate = 9600;
    s.byteSize = 8;
    s.parity = Parity::none;
    s.stopBits = StopBits::one;
    s.ctsOutputFlow = true;
}

std::string_view asText(const unsigned char* bytes, std::size_t n) {
    return std::string_view(reinterpret_cast<const char*>(bytes), n);
}

}  // namespace

bool scanProbeVersion(std::string_view record, int& bank, std::string& version) {
    // The record is read like a C string: it ends at its first NUL.
    record = record.substr(0, record.find('\0'));
    if (record.size() < 2 || record[0] != '/' || record[1] != 'V') return false;
    std::size_t pos = 2;
    int number = 0;
    if (!scanDecimal(record, pos, 2, number)) return false;
    while (pos < record.size() && isScanSpace(record[pos])) ++pos;  // the blank in the format
    if (record.size() - pos < 4) return false;
    bank = number;
    version.assign(record.substr(pos, 4));
    return true;
}

SerialLink::SerialLink(Deps deps) : d_(std::move(deps)) {}

SerialLink::~SerialLink() { shutdown(); }

bool SerialLink::isOpen() const { return port_ != nullptr; }

std::size_t SerialLink::readerCount() const { return retired_.size() + (reader_ ? 1 : 0); }

int SerialLink::ProbePort(int index, ProbeReport& report) {
    std::unique_ptr<SerialDevice> port;
    if (index >= 1 && static_cast<std::size_t>(index) < devices_.size()) port = d_.makeDevice();
    const SerialStatus opened =
        port ? port->open(devices_[static_cast<std::size_t>(index)], SerialMode::probe) : SerialStatus::failed;
    if (opened != SerialStatus::ok) {
        if (opened == SerialStatus::accessDenied) {
            std::lock_guard lock(refusalMutex_);
            deniedDevice_ = devices_[static_cast<std::size_t>(index)];
        }
        report.append(kReportOpenFail);
        return 0;
    }
    report.append(kReportOpenPass);

    auto fail = [&](const char* line) {
        report.append(line);
        report.append(kReportClosePass);
        port->close();
        return 0;
    };
    SerialLineSettings settings;
    if (port->getState(settings) != SerialStatus::ok) return fail(kReportGetStateFail);
    applyLineSettings(settings);
    if (port->setState(settings) != SerialStatus::ok) return fail(kReportSetStateFail);
    if (port->setQueueSizes(kProbeQueue, kProbeQueue) != SerialStatus::ok) return fail(kReportSetBufferFail);
    if (port->setTimeouts(kProbeTimeouts) != SerialStatus::ok) return fail(kReportSetTimeoutFail);
    report.append(kReportSetupPass);
    port->purge();

    report.append(kReportDetecting);
    for (char c : cmdGreeting()) {
        const auto byte = static_cast<unsigned char>(c);
        port->write(&byte, 1);
        d_.sleep(1);
    }
    std::array<unsigned char, 6> answer{};
    const SerialIo got = port->read(answer.data(), 5);
    const std::string_view text = asText(answer.data(), got.bytes);
    if (text != "/xyz\\" && text != "/abc\\") {
        report.removeLast();
        report.append(kReportDetectFail);
        report.append(kReportClosePass);
        port->close();
        return 0;
    }
    if (text == "/abc\\") d_.state.FirmwareFailed = true;
    report.removeLast();
    report.append(kReportDetectPass);
    report.append(kReportClosePass);

    if (!d_.state.FirmwareFailed) {
        // Throw away whatever follows the greeting, then ask every bank for
        // its version; each answer is one fixed 10-byte record.
        std::array<unsigned char, 16> scratch{};
        SerialIo discarded;
        do {
            discarded = port->read(scratch.data(), 15);
        } while (discarded.bytes > 3);
        const std::string ver = cmdVersionRequest();
        const SerialIo sent = port->write(reinterpret_cast<const unsigned char*>(ver.data()), ver.size());
        if (sent.bytes > 3) {
            for (;;) {
                std::array<unsigned char, 11> record{};
                const SerialIo r = port->read(record.data(), 10);
                if (r.bytes <= 3) break;
                int bank = 0;
                std::string version;
                if (scanProbeVersion(asText(record.data(), r.bytes), bank, version)) {
                    d_.state.editBank(bank, [&](BankRecord& b) { copyField(b.version, version); });
                }
            }
        }
    }
    port->close();
    return 1;
}

std::string SerialLink::probeAccessDenied() const {
    std::lock_guard lock(refusalMutex_);
    return deniedDevice_;
}

void SerialLink::forgetProbeRefusals() {
    std::lock_guard lock(refusalMutex_);
    deniedDevice_.clear();
}

void SerialLink::OpenLink(int index) {
    reapReaders();
    if (port_) closePort();
    if (index < 1 || static_cast<std::size_t>(index) >= devices_.size()) return;
    std::shared_ptr<SerialDevice> port = d_.makeDevice();
    if (!port || port->open(devices_[static_cast<std::size_t>(index)], SerialMode::link) != SerialStatus::ok) return;
    port_ = port;
    upgradeHold_ = false;
    refused_ = 0;

    // Set-up results are not examined: a dead link shows through the watchdog.
    SerialLineSettings settings;
    port_->getState(settings);
    applyLineSettings(settings);
    port_->setState(settings);
    port_->setQueueSizes(kLinkInputQueue, kLinkOutputQueue);
    port_->setTimeouts(kLinkTimeouts);

    // The port is fully set up before the reader's first wait.
    reader_ = std::make_unique<ReaderThread>(port_, d_.state, d_.tables, d_.dispatcher, d_.clock, d_.events);
    reader_->start();

    writeGreeting();
    d_.state.ClockWarningArmed = true;
    d_.state.TimerWarningArmed = true;
    if (!d_.state.FirmwareFailed) SendInfoRequest();
    // So the sixth poll sends the information request once more.
    d_.state.InfoRequestSent = false;
    d_.state.PollCount = 0;
}

void SerialLink::resetLinkState() {
    upgradeHold_ = false;
    velmora::resetLinkState(d_.state, d_.tables);
    d_.events.linkReset();
}

void SerialLink::closePort() {
    if (reader_) {
        reader_->Terminate();
        retired_.push_back(std::move(reader_));
    }
    if (port_) {
        port_->close();  // wakes the reader if it waits
        port_.reset();
    }
    d_.state.GreetingSeen = false;
}

void SerialLink::Disconnect() {
    d_.events.linkClosing();
    // The reader is stopped before the reset, so a line it was storing
    // cannot land in the freshly reset state.
    const bool open = port_ != nullptr;
    if (open) closePort();
    resetLinkState();
    if (open) d_.events.linkStopped();
}

void SerialLink::WatchdogExpired() {
    d_.events.linkClosing();
    if (port_) {
        closePort();
        d_.events.linkStopped();
    }
    LinkLost();
}

void SerialLink::LinkLost() {
    d_.events.linkLost();
    resetLinkState();
    d_.dialogs.message(kNotFoundMessage, "", MessageIcon::information);
}

void SerialLink::SendInfoRequest() {
    if (d_.state.InfoRequestSent) return;
    d_.state.InfoRequestSent = true;
    const LinkOptions options = d_.options ? d_.options() : LinkOptions{};
    write(cmdVersionRequest());
    write(cmdRestoreStatus(options.restoreStatus));
    if (options.setRtc) d_.events.clockSyncRequested();
}

bool SerialLink::writeBytes(const std::uint8_t* bytes, std::size_t count) {
    if (!port_ || count == 0) return false;
    port_->write(bytes, count);
    return true;
}

bool SerialLink::write(std::string_view text) {
    if (!port_ || text.empty()) return false;
    if (upgradeHold_.load()) {
        // The unit's loader would take these bytes for firmware.
        ++refused_;
        return false;
    }
    return writeBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

bool SerialLink::writeForUpgrade(const std::uint8_t* bytes, std::size_t count) { return writeBytes(bytes, count); }

void SerialLink::holdForUpgrade() {
    if (port_) upgradeHold_ = true;
}

void SerialLink::releaseUpgradeHold() { upgradeHold_ = false; }

void SerialLink::writeGreeting() {
    if (!port_) return;
    for (char c : cmdGreeting()) {
        if (!write(std::string_view(&c, 1))) return;
        d_.sleep(1);
    }
}

void SerialLink::purge() {
    if (!port_) return;
    if (reader_) reader_->discardHeldInput();
    port_->purge();
}

void SerialLink::purgeReceive() {
    if (!port_) return;
    if (reader_) reader_->discardHeldInput();
    port_->purgeReceive();
}

void SerialLink::reapReaders() {
    for (auto it = retired_.begin(); it != retired_.end();) {
        if ((*it)->finished()) {
            (*it)->join();
            it = retired_.erase(it);
        } else {
            ++it;
        }
    }
}

void SerialLink::shutdown() {
    closePort();
    for (auto& r : retired_) r->join();
    retired_.clear();
}

}  // namespace velmora
