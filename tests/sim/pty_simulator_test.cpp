// The simulator on a real pseudo-terminal. These tests wait on real I/O
// with generous bounds; they never assert how fast anything is.
#include "sim/pty_simulator.h"
#include "platform/port_holders.h"
#include "sim_test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace velmora::sim;
using namespace std::chrono_literals;
using velmora::sim::testing::bytesOf;
using velmora::sim::testing::framedLines;

namespace {

constexpr auto kBound = 5s;

// The program's side of the line, reduced to what the tests need.
class Client {
public:
    explicit Client(const std::string& path, bool makeRaw = true) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ >= 0 && makeRaw) {
            termios t{};
            tcgetattr(fd_, &t);
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~Client() { close(); }
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool write(const std::string& s) {
        std::size_t done = 0;
        while (done < s.size()) {
            ssize_t n = ::write(fd_, s.data() + done, s.size() - done);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    // Reads until `count` bytes have come or the bound passed.
    std::string read(std::size_t count, std::chrono::milliseconds bound = kBound) {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + bound;
        while (got.size() < count) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            char buf[512];
            ssize_t n = ::read(fd_, buf, std::min(sizeof buf, count - got.size()));
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }
    // Reads until the text `until` has arrived or the bound passed.
    std::string readUntil(const std::string& until, std::chrono::milliseconds bound = kBound) {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + bound;
        while (got.find(until) == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            char buf[512];
            ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }
    // What a read gives once the line is gone: 0 or -1 with EIO, within the bound.
    bool readSeesHangUp(std::chrono::milliseconds bound = kBound) {
        const auto end = std::chrono::steady_clock::now() + bound;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            ::poll(&p, 1, 100);
            char c;
            ssize_t n = ::read(fd_, &c, 1);
            if (n == 0 || (n < 0 && errno == EIO)) return true;
        }
        return false;
    }

private:
    int fd_ = -1;
};

UnitConfig plainUnit(int banks = 2) {
    UnitConfig c;
    c.banks = banks;
    c.statusForm = StatusForm::combined;
    return c;
}

class PtySim : public ::testing::Test {
protected:
    void startWith(UnitConfig c, PtyOptions o = {}) {
        sim_ = std::make_unique<PtySimulator>(c, o);
        std::string error;
        ASSERT_TRUE(sim_->start(&error)) << error;
        ASSERT_FALSE(sim_->slavePath().empty());
    }
    std::unique_ptr<PtySimulator> sim_;
};

TEST_F(PtySim, GreetingWrittenByteByByteIsAnsweredExactly) {
    startWith(plainUnit());
    Client c(sim_->slavePath());
    ASSERT_TRUE(c.isOpen());
    for (char ch : std::string("/uni\\")) ASSERT_TRUE(c.write(std::string(1, ch)));
    // No echo of the command comes first: the side we opened is raw.
    EXPECT_EQ(c.read(5), "/xyz\\");
    EXPECT_TRUE(sim_->waitForCommand("uni", 1, kBound));
    EXPECT_EQ(bytesOf(sim_->received()), "/uni\\");
}

TEST_F(PtySim, SlaveIsRawBeforeTheProgramTouchesIt) {
    startWith(plainUnit());
    Client c(sim_->slavePath(), /*makeRaw=*/false);
    ASSERT_TRUE(c.isOpen());
    termios t{};
    ASSERT_EQ(tcgetattr(c.fd(), &t), 0);
    struct Row {
        const char* flag;
        bool set;
    };
    for (const Row& row : {Row{"ECHO", (t.c_lflag & ECHO) != 0}, Row{"ICANON", (t.c_lflag & ICANON) != 0},
                           Row{"ICRNL", (t.c_iflag & ICRNL) != 0}, Row{"OPOST", (t.c_oflag & OPOST) != 0},
                           Row{"IXON", (t.c_iflag & IXON) != 0}, Row{"ISIG", (t.c_lflag & ISIG) != 0}})
        EXPECT_FALSE(row.set) << row.flag;
    // Line ends cross untouched in both directions.
    ASSERT_TRUE(c.write("/UPGRADE\\"));
    EXPECT_EQ(c.readUntil("file\r\n"),
              "Firmware upgrade mode entered\r\nStart to upgrade firmware\r\nPlease send the file\r\n");
    ASSERT_TRUE(c.write("\r\n"));
    EXPECT_EQ(c.read(4), "|\b/\b");
}

TEST_F(PtySim, ClosedAndReopenedSlaveIsStillServed) {
    startWith(plainUnit());
    for (int round = 1; round <= 3; ++round) {
        Client c(sim_->slavePath());
        ASSERT_TRUE(c.isOpen()) << "round " << round;
        ASSERT_TRUE(c.write("/uni\\"));
        EXPECT_EQ(c.read(5), "/xyz\\") << "round " << round;
        ASSERT_TRUE(sim_->waitForCommand("uni", static_cast<std::size_t>(round), kBound));
    }
}

TEST_F(PtySim, SwitchingShowsInPortStatesAndTheNextPoll) {
    startWith(plainUnit());
    Client c(sim_->slavePath());
    ASSERT_TRUE(c.write("/O013\\/O020\\"));
    ASSERT_TRUE(sim_->waitForCommand("O020", 1, kBound));
    EXPECT_EQ(sim_->portStates(), (std::vector<std::string>{"CCOCCCCC", "OOOOOOOO"}));
    ASSERT_TRUE(c.write("/C\\"));
    const auto lines = framedLines(c.readUntil("13.5\\"));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "S1 CCOCCCCC GGGGGGGG 2.3");
    EXPECT_EQ(lines[2], "S2 OOOOOOOO GGGGGGGG 13.5");
}

TEST_F(PtySim, HangUpMakesTheClientReadEnd) {
    startWith(plainUnit());
    Client c(sim_->slavePath());
    ASSERT_TRUE(c.write("/uni\\"));
    ASSERT_EQ(c.read(5), "/xyz\\");
    sim_->hangUp();
    EXPECT_TRUE(sim_->waitForLineDropped(kBound));
    EXPECT_TRUE(c.readSeesHangUp());
}

TEST_F(PtySim, HangUpFaultDropsTheLineAtThePollAfterTheLimit) {
    UnitConfig u = plainUnit();
    u.faults.hangUpAfterPolls = 1;
    startWith(u);
    Client c(sim_->slavePath());
    ASSERT_TRUE(c.write("/C\\"));
    EXPECT_EQ(framedLines(c.readUntil("M2\\")).front(), "M2");
    EXPECT_FALSE(sim_->lineDropped());
    ASSERT_TRUE(c.write("/C\\"));
    EXPECT_TRUE(sim_->waitForLineDropped(kBound));
    EXPECT_TRUE(c.readSeesHangUp());
}

TEST_F(PtySim, PacedAnswersArriveWhole) {
    PtyOptions o;
    o.paced = true;
    startWith(plainUnit(16), o);
    Client c(sim_->slavePath());
    ASSERT_TRUE(c.write("/VER\\"));
    const std::string got = c.read(160, 10s);
    ASSERT_EQ(got.size(), 160u);
    const auto lines = framedLines(got);
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines[0], "V01 1203");
    EXPECT_EQ(lines[15], "V16 1203");
}

// Paced, the unit's bytes come no faster than the line carries them, each
// only once its slot on the line is over, also when the program answers
// every byte at once as in an upgrade. Only lower bounds: a slow machine
// can only make this slower.
TEST_F(PtySim, PacedBytesTakeTheirLineTimeAlsoInAQuickExchange) {
    PtyOptions o;
    o.paced = true;
    UnitConfig u = plainUnit();
    u.bannerEvery = 0;
    startWith(u, o);
    Client c(sim_->slavePath());
    const auto byteTime = std::chrono::microseconds(1000000 / 960);
    auto since = [](std::chrono::steady_clock::time_point t) { return std::chrono::steady_clock::now() - t; };

    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(c.write("/uni\\"));
    EXPECT_EQ(c.read(5), "/xyz\\");
    EXPECT_GE(since(start), 5 * byteTime) << "the first byte arrives when its slot is over";

    ASSERT_TRUE(c.write("/UPGRADE\\"));
    ASSERT_NE(c.readUntil("Please send the file\r\n").find("Please"), std::string::npos);
    constexpr int kBytes = 40;
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < kBytes; ++i) {
        ASSERT_TRUE(c.write("x"));
        ASSERT_EQ(c.read(2).size(), 2u) << "mark " << i;
    }
    EXPECT_GE(since(start), kBytes * 2 * byteTime) << "a mark and its backspace per byte";
}

