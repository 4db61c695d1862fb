#include "cli/through_owner.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <thread>

#include "cli/cli_exit.h"
#include "cli/console_dialogs.h"
#include "cli/cli_output.h"
#include "cli/upgrade_progress.h"
#include "link/serial_link.h"
#include "maintenance/firmware_upgrade.h"
#include "platform/clock.h"
#include "platform/file_io.h"
#include "schedule/schedule_file.h"

namespace velmora::cli {

namespace {

// The owner has the unit's own time-out for every step; this is the margin
// for the answer to travel and for a loaded machine.
constexpr int kAnswerMarginMs = 5000;
// Pause between two requests for the versions after an upgrade.
constexpr int kVersionRetryMs = 250;

std::string text(const Json& answer, const char* key) {
    const auto it = answer.find(key);
    return it != answer.end() && it->is_string() ? utf8ToLatin1(it->get<std::string>()) : std::string();
}

int exitCodeOf(const Json& answer) {
    const auto it = answer.find("exitCode");
    if (it == answer.end() || !it->is_number_integer()) return kExitNoUnit;
    const long long code = it->get<long long>();
    return code >= 0 && code <= 255 ? static_cast<int>(code) : kExitNoUnit;
}

bool ok(const Json& answer) {
    const auto it = answer.find("ok");
    return it != answer.end() && it->is_boolean() && it->get<bool>();
}

UnitView unitOf(const Json& answer) {
    const auto it = answer.find("unit");
    return it != answer.end() ? unitFromJson(*it) : UnitView{};
}

Request request(RequestKind kind, const Options& o) {
    Request r;
    r.id = 1;
    r.kind = kind;
    r.timeoutMs = o.timeoutMs;
    return r;
}

}  // namespace

std::optional<std::filesystem::path> ownerSocketFor(const Options& o, const std::vector<SerialPortInfo>& ports,
                                                    const EnvLookup& env, std::vector<std::string>* warnings) {
    if (o.simulate || o.direct || o.command == Command::serve) return std::nullopt;
    std::vector<std::string> said;
    const auto found = [&]() -> std::optional<std::filesystem::path> {
        if (!o.device.empty()) return findOwner(o.device, env, &said);
        // An owner serves whatever device it holds (a pty, a bridge): its
        // live socket counts before the probe's list.
        if (const auto live = liveOwners(env, &said); !live.empty()) return live.front();
        for (const SerialPortInfo& port : ports) {
            if (auto socket = findOwner(port.device, env, &said)) return socket;
        }
        return std::nullopt;
    }();
    if (warnings) {
        for (std::string& w : said)
            if (std::find(warnings->begin(), warnings->end(), w) == warnings->end()) warnings->push_back(std::move(w));
    }
    return found;
}

std::optional<int> runIfServed(const Options& o, const std::vector<SerialPortInfo>& ports, const EnvLookup& env,
                               bool stderrIsTerminal, StopHandle stop, const std::function<int()>& stopSignal) {
    if (o.command == Command::serve || o.command == Command::shell) return std::nullopt;
    std::vector<std::string> warnings;
    const auto owner = ownerSocketFor(o, ports, env, &warnings);
    for (const std::string& w : warnings) std::cerr << "velmoractl: warning: " << w << "; using the port directly\n";
    if (!owner) return std::nullopt;
    ConsoleDialogs ownerDialogs(std::cerr, o.json);
    CommandIo io{std::cout, std::cerr, o.json, stderrIsTerminal, ownerDialogs};
    const int code = runThroughOwner(o, *owner, io, stop, stopSignal);
    std::cout.flush();
    return code;
}

Json callOwner(OwnerClient& client, const Request& request, int answerWithinMs, StopHandle stop,
               const std::function<void(const Json&)>& onStep) {
    auto failure = [](const std::string& why, int code) {
        return Json{{"ok", false}, {"error", why}, {"exitCode", code}};
    };
    if (!client.send(request)) {
        // Turned away (not allowed, too many clients): the owner says why first.
        if (const std::optional<std::string> line = client.receive(1000, stop)) {
            Json answer = Json::parse(*line, nullptr, false);
            if (answer.is_object() && answer.contains("error")) return answer;
        }
        return failure(std::string(kNotFoundMessage) + "\n(the port's owner went away)", kExitNoUnit);
    }
    for (;;) {
        const std::optional<std::string> line = client.receive(answerWithinMs, stop);
        if (!line) {
            if (client.gone()) return failure(std::string(kNotFoundMessage) + "\n(the port's owner went away)", kExitNoUnit);
            return failure("", -1);  // stopped or no answer in time: the caller knows which
        }
        Json answer = Json::parse(*line, nullptr, false);
        if (answer.is_discarded() || !answer.is_object()) continue;
        const Json id = answer.value("id", Json());
        // An error without an id is about the connection itself (not
        // allowed, too many clients, closed as idle): the owner's word.
        if (id.is_null() && !ok(answer) && answer.contains("error")) return answer;
        if (id != request.id) continue;
        if (answer.value("more", false)) {
            if (onStep) onStep(answer);
            continue;
        }
        return answer;
    }
}

int runThroughOwner(const Options& o, const std::filesystem::path& socket, CommandIo& io, StopHandle stop,
                    const std::function<int()>& stopSignal) {
    if (int r = checkBeforeConnecting(o, SystemClock().now(), io); r != kExitDone) return r;
    OwnerClient client;
    std::string why;
    if (!client.connect(socket, &why)) return reportFailure(io, kExitNoUnit, why);

    const auto stopped = [&] { return stopSignal ? stopSignal() : 0; };
    // Anything but an answer: a stop signal, the owner gone, or silence.
    const auto failed = [&](const Json& answer, int silentCode, const std::string& silentText) {
        if (stopped() != 0) return exitCodeForSignal(stopped());
        if (answer.value("exitCode", 0) < 0) return reportFailure(io, silentCode, silentText);
        return reportFailure(io, exitCodeOf(answer), text(answer, "error"));
    };
    const int within = o.timeoutMs + kAnswerMarginMs;
    const std::string silence = std::string(kNotFoundMessage) + "\n(the port's owner did not answer within " +
                                secondsText(within) + ")";

    Request hello = request(RequestKind::hello, o);
    const Json owner = callOwner(client, hello, within, stop);
    if (!ok(owner)) return failed(owner, kExitNoUnit, silence);

    const std::string device = o.device.empty() ? owner.value("device", std::string()) : o.device;
    // The user's names for the owner's unit, once its bank count is known.
    const auto namesFor = [&](int banks) { return o.namesOf ? o.namesOf(device, banks) : OutletNames{}; };

    switch (o.command) {
        case Command::status: {
            const Json a = callOwner(client, request(RequestKind::status, o), within, stop);
            if (!ok(a)) return failed(a, kExitNoUnit, silence);
            UnitView unit = unitOf(a);
            const OutletNames names = namesFor(unit.bankCount);
            nameUnitView(unit, [&](int bank, int port) { return names.name(bank, port); });
            printStatus(io, unit);
            return kExitDone;
        }
        case Command::on:
        case Command::off:
        case Command::cycle: {
            Request r = request(o.command == Command::cycle ? RequestKind::cycle : RequestKind::switchPorts, o);
            r.on = o.command == Command::on;
            r.bank = o.bank;
            r.port = o.port;
            if (!o.outletNameGiven.empty()) {
                const Json a = callOwner(client, request(RequestKind::status, o), within, stop);
                if (!ok(a)) return failed(a, kExitNoUnit, silence);
                const int banks = unitOf(a).bankCount;
                const NameTarget target = resolveName(namesFor(banks), o.outletNameGiven, banks);
                if (!target.error.empty()) return reportFailure(io, kExitUsage, target.error);
                r.bank = target.bank;
                r.port = target.port;
            }
            r.delayMs = o.delayMs;
            // Behind other clients' requests the owner may take a while to
            // start this one; past this the client gives up and goes, which
            // withdraws the request unless the unit already has it.
            const int switchWithin = within * 2 + (o.command == Command::cycle ? o.delayMs : 0);
            bool sent = false;
            const Json a = callOwner(client, r, switchWithin, stop, [&](const Json& step) {
                const std::string kind = step.value("step", std::string());
                if (kind == "sent") sent = true;
                if (kind == "off") printCycleOff(io, r.bank, r.port);
            });
            const bool on = o.command != Command::off;
            if (!ok(a) && a.value("exitCode", 0) < 0 && stopped() == 0 && !client.gone()) {
                if (sent)
                    return reportFailure(io, kExitNotConfirmed,
                                         "sent; the unit's confirmation did not come within " +
                                             secondsText(switchWithin));
                return reportFailure(io, kExitPort,
                                     "the port's owner did not get to this request within " +
                                         secondsText(switchWithin) +
                                         " (busy with other clients' requests): withdrawn, nothing was sent");
            }
            if (!ok(a)) {
                if (exitCodeOf(a) == kExitNotConfirmed) printSwitchUnconfirmed(io, o.command, r.bank, r.port, unitOf(a));
                return failed(a, kExitNoUnit, silence);
            }
            printSwitched(io, o.command, r.bank, r.port, on, unitOf(a));
            return kExitDone;
        }
        case Command::watch: {
            if (!client.send(request(RequestKind::watch, o))) return reportFailure(io, kExitNoUnit, silence);
            UnitView shown;
            for (;;) {
                const std::optional<std::string> line = client.receive(-1, stop);
                if (!line) {
                    if (stopped() != 0 || !client.gone()) return kExitDone;
                    return reportFailure(io, kExitNoUnit, std::string(kNotFoundMessage) + "\n(the port's owner went away)");
                }
                const Json a = Json::parse(*line, nullptr, false);
                if (a.is_discarded() || !a.is_object()) continue;
                if (!ok(a)) return reportFailure(io, exitCodeOf(a), text(a, "error"));
                if (!printWatchChanges(io, shown, unitOf(a))) return kExitDone;
            }
        }
        case Command::metrics: {
            const Json a = callOwner(client, request(RequestKind::metrics, o), within, stop);
            if (!ok(a)) return failed(a, kExitNoUnit, silence);
            io.out << a.value("text", std::string());  // UTF-8 already (names)
            if (!a.value("up", false))
                return reportFailure(io, kExitNoUnit, noStatusAnswerText(o.timeoutMs));
            return kExitDone;
        }
        case Command::clock: {
            const Json a = callOwner(client, request(RequestKind::clock, o), within, stop);
            if (!ok(a)) return failed(a, kExitNotConfirmed, silence);
            printClockSet(io, text(a, "sent"));
            return kExitDone;
        }
        case Command::version: {
            const Json a = callOwner(client, request(RequestKind::version, o), within, stop);
            if (!ok(a)) return failed(a, kExitNotConfirmed, silence);
            printVersions(io, unitOf(a));
            return kExitDone;
        }
        case Command::scheduleSend: {
            const FileLoad file = loadFileBytes(o.file, kMaxScheduleFileBytes);
            if (file.status != FileIoStatus::ok)
                return reportFailure(io, kExitUsage, scheduleUnreadableText(o.file, file.status, file.error));
            Request r = request(RequestKind::scheduleSend, o);
            r.text = latin1ToUtf8(std::string_view(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size()));
            // Every command waits for its own confirmation.
            const Json a = callOwner(client, r, within + 256 * o.timeoutMs, stop);
            if (const auto w = a.find("warnings"); w != a.end() && w->is_array()) {
                std::vector<std::string> warnings;
                for (const Json& warning : *w)
                    if (warning.is_string()) warnings.push_back(utf8ToLatin1(warning.get<std::string>()));
                printScheduleWarnings(io, o.file, warnings);
            }
            if (!ok(a)) return failed(a, kExitNotConfirmed, silence);
            printScheduleSent(io, o.file, a.value("commands", std::size_t{0}));
            return kExitDone;
        }
        case Command::scheduleSave: {
            const Json a = callOwner(client, request(RequestKind::scheduleSave, o), within, stop);
            if (!ok(a)) return failed(a, kExitNoUnit, silence);
            const int banks = a.value("banks", 0);
            const FileSave saved = saveFileAtomically(o.file, text(a, "text"));
            if (saved.status != FileIoStatus::ok)
                return reportFailure(io, kExitUsage, "cannot save the schedule " + o.file + ": " + saved.error);
            printScheduleSaved(io, o.file, banks);
            return kExitDone;
        }
        case Command::upgrade: {
            if (owner.value("owner", std::string()) != "serve") {
                return reportFailure(io, kExitPort,
                                     "the port " + owner.value("device", std::string()) +
                                         " is held by the Velmora Manager window: its upgrade goes through the "
                                         "window (Tools -> Upgrade), or close the connection there and run "
                                         "velmoractl upgrade again");
            }
            const FileLoad file = loadFileBytes(o.file, static_cast<std::uintmax_t>(kLargestFirmwareFile));
            if (file.status != FileIoStatus::ok) return reportFailure(io, kExitUsage, firmwareUnreadableText(o.file, file.error));
            Request r = request(RequestKind::upgrade, o);
            r.text = latin1ToUtf8(std::string_view(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size()));
            std::pair<std::int64_t, std::int64_t> counts{0, 0};
            const auto started = std::chrono::steady_clock::now();
            ConsoleUpgradeView view(
                io.err, io.terminal,
                [started] {
                    return static_cast<std::int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                         std::chrono::steady_clock::now() - started)
                                                         .count());
                },
                [&counts] { return counts; });
            // The owner's own time-outs end a stalled upgrade; this only
            // guards against an owner that went silent.
            const Json a = callOwner(client, r, kUpgradeTimeOutMs * 3 + within, stop, [&](const Json& step) {
                const std::string kind = step.value("step", std::string());
                if (kind == "transfer") view.showDialog();
                if (kind == "progress") {
                    counts = {step.value("sent", std::int64_t{0}), step.value("total", std::int64_t{0})};
                    view.setProgress(step.value("percent", 0));
                }
                if (kind == "message") view.appendMessage(text(step, "message"));
            });
            view.closeDialog();
            if (!ok(a)) return failed(a, kExitNotConfirmed, silence);
            const long bytes = a.value("bytes", 0L);
            // The new firmware's versions: the owner greets the unit again
            // after the upgrade, and a unit coming back may miss a request,
            // so ask until every bank has told it or the time is up.
            UnitView unit = unitOf(a);
            bool versionsKnown = false;
            const auto asked = std::chrono::steady_clock::now();
            for (;;) {
                const Json v = callOwner(client, request(RequestKind::version, o), within, stop);
                if (stopped() != 0) return exitCodeForSignal(stopped());
                if (ok(v)) {
                    unit = unitOf(v);
                    versionsKnown = true;
                    break;
                }
                if (client.gone() || std::chrono::steady_clock::now() - asked >= std::chrono::milliseconds(o.timeoutMs))
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(kVersionRetryMs));
            }
            if (!versionsKnown) io.err << newVersionsUnknownText(o.timeoutMs);
            printUpgraded(io, o.file, bytes, unit);
            return kExitDone;
        }
        default: break;
    }
    return reportFailure(io, kExitUsage, "this command does not go through the port's owner");
}

}  // namespace velmora::cli
