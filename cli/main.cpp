// velmoractl: the unit from scripts, cron jobs and lab schedulers, one
// command per run, over the same link core as the window. What differs
// between systems is the program host's (program_host_*.cpp).
#include <chrono>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_exit.h"
#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/console_dialogs.h"
#include "cli/program_host.h"
#include "cli/restore_setting.h"
#include "cli/session.h"
#include "platform/clock.h"
#include "platform/serial_device.h"
#include "platform/traced_serial.h"
#include "service/outlet_names.h"

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "unknown"
#endif

int main(int argc, char** argv) {
    using namespace velmora;
    using namespace velmora::cli;

    const Parse parsed = parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.ok()) {
        // Bare "velmoractl" is somebody finding out what it does: the whole
        // usage. Any other mistake: what was wrong, and where to look.
        if (argc <= 1) {
            std::cerr << usageText();
        } else {
            std::cerr << "velmoractl: " << parsed.error << "\nTry 'velmoractl --help' for more information.\n";
        }
        return kExitUsage;
    }
    const Options& o = parsed.options;
    if (o.help) {
        std::cout << usageText();
        return kExitDone;
    }
    if (o.version) {
        std::cout << "velmoractl " << VELMORA_VERSION << "\n";
        return kExitDone;
    }

    std::string error;
    const std::unique_ptr<ProgramHost> host = ProgramHost::start(o, &error);
    if (!host) {
        std::cerr << "velmoractl: " << error << "\n";
        return kExitUsage;
    }

    std::shared_ptr<TraceWriter> trace;
    if (!o.traceFile.empty()) {
        trace = TraceWriter::open(o.traceFile, &error);
        if (!trace) {
            std::cerr << "velmoractl: cannot write the trace " << o.traceFile << ": " << error << "\n";
            return kExitUsage;
        }
    }

    Options run = o;
    // The user's outlet names, shared with the window. What could not be
    // read in the names file is said once on stderr (again only when it
    // changes: the shell reads the file for every line).
    run.namesOf = [warned = std::make_shared<std::string>()](const std::string& device, int banks) {
        const NamesFile file = NamesFile::read(namesFilePath(processEnvironment()));
        if (!file.warning().empty() && file.warning() != *warned) {
            *warned = file.warning();
            std::cerr << "velmoractl: warning: " << *warned << "\n";
        }
        return file.unit(UnitKey{stablePortPath(device), banks});
    };
    if (const std::optional<int> ended = host->beforeOpening(run)) return *ended;

    const auto start = std::chrono::steady_clock::now();
    auto monotonicMs = [start] {
        return static_cast<std::int64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    };
    SystemClock clock;
    ConsoleDialogs dialogs(std::cerr, o.json);
    int code = kExitDone;
    {
        Session session(Session::Deps{
            .makeDevice = tracedFactory([] { return makeSerialDevice(); }, trace),
            .listPorts = [] { return listSerialPorts(); },
            .clock = clock,
            .monotonicMs = monotonicMs,
            .waiter = host->waiter(),
            .stopSignal = [&host] { return host->stopSignal(); },
            .sleep = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms > 0 ? ms : 0)); },
            .dialogs = dialogs,
            .linkOptions = LinkOptions{restoreStatusFrom(windowSettingsPath()), false},
            .quietMs = kAnswerQuietMs});
        CommandIo io{std::cout, std::cerr, o.json, host->stderrIsTerminal(), dialogs};
        code = host->run(run, session, io);
        std::cout.flush();
        // Dispatcher, then reader and port, before anything else goes.
        session.shutdown();
    }
    host->finish();
    return code;
}
