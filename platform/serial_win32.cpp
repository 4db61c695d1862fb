// Win32 back end of SerialDevice: CreateFileA on "\\.\COMn", the DCB,
// SetupComm, COMMTIMEOUTS and overlapped WaitCommEvent/ReadFile/WriteFile.
// Built for Windows only.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/port_list.h"
#include "platform/serial_device.h"

namespace velmora {
namespace win32serial {

// What the failing call was doing, because Windows reuses codes: access
// denied at open means "somebody else has the port", on an open handle it
// means the adapter went away; an aborted operation is ours when we asked
// for it (close/wake) and a dying device otherwise.
enum class ErrorContext {
    opening,    // CreateFileA
    io,         // any call on an open handle
    cancelled,  // the call ended after we cancelled it (close or wake)
};

// The one place where GetLastError() values become SerialStatus.
SerialStatus statusFromError(DWORD error, ErrorContext context) {
    switch (error) {
        case ERROR_SUCCESS:
            return SerialStatus::ok;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_UNIT:
            return SerialStatus::notFound;
        case ERROR_ACCESS_DENIED:
            // Windows answers a second open of a COM port with access denied.
            return context == ErrorContext::opening ? SerialStatus::busy
                                                    : SerialStatus::deviceGone;
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return SerialStatus::busy;
        case ERROR_OPERATION_ABORTED:
            if (context == ErrorContext::cancelled) return SerialStatus::woken;
            // Nobody here cancelled it: the driver gave up on the device.
            return SerialStatus::deviceGone;
        case ERROR_DEV_NOT_EXIST:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED:
            return context == ErrorContext::opening ? SerialStatus::notFound
                                                    : SerialStatus::deviceGone;
        case ERROR_BROKEN_PIPE:  // the far end of a virtual port closed
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_NOT_READY:
        case ERROR_COUNTER_TIMEOUT:
            return context == ErrorContext::opening ? SerialStatus::failed
                                                    : SerialStatus::deviceGone;
        case ERROR_SEM_TIMEOUT:
        case ERROR_TIMEOUT:
        case WAIT_TIMEOUT:
            return SerialStatus::timeout;
        case ERROR_INVALID_HANDLE:
            return SerialStatus::notOpen;
        default:
            return SerialStatus::failed;
    }
}

}  // namespace win32serial

namespace {

using win32serial::ErrorContext;
using win32serial::statusFromError;

// How often a pending wait asks the port whether it is still there, and
// how long close() gives unfinished operations; milliseconds.
constexpr DWORD kAliveCheckMs = 1000;
constexpr DWORD kWriteDrainMs = 2000;
// Link-mode bytes accepted but not yet handed to the driver; beyond this a
// write is refused (the line has been stuck for a long time).
constexpr std::size_t kMaxQueuedBytes = 1 << 20;
// How long a cancelled wait or read may take to end; milliseconds.
constexpr DWORD kCancelWaitMs = 5000;

DWORD clampToDword(std::size_t n) {
    return static_cast<DWORD>(std::min<std::size_t>(n, std::numeric_limits<DWORD>::max()));
}

// One link-mode write: its own overlapped record and its own copy of the
// bytes. Windows keeps pointers to both until the write completes (with CTS
// flow control that can take a while), so they live here, on the heap.
struct PendingWrite {
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

class Win32SerialDevice final : public SerialDevice {
public:
    ~Win32SerialDevice() override { close(); }

    SerialStatus open(const std::string& device, SerialMode mode) override;
    bool isOpen() const override {
        std::lock_guard lock(mutex_);
        return handle_ != INVALID_HANDLE_VALUE && !closing_;
    }

    SerialStatus getState(SerialLineSettings& out) override;
    SerialStatus setState(const SerialLineSettings& settings) override;
    SerialStatus setQueueSizes(std::size_t input, std::size_t output) override;
    SerialStatus setTimeouts(const SerialTimeouts& timeouts) override;
    SerialStatus purge() override;
    SerialStatus purgeReceive() override;

    SerialStatus waitForInput() override;
    std::size_t bytesWaiting() override;

