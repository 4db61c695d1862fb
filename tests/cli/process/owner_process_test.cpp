// One unit, many programs: `velmoractl serve` holds the simulated unit's
// port and every other velmoractl goes through it - one command, many at
// once, the shell - with the outputs and exit codes they have on the port
// itself.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/pty_simulator.h"
#include "support/child_process.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

using test::ChildProcess;
using testing_support::TempFolder;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

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
        ChildProcess child(VELMORACTL_PROGRAM, args, folder_.path(), name);
        EXPECT_TRUE(child.wait());
        return {child.exitCode(), child.out(), child.err()};
    }
    // Starts serve and waits until it listens.
    bool serve() {
        serve_ = std::make_unique<ChildProcess>(VELMORACTL_PROGRAM,
                                                std::vector<std::string>{"--port", device(), "serve"},
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
    const Outcome directStatus = rig.run({"status"});
    const Outcome directJson = rig.run({"--json", "version"});
    ASSERT_EQ(directStatus.code, 0) << directStatus.err;
    ASSERT_TRUE(rig.serve()) << rig.server().err();

    const Outcome status = rig.run({"status"});
    EXPECT_EQ(status.code, 0) << status.err;
    EXPECT_EQ(status.out, directStatus.out);
    const Outcome json = rig.run({"--json", "version"});
    EXPECT_EQ(json.out, directJson.out);

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
    EXPECT_TRUE(has(upgrade.out, "1204")) << upgrade.out << upgrade.err;
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
        const Outcome upgrade = rig.run({"--timeout", "1", "upgrade", file.string()});
        EXPECT_EQ(upgrade.code, 0) << upgrade.err;
        EXPECT_TRUE(has(upgrade.out, "Firmware Upgrade Completed (300 bytes")) << upgrade.out;
        EXPECT_FALSE(has(upgrade.out, "1204")) << upgrade.out;
        EXPECT_TRUE(has(upgrade.err, "did not report its new versions within 1 s")) << upgrade.err;
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

}  // namespace
}  // namespace velmora
