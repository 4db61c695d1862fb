#include "cli/cli_options.h"

#include <charconv>
#include <string_view>

namespace velmora::cli {

namespace {

bool parseNumber(std::string_view text, int low, int high, int& value) {
    if (text.empty() || text.size() > 4) return false;
    int v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || v < low || v > high) return false;
    value = v;
    return true;
}

struct CommandName {
    std::string_view name;
    Command command;
};

constexpr CommandName kCommands[] = {
    {"status", Command::status}, {"on", Command::on},       {"off", Command::off},
    {"cycle", Command::cycle},   {"watch", Command::watch}, {"clock", Command::clock},
    {"version", Command::version}, {"upgrade", Command::upgrade}, {"serve", Command::serve},
    {"metrics", Command::metrics},
    {"shell", Command::shell},
};

// Splits "--name=value"; value is empty without "=".
bool splitOption(std::string_view arg, std::string_view& name, std::string_view& value, bool& hasValue) {
    if (arg.size() < 3 || arg.substr(0, 2) != "--") return false;
    const auto eq = arg.find('=');
    hasValue = eq != std::string_view::npos;
    name = arg.substr(0, eq);
    value = hasValue ? arg.substr(eq + 1) : std::string_view();
    return true;
}

}  // namespace

bool parseSeconds(const std::string& text, int& milliseconds) {
    const std::string_view t = text;
    const auto dot = t.find('.');
    const std::string_view whole = t.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : t.substr(dot + 1);
    if (whole.empty() || whole.size() > 4 || whole.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    if (dot != std::string_view::npos && (fraction.empty() || fraction.size() > 3)) return false;
    int seconds = 0;
    const auto r = std::from_chars(whole.data(), whole.data() + whole.size(), seconds);
    if (r.ec != std::errc() || r.ptr != whole.data() + whole.size()) return false;
    int thousandths = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        const char c = i < fraction.size() ? fraction[i] : '0';
        if (c < '0' || c > '9') return false;
        thousandths = thousandths * 10 + (c - '0');
    }
    const long long ms = static_cast<long long>(seconds) * 1000 + thousandths;
    if (ms > kLongestWaitMs) return false;
    milliseconds = static_cast<int>(ms);
    return true;
}

Parse parseArguments(const std::vector<std::string>& args) {
    Parse p;
    Options& o = p.options;
    std::vector<std::string> words;
    bool optionsEnded = false;
    bool delayGiven = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string_view name, value;
        bool hasValue = false;
        if (optionsEnded || !splitOption(arg, name, value, hasValue)) {
            if (arg == "--") {
                optionsEnded = true;
                continue;
            }
            words.push_back(arg);
            continue;
        }
        // Options that take a value take "--name value" or "--name=value".
        auto takeValue = [&](std::string& out) {
            if (hasValue) {
                out = std::string(value);
            } else if (i + 1 < args.size()) {
                out = args[++i];
            } else {
                out.clear();
            }
            return !out.empty();
        };
        std::string v;
        if (name == "--help" && !hasValue) {
            o.help = true;
        } else if (name == "--version" && !hasValue) {
            o.version = true;
        } else if (name == "--json" && !hasValue) {
            o.json = true;
        } else if (name == "--port") {
            if (!takeValue(o.device)) {
                p.error = "--port needs a device, e.g. --port /dev/ttyUSB0";
                return p;
            }
        } else if (name == "--simulate") {
            o.simulate = true;
            if (hasValue && !parseNumber(value, 1, kMaxSimulatedBanks, o.simulatedBanks)) {
                p.error = "--simulate takes a number of banks from 1 to 16, not \"" + std::string(value) + "\"";
                return p;
            }
        } else if (name == "--trace") {
            if (!takeValue(o.traceFile)) {
                p.error = "--trace needs a file, e.g. --trace /tmp/velmora.trace";
                return p;
            }
        } else if (name == "--timeout") {
            if (!takeValue(v) || !parseSeconds(v, o.timeoutMs) || o.timeoutMs == 0) {
                p.error = "--timeout takes seconds above 0 and up to 3600, e.g. --timeout 5 or --timeout 0.5";
                return p;
            }
        } else if (name == "--group") {
            if (!takeValue(o.group)) {
                p.error = "--group needs a group name, e.g. --group velmora";
                return p;
            }
        } else if (name == "--socket-dir") {
            if (!takeValue(o.socketDir) || o.socketDir[0] != '/') {
                p.error = "--socket-dir needs an absolute folder, e.g. --socket-dir /run/velmora";
                return p;
            }
        } else if (name == "--metrics") {
            if (!takeValue(o.metricsAddress) || o.metricsAddress.find(':') == std::string::npos) {
                p.error = "--metrics needs ADDRESS:PORT, e.g. --metrics 127.0.0.1:9713";
                return p;
            }
        } else if (name == "--direct" && !hasValue) {
            o.direct = true;
        } else if (name == "--delay") {
            if (!takeValue(v) || !parseSeconds(v, o.delayMs)) {
                p.error = "--delay takes seconds from 0 to 3600, e.g. --delay 2";
                return p;
            }
            delayGiven = true;
        } else {
            p.error = "unknown option \"" + arg + "\"";
            return p;
        }
    }

    if (o.simulate && !o.device.empty()) {
        p.error = "--port and --simulate exclude each other: the simulated unit has a port of its own";
        return p;
    }
    if (o.help || o.version) return p;
    if (words.empty()) {
        p.error = "no command given";
        return p;
    }

    const std::string& verb = words[0];
    std::size_t expected = 1;
    bool known = false;
    for (const CommandName& c : kCommands) {
        if (verb == c.name) {
            o.command = c.command;
            known = true;
        }
    }
    if (verb == "schedule") {
        known = true;
        expected = 3;
        if (words.size() < 2 || (words[1] != "send" && words[1] != "save")) {
            p.error = "schedule needs \"send FILE.pwr\" or \"save FILE.pwr\"";
            return p;
        }
        o.command = words[1] == "send" ? Command::scheduleSend : Command::scheduleSave;
        if (words.size() < 3 || words[2].empty()) {
            p.error = "schedule " + words[1] + " needs a schedule file, e.g. schedule " + words[1] + " default0.pwr";
            return p;
        }
        o.file = words[2];
    }
    if (!known) {
        p.error = "unknown command \"" + verb + "\"";
        return p;
    }

    switch (o.command) {
        case Command::on:
        case Command::off:
        case Command::cycle:
            expected = 3;
            if (words.size() == 2 && !words[1].empty() &&
                words[1].find_first_not_of("0123456789") != std::string::npos) {
                // An outlet's name ("router", "DUT 3" in quotes).
                o.outletNameGiven = words[1];
                expected = 2;
                break;
            }
            if (words.size() < 3) {
                p.error = verb + " needs BANK and PORT, e.g. " + verb +
                          " 1 3 (PORT 0: the whole bank; 0 0: every bank), or an outlet's name";
                return p;
            }
            if (!parseNumber(words[1], 0, kMaxBankNumber, o.bank)) {
                p.error = "BANK must be a number from 0 to 99, not \"" + words[1] + "\"";
                return p;
            }
            if (!parseNumber(words[2], 0, kMaxPortNumber, o.port)) {
                p.error = "PORT must be a number from 0 to 8, not \"" + words[2] + "\"";
                return p;
            }
            if (o.bank == 0 && o.port != 0) {
                p.error = "BANK 0 means every bank and goes with PORT 0 only";
                return p;
            }
            break;
        case Command::upgrade:
            expected = 2;
            if (words.size() < 2 || words[1].empty()) {
                p.error = "upgrade needs a firmware image, e.g. upgrade firmware.x";
                return p;
            }
            o.file = words[1];
            break;
        default:
            break;
    }
    if ((!o.group.empty() || !o.socketDir.empty() || !o.metricsAddress.empty()) && o.command != Command::serve) {
        p.error = "--group, --socket-dir and --metrics belong to the serve command";
        return p;
    }
    if (delayGiven && o.command != Command::cycle && o.command != Command::shell) {
        p.error = "--delay belongs to the cycle command (and the shell's cycles)";
        return p;
    }
    if (words.size() > expected) {
        p.error = "unexpected argument \"" + words[expected] + "\"";
        return p;
    }
    return p;
}

