// velmoractl as a program: exit codes and their messages as a script sees
// them, the port's one owner, the trace file, and SIGTERM.
#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include "support/child_process.h"
#include "platform/serial_device.h"
#include "sim/pty_simulator.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

using test::ChildProcess;
using testing_support::TempFolder;
using testing_support::readBytes;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct Outcome {
    int code;
    std::string out, err;
};

Outcome velmoractl(const std::vector<std::string>& args, const TempFolder& folder) {
    ChildProcess child(VELMORACTL_PROGRAM, args, folder.path());
    EXPECT_TRUE(child.started());
    EXPECT_TRUE(child.wait());
    return {child.exitCode(), child.out(), child.err()};
}

// A pty whose far side nobody answers: a unit that is switched off.
class DeadLine {
public:
    DeadLine() {
        fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0 || ::grantpt(fd_) != 0 || ::unlockpt(fd_) != 0) return;
        termios t{};
        if (::tcgetattr(fd_, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(fd_, TCSANOW, &t);
        }
        if (const char* n = ::ptsname(fd_)) path_ = n;
    }
    ~DeadLine() {
        if (fd_ >= 0) ::close(fd_);
    }
    const std::string& path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

struct ExitCase {
    const char* name;
    std::vector<std::string> args;
    int code;
    const char* says;  // on stderr
};

class VelmoractlExit : public ::testing::TestWithParam<ExitCase> {};

TEST_P(VelmoractlExit, CodeAndMessage) {
    TempFolder folder;
    const Outcome o = velmoractl(GetParam().args, folder);
    EXPECT_EQ(o.code, GetParam().code) << o.err;
    EXPECT_TRUE(has(o.err, GetParam().says)) << o.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, VelmoractlExit,
    ::testing::Values(ExitCase{"NoCommandShowsUsage", {}, 2, "Usage: velmoractl"},
                      ExitCase{"UnknownCommandPointsToHelp", {"--simulate", "dance"}, 2, "Try 'velmoractl --help'"},
                      ExitCase{"BadPortNumberSaysWhy", {"--simulate", "on", "1", "9"}, 2, "PORT must be"},
                      ExitCase{"MissingDevice", {"--port", "/dev/velmora-no-such-port", "status"}, 4, "no such device"},
                      ExitCase{"NotASerialPort", {"--port", "/dev/null", "status"}, 4, "not a serial port"},
                      ExitCase{"BankBeyondTheSimulatedUnit", {"--simulate=2", "on", "3", "1"}, 2, "has 2 banks"},
                      ExitCase{"UnreadableFirmware", {"--simulate", "upgrade", "/dev/null"}, 2, "cannot be read"}),
    [](const auto& p) { return std::string(p.param.name); });

// A mistake costs one screen line, not the whole usage.
TEST(Velmoractl, UsageErrorIsShortAndNamesTheMistake) {
    TempFolder folder;
    const Outcome o = velmoractl({"--simulate", "on", "1", "9"}, folder);
    EXPECT_EQ(o.code, 2);
    EXPECT_FALSE(has(o.err, "Usage: velmoractl")) << o.err;
    EXPECT_TRUE(has(o.err, "Try 'velmoractl --help' for more information.")) << o.err;
    EXPECT_LE(std::count(o.err.begin(), o.err.end(), '\n'), 2) << o.err;
}

TEST(Velmoractl, SimulatedStatusSucceedsAndHelpNeedsNoUnit) {
    TempFolder folder;
    const Outcome status = velmoractl({"--simulate=2", "--json", "status"}, folder);
    EXPECT_EQ(status.code, 0) << status.err;
    EXPECT_TRUE(has(status.out, "\"bankCount\":2")) << status.out;
    const Outcome help = velmoractl({"--help"}, folder);
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(has(help.out, "Exit codes"));
}

TEST(Velmoractl, SilentUnitExitsOne) {
    TempFolder folder;
    DeadLine line;
    ASSERT_FALSE(line.path().empty());
    const Outcome o = velmoractl({"--port", line.path(), "--timeout", "0.5", "status"}, folder);
    EXPECT_EQ(o.code, 1) << o.err;
    EXPECT_TRUE(has(o.err, "Could not find Velmora")) << o.err;
}

TEST(Velmoractl, PortHeldByAnotherProgramIsBusyAndLeftAlone) {
    TempFolder folder;
    sim::PtySimulator unit(sim::UnitConfig{});
    ASSERT_TRUE(unit.start());
    auto window = makeSerialDevice();  // the window holds the port
    ASSERT_EQ(window->open(unit.slavePath(), SerialMode::link), SerialStatus::ok);
    const Outcome o = velmoractl({"--port", unit.slavePath(), "on", "1", "1"}, folder);
    EXPECT_EQ(o.code, 4) << o.err;
    EXPECT_TRUE(has(o.err, "busy")) << o.err;
    EXPECT_TRUE(has(o.err, "(process " + std::to_string(::getpid()) + ")")) << "the holder is named: " << o.err;
    EXPECT_TRUE(unit.received().empty());
    EXPECT_FALSE(unit.withModel([](sim::UnitModel& m) { return m.portOn(1, 1); }));
    window->close();
}

TEST(Velmoractl, TraceFileHoldsTheSession) {
    TempFolder folder;
    sim::PtySimulator unit(sim::UnitConfig{});
    ASSERT_TRUE(unit.start());
    const auto trace = folder / "session.trace";
    const Outcome o = velmoractl({"--port", unit.slavePath(), "--trace", trace.string(), "on", "2", "4"}, folder);
    ASSERT_EQ(o.code, 0) << o.err;
    const std::string t = readBytes(trace);
    EXPECT_TRUE(has(t, " OPEN " + unit.slavePath() + " link ok\n")) << t;
    EXPECT_TRUE(has(t, " TX /\n")) << t;    // the greeting, a byte at a time
    EXPECT_TRUE(has(t, " RX /xyz\\\\\n")) << t;
    EXPECT_TRUE(has(t, " TX /O024\\\\\n")) << t;
    EXPECT_TRUE(has(t, " TX /C\\\\\n")) << t;
    EXPECT_TRUE(has(t, " CLOSE\n")) << t;
    // Every line: milliseconds, a tag, the bytes.
    std::istringstream lines(t);
    for (std::string line; std::getline(lines, line);) {
        ASSERT_GT(line.size(), 6u);
        EXPECT_NE(line.find('.'), std::string::npos) << line;
    }
}

TEST(Velmoractl, SigtermWhileWatchingEndsInOrderAndFreesThePort) {
    TempFolder folder;
    sim::PtySimulator unit(sim::UnitConfig{});
    ASSERT_TRUE(unit.start());
    ChildProcess child(VELMORACTL_PROGRAM, {"--port", unit.slavePath(), "watch"}, folder.path());
    ASSERT_TRUE(child.started());
    // Connected, polling, and the first report printed.
    ASSERT_TRUE(unit.waitForCommand("C", 1, std::chrono::seconds(20)));
    for (int i = 0; i < 4000 && !has(child.out(), "bank 1 port 8 "); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    child.signal(SIGTERM);
    ASSERT_TRUE(child.wait());
    EXPECT_TRUE(child.exited()) << "killed instead of ending by itself";
    EXPECT_EQ(child.exitCode(), 0) << child.err();
    EXPECT_TRUE(has(child.out(), "bank 1 port 1 ")) << child.out();
    // No one holds the port any more.
    auto next = makeSerialDevice();
    EXPECT_EQ(next->open(unit.slavePath(), SerialMode::link), SerialStatus::ok);
}

TEST(Velmoractl, SigintDuringACommandEndsWithTheShellsCode) {
    TempFolder folder;
    DeadLine line;  // nothing answers, so the command is still waiting
    ChildProcess child(VELMORACTL_PROGRAM, {"--port", line.path(), "--timeout", "30", "status"}, folder.path());
    ASSERT_TRUE(child.started());
    // Give it the port first; then interrupt it while it waits.
    for (int i = 0; i < 2000; ++i) {
        auto probe = makeSerialDevice();
        if (probe->open(line.path(), SerialMode::link) == SerialStatus::busy) break;
        probe->close();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    child.signal(SIGINT);
    ASSERT_TRUE(child.wait());
    EXPECT_TRUE(child.exited());
    EXPECT_EQ(child.exitCode(), 130) << child.err();
    auto next = makeSerialDevice();
    EXPECT_EQ(next->open(line.path(), SerialMode::link), SerialStatus::ok);
}

}  // namespace
}  // namespace velmora
