#pragma once

#include "sim/pty_simulator.h"
#include "sim/unit_config.h"

#include <string>
#include <vector>

namespace velmora::sim {

// What the velmora-sim command line asks for.
struct SimOptions {
    UnitConfig unit;
    PtyOptions pty;
    // Where every byte the program sent is written when the unit stops
    // (--record); empty: nowhere.
    std::string recordFile;
    std::string logFile;  // each command body as it comes, a line each
    bool help = false;
};

// Result of reading the command line: ok, or the message to print (the
// usage text is printed with it by the caller).
struct SimOptionsResult {
    bool ok = false;
    SimOptions options;
    std::string error;
};

// Reads the arguments after the program name. Numbers must be plain
// decimal; anything unknown or malformed is an error, never a guess.
SimOptionsResult parseSimOptions(const std::vector<std::string>& args);

// The --help text.
std::string simUsage();

}  // namespace velmora::sim
