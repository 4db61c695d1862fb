// One unit, many programs: `velmoractl serve` holds the simulated unit's
// port and every other velmoractl goes through it - one command, many at
// once, the shell - with the outputs and exit codes they have on the port
// itself.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "service/control_socket.h"
#include "sim/pty_simulator.h"
#include "support/child_process.h"
#include "support/temp_folder.h"
#include "support/unix_socket.h"

namespace velmora {
namespace {

using test::ChildProcess;
using testing_support::TempFolder;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string readAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Outcome {
    int code;
    std::string out, err;
};

class OwnerRig {
public:
    explicit OwnerRig(long imageLength = 0, bool versionsLost = false) {
        sim::UnitConfig c;
        c.banks = 2;
        c.imageLength = imageLength;
        c.faults.versionsLostAfterUpgrade = versionsLost;
        sim_ = std::make_unique<sim::PtySimulator>(c);
        started_ = sim_->start();
        // Every velmoractl of this test looks for owners here first.
        ::setenv("VELMORA_SOCKET_DIR", (folder_ / "sockets").c_str(), 1);
    }
    ~OwnerRig() {
        if (serve_) {
            serve_->signal(SIGTERM);
            serve_->wait();
        }
        ::unsetenv("VELMORA_SOCKET_DIR");
    }
    bool started() const { return started_; }
    sim::PtySimulator& sim() { return *sim_; }
    const std::string device() const { return sim_->slavePath(); }
    const TempFolder& folder() const { return folder_; }

    Outcome run(std::vector<std::string> args, const std::string& name = "child") {
        args.insert(args.begin(), {"--port", device()});
        return runAsGiven(std::move(args), name);
    }
    // Without --port: whatever velmoractl finds.
    Outcome runAsGiven(std::vector<std::string> args, const std::string& name = "child") {
        ChildProcess child(VELMORACTL_PROGRAM, args, folder_.path(), name);
        EXPECT_TRUE(child.wait());
        return {child.exitCode(), child.out(), child.err()};
    }
    // Starts serve and waits until it listens.
    bool serve() {
        serve_ = std::make_unique<ChildProcess>(VELMORACTL_PROGRAM,
                                                std::vector<std::string>{"--port", device(), "--trace",
                                                                         (folder_ / "serve.trace").string(), "serve"},
                                                folder_.path(), "serve");
        const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!has(serve_->out(), "Serving")) {
            if (std::chrono::steady_clock::now() > bound) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }
    ChildProcess& server() { return *serve_; }

private:
    TempFolder folder_;
    std::unique_ptr<sim::PtySimulator> sim_;
    std::unique_ptr<ChildProcess> serve_;
    bool started_ = false;
};

TEST(Owner, CommandsThroughServeLookAsOnThePortItself) {
    OwnerRig rig;
    ASSERT_TRUE(rig.started());
    const std::string schedule = (rig.folder().path() / "timers.txt").string();
    // Each runs on the port itself, then through serve: what the user sees
    // (output, messages, exit code) is the same both ways. The lines leave
    // the unit as they found it.
    const std::vector<std::vector<std::string>> lines = {
        {"status"},
        {"--json", "status"},
        {"--json", "version"},
        {"version"},
        {"schedule", "save", schedule},
        {"--json", "schedule", "save", schedule},
        {"schedule", "send", schedule},
        {"--json", "schedule", "send", schedule},
        {"off", "7", "1"},
        {"--json", "on", "3", "1"},
        {"on", "1", "3"},
        {"--json", "off", "1", "3"},
    };
    std::vector<Outcome> direct;
    for (const auto& line : lines) direct.push_back(rig.run(line));
    ASSERT_EQ(direct.front().code, 0) << direct.front().err;
    ASSERT_TRUE(rig.serve()) << rig.server().err();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Outcome through = rig.run(lines[i]);
        std::string line;
        for (const std::string& w : lines[i]) line += w + " ";
        EXPECT_EQ(through.code, direct[i].code) << line << through.err;
        EXPECT_EQ(through.out, direct[i].out) << line;
        EXPECT_EQ(through.err, direct[i].err) << line;
    }