    SerialIo read(std::uint8_t* buffer, std::size_t size) override;
    SerialIo write(const std::uint8_t* data, std::size_t size) override;

    void wake() override;
    void close() override;

private:
    // Marks one call that uses the handle outside the lock; close() waits
    // until none is left before it closes the handle and the events.
    class Use {
    public:
        explicit Use(Win32SerialDevice& d) : d_(d) {
            std::lock_guard lock(d_.mutex_);
            if (d_.handle_ == INVALID_HANDLE_VALUE || d_.closing_) return;
            ++d_.users_;
            handle_ = d_.handle_;
        }
        ~Use() {
            if (handle_ == INVALID_HANDLE_VALUE) return;
            std::lock_guard lock(d_.mutex_);
            if (--d_.users_ == 0) d_.idle_.notify_all();
        }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
        HANDLE handle() const { return handle_; }

    private:
        Win32SerialDevice& d_;
        HANDLE handle_ = INVALID_HANDLE_VALUE;
    };

    SerialIo readBlocking(HANDLE h, std::uint8_t* buffer, std::size_t size);
    SerialIo readOverlapped(HANDLE h, std::uint8_t* buffer, std::size_t size);
    SerialIo writeBlocking(HANDLE h, const std::uint8_t* data, std::size_t size);
    SerialIo queueWrite(const std::uint8_t* data, std::size_t size);
    // Link mode: hands the queued writes to the driver one at a time, in
    // order, each with its own record. Windows keeps overlapped writes of
    // one handle in order, but not every driver does (Wine on a pty mixes
    // pending ones up), and the unit must see commands whole and in order.
    void writerLoop(HANDLE h);
    // Ends the reader's pending wait or read after a wake or close request
    // and waits (bounded) until Windows no longer touches its record.
    enum class ReaderIo { wait, read };
    void cancelReaderIo(HANDLE h, ReaderIo what);
    bool closeRequested() const;
    void closeEvents();

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    SerialMode mode_ = SerialMode::probe;
    int users_ = 0;
    bool closing_ = false;

    // The settings read by the last getState(), so that setState() writes
    // back every member it does not change without reading them twice.
    DCB dcb_{};
    bool haveDcb_ = false;

    // Link mode. The reader's record, whose completion event is a
    // manual-reset event created unsignalled and unnamed at open; wake() and
    // close() each have an event of their own that the reader also waits on.
    // On the heap so that it can be left to a driver that never lets go.
    std::unique_ptr<OVERLAPPED> readerRecord_;
    bool readerStuck_ = false;  // a cancelled operation did not end
    HANDLE rxEvent_ = nullptr;
    HANDLE wakeEvent_ = nullptr;   // auto-reset: one wake() ends one wait
    HANDLE closeEvent_ = nullptr;  // manual-reset: stays set while closing
    std::atomic<bool> gone_{false};  // the device failed: later waits end at once

