// The termios back end against real pseudo-terminals: the test holds the
// master side and plays the unit; the device opens the slave side.

#include "platform/serial_device.h"
#include "platform/serial_posix.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

using namespace velmora;

namespace {

using S = SerialStatus;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// Bounds for waiting on real I/O; generous so that a slow sanitizer build
// never fails on speed. Only correctness is asserted.
constexpr auto kIoLimit = 10s;

class Pty {
public:
    Pty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        char name[256];
        if (::ptsname_r(master_, name, sizeof name) != 0) return;
        slave_ = name;
        termios t{};
        ::tcgetattr(master_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(master_, TCSANOW, &t);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() { closeMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return master_ >= 0 && !slave_.empty(); }
    const std::string& slave() const { return slave_; }

    void closeMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    // Sends everything within kIoLimit; false when the far side took less.
    bool send(const Bytes& bytes) {
        std::size_t sent = 0;
        auto end = std::chrono::steady_clock::now() + kIoLimit;
        while (sent < bytes.size() && std::chrono::steady_clock::now() < end) {
            ssize_t n = ::write(master_, bytes.data() + sent, bytes.size() - sent);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
        return sent == bytes.size();
    }
    bool send(const std::string& text) { return send(Bytes(text.begin(), text.end())); }

    // Reads until `count` bytes came or kIoLimit passed.
    Bytes receive(std::size_t count) {
        Bytes got;
        auto end = std::chrono::steady_clock::now() + kIoLimit;
        std::uint8_t buf[4096];
        while (got.size() < count && std::chrono::steady_clock::now() < end) {
            ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - got.size()));
            if (n > 0) {
                got.insert(got.end(), buf, buf + n);
                continue;
            }
            pollfd p{master_, POLLIN, 0};
            ::poll(&p, 1, 100);
        }
        return got;
    }

private:
    int master_ = -1;
    std::string slave_;
};

Bytes allByteValues() {
    Bytes b(256);
    std::iota(b.begin(), b.end(), 0);
    return b;
}

Bytes textBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Termios of the slave as another program would find it.
termios slaveTermios(const std::string& slave) {
    termios t{};
    int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::tcgetattr(fd, &t);
        ::close(fd);
    }
    return t;
}

// Leaves the slave the way a careless earlier program might: cooked,
// echoing, translating, XON/XOFF, parity checks, 7 bits at 1200 baud.
void dirtySlave(const std::string& slave) {
    int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    t.c_iflag |= ICRNL | INLCR | IGNCR | IXON | IXOFF | IXANY | ISTRIP | INPCK | PARMRK | BRKINT;
    t.c_oflag |= OPOST | ONLCR | OCRNL;
    t.c_lflag |= ECHO | ECHOE | ICANON | ISIG | IEXTEN;
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CRTSCTS | CLOCAL);
    t.c_cflag |= CS7 | PARENB | PARODD | CSTOPB;
    ::cfsetispeed(&t, B1200);
    ::cfsetospeed(&t, B1200);
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
    ::close(fd);
}

// The kernel thread id of the calling thread.
pid_t threadId() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

// True once thread `tid` of this process sits in poll(); false after kIoLimit.
bool blockedInPoll(pid_t tid) {
    const std::string path = "/proc/self/task/" + std::to_string(tid) + "/syscall";
    auto end = std::chrono::steady_clock::now() + kIoLimit;
    while (std::chrono::steady_clock::now() < end) {
        std::ifstream in(path);
        long number = -1;
        if (in >> number) {
#ifdef SYS_poll
            if (number == SYS_poll) return true;
#endif
            if (number == SYS_ppoll) return true;
        }
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

double threadCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

class PosixSerial : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty.ok()) << "no pseudo-terminal available"; }

    // Opens the slave in `mode` with the program's line settings applied.
    void openConfigured(SerialMode mode, const SerialTimeouts& timeouts = {}) {
        ASSERT_EQ(dev->open(pty.slave(), mode), S::ok);
        ASSERT_EQ(dev->setState(SerialLineSettings{}), S::ok);
        ASSERT_EQ(dev->setTimeouts(timeouts), S::ok);
    }

    // Link-mode reading as the reader thread does it, until `count` bytes
    // came or the wait ended otherwise.
    Bytes readLink(std::size_t count, SerialStatus& last) {
        Bytes got;
        std::uint8_t buf[64];
        while (got.size() < count) {
            last = dev->waitForInput();
            if (last != S::ok) return got;
            std::size_t waiting = dev->bytesWaiting();
            EXPECT_GT(waiting, 0u) << "wait said ok with nothing waiting";
            SerialIo io = dev->read(buf, std::min(sizeof buf, waiting));
            last = io.status;
            if (io.status != S::ok) return got;
            got.insert(got.end(), buf, buf + io.bytes);
        }
        return got;
    }

    Pty pty;
    std::unique_ptr<SerialDevice> dev = makeSerialDevice();
};

