#pragma once

// `velmoractl serve`: holds the port as the window does (polls, watchdog,
// reconnecting when the unit comes back) and carries out the commands of
// every other program through the port's control socket (on Windows its
// pipe), until a stop signal (Ctrl+C) ends it in the shutdown order.

#include <functional>
#include <ostream>

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/session.h"
#include "platform/environment.h"

namespace velmora::cli {

// Runs until stopped; returns 128 + the signal, or the exit code of a
// start that failed (no unit, port, socket). Prints where it listens once
// it does.
int runServe(const Options& options, Session& session, CommandIo& io, const EnvLookup& env);

}  // namespace velmora::cli
