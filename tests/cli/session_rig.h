#pragma once

// A velmoractl session for tests: against the simulated unit on a pty (real
// time, with safety bounds only) or against a scripted port whose loop time
// moves only while the reader has nothing to do, so a 10 s time-out passes
// in microseconds and never outruns the reader.

#include <atomic>
#include <chrono>
#include <memory>
#include <iomanip>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cli/console_dialogs.h"
#include "cli/posix_loop.h"
#include "cli/session.h"
#include "platform/clock.h"
#include "platform/serial_device.h"
#include "sim/pty_simulator.h"
#include "support/fake_serial.h"

namespace velmora::cli::test {

// Wednesday 4 March 2026, 10:00:00.
inline LocalMoment testMoment() { return LocalMoment{2026, 3, 4, 4, 10, 0, 0}; }

// The words of a command line as a shell splits them ("DUT 3" in quotes is one).
inline std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> std::quoted(w);) out.push_back(w);
    return out;
}

// Loop time for the scripted port.
class StepTime final : public LoopWaiter {
public:
    std::atomic<std::int64_t> now{0};
    Session* session = nullptr;
    void wait(int ms) override {
        if (!session || session->readerIdle()) {
            now += ms > 0 ? ms : 1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    void wake() override {}
};

// The output of a run; once a flush has put `stopAfter` in it, the run is
// sent `signal` (as a user pressing Ctrl+C after seeing that line).
class StopAfterTextBuffer final : public std::stringbuf {
public:
    StopAfterTextBuffer(std::string stopAfter, std::atomic<int>& stop, int signal)
        : stopAfter_(std::move(stopAfter)), stop_(stop), signal_(signal) {}

protected:
    int sync() override {
        if (!stopAfter_.empty() && str().find(stopAfter_) != std::string::npos) stop_ = signal_;
        return 0;
    }

private:
    std::string stopAfter_;
    std::atomic<int>& stop_;
    int signal_;
};

struct CliRun {
    int code = -1;
    std::string out, err;
};

class SessionRig {
public:
    // Against the simulated unit (real time).
    explicit SessionRig(sim::UnitConfig config) : clock_(testMoment()) {
        config.clockStart = testMoment();
        sim_ = std::make_unique<sim::PtySimulator>(config);
        std::string error;
        started_ = sim_->start(&error);
        device_ = sim_->slavePath();
        const auto start = std::chrono::steady_clock::now();
        monotonic_ = [start] {
            return static_cast<std::int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 std::chrono::steady_clock::now() - start)
                                                 .count());
        };
        makeDevice_ = [] { return makeSerialDevice(); };
        waiter_ = std::make_unique<PosixLoopWaiter>();
        build();
    }

    // Against a scripted port (loop time in steps).
    explicit SessionRig(std::shared_ptr<ScriptedSerialDevice> fake) : clock_(testMoment()), fake_(std::move(fake)) {
        device_ = "/dev/scripted0";
        auto step = std::make_unique<StepTime>();
        StepTime* t = step.get();
        monotonic_ = [t] { return t->now.load(); };
        makeDevice_ = [f = fake_] { return shareScripted(f); };
        waiter_ = std::move(step);
        build();
        t->session = session_.get();
    }

    ~SessionRig() {
        session_->shutdown();
        if (sim_) sim_->stop();
    }

    bool started() const { return started_; }
    sim::PtySimulator& sim() { return *sim_; }
    Session& session() { return *session_; }
    FixedClock& clock() { return clock_; }
    const std::string& device() const { return device_; }
    std::int64_t now() const { return monotonic_(); }
    void setStopSignal(int sig) { stop_ = sig; }
    // The next runs get `sig` once their output, flushed, holds `text`.
    void stopAfterPrinting(std::string text, int sig) {
        stopAfter_ = std::move(text);
        stopAfterSignal_ = sig;
    }
    void setPorts(std::vector<SerialPortInfo> ports) { ports_ = std::move(ports); }
    // The user's outlet names, as main() reads them from the names file.
    std::function<OutletNames(const std::string& device, int banks)> names;

    // Runs "velmoractl --port <device> <line>" (or without --port when
    // `probe` is set) in this process.
    CliRun run(const std::string& line, bool probe = false) {
        CliRun r;
        std::vector<std::string> args = words(line);
        if (!probe) {
            args.insert(args.begin(), device_);
            args.insert(args.begin(), "--port");
        }
        const Parse p = parseArguments(args);
        if (!p.ok()) {
            r.err = p.error;
            r.code = kExitUsage;
            return r;
        }
        Options options = p.options;
        options.namesOf = names;
        StopAfterTextBuffer outBuffer(stopAfter_, stop_, stopAfterSignal_);
        std::ostream out(&outBuffer);
        std::ostringstream err;
        ConsoleDialogs dialogs(err, options.json);
        dialogs_ = &dialogs;
        CommandIo io{out, err, p.options.json, false, dialogs};
        r.code = runCommand(options, *session_, io);
        dialogs_ = &fallbackDialogs_;
        r.out = outBuffer.str();
        r.err = err.str() + fallbackErr_.str();
        return r;
    }

private:
    // Dialogs that route to the run's ConsoleDialogs while one runs.
    class RoutedDialogs final : public Dialogs {
    public:
        explicit RoutedDialogs(Dialogs*& to) : to_(to) {}
        MessageAnswer message(const std::string& t, const std::string& c, MessageIcon i, MessageButtons b) override {
            return to_->message(t, c, i, b);
        }
        std::string openFile(const FileChoice& c) override { return to_->openFile(c); }
        std::string saveFile(const FileChoice& c) override { return to_->saveFile(c); }

    private:
        Dialogs*& to_;
    };

    void build() {
        session_ = std::make_unique<Session>(Session::Deps{
            makeDevice_, [this] { return ports_; }, clock_, monotonic_, *waiter_, [this] { return stop_.load(); },
            [](int) {}, routed_, LinkOptions{true, false}, kAnswerQuietMs});
    }

    FixedClock clock_;
    std::unique_ptr<sim::PtySimulator> sim_;
    std::shared_ptr<ScriptedSerialDevice> fake_;
    bool started_ = true;
    std::string device_;
    std::function<std::int64_t()> monotonic_;
    std::function<std::unique_ptr<SerialDevice>()> makeDevice_;
    std::unique_ptr<LoopWaiter> waiter_;
    std::vector<SerialPortInfo> ports_;
    std::atomic<int> stop_{0};
    std::string stopAfter_;
    int stopAfterSignal_ = 0;
    std::ostringstream fallbackErr_;
    ConsoleDialogs fallbackDialogs_{fallbackErr_, false};
    Dialogs* dialogs_ = &fallbackDialogs_;
    RoutedDialogs routed_{dialogs_};
    std::unique_ptr<Session> session_;
};

}  // namespace velmora::cli::test
