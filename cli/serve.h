#pragma once

// `velmoractl serve`: holds the port as the window does (polls, watchdog,
// reconnecting when the unit comes back) and carries out the commands of
// every other program through the port's control socket, until SIGTERM or
// SIGINT ends it in the shutdown order.

#include <functional>
#include <ostream>

#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/session.h"
#include "service/control_socket.h"

namespace velmora::cli {

// Runs until stopped; returns 128 + the signal, or the exit code of a
// start that failed (no unit, port, socket). Prints the socket's path once
// it listens.
int runServe(const Options& options, Session& session, CommandIo& io, const EnvLookup& env);

}  // namespace velmora::cli
