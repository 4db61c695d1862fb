// The owner without a window keeps the unit as the window does: when the
// unit stops answering, the 20 s watchdog lets the port go, requests are
// refused meanwhile, and the owner takes the unit up again once it
// answers. Against a scripted port whose loop time moves in steps.

#include "cli/headless_owner.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "service/control_protocol.h"
#include "session_rig.h"

namespace velmora::cli {
namespace {

using test::SessionRig;

constexpr const char* kAnswer = "/M1\\/S1 CCOCCCCC GGGGGGGG 1.5\\";

struct OwnerOnScriptedUnit {
    std::shared_ptr<ScriptedSerialDevice> fake = std::make_shared<ScriptedSerialDevice>();
    bool answering = true;
    int polls = 0;
    std::vector<std::int64_t> pollTimes;  // loop time of each poll
    SessionRig rig{fake};
    HeadlessOwner owner{rig.session(), rig.device(), "serve"};

    OwnerOnScriptedUnit() {
        fake->answerWrites("/uni\\", "/xyz\\");
        fake->setWriteHandler([this](const std::vector<std::uint8_t>& w) {
            if (std::string(w.begin(), w.end()) != "/C\\") return;
            ++polls;
            pollTimes.push_back(rig.now());
            if (answering) fake->queueInput(kAnswer);
        });
    }

    // The first line the service answers `kind` with, the loop run meanwhile.
    std::string ask(RequestKind kind) {
        Request r;
        r.id = Json(7);
        r.kind = kind;
        r.timeoutMs = 10000;
        std::string reply;
        owner.service().submit(r, [&reply](const std::string& line) {
            if (reply.empty()) reply = line;
            return true;
        });
        const std::int64_t bound = rig.now() + 60000;
        owner.run([&] { return !reply.empty() || rig.now() > bound; });
        return reply;
    }
};

TEST(HeadlessOwner, LetsASilentUnitGoRefusesMeanwhileAndTakesItUpAgain) {
    OwnerOnScriptedUnit u;
    ASSERT_EQ(u.owner.connect(10000).exitCode, kExitDone);
    ASSERT_TRUE(u.owner.linkUp());
    EXPECT_NE(u.ask(RequestKind::status).find("\"ok\":true"), std::string::npos);

    // Silent from now on: the owner polls on, then lets the port go once
    // the watchdog runs out, not before.
    u.answering = false;
    const std::int64_t silentFrom = u.rig.now();
    const int pollsBefore = u.polls;
    const int closesBefore = u.fake->callCount(SerialCall::close);
    // (Bounded: an owner that never lets go fails below instead of hanging.)
    ASSERT_EQ(u.owner.run([&] { return !u.owner.linkUp() || u.rig.now() - silentFrom > 120000; }), Wait::done);
    const std::int64_t silentFor = u.rig.now() - silentFrom;
    EXPECT_GE(silentFor, kWatchdogIntervalMs);
    EXPECT_LT(silentFor, kWatchdogIntervalMs + kPollIntervalMs + 1000);
    EXPECT_GE(u.polls - pollsBefore, 3) << "one poll every 5 s while it waited";
    EXPECT_GT(u.fake->callCount(SerialCall::close), closesBefore) << "the port was not let go";

    // Meanwhile a request is refused at once, saying why.
    const std::string refused = u.ask(RequestKind::status);
    EXPECT_NE(refused.find("\"ok\":false"), std::string::npos) << refused;
    EXPECT_NE(refused.find("to come back"), std::string::npos) << refused;

    // The unit answers again: the owner connects anew and serves.
    u.answering = true;
    const std::int64_t backFrom = u.rig.now();
    ASSERT_EQ(u.owner.run([&] { return u.owner.linkUp() || u.rig.now() - backFrom > 120000; }), Wait::done);
    EXPECT_LE(u.rig.now() - backFrom, kReconnectEveryMs + kPollIntervalMs);
    const std::string served = u.ask(RequestKind::status);
    EXPECT_NE(served.find("\"ok\":true"), std::string::npos) << served;
    EXPECT_NE(served.find("CCOCCCCC"), std::string::npos) << served;
}

// As the window: the first poll 10 ms after the greeting, then one every
// 5 s, whatever the clients' own polls in between.
TEST(HeadlessOwner, PollsOnTheWindowsCadence) {
    OwnerOnScriptedUnit u;
    const std::int64_t from = u.rig.now();
    ASSERT_EQ(u.owner.connect(10000).exitCode, kExitDone);
    ASSERT_EQ(u.owner.run([&] { return u.polls >= 1 || u.rig.now() - from > 60000; }), Wait::done);
    const std::int64_t first = u.pollTimes.at(0);
    EXPECT_LE(first - from, kFirstPollDelayMs + kLoopTickMs);
    u.owner.run([&] { return u.rig.now() >= first + 2000; });
    const int before = u.polls;
    u.ask(RequestKind::version);  // polls for itself
    EXPECT_GT(u.polls, before);
    u.owner.run([&] { return u.rig.now() >= first + 3 * kPollIntervalMs + 100; });
    std::vector<std::int64_t> steady;
    for (std::int64_t t : u.pollTimes) {
        for (int n = 1; n <= 3; ++n) {
            if (t >= first + n * kPollIntervalMs && t <= first + n * kPollIntervalMs + kLoopTickMs) steady.push_back(t);
        }
    }
    EXPECT_EQ(steady.size(), 3u) << "a steady poll missed its time or was moved";
}

}  // namespace
}  // namespace velmora::cli
