#include "cli/cli_output.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "link/protocol.h"
#include "link/report_rules.h"

namespace velmora::cli {

int shownBanks(int bankCount) { return std::clamp(bankCount, 0, kMaxBanks); }

UnitView takeUnitView(const DeviceState& state, const TimerTables& tables, const LocalMoment& now,
                      const std::array<bool, kBankRecords>& currentKnown) {
    UnitView unit;
    unit.bankCount = state.BankCount.load();
    const int banks = shownBanks(unit.bankCount);
    for (int b = 1; b <= banks; ++b) {
        const BankRecord record = state.bankSnapshot(b);
        BankView bank;
        bank.bank = b;
        bank.portStates = std::string(record.portStatesText());
        bank.timerFlags = std::string(record.timerFlagsText());
        bank.current = record.current;
        bank.currentKnown = currentKnown[static_cast<std::size_t>(b)];
        bank.version = std::string(record.versionText());
        for (int p = 1; p <= 8; ++p) {
            PortView& port = bank.ports[static_cast<std::size_t>(p - 1)];
            port.port = p;
            port.on = portIsOn(bank.portStates, p);
            port.flagged = timerFlagRule(bank.timerFlags, p).invalid;
            port.timeLeft = PortTimeLeft(tables, b - 1, p - 1, now);
        }
        unit.banks.push_back(std::move(bank));
    }
    return unit;
}

std::string jsonString(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u >= 0x7F) {
            out += "\\u00";
            out += kHex[u >> 4];
            out += kHex[u & 0x0F];
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string numberText(float value) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    std::string text(buf, r.ptr);
    // JSON has no inf or nan; the line scan can give neither, but say 0.
    if (text.find_first_not_of("0123456789.-e+") != std::string::npos) return "0";
    return text;
}

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

std::string timeLeftJson(const std::optional<PortTime>& t) {
    if (!t) return "null";
    return "{\"hours\":" + std::to_string(t->hours) + ",\"minutes\":" + std::to_string(t->minutes) +
           ",\"due\":" + (t->due ? "true" : "false") + ",\"timer\":" + (t->powerOn ? "\"power-on\"" : "\"power-off\"") +
           "}";
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
        out += padLeft(std::to_string(b.bank), 4) + "  " + pad(b.version.empty() ? "-" : b.version, 8) + "  " +
               amperes + " A\n";
    }
    out += "\nBank  Port  State  Timer flag  Time left\n";
    for (const BankView& b : unit.banks) {
        for (const PortView& p : b.ports) {
            const std::string left = timeLeftText(p.timeLeft);
            std::string row = padLeft(std::to_string(b.bank), 4) + "  " + padLeft(std::to_string(p.port), 4) + "  " +
                              pad(b.portStates.empty() ? "?" : (p.on ? "on" : "off"), 5) + "  " +
                              pad(p.flagged ? "flagged" : "normal", 10);
            if (!left.empty()) row += "  " + left;
            while (!row.empty() && row.back() == ' ') row.pop_back();
            out += row + "\n";
        }
    }
    return out;
}

std::string statusJson(const UnitView& unit) {
    std::string out = "{\"bankCount\":" + std::to_string(unit.bankCount) + ",\"banks\":[";
    for (std::size_t i = 0; i < unit.banks.size(); ++i) {
        const BankView& b = unit.banks[i];
        if (i) out += ',';
        out += "{\"bank\":" + std::to_string(b.bank) + ",\"version\":" + jsonString(b.version) +
               ",\"current\":" + numberText(b.current) + ",\"portStates\":" + jsonString(b.portStates) +
               ",\"timerFlags\":" + jsonString(b.timerFlags) + ",\"ports\":[";
        for (std::size_t j = 0; j < b.ports.size(); ++j) {
            const PortView& p = b.ports[j];
            if (j) out += ',';
            out += "{\"port\":" + std::to_string(p.port) + ",\"on\":" + (p.on ? "true" : "false") +
                   ",\"timerFlagged\":" + (p.flagged ? "true" : "false") + ",\"timeLeft\":" + timeLeftJson(p.timeLeft) +
                   "}";
        }
        out += "]}";
    }
    out += "]}\n";
    return out;
}

