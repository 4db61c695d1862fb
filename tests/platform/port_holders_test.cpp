// Which programs hold a device: read from a process folder laid out as
// /proc is, and from this machine's own for a pseudo-terminal another
// process holds.

#include "platform/port_holders.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora {
namespace {

using testing_support::TempFolder;
using testing_support::writeBytes;
namespace fs = std::filesystem;

// A process folder: <pid>/comm and <pid>/fd/<n> links to files.
struct ProcessEntry {
    std::string pid;
    std::string comm;  // not written when empty
    std::vector<std::string> opened;
};

std::vector<int> pidsOf(const std::vector<PortHolder>& holders) {
    std::vector<int> pids;
    for (const PortHolder& h : holders) pids.push_back(h.pid);
    return pids;
}

TEST(PortHolders, FoundByTheFileTheirDescriptorsReferTo) {
    TempFolder folder;
    const fs::path device = folder / "device", other = folder / "other", proc = folder / "proc";
    writeBytes(device, "x");
    writeBytes(other, "y");
    fs::create_symlink(device, folder / "by-id");
    const std::vector<ProcessEntry> processes = {
        {"4242", "velmoractl\n", {other.string(), device.string()}},
        {"17", "velmora\n", {(folder / "by-id").string()}},  // through a link: the same device
        {"99", "", {device.string()}},                       // no command name: still listed
        {"300", "holdsOther\n", {other.string()}},
        {"301", "gone\n", {(folder / "missing").string()}},  // a stale descriptor link
        {"self", "notAProcess\n", {device.string()}},
        {"12x", "notAProcess\n", {device.string()}},
        {std::to_string(::getpid()), "me\n", {device.string()}},  // this process is never its own holder
    };
    for (const ProcessEntry& p : processes) {
        fs::create_directories(proc / p.pid / "fd");
        if (!p.comm.empty()) writeBytes(proc / p.pid / "comm", p.comm);
        int n = 3;
        for (const std::string& target : p.opened) fs::create_symlink(target, proc / p.pid / "fd" / std::to_string(n++));
    }

    const auto holders = portHoldersIn(proc.string(), device.string());
    EXPECT_EQ(pidsOf(holders), (std::vector<int>{17, 99, 4242}));
    EXPECT_EQ(describePortHolders(holders), "velmora (process 17), a program (process 99), velmoractl (process 4242)");
    EXPECT_EQ(pidsOf(portHoldersIn(proc.string(), (folder / "by-id").string())), pidsOf(holders));
    EXPECT_TRUE(portHoldersIn(proc.string(), (folder / "missing").string()).empty());
    EXPECT_TRUE(portHoldersIn((folder / "no-proc").string(), device.string()).empty());
    EXPECT_EQ(describePortHolders({}), "");
}

TEST(PortHolders, APseudoTerminalHeldByAnotherProcess) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave = ::ptsname(master);
    EXPECT_TRUE(portHolders(slave).empty()) << "nobody holds the slave yet";

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY);
        const char ok = fd >= 0 ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ::close(ready[0]);
    // This process holds the slave too, and is left out.
    const int mine = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    const auto holders = portHolders(slave);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(mine);
    ::close(master);
    ASSERT_EQ(ok, 'y');
    ASSERT_EQ(holders.size(), 1u);
    EXPECT_EQ(holders[0].pid, child);
    EXPECT_FALSE(holders[0].program.empty());
}

}  // namespace
}  // namespace velmora
