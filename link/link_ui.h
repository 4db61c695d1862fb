#pragma once

#include <string>

namespace velmora {

// What the link needs from the main window. Every call runs on the UI
// thread. The window implements it; link tests use a recording fake.
class LinkUi {
public:
    virtual ~LinkUi() = default;

    // A view update: act on DeviceState::UpdateKind (the reader waits).
    virtual void SyncUpdate() = 0;
    // The greeting "xyz" arrived: start the flash timer and the first poll.
    virtual void startPolling() = 0;
    // True when the Set Timer dialog is visible with this bank tab (0-based)
    // selected, so a confirmation for that bank must refresh it.
    virtual bool scheduleShowsBank(int bankIndex) = 0;

    // Hide the three bank panels and both separators.
    virtual void hidePanels() = 0;
    // The window's part of the link reset: clock-sync timer off, menu items
    // back to "not connected", Set Timer tabs and Check Version items gone,
    // upgrade time-out off.
    virtual void resetLinkUi() = 0;
    // Stop the flash, poll and watchdog timers.
    virtual void stopLinkTimers() = 0;
    // End the Configuration and Set Timer dialogs as cancelled if shown.
    virtual void closeLinkDialogs() = 0;
    // Start the hourly clock synchronisation (when SetRTC is on).
    virtual void startClockSyncPeriod() = 0;
};

// Where the probe writes its report lines (the Detect dialog's list).
class ProbeReport {
public:
    virtual ~ProbeReport() = default;
    virtual void append(const std::string& line) = 0;
    virtual void removeLast() = 0;
};

// The settings the link reads when it sends the information request.
struct LinkOptions {
    bool restoreStatus = false;  // "/EN001\" when on, "/DS001\" when off
    bool setRtc = false;         // start the hourly clock synchronisation
};

}  // namespace velmora