// ---- line settings ----

TEST_F(PosixSerial, SetStateMakesTheLineRawAndBinaryClean) {
    dirtySlave(pty.slave());
    ASSERT_EQ(dev->open(pty.slave(), SerialMode::probe), S::ok);

    SerialLineSettings before;
    ASSERT_EQ(dev->getState(before), S::ok);
    // Recent kernels force a pty to 8 bits without parity, so only these
    // parts of the earlier program's state are sure to be there.
    EXPECT_EQ(before.baudRate, 1200u);
    EXPECT_EQ(before.stopBits, StopBits::two);
    EXPECT_FALSE(before.ctsOutputFlow);

    ASSERT_EQ(dev->setState(SerialLineSettings{}), S::ok);
    SerialLineSettings after;
    ASSERT_EQ(dev->getState(after), S::ok);
    EXPECT_EQ(after.baudRate, 9600u);
    EXPECT_EQ(after.byteSize, 8);
    EXPECT_EQ(after.parity, Parity::none);
    EXPECT_EQ(after.stopBits, StopBits::one);
    EXPECT_TRUE(after.ctsOutputFlow);
    dev->close();

    const termios t = slaveTermios(pty.slave());
    EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B9600));
    const struct {
        const char* flag;
        tcflag_t field;
        tcflag_t mask;
        tcflag_t want;
    } rows[] = {
        {"CS8", t.c_cflag, CSIZE, CS8},
        {"PARENB clear", t.c_cflag, PARENB, 0},
        {"CSTOPB clear", t.c_cflag, CSTOPB, 0},
        {"CRTSCTS set", t.c_cflag, CRTSCTS, CRTSCTS},
        {"CLOCAL set", t.c_cflag, CLOCAL, CLOCAL},
        {"CREAD set", t.c_cflag, CREAD, CREAD},
        {"IXON clear", t.c_iflag, IXON, 0},
        {"IXOFF clear", t.c_iflag, IXOFF, 0},
        {"IXANY clear", t.c_iflag, IXANY, 0},
        {"INPCK clear", t.c_iflag, INPCK, 0},
        {"PARMRK clear", t.c_iflag, PARMRK, 0},
        {"ISTRIP clear", t.c_iflag, ISTRIP, 0},
        {"ICRNL clear", t.c_iflag, ICRNL, 0},
        {"INLCR clear", t.c_iflag, INLCR, 0},
        {"IGNCR clear", t.c_iflag, IGNCR, 0},
        {"BRKINT clear", t.c_iflag, BRKINT, 0},
        {"OPOST clear", t.c_oflag, OPOST, 0},
        {"ICANON clear", t.c_lflag, ICANON, 0},
        {"ECHO clear", t.c_lflag, ECHO, 0},
        {"ISIG clear", t.c_lflag, ISIG, 0},
        {"IEXTEN clear", t.c_lflag, IEXTEN, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.flag);
        EXPECT_EQ(r.field & r.mask, r.want);
    }
}

