#include "cli/shell.h"

#include <algorithm>
#include <charconv>
#include <iostream>
#include <memory>

#include "cli/cli_exit.h"
#include "cli/headless_owner.h"
#include "cli/serve_listener.h"
#include "cli/through_owner.h"
#include "link/serial_link.h"

namespace velmora::cli {

Plug plugNumbered(int number) { return Plug{number, (number - 1) / 8 + 1, (number - 1) % 8 + 1}; }

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool number(std::string_view text, int& value) {
    text = trim(text);
    if (text.empty() || text.size() > 4) return false;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

}  // namespace

std::optional<std::vector<Plug>> parsePlugs(std::string_view list, int plugCount, std::string* error,
                                            const std::function<std::optional<int>(std::string_view)>& plugNamed) {
    auto fail = [&](const std::string& why) -> std::optional<std::vector<Plug>> {
        if (error) *error = why;
        return std::nullopt;
    };
    list = trim(list);
    if (list.empty()) return fail("no plugs given");
    std::vector<bool> chosen(static_cast<std::size_t>(std::max(plugCount, 0)) + 1, false);
    if (list == "*") {
        std::fill(chosen.begin() + 1, chosen.end(), true);
    } else {
        if (list.front() == '[') {
            if (list.back() != ']') return fail("\"" + std::string(list) + "\" lacks its closing bracket");
            list = list.substr(1, list.size() - 2);
        }
        while (!list.empty()) {
            const std::size_t comma = list.find(',');
            const std::string_view item = list.substr(0, comma);
            list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
            const std::size_t dash = item.find('-');
            int first = 0;
            int last = 0;
            if (plugNamed && !number(item.substr(0, dash), first)) {
                // A name stands for a plug of this unit or for none: whatever
                // the lookup answers is checked before it is used.
                const std::optional<int> named = plugNamed(trim(item));
                if (!named || *named < 1 || *named > plugCount)
                    return fail("no outlet is named \"" + std::string(trim(item)) + "\"");
                chosen[static_cast<std::size_t>(*named)] = true;
                continue;
            }
            if (!number(item.substr(0, dash), first) ||
                (dash != std::string_view::npos && !number(item.substr(dash + 1), last)))
                return fail("\"" + std::string(trim(item)) + "\" is not a plug number or range");
            if (dash == std::string_view::npos) last = first;
            if (first > last) return fail("the range " + std::string(trim(item)) + " runs backwards");
            if (first < 1 || last > plugCount) {
                return fail("plug " + std::to_string(first < 1 ? first : last) + " does not exist: the unit has " +
                            std::to_string(plugCount) + " plugs");
            }
            for (int p = first; p <= last; ++p) chosen[static_cast<std::size_t>(p)] = true;
        }
    }
    std::vector<Plug> plugs;
    for (int p = 1; p <= plugCount; ++p)
        if (chosen[static_cast<std::size_t>(p)]) plugs.push_back(plugNumbered(p));
    if (plugs.empty()) return fail("no plugs given");
    return plugs;
}

ShellCommand parseShellLine(std::string_view line) {
    ShellCommand c;
    line = trim(line);
    if (line.empty()) return c;
    if (line.size() > kMaxShellLine) {
        c.kind = ShellCommand::Kind::invalid;
        c.error = "line too long";
        return c;
    }
    const std::size_t space = line.find_first_of(" \t");
    const std::string_view verb = line.substr(0, space);
    const std::string_view rest = space == std::string_view::npos ? std::string_view() : trim(line.substr(space));
    struct Verb {
        std::string_view name;
        ShellCommand::Kind kind;
        bool plugs;  // takes a plug list (required unless "current")
    };
    static constexpr Verb kVerbs[] = {
        {"status", ShellCommand::Kind::status, false}, {"on", ShellCommand::Kind::on, true},
        {"off", ShellCommand::Kind::off, true},        {"cycle", ShellCommand::Kind::cycle, true},
        {"current", ShellCommand::Kind::current, true}, {"quit", ShellCommand::Kind::quit, false},
        {"exit", ShellCommand::Kind::quit, false},     {"help", ShellCommand::Kind::help, false},
    };
    for (const Verb& v : kVerbs) {
        if (verb != v.name) continue;
        c.kind = v.kind;
        if (!v.plugs && !rest.empty()) {
            c.kind = ShellCommand::Kind::invalid;
            c.error = std::string(verb) + " takes nothing after it";
        } else if (v.plugs && rest.empty() && v.kind != ShellCommand::Kind::current) {
            c.kind = ShellCommand::Kind::invalid;
            c.error = std::string(verb) + " needs plugs: one (3), a range ([1-8]) or * for all";
        } else {
            c.plugs = std::string(rest);
        }
        return c;
    }
    c.kind = ShellCommand::Kind::invalid;
    c.error = "unknown command \"" + std::string(verb) + "\" (status, on, off, cycle, current, quit)";
    return c;
}

std::function<std::optional<int>(std::string_view)> plugsNamedIn(OutletNames names, int bankCount) {
    auto shared = std::make_shared<const OutletNames>(std::move(names));
    return [shared, bankCount](std::string_view name) -> std::optional<int> {
        // Names of outlets the unit does not have (bank 9 of a 3-bank unit)
        // are no plugs of it: resolveName leaves them out.
        const NameTarget t = resolveName(*shared, name, bankCount);
        if (!t.error.empty() || t.bank < 1 || t.bank > bankCount || t.port < 1 || t.port > 8) return std::nullopt;
        return (t.bank - 1) * 8 + t.port;
    };
}

std::vector<PlugGroup> groupPlugs(const std::vector<Plug>& plugs, int bankCount) {
    std::vector<PlugGroup> groups;
    const int banks = shownBanks(bankCount);
    if (banks > 0 && static_cast<int>(plugs.size()) == banks * 8 && bankCount == banks) {
        groups.push_back({0, 0, plugs});
        return groups;
    }
    for (int b = 1; b <= banks; ++b) {
        std::vector<Plug> ofBank;
        for (const Plug& p : plugs)
            if (p.bank == b) ofBank.push_back(p);
        if (ofBank.size() == 8) {
            groups.push_back({b, 0, ofBank});
        } else {
            for (const Plug& p : ofBank) groups.push_back({b, p.port, {p}});
        }
    }
    return groups;
}

namespace {

// Where the shell's requests go: the port's owner, or the port itself.
class Channel {
public:
    virtual ~Channel() = default;
    // The request's final answer; progress lines to onStep.
    virtual Json call(const Request& r, const std::function<void(const Json&)>& onStep) = 0;
    // Waits until input is ready (true) or a stop came (false), keeping the
    // link alive meanwhile.
    virtual bool waitForInput(ShellInput& input) = 0;
    // The owner went away: this channel is of no more use.
    virtual bool broken() { return false; }
};

class OwnerChannel final : public Channel {
public:
    OwnerChannel(StopHandle stop, int timeoutMs) : stop_(stop), timeoutMs_(timeoutMs) {}
    bool connect(const std::filesystem::path& owner) { return client_.connect(owner); }
    Json call(const Request& r, const std::function<void(const Json&)>& onStep) override {
        return callOwner(client_, r, r.timeoutMs + r.delayMs + timeoutMs_ + 5000, stop_, onStep);
    }
    bool waitForInput(ShellInput& input) override { return waitForInputOrStop(input, stop_, client_, gone_); }
    bool broken() override { return gone_ || ownerHungUp(client_); }

private:
    OwnerClient client_;
    StopHandle stop_;
    int timeoutMs_;
    bool gone_ = false;
};

class PortChannel final : public Channel {
public:
    // `watchInput` makes the session's loop wake for the input too; only
    // while a line is awaited, or input typed ahead would keep the loop
    // from sleeping while a request runs.
    PortChannel(Session& s, const Options& o, const EnvLookup& env, std::function<void(InputHandle)> watchInput)
        : owner_(s, o.device, "shell"),
          watchInput_(std::move(watchInput)),
          // What the shell serves the others is what serve would.
          listener_(ServeListener::forOwner(owner_, s.dispatcher(), o, env, nullptr)) {}
    ~PortChannel() override {
        if (listener_) listener_->stop();
    }
    Session::Connection connect(int timeoutMs) {
        const Session::Connection c = owner_.connect(timeoutMs);
        if (c.exitCode != kExitDone) return c;
        // Holding the port, the shell serves it to the others as well; where
        // it cannot, it still works on the port itself.
        std::string why;
        if (listener_ && listener_->start(owner_.device(), &why) != kExitDone) listener_->stop();
        return c;
    }
    Json call(const Request& r, const std::function<void(const Json&)>& onStep) override {
        std::optional<Json> answer;
        owner_.service().submit(r, [&](const std::string& line) {
            Json a = Json::parse(line, nullptr, false);
            if (a.value("more", false)) {
                if (onStep) onStep(a);
            } else {
                answer = std::move(a);
            }
            return true;
        });
        owner_.run([&] { return answer.has_value(); });
        if (!answer) return Json{{"ok", false}, {"error", "stopped"}, {"exitCode", -1}};
        return *answer;
    }
    bool waitForInput(ShellInput& input) override {
        if (watchInput_) watchInput_(input.handle());
        const bool ready = owner_.run([&] { return input.ready(); }) != Wait::stopped;
        if (watchInput_) watchInput_(kNoInput);
        return ready;
    }

private:
    HeadlessOwner owner_;
    const std::function<void(InputHandle)> watchInput_;
    std::unique_ptr<ServeListener> listener_;
};

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ';';
    return text;
}

std::string errorOf(const Json& a) {
    const auto it = a.find("error");
    return oneLine(it != a.end() && it->is_string() ? it->get<std::string>() : "no answer");
}

bool okAnswer(const Json& a) { return a.value("ok", false); }

std::string amperes(float current) {
    std::string text = jsonNumber(current).dump();
    if (text.find('.') == std::string::npos) text += ".0";
    return text + " A";
}

}  // namespace

