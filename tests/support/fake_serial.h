#pragma once

#include "platform/serial_device.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// The steps of SerialDevice, for scripting and for the call record.
enum class SerialCall {
    open,
    getState,
    setState,
    setQueueSizes,
    setTimeouts,
    purge,
    purgeReceive,
    waitForInput,
    bytesWaiting,
    read,
    write,
    wake,
    close,
};

// "open", "getState", ... as in SerialDevice.
const char* serialCallName(SerialCall call);

// A serial port for unit tests: every step's result can be scripted, every
// call and every written byte is recorded, and the bytes "the unit sends" are
// queued by the test. Thread-safe: a reader thread may sit in waitForInput()
// while the test queues input, writes, wakes, closes or hangs up.
//
// Received bytes are queued in batches. A read never takes bytes from more
// than one batch, so queueing "/xy" and "z\" makes the greeting arrive split
// across two reads; bytesWaiting() reports what is left of the first batch.
//
// Without scripting, a step behaves like a healthy port: ok (notOpen before
// open() and after close(); deviceGone after hangUp() for waits, writes, and
// reads that find nothing queued). Nothing ever waits for real time: a probe
// read that finds fewer bytes than asked returns timeout at once.
class ScriptedSerialDevice final : public SerialDevice {
public:
    struct CallRecord {
        SerialCall call;
        std::size_t size = 0;  // bytes asked for (read) or given (write); else 0
        SerialStatus result = SerialStatus::ok;
    };

    ScriptedSerialDevice();
    ~ScriptedSerialDevice() override;

    // ---- scripting ----
    // From now on every call of `call` returns `status` without doing
    // anything else; SerialStatus::ok restores normal behaviour. Not for
    // wake/close/bytesWaiting, which have no result.
    void setResult(SerialCall call, SerialStatus status);
    // The next call of `call` only returns `status` (several pushes are used
    // one per call, in order, before any setResult() value).
    void pushResult(SerialCall call, SerialStatus status);
    // open() of this device name returns `status` (unless a pushed or set
    // open result applies first).
    void setOpenResult(const std::string& device, SerialStatus status);
    // What getState() reports until setState() changes it.
    void setLineSettings(const SerialLineSettings& settings);
    // Queues one batch of received bytes (ignored when empty) and wakes a
    // waiting reader.
    void queueInput(std::string_view bytes);
    void queueInput(const std::vector<std::uint8_t>& bytes);
    // When the bytes written so far end with `trigger` (the end falling into
    // the latest write), `reply` is queued as one batch. Rules apply every
    // time they match, so a greeting sent byte by byte is answered each time.
    void answerWrites(std::string trigger, std::string reply);
    // Called after every recorded write with that write's bytes, outside the
    // fake's lock (the handler may queue input or call any method).
    void setWriteHandler(std::function<void(const std::vector<std::uint8_t>&)> handler);
    // The line drops: waiters return deviceGone at once, and so do later
    // waits, writes, and reads that find no queued bytes.
    void hangUp();
    // false: waitForInput() returns timeout at once instead of blocking when
    // nothing is queued (single-threaded tests). Default true.
    void setBlockingWaits(bool blocking);

    // ---- record ----
    std::vector<CallRecord> calls() const;
    // The names of the calls made, in order ("open", "getState", ...).
    std::vector<std::string> callNames() const;
    int callCount(SerialCall call) const;
    // One entry per write call that succeeded, with the bytes it carried.
    std::vector<std::vector<std::uint8_t>> writes() const;
    // All written bytes as one text.
    std::string writtenText() const;
    // Forgets the call record and the written bytes (not the scripting).
    void clearRecord();
    std::string openedDevice() const;        // last device open() was asked for
    SerialMode openedMode() const;
    SerialLineSettings appliedSettings() const;  // last setState() argument
    SerialTimeouts appliedTimeouts() const;      // last setTimeouts() argument
    std::size_t inputQueueSize() const;          // last setQueueSizes() input
    std::size_t outputQueueSize() const;         // last setQueueSizes() output
    std::size_t pendingInput() const;            // queued bytes not yet read
    // Blocks until some thread sits in waitForInput(): true; false when
    // `limit` passed first (a safety bound, not a timing claim).
    bool waitForWaiter(std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

    // ---- SerialDevice ----
    SerialStatus open(const std::string& device, SerialMode mode) override;
    bool isOpen() const override;
    SerialStatus getState(SerialLineSettings& out) override;
    SerialStatus setState(const SerialLineSettings& settings) override;
    SerialStatus setQueueSizes(std::size_t input, std::size_t output) override;
    SerialStatus setTimeouts(const SerialTimeouts& timeouts) override;
    SerialStatus purge() override;  // also drops every queued input batch
    SerialStatus purgeReceive() override;  // drops every queued input batch
    SerialStatus waitForInput() override;
    std::size_t bytesWaiting() override;
    SerialIo read(std::uint8_t* buffer, std::size_t size) override;
    SerialIo write(const std::uint8_t* data, std::size_t size) override;
    void wake() override;
    void close() override;

private:
    struct Answer {
        std::string trigger;
        std::string reply;
    };

    // The scripted result for the next call of `call`, or ok. Needs mutex_.
    SerialStatus scripted(SerialCall call);
    void record(SerialCall call, std::size_t size, SerialStatus result);  // needs mutex_
    void queueLocked(std::vector<std::uint8_t> bytes);                   // needs mutex_

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;

    std::map<SerialCall, std::deque<SerialStatus>> pushed_;
    std::map<SerialCall, SerialStatus> fixed_;
    std::map<std::string, SerialStatus> openResults_;
    std::vector<Answer> answers_;
    std::function<void(const std::vector<std::uint8_t>&)> writeHandler_;
    bool blockingWaits_ = true;

    bool open_ = false;
    bool gone_ = false;
    bool wakePending_ = false;
    unsigned long closeCount_ = 0;  // lets a waiter see a close() that came and went
    int waiters_ = 0;
    SerialMode mode_ = SerialMode::probe;
    std::string device_;
    SerialLineSettings state_;
    SerialLineSettings applied_;
    SerialTimeouts timeouts_;
    std::size_t inputQueue_ = 0;
    std::size_t outputQueue_ = 0;
    std::deque<std::vector<std::uint8_t>> input_;
    std::size_t headOffset_ = 0;  // bytes of input_.front() already read

    std::vector<CallRecord> calls_;
    std::vector<std::vector<std::uint8_t>> writes_;
    std::string stream_;  // every byte written, for answerWrites()
};

// A port object that forwards to a fake the test keeps: for code that
// makes and owns its ports through a factory (the link), so the test can
// still look at the fake after the port object is gone.
std::unique_ptr<SerialDevice> shareScripted(std::shared_ptr<ScriptedSerialDevice> fake);

}  // namespace velmora
