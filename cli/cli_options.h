#pragma once

// velmoractl's command line, read into values without touching anything.

#include <functional>
#include <string>
#include <vector>

#include "service/outlet_names.h"

namespace velmora::cli {

enum class Command {
    none,
    status,
    on,
    off,
    cycle,
    watch,
    clock,
    version,
    scheduleSend,
    scheduleSave,
    upgrade,
    metrics,  // the unit once in Prometheus' text format
    serve,  // hold the port and serve other programs through its control socket
    shell,  // a line mode for programs that keep one process open
};

inline constexpr int kDefaultTimeoutMs = 10000;     // --timeout
inline constexpr int kDefaultCycleDelayMs = 5000;   // cycle --delay
inline constexpr int kLongestWaitMs = 3600 * 1000;  // --timeout and --delay at most one hour
inline constexpr int kDefaultSimulatedBanks = 3;
inline constexpr int kMaxSimulatedBanks = 16;
inline constexpr int kMaxBankNumber = 99;  // the wire's two bank digits
inline constexpr int kMaxPortNumber = 8;

struct Options {
    std::string device;        // --port DEVICE; empty: probe the port list
    bool simulate = false;     // --simulate[=BANKS]
    int simulatedBanks = kDefaultSimulatedBanks;
    bool json = false;         // --json
    std::string traceFile;     // --trace FILE; empty: no trace
    int timeoutMs = kDefaultTimeoutMs;  // --timeout S
    bool help = false;         // --help
    bool version = false;      // --version

    Command command = Command::none;
    int bank = 0;  // on, off, cycle: 0 with port 0 is every bank
    int port = 0;  // on, off, cycle: 0 is the whole bank
    int delayMs = kDefaultCycleDelayMs;  // cycle --delay S
    std::string file;  // schedule send/save FILE.pwr, upgrade FILE.x

    // serve: the group whose members may use the socket too (--group), and
    // the folder of the socket (--socket-dir; empty: the default).
    std::string group;
    std::string socketDir;
    // serve --metrics ADDRESS:PORT: GET /metrics over HTTP; empty: off.
    std::string metricsAddress;
    // --direct: open the port even when a Velmora Manager process owns it
    // (it then fails as busy); for tests and diagnosis.
    bool direct = false;

    // on, off, cycle NAME: the outlet by the name its user gave it (bank
    // and port are found once the unit's port and bank count are known).
    std::string outletNameGiven;

    // The names of the unit on `device` with `banks` banks (the user's
    // names file). Not from the command line; empty: no names.
    std::function<OutletNames(const std::string& device, int banks)> namesOf;
};

// Result of reading the arguments: `error` is empty when they were
// understood (the usage text goes with any error).
struct Parse {
    Options options;
    std::string error;
    bool ok() const { return error.empty(); }
};

// Reads the arguments after the program name. Options may stand before or
// after the command; "--" ends them (for a file named like an option).
// Numbers are plain decimal; seconds may carry up to three decimals
// ("0.25"). Anything unknown, missing or out of range is an error, never a
// guess. --help and --version need no command.
Parse parseArguments(const std::vector<std::string>& args);

// The --help text.
std::string usageText();

// "1.5" seconds -> 1500 ms: plain decimal with at most three decimals,
// 0 .. kLongestWaitMs; false otherwise.
bool parseSeconds(const std::string& text, int& milliseconds);

}  // namespace velmora::cli
