// velmoractl: the unit from scripts, cron jobs and lab schedulers, one
// command per run, over the same link core as the window.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_exit.h"
#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/console_dialogs.h"
#include "cli/restore_setting.h"
#include "cli/session.h"
#include "platform/clock.h"
#include "platform/serial_device.h"
#include "platform/traced_serial.h"
#include "service/outlet_names.h"

#ifdef _WIN32
#include <io.h>

#include <cstdio>

#include "cli/win32_loop.h"
#include "platform/console_stop_win32.h"
#else
#include <unistd.h>

#include "cli/posix_loop.h"
#include "cli/serve.h"
#include "cli/shell.h"
#include "cli/through_owner.h"
#include "platform/posix_signals.h"
#include "sim/pty_simulator.h"
#endif

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
#ifdef _WIN32
    // What needs the POSIX services is said so, before anything is opened.
    const char* unavailable = o.command == Command::serve   ? "serve (the control socket)"
                              : o.command == Command::shell ? "shell"
                              : o.simulate                  ? "--simulate (the simulated unit runs on a pseudo-terminal)"
                                                            : nullptr;
    if (unavailable != nullptr) {
        std::cerr << "velmoractl: " << unavailable
                  << " is not available on Windows; run it on Linux, or give the unit's port, e.g. --port COM3\n";
        return kExitUsage;
    }
    const std::unique_ptr<ConsoleStop> signals = ConsoleStop::install(&error);
    if (!signals) std::cerr << "velmoractl: Ctrl+C not handled: " << error << "\n";
    const bool stderrIsTerminal = ::_isatty(::_fileno(stderr)) != 0;
#else
    const std::unique_ptr<StopSignals> signals = StopSignals::install(&error);
    if (!signals) std::cerr << "velmoractl: stop signals not handled: " << error << "\n";
    const bool stderrIsTerminal = ::isatty(STDERR_FILENO) == 1;
#endif

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
#ifndef _WIN32
    std::unique_ptr<sim::PtySimulator> simulator;
    if (o.simulate) {
        sim::UnitConfig config;
        config.banks = o.simulatedBanks;
        config.clockStart = SystemClock().now();
        simulator = std::make_unique<sim::PtySimulator>(config);
        if (!simulator->start(&error)) {
            std::cerr << "velmoractl: cannot start the simulated unit: " << error << "\n";
            return kExitNoUnit;
        }
        run.device = simulator->slavePath();
    }
#endif

    const auto start = std::chrono::steady_clock::now();
    auto monotonicMs = [start] {
        return static_cast<std::int64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    };
    SystemClock clock;
#ifdef _WIN32
    Win32LoopWaiter waiter(signals ? signals->event() : nullptr);
    ConsoleStop* stop = signals.get();
#else
    PosixLoopWaiter waiter(signals ? signals->fd() : -1);
    StopSignals* stop = signals.get();
#endif
    ConsoleDialogs dialogs(std::cerr, o.json);

#ifndef _WIN32
    const EnvLookup env = processEnvironment();
    std::vector<SerialPortInfo> ports;
    if (o.device.empty() && !o.simulate && !o.direct) ports = listSerialPorts();
    // The port's owner, when one of ours holds it, carries the command out.
    if (o.command != Command::serve && o.command != Command::shell) {
        std::vector<std::string> warnings;
        const auto socket = ownerSocketFor(run, ports, env, &warnings);
        for (const std::string& w : warnings)
            std::cerr << "velmoractl: warning: " << w << "; using the port directly\n";
        if (socket) {
            ConsoleDialogs ownerDialogs(std::cerr, o.json);
            CommandIo io{std::cout, std::cerr, o.json, stderrIsTerminal, ownerDialogs};
            const int code = runThroughOwner(run, *socket, io, signals ? signals->fd() : -1,
                                             [stop = signals.get()] { return stop ? stop->signalNumber() : 0; });
            std::cout.flush();
            if (simulator) simulator->stop();
            return code;
        }
    }
#endif

    int code = kExitDone;
    {
        Session session(Session::Deps{
            .makeDevice = tracedFactory([] { return makeSerialDevice(); }, trace),
            .listPorts = [] { return listSerialPorts(); },
            .clock = clock,
            .monotonicMs = monotonicMs,
            .waiter = waiter,
            .stopSignal = [stop] { return stop ? stop->signalNumber() : 0; },
            .sleep = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms > 0 ? ms : 0)); },
            .dialogs = dialogs,
            .linkOptions = LinkOptions{restoreStatusFrom(windowSettingsPath()), false},
            .quietMs = kAnswerQuietMs});
        CommandIo io{std::cout, std::cerr, o.json, stderrIsTerminal, dialogs};
#ifdef _WIN32
        code = runCommand(run, session, io);
#else
        if (o.command == Command::serve) {
            code = runServe(run, session, io, env);
        } else if (o.command == Command::shell) {
            // A pty or a pipe: one line at a time, each flushed.
            code = runShell(run, session, STDIN_FILENO, std::cout, signals ? signals->fd() : -1, env, ports,
                            [&waiter](int fd) { waiter.watchInput(fd); });
        } else {
            code = runCommand(run, session, io);
        }
#endif
        std::cout.flush();
        // Dispatcher, then reader and port, before anything else goes.
        session.shutdown();
    }
#ifdef _WIN32
    // A console close waits for this in its handler.
    if (signals) signals->finished();
#else
    if (simulator) simulator->stop();
#endif
    return code;
}
