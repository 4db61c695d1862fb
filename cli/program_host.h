#pragma once

// What velmoractl does differently on each system: how a stop (a signal, a
// console event) reaches its loop, what it can serve, the simulated unit,
// and the port's owner it may go through. main.cpp is the same everywhere;
// program_host_posix.cpp and program_host_win32.cpp hold the rest.

#include <memory>
#include <optional>
#include <string>

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/session.h"

namespace velmora::cli {

class ProgramHost {
public:
    // Stop handling installed (a failure to is only warned of). nullptr,
    // with *error, when this system cannot run the command at all.
    static std::unique_ptr<ProgramHost> start(const Options& o, std::string* error);
    virtual ~ProgramHost() = default;

    virtual bool stderrIsTerminal() const = 0;
    virtual LoopWaiter& waiter() = 0;
    // The stop signal (or console event) that came, 0 while none did.
    virtual int stopSignal() const = 0;
    // Before this program opens the port: the simulated unit started (its
    // port becomes run.device), or the command carried out by the port's
    // owner. The exit code when that ended the run.
    virtual std::optional<int> beforeOpening(Options& run) = 0;
    // The command over this program's own link.
    virtual int run(const Options& run, Session& session, CommandIo& io) = 0;
    // After the session has shut down.
    virtual void finish() = 0;
};

}  // namespace velmora::cli
