#pragma once

// SIGINT, SIGTERM and SIGHUP as a readable descriptor, so that a program
// ends in its own orderly way (dispatcher stopped, reader woken and joined,
// port closed, files complete) instead of dying where the signal hit it.
// The handler only notes the signal and writes one byte to a pipe; the
// program's loop sees the descriptor become readable (poll() in a plain
// loop, a QSocketNotifier in the Qt program) and does the rest.
//
// One instance at a time per process: the handler has nowhere else to keep
// its descriptor. SIGPIPE is ignored while it is installed, so a closed
// output pipe shows up as a failed write instead of killing the program.

#include <memory>
#include <string>

namespace velmora {

class StopSignals {
public:
    // Installs the handlers. nullptr when another instance is installed or
    // the pipe cannot be made; *error (if given) says why.
    static std::unique_ptr<StopSignals> install(std::string* error = nullptr);
    // Puts the previous handlers back and closes the pipe.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Readable once a stop signal came (it stays readable: the byte is not
    // taken away).
    int fd() const;
    // The first stop signal that came, 0 while none did.
    int signalNumber() const;
    bool requested() const { return signalNumber() != 0; }

private:
    StopSignals() = default;
};

}  // namespace velmora
