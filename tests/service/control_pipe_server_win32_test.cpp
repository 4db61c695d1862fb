// The owner's pipe with real clients on real pipe instances (run under
// Wine): several at once, junk and an endless line, one that vanishes
// mid-command, one too many, and a second owner. The owner's UI thread is
// the test thread, draining the dispatcher and moving the unit's time on.

#include "service/control_pipe_server_win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/queue_dispatcher.h"
#include "service/control_pipe.h"
#include "service/control_pipe_client_win32.h"
#include "service/service_rig.h"

namespace velmora {
namespace {

struct PipeServerRig : test::ServiceRig {
    explicit PipeServerRig(const char* what)
        : name(controlPipeName("COM" + std::to_string(300 + GetCurrentProcessId() % 100)) + "-" + what) {}
    ~PipeServerRig() {
        server.stop();
        owner.shutdown();
    }

    bool start(ServeLimits limits = {}) {
        std::string why;
        const bool ok = server.start({.name = name, .groupSid = std::nullopt, .limits = limits}, &why);
        EXPECT_TRUE(ok) << why;
        return ok;
    }
    // The owner's loop until `done`: requests handed over, the unit's time
    // moving in steps while its answers come in; the bound only guards
    // against a hang.
    bool serveUntil(const std::function<bool()>& done) {
        const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done()) {
            if (std::chrono::steady_clock::now() > bound) return false;
            owner.drain();
            run(kServiceTickMs);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        owner.drain();
        return true;
    }

