#include "sim/sim_options.h"

#include <charconv>
#include <sstream>

namespace velmora::sim {

namespace {

bool readInt(const std::string& text, long lo, long hi, long& out) {
    if (text.empty()) return false;
    long v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool readVersions(const std::string& text, std::vector<std::string>& out) {
    std::vector<std::string> list;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (item.size() != 4) return false;
        for (char c : item)
            if (c < '0' || c > '9') return false;
        list.push_back(item);
    }
    if (list.empty() || text.back() == ',') return false;
    out = list;
    return true;
}

}  // namespace

std::string simUsage() {
    return "Usage: velmora-sim [options]\n"
           "Runs a simulated Velmora unit on a pseudo-terminal, prints the device to\n"
           "open (one line) and serves it until interrupted.\n"
           "\n"
           "  --banks N            banks of eight ports, 1..16 (default 2)\n"
           "  --versions V,V,..    firmware version per bank, four digits each (default 1203)\n"
           "  --status-form F      split, combined, flags-first or rotate (default rotate)\n"
           "  --image-length N     image bytes that complete an upgrade (default: a quiet gap ends it)\n"
           "  --ok-completion      end an upgrade with \"Upgrade OK\" instead of a version line\n"
           "  --prompt-every S     without firmware, ask for an image every S seconds (default 8)\n"
           "  --paced              talk at the real line rate, both ways (960 bytes/s)\n"
           "  --record FILE        on stopping, write every byte the program sent to FILE\n"
           "  --log FILE           write each command the unit receives to FILE as it comes, a line each\n"
           "faults:\n"
           "  --silent-after N     answer N polls, then nothing at all\n"
           "  --hangup-after N     answer N polls, drop the line at the next\n"
           "  --abc                no valid firmware: greeting answer \"abc\"\n"
           "  --clock-error        answer \"err\" to every clock set\n"
           "  --upgrade-fail       the first upgrade ends in \"Fail\"\n"
           "  --upgrade-stall [N]  the first upgrade goes quiet after N image bytes (default 100)\n"
           "  --junk               stray bytes and over-long lines around poll answers\n"
           "  --bad-banks          bank numbers out of range in poll and version answers\n"
           "  --versions-lost      after an upgrade, never answer the version request\n"
           "  --help               this text\n";
}

SimOptionsResult parseSimOptions(const std::vector<std::string>& args) {
    SimOptionsResult r;
    UnitConfig& u = r.options.unit;
    auto fail = [&](const std::string& why) {
        r.ok = false;
        r.error = why;
        return r;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        auto number = [&](long lo, long hi, long& out) {
            std::string text;
            return value(text) && readInt(text, lo, hi, out);
        };
        long n = 0;
        std::string text;
        if (a == "--help" || a == "-h") {
            r.options.help = true;
        } else if (a == "--banks") {
            if (!number(1, 16, n)) return fail("--banks needs a number from 1 to 16");
            u.banks = static_cast<int>(n);
        } else if (a == "--versions") {
            if (!value(text) || !readVersions(text, u.versions))
                return fail("--versions needs four-digit versions separated by commas");
        } else if (a == "--status-form") {
            if (!value(text)) return fail("--status-form needs split, combined, flags-first or rotate");
            if (text == "split") u.statusForm = StatusForm::split;
            else if (text == "combined") u.statusForm = StatusForm::combined;
            else if (text == "flags-first") u.statusForm = StatusForm::combinedFlagsFirst;
            else if (text == "rotate") u.statusForm = StatusForm::rotate;
            else return fail("--status-form needs split, combined, flags-first or rotate");
        } else if (a == "--image-length") {
            if (!number(1, 1L << 30, n)) return fail("--image-length needs a positive number of bytes");
            u.imageLength = n;
        } else if (a == "--ok-completion") {
            u.completion = CompletionStyle::twoWordOk;
        } else if (a == "--prompt-every") {
            if (!number(0, 3600, n)) return fail("--prompt-every needs seconds from 0 to 3600");
            u.loaderPromptEveryMs = static_cast<int>(n * 1000);
        } else if (a == "--paced") {
            r.options.pty.paced = true;
        } else if (a == "--record") {
            if (!value(r.options.recordFile) || r.options.recordFile.empty()) return fail("--record needs a file");
        } else if (a == "--log") {
            if (!value(r.options.logFile) || r.options.logFile.empty()) return fail("--log needs a file");
        } else if (a == "--silent-after") {
            if (!number(0, 1000000, n)) return fail("--silent-after needs a number of polls");
            u.faults.silentAfterPolls = static_cast<int>(n);
        } else if (a == "--hangup-after") {
            if (!number(0, 1000000, n)) return fail("--hangup-after needs a number of polls");
            u.faults.hangUpAfterPolls = static_cast<int>(n);
        } else if (a == "--versions-lost") {
            u.faults.versionsLostAfterUpgrade = true;
        } else if (a == "--abc") {
            u.faults.missingFirmware = true;
        } else if (a == "--clock-error") {
            u.faults.clockError = true;
        } else if (a == "--upgrade-fail") {
            u.faults.upgradeFailures = 1;
        } else if (a == "--upgrade-stall") {
            u.faults.stallAfterBytes = 100;
            if (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-') {
                if (!number(0, 1L << 30, n)) return fail("--upgrade-stall takes a number of image bytes");
                u.faults.stallAfterBytes = n;
            }
        } else if (a == "--junk") {
            u.faults.junk = true;
        } else if (a == "--bad-banks") {
            u.faults.badBanks = true;
        } else {
            return fail("unknown option: " + a);
        }
    }
    r.ok = true;
    return r;
}

}  // namespace velmora::sim
