#pragma once

// The link-mode writer of the Win32 serial back end: write() queues a copy
// of the bytes and returns; a thread of its own hands the queued writes to
// the driver one at a time, in order, each with its own overlapped record.
// Windows keeps overlapped writes of one handle in order, but not every
// driver does (Wine on a pty mixes pending ones up), and the unit must see
// commands whole and in order. Built for Windows only.

#include "platform/win32_api.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/serial_device.h"

namespace velmora::win32serial {

// How long close() gives a write the driver holds after its cancel; ms.
inline constexpr DWORD kWriteDrainMs = 2000;
// Bytes accepted but not yet handed to the driver; beyond this a write is
// refused (the line has been stuck for a long time).
inline constexpr std::size_t kMaxQueuedBytes = 1 << 20;

inline DWORD clampToDword(std::size_t n) {
    return static_cast<DWORD>(std::min<std::size_t>(n, std::numeric_limits<DWORD>::max()));
}

class SerialWriter {
public:
    SerialWriter();
    ~SerialWriter();
    SerialWriter(const SerialWriter&) = delete;
    SerialWriter& operator=(const SerialWriter&) = delete;

    // Starts writing to `port` until `closeEvent` (manual-reset) is set; a
    // write that finds the device gone sets `gone`. ok, or why not.
    SerialStatus start(HANDLE port, HANDLE closeEvent, std::atomic<bool>& gone);
    // Queues a copy of the bytes: ok with all of them accepted, timeout when
    // the queue is full.
    SerialIo queue(const std::uint8_t* data, std::size_t size);
    // After closeEvent was set: waits for the thread (its write in flight
    // cancelled; its waits are bounded) and drops what did not go out.
    void stop();

private:
    struct PendingWrite;
    void loop(HANDLE port);

    HANDLE closeEvent_ = nullptr;
    std::atomic<bool>* gone_ = nullptr;
    std::mutex mutex_;
    std::deque<std::unique_ptr<PendingWrite>> queue_;  // guarded by mutex_
    std::size_t queuedBytes_ = 0;                      // guarded by mutex_
    HANDLE queuedEvent_ = nullptr;  // auto-reset: the queue got a write
    std::thread thread_;
};

}  // namespace velmora::win32serial