    const std::size_t before = rig.sim().commands().size();
    const Outcome on = rig.run({"on", "1", "3"});
    EXPECT_EQ(on.code, 0) << on.err;
    EXPECT_EQ(on.out, "Bank 1 Port 3 is on\n");
    const std::vector<std::string> commands = rig.sim().commands();
    EXPECT_EQ(std::count(commands.begin() + static_cast<std::ptrdiff_t>(before), commands.end(), "O013"), 1);

    const Outcome wrongBank = rig.run({"off", "7", "1"});
    EXPECT_EQ(wrongBank.code, 2);
    EXPECT_TRUE(has(wrongBank.err, "bank 7 does not exist: the unit has 2 banks")) << wrongBank.err;

    // A second owner for the same port is refused.
    const Outcome second = rig.run({"serve"}, "second");
    EXPECT_EQ(second.code, 4) << second.out << second.err;
}

// serve upgrades for its clients: the image goes through it, nothing else
// reaches the unit meanwhile, and the new versions come back.
TEST(Owner, UpgradeThroughServeBringsTheNewFirmware) {
    OwnerRig rig(3002);
    ASSERT_TRUE(rig.started());
    ASSERT_TRUE(rig.serve()) << rig.server().err();
    std::string image(3000, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>((i * 37 + 11) & 0xFF);
    const std::filesystem::path file = rig.folder() / "fw.x";
    std::ofstream(file, std::ios::binary) << image;
    const Outcome upgrade = rig.run({"upgrade", file.string()});
    EXPECT_EQ(upgrade.code, 0) << upgrade.err;
    EXPECT_TRUE(has(upgrade.out, "Firmware Upgrade Completed (3000 bytes")) << upgrade.out;
    EXPECT_TRUE(has(upgrade.out, "Bank  1  1204")) << upgrade.out << upgrade.err;
    // Exactly the file, its end byte and the zero behind it after the command.
    const std::vector<std::uint8_t> line = rig.sim().received();
    const std::string all(line.begin(), line.end());
    const std::size_t at = all.find("/UPGRADE\\");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(all.substr(at + 9, image.size() + 2), image + std::string("\xFF\x00", 2));
    const Outcome after = rig.run({"on", "2", "2"});
    EXPECT_EQ(after.code, 0) << after.err;
    // serve itself came through it all and ends as asked.
    rig.server().signal(SIGTERM);
    ASSERT_TRUE(rig.server().wait());
    EXPECT_EQ(rig.server().exitCode(), 128 + SIGTERM) << rig.server().err();
}

// New firmware that never tells its versions: the upgrade still completed
// (exit 0), and the user is told the versions shown are not the new ones,
// on the port itself and through serve alike.
TEST(Owner, UpgradeWhoseVersionsNeverComeBackSaysSo) {
    for (const bool throughServe : {false, true}) {
        SCOPED_TRACE(throughServe ? "through serve" : "on the port");
        OwnerRig rig(300, true);
        ASSERT_TRUE(rig.started());
        if (throughServe) {
            ASSERT_TRUE(rig.serve()) << rig.server().err();
        }
        const std::filesystem::path file = rig.folder() / "fw.x";
        std::ofstream(file, std::ios::binary) << std::string(300, 'x');
        // Time enough for a loaded machine to get the image across; the
        // versions are then waited for as long and never come.
        const Outcome upgrade = rig.run({"--timeout", "3", "upgrade", file.string()});
        EXPECT_EQ(upgrade.code, 0) << upgrade.err;
        EXPECT_TRUE(has(upgrade.out, "Firmware Upgrade Completed (300 bytes")) << upgrade.out;
        // No bank line shows the new version (the file's path, with its
        // random folder name, may hold those digits).
        std::istringstream lines(upgrade.out);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("Bank ", 0) == 0) {
                EXPECT_FALSE(has(line, "1204")) << upgrade.out;
            }
        }
        // What the client showed as the unit and what serve said, for a run
        // where the versions seemed to come back after all.
        EXPECT_TRUE(has(upgrade.err, "did not report its new versions within 3 s"))
            << upgrade.err << "\n-- its output:\n"
            << upgrade.out << "\n-- serve said:\n"
            << (throughServe ? rig.server().err() : std::string()) << "\n-- serve's trace:\n"
            << (throughServe ? readAll(rig.folder() / "serve.trace") : std::string());
    }
}

