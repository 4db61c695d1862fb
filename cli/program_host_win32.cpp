// velmoractl on Windows: the console's stop events through an event object
// its loop waits on; commands through the port's owner (its pipe) when one
// serves the port, else over the port it opens itself; serve and the shell
// serve the port's pipe while they hold it.

#include "cli/program_host.h"

#include <io.h>

#include <cstdio>
#include <iostream>
#include <vector>

#include "cli/serve.h"
#include "cli/shell.h"
#include "cli/through_owner.h"
#include "cli/win32_loop.h"
#include "platform/console_stop_win32.h"
#include "platform/environment.h"
#include "platform/serial_device.h"

namespace velmora::cli {

namespace {

class Win32ProgramHost final : public ProgramHost {
public:
    Win32ProgramHost(const Options& o, std::unique_ptr<ConsoleStop> stop)
        : options_(o),
          stop_(std::move(stop)),
          waiter_(stop_ ? stop_->event() : nullptr),
          stderrIsTerminal_(::_isatty(::_fileno(stderr)) != 0),
          env_(processEnvironment()) {}

    bool stderrIsTerminal() const override { return stderrIsTerminal_; }
    LoopWaiter& waiter() override { return waiter_; }
    int stopSignal() const override { return stop_ ? stop_->signalNumber() : 0; }
    // The port's owner, when one of ours serves it, carries the command out.
    std::optional<int> beforeOpening(Options& run) override {
        if (options_.device.empty() && !options_.direct) ports_ = listSerialPorts();
        const std::optional<int> code =
            runIfServed(run, ports_, env_, stderrIsTerminal_, stopEvent(), [this] { return stopSignal(); });
        if (code) finish();
        return code;
    }
    int run(const Options& run, Session& session, CommandIo& io) override {
        if (options_.command == Command::serve) return runServe(run, session, io, env_);
        if (options_.command == Command::shell) {
            // A console, a pipe or a file: one line at a time, each flushed.
            return runShell(run, session, *standardInput(), std::cout, stopEvent(), env_, ports_,
                            [this](InputHandle event) { waiter_.watchInput(event); });
        }
        return runCommand(run, session, io);
    }
    // A console close waits for this in its handler.
    void finish() override {
        if (stop_) stop_->finished();
    }

private:
    StopHandle stopEvent() const { return stop_ ? static_cast<StopHandle>(stop_->event()) : kNoStop; }

    const Options options_;
    const std::unique_ptr<ConsoleStop> stop_;
    Win32LoopWaiter waiter_;
    const bool stderrIsTerminal_;
    const EnvLookup env_;
    std::vector<SerialPortInfo> ports_;
};

}  // namespace

std::unique_ptr<ProgramHost> ProgramHost::start(const Options& o, std::string* error) {
    // What needs the POSIX services is said so, before anything is opened.
    if (o.simulate) {
        if (error) {
            *error = "--simulate (the simulated unit runs on a pseudo-terminal) is not available on Windows; run it "
                     "on Linux, or give the unit's port, e.g. --port COM3";
        }
        return nullptr;
    }
    std::string why;
    std::unique_ptr<ConsoleStop> stop = ConsoleStop::install(&why);
    if (!stop) std::cerr << "velmoractl: Ctrl+C not handled: " << why << "\n";
    return std::make_unique<Win32ProgramHost>(o, std::move(stop));
}

}  // namespace velmora::cli