TEST_F(PosixSerial, SettingsRoundTripOrAreRefused) {
    const struct {
        const char* name;
        SerialLineSettings settings;
        SerialStatus expected;
    } rows[] = {
        // A pty keeps speed, stop bits and CTS flow; recent kernels force
        // 8 bits without parity, so other frames are left out here.
        {"program default", {9600, 8, Parity::none, StopBits::one, true}, S::ok},
        {"two stop bits", {19200, 8, Parity::none, StopBits::two, false}, S::ok},
        {"fast without flow control", {115200, 8, Parity::none, StopBits::one, false}, S::ok},
        {"slow", {300, 8, Parity::none, StopBits::one, true}, S::ok},
        {"unknown baud rate", {12345, 8, Parity::none, StopBits::one, true}, S::failed},
        {"nine data bits", {9600, 9, Parity::none, StopBits::one, true}, S::failed},
        {"four data bits", {9600, 4, Parity::none, StopBits::one, true}, S::failed},
        {"unknown parity code", {9600, 8, static_cast<Parity>(5), StopBits::one, true}, S::failed},
        {"unknown stop-bit code", {9600, 8, Parity::none, static_cast<StopBits>(3), true}, S::failed},
        {"one and a half stops with eight bits", {9600, 8, Parity::none, StopBits::oneAndHalf, true}, S::failed},
    };
    ASSERT_EQ(dev->open(pty.slave(), SerialMode::probe), S::ok);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(dev->setState(r.settings), r.expected);
        if (r.expected != S::ok) continue;
        SerialLineSettings got;
        ASSERT_EQ(dev->getState(got), S::ok);
        EXPECT_EQ(got.baudRate, r.settings.baudRate);
        EXPECT_EQ(got.byteSize, r.settings.byteSize);
        EXPECT_EQ(got.parity, r.settings.parity);
        EXPECT_EQ(got.stopBits, r.settings.stopBits);
        EXPECT_EQ(got.ctsOutputFlow, r.settings.ctsOutputFlow);
    }
}

// ---- drivers that keep only part of the settings ----

// A driver between the back end and the pty: every tcsetattr reaches the pty
// as given (and is recorded), every tcgetattr reports what the pty holds
// changed by `reportBack` -- the way a driver shows what it did not keep.
struct PartialDriverCase {
    const char* name;
    void (*reportBack)(termios&);
    SerialStatus expected;
    bool ctsReported;  // what getState() says about CTS flow afterwards (ok rows)
};

class PosixPartialDriver : public PosixSerial, public ::testing::WithParamInterface<PartialDriverCase> {};

TEST_P(PosixPartialDriver, FrameAndBinaryLineAreRequiredCtsFlowIsNot) {
    const auto& c = GetParam();
    auto applied = std::make_shared<std::vector<termios>>();
    dev = makePosixSerialDevice(TermiosCalls{
        [report = c.reportBack](int fd, termios& out) {
            if (::tcgetattr(fd, &out) != 0) return -1;
            report(out);
            return 0;
        },
        [applied](int fd, int when, const termios& in) {
            applied->push_back(in);
            return ::tcsetattr(fd, when, &in);
        }});
    dirtySlave(pty.slave());
    ASSERT_EQ(dev->open(pty.slave(), SerialMode::probe), S::ok);

    EXPECT_EQ(dev->setState(SerialLineSettings{}), c.expected);
    // CTS flow control is always asked for, whether or not the driver keeps it.
    ASSERT_EQ(applied->size(), 1u);
    EXPECT_NE(applied->back().c_cflag & CRTSCTS, 0u);
    if (c.expected != S::ok) return;

    SerialLineSettings now;
    ASSERT_EQ(dev->getState(now), S::ok);
    EXPECT_EQ(now.baudRate, 9600u);
    EXPECT_EQ(now.ctsOutputFlow, c.ctsReported);

    // The port accepted is usable: the greeting goes out, the answer comes in.
    ASSERT_EQ(dev->setTimeouts({0, 0, 2000, 0, 5000}), S::ok);
    const Bytes greeting = textBytes("/uni\\");
    const SerialIo sent = dev->write(greeting.data(), greeting.size());
    EXPECT_EQ(sent.status, S::ok);
    EXPECT_EQ(pty.receive(greeting.size()), greeting);
    ASSERT_TRUE(pty.send("/xyz\\"));
    Bytes answer(5, 0);
    const SerialIo got = dev->read(answer.data(), answer.size());
    EXPECT_EQ(got.status, S::ok);
    EXPECT_EQ(answer, textBytes("/xyz\\"));
}