TEST(Owner, ManyProgramsAtOnceEachCarriedOutOnce) {
    OwnerRig rig;
    ASSERT_TRUE(rig.started());
    ASSERT_TRUE(rig.serve()) << rig.server().err();
    std::vector<std::unique_ptr<ChildProcess>> clients;
    for (int i = 0; i < 16; ++i) {
        const std::string bank = std::to_string(i / 8 + 1);
        const std::string port = std::to_string(i % 8 + 1);
        clients.push_back(std::make_unique<ChildProcess>(
            VELMORACTL_PROGRAM, std::vector<std::string>{"--port", rig.device(), "on", bank, port},
            rig.folder().path(), "client" + std::to_string(i)));
    }
    for (auto& c : clients) {
        ASSERT_TRUE(c->wait());
        EXPECT_EQ(c->exitCode(), 0) << c->err();
    }
    const std::vector<std::string> commands = rig.sim().commands();
    for (int i = 0; i < 16; ++i) {
        const std::string body = "O0" + std::to_string(i / 8 + 1) + std::to_string(i % 8 + 1);
        EXPECT_EQ(std::count(commands.begin(), commands.end(), body), 1) << body;
    }
    EXPECT_EQ(rig.sim().portStates(), (std::vector<std::string>{"OOOOOOOO", "OOOOOOOO"}));
}

TEST(Owner, ShellGoesThroughServeAndStopsOnQuit) {
    OwnerRig rig;
    ASSERT_TRUE(rig.started());
    ASSERT_TRUE(rig.serve()) << rig.server().err();
    const std::filesystem::path input = rig.folder() / "input.txt";
    std::ofstream(input) << "on [2-3,9]\nstatus\nbogus\nquit\n";
    ChildProcess shell("/bin/sh", {"-c", std::string(VELMORACTL_PROGRAM) + " --port " + rig.device() + " shell < " +
                                               input.string()},
                       rig.folder().path(), "shell");
    ASSERT_TRUE(shell.wait());
    EXPECT_EQ(shell.exitCode(), 0) << shell.err();
    const std::string out = shell.out();
    EXPECT_TRUE(has(out, "velmora> 2: ok\n3: ok\n9: ok\nvelmora> 1: off\n2: on\n3: on\n")) << out;
    EXPECT_TRUE(has(out, "9: on\n")) << out;
    EXPECT_TRUE(has(out, "velmora> error unknown command")) << out;
}

TEST(Owner, SigtermEndsServeAndFreesThePort) {
    OwnerRig rig;
    ASSERT_TRUE(rig.started());
    ASSERT_TRUE(rig.serve()) << rig.server().err();
    rig.server().signal(SIGTERM);
    ASSERT_TRUE(rig.server().wait());
    EXPECT_EQ(rig.server().exitCode(), 128 + SIGTERM);
    EXPECT_TRUE(std::filesystem::is_empty(rig.folder() / "sockets")) << "the socket was left behind";
    // The port is free: velmoractl opens it itself.
    const Outcome status = rig.run({"status"});
    EXPECT_EQ(status.code, 0) << status.err;
}

// Without --port, velmoractl finds the owner by its live socket, whatever
// device it holds (a pty here, which no probe lists).
TEST(Owner, WithoutAPortTheOwnersSocketIsFound) {
    OwnerRig rig;
    ASSERT_TRUE(rig.started());
    // A socket left by an owner that died is skipped, not believed.
    std::filesystem::create_directories(rig.folder() / "sockets");
    ASSERT_EQ(::chmod((rig.folder() / "sockets").c_str(), 0700), 0);
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string stale = (rig.folder() / "sockets" / "0-stale.sock").string();
        std::memcpy(address.sun_path, stale.c_str(), stale.size() + 1);
        ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    ASSERT_TRUE(rig.serve()) << rig.server().err();
    const std::size_t before = rig.sim().commands().size();
    const Outcome on = rig.runAsGiven({"on", "1", "2"});
    EXPECT_EQ(on.code, 0) << on.err;
    EXPECT_EQ(on.out, "Bank 1 Port 2 is on\n");
    const std::vector<std::string> commands = rig.sim().commands();
    EXPECT_EQ(std::count(commands.begin() + static_cast<std::ptrdiff_t>(before), commands.end(), "O012"), 1);
    const Outcome metrics = rig.runAsGiven({"metrics"});
    EXPECT_EQ(metrics.code, 0) << metrics.err;
    EXPECT_TRUE(has(metrics.out, "velmora_up{device=\"" + rig.device() + "\"} 1")) << metrics.out;
}