TEST_F(PtySim, PacedCommandsAreTakenNoSoonerThanTheLineBringsThem) {
    // 96 bytes at 960 bytes a second take 100 ms on the wire: the answer
    // cannot start before the command's last byte would have arrived.
    PtyOptions o;
    o.paced = true;
    startWith(plainUnit(1), o);
    Client c(sim_->slavePath());
    const std::string filler(91, '#');  // outside any command: the unit skips it
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(c.write(filler + "/VER\\"));
    EXPECT_EQ(c.read(1, 10s), "/");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 95ms);
    EXPECT_EQ(c.read(9, 10s), "V01 1203\\");
    EXPECT_EQ(sim_->commands(), std::vector<std::string>{"VER"})
        << "the pty is also open in: " << velmora::describePortHolders(velmora::portHolders(sim_->slavePath()));
}

TEST_F(PtySim, TimersRunOnTheGivenTimeSource) {
    auto now = std::make_shared<std::atomic<std::int64_t>>(0);
    PtyOptions o;
    o.monotonicMs = [now] { return now->load(); };
    startWith(plainUnit(), o);
    Client c(sim_->slavePath());
    ASSERT_TRUE(c.write("/T0151 0000010\\"));
    EXPECT_EQ(c.read(7), "/E0151\\");
    EXPECT_FALSE(sim_->withModel([](UnitModel& m) { return m.portOn(1, 5); }));
    now->store(9999);
    EXPECT_FALSE(sim_->waitUntil([](const UnitModel& m) { return m.portOn(1, 5); }, 200ms))
        << "fired before its time";
    now->store(10000);
    EXPECT_TRUE(sim_->waitUntil([](const UnitModel& m) { return m.portOn(1, 5); }, kBound));
}

