#pragma once

// velmoractl's commands on a connected session: each decides what to send,
// what to wait for and which exit code the outcome is.

#include <ostream>

#include "cli/cli_options.h"
#include "cli/console_dialogs.h"
#include "cli/session.h"

namespace velmora::cli {

struct CommandIo {
    std::ostream& out;         // results: text or one JSON object
    std::ostream& err;         // messages, the upgrade's progress
    bool json = false;
    bool terminal = false;     // err is a terminal (the progress bar redraws in place)
    ConsoleDialogs& dialogs;   // the session's dialogs
};

// Connects (options.device, or the port scan when it is empty) and runs
// options.command. Returns the exit code (cli_exit.h); messages and
// results are written to io.
int runCommand(const Options& options, Session& session, CommandIo& io);

// The checks made before any port is touched (the files of schedule send
// and upgrade, the PC clock for clock), so a bad request sends nothing:
// kExitDone, or the exit code after the message.
int checkBeforeConnecting(const Options& options, const LocalMoment& now, CommandIo& io);

// Prints an error the way the output mode wants it and returns `exitCode`.
int reportFailure(CommandIo& io, int exitCode, const std::string& text);

}  // namespace velmora::cli