    std::string name;
    QueueDispatcher owner;
    PipeServer server{owner, [this](Request r, UnitService::Reply reply) { service.submit(std::move(r), std::move(reply)); }};
};

// The next final answer ("more" steps skipped); null when none came.
Json answerTo(PipeClient& c) {
    for (;;) {
        const std::optional<std::string> line = c.receive(20000);
        if (!line) return Json();
        Json a = Json::parse(*line, nullptr, false);
        if (!a.is_object() || !a.value("more", false)) return a;
    }
}

// Runs `talk` on a thread of its own while the owner serves.
bool whileServing(PipeServerRig& rig, const std::function<void()>& talk) {
    std::atomic<bool> done{false};
    std::thread t([&] {
        talk();
        done = true;
    });
    const bool served = rig.serveUntil([&] { return done.load(); });
    t.join();
    return served;
}

TEST(PipeServer, ClientsAtOnceEachGetTheirOwnAnswersInOrder) {
    PipeServerRig rig("several");
    ASSERT_TRUE(rig.start());
    constexpr int kClients = 3;
    std::vector<std::vector<Json>> got(kClients);
    ASSERT_TRUE(whileServing(rig, [&] {
        std::vector<std::thread> clients;
        for (int c = 0; c < kClients; ++c) {
            clients.emplace_back([&, c] {
                PipeClient client;
                if (!client.connect(rig.name, 5000)) return;
                // Each client switches its own port on, off and on again.
                for (int i = 0; i < 3; ++i) {
                    client.sendLine(R"({"id":)" + std::to_string(i) + R"(,"command":"switch","on":)" +
                                    (i % 2 ? "false" : "true") + R"(,"bank":1,"port":)" + std::to_string(c + 1) +
                                    "}\n");
                }
                for (int i = 0; i < 3; ++i) got[static_cast<std::size_t>(c)].push_back(answerTo(client));
            });
        }
        for (auto& t : clients) t.join();
    }));
    for (int c = 0; c < kClients; ++c) {
        const auto& answers = got[static_cast<std::size_t>(c)];
        ASSERT_EQ(answers.size(), 3u) << "client " << c;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(answers[static_cast<std::size_t>(i)].value("id", -1), i) << answers[static_cast<std::size_t>(i)].dump();
            EXPECT_TRUE(answers[static_cast<std::size_t>(i)].value("confirmed", false));
        }
        const std::string port = std::to_string(c + 1);
        EXPECT_EQ(rig.count("/O01" + port + "\\"), 2) << "port " << port;
        EXPECT_EQ(rig.count("/F01" + port + "\\"), 1) << "port " << port;
    }
}

TEST(PipeServer, JunkAndAnEndlessLineAreToldAndTheNextClientIsServed) {
    PipeServerRig rig("junk");
    ASSERT_TRUE(rig.start());
    std::vector<Json> answers;
    bool floodEnded = false;
    ASSERT_TRUE(whileServing(rig, [&] {
        PipeClient junk;
        if (!junk.connect(rig.name, 5000)) return;
        junk.sendLine("hello there\n");
        junk.sendLine("{\"id\":7,\"command\":\"reboot\"}\n");
        answers.push_back(answerTo(junk));
        answers.push_back(answerTo(junk));

        PipeClient flood;
        if (!flood.connect(rig.name, 5000)) return;
        const std::string chunk(64 * 1024, 'x');
        for (std::size_t sent = 0; sent <= kMaxRequestBytes + chunk.size() && flood.sendLine(chunk);
             sent += chunk.size()) {
        }
        answers.push_back(answerTo(flood));
        while (flood.receive(5000)) {
        }
        floodEnded = flood.gone();

        PipeClient next;
        if (!next.connect(rig.name, 5000)) return;
        next.sendLine("{\"id\":1,\"command\":\"status\"}\n");
        answers.push_back(answerTo(next));
    }));
    ASSERT_EQ(answers.size(), 4u);
    EXPECT_EQ(answers[0].value("exitCode", 0), kAnswerUsage) << answers[0].dump();
    EXPECT_EQ(answers[1].value("id", 0), 7);
    EXPECT_NE(answers[1].value("error", std::string()).find("reboot"), std::string::npos) << answers[1].dump();
    EXPECT_NE(answers[2].value("error", std::string()).find("longer than"), std::string::npos) << answers[2].dump();
    EXPECT_TRUE(floodEnded) << "the owner closes a connection whose line never ends";
    EXPECT_TRUE(answers[3].value("ok", false)) << answers[3].dump();
}

TEST(PipeServer, AClientThatVanishesMidCommandCostsTheOwnerNothing) {
    PipeServerRig rig("vanish");
    ASSERT_TRUE(rig.start());
    {
        PipeClient gone;
        ASSERT_TRUE(gone.connect(rig.name, 5000));
        gone.sendLine(R"({"id":1,"command":"switch","on":true,"bank":2,"port":4})" "\n");
        // Handed to the service, which asks the unit for its bank count
        // before it switches anything.
        ASSERT_TRUE(rig.owner.drainUntil([&] { return rig.service.pending() == 1; }, 10000));
    }  // closed before its answer
    ASSERT_TRUE(rig.serveUntil([&] { return rig.service.pending() == 0; }));
    rig.run(2000);
    EXPECT_FALSE(rig.unit.portOn(2, 4)) << "withdrawn: nobody waits for it";
    EXPECT_EQ(rig.count("/O024\\"), 0);
    EXPECT_EQ(rig.service.withdrawn(), 1u);

    // The next client is answered.
    Json status;
    ASSERT_TRUE(whileServing(rig, [&] {
        PipeClient next;
        if (!next.connect(rig.name, 5000)) return;
        next.sendLine("{\"id\":2,\"command\":\"status\"}\n");
        status = answerTo(next);
    }));
    EXPECT_TRUE(status.value("ok", false)) << status.dump();
}

TEST(PipeServer, OneTooManyIsToldSoUnlessAnIdleOneMakesRoom) {
    PipeServerRig rig("full");
    ASSERT_TRUE(rig.start({.maxClients = 1}));
    Json refused, evicted, served;
    ASSERT_TRUE(whileServing(rig, [&] {
        // A watch keeps the first client busy: the second is refused.
        PipeClient watching;
        if (!watching.connect(rig.name, 5000)) return;
        watching.sendLine("{\"id\":1,\"command\":\"watch\"}\n");
        // A status after it: once it is answered, the watch is on.
        watching.sendLine("{\"id\":9,\"command\":\"status\"}\n");
        answerTo(watching);
        PipeClient second;
        if (!second.connect(rig.name, 5000)) return;
        refused = answerTo(second);
        watching.close();

        // An idle client gives its place up to the next.
        PipeClient idle;
        for (int i = 0; i < 100 && !idle.connected(); ++i) {
            // The server may not yet have seen the watcher go.
            if (!idle.connect(rig.name, 5000)) return;
            idle.sendLine("{\"id\":2,\"command\":\"status\"}\n");
            const Json a = answerTo(idle);
            if (a.is_object() && a.value("ok", false)) break;
            idle.close();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        PipeClient third;
        if (!third.connect(rig.name, 5000)) return;
        evicted = answerTo(idle);
        third.sendLine("{\"id\":3,\"command\":\"status\"}\n");
        served = answerTo(third);
    }));
    EXPECT_NE(refused.value("error", std::string()).find("too many clients"), std::string::npos) << refused.dump();
    EXPECT_NE(evicted.value("error", std::string()).find("make room"), std::string::npos) << evicted.dump();
    EXPECT_TRUE(served.value("ok", false)) << served.dump();
}

TEST(PipeServer, ASecondOwnerOfTheNameIsRefused) {
    PipeServerRig rig("second");
    ASSERT_TRUE(rig.start());
    QueueDispatcher other;
    PipeServer second(other, [](Request, UnitService::Reply) {});
    std::string why;
    EXPECT_FALSE(second.start({.name = rig.name, .groupSid = std::nullopt, .limits = {}}, &why));
    EXPECT_NE(why.find("another owner"), std::string::npos) << why;

    // Free again once the first has stopped.
    rig.server.stop();
    EXPECT_TRUE(second.start({.name = rig.name, .groupSid = std::nullopt, .limits = {}}, &why)) << why;
    second.stop();
    other.shutdown();
}

}  // namespace
}  // namespace velmora