std::string usageText() {
    return "Usage: velmoractl [--port DEVICE | --simulate[=BANKS]] [--json] [--trace FILE] [--timeout S] COMMAND ...\n"
           "Controls a Velmora power-distribution unit from scripts and lab automation.\n"
           "\n"
           "Commands:\n"
           "  status                 bank count; per bank the port states, timer flags, current and\n"
           "                         firmware; per port the time left of its timer\n"
           "  on BANK PORT           switch a port on (PORT 0: the whole bank; BANK 0 PORT 0: every bank)\n"
           "  off BANK PORT          switch it off\n"
           "  on|off|cycle NAME      the same for the outlet of that name (the window's Rename...)\n"
           "  cycle BANK PORT [--delay S]\n"
           "                         off, wait S seconds (default 5), on\n"
           "  watch                  one line per change of a port or a current, until interrupted\n"
           "  clock                  set the unit's clock from this PC's clock\n"
           "  version                firmware version of every bank\n"
           "  schedule send FILE.pwr send a schedule file to the unit\n"
           "  schedule save FILE.pwr save the unit's timers as a schedule file\n"
           "  upgrade FILE.x         upgrade the unit's firmware\n"
           "  metrics                the unit once in Prometheus' text format (node_exporter's textfile\n"
           "                         collector)\n"
           "  serve [--group G] [--socket-dir D] [--metrics ADDRESS:PORT]\n"
           "                         hold the port and carry out other programs' commands, until stopped;\n"
           "                         --metrics also answers GET /metrics over HTTP\n"
           "  shell                  read commands line by line (status, on|off|cycle PLUGS, current,\n"
           "                         quit), for programs that keep one velmoractl open\n"
           "\n"
           "When a Velmora Manager window or \"velmoractl serve\" holds the port, every command goes\n"
           "through it (its control socket), with the same output and exit codes.\n"
           "\n"
           "Options:\n"
           "  --port DEVICE          the unit's serial port; without it every serial port is probed\n"
           "  --simulate[=BANKS]     use a simulated unit with BANKS banks (1..16, default 3)\n"
           "  --json                 machine-readable output (one JSON object; one per line for watch)\n"
           "  --trace FILE           write every byte sent and received to FILE\n"
           "  --timeout S            seconds to wait for each answer of the unit (default 10)\n"
           "  --direct               open the port itself even when a Velmora Manager process holds it\n"
           "  --help, --version\n"
           "\n"
           "Exit codes: 0 done; 1 no unit found or unit silent; 2 bad usage or an unusable file;\n"
           "3 the unit did not confirm; 4 the port cannot be opened (missing, permission, busy);\n"
           "128+N stopped by signal N before the command was done.\n";
}

}  // namespace velmora::cli