INSTANTIATE_TEST_SUITE_P(
    Drivers, PosixPartialDriver,
    ::testing::Values(
        PartialDriverCase{"KeepsEverything", [](termios&) {}, S::ok, true},
        PartialDriverCase{"DropsCtsFlowControl", [](termios& tio) { tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS); },
                          S::ok, false},
        PartialDriverCase{"DropsCtsAndKeepsAnotherBaudRate",
                          [](termios& tio) {
                              tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
                              ::cfsetospeed(&tio, B19200);
                          },
                          S::failed, false},
        PartialDriverCase{"KeepsAnotherBaudRate", [](termios& tio) { ::cfsetospeed(&tio, B4800); }, S::failed, true},
        PartialDriverCase{"KeepsSevenDataBits",
                          [](termios& tio) { tio.c_cflag = (tio.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS7; },
                          S::failed, true},
        PartialDriverCase{"KeepsEvenParity", [](termios& tio) { tio.c_cflag |= PARENB; }, S::failed, true},
        PartialDriverCase{"KeepsTwoStopBits", [](termios& tio) { tio.c_cflag |= CSTOPB; }, S::failed, true},
        PartialDriverCase{"KeepsXonXoff", [](termios& tio) { tio.c_iflag |= IXON | IXOFF; }, S::failed, true},
        PartialDriverCase{"KeepsParityChecking", [](termios& tio) { tio.c_iflag |= INPCK; }, S::failed, true},
        PartialDriverCase{"KeepsParityMarking", [](termios& tio) { tio.c_iflag |= PARMRK; }, S::failed, true},
        PartialDriverCase{"KeepsEighthBitStripping", [](termios& tio) { tio.c_iflag |= ISTRIP; }, S::failed, true},
        PartialDriverCase{"KeepsCrToNlMapping", [](termios& tio) { tio.c_iflag |= ICRNL; }, S::failed, true},
        PartialDriverCase{"KeepsOutputProcessing", [](termios& tio) { tio.c_oflag |= OPOST; }, S::failed, true},
        PartialDriverCase{"KeepsCanonicalInput", [](termios& tio) { tio.c_lflag |= ICANON; }, S::failed, true},
        PartialDriverCase{"KeepsEcho", [](termios& tio) { tio.c_lflag |= ECHO; }, S::failed, true},
        PartialDriverCase{"KeepsSignalCharacters", [](termios& tio) { tio.c_lflag |= ISIG; }, S::failed, true}),
    [](const auto& row) { return std::string(row.param.name); });

// ---- data ----

TEST_F(PosixSerial, EveryByteValueCrossesUnchangedBothWays) {
    dirtySlave(pty.slave());
    // A short write limit: if XON/XOFF were still on, a 0x13 from the far
    // side would hold our output, and the test should fail soon, not hang.
    openConfigured(SerialMode::link, {100, 500, 500, 0, 500});

    // The unit's side sends while the program's side writes: reader thread
    // and writer on one descriptor at the same time.
    SerialStatus last = S::ok;
    auto received = std::async(std::launch::async, [&] { return readLink(256 * 4, last); });
    Bytes expected;
    for (int round = 0; round < 4; ++round) {
        const Bytes all = allByteValues();
        SerialIo io = dev->write(all.data(), all.size());
        EXPECT_EQ(io.status, S::ok);
        EXPECT_EQ(io.bytes, all.size());
        if (!pty.send(all)) {
            ADD_FAILURE() << "the far side took fewer bytes";
            break;
        }
        expected.insert(expected.end(), all.begin(), all.end());
    }
    EXPECT_EQ(pty.receive(expected.size()), expected);
    if (received.wait_for(kIoLimit) != std::future_status::ready) dev->close();  // unblock, then fail below
    EXPECT_EQ(received.get(), expected);
    EXPECT_EQ(last, S::ok);
    EXPECT_EQ(dev->bytesWaiting(), 0u);
}

