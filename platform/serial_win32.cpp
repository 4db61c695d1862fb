// Win32 back end of SerialDevice: CreateFileA on "\\.\COMn", the DCB,
// SetupComm, COMMTIMEOUTS and overlapped WaitCommEvent/ReadFile/WriteFile.
// Built for Windows only.

#include "platform/win32_api.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/port_list.h"
#include "platform/serial_device.h"
#include "platform/serial_errors_win32.h"
#include "platform/serial_writer_win32.h"

namespace velmora {

namespace {

using win32serial::clampToDword;
using win32serial::ErrorContext;
using win32serial::kWriteDrainMs;
using win32serial::statusFromError;

// How often a pending wait asks the port whether it is still there; ms.
constexpr DWORD kAliveCheckMs = 1000;
// How long a cancelled wait or read may take to end; milliseconds.
constexpr DWORD kCancelWaitMs = 5000;

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

    win32serial::SerialWriter writer_;  // link mode
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
        if (rxEvent_ == nullptr || wakeEvent_ == nullptr || closeEvent_ == nullptr) {
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
        if (const SerialStatus started = writer_.start(h, closeEvent_, gone_); started != SerialStatus::ok) {
            closeEvents();
            CloseHandle(h);
            return started;
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
    out.parity = static_cast<Parity>(dcb.Parity);
    out.stopBits = static_cast<StopBits>(dcb.StopBits);
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
    dcb.Parity = static_cast<BYTE>(settings.parity);
    dcb.StopBits = static_cast<BYTE>(settings.stopBits);
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

SerialIo Win32SerialDevice::write(const std::uint8_t* data, std::size_t size) {
    Use use(*this);
    if (!use.valid()) return {SerialStatus::notOpen, 0};
    if (size == 0) return {SerialStatus::ok, 0};
    if (mode_ == SerialMode::probe) return writeBlocking(use.handle(), data, size);
    // Some drivers keep writes to a vanished device pending for ever.
    if (gone_) return {SerialStatus::deviceGone, 0};
    return writer_.queue(data, size);
}

void Win32SerialDevice::wake() {
    std::lock_guard lock(mutex_);
    if (handle_ == INVALID_HANDLE_VALUE || closing_ || wakeEvent_ == nullptr) return;
    SetEvent(wakeEvent_);
}

void Win32SerialDevice::closeEvents() {
    for (HANDLE* e : {&rxEvent_, &wakeEvent_, &closeEvent_}) {
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
    writer_.stop();
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