// A client whose request waited too long behind another client's gives up,
// and its request is withdrawn: the unit never gets it afterwards.
TEST(Owner, ARequestGivenUpWhileQueuedNeverReachesTheUnit) {
    OwnerRig rig;
    ASSERT_TRUE(rig.started());
    ASSERT_TRUE(rig.serve()) << rig.server().err();
    ChildProcess cycle(VELMORACTL_PROGRAM, {"--port", rig.device(), "cycle", "1", "1", "--delay", "16"},
                       rig.folder().path(), "cycle");
    const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!has(cycle.out(), "is off") && std::chrono::steady_clock::now() < bound)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(has(cycle.out(), "is off")) << cycle.err();
    const auto asked = std::chrono::steady_clock::now();
    const Outcome late = rig.run({"--timeout", "1", "off", "1", "2"}, "late");
    const auto waited = std::chrono::steady_clock::now() - asked;
    ASSERT_TRUE(cycle.wait());
    EXPECT_EQ(cycle.exitCode(), 0) << cycle.err();
    if (waited >= std::chrono::seconds(16)) GTEST_SKIP() << "this machine was too slow to give up before the cycle ended";
    EXPECT_EQ(late.code, 4) << late.err;
    EXPECT_TRUE(has(late.err, "within 12 s")) << late.err;
    EXPECT_TRUE(has(late.err, "withdrawn, nothing was sent")) << late.err;
    EXPECT_FALSE(has(late.err, "Could not find")) << late.err;
    rig.run({"status"});  // the owner polls once more: anything queued had its turn
    const std::vector<std::string> commands = rig.sim().commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "F012"), 0) << "the given-up request ran later";
}

// Another user made the socket folder first (as anyone can under /tmp) and
// listens there: velmoractl ignores it with a warning and uses the port,
// and the stranger receives nothing. serve refuses that folder too.
TEST(Owner, AStrangersSocketIsIgnoredAndGetsNothing) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the stranger as another user (setpriv)";
    OwnerRig rig;
    ASSERT_TRUE(rig.started());
    const std::filesystem::path strangers = rig.folder() / "strangers";
    std::filesystem::create_directories(strangers);
    ASSERT_EQ(::chown(strangers.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(strangers.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(rig.folder().path().c_str(), 0755), 0);
    ::setenv("VELMORA_SOCKET_DIR", strangers.c_str(), 1);
    const std::filesystem::path received = strangers / "received";
    // The stranger: listens at the name the port's owner would use and
    // keeps whatever a client sends.
    const std::string listener =
        "import socket,sys\n"
        "s=socket.socket(socket.AF_UNIX);s.bind(sys.argv[1]);s.listen(4)\n"
        "while True:\n"
        "  c,_=s.accept()\n"
        "  c.settimeout(2)\n"
        "  try:\n"
        "    d=c.recv(65536)\n"
        "  except Exception:\n"
        "    d=b''\n"
        "  open(sys.argv[2],'ab').write(d)\n"
        "  c.close()\n";
    const std::filesystem::path socket = strangers / socketFileName(rig.device());
    ChildProcess stranger("/usr/bin/setpriv",
                          {"--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/python3", "-c", listener,
                           socket.string(), received.string()},
                          rig.folder().path(), "stranger");
    const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!std::filesystem::exists(socket) && std::chrono::steady_clock::now() < bound)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(std::filesystem::exists(socket)) << stranger.err();

    rig.sim().withModel([](sim::UnitModel& unit) { return unit.setPort(1, 1, true), 0; });
    const Outcome off = rig.run({"off", "1", "1"});
    EXPECT_EQ(off.code, 0) << off.err;
    EXPECT_EQ(off.out, "Bank 1 Port 1 is off\n");
    EXPECT_TRUE(has(off.err, "warning: ignoring " + socket.string())) << off.err;
    EXPECT_TRUE(has(off.err, "using the port directly")) << off.err;
    const std::vector<std::string> commands = rig.sim().commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "F011"), 1) << "switched through the port";
    EXPECT_FALSE(std::filesystem::exists(received)) << "the stranger was connected to";

    const Outcome serve = rig.run({"serve"}, "serve-there");
    EXPECT_EQ(serve.code, 4) << serve.out << serve.err;
    EXPECT_TRUE(has(serve.err, "belongs to another user")) << serve.err;
    EXPECT_TRUE(has(serve.err, "--socket-dir")) << serve.err;
    stranger.signal(SIGKILL);
}