    std::mutex writesMutex_;
    std::deque<std::unique_ptr<PendingWrite>> writeQueue_;  // guarded by writesMutex_
    std::size_t queuedBytes_ = 0;                           // guarded by writesMutex_
    HANDLE writeQueuedEvent_ = nullptr;  // auto-reset: the queue got a write
    std::thread writer_;
};

SerialStatus Win32SerialDevice::open(const std::string& device, SerialMode mode) {
    std::lock_guard lock(mutex_);
    // This object holds one port at a time.
    if (handle_ != INVALID_HANDLE_VALUE) return SerialStatus::failed;

    const DWORD flags = mode == SerialMode::probe ? FILE_ATTRIBUTE_NORMAL : FILE_FLAG_OVERLAPPED;
    // "COM12" as a user types it opens too.
    HANDLE h = CreateFileA(windowsPortPath(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) return statusFromError(GetLastError(), ErrorContext::opening);

    if (mode == SerialMode::link) {
        rxEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        wakeEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        closeEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        writeQueuedEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (rxEvent_ == nullptr || wakeEvent_ == nullptr || closeEvent_ == nullptr ||
            writeQueuedEvent_ == nullptr) {
            const DWORD error = GetLastError();
            closeEvents();
            CloseHandle(h);
            return statusFromError(error, ErrorContext::io);
        }
        readerRecord_ = std::make_unique<OVERLAPPED>();
        readerRecord_->hEvent = rxEvent_;
        readerStuck_ = false;
        // The mask is in place before any reader can start its first wait.
        // Its result is not examined, like every link setup call: a dead
        // link shows itself to the watchdog.
        SetCommMask(h, EV_RXCHAR);
        try {
            writer_ = std::thread([this, h] { writerLoop(h); });
        } catch (const std::system_error&) {
            closeEvents();
            CloseHandle(h);
            return SerialStatus::failed;
        }
    }
    handle_ = h;
    mode_ = mode;
    haveDcb_ = false;
    gone_ = false;
    return SerialStatus::ok;
}

SerialStatus Win32SerialDevice::getState(SerialLineSettings& out) {
    Use use(*this);
    if (!use.valid()) return SerialStatus::notOpen;
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!GetCommState(use.handle(), &dcb)) return statusFromError(GetLastError(), ErrorContext::io);
    out.baudRate = dcb.BaudRate;
    out.byteSize = dcb.ByteSize;
    out.parity = dcb.Parity;
    out.stopBits = dcb.StopBits;
    out.ctsOutputFlow = dcb.fOutxCtsFlow != 0;
    std::lock_guard lock(mutex_);
    dcb_ = dcb;
    haveDcb_ = true;
    return SerialStatus::ok;
}

SerialStatus Win32SerialDevice::setState(const SerialLineSettings& settings) {
    Use use(*this);
    if (!use.valid()) return SerialStatus::notOpen;
    DCB dcb{};
    bool have = false;
    {
        std::lock_guard lock(mutex_);
        dcb = dcb_;
        have = haveDcb_;
    }
    if (!have) {
        dcb = DCB{};
        dcb.DCBlength = sizeof(DCB);
        if (!GetCommState(use.handle(), &dcb))
            return statusFromError(GetLastError(), ErrorContext::io);
    }
    dcb.BaudRate = settings.baudRate;
    dcb.ByteSize = settings.byteSize;
    dcb.Parity = settings.parity;
    dcb.StopBits = settings.stopBits;
    dcb.fOutxCtsFlow = settings.ctsOutputFlow ? 1 : 0;
    // Firmware images cross this line: whatever an earlier program left in
    // the port, no XON/XOFF, no parity check, no NUL stripping, no error
    // character, and an error must not make every later call fail.
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fNull = 0;
    dcb.fErrorChar = 0;
    dcb.fAbortOnError = 0;
    if (!SetCommState(use.handle(), &dcb)) return statusFromError(GetLastError(), ErrorContext::io);
    std::lock_guard lock(mutex_);
    dcb_ = dcb;
    haveDcb_ = true;
    return SerialStatus::ok;
}

SerialStatus Win32SerialDevice::setQueueSizes(std::size_t input, std::size_t output) {
    Use use(*this);
    if (!use.valid()) return SerialStatus::notOpen;
    if (!SetupComm(use.handle(), clampToDword(input), clampToDword(output)))
        return statusFromError(GetLastError(), ErrorContext::io);
    return SerialStatus::ok;
}

SerialStatus Win32SerialDevice::setTimeouts(const SerialTimeouts& timeouts) {
    Use use(*this);
    if (!use.valid()) return SerialStatus::notOpen;
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = timeouts.readInterval;
    t.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplier;
    t.ReadTotalTimeoutConstant = timeouts.readTotalConstant;
    t.WriteTotalTimeoutMultiplier = timeouts.writeTotalMultiplier;
    t.WriteTotalTimeoutConstant = timeouts.writeTotalConstant;
    if (!SetCommTimeouts(use.handle(), &t)) return statusFromError(GetLastError(), ErrorContext::io);
    return SerialStatus::ok;
}

SerialStatus Win32SerialDevice::purge() {
    Use use(*this);
    if (!use.valid()) return SerialStatus::notOpen;
    if (!PurgeComm(use.handle(), PURGE_TXCLEAR | PURGE_RXCLEAR))
        return statusFromError(GetLastError(), ErrorContext::io);
    return SerialStatus::ok;
}

SerialStatus Win32SerialDevice::purgeReceive() {
    Use use(*this);
    if (!use.valid()) return SerialStatus::notOpen;
    if (!PurgeComm(use.handle(), PURGE_RXCLEAR)) return statusFromError(GetLastError(), ErrorContext::io);
    return SerialStatus::ok;
}

bool Win32SerialDevice::closeRequested() const {
    return WaitForSingleObject(closeEvent_, 0) == WAIT_OBJECT_0;
}

void Win32SerialDevice::cancelReaderIo(HANDLE h, ReaderIo what) {
    if (what == ReaderIo::wait) {
        // Setting the mask is what ends a pending WaitCommEvent (CancelIoEx
        // does not everywhere); after a wake the mask stays EV_RXCHAR.
        SetCommMask(h, closeRequested() ? 0 : EV_RXCHAR);
    } else {
        CancelIoEx(h, readerRecord_.get());
    }
    // Bounded, so that a driver ignoring the request cannot hold the reader
    // (and a close() waiting for it) for ever; the record then stays with
    // the driver and the port counts as gone.
    if (WaitForSingleObject(rxEvent_, kCancelWaitMs) != WAIT_OBJECT_0) {
        readerStuck_ = true;
        gone_ = true;
        return;
    }
    DWORD ignored = 0;
    GetOverlappedResult(h, readerRecord_.get(), &ignored, FALSE);
}

SerialStatus Win32SerialDevice::waitForInput() {
    Use use(*this);
    if (!use.valid()) return SerialStatus::notOpen;
    if (mode_ != SerialMode::link) return SerialStatus::failed;
    if (gone_) return SerialStatus::deviceGone;
    const HANDLE h = use.handle();

    for (;;) {
        if (closeRequested()) return SerialStatus::woken;
        // Bytes that came before this wait started raise no new event.
        DWORD errors = 0;
        COMSTAT stat{};
        if (!ClearCommError(h, &errors, &stat)) {
            const SerialStatus s = statusFromError(GetLastError(), ErrorContext::io);
            if (s == SerialStatus::deviceGone) gone_ = true;
            return s;
        }
        if (stat.cbInQue > 0) return SerialStatus::ok;

        DWORD mask = 0;
        if (!WaitCommEvent(h, &mask, readerRecord_.get())) {
            const DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING) {
                // close() clears the mask, which fails a wait started after it.
                if (closeRequested()) return SerialStatus::woken;
                const SerialStatus s = statusFromError(error, ErrorContext::io);
                if (s == SerialStatus::deviceGone) gone_ = true;
                return s;
            }
            const HANDLE events[] = {rxEvent_, wakeEvent_, closeEvent_};
            DWORD which = WAIT_TIMEOUT;
            while ((which = WaitForMultipleObjects(3, events, FALSE, kAliveCheckMs)) == WAIT_TIMEOUT) {
                // Not every driver fails a pending wait when its device goes
                // away, so the port is asked now and then whether it is alive
                // (and whether bytes came without an event).
                if (!ClearCommError(h, &errors, &stat)) {
                    const SerialStatus s = statusFromError(GetLastError(), ErrorContext::io);
                    if (s == SerialStatus::deviceGone || s == SerialStatus::notOpen) {
                        cancelReaderIo(h, ReaderIo::wait);
                        if (s == SerialStatus::deviceGone) gone_ = true;
                        return s;
                    }
                } else if (stat.cbInQue > 0) {
                    cancelReaderIo(h, ReaderIo::wait);
                    return readerStuck_ ? SerialStatus::deviceGone : SerialStatus::ok;
                }
            }
            if (which != WAIT_OBJECT_0) {
                // wake() or close(): end the wait and hand the record back.
                cancelReaderIo(h, ReaderIo::wait);
                return SerialStatus::woken;
            }
            DWORD ignored = 0;
            if (!GetOverlappedResult(h, readerRecord_.get(), &ignored, TRUE)) {
                const DWORD failure = GetLastError();
                if (closeRequested()) return SerialStatus::woken;
                const SerialStatus s = statusFromError(failure, ErrorContext::io);
                if (s == SerialStatus::deviceGone) gone_ = true;
                return s;
            }
        }
        // The reader signals its event after every completed wait.
        SetEvent(rxEvent_);
        // Whatever the mask says, the queue is checked again at the top: an
        // EV_RXCHAR for bytes already read must not count as new input.
        (void)mask;
    }
}

std::size_t Win32SerialDevice::bytesWaiting() {
    Use use(*this);
    if (!use.valid()) return 0;
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(use.handle(), &errors, &stat)) return 0;
    return stat.cbInQue;
}

SerialIo Win32SerialDevice::readBlocking(HANDLE h, std::uint8_t* buffer, std::size_t size) {
    DWORD got = 0;
    if (!ReadFile(h, buffer, clampToDword(size), &got, nullptr))
        return {statusFromError(GetLastError(), ErrorContext::io), got};
    return {got == size ? SerialStatus::ok : SerialStatus::timeout, got};
}

SerialIo Win32SerialDevice::readOverlapped(HANDLE h, std::uint8_t* buffer, std::size_t size) {
    DWORD got = 0;
    if (!ReadFile(h, buffer, clampToDword(size), nullptr, readerRecord_.get())) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            const SerialStatus s = statusFromError(
                error, closeRequested() ? ErrorContext::cancelled : ErrorContext::io);
            if (s == SerialStatus::deviceGone) gone_ = true;
            return {s, 0};
        }
        // Bounded by the link read time-outs; only close() ends it early.
        const HANDLE events[] = {rxEvent_, closeEvent_};
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
            cancelReaderIo(h, ReaderIo::read);
            if (readerStuck_) return {SerialStatus::deviceGone, 0};
            GetOverlappedResult(h, readerRecord_.get(), &got, FALSE);
            return {SerialStatus::woken, got};
        }
    }
    if (!GetOverlappedResult(h, readerRecord_.get(), &got, TRUE)) {
        const SerialStatus s = statusFromError(
            GetLastError(), closeRequested() ? ErrorContext::cancelled : ErrorContext::io);
        if (s == SerialStatus::deviceGone) gone_ = true;
        return {s, got};
    }
    return {got == size ? SerialStatus::ok : SerialStatus::timeout, got};
}

