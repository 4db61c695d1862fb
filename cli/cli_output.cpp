#include "cli/cli_output.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "link/report_rules.h"

namespace velmora::cli {

std::string jsonString(std::string_view text) { return Json(latin1ToUtf8(text)).dump(-1, ' ', true); }

std::string numberText(float value) { return jsonNumber(value).dump(); }

namespace {

// One object a line, as every --json output is written.
std::string jsonLine(const Json& object) { return object.dump(-1, ' ', true) + "\n"; }

}  // namespace

std::string timeLeftText(const std::optional<PortTime>& t) {
    if (!t) return "";
    const char* which = t->powerOn ? "power-on" : "power-off";
    if (t->due) return std::string("due ") + which;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%d:%02d %s", t->hours, t->minutes, which);
    return buf;
}

namespace {

std::string pad(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

std::string padLeft(const std::string& text, std::size_t width) {
    return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

}  // namespace

std::string statusText(const UnitView& unit) {
    std::string out = "Velmora unit with " + std::to_string(unit.bankCount) +
                      (unit.bankCount == 1 ? " bank\n" : " banks\n");
    if (unit.banks.empty()) return out;
    out += "\nBank  Firmware  Current\n";
    for (const BankView& b : unit.banks) {
        // One decimal at least, as the window's current digits show it.
        std::string amperes = numberText(b.current);
        if (amperes.find('.') == std::string::npos) amperes += ".0";
        std::string row = padLeft(std::to_string(b.bank), 4) + "  " + pad(b.version.empty() ? "-" : b.version, 8) +
                          "  " + amperes + " A";
        if (!b.name.empty()) row += "  " + b.name;
        out += row + "\n";
    }
    out += "\nBank  Port  State  Timer flag  Time left\n";
    for (const BankView& b : unit.banks) {
        for (const PortView& p : b.ports) {
            const std::string left = timeLeftText(p.timeLeft);
            std::string row = padLeft(std::to_string(b.bank), 4) + "  " + padLeft(std::to_string(p.port), 4) + "  " +
                              pad(b.portStates.empty() ? "?" : (p.on ? "on" : "off"), 5) + "  " +
                              pad(p.flagged ? "flagged" : "normal", 10);
            if (!left.empty() || !p.name.empty()) row += "  " + pad(left, 16);
            if (!p.name.empty()) row += "  " + p.name;
            while (!row.empty() && row.back() == ' ') row.pop_back();
            out += row + "\n";
        }
    }
    return out;
}

std::string statusJson(const UnitView& unit) { return jsonLine(unitJson(unit)); }

std::string versionReport(const UnitView& unit) {
    std::string out;
    for (const BankView& b : unit.banks) {
        out += "Bank " + padLeft(std::to_string(b.bank), 2) + "  " + pad(b.version.empty() ? "-" : b.version, 4) +
               "  (" + velmora::versionText(b.version) + ")\n";
    }
    return out;
}

std::string versionJson(const UnitView& unit) {
    Json versions = Json::array();
    for (const BankView& b : unit.banks) versions.push_back({{"bank", b.bank}, {"version", latin1ToUtf8(b.version)}});
    return jsonLine({{"bankCount", unit.bankCount}, {"versions", std::move(versions)}});
}

std::string switchJson(std::string_view command, int bank, int port, bool confirmed, const UnitView& unit) {
    Json states = Json::array();
    for (const BankView& b : unit.banks)
        states.push_back({{"bank", b.bank}, {"portStates", latin1ToUtf8(b.portStates)}});
    return jsonLine({{"command", std::string(command)},
                     {"bank", bank},
                     {"port", port},
                     {"confirmed", confirmed},
                     {"portStates", std::move(states)}});
}

std::vector<WatchEvent> watchChanges(const UnitView& before, const UnitView& after) {
    std::vector<WatchEvent> events;
    for (const BankView& b : after.banks) {
        const BankView* old = nullptr;
        for (const BankView& o : before.banks)
            if (o.bank == b.bank) old = &o;
        if (b.portStates.size() >= 8) {
            const bool known = old && old->portStates.size() >= 8;
            for (const PortView& p : b.ports) {
                if (known && old->ports[static_cast<std::size_t>(p.port - 1)].on == p.on) continue;
                WatchEvent e;
                e.kind = WatchEvent::Kind::port;
                e.bank = b.bank;
                e.port = p.port;
                e.on = p.on;
                events.push_back(e);
            }
        }
        if (b.currentKnown && !(old && old->currentKnown && old->current == b.current)) {
            WatchEvent e;
            e.kind = WatchEvent::Kind::current;
            e.bank = b.bank;
            e.current = b.current;
            events.push_back(e);
        }
    }
    return events;
}

std::string watchLine(const WatchEvent& e, bool json) {
    if (e.kind == WatchEvent::Kind::port) {
        if (json) return Json{{"event", "port"}, {"bank", e.bank}, {"port", e.port}, {"on", e.on}}.dump();
        return "bank " + std::to_string(e.bank) + " port " + std::to_string(e.port) + (e.on ? " on" : " off");
    }
    if (json) return Json{{"event", "current"}, {"bank", e.bank}, {"current", jsonNumber(e.current)}}.dump();
    return "bank " + std::to_string(e.bank) + " current " + numberText(e.current) + " A";
}

namespace {

// File names are the file system's bytes: UTF-8 on any Linux of today, and
// whatever is not is shown with replacement characters rather than refused.
std::string fileJson(std::string_view file) {
    return Json(std::string(file)).dump(-1, ' ', true, Json::error_handler_t::replace);
}

}  // namespace

std::string clockJson(std::string_view sent) {
    return jsonLine({{"command", "clock"}, {"sent", latin1ToUtf8(sent)}});
}

std::string scheduleSendJson(std::string_view file, std::size_t commands) {
    return "{\"command\":\"schedule send\",\"file\":" + fileJson(file) +
           ",\"commands\":" + std::to_string(commands) + ",\"confirmed\":" + std::to_string(commands) + "}\n";
}

std::string scheduleSaveJson(std::string_view file, int banks) {
    return "{\"command\":\"schedule save\",\"file\":" + fileJson(file) + ",\"banks\":" + std::to_string(banks) +
           "}\n";
}

std::string upgradeJson(std::string_view file, long bytes, const UnitView& unit) {
    Json versions = Json::array();
    for (const BankView& b : unit.banks) versions.push_back({{"bank", b.bank}, {"version", latin1ToUtf8(b.version)}});
    return "{\"command\":\"upgrade\",\"file\":" + fileJson(file) + ",\"bytes\":" + std::to_string(bytes) +
           ",\"completed\":true,\"versions\":" + versions.dump(-1, ' ', true) + "}\n";
}

std::string newVersionsUnknownText(int timeoutMs) {
    std::string text = "velmoractl: the upgrade completed, but the unit did not report its new versions within ";
    text += secondsText(timeoutMs);
    text += "; ask again with: velmoractl version\n";
    return text;
}

std::string errorJson(std::string_view text, int exitCode) {
    return jsonLine({{"error", latin1ToUtf8(text)}, {"exitCode", exitCode}});
}

}  // namespace velmora::cli
