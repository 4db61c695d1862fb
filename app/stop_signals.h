#pragma once

// Ends the window program in its orderly way when the system asks it to
// stop (SIGINT, SIGTERM, SIGHUP on POSIX; the console's Ctrl+C, Ctrl+Break
// and close on Windows): the event loop is left, and the
// shutdown after it stops the dispatcher, wakes and joins the reader and
// closes the port before the windows go.

#include <memory>

#include <QObject>

namespace velmora {

class StopSignalsQuit {
public:
    virtual ~StopSignalsQuit() = default;
    // The signal that ended the loop, 0 when none did.
    virtual int signalNumber() const = 0;
    // The program has shut down in order (port closed): a system request
    // that waits for that may let the process end now.
    virtual void finished() {}
};

// Watches for the stop signals and quits the application's event loop at
// the first. Null where the platform has none or they cannot be watched.
std::unique_ptr<StopSignalsQuit> quitOnStopSignals();

}  // namespace velmora