SerialIo Win32SerialDevice::read(std::uint8_t* buffer, std::size_t size) {
    Use use(*this);
    if (!use.valid()) return {SerialStatus::notOpen, 0};
    if (size == 0) return {SerialStatus::ok, 0};
    if (mode_ == SerialMode::probe) return readBlocking(use.handle(), buffer, size);
    if (gone_) return {SerialStatus::deviceGone, 0};
    return readOverlapped(use.handle(), buffer, size);
}

SerialIo Win32SerialDevice::writeBlocking(HANDLE h, const std::uint8_t* data, std::size_t size) {
    DWORD put = 0;
    if (!WriteFile(h, data, clampToDword(size), &put, nullptr))
        return {statusFromError(GetLastError(), ErrorContext::io), put};
    return {put == size ? SerialStatus::ok : SerialStatus::timeout, put};
}

SerialIo Win32SerialDevice::queueWrite(const std::uint8_t* data, std::size_t size) {
    auto pending = std::make_unique<PendingWrite>(data, size);
    if (pending->overlapped.hEvent == nullptr)
        return {statusFromError(GetLastError(), ErrorContext::io), 0};
    {
        std::lock_guard lock(writesMutex_);
        if (queuedBytes_ + size > kMaxQueuedBytes) return {SerialStatus::timeout, 0};
        queuedBytes_ += size;
        writeQueue_.push_back(std::move(pending));
    }
    SetEvent(writeQueuedEvent_);
    // Accepted: the bytes go out as the line allows.
    return {SerialStatus::ok, size};
}

