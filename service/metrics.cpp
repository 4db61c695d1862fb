#include "service/metrics.h"

#include <string_view>

#include "schedule/timer_arithmetic.h"

namespace velmora {

std::string metricsLabel(std::string_view value) {
    std::string out;
    for (char c : value) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

namespace {

class Writer {
public:
    explicit Writer(std::string device) : device_(metricsLabel(latin1ToUtf8(device))) {}

    void family(const char* name, const char* help, const char* type = "gauge") {
        out_ += "# HELP ";
        out_ += name;
        out_ += ' ';
        out_ += help;
        out_ += "\n# TYPE ";
        out_ += name;
        out_ += ' ';
        out_ += type;
        out_ += '\n';
    }
    // name{device="...",<labels>} value
    void sample(const char* name, const std::string& labels, const std::string& value) {
        out_ += name;
        out_ += "{device=\"";
        out_ += device_;
        out_ += '"';
        if (!labels.empty()) {
            out_ += ',';
            out_ += labels;
        }
        out_ += "} ";
        out_ += value;
        out_ += '\n';
    }
    std::string take() { return std::move(out_); }

private:
    std::string device_;
    std::string out_;
};

std::string label(const char* key, const std::string& value) {
    std::string s = key;
    s += "=\"";
    s += metricsLabel(value);
    s += '"';
    return s;
}

std::string join(std::initializer_list<std::string> labels) {
    std::string s;
    for (const std::string& l : labels) {
        if (!s.empty()) s += ',';
        s += l;
    }
    return s;
}

// Seconds until one direction's timer of a port fires, when it is enabled.
std::optional<long long> secondsLeft(const TimerTables& tables, int bank, int port, bool powerOn,
                                     const LocalMoment& now) {
    std::optional<PortEntries> entries = tables.portEntries(bank - 1, port - 1);
    if (!entries) return std::nullopt;
    // The port's time as the window shows it, with the other direction off.
    (powerOn ? entries->effectiveOff : entries->effectiveOn).enabled = 0;
    const std::optional<PortTime> left = PortTimeLeft(*entries, now);
    if (!left) return std::nullopt;
    if (left->due) return 0;
    return (static_cast<long long>(left->hours) * 60 + left->minutes) * 60;
}

}  // namespace

std::string metricsText(const std::string& device, bool up, const UnitView& unit, const TimerTables& tables,
                        const LocalMoment& now, const OutletNameLookup& nameOf) {
    Writer w(device);
    w.family("velmora_up", "Whether the Velmora unit answered its last poll (1) or not (0).");
    w.sample("velmora_up", "", up ? "1" : "0");
    if (!up) return w.take();

    w.family("velmora_outlet_on", "Whether the outlet is switched on (1) or off (0).");
    for (const BankView& b : unit.banks) {
        if (b.portStates.size() < 8) continue;  // not reported yet
        for (const PortView& p : b.ports) {
            const std::string name = nameOf ? nameOf(b.bank, p.port) : std::string();
            w.sample("velmora_outlet_on",
                     join({label("bank", std::to_string(b.bank)), label("outlet", std::to_string(p.port)),
                           label("name", name)}),
                     p.on ? "1" : "0");
        }
    }
    w.family("velmora_bank_current_amperes", "The current the bank draws, in amperes.");
    for (const BankView& b : unit.banks) {
        if (!b.currentKnown) continue;
        w.sample("velmora_bank_current_amperes", label("bank", std::to_string(b.bank)), jsonNumber(b.current).dump());
    }
    w.family("velmora_timer_seconds", "Seconds until the outlet's power-on or power-off timer fires (0: due).");
    for (const BankView& b : unit.banks) {
        for (int port = 1; port <= 8; ++port) {
            for (const bool on : {true, false}) {
                const std::optional<long long> left = secondsLeft(tables, b.bank, port, on, now);
                if (!left) continue;
                w.sample("velmora_timer_seconds",
                         join({label("bank", std::to_string(b.bank)), label("outlet", std::to_string(port)),
                               label("direction", on ? "on" : "off")}),
                         std::to_string(*left));
            }
        }
    }
    w.family("velmora_info", "The firmware version of each bank.");
    for (const BankView& b : unit.banks) {
        if (b.version.empty()) continue;
        w.sample("velmora_info", join({label("bank", std::to_string(b.bank)), label("firmware", latin1ToUtf8(b.version))}),
                 "1");
    }
    return w.take();
}

}  // namespace velmora
