#pragma once

// Ctrl+C, Ctrl+Break and the closing of the console window as an event
// object, so that a console program on Windows ends in its own orderly way
// (dispatcher stopped, reader woken and joined, port closed, files
// complete) as it does on the POSIX stop signals (posix_signals.h).
//
// The handler only notes what came - as the C runtime's numbers SIGINT for
// Ctrl+C, SIGBREAK for Ctrl+Break and SIGTERM for a close, log-off or
// shutdown - and sets the event; the program's loop waits on it. Windows
// ends the process as soon as the handler of a close returns, so for those
// the handler waits, at most a few seconds, until the program says it has
// finished (finished()).
//
// One instance at a time per process: the handler has nowhere else to keep
// its state.

#include <memory>
#include <string>

namespace velmora {

class ConsoleStop {
public:
    // Installs the handler. nullptr when another instance is installed or
    // the event cannot be made; *error (if given) says why.
    static std::unique_ptr<ConsoleStop> install(std::string* error = nullptr);
    // Removes the handler and closes the event.
    ~ConsoleStop();
    ConsoleStop(const ConsoleStop&) = delete;
    ConsoleStop& operator=(const ConsoleStop&) = delete;

    // The event (a HANDLE), set once a stop came and left set.
    void* event() const;
    // The first stop that came, 0 while none did.
    int signalNumber() const;
    bool requested() const { return signalNumber() != 0; }
    // The program has shut down in order: a close waiting in the handler
    // may let Windows end the process now.
    void finished();

private:
    ConsoleStop() = default;
};

}  // namespace velmora