void Win32SerialDevice::writerLoop(HANDLE h) {
    for (;;) {
        std::unique_ptr<PendingWrite> next;
        {
            std::lock_guard lock(writesMutex_);
            if (!writeQueue_.empty()) {
                next = std::move(writeQueue_.front());
                writeQueue_.pop_front();
                queuedBytes_ -= next->bytes.size();
            }
        }
        // close() drops what has not gone out yet.
        if (closeRequested()) return;
        if (!next) {
            const HANDLE events[] = {writeQueuedEvent_, closeEvent_};
            WaitForMultipleObjects(2, events, FALSE, INFINITE);
            continue;
        }
        if (WriteFile(h, next->bytes.data(), clampToDword(next->bytes.size()), nullptr, &next->overlapped))
            continue;
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            if (statusFromError(error, ErrorContext::io) == SerialStatus::deviceGone) gone_ = true;
            continue;
        }
        // Ends by completion or by the write time-outs; close() cancels it.
        const HANDLE events[] = {next->overlapped.hEvent, closeEvent_};
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
            CancelIoEx(h, &next->overlapped);
            if (WaitForSingleObject(next->overlapped.hEvent, kWriteDrainMs) != WAIT_OBJECT_0) {
                // Still held by a driver that ignores the cancel: leaking a
                // few bytes beats letting it write into freed memory.
                (void)next.release();
            }
            return;
        }
        DWORD put = 0;
        if (!GetOverlappedResult(h, &next->overlapped, &put, FALSE) &&
            statusFromError(GetLastError(), ErrorContext::io) == SerialStatus::deviceGone)
            gone_ = true;
    }
}

