#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// What the link tells whoever holds it: the reader's reports and the steps
// of opening and closing. Every call runs on the UI thread. The window's
// logic and velmoractl's session implement it; link tests record it.
class LinkEvents {
public:
    virtual ~LinkEvents() = default;

    // The reader stored a line that raises `kind` (one of the uk* values)
    // and waits until this returns.
    virtual void reportStored(std::int32_t kind) = 0;
    // The greeting "xyz" arrived (posted; the reader goes on).
    virtual void greeted() = 0;
    // True when a schedule editor shows bank index `bankIndex` (0-based), so
    // a confirmation for that bank is followed by ukScheduleRefresh.
    virtual bool scheduleShown(int bankIndex) = 0;

    // Disconnect or watchdog: the link is about to close.
    virtual void linkClosing() = 0;
    // The port was open and is closed now: the link's timers stop.
    virtual void linkStopped() = 0;
    // The unit was lost (watchdog, not found): dialogs about it end.
    virtual void linkLost() = 0;
    // After the data reset: everything learnt of the unit is gone.
    virtual void linkReset() = 0;
    // The information request went out with the hourly clock setting on.
    virtual void clockSyncRequested() = 0;
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
