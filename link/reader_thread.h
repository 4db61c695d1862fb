#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace velmora {

class Clock;
class DeviceState;
class LinkEvents;
class SerialDevice;
class TimerTables;
class UiDispatcher;
struct LineOutcome;

// The reader thread of one link: it alone reads the port. It waits for
// received bytes, cuts them into lines, stores what each line says and
// hands the matching view update to the UI thread, waiting until it ran.
//
// Stopping never waits for the reader: Terminate() asks it to end (the
// caller closes the port, which wakes a pending wait), a view update that
// is running completes, and the thread then ends by itself. join() is for
// later, once finished() says it ended, or at exit after the dispatcher was
// shut down (which releases a hand-over that waits).
class ReaderThread {
public:
    ReaderThread(std::shared_ptr<SerialDevice> port, DeviceState& state, TimerTables& tables,
              UiDispatcher& dispatcher, const Clock& clock, LinkEvents& events);
    ~ReaderThread();  // joins; only destroy a finished thread, or at exit
    ReaderThread(const ReaderThread&) = delete;
    ReaderThread& operator=(const ReaderThread&) = delete;

    void start();
    // Asks the thread to end; view updates not yet run are skipped. When it
    // returns, no line is being stored and none will be: a line the reader
    // was cutting meanwhile is dropped, so a reset that follows stays reset.
    void Terminate();
    bool terminated() const { return stop_->load(); }
    // The port's receive buffer is being purged: bytes the reader has read
    // but not yet processed are dropped with it. Safe from any thread; a
    // purge asked inside a view update takes effect with the byte after the
    // line that raised it.
    void discardHeldInput() { purges_.fetch_add(1); }
    // The thread has left its loop (joining returns at once).
    bool finished() const { return finished_.load(); }
    void join();

private:
    void Execute();
    void processByte(unsigned char byte, class LineAssembler& assembler);
    bool viewUpdate(int kind);
    void confirmation(const LineOutcome& outcome);

    std::shared_ptr<SerialDevice> port_;
    DeviceState& state_;
    TimerTables& tables_;
    UiDispatcher& dispatcher_;
    const Clock& clock_;
    LinkEvents& events_;
    // Shared with tasks posted to the UI thread, which may outlive us.
    std::shared_ptr<std::atomic<bool>> stop_;
    // Held while a line is stored, and by Terminate(): never while the
    // reader waits for the UI thread.
    std::mutex storing_;
    std::atomic<bool> finished_{false};
    std::atomic<std::uint64_t> purges_{0};
    std::thread thread_;
};

}  // namespace velmora
