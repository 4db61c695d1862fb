#include "service/unit_view.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "link/protocol.h"
#include "link/report_rules.h"
#include "link/serial_link.h"

namespace velmora {


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

std::string secondsText(int ms) {
    char buf[32];
    if (ms % 1000 == 0) {
        std::snprintf(buf, sizeof buf, "%d s", ms / 1000);
    } else {
        std::snprintf(buf, sizeof buf, "%.3g s", ms / 1000.0);
    }
    return buf;
}

std::string switchText(bool on, int bank, int port) {
    const char* state = on ? "on" : "off";
    if (bank == 0) return std::string("Every bank is ") + state;
    if (port == 0) return "Bank " + std::to_string(bank) + " (all ports) is " + state;
    return "Bank " + std::to_string(bank) + " Port " + std::to_string(port) + " is " + state;
}

std::string noSuchBankText(int bank, int bankCount) {
    return "bank " + std::to_string(bank) + " does not exist: the unit has " + std::to_string(bankCount) +
           (bankCount == 1 ? " bank" : " banks");
}

std::string notConfirmedText(bool on, int bank, int port, int timeoutMs) {
    return "the unit did not confirm within " + secondsText(timeoutMs) + ": " + switchText(!on, bank, port) +
           " still, or not reported";
}

std::string noStatusAnswerText(int timeoutMs) {
    return std::string(kNotFoundMessage) + "\n(no complete answer to the status poll within " + secondsText(timeoutMs) +
           ")";
}

std::string latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

std::string utf8ToLatin1(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto u = static_cast<unsigned char>(text[i]);
        if (u < 0x80) {
            out += text[i];
            continue;
        }
        // A two-byte sequence for U+0080..U+00FF; anything else is one '?'.
        if ((u == 0xC2 || u == 0xC3) && i + 1 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            out += static_cast<char>(((u & 0x03) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F));
            ++i;
            continue;
        }
        out += '?';
        while (i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) ++i;
    }
    return out;
}

Json jsonNumber(float value) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    const std::string text(buf, r.ptr);
    if (text.find_first_not_of("0123456789.-e+") != std::string::npos) return 0;
    // The float's own shortest decimal, so 0.1f reads "0.1", not the
    // double it widens to; a whole number stays one ("2", not "2.0").
    if (text.find_first_of(".e") == std::string::npos) return std::strtoll(text.c_str(), nullptr, 10);
    return std::strtod(text.c_str(), nullptr);
}

namespace {

Json timeLeftJson(const std::optional<PortTime>& t) {
    if (!t) return nullptr;
    return {{"hours", t->hours}, {"minutes", t->minutes}, {"due", t->due},
            {"timer", t->powerOn ? "power-on" : "power-off"}};
}

template <typename T>
T member(const Json& object, const char* key, T fallback) {
    if (!object.is_object()) return fallback;
    const auto it = object.find(key);
    if (it == object.end()) return fallback;
    if constexpr (std::is_same_v<T, bool>) {
        return it->is_boolean() ? it->get<bool>() : fallback;
    } else if constexpr (std::is_same_v<T, std::string>) {
        return it->is_string() ? it->get<std::string>() : fallback;
    } else if constexpr (std::is_same_v<T, float>) {
        return it->is_number() ? static_cast<float>(it->get<double>()) : fallback;
    } else {
        if (!it->is_number_integer()) return fallback;
        const auto v = it->get<long long>();
        return v < -1000000 || v > 1000000 ? fallback : static_cast<T>(v);
    }
}

}  // namespace

Json unitJson(const UnitView& unit, bool forClients) {
    Json banks = Json::array();
    for (const BankView& b : unit.banks) {
        Json ports = Json::array();
        for (const PortView& p : b.ports) {
            Json port = {{"port", p.port}, {"on", p.on}, {"timerFlagged", p.flagged},
                         {"timeLeft", timeLeftJson(p.timeLeft)}};
            if (!p.name.empty()) port["name"] = p.name;
            ports.push_back(std::move(port));
        }
        Json bank = {{"bank", b.bank},
                               {"version", latin1ToUtf8(b.version)},
                               {"current", jsonNumber(b.current)},
                               {"portStates", latin1ToUtf8(b.portStates)},
                               {"timerFlags", latin1ToUtf8(b.timerFlags)},
                               {"ports", std::move(ports)}};
        if (forClients) bank["currentKnown"] = b.currentKnown;
        if (!b.name.empty()) bank["name"] = b.name;
        banks.push_back(std::move(bank));
    }
    return {{"bankCount", unit.bankCount}, {"banks", std::move(banks)}};
}

UnitView unitFromJson(const Json& object) {
    UnitView unit;
    unit.bankCount = member(object, "bankCount", 0);
    if (!object.is_object() || !object.contains("banks") || !object["banks"].is_array()) return unit;
    for (const Json& b : object["banks"]) {
        if (unit.banks.size() >= static_cast<std::size_t>(kMaxBanks)) break;
        BankView bank;
        bank.bank = member(b, "bank", 0);
        bank.version = utf8ToLatin1(member(b, "version", std::string()));
        bank.current = member(b, "current", 0.0f);
        bank.currentKnown = member(b, "currentKnown", true);
        bank.portStates = utf8ToLatin1(member(b, "portStates", std::string()));
        bank.timerFlags = utf8ToLatin1(member(b, "timerFlags", std::string()));
        bank.name = member(b, "name", std::string());
        std::size_t i = 0;
        if (b.is_object() && b.contains("ports") && b["ports"].is_array()) {
            for (const Json& p : b["ports"]) {
                if (i >= bank.ports.size()) break;
                PortView& port = bank.ports[i++];
                port.port = member(p, "port", static_cast<int>(i));
                port.on = member(p, "on", false);
                port.flagged = member(p, "timerFlagged", false);
                port.name = member(p, "name", std::string());
                if (p.is_object() && p.contains("timeLeft") && p["timeLeft"].is_object()) {
                    const Json& t = p["timeLeft"];
                    PortTime left{};
                    left.hours = member(t, "hours", 0);
                    left.minutes = member(t, "minutes", 0);
                    left.due = member(t, "due", false);
                    left.powerOn = member(t, "timer", std::string()) == "power-on";
                    port.timeLeft = left;
                }
            }
        }
        for (; i < bank.ports.size(); ++i) bank.ports[i].port = static_cast<int>(i + 1);
        unit.banks.push_back(std::move(bank));
    }
    return unit;
}

void nameUnitView(UnitView& unit, const std::function<std::string(int bank, int port)>& nameOf) {
    if (!nameOf) return;
    for (BankView& b : unit.banks) {
        b.name = nameOf(b.bank, 0);
        for (PortView& p : b.ports) p.name = nameOf(b.bank, p.port);
    }
}

}  // namespace velmora