int runShell(const Options& o, Session& session, ShellInput& input, std::ostream& out, StopHandle stop,
             const EnvLookup& env, const std::vector<SerialPortInfo>& ports,
             const std::function<void(InputHandle)>& watchInput) {
    std::unique_ptr<Channel> channel;
    auto open = [&]() -> std::string {
        std::vector<std::string> warnings;
        const auto socket = ownerSocketFor(o, ports, env, &warnings);
        for (const std::string& w : warnings)
            std::cerr << "velmoractl: warning: " << w << "; using the port directly\n";
        if (socket) {
            auto c = std::make_unique<OwnerChannel>(stop, o.timeoutMs);
            if (c->connect(*socket)) {
                channel = std::move(c);
                return {};
            }
        }
        auto c = std::make_unique<PortChannel>(session, o, env, watchInput);
        const Session::Connection connection = c->connect(o.timeoutMs);
        if (connection.exitCode != kExitDone) return oneLine(connection.message);
        channel = std::move(c);
        return {};
    };
    if (std::string why = open(); !why.empty()) {
        out << "error: " << why << "\n" << std::flush;
        return session.stopSignal() != 0 ? exitCodeForSignal(session.stopSignal()) : kExitNoUnit;
    }

    auto request = [&](RequestKind kind) {
        Request r;
        r.id = 1;
        r.kind = kind;
        r.timeoutMs = o.timeoutMs;
        return r;
    };
    auto status = [&]() -> std::optional<UnitView> {
        const Json a = channel->call(request(RequestKind::status), {});
        if (!okAnswer(a)) {
            out << "error " << errorOf(a) << "\n";
            return std::nullopt;
        }
        return unitFromJson(a.value("unit", Json()));
    };

    // Outlets by the names their user gave them ("on router"): the names of
    // the unit keyed by its bank count, looked up among the banks shown.
    const auto plugNamedIn = [&](const UnitView& unit) -> std::function<std::optional<int>(std::string_view)> {
        if (!o.namesOf || o.device.empty()) return {};
        return plugsNamedIn(o.namesOf(o.device, unit.bankCount), static_cast<int>(unit.banks.size()));
    };

    std::string pending;
    bool discarding = false;  // the rest of an over-long line
    out << kShellPrompt << std::flush;
    for (;;) {
        std::size_t newline = pending.find('\n');
        while (newline == std::string::npos) {
            if (!channel->waitForInput(input)) return exitCodeForSignal(session.stopSignal() ? session.stopSignal() : 15);
            char buffer[4096];
            const std::size_t n = input.read(buffer, sizeof buffer);
            // The end of the input; a console's read also ends on Ctrl+C.
            if (n == 0) return session.stopSignal() != 0 ? exitCodeForSignal(session.stopSignal()) : kExitDone;
            pending.append(buffer, n);
            newline = pending.find('\n');
            if (newline == std::string::npos && pending.size() > kMaxShellLine) {
                pending.clear();
                discarding = true;
            }
        }
        const std::string line = pending.substr(0, newline);
        pending.erase(0, newline + 1);
        if (discarding) {
            discarding = false;
            out << "error: line too long\n" << kShellPrompt << std::flush;
            continue;
        }
        if (channel->broken()) {
            channel.reset();
            if (std::string why = open(); !why.empty()) {
                out << "error " << why << "\n" << kShellPrompt << std::flush;
                continue;
            }
        }

        const ShellCommand c = parseShellLine(line);
        switch (c.kind) {
            case ShellCommand::Kind::empty: break;
            case ShellCommand::Kind::quit: return kExitDone;
            case ShellCommand::Kind::help:
                out << "status | on PLUGS | off PLUGS | cycle PLUGS | current [PLUGS] | quit\n"
                       "PLUGS: 3, [1-8], [2-4,9] or *; plug p is bank (p-1)/8+1, port (p-1)%8+1\n";
                break;
            case ShellCommand::Kind::invalid: out << "error " << c.error << "\n"; break;
            case ShellCommand::Kind::status:
                if (const auto unit = status()) {
                    for (const BankView& b : unit->banks)
                        for (const PortView& p : b.ports)
                            out << (b.bank - 1) * 8 + p.port << ": " << (p.on ? "on" : "off") << "\n";
                }
                break;
            case ShellCommand::Kind::current: {
                const auto unit = status();
                if (!unit) break;
                if (c.plugs.empty()) {
                    for (const BankView& b : unit->banks) out << "bank " << b.bank << ": " << amperes(b.current) << "\n";
                    break;
                }
                std::string why;
                const auto plugs = parsePlugs(c.plugs, static_cast<int>(unit->banks.size()) * 8, &why);
                if (!plugs) {
                    out << "error " << why << "\n";
                    break;
                }
                for (const Plug& p : *plugs) {
                    // The bank as the view numbers it, never an index unchecked.
                    const auto bank = std::find_if(unit->banks.begin(), unit->banks.end(),
                                                   [&](const BankView& b) { return b.bank == p.bank; });
                    if (bank == unit->banks.end()) {
                        out << p.number << ": error the unit did not report bank " << p.bank << "\n";
                    } else {
                        out << p.number << ": " << amperes(bank->current) << "\n";
                    }
                }
                break;
            }
            case ShellCommand::Kind::on:
            case ShellCommand::Kind::off:
            case ShellCommand::Kind::cycle: {
                const auto unit = status();
                if (!unit) break;
                std::string why;
                const auto plugs = parsePlugs(c.plugs, static_cast<int>(unit->banks.size()) * 8, &why,
                                              plugNamedIn(*unit));
                if (!plugs) {
                    out << "error " << why << "\n";
                    break;
                }
                for (const PlugGroup& g : groupPlugs(*plugs, unit->bankCount)) {
                    Request r = request(c.kind == ShellCommand::Kind::cycle ? RequestKind::cycle
                                                                            : RequestKind::switchPorts);
                    r.on = c.kind == ShellCommand::Kind::on;
                    r.bank = g.bank;
                    r.port = g.port;
                    r.delayMs = o.delayMs;
                    const Json a = channel->call(r, {});
                    for (const Plug& p : g.plugs) {
                        out << p.number << ": " << (okAnswer(a) ? "ok" : "error " + errorOf(a)) << "\n";
                    }
                    out.flush();
                    if (session.stopSignal() != 0) return exitCodeForSignal(session.stopSignal());
                }
                break;
            }
        }
        out << kShellPrompt << std::flush;
    }
}

}  // namespace velmora::cli