struct ProbeReadCase {
    const char* name;
    SerialTimeouts timeouts;
    std::string sent;        // what the unit sent before the read
    std::size_t size;        // bytes asked for
    SerialStatus expected;
    std::size_t got;         // bytes returned
};

class PosixProbeRead : public PosixSerial, public ::testing::WithParamInterface<ProbeReadCase> {};

TEST_P(PosixProbeRead, ReturnsWhatCameWithinTheTimeouts) {
    const auto& c = GetParam();
    openConfigured(SerialMode::probe, c.timeouts);
    ASSERT_TRUE(pty.send(c.sent));
    // Let the bytes reach the slave's queue first: the case is about what
    // the read does with them, not about when they travel.
    auto end = std::chrono::steady_clock::now() + kIoLimit;
    while (dev->bytesWaiting() < c.sent.size() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(dev->bytesWaiting(), c.sent.size());

    Bytes buf(c.size + 1, 0xEE);
    SerialIo io = dev->read(buf.data(), c.size);
    EXPECT_EQ(io.status, c.expected) << serialStatusText(io.status);
    ASSERT_EQ(io.bytes, c.got);
    EXPECT_EQ(std::string(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(io.bytes)), c.sent.substr(0, c.got));
    EXPECT_EQ(buf[c.size], 0xEE) << "read past the buffer";
    EXPECT_EQ(dev->bytesWaiting(), c.sent.size() - c.got);
}

INSTANTIATE_TEST_SUITE_P(
    Timeouts, PosixProbeRead,
    ::testing::Values(
        ProbeReadCase{"AllArrivedIsOk", {0, 0, 100, 0, 0}, "/xyz\\", 5, S::ok, 5},
        ProbeReadCase{"FewerThanAskedTimesOut", {0, 0, 100, 0, 0}, "/xy", 5, S::timeout, 3},
        ProbeReadCase{"NothingTimesOut", {0, 0, 100, 0, 0}, "", 5, S::timeout, 0},
        ProbeReadCase{"MoreThanAskedStaysQueued", {0, 0, 100, 0, 0}, "/xyz\\/V01", 5, S::ok, 5},
        ProbeReadCase{"MultiplierAloneBoundsTheRead", {0, 20, 0, 0, 0}, "/x", 5, S::timeout, 2},
        ProbeReadCase{"GapAfterLastByteEndsTheRead", {50, 0, 0, 0, 0}, "/xyz", 5, S::timeout, 4},
        ProbeReadCase{"MaxIntervalReturnsAtOnce", {0xFFFFFFFFu, 0, 0, 0, 0}, "/", 5, S::timeout, 1},
        ProbeReadCase{"BinaryBytesUntouched", {0, 0, 100, 0, 0}, std::string("\r\n\x11\x13\0", 5), 5, S::ok, 5}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(PosixSerial, ProbeGreetingWrittenByteByByteArrives) {
    openConfigured(SerialMode::probe, {0, 0, 2000, 0, 5000});
    ASSERT_EQ(dev->purge(), S::ok);
    for (char c : std::string("/uni\\")) {
        auto byte = static_cast<std::uint8_t>(c);
        SerialIo io = dev->write(&byte, 1);
        EXPECT_EQ(io.status, S::ok);
        EXPECT_EQ(io.bytes, 1u);
    }
    EXPECT_EQ(pty.receive(5), textBytes("/uni\\"));
}

TEST_F(PosixSerial, PurgeDropsWhatWaits) {
    openConfigured(SerialMode::probe, {0, 0, 100, 0, 0});
    ASSERT_TRUE(pty.send("stale bytes"));
    auto end = std::chrono::steady_clock::now() + kIoLimit;
    while (dev->bytesWaiting() < 11 && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
    ASSERT_EQ(dev->bytesWaiting(), 11u);
    ASSERT_EQ(dev->purge(), S::ok);
    EXPECT_EQ(dev->bytesWaiting(), 0u);
}

// The upgrade drops the unit's chatter right after its own command went
// out: what waits to be read goes, what was written still reaches the unit,
// and bytes that come afterwards are read as usual.
TEST_F(PosixSerial, ReceivePurgeDropsWhatWaitsAndKeepsWhatWasWritten) {
    openConfigured(SerialMode::link, {0xFFFFFFFFu, 0, 0, 0, 500});
    ASSERT_TRUE(pty.send("chatter"));
    auto end = std::chrono::steady_clock::now() + kIoLimit;
    while (dev->bytesWaiting() < 7 && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
    ASSERT_EQ(dev->bytesWaiting(), 7u);
    const Bytes command = textBytes("/UPGRADE\\");
    ASSERT_EQ(dev->write(command.data(), command.size()).status, S::ok);
    ASSERT_EQ(dev->purgeReceive(), S::ok);
    EXPECT_EQ(dev->bytesWaiting(), 0u);
    EXPECT_EQ(pty.receive(command.size()), command);
    ASSERT_TRUE(pty.send("|\b"));
    ASSERT_EQ(dev->waitForInput(), S::ok);
    std::uint8_t got[2] = {};
    end = std::chrono::steady_clock::now() + kIoLimit;
    std::size_t n = 0;
    while (n < 2 && std::chrono::steady_clock::now() < end) n += dev->read(got + n, 2 - n).bytes;
    EXPECT_EQ(Bytes(got, got + n), textBytes("|\b"));
}

// The far side reads nothing, so the pty's buffer fills: the write gives up
// at its time-out and says how much went, instead of blocking the caller.
TEST_F(PosixSerial, WriteThatCannotFinishReportsTimeoutWithTheCount) {
    openConfigured(SerialMode::link, {0, 0, 0, 0, 50});
    Bytes big(1 << 20, 'x');
    SerialIo io = dev->write(big.data(), big.size());
    EXPECT_EQ(io.status, S::timeout);
    EXPECT_GT(io.bytes, 0u);
    EXPECT_LT(io.bytes, big.size());
}

// More than the pty holds: the write waits for room while the far side
// drains, and all bytes arrive in order.
TEST_F(PosixSerial, WriteLargerThanTheQueueWaitsForRoom) {
    openConfigured(SerialMode::link, {0, 0, 0, 0, 30000});
    Bytes big(256 * 1024);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    auto drained = std::async(std::launch::async, [&] { return pty.receive(big.size()); });
    SerialIo io = dev->write(big.data(), big.size());
    EXPECT_EQ(io.status, S::ok) << serialStatusText(io.status);
    EXPECT_EQ(io.bytes, big.size());
    EXPECT_EQ(drained.get(), big);
}

// close() from another thread ends a probe read or a write that is waiting,
// with what had been done so far.
TEST_F(PosixSerial, CloseEndsAWaitingProbeReadAndWrite) {
    const struct {
        const char* name;
        std::function<SerialIo(SerialDevice&)> call;
    } rows[] = {
        {"probe read without total limit",
         [](SerialDevice& d) {
             std::uint8_t buf[5];
             return d.read(buf, sizeof buf);
         }},
        {"write into a full queue", [](SerialDevice& d) {
             Bytes big(1 << 20, 'x');
             return d.write(big.data(), big.size());
         }},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Pty local;
        ASSERT_TRUE(local.ok());
        auto d = makeSerialDevice();
        ASSERT_EQ(d->open(local.slave(), SerialMode::probe), S::ok);
        ASSERT_EQ(d->setState(SerialLineSettings{}), S::ok);
        ASSERT_EQ(d->setTimeouts({}), S::ok);  // no limits: only close() ends them
        std::atomic<pid_t> tid{0};
        auto call = std::async(std::launch::async, [&] {
            tid = threadId();
            return r.call(*d);
        });
        while (tid == 0) std::this_thread::yield();
        const bool blocked = blockedInPoll(tid);
        d->close();
        ASSERT_TRUE(blocked) << "the call never reached poll()";
        ASSERT_EQ(call.wait_for(kIoLimit), std::future_status::ready);
        EXPECT_EQ(call.get().status, S::woken);
    }
}

// ---- waits ----

struct WaitCase {
    const char* name;
    std::function<void(Pty&, SerialDevice&)> act;  // done while the reader is blocked
    SerialStatus first;
    bool stillOpen;
    SerialStatus next;  // a second wait right after (only when it cannot block)
};

class PosixWait : public PosixSerial, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(PosixWait, BlockedWaitEndsForEachReason) {
    const auto& c = GetParam();
    openConfigured(SerialMode::link, {100, 500, 500, 100, 500});
    std::atomic<pid_t> tid{0};
    auto waited = std::async(std::launch::async, [&] {
        tid = threadId();
        return dev->waitForInput();
    });
    while (tid == 0) std::this_thread::yield();
    if (!blockedInPoll(tid)) {
        dev->close();  // lets the waiting thread end before the test does
        FAIL() << "the reader never reached poll()";
    }
    c.act(pty, *dev);
    if (waited.wait_for(kIoLimit) != std::future_status::ready) {
        dev->close();
        FAIL() << "the wait did not end";
    }
    SerialStatus first = waited.get();
    EXPECT_EQ(first, c.first) << serialStatusText(first);
    EXPECT_EQ(dev->isOpen(), c.stillOpen);
    if (c.next != S::woken) {
        EXPECT_EQ(dev->waitForInput(), c.next);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, PosixWait,
    ::testing::Values(
        WaitCase{"InputArrives", [](Pty& p, SerialDevice&) { ASSERT_TRUE(p.send("S")); }, S::ok, true, S::ok},
        // A second wait after a wake blocks again: not run.
        WaitCase{"Wake", [](Pty&, SerialDevice& d) { d.wake(); }, S::woken, true, S::woken},
        WaitCase{"CloseFromAnotherThread", [](Pty&, SerialDevice& d) { d.close(); }, S::woken, false, S::notOpen},
        WaitCase{"FarSideCloses", [](Pty& p, SerialDevice&) { p.closeMaster(); }, S::deviceGone, true,
                 S::deviceGone}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(PosixSerial, WakeKeepsThePortOpenAndIsNotLost) {
    openConfigured(SerialMode::link);
    dev->wake();  // before anybody waits: the next wait still ends
    EXPECT_EQ(dev->waitForInput(), S::woken);
    EXPECT_TRUE(dev->isOpen());
    ASSERT_TRUE(pty.send("x"));
    EXPECT_EQ(dev->waitForInput(), S::ok);
    std::uint8_t b = 0;
    SerialIo io = dev->read(&b, 1);
    EXPECT_EQ(io.status, S::ok);
    EXPECT_EQ(io.bytes, 1u);
    EXPECT_EQ(b, 'x');
    io = dev->read(&b, 1);  // link reads never block
    EXPECT_EQ(io.status, S::ok);
    EXPECT_EQ(io.bytes, 0u);
}

// A hung-up pty reports "readable, hung up" forever; the back end must turn
// that into deviceGone every time without burning the CPU.
TEST_F(PosixSerial, HangUpIsReportedWithoutSpinning) {
    openConfigured(SerialMode::link);
    pty.closeMaster();
    auto result = std::async(std::launch::async, [&] {
        std::vector<SerialStatus> seen;
        seen.push_back(dev->waitForInput());
        const double cpuStart = threadCpuSeconds();
        const auto wallStart = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - wallStart < 1s) {
            seen.push_back(dev->waitForInput());
            std::this_thread::sleep_for(50ms);
        }
        return std::make_pair(seen, threadCpuSeconds() - cpuStart);
    });
    if (result.wait_for(kIoLimit) != std::future_status::ready) {
        dev->close();
        FAIL() << "a wait on a hung-up line did not return";
    }
    auto [seen, cpu] = result.get();
    ASSERT_GE(seen.size(), 2u);
    for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], S::deviceGone) << "wait " << i;
    EXPECT_LT(cpu, 0.3) << "CPU seconds used by waits on a hung-up line";
    RecordProperty("waits", static_cast<int>(seen.size()));
    RecordProperty("cpu_microseconds", static_cast<int>(cpu * 1e6));

    std::uint8_t b = 0;
    EXPECT_EQ(dev->read(&b, 1).status, S::deviceGone);
    EXPECT_EQ(dev->write(&b, 1).status, S::deviceGone);
}

// ---- open ----

TEST_F(PosixSerial, SecondOpenIsRefusedUntilTheFirstCloses) {
    ASSERT_EQ(dev->open(pty.slave(), SerialMode::link), S::ok);
    auto second = makeSerialDevice();
    EXPECT_EQ(second->open(pty.slave(), SerialMode::probe), S::busy);
    EXPECT_FALSE(second->isOpen());
    dev->close();
    EXPECT_EQ(second->open(pty.slave(), SerialMode::probe), S::ok);
}

TEST_F(PosixSerial, CloseWithAReaderBlockedFreesThePortAtOnce) {
    openConfigured(SerialMode::link);
    std::atomic<pid_t> tid{0};
    auto waited = std::async(std::launch::async, [&] {
        tid = threadId();
        return dev->waitForInput();
    });
    while (tid == 0) std::this_thread::yield();
    if (!blockedInPoll(tid)) {
        dev->close();  // lets the waiting thread end before the test does
        FAIL() << "the reader never reached poll()";
    }
    dev->close();
    // The reader may still be on its way out, yet the port can be taken.
    auto other = makeSerialDevice();
    EXPECT_EQ(other->open(pty.slave(), SerialMode::probe), S::ok);
    ASSERT_EQ(waited.wait_for(kIoLimit), std::future_status::ready);
    EXPECT_EQ(waited.get(), S::woken);
}

TEST(PosixSerialOpen, FailuresHaveTheirOwnStatus) {
    namespace fs = std::filesystem;
    std::string dir = (fs::temp_directory_path() / "velmora-open-XXXXXX").string();
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    const std::string plainFile = dir + "/plain";
    std::ofstream(plainFile) << "not a terminal";
    const struct {
        const char* name;
        std::string device;
        SerialStatus expected;
    } rows[] = {
        {"missing device", dir + "/ttyUSB9", S::notFound},
        {"missing directory", dir + "/none/ttyUSB0", S::notFound},
        {"empty name", "", S::notFound},
        {"embedded NUL", std::string("/dev/null\0x", 11), S::notFound},
        {"not a terminal", "/dev/null", S::failed},
        {"plain file", plainFile, S::failed},
        {"directory", dir, S::failed},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        auto dev = makeSerialDevice();
        EXPECT_EQ(dev->open(r.device, SerialMode::probe), r.expected);
        EXPECT_FALSE(dev->isOpen());
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
}

TEST(PosixSerialOpen, StepsNeedAnOpenPort) {
    auto dev = makeSerialDevice();
    SerialLineSettings s;
    std::uint8_t b = 0;
    const struct {
        const char* step;
        std::function<SerialStatus()> call;
    } rows[] = {
        {"getState", [&] { return dev->getState(s); }},
        {"setState", [&] { return dev->setState(s); }},
        {"setQueueSizes", [&] { return dev->setQueueSizes(1024, 1024); }},
        {"setTimeouts", [&] { return dev->setTimeouts({}); }},
        {"purge", [&] { return dev->purge(); }},
        {"purgeReceive", [&] { return dev->purgeReceive(); }},
        {"waitForInput", [&] { return dev->waitForInput(); }},
        {"read", [&] { return dev->read(&b, 1).status; }},
        {"write", [&] { return dev->write(&b, 1).status; }},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.step);
        EXPECT_EQ(r.call(), S::notOpen);
    }
    EXPECT_EQ(dev->bytesWaiting(), 0u);
    dev->wake();
    dev->close();
    dev->close();
    EXPECT_FALSE(dev->isOpen());
}

}  // namespace
