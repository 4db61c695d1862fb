// Debian's pdudaemon drives the simulated unit through velmoractl with its
// local-command driver and the configuration in cli/pdudaemon/: requests
// sent with its own client switch the unit's outlets.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>

#include <filesystem>
#include <fstream>

#include "support/child_process.h"
#include "sim/pty_simulator.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

using test::ChildProcess;
using testing_support::TempFolder;
using testing_support::readBytes;
using testing_support::writeBytes;

constexpr const char* kDaemon = "/usr/sbin/pdudaemon";
constexpr const char* kClient = "/usr/bin/pduclient";
constexpr int kDaemonPort = 16421;  // pduclient knows no other

bool listening() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(kDaemonPort);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
}

class PduDaemon : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(kDaemon) || !std::filesystem::exists(kClient))
            GTEST_SKIP() << "pdudaemon is not installed here (scripts/setup installs the Debian packages pdudaemon "
                            "and pdudaemon-client)";
        // One daemon on the port at a time, whoever else runs this test.
        lockFd_ = ::open("/tmp/velmora-pdudaemon-test.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        ASSERT_GE(lockFd_, 0);
        ASSERT_EQ(::flock(lockFd_, LOCK_EX), 0);
        ASSERT_FALSE(listening()) << "port 16421, the only one pduclient talks to, is taken (a pdudaemon service "
                                     "running on this machine? stop it first)";

        sim::UnitConfig config;
        config.banks = 2;
        unit_ = std::make_unique<sim::PtySimulator>(config);
        ASSERT_TRUE(unit_->start());

        std::string conf = readBytes(VELMORA_PDUDAEMON_CONF);
        ASSERT_FALSE(conf.empty());
        replaceAll(conf, "/usr/local/bin/velmoractl", VELMORACTL_PROGRAM);
        replaceAll(conf, "/dev/ttyUSB0", unit_->slavePath());
        replaceAll(conf, "/run/lock/velmoractl.lock", (folder_ / "velmoractl.lock").string());
        writeBytes(folder_ / "pdudaemon.conf", conf);

        daemon_ = std::make_unique<ChildProcess>(
            kDaemon, std::vector<std::string>{"--conf", (folder_ / "pdudaemon.conf").string()}, folder_.path(),
            "pdudaemon");
        ASSERT_TRUE(daemon_->started());
        for (int i = 0; i < 3000 && !listening(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(listening()) << daemon_->out() << daemon_->err();
    }

    void TearDown() override {
        if (daemon_) {
            daemon_->signal(SIGTERM);
            daemon_->wait(std::chrono::seconds(20));
        }
        if (unit_) unit_->stop();
        if (lockFd_ >= 0) ::close(lockFd_);
    }

    // pduclient --daemon 127.0.0.1 --hostname PDU --port N --command C
    void request(const std::string& pdu, int port, const std::string& command, int delay = -1) {
        std::vector<std::string> args = {"--daemon", "127.0.0.1", "--hostname", pdu, "--port", std::to_string(port),
                                         "--command", command};
        if (delay >= 0) {
            args.push_back("--delay");
            args.push_back(std::to_string(delay));
        }
        ChildProcess client(kClient, args, folder_.path(), "pduclient");
        ASSERT_TRUE(client.wait());
        ASSERT_EQ(client.exitCode(), 0) << client.out() << client.err() << daemon_->out() << daemon_->err();
    }

    bool outletReads(int bank, int port, bool on) {
        return unit_->waitUntil([&](const sim::UnitModel& m) { return m.portOn(bank, port) == on; },
                                std::chrono::seconds(20));
    }

    TempFolder folder_;
    int lockFd_ = -1;
    std::unique_ptr<sim::PtySimulator> unit_;
    std::unique_ptr<ChildProcess> daemon_;
};

TEST_F(PduDaemon, OnOffAndRebootSwitchTheUnitsOutlets) {
    request("velmora-bank1", 3, "on");
    EXPECT_TRUE(outletReads(1, 3, true));
    request("velmora-bank2", 8, "on");
    EXPECT_TRUE(outletReads(2, 8, true));
    request("velmora-bank1", 3, "off");
    EXPECT_TRUE(outletReads(1, 3, false));
    EXPECT_TRUE(unit_->withModel([](sim::UnitModel& m) { return m.portOn(2, 8); }));

    request("velmora-bank2", 8, "reboot", 1);
    EXPECT_TRUE(outletReads(2, 8, true));
    // Off first, then on again.
    const auto commands = unit_->commands();
    const auto lastOff = std::find(commands.rbegin(), commands.rend(), "F028");
    const auto lastOn = std::find(commands.rbegin(), commands.rend(), "O028");
    ASSERT_NE(lastOff, commands.rend());
    ASSERT_NE(lastOn, commands.rend());
    EXPECT_LT(lastOn - commands.rbegin(), lastOff - commands.rbegin());
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "O028"), 2);
}

}  // namespace
}  // namespace velmora
