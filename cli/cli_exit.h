#pragma once

// velmoractl's exit codes and the words for why a port could not be used.

#include <string>
#include <vector>

#include "platform/serial_device.h"

namespace velmora::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitNoUnit = 1;        // no unit found, or the unit fell silent
inline constexpr int kExitUsage = 2;         // bad arguments, an unusable file or PC clock
inline constexpr int kExitNotConfirmed = 3;  // the unit did not confirm in time (or refused)
inline constexpr int kExitPort = 4;          // the port cannot be opened
// Stopped by a signal before the command was done: 128 + the signal's number.
inline int exitCodeForSignal(int signalNumber) { return 128 + signalNumber; }

// Why `device` could not be opened, in words: a missing device, missing
// permission (names the dialout group), or a port in use by another
// program (the programs that hold it, where this user can see them).
std::string openFailureText(const std::string& device, SerialStatus status);

// A port the probe could not open, and why.
struct PortRefusal {
    std::string device;
    SerialStatus status;
};

// What the port scan comes to when no port answered: exit 4 with every
// port that was busy or not permitted (the unit may be behind one of them),
// else exit 1 with the not-found message. `text` says it.
struct ScanVerdict {
    int exitCode;
    std::string text;
};
ScanVerdict noUnitVerdict(const std::vector<PortRefusal>& refusals, std::size_t portsProbed);

}  // namespace velmora::cli
