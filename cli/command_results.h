#pragma once

// What a velmoractl command prints once it has its outcome, the same
// whether velmoractl held the port itself or went through the port's
// owner: the result on `out` (text, or one JSON object with --json), the
// errors and warnings on `err`.

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_options.h"
#include "cli/console_dialogs.h"
#include "platform/file_io.h"
#include "service/unit_view.h"

namespace velmora::cli {

struct CommandIo {
    std::ostream& out;         // results: text or one JSON object
    std::ostream& err;         // messages, the upgrade's progress
    bool json = false;
    bool terminal = false;     // err is a terminal (the progress bar redraws in place)
    ConsoleDialogs& dialogs;   // the session's dialogs
};

// Prints an error the way the output mode wants it and returns `exitCode`.
int reportFailure(CommandIo& io, int exitCode, const std::string& text);

// "on", "off" or "cycle": the switching command's name in its JSON.
std::string_view switchingName(Command command);

void printStatus(CommandIo& io, const UnitView& unit);
void printVersions(CommandIo& io, const UnitView& unit);
// The switching confirmed (`on`: the state it ended in).
void printSwitched(CommandIo& io, Command command, int bank, int port, bool on, const UnitView& unit);
// The switching sent but not confirmed: the JSON object says so (the
// error itself follows on err); text output has nothing to add.
void printSwitchUnconfirmed(CommandIo& io, Command command, int bank, int port, const UnitView& unit);
// A cycle's outlets are off and its pause begins.
void printCycleOff(CommandIo& io, int bank, int port);
// What changed since `shown`, which becomes `now`. False once nobody
// reads any more (a closed pipe): the watch is over.
bool printWatchChanges(CommandIo& io, UnitView& shown, const UnitView& now);
void printClockSet(CommandIo& io, std::string_view sent);
void printScheduleWarnings(CommandIo& io, const std::string& file, const std::vector<std::string>& warnings);
void printScheduleSent(CommandIo& io, const std::string& file, std::size_t commands);
void printScheduleSaved(CommandIo& io, const std::string& file, int banks);
void printUpgraded(CommandIo& io, const std::string& file, long bytes, const UnitView& unit);

// "cannot read the schedule F: no such file" and its kin.
std::string scheduleUnreadableText(const std::string& file, FileIoStatus status, const std::string& error);

}  // namespace velmora::cli
