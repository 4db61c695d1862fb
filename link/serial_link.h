#pragma once

#include "link/link_events.h"
#include "platform/serial_device.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class Clock;
class DeviceState;
class Dialogs;
class TimerTables;
class ReaderThread;
class UiDispatcher;

// Probe report texts, padded so every result lands in the same column.
inline constexpr const char* kReportOpenPass = "Open                                   PASS";
inline constexpr const char* kReportOpenFail = "Open                                   FAIL";
inline constexpr const char* kReportGetStateFail = "Get port state                         FAIL";
inline constexpr const char* kReportSetStateFail = "Set port state                         FAIL";
inline constexpr const char* kReportSetBufferFail = "Set port buffer                        FAIL";
inline constexpr const char* kReportSetTimeoutFail = "Set port timeout                       FAIL";
inline constexpr const char* kReportSetupPass = "Setup                                  PASS";
inline constexpr const char* kReportDetecting = "Detect Velmora ......................  ";
inline constexpr const char* kReportDetectPass = "Detect Velmora ......................  PASS";
inline constexpr const char* kReportDetectFail = "Detect Velmora ......................  FAIL";
inline constexpr const char* kReportClosePass = "Close                                  PASS";

inline constexpr const char* kNotFoundMessage =
    "Could not find Velmora. Please check the connection between Velmora and PC";

// Time-outs of the two ways the port is opened, in milliseconds.
inline constexpr SerialTimeouts kProbeTimeouts{0, 0, 2000, 0, 5000};
inline constexpr SerialTimeouts kLinkTimeouts{100, 500, 500, 100, 500};

// The link to the unit: probing ports, opening the link with its reader
// thread, writing commands, and tearing it all down. UI thread only.
class SerialLink {
public:
    struct Deps {
        DeviceState& state;
        TimerTables& tables;
        UiDispatcher& dispatcher;
        const Clock& clock;
        LinkEvents& events;
        Dialogs& dialogs;
        // Makes an unopened port of this platform (a fake in tests).
        std::function<std::unique_ptr<SerialDevice>()> makeDevice;
        // The settings as they stand when the information request goes out.
        std::function<LinkOptions()> options;
        // Pauses the UI thread (the greeting is written 1 ms per byte).
        std::function<void(int milliseconds)> sleep;
    };

    explicit SerialLink(Deps deps);
    ~SerialLink();  // closes the port and joins every reader: call after the dispatcher shut down
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // The port list the probe and OpenLink index (slot 0 is "AUTO").
    void setPortDevices(std::vector<std::string> devices) { devices_ = std::move(devices); }
    const std::vector<std::string>& portDevices() const { return devices_; }

    // Probes the port of list position `index`: 1 when the unit greeted
    // ("/xyz\" or "/abc\"), 0 otherwise. Writes its report lines to
    // `report` as it goes; leaves no port open. May run on one worker
    // thread (the Detect dialog's scan) while no link is open.
    int ProbePort(int index, ProbeReport& report);
    // The last device a probe could not open for lack of permission since
    // forgetProbeRefusals(), empty when none (the window then tells the
    // user how to get the right).
    std::string probeAccessDenied() const;
    void forgetProbeRefusals();
    // Opens the link on list position `index` and starts the reader. A
    // failed open is silent and leaves the link closed.
    void OpenLink(int index);
    // Tears the link down at the user's request (also while a view update
    // of this link runs: it never waits for the reader).
    void Disconnect();
    // The watchdog ran out: close everything and tell the user.
    void WatchdogExpired();
    // Close open dialogs, reset the link state, show the not-found message.
    void LinkLost();
    // "/VER\" and the restore setting, once per link.
    void SendInfoRequest();

    bool isOpen() const;
    // Writes one command text in one write call. False, with nothing
    // written, while the link is closed or held for an upgrade.
    bool write(std::string_view text);
    // The greeting, one byte per write with 1 ms pauses (refused like
    // write()).
    void writeGreeting();
    // Drops whatever waits in the port's queues. Bytes the reader has read
    // but not yet cut into lines count as waiting: they are dropped too.
    void purge();
    // Drops what has been received and not yet processed (as purge());
    // what was written still goes out (the upgrade's prompt).
    void purgeReceive();

    // ---- The upgrade's hold on the port ----
    // From the upgrade command (or the image chosen for a unit waiting in
    // its loader) to the completion, failure, time-out or link reset, every
    // byte the unit receives is taken as firmware. While the port is held,
    // write() and writeGreeting() refuse everything (nothing is queued for
    // later); only writeForUpgrade() reaches the port. The link reset and
    // a new link end the hold. Any thread may ask heldForUpgrade().
    void holdForUpgrade();
    void releaseUpgradeHold();
    // Either of the two: the upgrade's way of taking and letting go.
    void setUpgradeHold(bool held) { held ? holdForUpgrade() : releaseUpgradeHold(); }
    bool heldForUpgrade() const { return upgradeHold_.load(); }
    // The upgrade's own bytes, one write call; false only while closed.
    bool writeForUpgrade(const std::uint8_t* bytes, std::size_t count);
    // Writes refused because of the hold since the link was made (tests,
    // the trace).
    std::size_t refusedWrites() const { return refused_.load(); }

    // Joins readers that have ended (called at connect; cheap otherwise).
    void reapReaders();
    // Closes the port and joins every reader. The dispatcher must have been
    // shut down first so that no reader waits for the UI thread.
    void shutdown();

    // Number of readers not yet joined (tests).
    std::size_t readerCount() const;

private:
    void closePort();
    void resetLinkState();
    bool writeBytes(const std::uint8_t* bytes, std::size_t count);

    Deps d_;
    std::vector<std::string> devices_;
    std::shared_ptr<SerialDevice> port_;
    std::unique_ptr<ReaderThread> reader_;
    std::vector<std::unique_ptr<ReaderThread>> retired_;
    std::atomic<bool> upgradeHold_{false};
    mutable std::mutex refusalMutex_;  // the probe runs on the Detect dialog's worker
    std::string deniedDevice_;
    std::atomic<std::size_t> refused_{0};
};

// Scans one probe version record "/V%02d %04c": true with the bank number
// and the four characters when both matched.
bool scanProbeVersion(std::string_view record, int& bank, std::string& version);

}  // namespace velmora
