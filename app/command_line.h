#pragma once

// The program's command line. Qt's own options (-platform, -style...) are
// taken out by QApplication before these rules see the arguments.

#include <string>
#include <vector>

namespace velmora {

inline constexpr const char* kProgramVersionText = "Velmora Management V2.84";
// Banks of the built-in simulated unit when --simulate names none.
inline constexpr int kDefaultSimulatedBanks = 3;
inline constexpr int kMaxSimulatedBanks = 16;

struct CommandLine {
    std::vector<std::string> ports;  // --port DEVICE / --port=DEVICE, in order
    bool simulate = false;           // --simulate[=BANKS]
    int simulatedBanks = kDefaultSimulatedBanks;  // 1..16
    bool help = false;               // --help
    bool version = false;            // --version
    // Empty when the arguments were understood; otherwise what was wrong
    // (the other fields then hold what was read before the fault).
    std::string error;
};

// Reads the arguments after the program name. Accepted: "--port DEVICE",
// "--port=DEVICE" (repeatable; DEVICE not empty), "--simulate",
// "--simulate=BANKS" (BANKS a decimal number 1..16), "--help", "--version".
// Anything else is an error.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// True when the arguments ask for --help or --version, which are answered
// before any window system is started (and need no display).
bool asksForHelpOrVersion(const std::vector<std::string>& args);

// The text --help prints.
std::string usageText();

}  // namespace velmora
