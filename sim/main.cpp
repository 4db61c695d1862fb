// velmora-sim: the simulated unit as a program of its own.
#include "platform/clock.h"
#include "sim/pty_simulator.h"
#include "sim/sim_options.h"

#include <csignal>
#include <cstdint>
#include <fstream>
#include <cstdio>
#include <iostream>
#include <pthread.h>

int main(int argc, char** argv) {
    using namespace velmora::sim;
    std::vector<std::string> args(argv + 1, argv + argc);
    SimOptionsResult parsed = parseSimOptions(args);
    if (!parsed.ok) {
        std::cerr << "velmora-sim: " << parsed.error << "\n\n" << simUsage();
        return 2;
    }
    if (parsed.options.help) {
        std::cout << simUsage();
        return 0;
    }

    // Block the stop signals before the serving thread exists, so that only
    // sigwait below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    parsed.options.unit.clockStart = velmora::SystemClock().now();
    PtySimulator sim(parsed.options.unit, parsed.options.pty);
    std::string error;
    if (!sim.start(&error)) {
        std::cerr << "velmora-sim: cannot set up the pseudo-terminal: " << error << "\n";
        return 1;
    }
    std::cout << sim.slavePath() << std::endl;

    // With --log, each command the unit takes goes to the file as it comes
    // (looked at ten times a second), so that a test sees it live.
    std::ofstream log;
    if (!parsed.options.logFile.empty()) {
        log.open(parsed.options.logFile, std::ios::trunc);
        if (!log) {
            std::cerr << "velmora-sim: cannot write " << parsed.options.logFile << "\n";
            sim.stop();
            return 1;
        }
    }
    std::size_t logged = 0;
    const auto logNewCommands = [&] {
        if (!log.is_open()) return;
        const std::vector<std::string> commands = sim.commands();
        for (; logged < commands.size(); ++logged) log << commands[logged] << '\n';
        log.flush();
    };
    for (;;) {
        const timespec tenth{0, 100'000'000};
        if (sigtimedwait(&stopSignals, nullptr, &tenth) > 0) break;
        logNewCommands();
    }
    sim.stop();
    logNewCommands();
    if (!parsed.options.recordFile.empty()) {
        // What the unit received, for tests that check the bytes on the line.
        const std::vector<std::uint8_t> received = sim.received();
        std::ofstream out(parsed.options.recordFile, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(received.data()), static_cast<std::streamsize>(received.size()));
        if (!out) {
            std::cerr << "velmora-sim: cannot write " << parsed.options.recordFile << "\n";
            return 1;
        }
    }
    return 0;
}