SerialIo Win32SerialDevice::write(const std::uint8_t* data, std::size_t size) {
    Use use(*this);
    if (!use.valid()) return {SerialStatus::notOpen, 0};
    if (size == 0) return {SerialStatus::ok, 0};
    if (mode_ == SerialMode::probe) return writeBlocking(use.handle(), data, size);
    // Some drivers keep writes to a vanished device pending for ever.
    if (gone_) return {SerialStatus::deviceGone, 0};
    return queueWrite(data, size);
}

void Win32SerialDevice::wake() {
    std::lock_guard lock(mutex_);
    if (handle_ == INVALID_HANDLE_VALUE || closing_ || wakeEvent_ == nullptr) return;
    SetEvent(wakeEvent_);
}

void Win32SerialDevice::closeEvents() {
    for (HANDLE* e : {&rxEvent_, &wakeEvent_, &closeEvent_, &writeQueuedEvent_}) {
        if (*e != nullptr) CloseHandle(*e);
        *e = nullptr;
    }
    readerRecord_.reset();
}

void Win32SerialDevice::close() {
    HANDLE h = INVALID_HANDLE_VALUE;
    {
        std::unique_lock lock(mutex_);
        if (handle_ == INVALID_HANDLE_VALUE || closing_) return;
        closing_ = true;
        h = handle_;
        if (closeEvent_ != nullptr) SetEvent(closeEvent_);
    }
    if (mode_ == SerialMode::link) {
        // A cleared mask ends a pending WaitCommEvent, CancelIoEx a pending
        // read; either way the reader then sees closeEvent_.
        SetCommMask(h, 0);
        CancelIoEx(h, readerRecord_.get());
    }
    {
        // The reader leaves its call quickly once cancelled; only then may
        // the handle, the events and its record go.
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return users_ == 0; });
    }
    // The writer ends at closeEvent_, its write in flight cancelled; its
    // waits are bounded, so this join is too.
    if (writer_.joinable()) writer_.join();
    {
        std::lock_guard lock(writesMutex_);
        writeQueue_.clear();
        queuedBytes_ = 0;
    }
    CloseHandle(h);
    if (readerStuck_ && WaitForSingleObject(rxEvent_, kWriteDrainMs) != WAIT_OBJECT_0) {
        (void)readerRecord_.release();
        rxEvent_ = nullptr;
    }
    std::lock_guard lock(mutex_);
    closeEvents();
    readerStuck_ = false;
    handle_ = INVALID_HANDLE_VALUE;
    haveDcb_ = false;
    gone_ = false;
    closing_ = false;
}

}  // namespace

std::unique_ptr<SerialDevice> makeSerialDevice() {
    return std::make_unique<Win32SerialDevice>();
}

}  // namespace velmora