std::string versionReport(const UnitView& unit) {
    std::string out;
    for (const BankView& b : unit.banks) {
        out += "Bank " + padLeft(std::to_string(b.bank), 2) + "  " + pad(b.version.empty() ? "-" : b.version, 4) +
               "  (" + velmora::versionText(b.version) + ")\n";
    }
    return out;
}

std::string versionJson(const UnitView& unit) {
    std::string out = "{\"bankCount\":" + std::to_string(unit.bankCount) + ",\"versions\":[";
    for (std::size_t i = 0; i < unit.banks.size(); ++i) {
        if (i) out += ',';
        out += "{\"bank\":" + std::to_string(unit.banks[i].bank) + ",\"version\":" + jsonString(unit.banks[i].version) +
               "}";
    }
    out += "]}\n";
    return out;
}

std::vector<PortAddress> addressedPorts(int bank, int port, int bankCount) {
    std::vector<PortAddress> ports;
    const int banks = shownBanks(bankCount);
    if (bank < 0 || bank > banks || port < 0 || port > 8 || (bank == 0 && port != 0)) return ports;
    const int firstBank = bank == 0 ? 1 : bank;
    const int lastBank = bank == 0 ? banks : bank;
    for (int b = firstBank; b <= lastBank; ++b) {
        for (int p = port == 0 ? 1 : port; p <= (port == 0 ? 8 : port); ++p) ports.push_back({b, p});
    }
    return ports;
}

bool portsShow(const UnitView& unit, const std::vector<PortAddress>& ports, bool on) {
    if (ports.empty()) return false;
    for (const PortAddress& a : ports) {
        if (a.bank < 1 || static_cast<std::size_t>(a.bank) > unit.banks.size()) return false;
        const BankView& b = unit.banks[static_cast<std::size_t>(a.bank - 1)];
        if (b.portStates.size() < 8) return false;  // not reported yet
        if (b.ports[static_cast<std::size_t>(a.port - 1)].on != on) return false;
    }
    return true;
}

std::string switchCommand(bool on, int bank, int port) {
    if (bank == 0 && port == 0) return cmdSwitchAll(on);
    if (port == 0) return cmdSwitchBank(on, bank);
    return cmdSwitchPort(on, bank, port);
}

std::string switchText(bool on, int bank, int port) {
    const char* state = on ? "on" : "off";
    if (bank == 0) return std::string("Every bank is ") + state;
    if (port == 0) return "Bank " + std::to_string(bank) + " (all ports) is " + state;
    return "Bank " + std::to_string(bank) + " Port " + std::to_string(port) + " is " + state;
}

std::string switchJson(std::string_view command, int bank, int port, bool confirmed, const UnitView& unit) {
    std::string out = "{\"command\":" + jsonString(command) + ",\"bank\":" + std::to_string(bank) +
                      ",\"port\":" + std::to_string(port) + ",\"confirmed\":" + (confirmed ? "true" : "false") +
                      ",\"portStates\":[";
    for (std::size_t i = 0; i < unit.banks.size(); ++i) {
        if (i) out += ',';
        out += "{\"bank\":" + std::to_string(unit.banks[i].bank) +
               ",\"portStates\":" + jsonString(unit.banks[i].portStates) + "}";
    }
    out += "]}\n";
    return out;
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
        if (json)
            return "{\"event\":\"port\",\"bank\":" + std::to_string(e.bank) + ",\"port\":" + std::to_string(e.port) +
                   ",\"on\":" + (e.on ? "true" : "false") + "}";
        return "bank " + std::to_string(e.bank) + " port " + std::to_string(e.port) + (e.on ? " on" : " off");
    }
    if (json)
        return "{\"event\":\"current\",\"bank\":" + std::to_string(e.bank) + ",\"current\":" + numberText(e.current) +
               "}";
    return "bank " + std::to_string(e.bank) + " current " + numberText(e.current) + " A";
}

std::string errorJson(std::string_view text, int exitCode) {
    return "{\"error\":" + jsonString(text) + ",\"exitCode\":" + std::to_string(exitCode) + "}\n";
}

}  // namespace velmora::cli
