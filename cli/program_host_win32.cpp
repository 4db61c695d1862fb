// velmoractl on Windows: the console's stop events through an event object
// its loop waits on, and commands over the port it opens itself.

#include "cli/program_host.h"

#include <io.h>

#include <cstdio>
#include <iostream>

#include "cli/win32_loop.h"
#include "platform/console_stop_win32.h"

namespace velmora::cli {

namespace {

class Win32ProgramHost final : public ProgramHost {
public:
    explicit Win32ProgramHost(std::unique_ptr<ConsoleStop> stop)
        : stop_(std::move(stop)),
          waiter_(stop_ ? stop_->event() : nullptr),
          stderrIsTerminal_(::_isatty(::_fileno(stderr)) != 0) {}

    bool stderrIsTerminal() const override { return stderrIsTerminal_; }
    LoopWaiter& waiter() override { return waiter_; }
    int stopSignal() const override { return stop_ ? stop_->signalNumber() : 0; }
    std::optional<int> beforeOpening(Options&) override { return std::nullopt; }
    int run(const Options& run, Session& session, CommandIo& io) override { return runCommand(run, session, io); }
    // A console close waits for this in its handler.
    void finish() override {
        if (stop_) stop_->finished();
    }

private:
    const std::unique_ptr<ConsoleStop> stop_;
    Win32LoopWaiter waiter_;
    const bool stderrIsTerminal_;
};

}  // namespace

std::unique_ptr<ProgramHost> ProgramHost::start(const Options& o, std::string* error) {
    // What needs the POSIX services is said so, before anything is opened.
    const char* unavailable = o.command == Command::serve   ? "serve (the control socket)"
                              : o.command == Command::shell ? "shell"
                              : o.simulate                  ? "--simulate (the simulated unit runs on a pseudo-terminal)"
                                                            : nullptr;
    if (unavailable != nullptr) {
        if (error) {
            *error = std::string(unavailable) +
                     " is not available on Windows; run it on Linux, or give the unit's port, e.g. --port COM3";
        }
        return nullptr;
    }
    std::string why;
    std::unique_ptr<ConsoleStop> stop = ConsoleStop::install(&why);
    if (!stop) std::cerr << "velmoractl: Ctrl+C not handled: " << why << "\n";
    return std::make_unique<Win32ProgramHost>(std::move(stop));
}

}  // namespace velmora::cli
