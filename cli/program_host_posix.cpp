// velmoractl on POSIX systems: signals through a pipe, the control socket
// (serve, the shell, the owner's clients) and the simulated unit on a
// pseudo-terminal.

#include "cli/program_host.h"

#include <unistd.h>

#include <iostream>
#include <vector>

#include "cli/posix_loop.h"
#include "cli/serve.h"
#include "cli/shell.h"
#include "cli/through_owner.h"
#include "platform/clock.h"
#include "platform/port_list.h"
#include "platform/posix_signals.h"
#include "sim/pty_simulator.h"

namespace velmora::cli {

namespace {

class PosixProgramHost final : public ProgramHost {
public:
    explicit PosixProgramHost(const Options& o)
        : options_(o),
          signals_(installSignals()),
          waiter_(signals_ ? signals_->fd() : -1),
          stderrIsTerminal_(::isatty(STDERR_FILENO) == 1),
          env_(processEnvironment()) {}

    bool stderrIsTerminal() const override { return stderrIsTerminal_; }
    LoopWaiter& waiter() override { return waiter_; }
    int stopSignal() const override { return signals_ ? signals_->signalNumber() : 0; }

    std::optional<int> beforeOpening(Options& run) override {
        std::string error;
        if (options_.simulate) {
            sim::UnitConfig config;
            config.banks = options_.simulatedBanks;
            config.clockStart = SystemClock().now();
            simulator_ = std::make_unique<sim::PtySimulator>(config);
            if (!simulator_->start(&error)) {
                std::cerr << "velmoractl: cannot start the simulated unit: " << error << "\n";
                return kExitNoUnit;
            }
            run.device = simulator_->slavePath();
        }
        if (options_.device.empty() && !options_.simulate && !options_.direct) ports_ = listSerialPorts();
        // The port's owner, when one of ours holds it, carries the command out.
        const std::optional<int> code =
            runIfServed(run, ports_, env_, stderrIsTerminal_, signals_ ? signals_->fd() : kNoStop,
                        [this] { return stopSignal(); });
        if (code) finish();
        return code;
    }

    int run(const Options& run, Session& session, CommandIo& io) override {
        if (options_.command == Command::serve) return runServe(run, session, io, env_);
        if (options_.command == Command::shell) {
            // A pty or a pipe: one line at a time, each flushed.
            return runShell(run, session, *standardInput(), std::cout, signals_ ? signals_->fd() : -1, env_, ports_,
                            [this](int fd) { waiter_.watchInput(fd); });
        }
        return runCommand(run, session, io);
    }

    void finish() override {
        if (simulator_) simulator_->stop();
    }

private:
    static std::unique_ptr<StopSignals> installSignals() {
        std::string error;
        std::unique_ptr<StopSignals> signals = StopSignals::install(&error);
        if (!signals) std::cerr << "velmoractl: stop signals not handled: " << error << "\n";
        return signals;
    }

    const Options options_;
    const std::unique_ptr<StopSignals> signals_;
    PosixLoopWaiter waiter_;
    const bool stderrIsTerminal_;
    const EnvLookup env_;
    std::vector<SerialPortInfo> ports_;
    std::unique_ptr<sim::PtySimulator> simulator_;
};

}  // namespace

std::unique_ptr<ProgramHost> ProgramHost::start(const Options& o, std::string*) {
    return std::make_unique<PosixProgramHost>(o);
}

}  // namespace velmora::cli
