// Serial port back end for POSIX systems: termios for the line, poll() for
// every wait, eventfds to wake the reader and to announce close().

#include "platform/serial_posix.h"
#include "platform/serial_errors_posix.h"
#include "platform/termios_settings.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace velmora {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;
constexpr short kHangUpEvents = POLLHUP | POLLERR | POLLNVAL;
// close() waits this long for a reader to leave the port before it leaves
// the closing of the descriptors to that reader. Only a reader that is stuck
// outside poll() could take this long.
constexpr auto kCloseGrace = std::chrono::seconds(2);
// Pause before polling again after the port said "readable" without any
// byte to read, so that such a driver cannot make us spin.
constexpr int kSpuriousPauseMs = 10;

// Milliseconds left until `deadline`, rounded up so that a poll never ends
// just before it and comes straight back with a 0 ms wait.
int msUntil(SteadyClock::time_point deadline) {
    auto left = deadline - SteadyClock::now();
    if (left <= SteadyClock::duration::zero()) return 0;
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
    long long ms = (us + 999) / 1000;
    if (ms > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    return static_cast<int>(ms);
}

void signalEventFd(int fd) {
    std::uint64_t one = 1;
    ssize_t r = ::write(fd, &one, sizeof one);
    (void)r;  // a full counter still reads as "signalled"
}

void drainEventFd(int fd) {
    std::uint64_t value = 0;
    ssize_t r = ::read(fd, &value, sizeof value);
    (void)r;
}

// Everything that belongs to one open port. Shared between the device object
// and whoever is inside a call on it, so that close() on the UI thread never
// frees a descriptor the reader is still polling.
struct Port {
    int fd = -1;
    int wakeFd = -1;   // wake() and close(); drained by waitForInput()
    int closeFd = -1;  // close() only; never drained, so every wait sees it
    SerialMode mode = SerialMode::probe;

    std::atomic<bool> closing{false};
    std::atomic<bool> gone{false};

    std::mutex writeMutex;  // one writer at a time

    std::mutex settingsMutex;
    SerialTimeouts timeouts;
    std::size_t inputQueue = 0;
    std::size_t outputQueue = 0;

    std::mutex useMutex;
    std::condition_variable idle;
    int users = 0;

    ~Port() { releaseDescriptors(); }

    void releaseDescriptors() {
        if (fd >= 0) {
            ::ioctl(fd, TIOCNXCL);  // the exclusive flag can outlive our descriptor
            ::close(fd);            // also drops the flock
            fd = -1;
        }
        if (wakeFd >= 0) ::close(wakeFd);
        if (closeFd >= 0) ::close(closeFd);
        wakeFd = closeFd = -1;
    }

    SerialTimeouts currentTimeouts() {
        std::lock_guard lock(settingsMutex);
        return timeouts;
    }

    // Translates an I/O errno and remembers a hang-up for later waits.
    SerialStatus ioFailure(int err) {
        SerialStatus s = serialStatusFromErrno(err, PosixSerialStep::io);
        if (s == SerialStatus::deviceGone) gone = true;
        return s;
    }

    // True when poll() says the line is hung up (asked without waiting).
    bool hungUp() {
        pollfd p{fd, POLLIN, 0};
        int r;
        do {
            r = ::poll(&p, 1, 0);
        } while (r < 0 && errno == EINTR);
        return r > 0 && (p.revents & kHangUpEvents);
    }

    // Bytes in the input queue; nullopt when the ioctl failed (gone is set
    // when that failure means a hang-up).
    std::optional<std::size_t> queued() {
        int n = 0;
        if (::ioctl(fd, FIONREAD, &n) != 0) {
            ioFailure(errno);
            return std::nullopt;
        }
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }

    // Waits up to timeoutMs (-1: no limit) for nothing but close(); used to
    // pace retries.
    void pause(int timeoutMs) {
        pollfd p{closeFd, POLLIN, 0};
        ::poll(&p, 1, timeoutMs);
    }
};

// Keeps a Port alive and counted as "in use" for the length of one call.
class PortUse {
public:
    PortUse() = default;
    explicit PortUse(std::shared_ptr<Port> port) : port_(std::move(port)) {
        if (port_) {
            std::lock_guard lock(port_->useMutex);
            ++port_->users;
        }
    }
    PortUse(const PortUse&) = delete;
    PortUse& operator=(const PortUse&) = delete;
    ~PortUse() {
        if (!port_) return;
        {
            std::lock_guard lock(port_->useMutex);
            --port_->users;
        }
        port_->idle.notify_all();
    }
    explicit operator bool() const { return port_ != nullptr; }
    Port* operator->() const { return port_.get(); }
    Port& operator*() const { return *port_; }

private:
    std::shared_ptr<Port> port_;
};

class PosixSerialDevice final : public SerialDevice {
public:
    explicit PosixSerialDevice(TermiosCalls calls) : termios_(std::move(calls)) {}
    ~PosixSerialDevice() override { close(); }

    SerialStatus open(const std::string& device, SerialMode mode) override {
        close();
        // A path with an embedded NUL would open some other, shorter path.
        if (device.empty() || device.find('\0') != std::string::npos)
            return SerialStatus::notFound;

        int fd;
        do {
            fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) return serialStatusFromErrno(errno, PosixSerialStep::open);

        auto fail = [fd](SerialStatus s) {
            ::close(fd);
            return s;
        };
        // Only terminals: commands must never end up in a plain file.
        if (!::isatty(fd)) return fail(SerialStatus::failed);
        // flock also keeps out a second opener with root rights, whom
        // TIOCEXCL lets through.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
            return fail(serialStatusFromErrno(errno, PosixSerialStep::lock));
        if (::ioctl(fd, TIOCEXCL) != 0)
            return fail(serialStatusFromErrno(errno, PosixSerialStep::lock));

        auto port = std::make_shared<Port>();
        port->fd = fd;
        port->mode = mode;
        port->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        port->closeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (port->wakeFd < 0 || port->closeFd < 0) return SerialStatus::failed;  // ~Port closes fd

        std::lock_guard lock(mutex_);
        port_ = std::move(port);
        return SerialStatus::ok;
    }

    bool isOpen() const override {
        std::lock_guard lock(mutex_);
        return port_ != nullptr;
    }

    SerialStatus getState(SerialLineSettings& out) override {
        PortUse port = acquire();
        if (!port) return SerialStatus::notOpen;
        termios tio{};
        if (termios_.get(port->fd, tio) != 0) return port->ioFailure(errno);
        out = lineSettingsOf(tio);
        return SerialStatus::ok;
    }

    SerialStatus setState(const SerialLineSettings& settings) override {
        PortUse port = acquire();
        if (!port) return SerialStatus::notOpen;
        termios tio{};
        if (termios_.get(port->fd, tio) != 0) return port->ioFailure(errno);
        if (!applyLineSettings(settings, tio)) return SerialStatus::failed;
        if (termios_.set(port->fd, TCSANOW, tio) != 0) return port->ioFailure(errno);
        // tcsetattr succeeds when any part was applied: read it back.
        termios check{};
        if (termios_.get(port->fd, check) != 0) return port->ioFailure(errno);
        const SerialLineSettings got = lineSettingsOf(check);
        // A frame other than the one asked for garbles every byte, and a line
        // that is not binary-clean corrupts firmware images: both refuse the port.
        if (got.baudRate != settings.baudRate || got.byteSize != settings.byteSize ||
            got.parity != settings.parity || (got.stopBits == StopBits::one) != (settings.stopBits == StopBits::one) ||
            !isBinaryClean(check))
            return SerialStatus::failed;
        // CTS flow control is asked for but not insisted on: some adapters'
        // drivers do not keep CRTSCTS, and refusing them would leave the unit
        // unreachable through them. getState() then reports it off.
        return SerialStatus::ok;
    }

    SerialStatus setQueueSizes(std::size_t input, std::size_t output) override {
        PortUse port = acquire();
        if (!port) return SerialStatus::notOpen;
        std::lock_guard lock(port->settingsMutex);
        port->inputQueue = input;
        port->outputQueue = output;
        return SerialStatus::ok;
    }

    SerialStatus setTimeouts(const SerialTimeouts& timeouts) override {
        PortUse port = acquire();
        if (!port) return SerialStatus::notOpen;
        std::lock_guard lock(port->settingsMutex);
        port->timeouts = timeouts;
        return SerialStatus::ok;
    }

    SerialStatus purge() override {
        PortUse port = acquire();
        if (!port) return SerialStatus::notOpen;
        if (::tcflush(port->fd, TCIOFLUSH) != 0) return port->ioFailure(errno);
        return SerialStatus::ok;
    }

    SerialStatus purgeReceive() override {
        PortUse port = acquire();
        if (!port) return SerialStatus::notOpen;
        if (::tcflush(port->fd, TCIFLUSH) != 0) return port->ioFailure(errno);
        return SerialStatus::ok;
    }

    SerialStatus waitForInput() override {
        PortUse use = acquire();
        if (!use) return SerialStatus::notOpen;
        Port& port = *use;
        for (;;) {
            if (port.closing) return SerialStatus::woken;
            if (port.gone) return SerialStatus::deviceGone;
            pollfd fds[3] = {{port.fd, POLLIN, 0}, {port.wakeFd, POLLIN, 0}, {port.closeFd, POLLIN, 0}};
            if (::poll(fds, 3, -1) < 0) {
                if (errno == EINTR) continue;
                return port.ioFailure(errno);
            }
            if (fds[2].revents || port.closing) return SerialStatus::woken;
            if (fds[1].revents) {
                drainEventFd(port.wakeFd);
                return SerialStatus::woken;
            }
            const short ev = fds[0].revents;
            if (ev & kHangUpEvents) {
                // Bytes that came before the hang-up are still handed out;
                // the wait after them reports the hang-up.
                if (!(ev & POLLNVAL)) {
                    auto n = port.queued();
                    if (n && *n > 0) return SerialStatus::ok;
                }
                port.gone = true;
                return SerialStatus::deviceGone;
            }
            if (ev & POLLIN) {
                auto n = port.queued();
                if (!n) return port.gone ? SerialStatus::deviceGone : SerialStatus::failed;
                if (*n > 0) return SerialStatus::ok;
                port.pause(kSpuriousPauseMs);
            }
        }
    }

    std::size_t bytesWaiting() override {
        PortUse port = acquire();
        if (!port) return 0;
        return port->queued().value_or(0);
    }

    SerialIo read(std::uint8_t* buffer, std::size_t size) override {
        PortUse port = acquire();
        if (!port) return {SerialStatus::notOpen, 0};
        if (size == 0) return {SerialStatus::ok, 0};
        if (port->mode == SerialMode::link) {
            std::size_t got = 0;
            SerialStatus s = readSome(*port, buffer, size, got);
            return {s == SerialStatus::timeout ? SerialStatus::ok : s, got};
        }
        return readBounded(*port, buffer, size);
    }

    SerialIo write(const std::uint8_t* data, std::size_t size) override {
        PortUse use = acquire();
        if (!use) return {SerialStatus::notOpen, 0};
        Port& port = *use;
        std::lock_guard writer(port.writeMutex);
        const SerialTimeouts t = port.currentTimeouts();
        const std::uint64_t totalMs =
            std::uint64_t{t.writeTotalMultiplier} * size + t.writeTotalConstant;
        const std::optional<SteadyClock::time_point> deadline =
            totalMs ? std::optional(SteadyClock::now() + std::chrono::milliseconds(totalMs))
                    : std::nullopt;
        std::size_t sent = 0;
        while (sent < size) {
            if (port.closing) return {SerialStatus::woken, sent};
            ssize_t n = ::write(port.fd, data + sent, size - sent);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return {port.ioFailure(errno), sent};
            // The driver's queue is full (or CTS holds the line): wait for room.
            int waitMs = deadline ? msUntil(*deadline) : -1;
            if (waitMs == 0) return {SerialStatus::timeout, sent};
            pollfd fds[2] = {{port.fd, POLLOUT, 0}, {port.closeFd, POLLIN, 0}};
            int r = ::poll(fds, 2, waitMs);
            if (r < 0 && errno != EINTR) return {port.ioFailure(errno), sent};
            if (r > 0 && fds[1].revents) return {SerialStatus::woken, sent};
            if (r > 0 && (fds[0].revents & kHangUpEvents) && !(fds[0].revents & POLLOUT)) {
                port.gone = true;
                return {SerialStatus::deviceGone, sent};
            }
        }
        return {SerialStatus::ok, sent};
    }

    void wake() override {
        PortUse port = acquire();
        if (port) signalEventFd(port->wakeFd);
    }

    void close() override {
        std::shared_ptr<Port> port;
        {
            std::lock_guard lock(mutex_);
            port = std::move(port_);
            port_.reset();
        }
        if (!port) return;
        port->closing = true;
        signalEventFd(port->closeFd);
        signalEventFd(port->wakeFd);
        std::unique_lock lock(port->useMutex);
        // Nobody can start a new call (port_ is empty); once the last caller
        // has left, the descriptors are ours to close, so that the device can
        // be opened again as soon as close() returns.
        if (port->idle.wait_for(lock, kCloseGrace, [&] { return port->users == 0; }))
            port->releaseDescriptors();
        // Otherwise the last PortUse still holding the Port closes them.
    }

private:
    PortUse acquire() const {
        std::lock_guard lock(mutex_);
        return PortUse(port_);
    }




    // One non-blocking read. ok: bytes came; timeout: nothing waiting;
    // deviceGone: hung up (read() of 0 with the line hung up, or EIO/ENXIO).
    static SerialStatus readSome(Port& port, std::uint8_t* buffer, std::size_t size, std::size_t& got) {
        for (;;) {
            ssize_t n = ::read(port.fd, buffer, size);
            if (n > 0) {
                got = static_cast<std::size_t>(n);
                return SerialStatus::ok;
            }
            if (n == 0) {
                // With VMIN 0 (before setState) an empty queue reads as 0 too.
                if (port.hungUp()) {
                    port.gone = true;
                    return SerialStatus::deviceGone;
                }
                return SerialStatus::timeout;
            }
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return SerialStatus::timeout;
            return port.ioFailure(errno);
        }
    }

    // Probe read: up to `size` bytes within the read time-outs.
    static SerialIo readBounded(Port& port, std::uint8_t* buffer, std::size_t size) {
        const SerialTimeouts t = port.currentTimeouts();
        const bool returnAtOnce =
            t.readInterval == kMaxDword && t.readTotalConstant == 0 && t.readTotalMultiplier == 0;
        const std::uint64_t totalMs = std::uint64_t{t.readTotalMultiplier} * size + t.readTotalConstant;
        const auto start = SteadyClock::now();
        // No total time-out when both parts are 0 (a plain time point rather
        // than an optional: g++ -O2 misreads the optional as uninitialised).
        const bool hasDeadline = totalMs != 0;
        const SteadyClock::time_point deadline = start + std::chrono::milliseconds(totalMs);
        const bool useInterval = t.readInterval != 0 && t.readInterval != kMaxDword;

        std::size_t got = 0;
        SteadyClock::time_point lastByte = start;
        bool pacedOnce = false;
        for (;;) {
            if (port.closing) return {SerialStatus::woken, got};
            std::size_t n = 0;
            SerialStatus s = readSome(port, buffer + got, size - got, n);
            if (s == SerialStatus::ok) {
                got += n;
                lastByte = SteadyClock::now();
                pacedOnce = false;
                if (got == size) return {SerialStatus::ok, got};
                continue;
            }
            if (s != SerialStatus::timeout) return {s, got};
            if (returnAtOnce) return {SerialStatus::timeout, got};

            int waitMs = -1;
            if (hasDeadline) waitMs = msUntil(deadline);
            if (useInterval && got > 0) {
                int gapMs = msUntil(lastByte + std::chrono::milliseconds(t.readInterval));
                waitMs = waitMs < 0 ? gapMs : std::min(waitMs, gapMs);
            }
            if (waitMs == 0) return {SerialStatus::timeout, got};

            pollfd fds[2] = {{port.fd, POLLIN, 0}, {port.closeFd, POLLIN, 0}};
            int r = ::poll(fds, 2, waitMs);
            if (r < 0 && errno != EINTR) return {port.ioFailure(errno), got};
            if (r > 0 && fds[1].revents) return {SerialStatus::woken, got};
            if (r > 0 && (fds[0].revents & POLLIN) && !(fds[0].revents & kHangUpEvents)) {
                // Readable yet the read above found nothing twice: pace it.
                if (pacedOnce) port.pause(std::min(waitMs < 0 ? kSpuriousPauseMs : waitMs, kSpuriousPauseMs));
                pacedOnce = true;
            }
        }
    }

    const TermiosCalls termios_;
    mutable std::mutex mutex_;
    std::shared_ptr<Port> port_;
};

}  // namespace

TermiosCalls systemTermiosCalls() {
    return {[](int fd, termios& out) { return ::tcgetattr(fd, &out); },
            [](int fd, int when, const termios& in) { return ::tcsetattr(fd, when, &in); }};
}

std::unique_ptr<SerialDevice> makePosixSerialDevice(TermiosCalls calls) {
    return std::make_unique<PosixSerialDevice>(std::move(calls));
}

std::unique_ptr<SerialDevice> makeSerialDevice() {
    return makePosixSerialDevice(systemTermiosCalls());
}

}  // namespace velmora
