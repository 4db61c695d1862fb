#include "platform/serial_writer_win32.h"

#include <system_error>

#include "platform/serial_errors_win32.h"

namespace velmora::win32serial {

// One write: its own overlapped record and its own copy of the bytes.
// Windows keeps pointers to both until the write completes (with CTS flow
// control that can take a while), so they live here, on the heap.
struct SerialWriter::PendingWrite {
    OVERLAPPED overlapped{};
    std::vector<std::uint8_t> bytes;

    PendingWrite(const std::uint8_t* data, std::size_t size) : bytes(data, data + size) {
        overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ~PendingWrite() {
        if (overlapped.hEvent != nullptr) CloseHandle(overlapped.hEvent);
    }
    PendingWrite(const PendingWrite&) = delete;
    PendingWrite& operator=(const PendingWrite&) = delete;
};

SerialWriter::SerialWriter() = default;
SerialWriter::~SerialWriter() { stop(); }

SerialStatus SerialWriter::start(HANDLE port, HANDLE closeEvent, std::atomic<bool>& gone) {
    closeEvent_ = closeEvent;
    gone_ = &gone;
    queuedEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (queuedEvent_ == nullptr) return statusFromError(GetLastError(), ErrorContext::io);
    try {
        thread_ = std::thread([this, port] { loop(port); });
    } catch (const std::system_error&) {
        CloseHandle(queuedEvent_);
        queuedEvent_ = nullptr;
        return SerialStatus::failed;
    }
    return SerialStatus::ok;
}

SerialIo SerialWriter::queue(const std::uint8_t* data, std::size_t size) {
    auto pending = std::make_unique<PendingWrite>(data, size);
    if (pending->overlapped.hEvent == nullptr) return {statusFromError(GetLastError(), ErrorContext::io), 0};
    {
        std::lock_guard lock(mutex_);
        if (queuedBytes_ + size > kMaxQueuedBytes) return {SerialStatus::timeout, 0};
        queuedBytes_ += size;
        queue_.push_back(std::move(pending));
    }
    SetEvent(queuedEvent_);
    // Accepted: the bytes go out as the line allows.
    return {SerialStatus::ok, size};
}

void SerialWriter::stop() {
    if (thread_.joinable()) thread_.join();
    {
        std::lock_guard lock(mutex_);
        queue_.clear();
        queuedBytes_ = 0;
    }
    if (queuedEvent_ != nullptr) {
        CloseHandle(queuedEvent_);
        queuedEvent_ = nullptr;
    }
}

void SerialWriter::loop(HANDLE port) {
    const auto closing = [this] { return WaitForSingleObject(closeEvent_, 0) == WAIT_OBJECT_0; };
    for (;;) {
        std::unique_ptr<PendingWrite> next;
        {
            std::lock_guard lock(mutex_);
            if (!queue_.empty()) {
                next = std::move(queue_.front());
                queue_.pop_front();
                queuedBytes_ -= next->bytes.size();
            }
        }
        // close() drops what has not gone out yet.
        if (closing()) return;
        if (!next) {
            const HANDLE events[] = {queuedEvent_, closeEvent_};
            WaitForMultipleObjects(2, events, FALSE, INFINITE);
            continue;
        }
        if (WriteFile(port, next->bytes.data(), clampToDword(next->bytes.size()), nullptr, &next->overlapped))
            continue;
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            if (statusFromError(error, ErrorContext::io) == SerialStatus::deviceGone) *gone_ = true;
            continue;
        }
        // Ends by completion or by the write time-outs; close() cancels it.
        const HANDLE events[] = {next->overlapped.hEvent, closeEvent_};
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
            CancelIoEx(port, &next->overlapped);
            if (WaitForSingleObject(next->overlapped.hEvent, kWriteDrainMs) != WAIT_OBJECT_0) {
                // Still held by a driver that ignores the cancel: leaking a
                // few bytes beats letting it write into freed memory.
                (void)next.release();
            }
            return;
        }
        DWORD put = 0;
        if (!GetOverlappedResult(port, &next->overlapped, &put, FALSE) &&
            statusFromError(GetLastError(), ErrorContext::io) == SerialStatus::deviceGone)
            *gone_ = true;
    }
}

}  // namespace velmora::win32serial
