#pragma once

#include "sim/unit_config.h"
#include "sim/unit_model.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velmora::sim {

struct PtyOptions {
    // Both directions at the line rate: the unit takes each byte of the
    // program's only once it would have arrived, and writes its answers one
    // byte per byte time.
    bool paced = false;
    int bytesPerSecond = 960;  // line rate when paced: 9600 baud, 10 bits a byte
    int tickMs = 20;           // longest sleep of the serving thread, milliseconds
    // Monotonic milliseconds that drive the unit's own time (timers, quiet
    // gaps, loader prompts). Empty: the steady clock. Called on the serving
    // thread only.
    std::function<std::int64_t()> monotonicMs;
};

// The simulated unit behind a pseudo-terminal: the program opens
// slavePath() like any serial port. One thread serves the master side.
//
// The slave may be opened, closed and opened again any number of times
// (the program probes, closes and reopens); while no one has it open the
// unit's answers are dropped, as on an unplugged cable.
class PtySimulator {
public:
    explicit PtySimulator(UnitConfig config, PtyOptions options = {});
    ~PtySimulator();
    PtySimulator(const PtySimulator&) = delete;
    PtySimulator& operator=(const PtySimulator&) = delete;

    // Creates the pty pair, makes both sides raw (no echo, no line-end
    // mapping, 8 bits clean) and starts serving. false: the pty could not be
    // set up, or start() was called before; *error (if given) says which
    // step failed and why.
    bool start(std::string* error = nullptr);

    // The device to open, e.g. "/dev/pts/7"; empty before start().
    std::string slavePath() const { return slavePath_; }

    // Ends the serving thread and closes the master. Idempotent.
    void stop();

    // Drops the line: the master is closed, so the program's reads on the
    // slave return 0 or fail with EIO from now on. Also happens by itself
    // with the hang-up fault.
    void hangUp();
    bool lineDropped() const { return dropped_.load(); }

    // Thread-safe views for tests.
    std::vector<std::string> portStates() const;   // per bank from bank 1: "OOCCCCCC"
    std::vector<std::uint8_t> received() const;    // every byte the program wrote, in order
    std::vector<std::uint8_t> sent() const;        // every byte the unit wrote, in order
    std::vector<std::string> commands() const;     // command bodies received, in order

    // Waits until `body` has been received at least `count` times in all.
    // false: the time-out passed first.
    bool waitForCommand(const std::string& body, std::size_t count, std::chrono::milliseconds timeout) const;
    // Waits until at least `count` bytes have been received. false: time-out.
    bool waitForReceived(std::size_t count, std::chrono::milliseconds timeout) const;
    // Waits until `holds` is true of the model; it is checked whenever bytes
    // arrive or the unit's time moves on. false: time-out.
    bool waitUntil(const std::function<bool(const UnitModel&)>& holds, std::chrono::milliseconds timeout) const;
    // Waits until the line has been dropped. false: time-out.
    bool waitForLineDropped(std::chrono::milliseconds timeout) const;

    // Runs f on the model under the simulator's lock, e.g. to check timers
    // or to put a port in a state. Answers f makes the model produce are
    // not sent.
    template <class F>
    auto withModel(F&& f) {
        std::lock_guard lock(mutex_);
        return f(model_);
    }

private:
    void serve();
    void wake();
    void queueOutput(const std::string& bytes);  // caller holds mutex_
    void appendLog(std::vector<std::uint8_t>& log, const std::uint8_t* bytes, std::size_t n);
    std::int64_t monotonicNow() const;

    PtyOptions options_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    UnitModel model_;
    std::vector<std::uint8_t> received_;
    std::vector<std::uint8_t> sent_;
    std::string pending_;  // answers not yet written

    int master_ = -1;
    int wakeFd_ = -1;
    std::string slavePath_;
    std::thread thread_;
    bool started_ = false;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> hangUpRequested_{false};
    std::atomic<bool> dropped_{false};
};

}  // namespace velmora::sim