// Resident memory of a process, in KiB (0 when unknown).
long residentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

// Writes what the owner takes within `ms` without reading anything back.
void pushFor(int fd, const std::string& bytes, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::size_t done = 0;
    while (done < bytes.size() && std::chrono::steady_clock::now() < end) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

// Every kind of bad client at once; another client is still served, the
// owner's memory stays bounded, and the one that vanished switches nothing
// after it went.
TEST(Owner, BadClientsAtOnceCostTheOthersNothing) {
    OwnerRig rig;
    ASSERT_TRUE(rig.started());
    ASSERT_TRUE(rig.serve()) << rig.server().err();
    const std::filesystem::path socket = rig.folder() / "sockets" / socketFileName(rig.device());
    ASSERT_EQ(rig.run({"status"}).code, 0);
    const long before = residentKiB(rig.server().pid());
    ASSERT_GT(before, 0);

    std::vector<int> fds;
    for (int i = 0; i < 64; ++i) fds.push_back(test::connectTo(socket));  // idle
    const int trickle = test::connectTo(socket);
    ::send(trickle, "{\"id\":1,", 8, MSG_NOSIGNAL);
    const int junk = test::connectTo(socket);
    const int keys = test::connectTo(socket);
    std::string manyKeys = R"({"id":1,"command":"status")";
    for (int i = 0; manyKeys.size() < 1000000; ++i) manyKeys += ",\"k" + std::to_string(i) + "\":0";
    manyKeys += "}\n";
    const int vanish = test::connectTo(socket);
    std::string switchings;
    for (int i = 0; i < 1000; ++i)
        switchings += std::string(R"({"id":)") + std::to_string(i) + R"(,"command":"switch","on":)" +
                      (i % 2 ? "false" : "true") + R"(,"bank":2,"port":8})" + "\n";
    std::thread flood([&] { pushFor(junk, std::string(3u << 20, '\n') + std::string(1u << 20, 'x') + "\n", 8000); });
    std::thread heavy([&] { pushFor(keys, manyKeys, 8000); });
    pushFor(vanish, switchings, 2000);
    ::close(vanish);
    const std::size_t closedAt = rig.sim().commands().size();

    const auto asked = std::chrono::steady_clock::now();
    const Outcome status = rig.run({"status"}, "status-under-load");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
    RecordProperty("status_under_load_ms", static_cast<int>(seconds * 1000));
    EXPECT_EQ(status.code, 0) << status.err;
    EXPECT_TRUE(has(status.out, "with 2 banks")) << status.out;
    flood.join();
    heavy.join();
    const long after = residentKiB(rig.server().pid());
    EXPECT_LT(after - before, 20 * 1024) << "serve grew from " << before << " KiB to " << after << " KiB";

    // Two more answers of the unit: anything still queued had its turn.
    ASSERT_EQ(rig.run({"status"}).code, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_EQ(rig.run({"status"}).code, 0);
    const std::vector<std::string> commands = rig.sim().commands();
    int later = 0;
    for (std::size_t i = closedAt; i < commands.size(); ++i) later += commands[i] == "O028" || commands[i] == "F028";
    EXPECT_LE(later, 1) << "the vanished client's switchings went on; closed at " << closedAt << " of " << commands.size();
    for (int fd : fds) ::close(fd);
    for (int fd : {trickle, junk, keys}) ::close(fd);
}

}  // namespace
}  // namespace velmora
