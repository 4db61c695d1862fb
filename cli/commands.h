#pragma once

// velmoractl's commands on a connected session: each decides what to send,
// what to wait for and which exit code the outcome is.

#include "cli/cli_options.h"
#include "cli/command_results.h"
#include "cli/session.h"

namespace velmora::cli {

// Connects (options.device, or the port scan when it is empty) and runs
// options.command. Returns the exit code (cli_exit.h); messages and
// results are written to io.
int runCommand(const Options& options, Session& session, CommandIo& io);

// The checks made before any port is touched (the files of schedule send
// and upgrade, the PC clock for clock), so a bad request sends nothing:
// kExitDone, or the exit code after the message.
int checkBeforeConnecting(const Options& options, const LocalMoment& now, CommandIo& io);

}  // namespace velmora::cli
