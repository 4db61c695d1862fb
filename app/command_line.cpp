#include "app/command_line.h"

#include <charconv>
#include <string_view>

namespace velmora {

namespace {

constexpr std::string_view kPort = "--port";
constexpr std::string_view kSimulate = "--simulate";

bool parseBanks(std::string_view text, int& banks) {
    if (text.empty() || text.size() > 2) return false;
    int value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return false;
    if (value < 1 || value > kMaxSimulatedBanks) return false;
    banks = value;
    return true;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help") {
            cl.help = true;
        } else if (arg == "--version") {
            cl.version = true;
        } else if (arg == kPort) {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                cl.error = "--port needs a device, e.g. --port /dev/ttyUSB0";
                return cl;
            }
            cl.ports.push_back(args[++i]);
        } else if (arg.substr(0, kPort.size() + 1) == "--port=") {
            const std::string_view device = arg.substr(kPort.size() + 1);
            if (device.empty()) {
                cl.error = "--port needs a device, e.g. --port /dev/ttyUSB0";
                return cl;
            }
            cl.ports.emplace_back(device);
        } else if (arg == kSimulate) {
            cl.simulate = true;
        } else if (arg.substr(0, kSimulate.size() + 1) == "--simulate=") {
            int banks = 0;
            if (!parseBanks(arg.substr(kSimulate.size() + 1), banks)) {
                cl.error = "--simulate takes a number of banks from 1 to 16, not \"" +
                           std::string(arg.substr(kSimulate.size() + 1)) + "\"";
                return cl;
            }
            cl.simulate = true;
            cl.simulatedBanks = banks;
        } else {
            cl.error = "unknown argument \"" + std::string(arg) + "\"";
            return cl;
        }
    }
    return cl;
}

bool asksForHelpOrVersion(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == kPort) {
            ++i;  // its device, whatever it is called
        } else if (args[i] == "--help" || args[i] == "--version") {
            return true;
        }
    }
    return false;
}

std::string usageText() {
    return "Usage: velmora [--port DEVICE]... [--simulate[=BANKS]] [--trace FILE]\n"
           "Controls a Velmora power-distribution unit on a serial port.\n"
           "\n"
           "  --port DEVICE        add DEVICE (a serial device, pty or bridge) to the port list;\n"
           "                       may be given more than once\n"
           "  --simulate[=BANKS]   start a simulated unit with BANKS banks (1..16, default 3),\n"
           "                       put it first in the port list and connect to it\n"
           "  --trace FILE         write every byte to and from the unit to FILE, with the\n"
           "                       time in milliseconds, as it goes\n"
           "  --help               show this text and exit\n"
           "  --version            show the version and exit\n";
}

}  // namespace velmora
