#include "cli/command_results.h"

#include "cli/cli_output.h"
#include "maintenance/firmware_upgrade.h"

namespace velmora::cli {

int reportFailure(CommandIo& io, int exitCode, const std::string& text) {
    if (io.json) {
        io.err << errorJson(text, exitCode);
    } else {
        io.err << "velmoractl: " << text << "\n";
    }
    io.err.flush();
    return exitCode;
}

std::string_view switchingName(Command command) {
    return command == Command::on ? "on" : command == Command::off ? "off" : "cycle";
}

void printStatus(CommandIo& io, const UnitView& unit) { io.out << (io.json ? statusJson(unit) : statusText(unit)); }

void printVersions(CommandIo& io, const UnitView& unit) {
    io.out << (io.json ? versionJson(unit) : versionReport(unit));
}

void printSwitched(CommandIo& io, Command command, int bank, int port, bool on, const UnitView& unit) {
    if (io.json) {
        io.out << switchJson(switchingName(command), bank, port, true, unit);
    } else {
        io.out << switchText(on, bank, port) << "\n";
    }
}

void printSwitchUnconfirmed(CommandIo& io, Command command, int bank, int port, const UnitView& unit) {
    if (io.json) io.out << switchJson(switchingName(command), bank, port, false, unit);
}

void printCycleOff(CommandIo& io, int bank, int port) {
    if (!io.json) io.out << switchText(false, bank, port) << "\n";
    io.out.flush();
}

bool printWatchChanges(CommandIo& io, UnitView& shown, const UnitView& now) {
    for (const WatchEvent& e : watchChanges(shown, now)) io.out << watchLine(e, io.json) << "\n";
    io.out.flush();
    shown = now;
    return static_cast<bool>(io.out);
}

void printClockSet(CommandIo& io, std::string_view sent) {
    if (io.json) {
        io.out << clockJson(sent);
    } else {
        io.out << "Clock set: " << sent << "\n";
    }
}

void printScheduleWarnings(CommandIo& io, const std::string& file, const std::vector<std::string>& warnings) {
    for (const std::string& warning : warnings) io.err << "velmoractl: " << file << ": " << warning << "\n";
}

void printScheduleSent(CommandIo& io, const std::string& file, std::size_t commands) {
    if (io.json) {
        io.out << scheduleSendJson(file, commands);
    } else if (commands == 0) {
        io.out << "Nothing to send: " << file << " holds no timer the unit does not already have\n";
    } else {
        io.out << "Sent " << commands << (commands == 1 ? " command" : " commands") << " from " << file
               << "; the unit confirmed every one\n";
    }
}

void printScheduleSaved(CommandIo& io, const std::string& file, int banks) {
    if (io.json) {
        io.out << scheduleSaveJson(file, banks);
    } else {
        io.out << "Saved the timers of " << banks << (banks == 1 ? " bank" : " banks") << " to " << file << "\n";
    }
}

void printUpgraded(CommandIo& io, const std::string& file, long bytes, const UnitView& unit) {
    if (io.json) {
        io.out << upgradeJson(file, bytes, unit);
    } else {
        io.out << kUpgradeCompletedText << " (" << bytes << " bytes from " << file << ")\n";
        io.out << versionReport(unit);
    }
}

std::string scheduleUnreadableText(const std::string& file, FileIoStatus status, const std::string& error) {
    return "cannot read the schedule " + file + ": " +
           (status == FileIoStatus::missing    ? std::string("no such file")
            : status == FileIoStatus::tooLarge ? std::string("too large for a schedule")
                                               : error);
}

}  // namespace velmora::cli