TEST_F(PtySim, UpgradeOverTheLine) {
    UnitConfig u = plainUnit();
    u.imageLength = 24;
    u.bannerEvery = 0;
    startWith(u);
    Client c(sim_->slavePath());
    ASSERT_TRUE(c.write("/UPGRADE\\"));
    ASSERT_NE(c.readUntil("Please send the file\r\n").find("Please"), std::string::npos);
    ASSERT_TRUE(c.write(std::string(20, 'a')));
    std::string marks = c.read(40);
    ASSERT_EQ(marks.size(), 40u);
    ASSERT_TRUE(c.write("bcde"));
    const std::string rest = c.readUntil("ready\r\n");
    EXPECT_EQ(rest, "|\b/\b-\b\\\bVersion 1.2.04 firmware ready\r\n");
    ASSERT_TRUE(c.write("/uni\\"));
    EXPECT_EQ(c.read(5), "/xyz\\");
}

TEST(PtySimLifecycle, StopIsIdempotentAndSafeBeforeStart) {
    PtySimulator never(plainUnit());
    never.stop();
    EXPECT_TRUE(never.slavePath().empty());
    PtySimulator sim(plainUnit());
    ASSERT_TRUE(sim.start());
    sim.stop();
    sim.stop();
    std::string error;
    EXPECT_FALSE(sim.start(&error)) << "a simulator serves one pty in its life";
    EXPECT_FALSE(error.empty());
}

}  // namespace
