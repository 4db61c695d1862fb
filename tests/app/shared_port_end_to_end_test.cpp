// The window holds the unit's port and serves the others: velmoractl's
// switching goes through the window's own link, the unit gets the command
// once, and the window's lamp shows it at once.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/program_rig.h"
#include "mainwindow/main_window.h"
#include "service/control_protocol.h"
#include "service/unit_service.h"
#include "support/child_process.h"
#include "support/event_loop.h"

namespace velmora {
namespace {

using test::ChildProcess;
using test::ProgramRig;

TEST(SharedPortEndToEnd, VelmoractlSwitchesThroughTheWindowAndItsLampLightsAtOnce) {
    test::ProgramOptions o;
    o.unit.banks = 2;
    ProgramRig rig(o);
    std::string why;
    ASSERT_TRUE(rig.start(&why)) << why;
    ASSERT_TRUE(rig.firstPoll(2));
    ASSERT_FALSE(rig.app().controlSocketPath().empty()) << "the window does not serve its port";
    EXPECT_EQ(rig.app().window().shownPicture(portLedId(13)), (PictureRef{PictureList::portLed, 0}));

    ChildProcess client(VELMORACTL_PROGRAM, {"--port", rig.unit().slavePath(), "on", "1", "3"}, rig.folder(),
                        "velmoractl");
    ASSERT_TRUE(client.started());
    // The window's UI thread carries the request out while the client waits.
    ASSERT_TRUE(test::spinUntil([&] { return client.wait(std::chrono::milliseconds(0)); }, test::kProgramStepBoundMs));
    EXPECT_EQ(client.exitCode(), 0) << client.err();
    EXPECT_EQ(client.out(), "Bank 1 Port 3 is on\n");
    const std::vector<std::string> commands = rig.unit().commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "O013"), 1);
    // The poll that confirmed it drew the lamp: no window poll had to come.
    EXPECT_EQ(rig.app().window().shownPicture(portLedId(13)), (PictureRef{PictureList::portLed, 2}));

    // The window's upgrade is the window's.
    const std::filesystem::path image = rig.folder() / "fw.x";
    std::ofstream(image) << std::string(100, 'f');
    ChildProcess upgrade(VELMORACTL_PROGRAM, {"--port", rig.unit().slavePath(), "upgrade", image.string()},
                         rig.folder(), "upgrade");
    ASSERT_TRUE(test::spinUntil([&] { return upgrade.wait(std::chrono::milliseconds(0)); }, test::kProgramStepBoundMs));
    EXPECT_EQ(upgrade.exitCode(), 4);
    EXPECT_NE(upgrade.err().find("Tools -> Upgrade"), std::string::npos) << upgrade.err();
    const std::vector<std::string> afterUpgrade = rig.unit().commands();
    EXPECT_EQ(std::count(afterUpgrade.begin(), afterUpgrade.end(), "UPGRADE"), 0);

    // Disconnected, the window serves nobody: velmoractl takes the port itself.
    rig.app().link().Disconnect();
    EXPECT_TRUE(rig.app().controlSocketPath().empty());
    ChildProcess direct(VELMORACTL_PROGRAM, {"--port", rig.unit().slavePath(), "status"}, rig.folder(), "direct");
    ASSERT_TRUE(test::spinUntil([&] { return direct.wait(std::chrono::milliseconds(0)); }, test::kProgramStepBoundMs));
    EXPECT_EQ(direct.exitCode(), 0) << direct.err();
}

// The service ages the unit's answers on the program's clock, not on one
// of its own: once the test's clock has moved past the status cache, a
// status request polls the unit instead of answering from the old poll.
TEST(SharedPortEndToEnd, TheServiceAgesAnswersOnTheProgramsClock) {
    test::ProgramOptions o;
    o.unit.banks = 1;
    ProgramRig rig(o);
    std::string why;
    ASSERT_TRUE(rig.start(&why)) << why;
    ASSERT_TRUE(rig.firstPoll(1));
    const auto polls = [&] {
        const std::vector<std::string> c = rig.unit().commands();
        return std::count(c.begin(), c.end(), "C");
    };

    // No event is handled meanwhile, so no newer answer is taken in.
    rig.timers().advance(kStatusCacheMs + 1);
    // Counted before the request: the poll it makes may reach the unit at once.
    const auto before = polls();
    std::vector<std::string> replies;
    Request status;
    status.id = Json(1);
    status.kind = RequestKind::status;
    rig.app().service().submit(status, [&](const std::string& line) {
        replies.push_back(line);
        return true;
    });
    EXPECT_TRUE(replies.empty()) << "answered from a poll older than the cache allows: " << replies.front();
    ASSERT_TRUE(test::spinUntil([&] {
        rig.timers().advance(10);
        return !replies.empty();
    }));
    EXPECT_NE(replies.front().find("\"ok\":true"), std::string::npos) << replies.front();
    EXPECT_GT(polls(), before) << "the answer came without a poll";
}

}  // namespace
}  // namespace velmora
